// The writers against the peers: hivexregedit's export and merge, hivex's key
// times, and mactime reading the bodyfile.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "export/timeline.h"
#include "run_process.h"
#include "shared_hives.h"
#include "temp_folder.h"

namespace {

using testsupport::RunProcess;

const std::string kDump = KEYLOOM_DUMP;
const std::string kHives = KEYLOOM_SHARED_HIVES;
const std::string kBigDataHive = std::string(KEYLOOM_NEWER_HIVES) + "/yarp__BigDataHive";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs a shell command line; its stdout.
std::string Shell(const std::string& command) {
  const auto result = RunProcess({"/bin/sh", "-c", command});
  EXPECT_EQ(result.exitStatus, 0) << command << "\n" << result.err;
  return result.out;
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// The comparable real hives, and the version 1.5 hive with big data.
std::vector<std::string> HivesToCompare() {
  std::vector<std::string> paths;
  for (const std::string& name : testsupport::ComparableHives(kHives)) paths.push_back(kHives + "/" + name);
  if (std::filesystem::exists(kBigDataHive)) paths.push_back(kBigDataHive);
  return paths;
}

std::string OurRegExport(const std::string& hive, const std::string& target, const char* encoding = "utf-16") {
  return Shell(kDump + " --open-anyway --export reg --encoding " + encoding + " --root-name P " + Quote(hive) +
               " > " + target + " 2>/dev/null");
}

TEST(RegExport, ReadsBackAsHivexregeditsExport) {
  const testsupport::TempFolder folder;
  const std::string ours = folder.Path() + "/ours.reg";
  const std::string peers = folder.Path() + "/peers.reg";
  for (const std::string& hive : HivesToCompare()) {
    SCOPED_TRACE(hive);
    OurRegExport(hive, ours);
    Shell("hivexregedit --export --prefix P " + Quote(hive) + " '\\' > " + peers + " 2>/dev/null");
    const std::string ourEntries = Shell("/usr/bin/python3 " KEYLOOM_REG_FILE " " + ours + " P");
    EXPECT_GT(Lines(ourEntries).size(), 1u);
    EXPECT_EQ(ourEntries, Shell("/usr/bin/python3 " KEYLOOM_REG_FILE " " + peers + " P"));
  }
}

// Merged by hivexregedit into a fresh hive, the export gives back every key
// and value row (the first line, the root's own name, is the fresh hive's).
// hivexregedit reads 8-bit text only, so it is given the UTF-8 form, with
// text that is not ASCII as hex (it would read it as Latin-1).
TEST(RegExport, MergedIntoAFreshHiveReadsBackAsTheOriginal) {
  const testsupport::TempFolder folder;
  const std::string reg = folder.Path() + "/export.reg";
  const std::string fresh = folder.Path() + "/fresh";
  for (const std::string& hive : HivesToCompare()) {
    SCOPED_TRACE(hive);
    Shell("/usr/bin/python3 " KEYLOOM_FRESH_HIVE " " + Quote(kHives + "/dfwinreg__SAM") + " " + fresh);
    OurRegExport(hive, reg, "utf-8");
    Shell("/usr/bin/python3 " KEYLOOM_REG_FILE " " + reg + " --for-hivex-merge > " + reg + ".ascii");
    Shell("hivexregedit --merge --prefix P --encoding UTF-8 " + fresh + " " + reg + ".ascii");
    std::vector<std::string> original = Lines(Shell(kDump + " --open-anyway --values " + Quote(hive) + " 2>/dev/null"));
    std::vector<std::string> merged = Lines(Shell(kDump + " --open-anyway --values " + fresh + " 2>/dev/null"));
    ASSERT_FALSE(original.empty());
    ASSERT_FALSE(merged.empty());
    EXPECT_EQ(std::vector(original.begin() + 1, original.end()), std::vector(merged.begin() + 1, merged.end()));
  }
}

// The JSON document parses, and holds every key of the tree once.
TEST(JsonExport, ParsesAndHoldsEveryKey) {
  const std::string countKeys =
      " | /usr/bin/python3 -c 'import json, sys\n"
      "count = lambda key: 1 + sum(map(count, key[\"subkeys\"]))\n"
      "print(count(json.load(sys.stdin)))'";
  for (const std::string& hive : HivesToCompare()) {
    SCOPED_TRACE(hive);
    const size_t keys = Lines(Shell(kDump + " --open-anyway " + Quote(hive) + " 2>/dev/null")).size();
    EXPECT_EQ(Shell(kDump + " --open-anyway --export json " + Quote(hive) + " 2>/dev/null" + countKeys),
              std::to_string(keys) + "\n");
  }
}

struct DumpCase {
  std::vector<std::string> args;
  int exitStatus;
  std::string output;  // what stdout starts with, or what stderr holds
};

TEST(DumpExport, OptionsErrorsAndKeys) {
  const std::string sam = kHives + "/dfwinreg__SAM";
  const std::vector<DumpCase> cases = {
      {{"--export", "xml", sam}, 2, "usage:"},
      {{"--export", "reg", "--values", sam}, 2, "usage:"},
      {{"--timeline", "csv", "--key", "SAM", sam}, 2, "usage:"},
      {{"--export", "json", "--root-name", "X", sam}, 2, "usage:"},
      {{"--export", "reg", "--encoding", "latin-1", sam}, 2, "usage:"},
      {{"--export", "reg", "--timeline", "csv", sam}, 2, "usage:"},
      {{"--export", "reg", "--key", "SAM\\Nothing", sam}, 1, "no key SAM\\Nothing"},
      {{"--export", "json", "--key", "SAM\\Domains", sam}, 0, "{\"name\":\"Domains\",\"path\":\"SAM\\\\Domains\""},
      {{"--export", "reg", "--encoding", "utf-8", "--key", "CsiTool-CreateHive-{00000000-0000-0000-0000-000000000000}",
        sam},
       0, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\dfwinreg__SAM]\r\n"},
      {{"--timeline", "jsonl", kBigDataHive}, 1, "is format version 1.5"},
  };
  for (const DumpCase& c : cases) {
    std::vector<std::string> argv = {kDump};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto result = RunProcess(argv);
    EXPECT_EQ(result.exitStatus, c.exitStatus) << c.args[1];
    if (c.exitStatus == 0) {
      EXPECT_TRUE(result.out.starts_with(c.output)) << result.out.substr(0, 200);
    } else {
      EXPECT_NE(result.err.find(c.output), std::string::npos) << result.err;
    }
  }
  const auto full = RunProcess({"/bin/sh", "-c", kDump + " --timeline csv " + sam + " > /dev/full"});
  EXPECT_EQ(full.exitStatus, 1);
  EXPECT_EQ(full.err, "keyloom-dump: cannot write the output: No space left on device\n");
}

// The CSV's rows: {time, path}, the time in whole seconds ("...:11Z").
std::vector<std::pair<std::string, std::string>> CsvTimesAndPaths(const std::string& csv) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const std::string& line : Lines(csv)) {
    const size_t comma = line.find(',');
    const size_t end = line.rfind(',', line.rfind(',', line.rfind(',') - 1) - 1);
    std::string path = line.substr(comma + 1, end - comma - 1);
    if (path.starts_with('"')) {  // a quoted field: its quotes doubled
      path = path.substr(1, path.size() - 2);
      for (size_t quote = path.find("\"\""); quote != std::string::npos; quote = path.find("\"\"", quote + 1)) {
        path.erase(quote, 1);
      }
    }
    rows.emplace_back(line.substr(0, 19) + "Z", path);
  }
  rows.erase(rows.begin());  // the header
  return rows;
}

