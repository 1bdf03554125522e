// keyloom-dump end to end: exit statuses, messages, escaping, and the whole
// tree of every real hive compared line for line with the peer hivex.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive_builder.h"
#include "recovery/log_replay.h"
#include "repeating_lists_hive.h"
#include "run_process.h"
#include "temp_folder.h"
#include "temp_hive.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::RunProcess;
using testsupport::TempHive;

const std::string kDump = KEYLOOM_DUMP;
const std::string kHives = KEYLOOM_SHARED_HIVES;
const std::string kHivexTree = KEYLOOM_HIVEX_TREE;

size_t CountLines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(DumpTool, UsageErrorsExitWith2) {
  EXPECT_EQ(RunProcess({kDump}).exitStatus, 2);
  EXPECT_EQ(RunProcess({kDump, "--bogus", "x"}).exitStatus, 2);
  EXPECT_EQ(RunProcess({kDump, "a", "b"}).exitStatus, 2);
  EXPECT_EQ(RunProcess({kDump, "--open-anyway"}).exitStatus, 2);
}

TEST(DumpTool, RejectedFileNamesPathAndReason) {
  const auto missing = RunProcess({kDump, "/nonexistent/hive"});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "keyloom-dump: /nonexistent/hive: cannot be opened: No such file or directory\n");

  const std::string v15 = kHives + "/artifactmuseum__Win11_ELAM";
  const auto newer = RunProcess({kDump, v15});
  EXPECT_EQ(newer.exitStatus, 1);
  EXPECT_EQ(newer.out, "");
  EXPECT_EQ(newer.err, "keyloom-dump: " + v15 + ": is format version 1.5; Keyloom reads version 1.3\n");
}

// A named pipe is refused at once by either open; timeout(1) turns a wait into a failure.
TEST(DumpTool, AFifoIsRefusedWithStatus1) {
  testsupport::TempFolder folder;
  const std::string fifo = folder.Path() + "/SYSTEM";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const char* open : {"--values", "--open-anyway"}) {
    const auto refused = RunProcess({"/usr/bin/timeout", "10", kDump, open, fifo});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "keyloom-dump: " + fifo + ": is a named pipe (FIFO), not a hive file\n");
  }
}

// A version 1.5 hive not saved cleanly, opened anyway: the tree as the strict
// open prints it for the same hive at version 1.3, and one stderr line per
// thing done, the log replay's notes passed through.
TEST(DumpTool, OpenAnywaySaysWhatItDidOnStderr) {
  namespace bb = hive::base_block;
  HiveBuilder builder;
  const auto software = builder.AddKey(builder.Root(), "Software");
  builder.AddValue(software, "Count", 4, std::vector<uint8_t>{7, 0, 0, 0});
  testsupport::TempFolder folder;
  const std::string clean = folder.Write("clean", builder.Build());
  builder.PatchU32(bb::kMinorVersion, 5);
  builder.PatchU32(bb::kPrimarySequence, 2);
  builder.FixChecksum();
  const std::string path = folder.Write("SYSTEM", builder.Bytes());

  std::string expectedErr = "keyloom-dump: " + path + ": version 1.5\n";
  auto replayed = hive::OpenHiveFile(path);
  ASSERT_TRUE(replayed);
  for (const std::string& note : recovery::ApplyTransactionLogs(*replayed, path).notes) {
    expectedErr += "keyloom-dump: " + path + ": " + note + "\n";
  }
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--open-anyway", "--values"}, {"--values", "--open-anyway"}}) {
    const auto dump = RunProcess({kDump, options[0], options[1], path});
    EXPECT_EQ(dump.exitStatus, 0);
    EXPECT_EQ(dump.out, RunProcess({kDump, "--values", clean}).out);
    EXPECT_EQ(dump.err, expectedErr);
  }
  const auto strict = RunProcess({kDump, path});
  EXPECT_EQ(strict.exitStatus, 1);
  EXPECT_EQ(strict.err, "keyloom-dump: " + path +
                            ": has sequence numbers that differ (2 and 1): the hive was not saved "
                            "cleanly and its log files are needed\n");

  builder.PatchU32(bb::kFileType, 6);
  builder.FixChecksum();
  const std::string log = folder.Write("system.LOG1", builder.Bytes());
  const auto refused = RunProcess({kDump, "--open-anyway", log});
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "keyloom-dump: " + log +
                             ": is a transaction log (file type 6) of the hive SYSTEM beside it; "
                             "open SYSTEM instead\n");
}

