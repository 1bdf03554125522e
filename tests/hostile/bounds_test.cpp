// Crafted hives whose naive reading never ends, multiplies the tree, or
// makes the value rows take gigabytes: the walk and the rows stay within a
// small multiple of the file's size, and everything the file really holds is
// still shown.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "hostile.h"

namespace {

using hostile::ReadHive;
using testsupport::HiveBuilder;
namespace nk = hive::key_node;
namespace vk = hive::value_record;

std::vector<uint8_t> Filled(size_t count, uint8_t value) { return std::vector<uint8_t>(count, value); }

// A value list of count entries, every one naming the same value record.
std::vector<uint8_t> RepeatedEntries(uint32_t count, uint32_t valueRecord) {
  std::vector<uint8_t> entries(size_t{count} * 4);
  for (uint32_t i = 0; i < count; ++i) hive::StoreU32(&entries[size_t{i} * 4], HiveBuilder::CellOf(valueRecord));
  return entries;
}

TEST(HostileRows, RepeatedEntriesNamingOneLargeValueStayWithinTheFilesSize) {
  // 2,000 list entries name one binary value whose stored length is 32 KiB:
  // read naively that is 2,000 rows of 64 KiB of hex each, 128 MiB of text
  // from a file of 16 KiB.
  HiveBuilder builder;
  const auto key = builder.AddKey(builder.Root(), "Big");
  const auto value = builder.AddValue(key, "blob", 3, Filled(64, 0xAB));
  builder.AddValue(key, "small", 4, Filled(4, 1));
  builder.Build();
  builder.PatchU32(builder.ValueOffset(value) + vk::kDataLength, 32 * 1024);
  const uint32_t list = builder.AppendCell(RepeatedEntries(2000, builder.ValueOffset(value)));
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueList, HiveBuilder::CellOf(list));
  builder.PatchU32(builder.KeyOffset(key) + nk::kValueCount, 2000);

  ReadHive read(builder.Bytes());
  ASSERT_TRUE(read.hive) << read.reason;
  const auto& rows = read.List(1);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].substr(0, 29), "blob\nBinary\n32768\n$ABABABABAB");
  EXPECT_EQ(rows[0].size(), 18 + 1 + 2 * 32768);
  EXPECT_LT(read.table.listingBytes, 16 * read.FileSize());
}

}  // namespace
