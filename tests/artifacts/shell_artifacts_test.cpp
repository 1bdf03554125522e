// The shell-item artifacts: ShellBags, RecentDocs and the Open and Save
// dialogs (ComDlg32), on real hives of Windows XP, 7 and 8.1 compared with
// RegRipper's shellbags, recentdocs and comdlg32 plugins (run at test time),
// and on hives built byte by byte for what no shared hive holds (a BagMRU
// whose MRUListEx differs from the value order, Windows XP's dialog lists)
// and for damaged values.
//
// Where Keyloom differs from RegRipper on purpose (the items' names, as in
// shell_items_test.cpp): known folders are named by GUID ("Pictures" for
// "CLSID_Pictures", "Network" for "My Network Places", "OneDrive" where
// RegRipper writes "Libraries" after the sort index), control panel
// categories by full name, and the items RegRipper stops at (libraries,
// property views) are part of the path. So a dialog's path is compared whole
// from My Computer down, else by its last name. RegRipper has no plugin for
// NTUSER ShellBags: those of XP and 7 are facts checked once with hivex.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "artifacts/decoders.h"
#include "artifacts/shell_items.h"
#include "rows_as_text.h"
#include "shell_item_bytes.h"

namespace {

using testsupport::DecodedHive;
using namespace rowtext;
using namespace shellbytes;
using usertest::kBinary;
using usertest::Utc;

Bytes MruListEx(std::initializer_list<uint32_t> entries) {
  Bytes data;
  for (const uint32_t entry : entries) data = Concat({data, Le(entry, 4)});
  return Concat({data, Le(0xFFFFFFFF, 4)});
}
Bytes Wide8(std::string_view ascii) { return Wide(std::u16string(ascii.begin(), ascii.end())); }

// RegRipper's names taken to ours: "CLSID_Pictures", "My Network Places".
std::string AsOurNames(std::string text) {
  for (size_t at; (at = text.find("CLSID_")) != std::string::npos;) text.erase(at, 6);
  if (text.starts_with("My Network Places")) text.replace(0, 17, "Network");
  if (const size_t at = text.find("Appearance/Personalization"); at != std::string::npos) {
    text.replace(at, 26, "Appearance and Personalization");
  }
  return text;
}

// ---------------------------------------------------------------- ShellBags

const std::string kBags = "Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU";

TEST(ShellBags, DepthFirstInMruListExOrderWithEveryGap) {
  usertest::PathBuilder hive = HiveWith({"CLSID", "Local Settings"});
  hive.Data(kBags, "0", kBinary, Root(kMyComputer));
  hive.Data(kBags, "1", kBinary, Root(kUsersFiles));  // no subkey 1
  hive.Data(kBags, "2", kBinary, Le(2, 2));            // an item of size 2, not listed
  hive.Data(kBags, "NodeSlots", kBinary, {2, 2});
  hive.Data(kBags, "MRUListEx", kBinary, MruListEx({1, 0, 5}));  // 5: no such value
  hive.Data(kBags + "\\0", "0", kBinary, Drive('C'));
  hive.Data(kBags + "\\0", "MRUListEx", kBinary, MruListEx({0}));
  hive.Data(kBags + "\\0\\0", "0", kBinary, Directory("Users", u"Users", 483 | 1ull << 48));
  hive.Data(kBags + "\\0\\0", "MRUListEx", kBinary, MruListEx({0}));
  hive.Dword(kBags + "\\0\\0\\0", "NodeSlot", 3);
  hive.Key(kBags + "\\2");
  const DecodedHive decoded(hive.Build(), "UsrClass.dat");
  const Rows rows = decoded.Decode("shellbags");
  const std::string t = Utc(kBuiltTime), dos = Utc(artifacts::FileTimeFromDosDateTime(kDate, kTime));
  EXPECT_EQ(Shown(rows),
            (Lines{"Users Files |  | 0 | root folder | " + t + " |  |  |  |  |  |  !! no subkey 1 for its folders",
                   "My Computer | BagMRU\\0 | 1 | root folder |  | " + t + " |  |  |  |  | ",
                   "My Computer\\C: | BagMRU\\0\\0 | 0 | volume | " + t + " | " + t + " |  |  |  |  | ",
                   "My Computer\\C:\\Users | BagMRU\\0\\0\\0 | 0 | directory | " + t + " | " + t + " | " + dos +
                       " | " + dos + " | " + dos + " | 483 | 1",
                   " |  | 2 |  |  |  |  |  |  |  |  !! MRUListEx names a value that is not there",
                   "[unknown] | BagMRU\\2 |  | unknown |  | " + t +
                       " |  |  |  |  |  !! not in MRUListEx; size 2 is too small for an item"}));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[3].key, decoded.Keys().Find(decoded.Keys().Root(), kBags + "\\0\\0"));  // the value's key
  EXPECT_EQ(rows[3].valueName, "0");
}

