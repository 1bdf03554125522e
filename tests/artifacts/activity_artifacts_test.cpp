// The user-activity artifacts: MountPoints2, Office's recent files and the
// MUI cache on real hives compared with RegRipper's mp2, msoffice and
// muicache plugins (run at test time); feature usage, recent apps, Remote
// Desktop servers and mapped drives (which no shared hive holds), and every
// damaged or odd value, on hives built byte by byte.
//
// Where Keyloom differs from RegRipper on purpose: the MUI cache's
// "<path>.FriendlyAppName" and "<path>.ApplicationCompany" values make one
// row per program (RegRipper lists each value), and its resource strings
// ("@shell32.dll,-9216") and LangID get rows too (RegRipper leaves them out).
// MountPoints2's CPC key (Windows Vista and later keep volume data there) is
// a "drive", as RegRipper lists it among the drives.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "rows_as_text.h"

namespace {

using testsupport::DecodedHive;
using namespace rowtext;
using namespace usertest;

constexpr uint64_t kOpened = 0x01CD0146EA1EADB0;  // 2012-03-13 18:27:15 UTC

// ------------------------------------------------------------- MountPoints2

// RegRipper's mp2: "Remote Drives:", "Volumes:" and "Drives:" sections, each
// a time ("2011-08-23 17:10:14Z") with the names below it ("  ##server#share"),
// drives on the time's own line ("2009-08-04 15:12:23Z - A,C,D").
std::set<std::string> RegRipperMountPoints(const Lines& lines) {
  std::set<std::string> found;  // "name | kind | time"
  std::string kind, time;
  for (const std::string& line : lines) {
    if (line == "Remote Drives:") kind = "share";
    if (line == "Volumes:") kind = "volume";
    if (line == "Drives:") kind = "drive";
    if (line.starts_with("Unique MAC")) kind.clear();
    if (kind.empty()) continue;
    if (line.size() >= 20 && line[19] == 'Z' && line[4] == '-') {
      time = line.substr(0, 19);
      std::istringstream drives(line.size() > 23 ? line.substr(23) : "");
      for (std::string drive; std::getline(drives, drive, ',');) found.insert(drive + " | drive | " + time);
    } else if (line.starts_with("  ")) {
      found.insert(line.substr(2) + " | " + kind + " | " + time);
    }
  }
  return found;
}

class RealNtuser : public testing::TestWithParam<std::string> {};

TEST_P(RealNtuser, MountPointsAgreeWithRegRipper) {
  const auto lines = RegRipperLines(GetParam(), "mp2");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  const Lines rows = Shown(DecodedHive(GetParam()).Decode("mountpoints2"));
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), RegRipperMountPoints(*lines));
  EXPECT_GE(rows.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(XpSevenAndEight, RealNtuser, testing::Values(kXp, kSeven, kEight));

// ------------------------------------------------------------------- Office

// RegRipper's msoffice: "<Application> - <list>" then "<time>Z: <path>" lines.
std::map<std::string, Lines> RegRipperOffice(const Lines& lines) {
  std::map<std::string, Lines> lists;
  Lines* list = nullptr;
  for (const std::string& line : lines) {
    if (line.ends_with(" - File MRU") || line.ends_with(" - Place MRU")) {
      list = &lists[line];
    } else if (list != nullptr && line.size() > 22 && line.substr(19, 3) == "Z: ") {
      list->push_back(line.substr(0, 19) + " " + line.substr(22));
    } else {
      list = nullptr;
    }
  }
  return lists;
}

TEST(OfficeMru, SevenAgreesWithRegRipper) {
  const auto lines = RegRipperLines(kSeven, "msoffice");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  std::map<std::string, Lines> ours;
  for (const artifacts::ArtifactRow& row : DecodedHive(kSeven).Decode("officemru")) {
    Lines& list = ours[Shown(row.cells[0]) + " - " + Shown(row.cells[2])];
    EXPECT_EQ(Integer(row.cells[3]), static_cast<int64_t>(list.size()));
    EXPECT_EQ(Shown(row.cells[1]), "14.0");
    list.push_back(Shown(row.cells[5]) + " " + Shown(row.cells[4]));
  }
  EXPECT_EQ(ours, RegRipperOffice(*lines));
  EXPECT_EQ(ours.size(), 2u);
}

TEST(OfficeMru, ListsOfEveryPlaceAndDamagedItems) {
  PathBuilder hive = NtuserHive();
  const std::string excel = "Software\\Microsoft\\Office\\16.0\\Excel";
  const std::string item = "[F00000000][T01CD0146EA1EADB0][O00000000]*";
  hive.Sz(excel + "\\File MRU", "Item 10", item + "C:\\ten.xlsx");
  hive.Sz(excel + "\\File MRU", "Item 2", item + "C:\\two.xlsx");
  hive.Sz(excel + "\\File MRU", "Item 1", "[F00000000][T01CD0146EA1EADB0]C:\\no star.xlsx");
  hive.Sz(excel + "\\File MRU", "Item 3", "[F00000000][T01CD0146EA1EAZZZ]*C:\\bad time.xlsx");
  hive.Sz(excel + "\\File MRU", "Item 4", "[F00000000*C:\\open.xlsx");
  hive.Sz(excel + "\\File MRU", "Item 0", item + "C:\\zero.xlsx");
  hive.Dword(excel + "\\File MRU", "Max Display", 25);
  hive.Sz(excel + "\\File MRU", "Item Metadata 1", "<Metadata />");
  hive.Sz(excel + "\\User MRU\\ADAL_1234\\Place MRU", "Item 1", item + "C:\\Users\\");
  hive.Sz("Software\\Microsoft\\Office\\Common\\File MRU", "Item 1", item + "C:\\not a version.docx");
  const Lines rows = ShownRows(hive.Build(), "NTUSER.DAT", "officemru");
  const std::string opened = Utc(kOpened);
  EXPECT_EQ(rows, (Lines{
                      "Excel | 16.0 | File MRU |  | C:\\zero.xlsx | " + opened + " !! items are numbered from 1",
                      "Excel | 16.0 | File MRU | 0 |  | " + opened + " !! no \"*\" before the path",
                      "Excel | 16.0 | File MRU | 1 | C:\\two.xlsx | " + opened,
                      "Excel | 16.0 | File MRU | 2 | C:\\bad time.xlsx |  !! the T field is not 16 hex digits: "
                      "[T01CD0146EA1EAZZZ]",
                      "Excel | 16.0 | File MRU | 3 |  |  !! a field without its \"]\"",
                      "Excel | 16.0 | File MRU | 9 | C:\\ten.xlsx | " + opened,
                      "Excel | 16.0 | User MRU\\ADAL_1234\\Place MRU | 0 | C:\\Users\\ | " + opened,
                  }));
}

// ----------------------------------------------------------------- MUI cache

// RegRipper's muicache: "<value name> (<data>)" lines (indented by two on XP).
std::set<std::string> RegRipperMuiCache(const Lines& lines) {
  std::set<std::string> found;
  for (const std::string& line : lines) {
    if (!line.ends_with(")") || line.find(" (") == std::string::npos || line.starts_with("(")) continue;
    found.insert(line.starts_with("  ") ? line.substr(2) : line);
  }
  return found;
}

class RealMuiCache : public testing::TestWithParam<std::string> {};

TEST_P(RealMuiCache, AgreesWithRegRipper) {
  const auto lines = RegRipperLines(GetParam(), "muicache");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  std::set<std::string> ours;
  size_t resources = 0;
  for (const artifacts::ArtifactRow& row : DecodedHive(GetParam()).Decode("muicache")) {
    EXPECT_EQ(row.problem, "") << row.valueName;
    const std::string program = Shown(row.cells[0]);
    if (program.starts_with("@") || program == "LangID") {
      ++resources;
    } else if (!Shown(row.cells[2]).empty()) {  // Vista and later: one line per value
      ours.insert(program + ".FriendlyAppName (" + Shown(row.cells[1]) + ")");
      ours.insert(program + ".ApplicationCompany (" + Shown(row.cells[2]) + ")");
    } else {
      ours.insert(program + " (" + Shown(row.cells[1]) + ")");
    }
  }
  EXPECT_EQ(ours, RegRipperMuiCache(*lines));
  EXPECT_GT(resources, 0u);
}

INSTANTIATE_TEST_SUITE_P(XpAndUsrClass, RealMuiCache, testing::Values(kXp, kUsrClass));

TEST(MuiCache, ProgramsGroupedResourcesAndDamagedValues) {
  PathBuilder hive = HiveWith({"CLSID", "Local Settings"});
  const std::string cache = "Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache";
  hive.Data(cache, "LangID", kBinary, {0x09});
  hive.Sz(cache, "C:\\A.exe.FriendlyAppName", "A");
  hive.Sz(cache, "@shell32.dll,-9216", "My Computer");
  hive.Sz(cache, "c:\\a.exe.ApplicationCompany", "A Corp");
  hive.Sz(cache, "C:\\b.exe.ApplicationCompany", "B Corp");
  hive.Sz(cache, "C:\\b.exe.FRIENDLYAPPNAME", "B");
  hive.Sz(cache, "C:\\b.exe.FriendlyAppName", "B again");
  const Lines rows = ShownRows(hive.Build(), "UsrClass.dat", "muicache");
  EXPECT_EQ(rows, (Lines{
                      "LangID |  |  !! data too short: 1 of 2 bytes",
                      "C:\\A.exe | A | A Corp",
                      "@shell32.dll,-9216 | My Computer | ",
                      "C:\\b.exe | B again | B Corp !! two values for FriendlyAppName",
                  }));
}

// ------------------------------------------- Feature usage and recent apps

TEST(FeatureUsage, CountsOfEachList) {
  PathBuilder hive = NtuserHive();
  const std::string usage = kExplorer + "\\FeatureUsage";
  hive.Dword(usage + "\\AppSwitched", "Microsoft.Windows.Explorer", 41);
  hive.Data(usage + "\\AppSwitched", "short", kBinary, {1, 0});
  hive.Dword(usage + "\\AppLaunch", "Microsoft.Windows.Explorer", 3);
  hive.Dword(usage + "\\TrayButtonClicked", "StartButton", 7);
  hive.Dword(usage + "\\AppBadgeUpdated", "Mail", 2);
  hive.Dword(usage + "\\ShowJumpView", "Edge", 1);
  hive.Dword(usage + "\\Elsewhere", "Unknown", 9);  // not a list Windows keeps
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "featureusage"),
            (Lines{"AppSwitched | Microsoft.Windows.Explorer | 41",
                   "AppSwitched | short |  !! data too short: 2 of 4 bytes",
                   "AppLaunch | Microsoft.Windows.Explorer | 3", "ShowJumpView | Edge | 1",
                   "AppBadgeUpdated | Mail | 2", "TrayButtonClicked | StartButton | 7"}));
}

