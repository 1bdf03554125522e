// Damaged hives, real and made: every one opens and shows what it holds, or
// is refused with its reason; none hangs, crashes or reads outside the file
// (the sanitizer build runs these too).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "deleted/deleted_value_data.h"
#include "deleted/scan_deleted.h"
#include "hive/key_node.h"
#include "hive_builder.h"
#include "hostile.h"

namespace {

using hostile::ReadHive;
using testsupport::HiveBuilder;

// What holds for every hive that opens, however damaged: the walk ends with an
// outcome, every subkey it shows lies wholly in the file, the tree and each
// listing stay within their bounds, and listing every key ends.
void ExpectReadSafely(ReadHive& read) {
  ASSERT_TRUE(read.hive);
  EXPECT_NE(read.outcome, tree::BuildOutcome::kStopped);
  EXPECT_EQ(read.signals.keysLoaded.load(), read.keys.Size());
  EXPECT_EQ(read.index.Size(), read.keys.Size());
  if (read.outcome == tree::BuildOutcome::kNoRoot) {
    EXPECT_TRUE(read.keys.Empty());
  }
  // Every item but the root comes from one list element read, and the walk
  // reads at most one element per 4 bytes of the file.
  EXPECT_LE(static_cast<uint64_t>(read.keys.Size()), read.FileSize() / 4 + 1);
  for (int32_t place = 0; place < read.index.Size(); ++place) {
    // The root is taken as found (its signature and flags are in the file);
    // every subkey shown lies wholly in the file.
    const uint32_t record = read.index.At(place).recordOffset;
    EXPECT_TRUE(place == 0 || hive::HiveHoldsKeyNode(*read.hive, record)) << record;
    read.List(read.index.At(place).itemPosition);
    EXPECT_LE(read.table.listingBytes, 4 * read.FileSize() + values::kListingSlack);
  }
  // The scan for deleted records ends, finds records only inside the file, and
  // their paths and rows can be made.
  const deleted::DeletedRecords found = deleted::ScanDeletedRecords(*read.hive, read.keys, read.index);
  for (size_t k = 0; k < found.keys.size(); ++k) {
    EXPECT_TRUE(hive::HiveHoldsKeyNode(*read.hive, found.keys[k].recordOffset));
    EXPECT_FALSE(deleted::DeletedKeyPath(read.keys, found, k).empty());
  }
  for (const deleted::DeletedValue& value : found.values) {
    EXPECT_FALSE(deleted::FormatDeletedValueRow(*read.hive, value).empty());
  }
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file of the shared folder, damaged or not.
TEST(DamagedHives, EverySharedHiveOpensOrIsRefusedWithItsReason) {
  const std::filesystem::path folder = KEYLOOM_SHARED_HIVES;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no shared hives at " << folder;
  int opened = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    ReadHive read(FileBytes(entry.path()));
    if (!read.hive) {
      EXPECT_FALSE(read.reason.empty());
      continue;
    }
    ++opened;
    ExpectReadSafely(read);
    EXPECT_NE(read.outcome, tree::BuildOutcome::kTooLarge);
  }
  EXPECT_GT(opened, 0);
}

// A hive with every list kind, UTF-16 names and values of every kind.
std::vector<uint8_t> SoundHive() {
  HiveBuilder builder;
  const auto software = builder.AddKey(builder.Root(), "Software");
  const auto run = builder.AddKey(software, "Run");
  builder.AddValue(run, "Path", 1, std::vector<uint8_t>{'C', 0, ':', 0, 0, 0});
  builder.AddValue(run, "Blob", 3, std::vector<uint8_t>(40, 0x5A));
  builder.AddValue(run, "Count", 4, std::vector<uint8_t>{1, 0, 0, 0});
  builder.AddValue(run, "Tiny", 3, std::vector<uint8_t>{9, 8});
  builder.AddDefaultValue(run, 2, std::vector<uint8_t>{'%', 0, 'x', 0});
  const auto wide = builder.AddKeyUtf16(builder.Root(), u"Envoyer \u00e0");
  builder.AddValueUtf16Name(wide, u"\u00e9t\u00e9", 7, std::vector<uint8_t>{'a', 0, 0, 0, 0, 0});
  const testsupport::ListKind kinds[] = {testsupport::ListKind::kLf, testsupport::ListKind::kLh,
                                         testsupport::ListKind::kLi, testsupport::ListKind::kRiOfLi,
                                         testsupport::ListKind::kRiOfLf, testsupport::ListKind::kRiOfLh};
  int n = 0;
  for (const auto kind : kinds) {
    const auto holder = builder.AddKey(software, "holder" + std::to_string(n++));
    for (int i = 0; i < 7; ++i) builder.AddKey(holder, "c" + std::to_string(i));
    builder.SetListKind(holder, kind, 3);
  }
  return builder.Build();
}

TEST(DamagedHives, TruncatedAtEveryPoint) {
  const std::vector<uint8_t> sound = SoundHive();
  int refused = 0;
  for (size_t size = 0; size <= sound.size(); size += size < 4200 ? 97 : 61) {
    SCOPED_TRACE(size);
    ReadHive read(std::vector<uint8_t>(sound.begin(), sound.begin() + static_cast<ptrdiff_t>(size)));
    if (size < 4096) {
      ASSERT_FALSE(read.hive);
      EXPECT_EQ(read.reason, "is " + std::to_string(size) + " bytes long; a registry hive is at least 4096 bytes");
      ++refused;
      continue;
    }
    ExpectReadSafely(read);
    if (size >= 4096 + 32 + 4 + 76 + 4) {
      ASSERT_FALSE(read.keys.Empty());
      EXPECT_EQ(read.keys.Label(0), "ROOT");
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(DamagedHives, BytesFlippedAtManyOffsets) {
  // A fixed sequence of damage: one to three bytes of the hive bins set to
  // values that matter to the format (0, 0xFF, 0x7F, 0x80) or flipped.
  const std::vector<uint8_t> sound = SoundHive();
  uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80};
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint8_t> bytes = sound;
    const int changes = 1 + static_cast<int>(next() % 3);
    std::string what;
    for (int i = 0; i < changes; ++i) {
      const size_t offset = 4096 + next() % (bytes.size() - 4096);
      const uint32_t pick = next() % 5;
      bytes[offset] = pick < 4 ? values[pick] : static_cast<uint8_t>(~bytes[offset]);
      what += std::to_string(offset) + " ";
    }
    SCOPED_TRACE(what);
    ReadHive read(bytes);
    ASSERT_TRUE(read.hive) << read.reason;  // the base block is untouched
    ExpectReadSafely(read);
  }
}

TEST(DamagedHives, BaseBlockDamageIsRefusedWithItsReason) {
  const std::vector<uint8_t> sound = SoundHive();
  struct Case {
    size_t offset;
    uint8_t value;
    const char* reasonStart;
  };
  for (const Case c : {Case{0, 'R', "has no \"regf\" signature"}, Case{4, 0x77, "has sequence numbers that differ"},
                       Case{24, 5, "is format version 1.5"}, Case{28, 1, "has file type 1"},
                       Case{32, 2, "has file format 2"}, Case{44, 4, "has clustering factor 4"}}) {
    std::vector<uint8_t> bytes = sound;
    bytes[c.offset] = c.value;
    ReadHive read(bytes);
    EXPECT_FALSE(read.hive);
    EXPECT_EQ(read.reason.rfind(c.reasonStart, 0), 0u) << read.reason;
  }
}

}  // namespace
