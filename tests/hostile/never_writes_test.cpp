// Reading a hive never changes it: after the whole tree is walked and every
// key's values are listed, the file's bytes and modification time are what
// they were, and the hive was opened read-only. The same holds for a hive
// replayed from its transaction logs, and for the logs.

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "deleted/scan_deleted.h"
#include "hive_builder.h"
#include "hostile.h"
#include "log_builder.h"
#include "recovery/log_files.h"
#include "recovery/log_replay.h"

namespace {

using hostile::ReadHive;
using testsupport::HiveBuilder;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// FNV-1a over the file's bytes.
uint64_t FileHash(const std::string& path) {
  uint64_t hash = 14695981039346656037ull;
  for (const uint8_t b : FileBytes(path)) hash = (hash ^ b) * 1099511628211ull;
  return hash;
}

struct Stamp {
  int64_t size = -1;
  int64_t seconds = -1;
  int64_t nanoseconds = -1;
  uint64_t hash = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, FileHash(path)};
}

std::vector<uint8_t> BuiltHive() {
  HiveBuilder builder;
  const auto software = builder.AddKey(builder.Root(), "Software");
  const auto run = builder.AddKey(software, "Run");
  builder.AddValue(run, "Path", 1, std::vector<uint8_t>{'C', 0, ':', 0, 0, 0});
  builder.AddValue(run, "Blob", 3, std::vector<uint8_t>(40, 0x5A));
  builder.AddValue(run, "Count", 4, std::vector<uint8_t>{1, 0, 0, 0});
  for (int i = 0; i < 30; ++i) builder.AddKey(software, "k" + std::to_string(i));
  builder.SetListKind(software, testsupport::ListKind::kRiOfLh, 8);
  return builder.Build();
}

class NeverWrites : public testing::TestWithParam<mode_t> {};

TEST_P(NeverWrites, ReadingEveryKeyLeavesTheFileAsItWas) {
  ReadHive read(BuiltHive());
  const std::string& path = read.file->Path();
  // Reopen with the file in the mode under test, its time set well in the past
  // so that any write would show.
  read.hive.reset();
  ASSERT_EQ(::chmod(path.c_str(), GetParam()), 0);
  const struct timespec past[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
  const Stamp before = StampOf(path);
  ASSERT_EQ(before.seconds, 1000000000);

  {
    auto hive = hive::OpenHive(path, &read.reason);
    ASSERT_TRUE(hive) << read.reason;
    EXPECT_EQ(::fcntl(hive->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    tree::KeyTree keys;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    EXPECT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
    EXPECT_EQ(keys.Size(), 1 + 1 + 1 + 30);
    for (int32_t place = 0; place < index.Size(); ++place) {
      read.table.selected = index.At(place).itemPosition;
      values::ShowKeyValues(*hive, index, read.table, read.table);
    }
    EXPECT_EQ(read.table.rowCount, 3u);
    deleted::ScanDeletedRecords(*hive, keys, index);
    EXPECT_EQ(::fcntl(hive->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    hive::CloseHive(hive);
  }
  EXPECT_EQ(StampOf(path), before);
  ::chmod(path.c_str(), 0600);  // so the temporary file can go
}

TEST_P(NeverWrites, ReplayingTheLogsLeavesTheHiveAndTheLogsAsTheyWere) {
  const std::vector<uint8_t> before = BuiltHive();
  HiveBuilder grown;
  for (int i = 0; i < 200; ++i) grown.AddKey(grown.Root(), "g" + std::to_string(i));
  const std::vector<uint8_t> after = grown.Build();
  std::vector<uint8_t> primary = before;
  testsupport::SetSequenceNumbers(primary, 3, 2);
  testsupport::NewLogWriter newLog(before, 2);
  newLog.AddEntry(2, static_cast<uint32_t>(after.size() - 4096), testsupport::ChangedPages(before, after));
  const std::vector<uint8_t> oldLog =
      testsupport::WriteOldLog(after, testsupport::ChangedPages(before, after), 3);

  char folder[] = "/tmp/keyloom-never-writes-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string hivePath = std::string(folder) + "/hive";
  const std::vector<std::pair<std::string, const std::vector<uint8_t>*>> files = {
      {hivePath, &primary}, {hivePath + ".LOG1", &newLog.Bytes()}, {hivePath + ".LOG2", &oldLog}};
  const struct timespec past[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
  std::vector<Stamp> stamps;
  for (const auto& [path, bytes] : files) {
    ASSERT_TRUE(testsupport::WriteFile(path, *bytes));
    ASSERT_EQ(::chmod(path.c_str(), GetParam()), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    stamps.push_back(StampOf(path));
  }

  {
    std::string reason;
    auto log = recovery::LogFile::Open(hivePath + ".LOG1", &reason);
    ASSERT_TRUE(log) << reason;
    EXPECT_EQ(::fcntl(log->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_NE(::fcntl(log->Descriptor(), F_GETFD) & FD_CLOEXEC, 0);

    auto hive = hive::OpenHiveFile(hivePath, &reason);
    ASSERT_TRUE(hive) << reason;
    const recovery::LogReplay replay = recovery::ApplyTransactionLogs(*hive, hivePath);
    EXPECT_EQ(replay.entriesApplied, 1);
    EXPECT_EQ(::fcntl(hive->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    tree::KeyTree keys;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    EXPECT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
    EXPECT_EQ(keys.Size(), 1 + 200);
    hostile::RowTable table;
    for (int32_t place = 0; place < index.Size(); ++place) {
      table.selected = index.At(place).itemPosition;
      values::ShowKeyValues(*hive, index, table, table);
    }
  }
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(StampOf(files[i].first), stamps[i]) << files[i].first;
    ::unlink(files[i].first.c_str());
  }
  ::rmdir(folder);
}

INSTANTIATE_TEST_SUITE_P(ReadOnlyAndWritableFiles, NeverWrites, testing::Values(mode_t{0444}, mode_t{0644}),
                         [](const testing::TestParamInfo<mode_t>& mode) {
                           return mode.param == 0444 ? std::string("ReadOnlyFile") : std::string("WritableFile");
                         });

}  // namespace