TEST(RecentApps, ARowPerRecentItemOrPerApp) {
  PathBuilder hive = NtuserHive();
  const std::string apps = "Software\\Microsoft\\Windows\\CurrentVersion\\Search\\RecentApps";
  const std::string word = apps + "\\{0E1D2C3B-0000-0000-0000-000000000001}";
  hive.Sz(word, "AppId", "Microsoft.Office.WINWORD.EXE.15");
  hive.Dword(word, "LaunchCount", 4);
  hive.Data(word, "LastAccessedTime", kQword, Le(kOpened, 8));
  hive.Sz(word + "\\RecentItems\\{A}", "DisplayName", "a.docx");
  hive.Sz(word + "\\RecentItems\\{A}", "Path", "C:\\a.docx");
  hive.Data(word + "\\RecentItems\\{A}", "LastAccessedTime", kQword, Le(kOpened + 10'000'000, 8));
  hive.Sz(word + "\\RecentItems\\{B}", "DisplayName", "b.docx");
  hive.Data(word + "\\RecentItems\\{B}", "LastAccessedTime", kBinary, Le(1, 4));
  const std::string calc = apps + "\\{0E1D2C3B-0000-0000-0000-000000000002}";
  hive.Sz(calc, "AppId", "Microsoft.WindowsCalculator");
  hive.Data(calc, "LaunchCount", kBinary, {1});
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "recentapps"),
            (Lines{"Microsoft.Office.WINWORD.EXE.15 | 4 | " + Utc(kOpened) + " | C:\\a.docx | " +
                       Utc(kOpened + 10'000'000),
                   "Microsoft.Office.WINWORD.EXE.15 | 4 | " + Utc(kOpened) +
                       " | b.docx |  !! LastAccessedTime: data too short: 4 of 8 bytes",
                   "Microsoft.WindowsCalculator |  |  |  |  !! LaunchCount: data too short: 1 of 4 bytes"}));
}

