// Transaction logs written byte by byte beside built hives: discovery, the
// new format's sequence rules and dual logs, the old format, hives that grow,
// and logs that must not be applied.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ostream>
#include <string>
#include <vector>

#include "hive/little_endian.h"
#include "log_builder.h"
#include "recovery/log_files.h"
#include "recovery/log_format.h"
#include "recovery_support.h"

namespace {

using recoverytests::DumpHive;
using recoverytests::OpenAndReplay;
using recoverytests::TempFolder;
using testsupport::ChangedPages;
using testsupport::DirtyPage;
using testsupport::NewLogWriter;
using Image = std::vector<uint8_t>;

constexpr uint32_t kHiveSequence = 5;  // the secondary sequence number of every primary here

Image State(int keys, char mark = 'a') { return testsupport::MarkedHive(keys, mark); }
uint32_t BinsSize(const Image& image) { return testsupport::HiveBinsSize(image); }

// The primary as a crashed write leaves it: secondary kHiveSequence, primary one more.
Image Dirty(Image image) {
  testsupport::SetSequenceNumbers(image, kHiveSequence + 1, kHiveSequence);
  return image;
}

std::string Dump(const Image& image) {
  TempFolder folder;
  testsupport::WriteFile(folder / "h", image);
  return recoverytests::DumpFile(folder / "h");
}

struct Scene {
  TempFolder folder;
  std::string hive;
  explicit Scene(const Image& primary, const std::string& name = "hive") : hive(folder / name) {
    testsupport::WriteFile(hive, primary);
  }
  void Add(const std::string& name, const std::vector<uint8_t>& bytes) const {
    testsupport::WriteFile(folder / name, bytes);
  }
};

// An entry of sequence number sequence turning from into to.
uint32_t AddStep(NewLogWriter& log, uint32_t sequence, const Image& from, const Image& to) {
  return log.AddEntry(sequence, BinsSize(to), ChangedPages(from, to));
}

TEST(LogDiscovery, MatchesNameAndSuffixWithoutRegardToCase) {
  TempFolder folder;
  for (const char* name :
       {"Hive.Log", "hive.LOG1", "HIVE.log2", "hive.LOG3", "hivex.LOG1", "hive.LOG1.bak", "hive"}) {
    testsupport::WriteFile(folder / name, std::vector<uint8_t>{1});
  }
  ::mkdir((folder / "hive.LoG").c_str(), 0700);  // a folder so named is no log
  std::vector<std::string> names;
  for (const auto& log : recovery::FindTransactionLogs(folder / "hive")) names.push_back(log.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Hive.Log", "hive.LOG1", "HIVE.log2"}));
}

TEST(LogDiscovery, PrefersTheExactSpellingWhereSeveralMatchOneSuffix) {
  TempFolder folder;
  for (const char* name : {"SYSTEM.log1", "SYSTEM.LOG1", "system.LOG1"}) {
    testsupport::WriteFile(folder / name, std::vector<uint8_t>{1});
  }
  const auto logs = recovery::FindTransactionLogs(folder / "SYSTEM");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].name, "SYSTEM.LOG1");
  EXPECT_EQ(logs[0].path, folder / "SYSTEM.LOG1");
}

TEST(LogFileOpen, AFifoOrAFolderIsRefusedWithoutWaiting) {
  TempFolder folder;
  ASSERT_EQ(::mkfifo((folder / "hive.LOG1").c_str(), 0600), 0);
  ::mkdir((folder / "hive.LOG2").c_str(), 0700);
  for (const auto& [name, kind] : {std::pair{"hive.LOG1", "a named pipe (FIFO)"}, std::pair{"hive.LOG2", "a folder"}}) {
    std::string reason;
    EXPECT_FALSE(recovery::LogFile::Open(folder / name, &reason));
    EXPECT_EQ(reason, std::string("is ") + kind + ", not a transaction log") << name;
  }
}

