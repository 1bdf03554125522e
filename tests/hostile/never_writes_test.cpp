// Reading a hive never changes it: after the whole tree is walked and every
// key's values are listed, the file's bytes and modification time are what
// they were, and the hive was opened read-only.

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hive_builder.h"
#include "hostile.h"

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
    EXPECT_EQ(::fcntl(hive->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    hive::CloseHive(hive);
  }
  EXPECT_EQ(StampOf(path), before);
  ::chmod(path.c_str(), 0600);  // so the temporary file can go
}

INSTANTIATE_TEST_SUITE_P(ReadOnlyAndWritableFiles, NeverWrites, testing::Values(mode_t{0444}, mode_t{0644}),
                         [](const testing::TestParamInfo<mode_t>& mode) {
                           return mode.param == 0444 ? std::string("ReadOnlyFile") : std::string("WritableFile");
                         });

}  // namespace