TEST(ShellBags, TheWalkStopsAt64Levels) {
  usertest::PathBuilder hive = HiveWith({"CLSID", "Local Settings"});
  std::string key = kBags;
  for (int level = 0; level < 70; ++level, key += "\\0") {
    hive.Data(key, "0", kBinary, Directory("D", u"d"));
    hive.Data(key, "MRUListEx", kBinary, MruListEx({0}));
  }
  const Rows rows = DecodedHive(hive.Build(), "UsrClass.dat").Decode("shellbags");
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[62].problem, "");
  EXPECT_EQ(rows[63].problem, "subkeys deeper than 64 levels are not read");
}

// Two values of one name on every level (not Windows' own) name one subkey
// twice: it is walked once, else each level would double the rows below it.
TEST(ShellBags, ASubkeyNamedTwiceIsWalkedOnce) {
  usertest::PathBuilder hive = HiveWith({"CLSID", "Local Settings"});
  std::string key = kBags;
  constexpr int kLevels = 40;
  for (int level = 0; level < kLevels; ++level, key += "\\0") {
    hive.Data(key, "0", kBinary, Directory("D", u"d"));
    hive.Data(key, "0", kBinary, Directory("E", u"e"));
    hive.Data(key, "MRUListEx", kBinary, MruListEx({0}));
  }
  const Rows rows = DecodedHive(hive.Build(), "UsrClass.dat").Decode("shellbags");
  ASSERT_EQ(rows.size(), 2u * kLevels);
  // The first values down to the deepest, then the second ones on the way up.
  EXPECT_EQ(rows[kLevels - 2].problem, "");
  EXPECT_EQ(rows.back().problem, "not in MRUListEx; its subkey 0 is named by another entry too: its folders are "
                                 "listed once");
}

TEST(ShellBags, UsrClassAgreesWithRegRipper) {
  const auto lines = usertest::RegRipperLines(kUsrClass, "shellbags");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  // "MRU Time|Modified|Accessed|Created|Zip_Subfolder|MFT File Ref|Resource [Desktop\0\]",
  // as ours: path | node | MRU time | modified | accessed | created.
  Lines ripper;
  for (const std::string& line : *lines) {
    const size_t open = line.rfind(" [Desktop\\");
    if (line.find('|') == std::string::npos || open == std::string::npos) continue;
    Lines columns;
    std::istringstream in(line.substr(0, open));
    for (std::string column; std::getline(in, column, '|');) columns.push_back(usertest::Squeezed(column));
    ASSERT_EQ(columns.size(), 7u) << line;
    const std::string node = "BagMRU" + line.substr(open + 9, line.size() - open - 11);
    ripper.push_back(AsOurNames(columns[6]) + " | " + node + " | " + columns[0] + " | " + columns[1] + " | " +
                     columns[2] + " | " + columns[3]);
  }
  Lines ours;
  for (const artifacts::ArtifactRow& row : DecodedHive(kUsrClass).Decode("shellbags")) {
    EXPECT_EQ(row.problem, "");
    ours.push_back(Shown(row.cells[0]) + " | " + Shown(row.cells[1]) + " | " + Shown(row.cells[4]) + " | " +
                   Shown(row.cells[7]) + " | " + Shown(row.cells[8]) + " | " + Shown(row.cells[6]));
  }
  EXPECT_EQ(ours, ripper);
  EXPECT_EQ(ours.size(), 6u);
}

