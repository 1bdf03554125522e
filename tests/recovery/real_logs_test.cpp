// The real dirty hives of ../shared/more-hives/dirty, replayed from the logs
// beside them, against Windows' own recovery of the same hive.

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "recovery_support.h"

namespace {

using recoverytests::DirtyHive;
using recoverytests::DumpFile;
using recoverytests::OpenAndReplay;

struct RealSet {
  const char* primary;
  const char* recovered;
  int32_t entries;
  std::vector<std::string> notes;
};

// The case's name in test listings, not its bytes.
void PrintTo(const RealSet& c, std::ostream* out) { *out << c.primary; }

class RealDirtyHive : public testing::TestWithParam<RealSet> {};

TEST_P(RealDirtyHive, ReplayEqualsWindowsRecovery) {
  const RealSet& set = GetParam();
  const std::string primary = DirtyHive(set.primary);
  if (!std::filesystem::exists(primary)) GTEST_SKIP() << primary << " is missing";
  auto replayed = OpenAndReplay(primary);
  ASSERT_TRUE(replayed.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, set.entries);
  EXPECT_EQ(replayed.replay.notes, set.notes);
  const std::string expected = DumpFile(DirtyHive(set.recovered));
  EXPECT_NE(expected, DumpFile(primary)) << "the logs must change what is shown";
  EXPECT_EQ(replayed.Dump(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, RealDirtyHive,
    testing::Values(RealSet{"NewDirtyHive1/NewDirtyHive",
                            "NewDirtyHive1/RecoveredHive_Windows10",
                            4,
                            {"applied 1 log entry from NewDirtyHive.LOG1",
                             "applied 3 log entries from NewDirtyHive.LOG2"}},
                    RealSet{"OldDirtyHive/OldDirtyHive",
                            "OldDirtyHive/RecoveredHive_Windows7",
                            1,
                            {"applied 64 dirty pages from OldDirtyHive.LOG1 (old format)",
                             "OldDirtyHive.LOG2 not applied: is empty"}}),
    [](const testing::TestParamInfo<RealSet>& set) {
      return std::string(set.param.primary).substr(0, std::string(set.param.primary).find('/'));
    });

TEST(RealBadLogs, AreNotAppliedAndSayWhy) {
  const std::string primary = DirtyHive("BadLogHive3/BadLogHive");
  if (!std::filesystem::exists(primary)) GTEST_SKIP() << primary << " is missing";
  auto replayed = OpenAndReplay(primary);
  ASSERT_TRUE(replayed.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 0);
  EXPECT_EQ(replayed.replay.notes,
            (std::vector<std::string>{"BadLogHive.LOG1 not applied: its base block checksum is wrong",
                                      "BadLogHive.LOG2 not applied: its base block checksum is wrong",
                                      "not saved cleanly; no transaction log could be applied"}));
  EXPECT_EQ(replayed.hive->Size(), static_cast<int64_t>(std::filesystem::file_size(primary)));
  EXPECT_EQ(replayed.Dump(), DumpFile(primary));
}

}  // namespace
