// SOFTWARE artifacts (and the Run and Uninstall keys SOFTWARE shares with
// NTUSER) on SOFTWARE hives built byte by byte: no SOFTWARE hive is among the
// shared real hives. The NTUSER side of Run and Uninstall is compared with
// RegRipper in ntuser_artifacts_test.cpp. The hives built here were read once
// with RegRipper's winver (the Windows 11 case), profilelist, uninstall and
// networklist plugins, which agree on the names, paths, install time and
// gateway MACs held below; networklist showed no dates for these profiles, so
// the dates are checked against times worked out by hand. On purpose, Keyloom
// shows DisplayVersion before ReleaseId (winver shows only ReleaseId), and a
// MAC of other than 6 bytes as it is, with a problem (networklist pads it).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoded_hive.h"
#include "user_artifacts_support.h"

namespace {

using testsupport::DecodedHive;
using namespace usertest;

// A SOFTWARE hive's root keys, so that its kind is told from its content.
PathBuilder SoftwareBuilder() {
  PathBuilder hive;
  for (const char* key : {"Classes", "Clients", "Microsoft", "Policies"}) hive.Key(key);
  return hive;
}

constexpr std::string_view kCurrentVersion = "Microsoft\\Windows NT\\CurrentVersion";

// 2012-04-06 13:12:11 UTC as a FILETIME and as Unix seconds.
constexpr uint64_t kFileTime = 0x01CD13F6E0528780;
constexpr uint32_t kUnixSeconds = 1333717931;

// SYSTEMTIME: year, month, day of week, day, hour, minute, second, ms.
std::vector<uint8_t> SystemTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                                uint16_t second) {
  return Concat({Le(year, 2), Le(month, 2), Le(0, 2), Le(day, 2), Le(hour, 2), Le(minute, 2), Le(second, 2),
                 Le(0, 2)});
}

TEST(WindowsVersion, BuildAndDisplayVersionAsEachWindowsWritesThem) {
  using Strings = std::vector<std::pair<const char*, const char*>>;
  const struct {
    Strings strings;
    bool installTime;  // InstallTime (Windows 10 and later), a FILETIME, beside InstallDate
    const char* build;
    const char* displayVersion;
  } cases[] = {
      {{{"CurrentBuild", "1.511.1 () (Obsolete data - do not use)"}, {"CurrentBuildNumber", "2600"},
        {"CSDVersion", "Service Pack 3"}},
       false, "2600", "Service Pack 3"},
      {{{"CurrentBuild", "17763"}, {"ReleaseId", "1809"}, {"CSDVersion", "unused"}}, false, "17763", "1809"},
      {{{"CurrentBuildNumber", "22631"}, {"ReleaseId", "2009"}, {"DisplayVersion", "23H2"}}, true, "22631", "23H2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.build);
    PathBuilder hive = SoftwareBuilder();
    hive.Sz(kCurrentVersion, "ProductName", "Windows");
    hive.Sz(kCurrentVersion, "RegisteredOwner", "joe");
    for (const auto& [name, text] : c.strings) hive.Sz(kCurrentVersion, name, text);
    hive.Dword(kCurrentVersion, "InstallDate", c.installTime ? 1 : kUnixSeconds);
    if (c.installTime) hive.Data(kCurrentVersion, "InstallTime", kQword, Le(kFileTime, 8));
    const DecodedHive decoded(hive.Build(), "SOFTWARE");
    const auto rows = decoded.Decode("windows");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Text(rows[0].cells[0]), "Windows");
    EXPECT_EQ(Text(rows[0].cells[1]), c.build);
    EXPECT_EQ(Text(rows[0].cells[2]), c.displayVersion);
    EXPECT_EQ(Time(rows[0].cells[3]), kFileTime);
    EXPECT_EQ(Text(rows[0].cells[4]), "joe");
  }
}