TEST(ShellBags, NtuserBagsOfXpAndSeven) {
  // XP's ShellNoRoam\BagMRU; "Documents and Settings" holds DOS times
  // 0x374B/0x6AF8 (created) and 0x3B04/0x798C (modified and accessed).
  const Lines xp = Shown(DecodedHive(kXp).Decode("shellbags"));
  ASSERT_EQ(xp.size(), 5u);
  EXPECT_EQ(xp[0],
            "My Computer | BagMRU\\0 | 0 | root folder | 2009-08-04 15:19:16 | 2009-08-04 15:19:10 |  |  |  |  | ");
  EXPECT_EQ(xp[2],
            "My Computer\\C:\\Documents and Settings | BagMRU\\0\\0\\0 | 0 | directory | 2009-08-04 15:19:13 | "
            "2009-08-04 15:19:14 | 2007-10-11 13:23:48 | 2009-08-04 15:12:24 | 2009-08-04 15:12:24 |  | ");
  EXPECT_TRUE(xp[4].starts_with("My Computer\\C:\\Documents and Settings\\Administrator\\My Documents | "
                                "BagMRU\\0\\0\\0\\0\\0 | 0 | directory | 2009-08-04 15:19:16 | 2009-08-04 15:19:16"));
  // 7's Shell\BagMRU: a WebDAV share below Network and its server.
  const Lines seven = Shown(DecodedHive(kSeven).Decode("shellbags"));
  ASSERT_EQ(seven.size(), 3u);
  EXPECT_TRUE(seven[2].starts_with("Network\\controller\\\\\\controller\\WebDavShare | BagMRU\\0\\0\\0 | 0 | "
                                   "network location"));
  EXPECT_TRUE(DecodedHive(kEight).Decode("shellbags").empty());  // its BagMRU has no entries
}

// --------------------------------------------------------------- RecentDocs

class RealHive : public testing::TestWithParam<std::string> {};

TEST_P(RealHive, RecentDocsAgreeWithRegRipper) {
  // RegRipper: per key its path, "LastWrite Time[:] <time>Z", then "  <value> = <name>" in MRU order.
  const auto lines = usertest::RegRipperLines(GetParam(), "recentdocs");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  const std::string path = kExplorer + "\\RecentDocs";
  std::map<std::string, Lines> ripper, ours;  // by extension ("" for RecentDocs itself)
  Lines* key = nullptr;
  for (const std::string& line : *lines) {
    if (line.starts_with(path)) key = &ripper[line.size() > path.size() ? line.substr(path.size() + 1) : ""];
    if (key != nullptr && line.starts_with("LastWrite Time")) key->push_back(line.substr(line.find("20"), 19));
    if (key != nullptr && line.starts_with("  ") && line.find(" = ") != std::string::npos) key->push_back(line);
  }
  for (const artifacts::ArtifactRow& row : DecodedHive(GetParam()).Decode("recentdocs")) {
    Lines& entries = ours[Shown(row.cells[0])];
    if (usertest::Integer(row.cells[1]) == 0) entries.push_back(Shown(row.cells[4]));  // the key's time
    entries.push_back("  " + row.valueName + " = " + Shown(row.cells[2]));
    EXPECT_EQ(row.problem, "");
    EXPECT_TRUE(Shown(row.cells[3]).ends_with(".lnk")) << row.valueName;  // the shortcut Windows made
  }
  EXPECT_EQ(ours, ripper);
}

