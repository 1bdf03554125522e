// Writes the seed corpus of the hive fuzzer into a folder: sound hives with
// every subkey list kind and every value type, and damaged ones with cycles,
// deep nesting, shared lists, offsets past the end of the file and huge
// lengths and counts; version 1.5 hives with big data ("db"), whole and
// damaged, which only the wider open reads; and hives holding the keys the
// artifact decoders read (an NTUSER with ShellBags, RecentDocs, the dialogs'
// lists, UserAssist and Run; a UsrClass with ShellBags), one of them with
// some of those keys and values deleted, their cells freed, so that the
// decoders read what the deleted-record scan recovers.
//
//   make_fuzz_seeds FOLDER

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "artifacts/decoders.h"
#include "hive/format.h"
#include "hive/little_endian.h"
#include "hive_builder.h"
#include "path_builder.h"
#include "repeating_lists_hive.h"
#include "shell_item_bytes.h"

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

// --- The artifacts' keys, their shell items those of the shell item
// fuzzer's seeds.

using testsupport::kBinary;
using testsupport::PathBuilder;
namespace sb = shellbytes;

constexpr std::string_view kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr uint64_t kRunTime = 0x01CA1515D3F64B54;

std::string Below(std::string_view path, std::string_view name) { return std::string(path) + "\\" + std::string(name); }

sb::Bytes MruListEx(std::initializer_list<uint32_t> entries) {
  sb::Bytes data;
  for (const uint32_t entry : entries) data = sb::Concat({data, sb::Le(entry, 4)});
  return sb::Concat({data, sb::Le(0xFFFFFFFF, 4)});
}
sb::Bytes WideAscii(std::string_view ascii) { return sb::Wide(std::u16string(ascii.begin(), ascii.end())); }
// The sample item of shell_item_bytes.h described as what.
sb::Bytes SampleItem(std::string_view what) {
  for (const sb::Sample& sample : sb::Samples()) {
    if (sample.what == what) return sample.bytes;
  }
  std::fprintf(stderr, "make_fuzz_seeds: no sample item \"%.*s\"\n", static_cast<int>(what.size()), what.data());
  std::exit(1);
}
// An item list: the items, then the size 0 that ends it.
sb::Bytes ItemList(std::initializer_list<sb::Bytes> items) {
  sb::Bytes list;
  for (const sb::Bytes& item : items) list = sb::Concat({list, item});
  return sb::Concat({list, sb::Zeros(2)});
}

// A BagMRU tree below bags: items "0" and "1" at the top (My Computer and
// Users Files), C: and two files below "0", a value the list does not name
// and a name the list gives without a value.
void AddBags(PathBuilder& hive, const std::string& bags) {
  hive.Data(bags, "0", kBinary, sb::Root(sb::kMyComputer));
  hive.Data(bags, "1", kBinary, sb::Root(sb::kUsersFiles));
  hive.Data(bags, "2", kBinary, sb::Le(2, 2));
  hive.Data(bags, "NodeSlots", kBinary, {2, 2});
  hive.Data(bags, "MRUListEx", kBinary, MruListEx({1, 0, 5}));
  hive.Data(Below(bags, "0"), "0", kBinary, sb::Drive('C'));
  hive.Data(Below(bags, "0"), "MRUListEx", kBinary, MruListEx({0}));
  const std::string users = bags + "\\0\\0";
  hive.Data(users, "0", kBinary, sb::Directory("Users", u"Users", 483 | 1ull << 48));
  hive.Data(users, "1", kBinary, SampleItem("file entry, 10 (version 9): localized name, no file reference"));
  hive.Data(users, "MRUListEx", kBinary, MruListEx({1, 0}));
  hive.Dword(Below(users, "0"), "NodeSlot", 3);
}

// UserAssist entries: Windows XP's 16 bytes, Windows 7's 72.
sb::Bytes UserAssistXp(uint32_t count) { return sb::Concat({sb::Le(1, 4), sb::Le(count, 4), sb::Le(kRunTime, 8)}); }
sb::Bytes UserAssistSeven(uint32_t runs) {
  sb::Bytes data = sb::Concat({sb::Le(0, 4), sb::Le(runs, 4), sb::Le(3, 4), sb::Le(1234, 4)});
  data.resize(60, 0xFF);
  return sb::Concat({data, sb::Le(kRunTime, 8), sb::Le(0, 4)});
}