TEST(Profiles, OneRowPerSidWithItsPathAndTime) {
  PathBuilder hive = SoftwareBuilder();
  const std::string list = Below(kCurrentVersion, "ProfileList");
  hive.Sz(Below(list, "S-1-5-18"), "ProfileImagePath", "%systemroot%\\system32\\config\\systemprofile");
  hive.Sz(Below(list, "S-1-5-21-1-2-3-1001"), "ProfileImagePath", "C:\\Users\\nfury");
  hive.Key(Below(list, "S-1-5-21-1-2-3-1002"));
  const DecodedHive decoded(hive.Build(), "SOFTWARE");
  const auto rows = decoded.Decode("profilelist");
  const std::vector<std::pair<std::string, std::string>> expected{
      {"S-1-5-18", "%systemroot%\\system32\\config\\systemprofile"},
      {"S-1-5-21-1-2-3-1001", "C:\\Users\\nfury"},
      {"S-1-5-21-1-2-3-1002", "<none>"}};
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(Text(rows[i].cells[0]), expected[i].first);
    EXPECT_EQ(Text(rows[i].cells[1]), expected[i].second);
    EXPECT_EQ(Time(rows[i].cells[2]), decoded.Keys().LastWritten(rows[i].key));
    EXPECT_EQ(decoded.Keys().Name(rows[i].key), expected[i].first);
  }
}

TEST(Networks, ProfilesWithTheirGatewaysCategoriesAndDates) {
  PathBuilder hive = SoftwareBuilder();
  const std::string networks = Below(kCurrentVersion, "NetworkList");
  const struct {
    const char* guid;
    const char* name;
    uint32_t category;
    std::vector<uint8_t> created;
    const char* signatures;  // the Signatures subkey its gateway is under
    std::vector<uint8_t> mac;
    const char* category_word;
    uint64_t createdTime;
    const char* gatewayMac;
    const char* problem;
  } cases[] = {
      {"{1A2B3C4D-0000-4000-8000-000000000001}", "shieldbase.local", 2, SystemTime(2012, 4, 6, 13, 12, 11), "Managed",
       {0x00, 0x50, 0x56, 0xC0, 0x00, 0x08}, "domain", kFileTime, "00-50-56-C0-00-08", ""},
      {"{1A2B3C4D-0000-4000-8000-000000000002}", "Home", 1, SystemTime(2012, 4, 6, 13, 12, 11), "Unmanaged",
       {0xAA, 0xBB, 0xCC, 0xDD}, "private", kFileTime, "AA-BB-CC-DD",
       "DefaultGatewayMac of signature SIG2: 4 bytes, not 6"},
      {"{1A2B3C4D-0000-4000-8000-000000000003}", "Cafe", 0, Le(0x07DC, 2), "Unmanaged", {}, "public", 0, "<none>",
       "DateCreated: data too short: 2 of 16 bytes"},
      {"{1A2B3C4D-0000-4000-8000-000000000004}", "Odd", 9, {}, "Managed", {}, "unknown (9)", 0, "<none>", ""},
  };
  int signature = 0;
  for (const auto& c : cases) {
    const std::string profile = Below(networks, std::string("Profiles\\") + c.guid);
    hive.Sz(profile, "ProfileName", c.name);
    hive.Sz(profile, "Description", c.name);
    hive.Dword(profile, "Category", c.category);
    if (!c.created.empty()) hive.Data(profile, "DateCreated", kBinary, c.created);
    hive.Data(profile, "DateLastConnected", kBinary, SystemTime(2012, 4, 6, 13, 12, 11));
    const std::string key =
        Below(networks, std::string("Signatures\\") + c.signatures + "\\SIG" + std::to_string(++signature));
    hive.Sz(key, "ProfileGuid", c.guid);
    if (!c.mac.empty()) hive.Data(key, "DefaultGatewayMac", kBinary, c.mac);
  }
  const DecodedHive decoded(hive.Build(), "SOFTWARE");
  const auto rows = decoded.Decode("networklist");
  ASSERT_EQ(rows.size(), std::size(cases));
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Text(rows[i].cells[0]), c.name);
    EXPECT_EQ(Text(rows[i].cells[1]), c.name);
    EXPECT_EQ(Text(rows[i].cells[2]), c.category_word);
    EXPECT_EQ(Time(rows[i].cells[3]), c.createdTime);
    EXPECT_EQ(Time(rows[i].cells[4]), kFileTime);
    EXPECT_EQ(Text(rows[i].cells[5]), c.gatewayMac);
    EXPECT_EQ(rows[i].problem, c.problem);
  }
}