TEST(RecentDocs, EveryShortOrOddValue) {
  const Bytes lnk = Directory("A~1.LNK", u"a.lnk");
  const Bytes cut(lnk.begin(), lnk.begin() + 10);
  usertest::PathBuilder hive = NtuserHive();
  const std::string key = kExplorer + "\\RecentDocs";
  hive.Data(key, "0", kBinary, Concat({Wide8("a.txt"), lnk}));
  hive.Data(key, "1", kBinary, {'b', 0, 'c', 0});
  hive.Data(key, "2", kBinary, Concat({Wide8("c.txt"), cut}));
  hive.Data(key, "3", kBinary, Wide8("d"));
  hive.Data(key, "4", kBinary, Concat({Wide8("e"), lnk, Zeros(1)}));
  hive.Data(key, "MRUListEx", kBinary, MruListEx({3, 0, 1, 2, 4}));
  hive.Data(key + "\\.txt", "a", kBinary, Concat({Wide8("old.txt"), lnk}));
  hive.Sz(key + "\\.txt", "MRUList", "a");  // the letters of Windows 2000
  const std::string t = Utc(kBuiltTime);
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "recentdocs"),
            (Lines{" | 0 | d |  | " + t, " | 1 | a.txt | a.lnk | ", " | 2 | bc |  |  !! the name has no NUL end",
                   " | 3 | c.txt | [directory] |  !! item 1: " + artifacts::ParseShellItem(cut).problem,
                   " | 4 | e | a.lnk |  !! 1 byte after item 1", ".txt | 0 | old.txt | a.lnk | " + t}));
}

TEST(RecentDocs, AListNamingManyMissingValuesGivesAtMost64OfThem) {
  usertest::PathBuilder hive = NtuserHive();
  const std::string key = kExplorer + "\\RecentDocs";
  Bytes list;
  for (uint32_t entry = 0; entry < 100; ++entry) list = Concat({list, Le(entry, 4)});
  hive.Data(key, "0", kBinary, Wide8("a.txt"));
  hive.Data(key, "MRUListEx", kBinary, list);  // without its 0xFFFFFFFF end: the data ends it
  const Rows rows = DecodedHive(hive.Build(), "NTUSER.DAT").Decode("recentdocs");
  ASSERT_EQ(rows.size(), 65u);
  EXPECT_EQ(rows[64].valueName, "64");
  EXPECT_EQ(rows[64].problem, "MRUListEx names a value that is not there; it names 35 more values that are not there");
}

// ----------------------------------------------------------------- ComDlg32

// RegRipper's path and ours: equal from My Computer down; where RegRipper
// stops (at "Libraries") ours goes on; elsewhere the same last name.
void ExpectSamePath(const std::string& ripper, const std::string& ours) {
  const std::string theirs = AsOurNames(ripper);
  if (theirs.find('\\') == std::string::npos) {
    EXPECT_TRUE(ours.starts_with(theirs)) << ours << " / " << theirs;
  } else if (theirs.starts_with("My Computer\\")) {
    EXPECT_EQ(ours, theirs);
  } else {
    EXPECT_EQ(ours.substr(ours.rfind('\\') + 1), theirs.substr(theirs.rfind('\\') + 1)) << ours << " / " << theirs;
  }
}