// An NTUSER hive with the keys of the shell item artifacts, UserAssist, Run
// and a few more MRU lists. What the deleted seed takes away is the last
// value or subkey of its key (so that a count one lower leaves it out, as
// Windows leaves a list), kept here by id.
struct NtuserSample {
  PathBuilder hive;
  HiveBuilder::KeyId bags = 0, bagOne = 0, recentDocs = 0, dialogs = 0, lastVisited = 0, count = 0, run = 0;
  HiveBuilder::ValueId recentLast = 0, userAssistLast = 0, runLast = 0;
  std::vector<HiveBuilder::ValueId> bagOneValues, lastVisitedValues;

  NtuserSample() {
    for (const char* key : {"AppEvents", "Console", "Control Panel", "Environment"}) hive.Key(key);
    const std::string bagsPath = "Software\\Microsoft\\Windows\\Shell\\BagMRU";
    AddBags(hive, bagsPath);
    const std::string bagOnePath = Below(bagsPath, "1");  // the last subkey of BagMRU
    bagOneValues = {hive.Data(bagOnePath, "0", kBinary, SampleItem("network location")),
                    hive.Data(bagOnePath, "MRUListEx", kBinary, MruListEx({0}))};
    bags = hive.Key(bagsPath);
    bagOne = hive.Key(bagOnePath);

    const std::string recent = Below(kExplorer, "RecentDocs");
    const sb::Bytes lnk = ItemList({sb::Root(sb::kMyComputer), sb::Drive('C')});
    hive.Data(recent, "0", kBinary, sb::Concat({WideAscii("a.txt"), lnk}));
    hive.Data(recent, "MRUListEx", kBinary, MruListEx({1, 0}));
    recentLast = hive.Data(recent, "1", kBinary, sb::Concat({WideAscii("b.doc"), lnk}));
    hive.Data(Below(recent, ".txt"), "0", kBinary, sb::Concat({WideAscii("a.txt"), lnk}));
    hive.Data(Below(recent, ".txt"), "MRUListEx", kBinary, MruListEx({0}));
    recentDocs = hive.Key(recent);

    const std::string comDlg = Below(kExplorer, "ComDlg32");
    const sb::Bytes pidl = ItemList({sb::Root(sb::kMyComputer), sb::Drive('C'), sb::Directory("JOE~1", u"Joe Doe")});
    for (const char* list : {"OpenSavePidlMRU\\*", "OpenSavePidlMRU\\txt"}) {
      hive.Data(Below(comDlg, list), "0", kBinary, pidl);
      hive.Data(Below(comDlg, list), "1", kBinary, ItemList({SampleItem("compressed folder")}));
      hive.Data(Below(comDlg, list), "MRUListEx", kBinary, MruListEx({1, 0}));
    }
    hive.Data(Below(comDlg, "CIDSizeMRU"), "0", kBinary, sb::Concat({WideAscii("calc.exe"), sb::Zeros(40)}));
    const std::string lastVisitedPath = Below(comDlg, "LastVisitedPidlMRU");  // the last subkey of ComDlg32
    lastVisitedValues = {hive.Data(lastVisitedPath, "0", kBinary, sb::Concat({WideAscii("notepad.exe"), pidl})),
                         hive.Data(lastVisitedPath, "1", kBinary, sb::Concat({WideAscii("calc.exe"), pidl})),
                         hive.Data(lastVisitedPath, "MRUListEx", kBinary, MruListEx({1, 0}))};
    dialogs = hive.Key(comDlg);
    lastVisited = hive.Key(lastVisitedPath);

    const std::string userAssist = Below(kExplorer, "UserAssist");
    const std::string xp = Below(userAssist, "{75048700-EF1F-11D0-9888-006097DEACF9}");
    hive.Dword(xp, "Version", 3);
    hive.Data(Below(xp, "Count"), artifacts::Rot13("UEME_RUNPATH:C:\\x.exe"), kBinary, UserAssistXp(8));
    hive.Data(Below(xp, "Count"), artifacts::Rot13("UEME_CTLSESSION"), kBinary, sb::Le(0x0E50A8B0, 8));
    const std::string seven = Below(userAssist, "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}");
    hive.Dword(seven, "Version", 5);
    hive.Data(Below(seven, "Count"), artifacts::Rot13("{1AC14E77-02E7-4E5D-B744-2EB1AE5198B7}\\calc.exe"), kBinary,
              UserAssistSeven(4));
    userAssistLast =
        hive.Data(Below(seven, "Count"), artifacts::Rot13("Microsoft.Windows.Explorer"), kBinary, UserAssistSeven(9));
    count = hive.Key(Below(seven, "Count"));

    hive.Sz(Below(kExplorer, "RunMRU"), "a", "cmd\\1");
    hive.Sz(Below(kExplorer, "RunMRU"), "MRUList", "a");
    hive.Sz(Below(kExplorer, "TypedPaths"), "url1", "C:\\Windows");
    hive.Sz("Software\\Microsoft\\Internet Explorer\\TypedURLs", "url1", "https://example.org/");
    hive.Sz("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Once", "C:\\once.exe");
    const std::string runPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    hive.Sz(runPath, "Tool", "\"C:\\Program Files\\Tool\\tool.exe\" /background");
    runLast = hive.Sz(runPath, "Updater", "C:\\updater.exe");
    run = hive.Key(runPath);
    hive.Build();
  }
};

