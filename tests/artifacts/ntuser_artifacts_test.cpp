// NTUSER artifacts: UserAssist in both layouts, the MRU lists, TypedPaths,
// TypedURLs and the Run keys, on hives built byte by byte and on real hives
// of Windows XP, 7 and 8.1 checked against RegRipper's plugins.
//
// Where Keyloom differs from RegRipper on purpose:
// - UserAssist: the UEME_CTLSESSION entry (session data, not a program) gets a
//   row saying so; RegRipper leaves it out. RegRipper lists Windows XP's
//   entries without a time by their encoded names; Keyloom decodes every name.
// - TypedURLsTime: a time of 0 (RegRipper's "url11 -> 0") is no time.
// - RunMRU: commands are kept as stored, with Windows' trailing "\1", as
//   RegRipper shows them.
// - Run: RegRipper also lists Terminal Server\Install and StartupApproved
//   keys, which Keyloom does not read (StartupApproved holds flags, not
//   commands); Keyloom also reads Wow6432Node\...\RunOnce.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "artifacts/decoders.h"
#include "artifacts/userassist.h"
#include "decoded_hive.h"
#include "user_artifacts_support.h"

namespace {

using testsupport::DecodedHive;
using namespace usertest;
using Lines = std::vector<std::string>;
using Rows = std::vector<artifacts::ArtifactRow>;

constexpr std::string_view kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// An NTUSER hive's root keys, so that its kind is told from its content.
PathBuilder NtuserBuilder() {
  PathBuilder hive;
  for (const char* key : {"AppEvents", "Console", "Control Panel", "Environment", "Software"}) hive.Key(key);
  return hive;
}

// --- UserAssist on built entries

constexpr uint64_t kRunTime = 0x01CA1515D3F64B54;  // 2009-08-04 15:11:22.81 UTC

std::vector<uint8_t> Version3(uint32_t storedCount, size_t size = 16) {
  std::vector<uint8_t> data = Concat({Le(1, 4), Le(storedCount, 4), Le(kRunTime, 8)});
  data.resize(size);
  return data;
}

std::vector<uint8_t> Version5(uint32_t runs, uint32_t focuses, uint32_t focusMs, size_t size = 72) {
  std::vector<uint8_t> data = Concat({Le(0, 4), Le(runs, 4), Le(focuses, 4), Le(focusMs, 4)});
  data.resize(60, 0xFF);
  data = Concat({data, Le(kRunTime, 8), Le(0, 4)});
  data.resize(size);
  return data;
}

struct UserAssistCase {
  const char* guidKey;
  const char* name;  // as shown; stored ROT13-encoded
  std::vector<uint8_t> data;
  std::optional<int64_t> runCount;
  std::optional<int64_t> focusCount;
  std::optional<int64_t> focusMs;
  uint64_t lastRun;
  const char* problem;
};

TEST(UserAssist, EveryLayoutAndEveryShortForm) {
  const char* xp = "{75048700-EF1F-11D0-9888-006097DEACF9}";   // Version 3
  const char* win7 = "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}";  // Version 5
  const char* none = "{F4E57C4B-2036-45F0-A9AB-443BCFE33D9F}";  // no Version value
  const UserAssistCase cases[] = {
      {xp, "UEME_RUNPATH:C:\\x.exe", Version3(8), 3, {}, {}, kRunTime, ""},
      {xp, "UEME_RUNPIDL:%csidl2%\\y.lnk", Version3(6, 12), 1, {}, {}, 0, "data too short: 12 of 16 bytes"},
      {xp, "UEME_RUNCPL:z.cpl", Version3(6, 3), {}, {}, {}, 0, "data too short: 3 of 16 bytes"},
      {xp, "UEME_CTLCUACount:ctor", Version3(2), 2, {}, {}, kRunTime,
       "run count 2 is below the 5 Windows XP counts from: shown as stored"},
      {xp, "UEME_CTLSESSION", Le(0x0E50A8B0, 8), {}, {}, {}, 0, "session data (8 bytes), not a program's entry"},
      {win7, "{1AC14E77-02E7-4E5D-B744-2EB1AE5198B7}\\calc.exe", Version5(4, 7, 1234), 4, 7, 1234, kRunTime, ""},
      {win7, "Microsoft.Windows.Cut", Version5(4, 7, 1234, 40), 4, 7, 1234, 0, "data too short: 40 of 72 bytes"},
      {win7, "Microsoft.Windows.Long", Version5(1, 2, 3, 80), 1, 2, 3, kRunTime,
       "data longer than its layout: 80 bytes, not 72"},
      {win7, "UEME_CTLSESSION", std::vector<uint8_t>(1612), {}, {}, {}, 0,
       "session data (1612 bytes), not a program's entry"},
      {none, "C:\\old.exe", Version3(5), 0, {}, {}, kRunTime, ""},
      {none, "C:\\new.exe", Version5(9, 1, 2), 9, 1, 2, kRunTime, ""},
      {none, "C:\\odd.exe", Version3(5, 20), {}, {}, {}, 0,
       "20 bytes fit neither layout (16: Windows XP, 72: Windows 7 and later), and no Version value tells which"},
  };
  PathBuilder hive = NtuserBuilder();
  const std::string userAssist = Below(kExplorer, "UserAssist");
  hive.Dword(Below(userAssist, xp), "Version", 3);
  hive.Dword(Below(userAssist, win7), "Version", 5);
  hive.Key(Below(userAssist, "Settings"));  // no Count key: no rows
  for (const UserAssistCase& c : cases) {
    hive.Data(Below(userAssist, std::string(c.guidKey) + "\\Count"), artifacts::Rot13(c.name), kBinary, c.data);
  }
  const DecodedHive decoded(hive.Build(), "NTUSER.DAT");
  const auto rows = decoded.Decode("userassist");
  ASSERT_EQ(rows.size(), std::size(cases));
  for (size_t i = 0; i < rows.size(); ++i) {
    const UserAssistCase& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Text(rows[i].cells[0]), c.name);
    EXPECT_EQ(rows[i].valueName, artifacts::Rot13(c.name));
    EXPECT_EQ(Integer(rows[i].cells[1]), c.runCount);
    EXPECT_EQ(Integer(rows[i].cells[2]), c.focusCount);
    EXPECT_EQ(Integer(rows[i].cells[3]), c.focusMs);
    EXPECT_EQ(Time(rows[i].cells[4]), c.lastRun);
    EXPECT_EQ(rows[i].problem, c.problem);
  }
  // ROT13 decodes letters only: the stored name as Windows writes it.
  EXPECT_EQ(rows[0].valueName, "HRZR_EHACNGU:P:\\k.rkr");
}

