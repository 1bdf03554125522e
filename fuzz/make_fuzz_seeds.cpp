// Writes the seed corpus of the hive fuzzer into a folder: sound hives with
// every subkey list kind and every value type, and damaged ones with cycles,
// deep nesting, shared lists, offsets past the end of the file and huge
// lengths and counts; version 1.5 hives with big data ("db"), whole and
// damaged, which only the wider open reads.
//
//   make_fuzz_seeds FOLDER

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive_builder.h"
#include "repeating_lists_hive.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::ListKind;
namespace nk = hive::key_node;
namespace vk = hive::value_record;
namespace db = hive::big_data;
namespace bb = hive::base_block;

// A version 1.5 hive with big data values: one byte over a segment, two
// segments and a bit, as String, Binary and DWord.
struct BigDataSample {
  HiveBuilder builder{"ROOT"};
  HiveBuilder::KeyId key = 0;
  HiveBuilder::ValueId text = 0, binary = 0, dword = 0;

  BigDataSample() {
    key = builder.AddKey(builder.Root(), "Big");
    std::vector<uint8_t> utf16;
    for (uint32_t i = 0; i < db::kSegmentBytes / 2 + 1; ++i) {
      utf16.push_back(static_cast<uint8_t>('a' + i % 26));
      utf16.push_back(0);
    }
    text = builder.AddBigDataValue(key, "Text", 1, utf16);
    std::vector<uint8_t> bytes(2 * db::kSegmentBytes + 7);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 16344);
    binary = builder.AddBigDataValue(key, "Blob", 3, bytes);
    dword = builder.AddBigDataValue(key, "Count", 4, std::vector<uint8_t>(db::kSegmentBytes + 1, 0x2A));
    builder.SetMinorVersion(5);
    builder.Build();
  }
};

