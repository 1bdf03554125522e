// Reads in place from the map: HiveFile::BytesAt and ListElementsInPlace give
// exactly the bytes the read primitives give, and nothing the file does not hold.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "temp_hive.h"

namespace {

using hive::KeyNode;
using hive::SubkeyList;
using testsupport::HiveBuilder;
using testsupport::ListKind;
using testsupport::TempHive;

TEST(BytesAt, HeldRangesOnlyAndTheSameBytesAsARead) {
  HiveBuilder builder;
  builder.AddKey(builder.Root(), "A");
  const std::vector<uint8_t>& image = builder.Build();
  TempHive file(image);
  auto hive = file.Open();
  ASSERT_NE(hive, nullptr);
  const auto size = static_cast<uint32_t>(image.size());

  const uint8_t* start = hive->BytesAt(0, 4);
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(std::memcmp(start, "regf", 4), 0);
  const uint8_t* last = hive->BytesAt(size - 4, 4);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(std::memcmp(last, image.data() + size - 4, 4), 0);
  EXPECT_NE(hive->BytesAt(size, 0), nullptr);

  EXPECT_EQ(hive->BytesAt(size - 3, 4), nullptr);
  EXPECT_EQ(hive->BytesAt(size + 1, 0), nullptr);
  EXPECT_EQ(hive->BytesAt(0xFFFFFFF0u, 32), nullptr);  // would wrap in 32 bits
  EXPECT_EQ(hive->BytesAt(0x80000000u, 0), nullptr);

  // Prefetching reads nothing and accepts any offset.
  hive->Prefetch(0);
  hive->Prefetch(size + 4096);
  hive->Prefetch(0xFFFFFFFFu);
}

struct KindCase {
  ListKind kind;
  uint32_t stride;
};

class ListsInPlace : public testing::TestWithParam<KindCase> {};

TEST_P(ListsInPlace, ElementsMatchReadListElement) {
  HiveBuilder builder;
  const auto parent = builder.AddKey(builder.Root(), "Parent");
  for (int i = 0; i < 5; ++i) builder.AddKey(parent, "c" + std::to_string(i));
  builder.SetListKind(parent, GetParam().kind, 2);
  builder.Build();
  TempHive file(builder.Bytes());
  auto hive = file.Open();
  ASSERT_NE(hive, nullptr);

  SubkeyList list;
  ASSERT_GT(hive::ReadSubkeyListAt(*hive, builder.SubkeyListOffset(parent), list), 0);
  uint32_t stride = 0;
  const uint8_t* elements = hive::ListElementsInPlace(*hive, list, stride);
  ASSERT_NE(elements, nullptr);
  EXPECT_EQ(stride, GetParam().stride);
  for (int32_t i = 0; i < list.elementCount; ++i) {
    uint32_t cell = 0;
    ASSERT_TRUE(hive::ReadListElement(*hive, list, i, cell));
    EXPECT_EQ(hive::LoadU32(elements + stride * static_cast<uint32_t>(i)), cell) << "element " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ListsInPlace,
                         testing::Values(KindCase{ListKind::kLf, 8}, KindCase{ListKind::kLh, 8},
                                         KindCase{ListKind::kLi, 4}, KindCase{ListKind::kRiOfLf, 4}));

TEST(ListsInPlace, NoneForUnknownKindsEmptyListsAndListsCutByTheEndOfTheFile) {
  HiveBuilder builder;
  const auto parent = builder.AddKey(builder.Root(), "Parent");
  for (int i = 0; i < 3; ++i) builder.AddKey(parent, "c" + std::to_string(i));
  builder.Build();
  TempHive whole(builder.Bytes());
  auto hive = whole.Open();
  ASSERT_NE(hive, nullptr);
  const uint32_t at = builder.SubkeyListOffset(parent);
  uint32_t stride = 99;

  SubkeyList unknown{at, 0x6B6E, 3};  // "nk"
  EXPECT_EQ(hive::ListElementsInPlace(*hive, unknown, stride), nullptr);
  SubkeyList empty{at, 0x666C, 0};
  EXPECT_EQ(hive::ListElementsInPlace(*hive, empty, stride), nullptr);
  SubkeyList negative{at, 0x666C, -2};
  EXPECT_EQ(hive::ListElementsInPlace(*hive, negative, stride), nullptr);
  EXPECT_EQ(stride, 99u);

  // The file ends inside the last element: it cannot be read in place, while
  // the elements before it can still be read one by one.
  builder.Truncate(at + 4 + 8 * 2 + 3);
  TempHive cut(builder.Bytes());
  auto shorter = cut.Open();
  ASSERT_NE(shorter, nullptr);
  SubkeyList list;
  ASSERT_EQ(hive::ReadSubkeyListAt(*shorter, at, list), 3);
  EXPECT_EQ(hive::ListElementsInPlace(*shorter, list, stride), nullptr);
  uint32_t cell = 0;
  EXPECT_TRUE(hive::ReadListElement(*shorter, list, 1, cell));
  EXPECT_FALSE(hive::ReadListElement(*shorter, list, 2, cell));
}

}  // namespace