// --- MRU lists, TypedPaths and TypedURLs on built keys

struct ExpectedRow {
  std::optional<int64_t> order;
  std::string valueName;
  std::string text;
  std::string problem;
};

void ExpectOrderedRows(const Rows& rows, const std::vector<ExpectedRow>& expected) {
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(expected[i].valueName);
    EXPECT_EQ(Integer(rows[i].cells[0]), expected[i].order);
    EXPECT_EQ(rows[i].valueName, expected[i].valueName);
    EXPECT_EQ(Text(rows[i].cells[1]), expected[i].text);
    EXPECT_EQ(rows[i].problem, expected[i].problem);
  }
}

std::vector<uint8_t> MruListEx(std::initializer_list<uint32_t> entries) {
  std::vector<uint8_t> data;
  for (const uint32_t entry : entries) data = Concat({data, Le(entry, 4)});
  return data;
}

TEST(MruLists, RowsInListOrderThenValuesTheListMisses) {
  PathBuilder hive = NtuserBuilder();
  const std::string runMru = Below(kExplorer, "RunMRU");
  for (const char* name : {"a", "b", "c", "d"}) hive.Sz(runMru, name, std::string("cmd ") + name + "\\1");
  hive.Sz(runMru, "MRUList", "cabe");
  const std::string search = Below(kExplorer, "WordWheelQuery");
  for (const char* name : {"0", "1", "2"}) hive.Data(search, name, kBinary, Utf16(std::string("find ") + name));
  hive.Data(search, "MRUListEx", kBinary, MruListEx({2, 0, 2, 1, 0xFFFFFFFF, 7}));
  const DecodedHive decoded(hive.Build(), "NTUSER.DAT");

  ExpectOrderedRows(decoded.Decode("runmru"), {{0, "c", "cmd c\\1", ""},
                                               {1, "a", "cmd a\\1", ""},
                                               {2, "b", "cmd b\\1", ""},
                                               {3, "e", "<none>", "MRUList names a value that is not there"},
                                               {{}, "d", "cmd d\\1", "not in MRUList"}});
  // An entry listed twice is one row; the list ends at 0xFFFFFFFF.
  ExpectOrderedRows(decoded.Decode("wordwheelquery"),
                    {{0, "2", "find 2", ""}, {1, "0", "find 0", ""}, {2, "1", "find 1", ""}});
}

TEST(MruLists, WithoutTheListEveryValueSaysSo) {
  PathBuilder hive = NtuserBuilder();
  hive.Sz(Below(kExplorer, "RunMRU"), "a", "calc\\1");
  const DecodedHive decoded(hive.Build(), "NTUSER.DAT");
  ExpectOrderedRows(decoded.Decode("runmru"), {{{}, "a", "calc\\1", "no MRUList value"}});
}