// ------------------------------------ Remote Desktop and mapped network drives

TEST(TsClient, ServersInMruOrderThenTheOthers) {
  PathBuilder hive = NtuserHive();
  const std::string client = "Software\\Microsoft\\Terminal Server Client";
  hive.Sz(client + "\\Default", "MRU10", "ten.example");
  hive.Sz(client + "\\Default", "MRU1", "10.0.0.1");
  hive.Sz(client + "\\Default", "MRU0", "Host.Example");
  hive.Sz(client + "\\Default", "Other", "x");
  hive.Sz(client + "\\Servers\\host.example", "UsernameHint", "CORP\\joe");
  hive.Sz(client + "\\Servers\\old.example", "UsernameHint", "joe");
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "tsclient"),
            (Lines{"Host.Example | CORP\\joe | 0", "10.0.0.1 |  | 1", "ten.example |  | 10",
                   "x |  |  !! not an MRUn value", "old.example | joe | "}));
}

TEST(MapNetworkDrive, MruListOrder) {
  PathBuilder hive = NtuserHive();
  const std::string drives = kExplorer + "\\Map Network Drive MRU";
  hive.Sz(drives, "a", "\\\\server\\share");
  hive.Sz(drives, "b", "\\\\nas\\backup");
  hive.Sz(drives, "c", "\\\\gone\\share");
  hive.Sz(drives, "MRUList", "bad");
  EXPECT_EQ(ShownRows(hive.Build(), "NTUSER.DAT", "mapnetworkdrive"),
            (Lines{"0 | \\\\nas\\backup", "1 | \\\\server\\share", "2 |  !! MRUList names a value that is not there",
                   " | \\\\gone\\share !! not in MRUList"}));
  // Windows 7's key is there without values, as RegRipper's mndmru says.
  EXPECT_TRUE(DecodedHive(kSeven).Decode("mapnetworkdrive").empty());
}

}  // namespace