// Frees a value's cells (the record and its data cell).
void FreeValue(HiveBuilder& b, HiveBuilder::ValueId value) {
  b.FreeCells(b.ValueOffset(value), b.ValueOffset(value));
  if (b.DataOffset(value) != 0) b.FreeCells(b.DataOffset(value), b.DataOffset(value));
}

// Deletes the last value of key as Windows does: the key's count one lower
// (the list's last entry stays past it) and the value's cells freed.
void DeleteLastValue(HiveBuilder& b, HiveBuilder::KeyId key, HiveBuilder::ValueId value) {
  const uint32_t node = b.KeyOffset(key);
  b.PatchU32(node + nk::kValueCount, hive::LoadU32(b.Bytes().data() + node + nk::kValueCount) - 1);
  FreeValue(b, value);
}

// Deletes a key without subkeys, the last of its parent's list: the parent's
// counts one lower, the key's node, value list and values freed.
void DeleteLastSubkey(HiveBuilder& b, HiveBuilder::KeyId parent, HiveBuilder::KeyId key,
                      const std::vector<HiveBuilder::ValueId>& values) {
  const uint32_t node = b.KeyOffset(parent);
  const uint32_t count = hive::LoadU32(b.Bytes().data() + node + nk::kSubkeyCount) - 1;
  b.PatchU32(node + nk::kSubkeyCount, count);
  b.PatchU16(b.SubkeyListOffset(parent) + hive::subkey_list::kCount, static_cast<uint16_t>(count));
  b.FreeCells(b.KeyOffset(key), b.KeyOffset(key));
  if (b.ValueListOffset(key) != 0) b.FreeCells(b.ValueListOffset(key), b.ValueListOffset(key));
  for (const HiveBuilder::ValueId value : values) FreeValue(b, value);
}

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

  // The artifacts' keys: an NTUSER, a UsrClass, and the NTUSER with a
  // BagMRU subkey, the LastVisitedPidlMRU key and the last value of
  // RecentDocs, UserAssist and Run deleted.
  seeds.push_back({"ntuser-artifacts", [] { return NtuserSample().hive.Builder().Bytes(); }});
  seeds.push_back({"usrclass-shellbags", [] {
                     PathBuilder hive;
                     hive.Key("CLSID");
                     AddBags(hive, "Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU");
                     return hive.Build();
                   }});
  seeds.push_back({"ntuser-artifacts-deleted", [] {
                     NtuserSample s;
                     HiveBuilder& b = s.hive.Builder();
                     DeleteLastSubkey(b, s.bags, s.bagOne, s.bagOneValues);
                     DeleteLastSubkey(b, s.dialogs, s.lastVisited, s.lastVisitedValues);
                     DeleteLastValue(b, s.recentDocs, s.recentLast);
                     DeleteLastValue(b, s.count, s.userAssistLast);
                     DeleteLastValue(b, s.run, s.runLast);
                     return b.Bytes();
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
