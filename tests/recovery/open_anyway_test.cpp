// The wider open: what it accepts beyond the strict open and says it did,
// what it still refuses and why, transaction logs named as such, and the
// summary a window title shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive_builder.h"
#include "recovery/log_replay.h"
#include "recovery/open_anyway.h"
#include "refused_at_once.h"
#include "temp_folder.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::TempFolder;
namespace bb = hive::base_block;

std::vector<uint8_t> SmallHive(const std::function<void(HiveBuilder&)>& patch = {}) {
  HiveBuilder builder;
  builder.AddKey(builder.Root(), "Software");
  builder.Build();
  if (patch) patch(builder);
  return builder.Bytes();
}

std::function<void(HiveBuilder&)> Field(int32_t offset, uint32_t value) {
  return [offset, value](HiveBuilder& b) {
    b.PatchU32(static_cast<uint32_t>(offset), value);
    b.FixChecksum();
  };
}

// What the log replay says of the hive at path, opened afresh.
std::vector<std::string> ReplayNotes(const std::string& path) {
  auto hive = hive::OpenHiveFile(path);
  return hive ? recovery::ApplyTransactionLogs(*hive, path).notes : std::vector<std::string>{};
}

struct Refusal {
  const char* what;
  std::function<void(HiveBuilder&)> patch;
  std::string reason;
};

class OpenAnywayRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(OpenAnywayRefuses, WithItsOwnReason) {
  TempFolder folder;
  const std::string path = folder.Write("hive", SmallHive(GetParam().patch));
  std::string reason;
  recovery::OpenReport report;
  report.lines = {"untouched"};
  EXPECT_EQ(recovery::OpenHiveAnyway(path, &reason, &report), nullptr);
  EXPECT_EQ(reason, GetParam().reason);
  EXPECT_EQ(report.lines, std::vector<std::string>{"untouched"});
  EXPECT_FALSE(recovery::OpensAnyway(path));
}

INSTANTIATE_TEST_SUITE_P(
    EachReason, OpenAnywayRefuses,
    testing::Values(
        Refusal{"NoSignature", Field(bb::kSignature, 0x46474552),
                "has no \"regf\" signature: it is not a registry hive file"},
        Refusal{"Short", [](HiveBuilder& b) { b.Truncate(4095); },
                "is 4095 bytes long; a registry hive is at least 4096 bytes"},
        Refusal{"Major2", Field(bb::kMajorVersion, 2),
                "is format version 2.3; Keyloom reads versions 1.3 to 1.6"},
        Refusal{"Minor2", Field(bb::kMinorVersion, 2),
                "is format version 1.2; Keyloom reads versions 1.3 to 1.6 (the layouts of Windows "
                "NT 3.x differ)"},
        Refusal{"Minor7", Field(bb::kMinorVersion, 7),
                "is format version 1.7; Keyloom reads versions 1.3 to 1.6"},
        Refusal{"FileFormat2", Field(bb::kFileFormat, 2),
                "has file format 2; Keyloom reads the direct memory load format (1)"},
        Refusal{"FileType3", Field(bb::kFileType, 3),
                "has file type 3; Keyloom reads primary hive files (type 0)"},
        Refusal{"OldLog", Field(bb::kFileType, 1), "is a transaction log (file type 1), not a hive"},
        Refusal{"OldLogVariant", Field(bb::kFileType, 2), "is a transaction log (file type 2), not a hive"},
        Refusal{"NewLog", Field(bb::kFileType, 6), "is a transaction log (file type 6), not a hive"}),
    [](const testing::TestParamInfo<Refusal>& p) { return std::string(p.param.what); });

