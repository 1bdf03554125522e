// keyloom-dump --open-anyway on real hives that were not saved cleanly: with
// their transaction logs beside them, the output is what Windows' own recovery
// of the same hive prints; logs that do not fit are left out, with the reason.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "run_process.h"
#include "temp_folder.h"

namespace {

using testsupport::RunProcess;

const std::string kDump = KEYLOOM_DUMP;
const std::string kDirty = KEYLOOM_MORE_HIVES "/dirty";

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RecoveredCase {
  const char* folder;
  const char* hive;
  const char* recovered;  // the same hive after Windows applied its logs
  std::vector<std::string> notes;
};

class DirtyHiveDump : public testing::TestWithParam<RecoveredCase> {};

TEST_P(DirtyHiveDump, PrintsWhatWindowsRecovered) {
  const RecoveredCase& c = GetParam();
  const std::string hive = kDirty + "/" + c.folder + "/" + c.hive;
  const auto replayed = RunProcess({kDump, "--open-anyway", "--values", hive});
  const auto recovered = RunProcess({kDump, "--values", kDirty + "/" + c.folder + "/" + c.recovered});
  ASSERT_EQ(recovered.exitStatus, 0) << recovered.err;
  EXPECT_EQ(replayed.exitStatus, 0);
  EXPECT_EQ(replayed.out, recovered.out);
  std::string err;
  for (const std::string& note : c.notes) err += "keyloom-dump: " + hive + ": " + note + "\n";
  EXPECT_EQ(replayed.err, err);
}

INSTANTIATE_TEST_SUITE_P(
    RealLogs, DirtyHiveDump,
    testing::Values(
        RecoveredCase{"NewDirtyHive1", "NewDirtyHive", "RecoveredHive_Windows10",
                      {"applied 1 log entry from NewDirtyHive.LOG1",
                       "applied 3 log entries from NewDirtyHive.LOG2"}},
        RecoveredCase{"OldDirtyHive", "OldDirtyHive", "RecoveredHive_Windows7",
                      {"applied 64 dirty pages from OldDirtyHive.LOG1 (old format)",
                       "OldDirtyHive.LOG2 not applied: is empty"}}),
    [](const testing::TestParamInfo<RecoveredCase>& param) { return std::string(param.param.folder); });

// The logs of BadLogHive3 do not fit: the output is that of the primary file
// alone (a copy with no logs beside it), and stderr says why each was left out.
TEST(DirtyHiveDump, LogsThatDoNotFitLeaveThePrimaryAsItIs) {
  const std::string hive = kDirty + "/BadLogHive3/BadLogHive";
  testsupport::TempFolder alone;
  const std::string copy = alone.Write("BadLogHive", ReadWhole(hive));
  const auto withLogs = RunProcess({kDump, "--open-anyway", "--values", hive});
  const auto withoutLogs = RunProcess({kDump, "--open-anyway", "--values", copy});
  EXPECT_EQ(withLogs.exitStatus, 0);
  EXPECT_EQ(withLogs.out, withoutLogs.out);
  EXPECT_NE(withLogs.out, "");
  const std::string prefix = "keyloom-dump: " + hive + ": ";
  EXPECT_EQ(withLogs.err, prefix + "BadLogHive.LOG1 not applied: its base block checksum is wrong\n" +
                              prefix + "BadLogHive.LOG2 not applied: its base block checksum is wrong\n" +
                              prefix + "not saved cleanly; no transaction log could be applied\n");
  EXPECT_EQ(withoutLogs.err, "keyloom-dump: " + copy + ": not saved cleanly; no transaction logs found\n");
  // The strict open still refuses the hive, saying why.
  EXPECT_EQ(RunProcess({kDump, hive}).exitStatus, 1);
}

}  // namespace