TEST(DumpTool, EscapesControlCharactersInLabels) {
  HiveBuilder builder("R\\oot");
  builder.AddKey(builder.Root(), std::string("a\nb\rc\td\x01" "e\x7F" "f\xE9", 13));
  TempHive file(builder.Build());
  const auto result = RunProcess({kDump, file.Path()});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, "R\\\\oot\n  a\\nb\\rc\\td\\x01e\\x7Ff\xC3\xA9 (0/0)\n");
}

TEST(DumpTool, TreeCutOnItsBudgetIsPrintedWithANotice) {
  TempHive file(testsupport::HiveWithRepeatingLists(40));
  const auto result = RunProcess({kDump, file.Path()});
  EXPECT_EQ(result.exitStatus, 0);
  const size_t lines = CountLines(result.out);
  EXPECT_GT(lines, 40u);
  EXPECT_EQ(result.out.rfind("ROOT\n  n0 (2/0)\n    n1 (2/0)\n", 0), 0u);
  EXPECT_EQ(result.err, "keyloom-dump: " + file.Path() +
                            ": the hive's subkey lists repeat, so the key tree was cut after " +
                            std::to_string(lines) + " keys\n");
}

// A damaged hive whose keys "2" and "3" name one subkey list: hivex shows
// the list's keys under both, and so does the walk.
TEST(DamagedHive, KeysNamingOneListAgreeWithHivex) {
  HiveBuilder builder("TestKey");
  const auto two = builder.AddKey(builder.Root(), "2");
  const auto three = builder.AddKey(builder.Root(), "3");
  const auto sub = builder.AddKey(two, "subkey");
  builder.AddKey(sub, "deeper");
  builder.AddKey(two, "other");
  builder.AddKey(three, "own");
  builder.Build();
  builder.PatchU32(builder.KeyOffset(three) + hive::key_node::kSubkeyList,
                   HiveBuilder::CellOf(builder.SubkeyListOffset(two)));
  builder.PatchU32(builder.KeyOffset(three) + hive::key_node::kSubkeyCount, 2);  // hivex checks it
  TempHive file(builder.Bytes());
  const auto ours = RunProcess({kDump, file.Path()});
  const auto peer = RunProcess({"/usr/bin/python3", kHivexTree, file.Path()});
  ASSERT_EQ(peer.exitStatus, 0) << peer.err;
  EXPECT_EQ(ours.exitStatus, 0) << ours.err;
  EXPECT_EQ(ours.out,
            "TestKey\n  2 (2/0)\n    subkey (1/0)\n      deeper (0/0)\n    other (0/0)\n"
            "  3 (2/0)\n    subkey (1/0)\n      deeper (0/0)\n    other (0/0)\n");
  EXPECT_EQ(ours.out, peer.out);
}

// Hives that hivex reads whole: the two trees must agree line for line.
class RealHive : public testing::TestWithParam<const char*> {};

TEST_P(RealHive, TreeEqualsWhatHivexReads) {
  const std::string path = kHives + "/" + GetParam();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not here";
  const auto ours = RunProcess({kDump, path});
  const auto peer = RunProcess({"/usr/bin/python3", kHivexTree, path});
  ASSERT_EQ(peer.exitStatus, 0) << peer.err;
  EXPECT_EQ(ours.exitStatus, 0) << ours.err;
  EXPECT_GT(CountLines(ours.out), 1u);
  EXPECT_EQ(ours.out, peer.out);
}

INSTANTIATE_TEST_SUITE_P(Hives, RealHive,
                         testing::Values("dfwinreg__SAM", "dfwinreg__UsrClass.dat",
                                         "ezregistry__BCD", "plaso__100_sub_keys.hiv",
                                         "plaso__NTUSER-WIN7.DAT", "plaso__NTUSER.DAT",
                                         "python-registry__UNICODE_TESTS"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string name = p.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// The two damaged hives: Keyloom shows more than hivex, as SOURCES.md records.
TEST(DamagedRealHive, BadBinHeaderStillShowsEveryKey) {
  const std::string path = kHives + "/ezregistry__SAMBadHBinHeader";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  const auto ours = RunProcess({kDump, path});
  EXPECT_EQ(ours.exitStatus, 0);
  EXPECT_EQ(CountLines(ours.out), 68u);
  EXPECT_NE(ours.out.find("\n  SAM (3/2)\n"), std::string::npos);
}

TEST(DamagedRealHive, CorruptListShowsTheZeroCellAsOneItem) {
  const std::string path = kHives + "/plaso__corrupt_sub_key_list.hiv";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  const auto ours = RunProcess({kDump, path});
  EXPECT_EQ(ours.exitStatus, 0);
  EXPECT_EQ(CountLines(ours.out), 101u);
  EXPECT_NE(ours.out.find("\n   (0/0)\n"), std::string::npos);
}

}  // namespace