TEST(TypedPathsAndUrls, NumericOrderAndTheirTimes) {
  PathBuilder hive = NtuserBuilder();
  const std::string urls = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
  const std::string times = urls + "Time";
  for (const char* name : {"url2", "url10", "url1", "other"}) {
    hive.Sz(Below(kExplorer, "TypedPaths"), name, std::string("C:\\") + name);
    hive.Sz(urls, name, std::string("http://") + name + "/");
  }
  hive.Data(times, "url1", kBinary, Le(kRunTime, 8));
  hive.Data(times, "url10", kBinary, Le(kRunTime, 4));
  const DecodedHive decoded(hive.Build(), "NTUSER.DAT");

  ExpectOrderedRows(decoded.Decode("typedpaths"), {{0, "url1", "C:\\url1", ""},
                                                   {1, "url2", "C:\\url2", ""},
                                                   {2, "url10", "C:\\url10", ""},
                                                   {{}, "other", "C:\\other", "not a urlN value"}});
  const Rows rows = decoded.Decode("typedurls");
  const struct {
    const char* name;
    uint64_t time;
    const char* problem;
  } expected[] = {{"url1", kRunTime, ""},
                  {"url2", 0, ""},
                  {"url10", 0, "TypedURLsTime: data too short: 4 of 8 bytes"},
                  {"other", 0, "not a urlN value"}};
  ASSERT_EQ(rows.size(), std::size(expected));
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(Text(rows[i].cells[0]), expected[i].name);
    EXPECT_EQ(Text(rows[i].cells[1]), std::string("http://") + expected[i].name + "/");
    EXPECT_EQ(Time(rows[i].cells[2]), expected[i].time) << expected[i].name;
    EXPECT_EQ(rows[i].problem, expected[i].problem) << expected[i].name;
  }
}

// --- UserAssist on real hives, against RegRipper's userassist plugin:
// entries with a time are listed under it with their run count ("name (3)"),
// the others under "Value names with no time stamps:".

struct RipperEntry {
  std::string time;  // "2009-08-04 15:21:53", empty when listed without one
  std::optional<int64_t> count;
};

// GUID key name + "\t" + entry name -> what RegRipper shows of it.
std::map<std::string, RipperEntry> ParseUserAssist(const std::vector<std::string>& lines) {
  static const std::regex kGuid(R"(^\{[0-9A-Fa-f-]{36}\}$)");
  static const std::regex kTime(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)Z$)");
  static const std::regex kCounted(R"(^  (.*) \((\d+)\)$)");
  std::map<std::string, RipperEntry> entries;
  std::string guid;
  std::string time;
  std::smatch match;
  for (const std::string& line : lines) {
    if (std::regex_match(line, kGuid)) {
      guid = line;
      time.clear();
    } else if (std::regex_match(line, match, kTime)) {
      time = match[1];
    } else if (line == "Value names with no time stamps:") {
      time.clear();
    } else if (!guid.empty() && !time.empty() && std::regex_match(line, match, kCounted)) {
      entries[guid + "\t" + match[1].str()] = {time, std::stoll(match[2])};
    } else if (!guid.empty() && time.empty() && line.size() > 2 && line.rfind("  ", 0) == 0) {
      entries[guid + "\t" + line.substr(2)] = {};
    }
  }
  return entries;
}

std::string GuidKeyOf(const DecodedHive& hive, artifacts::KeyId countKey) {
  return std::string(hive.Keys().Name(hive.Tree().Parent(countKey)));
}

class RealNtuser : public testing::TestWithParam<const char*> {};

TEST_P(RealNtuser, UserAssistAgreesWithRegRipper) {
  const auto lines = RegRipperLines(GetParam(), "userassist");
  if (!lines) GTEST_SKIP() << "regripper is not installed";
  const std::map<std::string, RipperEntry> ripper = ParseUserAssist(*lines);
  const DecodedHive hive(GetParam());
  size_t compared = 0;
  for (const artifacts::ArtifactRow& row : hive.Decode("userassist")) {
    const std::string name = Text(row.cells[0]);
    if (name == "UEME_CTLSESSION") continue;  // not listed by RegRipper
    SCOPED_TRACE(name);
    auto found = ripper.find(GuidKeyOf(hive, row.key) + "\t" + name);
    // RegRipper lists Windows XP's entries without a time by their stored
    // (ROT13-encoded) names.
    if (found == ripper.end()) found = ripper.find(GuidKeyOf(hive, row.key) + "\t" + row.valueName);
    ASSERT_NE(found, ripper.end()) << "RegRipper does not list it";
    const uint64_t lastRun = Time(row.cells[4]);
    EXPECT_EQ(found->second.time, lastRun == 0 ? "" : Utc(lastRun));
    if (lastRun != 0) {
      EXPECT_EQ(found->second.count, Integer(row.cells[1]));
    }
    ++compared;
  }
  EXPECT_EQ(compared, ripper.size());
  EXPECT_GT(compared, 10u);
}