TEST(InstalledPrograms, BothViewsOfSoftwareAndTheUsersOwn) {
  PathBuilder software = SoftwareBuilder();
  const std::string uninstall = "Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::string uninstall32 = "Wow6432Node\\" + uninstall;
  software.Sz(Below(uninstall, "7-Zip"), "DisplayName", "7-Zip 9.20 (x64 edition)");
  software.Sz(Below(uninstall, "7-Zip"), "DisplayVersion", "9.20.00.0");
  software.Sz(Below(uninstall, "7-Zip"), "Publisher", "Igor Pavlov");
  software.Sz(Below(uninstall, "7-Zip"), "InstallDate", "20120406");
  software.Sz(Below(uninstall, "7-Zip"), "InstallLocation", "C:\\Program Files\\7-Zip\\");
  software.Key(Below(uninstall, "KB2506212"));
  software.Sz(Below(uninstall32, "Adobe Reader"), "DisplayName", "Adobe Reader 9");
  software.Dword(Below(uninstall32, "Adobe Reader"), "InstallDate", 20111115);
  const DecodedHive decoded(software.Build(), "SOFTWARE");
  const auto rows = decoded.Decode("uninstall");
  const std::vector<std::vector<std::string>> expected{
      {Below(uninstall, "7-Zip"), "7-Zip 9.20 (x64 edition)", "9.20.00.0", "Igor Pavlov", "20120406",
       "C:\\Program Files\\7-Zip\\"},
      {Below(uninstall, "KB2506212"), "<none>", "<none>", "<none>", "<none>", "<none>"},
      {Below(uninstall32, "Adobe Reader"), "Adobe Reader 9", "<none>", "<none>", "20111115", "<none>"},
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t column = 0; column < expected[i].size(); ++column) {
      EXPECT_EQ(Text(rows[i].cells[column]), expected[i][column]) << i << "/" << column;
    }
    EXPECT_EQ(Time(rows[i].cells[6]), decoded.Keys().LastWritten(rows[i].key));
  }
}

TEST(RunKeys, SoftwareReadsItsRootsPathsAndNtuserBelowSoftware) {
  const std::string run = "Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string policies = "Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
  PathBuilder software = SoftwareBuilder();
  software.Sz(run, "VMware Tools", "\"C:\\Program Files\\VMware\\VMwareTray.exe\"");
  software.Dword(run, "Number", 1);
  software.Sz("Wow6432Node\\" + run + "Once", "Setup", "setup.exe /x");
  software.Sz(policies, "Agent", "agent.exe");
  software.Sz("Software\\" + run, "Ignored", "a SOFTWARE hive has no Software key of its own");
  const DecodedHive decodedSoftware(software.Build(), "SOFTWARE");

  PathBuilder ntuser;
  for (const char* key : {"AppEvents", "Console", "Control Panel", "Environment"}) ntuser.Key(key);
  ntuser.Sz("Software\\" + run, "OneDrive", "OneDrive.exe /background");
  ntuser.Sz(run, "Ignored", "not below Software");
  const DecodedHive decodedNtuser(ntuser.Build(), "NTUSER.DAT");

  const struct {
    const DecodedHive& hive;
    std::vector<std::vector<std::string>> rows;  // key, name, command, problem
  } cases[] = {
      {decodedSoftware,
       {{run, "VMware Tools", "\"C:\\Program Files\\VMware\\VMwareTray.exe\"", ""},
        {run, "Number", "<none>", "not a string value (type 4)"},
        {policies, "Agent", "agent.exe", ""},
        {"Wow6432Node\\" + run + "Once", "Setup", "setup.exe /x", ""}}},
      {decodedNtuser, {{"Software\\" + run, "OneDrive", "OneDrive.exe /background", ""}}},
  };
  for (const auto& c : cases) {
    const auto rows = c.hive.Decode("run");
    ASSERT_EQ(rows.size(), c.rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(Text(rows[i].cells[0]), c.rows[i][0]);
      EXPECT_EQ(Text(rows[i].cells[1]), c.rows[i][1]);
      EXPECT_EQ(Text(rows[i].cells[2]), c.rows[i][2]);
      EXPECT_EQ(rows[i].problem, c.rows[i][3]);
    }
  }
}

}  // namespace