TEST(LogDiscovery, ALogInAnotherCaseIsApplied) {
  const Image a = State(3), b = State(3, 'b');
  Scene scene(Dirty(a), "SYSTEM");
  NewLogWriter log(a, kHiveSequence);
  AddStep(log, kHiveSequence, a, b);
  scene.Add("system.log2", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.notes, std::vector<std::string>{"applied 1 log entry from system.log2"});
  EXPECT_EQ(replayed.Dump(), Dump(b));
}

TEST(NewFormat, AppliesSubsequentEntriesInSequenceAndSkipsOlderOnes) {
  const Image old = State(2), a = State(3), b = State(3, 'b'), c = State(3, 'c');
  Scene scene(Dirty(a));
  NewLogWriter log(old, kHiveSequence - 1);
  AddStep(log, kHiveSequence - 1, old, a);  // already in the primary
  AddStep(log, kHiveSequence, a, b);
  AddStep(log, kHiveSequence + 1, b, c);
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 2);
  EXPECT_EQ(replayed.replay.notes, std::vector<std::string>{"applied 2 log entries from hive.LOG1"});
  EXPECT_EQ(replayed.Dump(), Dump(c));
  // The replayed base block: both sequence numbers one past the last entry.
  const uint8_t* block = replayed.hive->BaseBlock().data();
  EXPECT_EQ(hive::LoadU32(block + hive::base_block::kPrimarySequence), kHiveSequence + 2);
  EXPECT_EQ(hive::LoadU32(block + hive::base_block::kSecondarySequence), kHiveSequence + 2);
  EXPECT_TRUE(recovery::HasSoundChecksum(block));
}

TEST(NewFormat, ABadHashInTheMiddleKeepsTheEntriesBeforeIt) {
  const Image a = State(3), b = State(3, 'b'), c = State(3, 'c'), d = State(3, 'd');
  Scene scene(Dirty(a));
  NewLogWriter log(a, kHiveSequence);
  AddStep(log, kHiveSequence, a, b);
  const uint32_t second = AddStep(log, kHiveSequence + 1, b, c);
  AddStep(log, kHiveSequence + 2, c, d);
  log.Bytes()[second + 100] ^= 0x01;  // a page byte: hash-1 no longer matches
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  EXPECT_EQ(replayed.replay.notes,
            std::vector<std::string>{"applied 1 log entry from hive.LOG1; entry 2 fails its hash"});
  EXPECT_EQ(replayed.Dump(), Dump(b));
}

TEST(NewFormat, ALogGrowsTheHivePastThePrimaryFile) {
  const Image a = State(3), grown = State(400);
  ASSERT_GT(grown.size(), a.size() + 8192);
  Scene scene(Dirty(a));
  NewLogWriter log(a, kHiveSequence);
  AddStep(log, kHiveSequence, a, grown);
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  EXPECT_EQ(replayed.hive->Size(), static_cast<int64_t>(grown.size()));
  const auto last = static_cast<uint32_t>(grown.size() - 64);
  EXPECT_TRUE(hive::HiveHolds(*replayed.hive, last, 64));
  const uint8_t* inPlace = replayed.hive->BytesAt(last, 64);
  ASSERT_NE(inPlace, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(inPlace, inPlace + 64), std::vector<uint8_t>(grown.end() - 64, grown.end()));
  EXPECT_EQ(replayed.Dump(), Dump(grown));
}

TEST(NewFormat, TheImageEndsAtTheLastPageTheLogWrites) {
  const Image a = State(3), b = State(3, 'b');
  Scene scene(Dirty(a));
  NewLogWriter log(a, kHiveSequence);
  log.AddEntry(kHiveSequence, 1u << 30, ChangedPages(a, b));  // claims a hive of 1 GiB
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  EXPECT_EQ(replayed.hive->Size(), static_cast<int64_t>(a.size()));
  EXPECT_EQ(hive::LoadU32(replayed.hive->BaseBlock().data() + hive::base_block::kHiveBinsSize), 1u << 30);
  EXPECT_EQ(replayed.Dump(), Dump(b));
}