std::vector<uint8_t> Filled(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (const char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// A small hive with two levels of keys and values of every kind.
struct Sample {
  HiveBuilder builder{"ROOT"};
  HiveBuilder::KeyId a = 0, b = 0, c = 0;
  HiveBuilder::ValueId text = 0, binary = 0, dword = 0;

  Sample() {
    a = builder.AddKey(builder.Root(), "Software");
    b = builder.AddKeyUtf16(builder.Root(), u"Envoyer \u00e0");
    c = builder.AddKey(a, "Run");
    text = builder.AddValue(c, "Path", 1, Utf16(u"C:\\Windows\\system32"));
    builder.AddValue(c, "Expand", 2, Utf16(u"%SystemRoot%\\x"));
    binary = builder.AddValue(c, "Blob", 3, Filled(40, 0x10));
    dword = builder.AddValue(c, "Count", 4, Filled(4, 0x2A));
    builder.AddValue(c, "Multi", 7, Utf16(std::u16string(u"one\0two\0\0", 9)));
    builder.AddDefaultValue(b, 1, Utf16(u"default"));
    builder.AddValueUtf16Name(b, u"Unicod\u00e9", 11, Filled(8, 0xF0));
    builder.Build();
  }
};

struct Seed {
  std::string name;
  std::function<std::vector<uint8_t>()> make;
};

std::vector<Seed> Seeds() {
  std::vector<Seed> seeds;

  seeds.push_back({"sample", [] { return Sample().builder.Bytes(); }});

  // Every subkey list kind, with enough children for several ri leaves.
  const std::pair<const char*, ListKind> kinds[] = {
      {"lf", ListKind::kLf},         {"lh", ListKind::kLh},         {"li", ListKind::kLi},
      {"ri-li", ListKind::kRiOfLi}, {"ri-lf", ListKind::kRiOfLf}, {"ri-lh", ListKind::kRiOfLh}};
  for (const auto& [name, kind] : kinds) {
    seeds.push_back({std::string("list-") + name, [kind = kind] {
                       HiveBuilder builder;
                       for (int i = 0; i < 24; ++i) {
                         const auto key = builder.AddKey(builder.Root(), "k" + std::to_string(i));
                         if (i % 5 == 0) builder.AddKey(key, "leaf");
                       }
                       builder.SetListKind(builder.Root(), kind, 5);
                       return builder.Build();
                     }});
  }

  // Every value type with data lengths around the inline limit.
  seeds.push_back({"value-types", [] {
                     HiveBuilder builder;
                     const auto key = builder.AddKey(builder.Root(), "Types");
                     const uint32_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x10000 + 11};
                     for (const uint32_t type : types) {
                       for (const size_t length : {size_t{0}, size_t{1}, size_t{4}, size_t{5}, size_t{33}}) {
                         builder.AddValue(key, "t" + std::to_string(type) + "_" + std::to_string(length),
                                          type, Filled(length, static_cast<uint8_t>(0x41 + type)));
                       }
                     }
                     builder.AddDefaultValue(key, 4, Filled(4, 1));
                     return builder.Build();
                   }});

  // A subkey leading back to its grandparent.
  seeds.push_back({"cycle", [] {
                     Sample s;
                     s.builder.PatchU32(s.builder.SubkeyListOffset(s.a) + 4,
                                        HiveBuilder::CellOf(s.builder.KeyOffset(s.builder.Root())));
                     return s.builder.Bytes();
                   }});
  seeds.push_back({"cycle-ri", [] {
                     HiveBuilder builder;
                     const auto a = builder.AddKey(builder.Root(), "A");
                     for (int i = 0; i < 6; ++i) builder.AddKey(a, "k" + std::to_string(i));
                     builder.SetListKind(a, ListKind::kRiOfLh, 2);
                     builder.Build();
                     const uint32_t leaf = builder.LeafListOffsets(a).at(1);
                     builder.PatchU32(leaf + 4, HiveBuilder::CellOf(builder.KeyOffset(a)));
                     builder.PatchU32(leaf + 12, HiveBuilder::CellOf(builder.SubkeyListOffset(a)));
                     return builder.Bytes();
                   }});

  seeds.push_back({"deep", [] {
                     HiveBuilder builder;
                     HiveBuilder::KeyId key = builder.Root();
                     for (int depth = 0; depth < 700; ++depth) key = builder.AddKey(key, "d");
                     return builder.Build();
                   }});

  // Every key's list is the root's list.
  seeds.push_back({"shared-lists", [] {
                     HiveBuilder builder;
                     std::vector<HiveBuilder::KeyId> keys;
                     for (int i = 0; i < 8; ++i) {
                       keys.push_back(builder.AddKey(builder.Root(), "s" + std::to_string(i)));
                       builder.AddKey(keys.back(), "x");
                     }
                     builder.Build();
                     const uint32_t shared = HiveBuilder::CellOf(builder.SubkeyListOffset(builder.Root()));
                     for (const auto key : keys) builder.PatchU32(builder.KeyOffset(key) + nk::kSubkeyList, shared);
                     return builder.Bytes();
                   }});

  // Each key's list names the next key twice, 9 deep: 1,023 items, within
  // the budget, so the walk completes and its children are checked.
  seeds.push_back({"repeating-lists", [] { return testsupport::HiveWithRepeatingLists(9); }});

  // Offsets past the end of the file in every place that holds one.
  seeds.push_back({"past-the-end", [] {
                     Sample s;
                     auto& b = s.builder;
                     const auto end = static_cast<uint32_t>(b.Bytes().size());
                     b.PatchU32(b.SubkeyListOffset(b.Root()) + 4, HiveBuilder::CellOf(end - 8));
                     b.PatchU32(b.KeyOffset(s.a) + nk::kValueList, 0x7FFFFFF0);
                     b.PatchU32(b.ValueListOffset(s.c), HiveBuilder::CellOf(end - 10));
                     b.PatchU32(b.ValueOffset(s.text) + vk::kDataOffset, 0xFFFFFFF0);
                     b.PatchU32(b.ValueOffset(s.binary) + vk::kDataOffset, HiveBuilder::CellOf(end - 16));
                     return b.Bytes();
                   }});

  // Huge lengths and counts.
  seeds.push_back({"huge", [] {
                     Sample s;
                     auto& b = s.builder;
                     b.PatchU32(b.ValueOffset(s.binary) + vk::kDataLength, 0x7FFFFFFF);
                     b.PatchU32(b.ValueOffset(s.text) + vk::kDataLength, 0x00FFFFFF);
                     b.PatchU16(b.ValueOffset(s.dword) + vk::kNameLength, 0xFFFF);
                     b.PatchU16(b.KeyOffset(s.b) + nk::kNameLength, 0x7FFF);
                     b.PatchU32(b.KeyOffset(s.c) + nk::kValueCount, 0x7FFFFFFF);
                     b.PatchU32(b.KeyOffset(s.a) + nk::kSubkeyCount, 0xFFFFFFFF);
                     b.PatchU16(b.SubkeyListOffset(b.Root()) + 2, 0xFFFF);
                     return b.Bytes();
                   }});

  // A list whose elements all name one key with a long name.
  seeds.push_back({"same-key", [] {
                     HiveBuilder builder;
                     const auto big = builder.AddKey(builder.Root(), std::string(2000, 'N'));
                     for (int i = 0; i < 60; ++i) builder.AddKey(builder.Root(), "k");
                     builder.Build();
                     const uint32_t list = builder.SubkeyListOffset(builder.Root());
                     for (uint32_t i = 0; i < 61; ++i)
                       builder.PatchU32(list + 4 + 8 * i, HiveBuilder::CellOf(builder.KeyOffset(big)));
                     return builder.Bytes();
                   }});

  // Cut short, and without the root key at the first bin.
  seeds.push_back({"truncated", [] {
                     Sample s;
                     s.builder.Truncate(static_cast<uint32_t>(s.builder.Bytes().size()) - 3000);
                     return s.builder.Bytes();
                   }});
  seeds.push_back({"root-from-base-block", [] {
                     Sample s;
                     s.builder.PatchU16(s.builder.KeyOffset(s.builder.Root()) + nk::kFlags, 0x0020);
                     return s.builder.Bytes();
                   }});

  // Big data, whole, then with its segments, lists and counts broken.
  seeds.push_back({"big-data", [] { return BigDataSample().builder.Bytes(); }});
  seeds.push_back({"big-data-damaged", [] {
                     BigDataSample s;
                     auto& b = s.builder;
                     const auto end = static_cast<uint32_t>(b.Bytes().size());
                     b.PatchU32(b.SegmentListOffset(s.binary) + 4, HiveBuilder::CellOf(end - 100));
                     b.PatchU16(b.DataOffset(s.text) + db::kSegmentCount, 0xFFFF);
                     b.PatchU32(b.DataOffset(s.dword) + db::kSegmentList, 0x7FFFFFF0);
                     b.PatchU32(b.ValueOffset(s.binary) + vk::kDataLength, 0x7FFFFFFF);
                     return b.Bytes();
                   }});
  seeds.push_back({"big-data-shared-segment", [] {
                     BigDataSample s;
                     auto& b = s.builder;
                     const uint32_t first = b.SegmentOffsets(s.binary).at(0);
                     for (uint32_t i = 1; i < 3; ++i) {
                       b.PatchU32(b.SegmentListOffset(s.binary) + 4 * i, HiveBuilder::CellOf(first));
                     }
                     b.PatchU16(b.DataOffset(s.binary) + db::kSegmentCount, 3);
                     b.PatchU32(b.ValueOffset(s.binary) + vk::kDataLength, 0x00FFFFFF);
                     return b.Bytes();
                   }});
  // A "db" in a version 1.3 hive is data as it is.
  seeds.push_back({"big-data-version-1.3", [] {
                     BigDataSample s;
                     s.builder.PatchU32(bb::kMinorVersion, 3);
                     s.builder.FixChecksum();
                     return s.builder.Bytes();
                   }});
  // Not saved cleanly, with a wrong checksum: the wider open replays (no logs here).
  seeds.push_back({"big-data-dirty", [] {
                     BigDataSample s;
                     s.builder.PatchU32(bb::kPrimarySequence, 5);
                     return s.builder.Bytes();
                   }});
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  int written = 0;
  for (const Seed& seed : Seeds()) {
    const std::vector<uint8_t> bytes = seed.make();
    FILE* out = std::fopen((folder / ("seed-" + seed.name)).c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", seed.name.c_str());
      if (out != nullptr) std::fclose(out);
      return 1;
    }
    std::fclose(out);
    ++written;
  }
  std::printf("make_fuzz_seeds: %d seeds in %s\n", written, folder.c_str());
  return 0;
}
