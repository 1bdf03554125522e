// Logs that are damaged or crafted: each is not applied (or applied up to its
// last sound entry), says why, and the hive is shown as the file holds it.
// Nothing crashes, hangs, reads outside a file or allocates without bound.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hive/little_endian.h"
#include "log_builder.h"
#include "recovery/log_format.h"
#include "recovery_support.h"

namespace {

using recoverytests::OpenAndReplay;
using recoverytests::TempFolder;
using testsupport::NewLogWriter;
using Image = std::vector<uint8_t>;
namespace le = recovery::log_entry;
namespace bb = hive::base_block;

constexpr uint32_t kSequence = 5;
constexpr uint32_t kEntry = 512;  // the first entry's offset in a new-format log

Image State(char mark) { return testsupport::MarkedHive(40, mark); }
uint32_t BinsSize(const Image& image) { return testsupport::HiveBinsSize(image); }

struct HostileCase {
  const char* name;
  bool oldFormat;
  std::function<void(Image& log)> damage;  // applied to a log that would turn State('a') into State('b')
  std::string note;                        // the log's note
};

// The case's name in test listings, not its bytes.
void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class HostileLog : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileLog, IsNotAppliedAndSaysWhy) {
  const HostileCase& c = GetParam();
  const Image a = State('a'), b = State('b');
  Image primary = a;
  testsupport::SetSequenceNumbers(primary, kSequence + 1, kSequence);
  Image log;
  if (c.oldFormat) {
    log = testsupport::WriteOldLog(b, testsupport::ChangedPages(a, b), kSequence + 1);
  } else {
    NewLogWriter writer(a, kSequence);
    writer.AddEntry(kSequence, BinsSize(b), testsupport::ChangedPages(a, b));
    log = writer.Bytes();
  }
  c.damage(log);
  TempFolder folder;
  testsupport::WriteFile(folder / "hive", primary);
  testsupport::WriteFile(folder / "hive.LOG1", log);
  auto replayed = OpenAndReplay(folder / "hive");
  ASSERT_TRUE(replayed.hive);
  EXPECT_EQ(replayed.replay.entriesApplied, 0);
  EXPECT_EQ(replayed.replay.notes,
            (std::vector<std::string>{"hive.LOG1 not applied: " + c.note,
                                      "not saved cleanly; no transaction log could be applied"}));
  EXPECT_EQ(replayed.hive->Size(), static_cast<int64_t>(primary.size()));
  EXPECT_EQ(replayed.Dump(), recoverytests::DumpFile(folder / "hive"));
}

// Patches a u32 of the first entry and rehashes it, so that only the patched
// field is wrong.
std::function<void(Image&)> PatchEntry(int32_t field, uint32_t value) {
  return [field, value](Image& log) {
    hive::StoreU32(log.data() + kEntry + field, value);
    NewLogWriter rehash(log, 0);
    rehash.Bytes() = log;
    rehash.Rehash(kEntry);
    log = rehash.Bytes();
  };
}

std::function<void(Image&)> PatchHeader(int32_t field, uint32_t value) {
  return [field, value](Image& log) {
    hive::StoreU32(log.data() + field, value);
    testsupport::FixBaseBlockChecksum(log);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileLog,
    testing::Values(
        HostileCase{"ShorterThanItsHeader", false, [](Image& log) { log.resize(300); },
                    "is shorter than the 512-byte header of a transaction log"},
        HostileCase{"Empty", false, [](Image& log) { log.clear(); }, "is empty"},
        HostileCase{"NoSignature", false, [](Image& log) { log[0] = 'x'; },
                    "has no \"regf\" signature: it is not a transaction log"},
        HostileCase{"WrongChecksum", false, [](Image& log) { log[bb::kChecksum] ^= 1; },
                    "its base block checksum is wrong"},
        HostileCase{"WrongFileType", false, PatchHeader(bb::kFileType, 3),
                    "has file type 3; a transaction log has type 1, 2 or 6"},
        HostileCase{"NoEntries", false, [](Image& log) { log.resize(kEntry); }, "holds no log entries"},
        HostileCase{"CutInsideTheEntryHeader", false, [](Image& log) { log.resize(kEntry + 20); },
                    "entry 1 is cut short by the end of the log"},
        HostileCase{"CutInsideTheEntry", false, [](Image& log) { log.resize(log.size() - 512); },
                    "entry 1 has a size of 8704 bytes, past the end of the log"},
        HostileCase{"SizeBelowItsHeader", false, PatchEntry(le::kSize, 8),
                    "entry 1 has a size of 8 bytes, less than its header"},
        HostileCase{"BadHashTwo", false, [](Image& log) { log[kEntry + le::kHash2] ^= 1; },
                    "entry 1 fails its hash"},
        HostileCase{"BinsSizeNotAMultipleOf4096", false, PatchEntry(le::kHiveBinsSize, 4097),
                    "entry 1 has a hive bins size of 4097, not a multiple of 4096"},
        HostileCase{"Claims4GiB", false, PatchEntry(le::kHiveBinsSize, 0xFFFFF000),
                    "entry 1 claims a hive of 4294967296 bytes, more than the 2 GiB Keyloom reads"},
        HostileCase{"ClaimsJustOver2GiB", false, PatchEntry(le::kHiveBinsSize, 0x80000000u),
                    "entry 1 claims a hive of 2147487744 bytes, more than the 2 GiB Keyloom reads"},
        HostileCase{"TooManyPages", false, PatchEntry(le::kDirtyPageCount, 0x10000000),
                    "entry 1 counts 268435456 dirty pages, more than it holds"},
        HostileCase{"PagePastTheHive", false,
                    PatchEntry(le::kPageReferences + le::kReferenceOffset, 0xFFFF0000),
                    "entry 1 names a dirty page past the end of the hive"},
        HostileCase{"PagesPastTheEntry", false,
                    PatchEntry(le::kPageReferences + le::kReferenceLength, 0x00100000),
                    "entry 1 names a dirty page past the end of the hive"},
        HostileCase{"OldNoDirtyVector", true, [](Image& log) { log[512] = 'x'; },
                    "has no \"DIRT\" dirty vector"},
        HostileCase{"OldPagesMissing", true, [](Image& log) { log.resize(log.size() - 1024); },
                    "is cut short: its dirty vector names 16 pages, the file holds 14"},
        HostileCase{"OldClaimsOver4GiB", true, PatchHeader(bb::kHiveBinsSize, 0xFFFFFE00),
                    "claims a hive of 4294970880 bytes, more than the 2 GiB Keyloom reads"},
        HostileCase{"OldSequenceNumbersDiffer", true, PatchHeader(bb::kSecondarySequence, 1),
                    "its sequence numbers differ: the log itself was not written completely"},
        HostileCase{"OldTimeDiffers", true, PatchHeader(recovery::log_base_block::kLastWritten, 7),
                    "its last written time differs from the hive's"}),
    [](const testing::TestParamInfo<HostileCase>& c) { return std::string(c.param.name); });

}  // namespace
