// keyloom-dump --find: its lines on the real hives against a search of the
// same hive read by the peer hivex (hivex_find.py), and its exit statuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "find_fixture.h"
#include "run_process.h"
#include "shared_hives.h"

namespace {

using testsupport::RunProcess;

std::vector<std::string> ComparableHives() { return testsupport::ComparableHives(KEYLOOM_SHARED_HIVES); }

// The searches run on every hive: texts that do not depend on where full and
// simple case folding differ.
const std::vector<std::vector<std::string>> kSearches = {
    {"--find", "Run"},
    {"--find", "microsoft", "--in", "keys,names"},
    {"--find", "run", "--in", "keys", "--whole"},
    {"--find", "RUN", "--match-case"},
    {"--find", ".exe", "--in", "data"},
    {"--find", "\xE2\x96\x91\xC3\x94\xC2\xAB}1"},  // ░Ô«}1
    {"--find", "ascii_value_value", "--in", "data"},
    {"--find", "a", "--in", "data,names"},
};

class FindOnRealHive : public testing::TestWithParam<std::string> {};

TEST_P(FindOnRealHive, PrintsWhatASearchOverHivexFinds) {
  const std::string path = std::string(KEYLOOM_SHARED_HIVES) + "/" + GetParam();
  for (const auto& search : kSearches) {
    std::vector<std::string> peerArgs = {"/usr/bin/python3", KEYLOOM_HIVEX_FIND};
    std::vector<std::string> ourArgs = {KEYLOOM_DUMP};
    for (const auto& arg : search) {
      peerArgs.push_back(arg);
      ourArgs.push_back(arg);
    }
    peerArgs.push_back(path);
    ourArgs.push_back(path);
    const auto peer = RunProcess(peerArgs);
    if (peer.exitStatus == 77) GTEST_SKIP() << "python3-hivex is not installed";
    ASSERT_TRUE(peer.exitStatus == 0 || peer.exitStatus == 3) << peer.err;
    const auto ours = RunProcess(ourArgs);
    EXPECT_EQ(ours.exitStatus, peer.exitStatus) << search[1] << ours.err;
    EXPECT_EQ(ours.out, peer.out) << search[1];
  }
}

INSTANTIATE_TEST_SUITE_P(SharedHives, FindOnRealHive, testing::ValuesIn(ComparableHives()),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           std::replace_if(name.begin(), name.end(),
                                           [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                           return name;
                         });

TEST(FindDump, LinesAndExitStatuses) {
  findtests::SearchedHive h;
  const auto run = h.builder.AddKey(h.builder.Root(), "Run");
  h.builder.AddValue(run, "back\\slash\n", 1, findtests::Sz(u"run me"));
  h.builder.AddValue(run, "Other", 1, findtests::Sz(u"nothing"));
  h.builder.AddDefaultValue(h.builder.Root(), 1, findtests::Sz(u"runs"));
  h.builder.AddKey(run, "Ru\\n");
  h.Open();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"--find", "run"}, 0, "ROOT = {default}\nRun\nRun = back\\\\slash\\n\n"},
      {{"--find", "Ru", "--in", "keys", "--match-case"}, 0, "Run\nRun\\Ru\\\\n\n"},
      {{"--find", "run", "--in", "keys", "--whole"}, 0, "Run\n"},
      {{"--find", "root"}, 0, "ROOT\n"},
      {{"--find", "absent"}, 3, ""},
      {{"--find", "run", "--in", "keys,colour"}, 2, ""},
      {{"--find", "run", "--in", ""}, 2, ""},
      {{"--find", "run", "--values"}, 2, ""},
      {{"--whole"}, 2, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {KEYLOOM_DUMP};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(h.file->Path());
    const auto result = RunProcess(args);
    EXPECT_EQ(result.exitStatus, c.status) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(result.out, c.out) << c.args[0] << " " << c.args[1];
  }
}

}  // namespace