TEST(Timeline, HasHivexsKeyTimesNewestFirst) {
  for (const std::string& name : testsupport::ComparableHives(kHives)) {
    SCOPED_TRACE(name);
    const std::string hive = kHives + "/" + name;
    std::vector<uint64_t> times;
    for (const std::string& line : Lines(Shell("/usr/bin/python3 " KEYLOOM_HIVEX_TIMES " " + Quote(hive)))) {
      times.push_back(std::stoull(line));
    }
    std::stable_sort(times.begin(), times.end(), std::greater<>());
    std::vector<std::string> expected;
    for (const uint64_t time : times) expected.push_back(exporting::FormatIsoTime(time));
    std::vector<std::string> ours;
    for (const std::string& line : Lines(Shell(kDump + " --timeline csv " + Quote(hive)))) {
      ours.push_back(line.substr(0, line.find(',')));
    }
    ASSERT_FALSE(ours.empty());
    EXPECT_EQ(ours.front(), "last_written");
    EXPECT_EQ(std::vector(ours.begin() + 1, ours.end()), expected);
  }
}

TEST(Timeline, MactimeReadsTheBodyfilesTimes) {
  const testsupport::TempFolder folder;
  const std::string body = folder.Path() + "/body";
  for (const std::string& name : testsupport::ComparableHives(kHives)) {
    SCOPED_TRACE(name);
    const std::string hive = kHives + "/" + name;
    auto expected = CsvTimesAndPaths(Shell(kDump + " --timeline csv " + Quote(hive)));
    Shell(kDump + " --timeline bodyfile " + Quote(hive) + " > " + body);
    std::vector<std::pair<std::string, std::string>> read;
    for (const std::string& line : Lines(Shell("mactime -b " + body + " -z UTC -d -y"))) {
      const std::vector<std::string> fields = [&] {
        std::vector<std::string> parts;
        std::istringstream in(line);
        for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
        return parts;
      }();
      if (fields.size() < 8 || fields[2].find('m') == std::string::npos) continue;
      const size_t nameStart = line.find(",\"");
      read.emplace_back(fields[0], line.substr(nameStart + 2, line.size() - nameStart - 3));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, expected);
  }
}

}  // namespace
