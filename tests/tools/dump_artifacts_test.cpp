// keyloom-dump --artifacts and --timeline ... --artifacts on real hives: the
// list of a hive's kind, rows as JSON lines and tab-separated text, unknown
// ids and misplaced values refused, the decoded times joining the timeline,
// and --help naming every artifact.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "artifacts/artifact_table.h"
#include "run_process.h"

namespace {

using testsupport::RunProcess;

const std::string kWin7 = KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT";
const std::string kSystem81 = KEYLOOM_MORE_HIVES "/artifacts/regipy__SYSTEM_2";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DumpArtifacts, ListGivesTheKindAndEachArtifactOfItWithItsRows) {
  const auto result = RunProcess({KEYLOOM_DUMP, "--open-anyway", "--artifacts", "list", kSystem81});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "kind\tSYSTEM");
  EXPECT_EQ(lines.size(), 1 + artifacts::ArtifactsFor(artifacts::HiveKind::kSystem).size());
  EXPECT_NE(result.out.find("\nappcompatcache\tAppCompatCache (ShimCache)\t112\n"), std::string::npos);
  EXPECT_NE(result.out.find("\ncomputername\tComputer name\t1\n"), std::string::npos);
}

TEST(DumpArtifacts, RowsAsJsonLinesAndAsTabSeparatedText) {
  const auto json = RunProcess({KEYLOOM_DUMP, "--artifacts", "userassist", kWin7});
  ASSERT_EQ(json.exitStatus, 0) << json.err;
  // RegRipper's userassist plugin: {1AC14E77-...}\cmd.exe (6), last run 2012-04-06 18:54:34Z.
  EXPECT_NE(json.out.find("\"value\":\"{1NP14R77-02R7-4R5Q-O744-2RO1NR5198O7}\\\\pzq.rkr\","
                          "\"name\":\"{1AC14E77-02E7-4E5D-B744-2EB1AE5198B7}\\\\cmd.exe\",\"run_count\":6,"),
            std::string::npos);
  EXPECT_NE(json.out.find("\"last_run\":\"2012-04-06T18:54:34."), std::string::npos);
  for (const std::string& line : Lines(json.out)) {
    EXPECT_EQ(line.rfind("{\"artifact\":\"userassist\",\"key\":\"Software\\\\Microsoft\\\\", 0), 0u) << line;
  }

  const auto tsv = RunProcess({KEYLOOM_DUMP, "--artifacts", "runmru,typedpaths", "--format", "tsv", "--deleted", kWin7});
  ASSERT_EQ(tsv.exitStatus, 0) << tsv.err;
  EXPECT_EQ(tsv.out,
            "# runmru\nkey\tvalue\torder\tcommand\tproblem\tdeleted\n"
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\ta\t0\t\\\\\\\\controller\\\\WebDavShare\\\\1\t\tno\n"
            "# typedpaths\nkey\tvalue\torder\tpath\tproblem\tdeleted\n"
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\TypedPaths\turl1\t0\t\\\\\\\\controller\t\tno\n");
}

TEST(DumpArtifacts, UnknownIdsAndMisplacedValuesAreUsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--artifacts", "userassist,nosuch", kWin7},
        {"--artifacts", "all", "--format", "xml", kWin7},
        {"--timeline", "csv", "--artifacts", "all", kWin7},
        {"--artifacts", kWin7},
        {"--format", "tsv", kWin7}}) {
    std::vector<std::string> command{KEYLOOM_DUMP};
    command.insert(command.end(), args.begin(), args.end());
    const auto result = RunProcess(command);
    EXPECT_EQ(result.exitStatus, 2) << args[0] << " " << args[1];
    EXPECT_EQ(result.err.rfind("usage: keyloom-dump", 0), 0u) << result.err;
  }
  // An artifact of another kind finds nothing: no rows, status 0.
  const auto other = RunProcess({KEYLOOM_DUMP, "--artifacts", "samusers", kWin7});
  EXPECT_EQ(other.exitStatus, 0);
  EXPECT_EQ(other.out, "");
}

TEST(DumpArtifacts, TimelineGainsTheDecodedTimesOnlyWhenAsked) {
  const auto plain = RunProcess({KEYLOOM_DUMP, "--timeline", "csv", kWin7});
  const auto with = RunProcess({KEYLOOM_DUMP, "--timeline", "csv", "--artifacts", kWin7});
  ASSERT_EQ(with.exitStatus, 0) << with.err;
  EXPECT_EQ(plain.out.rfind("last_written,path,subkeys,values,deleted\r\n", 0), 0u);
  EXPECT_EQ(with.out.rfind("last_written,path,subkeys,values,deleted,artifact,description\r\n", 0), 0u);
  EXPECT_NE(with.out.find("2012-04-06T18:54:34.", 0), std::string::npos);
  EXPECT_NE(with.out.find(",no,userassist,UserAssist last_run: {1AC14E77-02E7-4E5D-B744-2EB1AE5198B7}\\cmd.exe\r\n"),
            std::string::npos);
  // Every key line of the plain timeline is there, with two empty columns more.
  const std::vector<std::string> keys = Lines(plain.out);
  size_t found = 0;
  for (size_t i = 1; i < keys.size(); ++i) {
    std::string line = keys[i];
    line.insert(line.size() - 1, ",,");  // before the CR
    if (with.out.find(line + "\n") != std::string::npos) ++found;
  }
  EXPECT_EQ(found, keys.size() - 1);
}

TEST(DumpArtifacts, HelpNamesEveryArtifact) {
  const auto help = RunProcess({KEYLOOM_DUMP, "--help"});
  std::string joined = help.out;
  for (size_t at = 0; (at = joined.find("\n                   ", at)) != std::string::npos;) {
    joined.replace(at, 20, " ");  // the options' continuation lines joined
  }
  for (const artifacts::Artifact& artifact : artifacts::AllArtifacts()) {
    const std::string id = " " + std::string(artifact.id);
    EXPECT_TRUE(joined.find(id + ",") != std::string::npos || joined.find(id + ";") != std::string::npos)
        << artifact.id;
  }
}

}  // namespace
