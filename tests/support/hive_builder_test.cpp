// The builder's hives checked two ways: their bins and cells walked by hand, and
// the whole tree read back by a peer reader (hivex through Python).
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "run_process.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::ListKind;

std::string Hex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string Utf16Hex(std::u16string_view s) {
  std::vector<uint8_t> bytes;
  for (char16_t c : s) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return Hex(bytes);
}

std::u16string Widen(std::string_view latin1) {
  std::u16string out;
  for (char c : latin1) out += static_cast<char16_t>(static_cast<uint8_t>(c));
  return out;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
  return out;
}

// Adds keys and values (keys in pre-order, each key's values before its
// subkeys) and records what a reader should list, in the form the Python
// script below prints.
class Mirror {
 public:
  HiveBuilder b{"TestRoot"};
  std::string expected = "0 " + Utf16Hex(u"TestRoot") + "\n";

  HiveBuilder::KeyId Key(HiveBuilder::KeyId parent, int depth, std::string_view latin1) {
    expected += std::to_string(depth) + " " + Utf16Hex(Widen(latin1)) + "\n";
    return b.AddKey(parent, latin1);
  }
  HiveBuilder::KeyId Key(HiveBuilder::KeyId parent, int depth, std::u16string_view name) {
    expected += std::to_string(depth) + " " + Utf16Hex(name) + "\n";
    return b.AddKeyUtf16(parent, name);
  }
  HiveBuilder::ValueId Value(HiveBuilder::KeyId key, std::string_view latin1, uint32_t type,
                             std::span<const uint8_t> data) {
    Expect(Widen(latin1), type, data);
    return b.AddValue(key, latin1, type, data);
  }
  HiveBuilder::ValueId Value(HiveBuilder::KeyId key, std::u16string_view name, uint32_t type,
                             std::span<const uint8_t> data) {
    Expect(name, type, data);
    return b.AddValueUtf16Name(key, name, type, data);
  }
  HiveBuilder::ValueId Default(HiveBuilder::KeyId key, uint32_t type,
                               std::span<const uint8_t> data) {
    Expect(u"", type, data);
    return b.AddDefaultValue(key, type, data);
  }

 private:
  void Expect(std::u16string_view name, uint32_t type, std::span<const uint8_t> data) {
    expected += "v " + Utf16Hex(name) + " " + std::to_string(type) + " " + Hex(data) + "\n";
  }
};

constexpr const char* kReadWithHivex = R"(import sys, hivex
h = hivex.Hivex(sys.argv[1])
def walk(n, d):
    print(d, h.node_name(n).encode("utf-16-le").hex())
    for v in h.node_values(n):
        t, data = h.value_value(v)
        print("v", h.value_key(v).encode("utf-16-le").hex(), t, data.hex())
    for c in h.node_children(n):
        walk(c, d + 1)
walk(h.root(), 0)
)";

std::string ReadWithHivex(const HiveBuilder& b) {
  const std::string hivePath = ::testing::TempDir() + "/hive_builder_test.hive";
  EXPECT_TRUE(b.WriteTo(hivePath));
  const auto result = testsupport::RunProcess({"/usr/bin/python3", "-c", kReadWithHivex, hivePath});
  std::remove(hivePath.c_str());
  return result.out + result.err;
}

// Walks every bin and cell; returns the record offsets of all allocated cells,
// or fails the test where the layout is broken.
std::set<uint32_t> WalkCells(const std::vector<uint8_t>& image) {
  std::set<uint32_t> records;
  uint32_t binStart = hive::kHeaderAreaSize;
  while (binStart < image.size()) {
    const uint8_t* bin = image.data() + binStart;
    EXPECT_EQ(hive::LoadU32(bin), hive::hive_bin::kHbinSignature) << binStart;
    EXPECT_EQ(hive::LoadU32(bin + 4), binStart - 4096u);
    const uint32_t size = hive::LoadU32(bin + 8);
    EXPECT_TRUE(size >= 4096 && size % 4096 == 0 && binStart + uint64_t{size} <= image.size())
        << "bin at " << binStart << " size " << size;
    if (size < 4096 || size % 4096 != 0 || binStart + uint64_t{size} > image.size()) break;
    uint32_t cell = binStart + 32;
    while (cell < binStart + size) {
      const int32_t cellSize = hive::LoadI32(image.data() + cell);
      const uint32_t length = cellSize < 0 ? 0u - static_cast<uint32_t>(cellSize)
                                           : static_cast<uint32_t>(cellSize);
      EXPECT_TRUE(length >= 8 && length % 8 == 0) << "cell at " << cell;
      if (length < 8 || length % 8 != 0) return records;
      if (cellSize < 0) records.insert(cell + 4);
      cell += length;
    }
    EXPECT_EQ(cell, binStart + size) << "cells overrun the bin at " << binStart;
    binStart += size;
  }
  EXPECT_EQ(binStart, image.size());
  return records;
}

uint32_t XorOfBaseBlock(const std::vector<uint8_t>& image) {
  uint32_t sum = 0;
  for (int i = 0; i < 508; i += 4) sum ^= hive::LoadU32(image.data() + i);
  return sum;
}