TEST_P(RealHive, DialogsAgreeWithRegRipper) {
  // RegRipper: a list's name ("LastVisitedPidlMRU", "OpenSavePidlMRU\*") on a
  // line of its own, then its entries indented by two, in MRU order.
  const auto lines = usertest::RegRipperLines(GetParam(), "comdlg32");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  std::map<std::string, Lines> ripper;
  Lines* list = nullptr;
  for (const std::string& line : *lines) {
    if (line == "CIDSizeMRU" || line == "FirstFolder" || line == "LastVisitedPidlMRU" ||
        line.starts_with("OpenSavePidlMRU\\")) {
      list = &ripper[line];
    } else if (list != nullptr && line.starts_with("  ")) {
      list->push_back(usertest::Squeezed(line.substr(2)));
    }
  }
  std::map<std::string, Rows> ours;
  for (artifacts::ArtifactRow& row : DecodedHive(GetParam()).Decode("comdlg32")) {
    EXPECT_EQ(row.problem, "") << row.valueName;
    const std::string extension = Shown(row.cells[1]);
    ours[Shown(row.cells[0]) + (extension.empty() ? "" : "\\" + extension)].push_back(std::move(row));
  }
  ASSERT_EQ(ours.size(), ripper.size());
  for (const auto& [name, entries] : ripper) {
    SCOPED_TRACE(name);
    ASSERT_EQ(ours[name].size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      const artifacts::ArtifactRow& row = ours[name][i];
      const std::string program = Shown(row.cells[4]);
      EXPECT_EQ(Shown(row.cells[2]), std::to_string(i));
      if (name.starts_with("OpenSave")) {
        ExpectSamePath(entries[i], Shown(row.cells[3]));
      } else if (name == "LastVisitedPidlMRU") {
        ASSERT_TRUE(entries[i].starts_with(program + " - ")) << entries[i];
        ExpectSamePath(entries[i].substr(program.size() + 3), Shown(row.cells[3]));
      } else {
        EXPECT_EQ(entries[i], program);  // CIDSizeMRU, FirstFolder
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(XpSevenAndEight, RealHive, testing::Values(kXp, kSeven, kEight));

TEST(ComDlg32, ListedNamesMatchWithoutCaseAndTheFirstOfTwoSameNamesCounts) {
  // "a" and "A" in one key (a hive Windows did not write): the list's "A"
  // finds the first of them; the other is a value the list misses.
  usertest::PathBuilder hive = NtuserHive();
  const std::string txt = kExplorer + "\\ComDlg32\\OpenSaveMRU\\txt";
  hive.Sz(txt, "b", "C:\\b.txt");
  hive.Sz(txt, "a", "C:\\first.txt");
  hive.Sz(txt, "A", "C:\\second.txt");
  hive.Sz(txt, "MRUList", "AB");
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "comdlg32"),
            (Lines{"OpenSaveMRU | txt | 0 | C:\\first.txt | ", "OpenSaveMRU | txt | 1 | C:\\b.txt | ",
                   "OpenSaveMRU | txt |  | C:\\second.txt |  !! not in MRUList"}));
}

TEST(ComDlg32, XpListsAndDamagedValues) {
  usertest::PathBuilder hive = NtuserHive();
  const std::string dialogs = kExplorer + "\\ComDlg32\\";
  hive.Sz(dialogs + "OpenSaveMRU\\*", "a", "C:\\x");
  hive.Sz(dialogs + "OpenSaveMRU\\*", "MRUList", "a");
  hive.Sz(dialogs + "OpenSaveMRU\\txt", "a", "C:\\a.txt");
  hive.Sz(dialogs + "OpenSaveMRU\\txt", "b", "C:\\b.txt");
  hive.Sz(dialogs + "OpenSaveMRU\\txt", "MRUList", "ba");
  hive.Data(dialogs + "LastVisitedMRU", "a", kBinary, Concat({Wide8("notepad.exe"), Wide8("C:\\docs")}));
  hive.Data(dialogs + "LastVisitedMRU", "b", kBinary, {'x', 0});
  hive.Sz(dialogs + "LastVisitedMRU", "MRUList", "ab");
  const Bytes myComputerC = Concat({Root(kMyComputer), Drive('C')});
  hive.Data(dialogs + "LastVisitedPidlMRU", "0", kBinary, Concat({Wide8("calc.exe"), myComputerC, Zeros(2)}));
  hive.Data(dialogs + "LastVisitedPidlMRU", "1", kBinary, Concat({Wide8("bad.exe"), myComputerC}));
  hive.Data(dialogs + "LastVisitedPidlMRU", "MRUListEx", kBinary, MruListEx({1, 0}));
  hive.Data(dialogs + "CIDSizeMRU", "0", kBinary, Concat({Wide8("calc.exe"), Zeros(40)}));
  hive.Data(dialogs + "FirstFolder", "0", kBinary, Concat({Wide8("C:\\calc.exe"), Zeros(2)}));
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "comdlg32"),
            (Lines{"LastVisitedPidlMRU |  | 0 | My Computer\\C: | bad.exe !! no end of the list after item 2",
                   "LastVisitedPidlMRU |  | 1 | My Computer\\C: | calc.exe",
                   "CIDSizeMRU |  |  |  | calc.exe !! no MRUListEx or MRUList value",
                   "FirstFolder |  |  |  | C:\\calc.exe !! no MRUListEx or MRUList value",
                   "OpenSaveMRU | * | 0 | C:\\x | ", "OpenSaveMRU | txt | 0 | C:\\b.txt | ",
                   "OpenSaveMRU | txt | 1 | C:\\a.txt | ", "LastVisitedMRU |  | 0 | C:\\docs | notepad.exe",
                   "LastVisitedMRU |  | 1 |  | x !! the program's name has no NUL end"}));
}

}  // namespace
