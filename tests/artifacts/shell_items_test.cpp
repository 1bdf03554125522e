// Shell items: one of each kind and extension block built byte by byte and cut
// short at every length, item lists that end well and badly, the known folder
// names, and the items of real hives (ShellBags of a Windows 7 UsrClass.dat,
// the ComDlg32 lists of Windows 7 and 8.1 NTUSER.DAT) compared with RegRipper:
// its comdlg32 plugin for paths, its shellbags plugin (run on a hive built
// from the real items) for MFT references and times.
//
// Where Keyloom differs from RegRipper on purpose: GUIDs are named from the
// known folder list ("Pictures", "Personalization" where RegRipper writes
// "CLSID_Pictures", "CLSID_Personalization"), control panel categories by
// their full names ("Appearance and Personalization", not
// "Appearance/Personalization"), a volume is "C:" (the path still reads
// "C:\Users"), and property view items (library folders, a network server)
// are part of the path, where RegRipper stops at "Libraries".

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "artifacts/decoders.h"
#include "artifacts/shell_items.h"
#include "decoded_hive.h"
#include "hive/key_details.h"
#include "hive_builder.h"
#include "run_process.h"
#include "shell_item_bytes.h"
#include "temp_hive.h"

namespace {

using artifacts::ParseShellItem;
using artifacts::ParseShellItemList;
using artifacts::ShellItem;
using Kind = artifacts::ShellItem::Kind;
using testsupport::DecodedHive;
using namespace shellbytes;

const uint64_t kDosTime = artifacts::FileTimeFromDosDateTime(kDate, kTime);

// What each of shellbytes::Samples() reads as, in the same order.
struct ItemCase {
  const char* what;
  Kind kind;
  std::string name;
  std::function<void(const ShellItem&)> more = [](const ShellItem&) {};
  std::string problem = "";
};

const ItemCase kItemCases[] = {
    {"root folder", Kind::kRootFolder, "My Computer",
     [](const ShellItem& i) {
       EXPECT_EQ(i.sortIndex, 0x50);
       EXPECT_EQ(i.guid, "{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
     }},
    {"root folder, unknown GUID", Kind::kRootFolder, "{01234567-89AB-CDEF-0123-456789ABCDEF}"},
    {"root folder, 0xbeef0026", Kind::kRootFolder, "OneDrive",
     [](const ShellItem& i) {
       EXPECT_EQ(i.created, kFileTime);
       EXPECT_EQ(i.modified, kFileTime + 1);
       EXPECT_EQ(i.accessed, kFileTime + 2);
       EXPECT_EQ(i.extensionBlocks, std::vector<uint32_t>{0xbeef0026});
     }},
    {"volume, named", Kind::kVolume, "C:", [](const ShellItem& i) { EXPECT_EQ(i.driveLetter, 'C'); }},
    {"volume, GUID", Kind::kVolume, "Pictures"},
    {"file entry, XP (0xbeef0004 version 3)", Kind::kDirectory, "Documents and Settings",
     [](const ShellItem& i) {
       EXPECT_EQ(i.shortName, "DOCUME~1");
       EXPECT_EQ(i.modified, kDosTime);
       EXPECT_EQ(i.accessed, kDosTime);
       EXPECT_EQ(i.created, artifacts::FileTimeFromDosDateTime(0x3f19, 0xae86));
       EXPECT_FALSE(i.mftEntry);
       EXPECT_EQ(i.extensionVersion, 3);
       EXPECT_EQ(i.attributes, 0x10);
     }},
    {"file entry, 7 (version 8): file reference", Kind::kDirectory, "Users",
     [](const ShellItem& i) {
       EXPECT_EQ(i.mftEntry, 483u);
       EXPECT_EQ(i.mftSequence, 1);
     }},
    {"file entry, 7 (version 8): a file", Kind::kFile, "Report 2011.docx",
     [](const ShellItem& i) {
       EXPECT_EQ(i.shortName, "REPORT~1.DOC");
       EXPECT_EQ(i.fileSize, 70000u);
       EXPECT_EQ(i.attributes, 0x20);
       EXPECT_EQ(i.mftEntry, 77u);
       EXPECT_EQ(i.mftSequence, 2);
       EXPECT_EQ(i.extensionVersion, 8);
     }},
    {"file entry, 10 (version 9): localized name, no file reference", Kind::kFile, "a.txt",
     [](const ShellItem& i) {
       EXPECT_EQ(i.localizedName, "@shell32.dll,-21770");
       EXPECT_FALSE(i.mftEntry);
       EXPECT_EQ(i.fileSize, 7u);
     }},
    {"file entry, before XP: long then short name", Kind::kFile, "Long Name.txt",
     [](const ShellItem& i) { EXPECT_EQ(i.shortName, "LONGNA~1.TXT"); }},
    {"file entry, UTF-16 name, 0xbeef0003", Kind::kDirectory, "\u00dcber",
     [](const ShellItem& i) { EXPECT_EQ(i.guid, "{59031A47-3F72-44A7-89C5-5595FE6B30EE}"); }},
    {"network location", Kind::kNetworkLocation, "\\\\server\\share",
     [](const ShellItem& i) {
       EXPECT_EQ(i.description, "Microsoft Network");
       EXPECT_EQ(i.comments, "the share");
     }},
    {"compressed folder", Kind::kCompressedFolder, "inner"},
    {"URI", Kind::kUri, "https://example.org/"},
    {"control panel item", Kind::kControlPanelItem, "Personalization"},
    {"control panel category", Kind::kControlPanelCategory, "Appearance and Personalization"},
    {"control panel file", Kind::kControlPanelFile, "Mouse",
     [](const ShellItem& i) { EXPECT_EQ(i.longName, "a\\x.cpl"); }},
    {"property view, known folder", Kind::kPropertyView, "Documents"},
    {"property view, property store", Kind::kPropertyView, "Desktop Background"},
    {"delegate, CFSF file entry", Kind::kDirectory, "AppData",
     [](const ShellItem& i) { EXPECT_EQ(i.modified, kDosTime); }},
    {"delegate", Kind::kDelegate, "Users Files"},
    {"unknown class type", Kind::kUnknown, "[unknown item 0x5a, 36 bytes]"},
    {"0x00 without a known signature", Kind::kUnknown, "[unknown item 0x00, 12 bytes]"},
    {"extension block past the item", Kind::kRootFolder, "My Computer", [](const ShellItem&) {},
     "extension block at 20: size 200 past the end of the item"},
};

TEST(ShellItems, EachKindAndBlock) {
  const std::vector<Sample> samples = Samples();
  ASSERT_EQ(samples.size(), std::size(kItemCases));
  for (size_t n = 0; n < samples.size(); ++n) {
    const ItemCase& c = kItemCases[n];
    ASSERT_EQ(std::string_view(samples[n].what), c.what);
    SCOPED_TRACE(c.what);
    const ShellItem item = ParseShellItem(samples[n].bytes);
    EXPECT_EQ(ShellItemKindName(item.kind), ShellItemKindName(c.kind));
    EXPECT_EQ(item.name, c.name);
    EXPECT_EQ(item.size, samples[n].bytes.size());
    EXPECT_EQ(item.problem, c.problem);
    c.more(item);
  }
}

TEST(ShellItems, EveryCutItemSaysSo) {
  for (const Sample& sample : Samples()) {
    for (size_t held = 0; held < sample.bytes.size(); ++held) {
      const ShellItem item = ParseShellItem(std::span(sample.bytes).first(held));
      const std::string expected = artifacts::DataTooShort(held, held < 2 ? 3 : sample.bytes.size());
      EXPECT_NE(item.problem.find(expected), std::string::npos) << sample.what << ", " << held << ": " << item.problem;
    }
  }
}

TEST(ShellItems, ListsOfEveryKind) {
  Bytes all;
  for (const Sample& sample : Samples()) all.insert(all.end(), sample.bytes.begin(), sample.bytes.end());
  const artifacts::ShellItemList list = ParseShellItemList(Concat({all, Zeros(2)}));
  ASSERT_EQ(list.items.size(), std::size(kItemCases));
  for (size_t i = 0; i < list.items.size(); ++i)
    EXPECT_EQ(list.items[i].name, kItemCases[i].name) << kItemCases[i].what;
}

TEST(ShellItems, ListEnds) {
  const Bytes root = Root(kMyComputer);
  const struct {
    const char* what;
    Bytes data;
    size_t items;
    std::string problem;
  } cases[] = {
      {"size 0 first", Zeros(2), 0, ""},
      {"bytes after the end", Concat({root, Zeros(2), Bytes{1, 2, 3}}), 1, ""},
      {"an unknown item in between", Concat({root, Item(0x5a, Zeros(33)), Drive('C'), Zeros(2)}), 3, ""},
      {"size 1", Concat({root, Le(1, 2), Zeros(4)}), 1, "item 2: size 1 at 20 is too small for an item"},
      {"size 2", Concat({root, Le(2, 2), Zeros(2)}), 1, "item 2: size 2 at 20 is too small for an item"},
      {"past the end", Concat({root, Le(500, 2), U8(0x31), Zeros(37)}), 2,
       "item 2: data too short: 40 of 500 bytes; item 2: size 500 past the end of the data at 20"},
      {"no size 0", root, 1, "no end of the list after item 1"},
      {"one byte left", Concat({root, U8(0)}), 1, "item 2: 1 byte at 20 where a size belongs"},
      {"no data", {}, 0, "no end of the list: the data is empty"},
  };
  for (const auto& c : cases) {
    const artifacts::ShellItemList list = ParseShellItemList(c.data);
    EXPECT_EQ(list.items.size(), c.items) << c.what;
    EXPECT_EQ(artifacts::ShellItemProblems(list), c.problem) << c.what;
  }
  EXPECT_EQ(ShellItemPath(ParseShellItemList(cases[2].data)), "My Computer\\[unknown item 0x5a, 36 bytes]\\C:");
}

TEST(ShellItems, PathFromTheDesktopDown) {
  const Bytes nameless = Item(0x00, Concat({U8(0), Le(8, 2), Le(0x10141981, 4), Zeros(4)}));
  const Bytes data = Concat(
      {Root(kMyComputer), Drive('C'), Directory("Users", u"Users"), Directory("joe", u"joe"), nameless, Zeros(2)});
  const artifacts::ShellItemList list = ParseShellItemList(data);
  EXPECT_EQ(ShellItemPath(list), "My Computer\\C:\\Users\\joe\\[property view]");
  EXPECT_EQ(ShellItemPath(std::span(list.items).first(4), "/"), "My Computer/C:/Users/joe");
}

TEST(KnownFolders, NamesByGuid) {
  EXPECT_EQ(artifacts::KnownFolderName("{20D04FE0-3AEA-1069-A2D8-08002B30309D}"), "My Computer");
  EXPECT_EQ(artifacts::KnownFolderName("1ac14e77-02e7-4e5d-b744-2eb1ae5198b7"), "System32");
  EXPECT_EQ(artifacts::KnownFolderName("{00000000-0000-0000-0000-000000000000}"), "");
  EXPECT_EQ(artifacts::KnownFolderName("{20D04FE0}"), "");
  EXPECT_EQ(artifacts::WithKnownFolderName("{7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}\\App\\a.exe"),
            "Program Files (x86)\\App\\a.exe");
  EXPECT_EQ(artifacts::WithKnownFolderName("{00000000-0000-0000-0000-000000000000}\\a.exe"),
            "{00000000-0000-0000-0000-000000000000}\\a.exe");
  EXPECT_EQ(artifacts::WithKnownFolderName("C:\\a.exe"), "C:\\a.exe");
}

// --- Real hives, and RegRipper (Debian's regripper) run on them to compare with

// RegRipper's output lines, none when it is not installed.
std::optional<std::vector<std::string>> RegRipperLines(const std::string& hive, const std::string& plugin) {
  constexpr const char* kRegRipper = "/usr/bin/regripper";
  if (!std::filesystem::exists(kRegRipper)) return std::nullopt;
  std::vector<std::string> lines;
  std::istringstream in(testsupport::RunProcess({kRegRipper, "-r", hive, "-p", plugin}).out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? "" : std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// A FILETIME as RegRipper writes it: "2011-08-28 20:59:36".
std::string Utc(uint64_t fileTime) { return hive::FormatFileTime(fileTime).substr(0, 19); }

constexpr std::string_view kComDlg32 = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\";

// The data of the values of a key, by name (MRU orders left out).
std::map<std::string, Bytes> ValuesOf(const DecodedHive& hive, std::string_view path) {
  std::map<std::string, Bytes> values;
  hive.Keys().ForEachValue(hive.Keys().Find(hive.Keys().Root(), path), [&](const artifacts::ValueView& value) {
    if (!value.name.starts_with("MRU")) values.emplace(value.name, Bytes(value.data.begin(), value.data.end()));
    return true;
  });
  return values;
}

// The list after a program's UTF-16 name (LastVisitedPidlMRU).
std::span<const uint8_t> AfterName(std::span<const uint8_t> data) {
  size_t at = 0;
  while (at + 1 < data.size() && (data[at] != 0 || data[at + 1] != 0)) at += 2;
  return data.subspan(std::min(at + 2, data.size()));
}

TEST(ShellItemsRealHives, UsrClassShellBags) {
  // BagMRU: each numbered value one item, the subkey of its number the items below it.
  const DecodedHive hive(KEYLOOM_SHARED_HIVES "/dfwinreg__UsrClass.dat");
  ASSERT_TRUE(hive.Opened());
  std::map<std::string, std::string> paths;  // "Desktop\0\1\" -> path, as RegRipper lists them
  const std::function<void(const std::string&, const std::string&, const std::string&)> walk =
      [&](const std::string& key, const std::string& where, const std::string& above) {
        for (const auto& [number, data] : ValuesOf(hive, key)) {
          if (!std::isdigit(static_cast<unsigned char>(number[0]))) continue;
          const ShellItem item = ParseShellItem(data);
          EXPECT_EQ(item.problem, "") << where << number;
          paths[where + number + "\\"] = above.empty() ? item.name : above + "\\" + item.name;
          walk(key + "\\" + number, where + number + "\\", paths[where + number + "\\"]);
        }
      };
  walk("Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU", "Desktop\\", "");
  const std::map<std::string, std::string> expected = {
      {"Desktop\\0\\", "Control Panel"},
      {"Desktop\\0\\0\\", "Control Panel\\Appearance and Personalization"},
      {"Desktop\\0\\0\\0\\", "Control Panel\\Appearance and Personalization\\Personalization"},
      {"Desktop\\0\\0\\0\\0\\", "Control Panel\\Appearance and Personalization\\Personalization\\Desktop Background"},
      {"Desktop\\1\\", "My Computer"},
      {"Desktop\\1\\0\\", "My Computer\\Pictures"},
  };
  EXPECT_EQ(paths, expected);
}

TEST(ShellItemsRealHives, ComDlg32PathsAsRegRipperReadsThem) {
  const std::string file = KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT";
  const std::optional<std::vector<std::string>> lines = RegRipperLines(file, "comdlg32");
  if (!lines) GTEST_SKIP() << "RegRipper is not installed";
  const DecodedHive hive(file);
  std::vector<artifacts::ShellItemList> lists;
  for (const auto& [name, data] : ValuesOf(hive, std::string(kComDlg32) + "OpenSavePidlMRU\\*")) {
    lists.push_back(ParseShellItemList(data));
  }
  for (const auto& [name, data] : ValuesOf(hive, std::string(kComDlg32) + "LastVisitedPidlMRU")) {
    lists.push_back(ParseShellItemList(AfterName(data)));
  }
  ASSERT_EQ(lists.size(), 17u + 8u);
  size_t compared = 0;
  for (const artifacts::ShellItemList& list : lists) {
    EXPECT_EQ(artifacts::ShellItemProblems(list), "");
    const std::string path = ShellItemPath(list);
    if (!path.starts_with("My Computer\\")) continue;  // RegRipper names the other roots otherwise
    ++compared;
    const auto same = [&](const std::string& line) { return Trimmed(line).ends_with(path); };
    EXPECT_NE(std::find_if(lines->begin(), lines->end(), same), lines->end()) << path;
  }
  EXPECT_EQ(compared, 3u + 3u);
}

// RegRipper's shellbags plugin over a hive whose BagMRU holds the items of a
// real OpenSavePidlMRU list, one below the other: the file entries' times and
// MFT references (RegRipper shows those of directories).
void ExpectTimesAsRegRipper(const std::string& file, const std::string& value) {
  const Bytes data = ValuesOf(DecodedHive(file), std::string(kComDlg32) + "OpenSavePidlMRU\\*").at(value);
  const artifacts::ShellItemList list = ParseShellItemList(data);
  testsupport::HiveBuilder built;
  testsupport::HiveBuilder::KeyId key = built.Root();
  for (const char* name : {"Local Settings", "Software", "Microsoft", "Windows", "Shell", "BagMRU"}) {
    key = built.AddKey(key, name);
  }
  constexpr uint32_t kBinary = 3;
  size_t offset = 0;
  for (const ShellItem& item : list.items) {
    if (offset != 0) key = built.AddKey(key, "0");
    built.AddValue(key, "0", kBinary, Concat({Bytes(&data[offset], &data[offset] + item.size), Zeros(2)}));
    built.AddValue(key, "MRUListEx", kBinary, Concat({Le(0, 4), Le(0xffffffff, 4)}));
    offset += item.size;
  }
  const testsupport::TempHive temp(built.Build());
  const std::optional<std::vector<std::string>> lines = RegRipperLines(temp.Path(), "shellbags");
  if (!lines) GTEST_SKIP() << "RegRipper is not installed";
  size_t compared = 0;
  for (const ShellItem& item : list.items) {
    if (item.kind != Kind::kDirectory && item.kind != Kind::kFile) continue;
    if (item.modified == 0) continue;  // the dialogs' file items hold no times
    ++compared;
    const auto named = [&](const std::string& line) { return line.find("\\" + item.name + " [") != std::string::npos; };
    const auto line = std::find_if(lines->begin(), lines->end(), named);
    ASSERT_NE(line, lines->end()) << item.name;
    std::vector<std::string> columns;
    std::istringstream in(*line);
    for (std::string column; std::getline(in, column, '|');) columns.push_back(Trimmed(column));
    ASSERT_GE(columns.size(), 7u) << *line;
    EXPECT_EQ(columns[1], Utc(item.modified)) << item.name;
    EXPECT_EQ(columns[2], Utc(item.accessed)) << item.name;
    EXPECT_EQ(columns[3], Utc(item.created)) << item.name;
    if (!columns[5].empty()) {
      EXPECT_EQ(columns[5],
                std::to_string(item.mftEntry.value_or(0)) + "/" + std::to_string(item.mftSequence.value_or(0)))
          << item.name;
    }
  }
  EXPECT_GT(compared, 0u);
}

TEST(ShellItemsRealHives, FileEntryTimesAndReferencesAsRegRipperReadsThem) {
  ExpectTimesAsRegRipper(KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT", "5");    // C:\Users\nfury\...\StarFury.zip
  ExpectTimesAsRegRipper(KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT", "3");    // P:\Application Tools\Firefox 6.0
  ExpectTimesAsRegRipper(KEYLOOM_MORE_HIVES "/newer/notatin__NTUSER.DAT", "12");  // version 9: Desktop\Alpha.docx
  ExpectTimesAsRegRipper(KEYLOOM_MORE_HIVES "/newer/notatin__NTUSER.DAT", "14");  // OneDrive\Documents
}

}  // namespace