// --- The other NTUSER artifacts on real hives, each against its RegRipper
// plugin: our rows written as the plugin writes its lines, found there in
// the same order (within each group: a value of the run plugin below its
// key, a program of uninstall's below its time), and as many entries as the
// plugin lists.

struct PeerCase {
  const char* artifact;
  const char* plugin;
  std::vector<Lines> (*render)(const Rows& rows);  // our rows as the plugin's lines, in groups
  const char* entry;                               // the pattern of the plugin's entry lines
};

std::vector<Lines> RenderRunMru(const Rows& rows) {
  Lines lines{"MRUList = "};
  for (const auto& row : rows) {
    lines[0] += row.valueName;
    lines.push_back(row.valueName + "   " + Text(row.cells[1]));
  }
  return {rows.empty() ? Lines{} : lines};
}

std::vector<Lines> RenderOrdered(const Rows& rows) {
  Lines lines;  // TypedPaths "url1 path", WordWheelQuery "1 search"
  for (const auto& row : rows) lines.push_back(row.valueName + " " + Text(row.cells[1]));
  return {lines};
}

std::vector<Lines> RenderTypedUrls(const Rows& rows) {
  Lines lines;
  for (const auto& row : rows) lines.push_back("  " + Text(row.cells[0]) + " -> " + Text(row.cells[1]));
  return {lines};
}

// A time of 0 (RegRipper's "url11 -> 0") is no time: the cell stays empty.
std::vector<Lines> RenderTypedUrlsTime(const Rows& rows) {
  Lines lines;
  for (const auto& row : rows) {
    const uint64_t time = Time(row.cells[2]);
    if (time != 0) lines.push_back("  " + Text(row.cells[0]) + " -> " + Utc(time) + "Z (" + Text(row.cells[1]) + ")");
  }
  return {lines};
}

// The run plugin lists a key's values in no fixed order: each value is
// looked for below its key's line.
std::vector<Lines> RenderRun(const Rows& rows) {
  std::vector<Lines> groups;
  for (const auto& row : rows) {
    groups.push_back({Text(row.cells[0]), "  " + Text(row.cells[1]) + " - " + Text(row.cells[2])});
  }
  return groups;
}

std::vector<Lines> RenderUninstall(const Rows& rows) {
  std::vector<Lines> groups;
  for (const auto& row : rows) {
    groups.push_back({Utc(Time(row.cells[6])) + "Z", "  " + Text(row.cells[1]) + " v." + Text(row.cells[2])});
  }
  return groups;
}

const PeerCase kPeerCases[] = {
    {"runmru", "runmru", RenderRunMru, "[a-z]   .*"},
    {"typedpaths", "typedpaths", RenderOrdered, "url\\d+ .*"},
    {"wordwheelquery", "wordwheelquery", RenderOrdered, "\\d+ .*"},
    {"typedurls", "typedurls", RenderTypedUrls, "  url\\d+ -> .*"},
    {"typedurls", "typedurlstime", RenderTypedUrlsTime, "  url\\d+ -> \\d{4}-.*"},
    {"run", "run", RenderRun, "  .* - .*"},
    {"uninstall", "uninstall", RenderUninstall, "  .*"},
};

size_t CountEntries(const Lines& lines, const std::regex& entry) {
  const auto isEntry = [&](const std::string& line) { return std::regex_match(line, entry); };
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), isEntry));
}

TEST_P(RealNtuser, OtherArtifactsAgreeWithRegRipper) {
  const DecodedHive hive(GetParam());
  for (const PeerCase& c : kPeerCases) {
    SCOPED_TRACE(c.plugin);
    const auto lines = RegRipperLines(GetParam(), c.plugin);
    if (!lines) GTEST_SKIP() << "regripper is not installed";
    const Rows rows = hive.Decode(c.artifact);
    const std::regex entry(c.entry);
    size_t entries = 0;
    for (const auto& row : rows) EXPECT_EQ(row.problem, "") << row.valueName;
    for (const Lines& group : c.render(rows)) {
      ExpectLinesInOrder(*lines, group);
      entries += CountEntries(group, entry);
    }
    EXPECT_EQ(entries, CountEntries(*lines, entry));
  }
}

INSTANTIATE_TEST_SUITE_P(XpSevenAndEight, RealNtuser,
                         testing::Values(KEYLOOM_SHARED_HIVES "/plaso__NTUSER.DAT",
                                         KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT",
                                         KEYLOOM_MORE_HIVES "/newer/notatin__NTUSER.DAT"));

}  // namespace