TEST(NewFormat, ADamagedPrimaryBaseBlockIsTakenFromTheLog) {
  const Image a = State(3), b = State(3, 'b');
  Image primary = a;
  primary[hive::base_block::kChecksum] ^= 0x5A;  // the sequence numbers are equal, the checksum wrong
  Scene scene(primary);
  NewLogWriter log(a, kHiveSequence);
  AddStep(log, kHiveSequence, a, b);
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  EXPECT_TRUE(recovery::HasSoundChecksum(replayed.hive->BaseBlock().data()));
  EXPECT_EQ(hive::LoadU32(replayed.hive->BaseBlock().data() + hive::base_block::kFileType), 0u);
  EXPECT_EQ(replayed.Dump(), Dump(b));
}

// Dual logs: which entries each log holds, as steps from state to state, and
// what the replay makes of them.
struct DualCase {
  const char* name;
  uint32_t hive;  // the primary's secondary sequence number
  uint32_t primary;  // the state the primary's bins hold, as the entry it comes before
  std::vector<uint32_t> log1;  // sequence numbers; entry n goes from state n to n + 1
  std::vector<uint32_t> log2;
  int32_t entries;
  uint32_t result;  // the state shown
  std::vector<std::string> notes;
};

// The case's name in test listings, not its bytes.
void PrintTo(const DualCase& c, std::ostream* out) { *out << c.name; }

class DualLogs : public testing::TestWithParam<DualCase> {};

TEST_P(DualLogs, TheSequenceNumbersChooseLogsAndOrder) {
  const DualCase& c = GetParam();
  const auto state = [&c](uint32_t sequence) { return State(3, static_cast<char>('a' + (sequence - c.hive))); };
  Image primary = state(c.primary);
  testsupport::SetSequenceNumbers(primary, c.hive + 1, c.hive);
  Scene scene(primary);
  for (const auto& [name, sequences] : {std::pair{"hive.LOG1", c.log1}, std::pair{"hive.LOG2", c.log2}}) {
    NewLogWriter log(state(c.hive), sequences.empty() ? 1 : sequences.front());
    for (const uint32_t sequence : sequences) AddStep(log, sequence, state(sequence), state(sequence + 1));
    scene.Add(name, log.Bytes());
  }
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, c.entries);
  EXPECT_EQ(replayed.replay.notes, c.notes);
  EXPECT_EQ(replayed.Dump(), Dump(state(c.result)));
}

constexpr uint32_t kWrap = 0xFFFFFFF0;  // 16 before the sequence numbers start again at 0

INSTANTIATE_TEST_SUITE_P(
    Cases, DualLogs,
    testing::Values(
        // The three states of a partial reconcile: one log in use, ...
        DualCase{"OneLog", 5, 5, {5, 6, 7}, {}, 3, 8,
                 {"applied 3 log entries from hive.LOG1", "hive.LOG2 not applied: holds no log entries"}},
        // ... the second log after a rotation, ...
        DualCase{"BothAfterOneRotation", 5, 5, {5, 6, 7}, {8, 9}, 5, 10,
                 {"applied 3 log entries from hive.LOG1", "applied 2 log entries from hive.LOG2"}},
        // ... the first log again after the second rotation, once the primary
        // took what 5 to 9 wrote without a new base block.
        DualCase{"PartialReconcile", 5, 10, {10, 11}, {8, 9}, 4, 12,
                 {"applied 2 log entries from hive.LOG1", "applied 2 log entries from hive.LOG2",
                  "entries 5 to 7 are missing; the primary file holds them"}},
        DualCase{"PartialReconcileAcrossZero", kWrap, 1, {1, 2}, {0xFFFFFFFF, 0}, 4, 3,
                 {"applied 2 log entries from hive.LOG1", "applied 2 log entries from hive.LOG2",
                  "entries 4294967280 to 4294967294 are missing; the primary file holds them"}},
        DualCase{"OlderEntriesAcrossZero", 1, 1, {0xFFFFFFFE, 0xFFFFFFFF, 0, 1, 2}, {3}, 3, 4,
                 {"applied 2 log entries from hive.LOG1", "applied 1 log entry from hive.LOG2"}},
        DualCase{"SecondThenFirst", 5, 5, {7}, {5, 6}, 3, 8,
                 {"applied 1 log entry from hive.LOG1", "applied 2 log entries from hive.LOG2"}},
        DualCase{"OnlyTheSecondIsNew", 5, 5, {3, 4}, {5, 6}, 2, 7,
                 {"hive.LOG1 not applied: its log entries are older than the hive (sequence numbers below 7)",
                  "applied 2 log entries from hive.LOG2"}},
        DualCase{"TheSecondLeavesAGap", 5, 5, {5, 6}, {9}, 2, 7,
                 {"applied 2 log entries from hive.LOG1",
                  "hive.LOG2 not applied: its log entries do not continue the hive: entry 1 has sequence "
                  "number 9 where 7 is needed"}},
        DualCase{"ALogJumpsPastTheHive", 5, 5, {3, 4, 8}, {}, 0, 5,
                 {"hive.LOG1 not applied: its log entries do not continue the hive: entry 3 has sequence "
                  "number 8 where 5 is needed",
                  "hive.LOG2 not applied: holds no log entries",
                  "not saved cleanly; no transaction log could be applied"}}),
    [](const testing::TestParamInfo<DualCase>& c) { return std::string(c.param.name); });