TEST(OpenAnyway, LogNamesTheHiveBesideIt) {
  struct Case {
    std::vector<std::string> beside;  // files written next to the log
    std::string log;
    std::string reason;
  };
  const std::string prefix = "is a transaction log (file type 6)";
  const std::vector<Case> cases = {
      {{"SYSTEM"}, "SYSTEM.LOG1", prefix + " of the hive SYSTEM beside it; open SYSTEM instead"},
      {{"System"}, "SYSTEM.log2", prefix + " of the hive System beside it; open System instead"},
      {{"ntuser.dat"}, "NTUSER.DAT.LOG", prefix + " of the hive ntuser.dat beside it; open ntuser.dat instead"},
      {{"system", "SYSTEM"}, "SYSTEM.LOG1", prefix + " of the hive SYSTEM beside it; open SYSTEM instead"},
      {{"sam", "Sam"}, "SAM.LOG1", prefix + " of the hive Sam beside it; open Sam instead"},
      {{"SYSTEM"}, "SYSTEM.LOG3", prefix + ", not a hive"},
      {{"SOFTWARE"}, "SYSTEM.LOG1", prefix + ", not a hive"},
      {{}, ".LOG1", prefix + ", not a hive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    TempFolder folder;
    for (const std::string& name : c.beside) folder.Write(name, SmallHive());
    const std::string log = folder.Write(c.log, SmallHive(Field(bb::kFileType, 6)));
    std::string reason;
    EXPECT_EQ(recovery::OpenHiveAnyway(log, &reason), nullptr);
    EXPECT_EQ(reason, c.reason);
  }
}

TEST(OpenAnyway, FolderNamedAsTheHiveIsNotIt) {
  TempFolder folder;
  std::filesystem::create_directory(folder.Path() + "/SYSTEM");
  EXPECT_EQ(recovery::HiveBesideLog(folder.Write("SYSTEM.LOG1", {})), std::nullopt);
  EXPECT_EQ(recovery::HiveBesideLog(folder.Path() + "/none/SYSTEM.LOG1"), std::nullopt);
}

struct Acceptance {
  const char* what;
  std::function<void(HiveBuilder&)> patch;
  std::vector<std::string> baseBlockLines;
  bool replayed;
};

class OpenAnywayAccepts : public testing::TestWithParam<Acceptance> {};

TEST_P(OpenAnywayAccepts, AndReportsWhatItDid) {
  const Acceptance& c = GetParam();
  TempFolder folder;
  const std::string path = folder.Write("hive", SmallHive(c.patch));
  std::string reason = "untouched";
  recovery::OpenReport report;
  auto hive = recovery::OpenHiveAnyway(path, &reason, &report);
  ASSERT_NE(hive, nullptr) << reason;
  EXPECT_EQ(reason, "untouched");
  EXPECT_TRUE(recovery::OpensAnyway(path));

  std::vector<std::string> lines = c.baseBlockLines;
  recovery::LogReplay replay;
  if (c.replayed) {
    replay.notes = ReplayNotes(path);
    ASSERT_FALSE(replay.notes.empty()) << "the replay says what it did";
    lines.insert(lines.end(), replay.notes.begin(), replay.notes.end());
  }
  EXPECT_EQ(report.lines, lines);
  EXPECT_EQ(report.summary, recovery::SummarizeOpen(c.baseBlockLines, c.replayed ? &replay : nullptr));
  EXPECT_EQ(report.summary.empty(), report.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachWidening, OpenAnywayAccepts,
    testing::Values(
        Acceptance{"Clean13", {}, {}, false},
        Acceptance{"Minor4", Field(bb::kMinorVersion, 4), {"version 1.4"}, false},
        Acceptance{"Minor5", Field(bb::kMinorVersion, 5), {"version 1.5"}, false},
        Acceptance{"Minor6", Field(bb::kMinorVersion, 6), {"version 1.6"}, false},
        Acceptance{"Clustering8", Field(bb::kClusteringFactor, 8), {"clustering factor 8"}, false},
        Acceptance{"SequencesDiffer", Field(bb::kPrimarySequence, 7), {}, true},
        Acceptance{"Minor5SequencesDiffer",
                   [](HiveBuilder& b) {
                     Field(bb::kMinorVersion, 5)(b);
                     Field(bb::kSecondarySequence, 9)(b);
                   },
                   {"version 1.5"}, true},
        Acceptance{"WrongChecksum", [](HiveBuilder& b) { b.PatchU32(bb::kChecksum, 0x12345678); }, {}, true}),
    [](const testing::TestParamInfo<Acceptance>& p) { return std::string(p.param.what); });

TEST(OpenAnyway, SummaryForTheWindowTitle) {
  struct Case {
    std::vector<std::string> baseBlockLines;
    int32_t entries;
    std::vector<std::string> notes;
    bool replayed;
    std::string summary;
  };
  const std::vector<Case> cases = {
      {{"version 1.5"}, 0, {}, false, "version 1.5"},
      {{"version 1.5"}, 12, {"applied 12 log entries from SYSTEM.LOG2"}, true,
       "version 1.5; 12 log entries applied"},
      {{}, 1, {"applied 1 log entry from SAM.LOG1"}, true, "1 log entry applied"},
      {{}, 0, {"not saved cleanly; no transaction logs found"}, true,
       "not saved cleanly; no transaction logs found"},
      {{"version 1.5", "clustering factor 8"}, 0,
       {"SYSTEM.LOG1 not applied: entry 3 fails its hash", "SYSTEM.LOG2 not applied: it is empty"}, true,
       "version 1.5; clustering factor 8; not saved cleanly; no log entries applied"},
      {{}, 0, {}, false, ""},
  };
  for (const Case& c : cases) {
    recovery::LogReplay replay;
    replay.entriesApplied = c.entries;
    replay.notes = c.notes;
    EXPECT_EQ(recovery::SummarizeOpen(c.baseBlockLines, c.replayed ? &replay : nullptr), c.summary);
  }
  // An old-format log is one entry of many dirty pages: the title counts the pages.
  recovery::LogReplay old;
  old.entriesApplied = 1;
  old.oldFormatPagesApplied = 64;
  EXPECT_EQ(recovery::SummarizeOpen({}, &old), "64 dirty pages applied from an old-format log");
  // Entries the primary file holds in place of the logs' are named after the count.
  recovery::LogReplay partial;
  partial.entriesApplied = 26;
  partial.missingEntries = "entries 1621 to 2106 are missing; the primary file holds them";
  EXPECT_EQ(recovery::SummarizeOpen({}, &partial),
            "26 log entries applied; entries 1621 to 2106 are missing; the primary file holds them");
}

// The viewer asks OpensAnyway before it offers "Open anyway"; neither waits on a FIFO.
TEST(OpenAnyway, AFifoIsRefusedAtOnce) {
  TempFolder folder;
  const std::string fifo = folder.Path() + "/SYSTEM";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  testsupport::ExpectRefusedAtOnce(
      [](const std::string& path, std::string* reason) {
        return recovery::OpensAnyway(path) || recovery::OpenHiveAnyway(path, reason) != nullptr;
      },
      fifo, "is a named pipe \\(FIFO\\), not a hive file");
}

TEST(OpenAnyway, ChecksumInBothOfWindowsForms) {
  auto image = SmallHive();
  std::array<uint8_t, hive::kBaseBlockSize> block{};
  std::copy_n(image.begin(), block.size(), block.begin());
  EXPECT_TRUE(recovery::ChecksumHolds(block));
  block[100] ^= 1;
  EXPECT_FALSE(recovery::ChecksumHolds(block));
  // A sum of 0 is stored as 1 (or as 0 by other writers).
  block.fill(0);
  EXPECT_TRUE(recovery::ChecksumHolds(block));
  block[bb::kChecksum] = 1;
  EXPECT_TRUE(recovery::ChecksumHolds(block));
  block[bb::kChecksum] = 2;
  EXPECT_FALSE(recovery::ChecksumHolds(block));
}

}  // namespace