TEST(HiveBuilder, HivexReadsEveryListKindNameFormAndValueType) {
  Mirror m;
  const auto root = m.b.Root();
  const auto lists = m.Key(root, 1, "Lists");
  const std::pair<const char*, ListKind> kinds[] = {
      {"lf", ListKind::kLf},         {"lh", ListKind::kLh},
      {"li", ListKind::kLi},         {"ri-li", ListKind::kRiOfLi},
      {"ri-lf", ListKind::kRiOfLf},  {"ri-lh", ListKind::kRiOfLh}};
  for (const auto& [name, kind] : kinds) {
    const auto key = m.Key(lists, 2, name);
    m.b.SetListKind(key, kind, 3);
    // Not in sorted order: the builder keeps insertion order.
    for (char c : std::string_view("zyxabcm")) m.Key(key, 3, std::string(1, c) + "sub");
    m.Key(key, 3, u"\u03a3\u03bf\u03c6\u03af\u03b1");
  }

  const auto names = m.Key(root, 1, "Names");
  m.Value(names, "caf\xE9", 1, Bytes(6, 1));
  m.Value(names, u"\u540d\u524d", 4, Bytes(4, 2));
  m.Key(names, 2, "Envoyer \xE0");
  const auto cjk = m.Key(names, 2, u"\u65e5\u672c\u8a9e");
  m.Key(cjk, 3, u"\u0398\u03ad\u03bc\u03b1");

  const auto values = m.Key(root, 1, "Values");
  m.Default(values, 1, Bytes(10, 3));
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 0x1234u}) {
    m.Value(values, "type" + std::to_string(type), type, Bytes(8 + type % 16, 4));
  }
  for (size_t length : {0u, 1u, 3u, 4u, 5u, 100u, 5000u}) {
    m.Value(values, "len" + std::to_string(length), 3, Bytes(length, 5));
  }
  m.Key(root, 1, "Empty");

  m.b.Build();
  EXPECT_EQ(ReadWithHivex(m.b), m.expected);
}

TEST(HiveBuilder, WritesBaseBlockBinsAndCellsConsistently) {
  HiveBuilder b;
  const auto parent = b.AddKey(b.Root(), "Parent");
  b.SetListKind(parent, ListKind::kRiOfLh, 2);
  std::vector<HiveBuilder::KeyId> children;
  for (int i = 0; i < 5; ++i) children.push_back(b.AddKey(parent, "k" + std::to_string(i)));
  const auto small = b.AddValue(parent, "small", 4, Bytes(4, 0));
  const auto huge = b.AddValue(children[2], "huge", 3, Bytes(9000, 0));
  const auto& image = b.Build();

  EXPECT_EQ(hive::LoadU32(image.data() + 508), XorOfBaseBlock(image));
  EXPECT_EQ(hive::LoadU32(image.data() + 40), image.size() - 4096);
  EXPECT_EQ(HiveBuilder::RecordOf(hive::LoadU32(image.data() + 36)), b.KeyOffset(b.Root()));

  const std::set<uint32_t> records = WalkCells(image);
  std::vector<uint32_t> offsets = {b.KeyOffset(b.Root()), b.KeyOffset(parent),
                                   b.SubkeyListOffset(parent), b.ValueListOffset(parent),
                                   b.ValueOffset(small), b.ValueOffset(huge), b.DataOffset(huge)};
  for (auto child : children) offsets.push_back(b.KeyOffset(child));
  const auto leaves = b.LeafListOffsets(parent);
  ASSERT_EQ(leaves.size(), 3u);
  offsets.insert(offsets.end(), leaves.begin(), leaves.end());
  for (uint32_t offset : offsets) EXPECT_TRUE(records.count(offset)) << offset;

  EXPECT_EQ(b.DataOffset(small), 0u);
  EXPECT_EQ(b.SubkeyListOffset(children[0]), 0u);
  EXPECT_EQ(b.ValueListOffset(b.Root()), 0u);
  EXPECT_EQ(hive::LoadU32(image.data() + b.KeyOffset(children[0]) + 0x1C), hive::kNoCell);
  EXPECT_EQ(hive::LoadU32(image.data() + b.ValueOffset(small) + 4), 0x80000004u);
  EXPECT_EQ(hive::LoadU32(image.data() + b.KeyOffset(children[4]) + 0x10),
            HiveBuilder::CellOf(b.KeyOffset(parent)));

  // A cell appended after the build lands in a bin of its own at the end.
  const std::vector<uint8_t> record = {'l', 'i', 1, 0, 0x20, 0, 0, 0};
  const size_t before = image.size();
  const uint32_t appended = b.AppendCell(record);
  EXPECT_EQ(appended, before + 36);
  EXPECT_EQ(b.Bytes().size(), before + 4096);
  EXPECT_TRUE(WalkCells(b.Bytes()).count(appended));
  EXPECT_EQ(hive::LoadU32(b.Bytes().data() + 40), b.Bytes().size() - 4096);
  EXPECT_EQ(hive::LoadU32(b.Bytes().data() + 508), XorOfBaseBlock(b.Bytes()));

  b.PatchU32(b.KeyOffset(parent) + 0x1C, 0xFFFFFFFF);
  EXPECT_EQ(hive::LoadU32(b.Bytes().data() + b.KeyOffset(parent) + 0x1C), 0xFFFFFFFFu);
  b.FixChecksum();
  b.Truncate(5000);
  EXPECT_EQ(b.Bytes().size(), 5000u);
}

}  // namespace