TEST(OldFormat, TheLogWhoseTimeMatchesIsApplied) {
  const Image a = State(3), b = State(60, 'b');
  Scene scene(Dirty(a));
  const std::vector<DirtyPage> pages = ChangedPages(a, b);
  std::vector<uint8_t> stale = testsupport::WriteOldLog(b, pages, kHiveSequence + 1);
  stale[recovery::log_base_block::kLastWritten] ^= 0x01;
  testsupport::FixBaseBlockChecksum(stale);
  scene.Add("hive.LOG1", stale);
  scene.Add("hive.LOG2", testsupport::WriteOldLog(b, pages, kHiveSequence + 1));
  auto replayed = OpenAndReplay(scene.hive);
  int64_t dirty = 0;
  for (const DirtyPage& page : pages) dirty += static_cast<int64_t>(page.bytes.size() / 512);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  EXPECT_EQ(replayed.replay.notes,
            (std::vector<std::string>{
                "hive.LOG1 not applied: its last written time differs from the hive's",
                "applied " + std::to_string(dirty) + " dirty pages from hive.LOG2 (old format)"}));
  EXPECT_EQ(replayed.hive->Size(), static_cast<int64_t>(b.size()));
  EXPECT_EQ(replayed.Dump(), Dump(b));
}

TEST(OldFormat, AnUnsoundDirtyBinEndsTheReplay) {
  const Image a = State(3), b = State(60, 'b');
  Scene scene(Dirty(a));
  std::vector<DirtyPage> pages = ChangedPages(a, b);
  ASSERT_GE(pages.size(), 2u);
  // Every page of these hives begins a bin; the last one now names a wrong offset.
  hive::StoreU32(pages.back().bytes.data() + hive::hive_bin::kOffset, 0x1000000);
  scene.Add("hive.LOG", testsupport::WriteOldLog(b, pages, kHiveSequence + 1));
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 1);
  ASSERT_EQ(replayed.replay.notes.size(), 1u);
  EXPECT_NE(replayed.replay.notes[0].find("; the dirty bin at offset " +
                                          std::to_string(pages.back().binsOffset) + " is not sound"),
            std::string::npos)
      << replayed.replay.notes[0];
}

TEST(Replay, ACleanHiveIsLeftAsItIs) {
  const Image a = State(3), b = State(3, 'b');
  Scene scene(a);
  NewLogWriter log(a, 1);
  AddStep(log, 1, a, b);
  scene.Add("hive.LOG1", log.Bytes());
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 0);
  EXPECT_TRUE(replayed.replay.notes.empty());
  EXPECT_EQ(replayed.Dump(), Dump(a));
}

TEST(Replay, NoLogsAreFound) {
  Scene scene(Dirty(State(3)));
  scene.Add("other.LOG1", {1, 2, 3});
  auto replayed = OpenAndReplay(scene.hive);
  EXPECT_EQ(replayed.replay.notes, std::vector<std::string>{"not saved cleanly; no transaction logs found"});
}

}  // namespace
