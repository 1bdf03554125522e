// Opening hives: base block checks with their reasons, and the read primitives
// at and past the end of the file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive_builder.h"
#include "refused_at_once.h"
#include "temp_folder.h"
#include "temp_hive.h"

namespace {

using hive::HiveFile;
using testsupport::HiveBuilder;
using testsupport::TempHive;

HiveBuilder SmallHive() {
  HiveBuilder builder;
  builder.AddKey(builder.Root(), "Software");
  builder.Build();
  return builder;
}

struct BaseBlockCase {
  const char* what;
  uint32_t offset;
  uint32_t value;
  const char* reasonPart;
};

class BaseBlockRejects : public testing::TestWithParam<BaseBlockCase> {};

TEST_P(BaseBlockRejects, OneBrokenFieldRejectsWithItsReason) {
  HiveBuilder builder = SmallHive();
  builder.PatchU32(GetParam().offset, GetParam().value);
  builder.FixChecksum();
  TempHive file(builder.Bytes());
  std::string reason;
  EXPECT_EQ(file.Open(&reason), nullptr);
  EXPECT_NE(reason.find(GetParam().reasonPart), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(
    EachCheck, BaseBlockRejects,
    testing::Values(
        BaseBlockCase{"UpperCaseSignature", 0, 0x46474552, "no \"regf\" signature"},
        BaseBlockCase{"SequenceNumbersDiffer", 4, 7, "sequence numbers that differ (7 and 1)"},
        BaseBlockCase{"MajorVersion2", 20, 2, "format version 2.3"},
        BaseBlockCase{"MinorVersion5", 24, 5, "format version 1.5; Keyloom reads version 1.3"},
        BaseBlockCase{"MinorVersion2", 24, 2, "format version 1.2"},
        BaseBlockCase{"FileTypeLog", 28, 1, "file type 1"},
        BaseBlockCase{"FileFormat2", 32, 2, "file format 2"},
        BaseBlockCase{"Clustering2", 44, 2, "clustering factor 2"}),
    [](const testing::TestParamInfo<BaseBlockCase>& p) { return std::string(p.param.what); });

TEST(OpenHive, AcceptsWhateverElseTheBaseBlockHolds) {
  HiveBuilder builder = SmallHive();
  builder.PatchU32(hive::base_block::kChecksum, 0xDEADBEEF);  // no checksum is computed
  builder.PatchU32(12, 0x12345678);                           // timestamp
  TempHive file(builder.Bytes());
  EXPECT_NE(file.Open(), nullptr);
}

TEST(OpenHive, SizeBoundaryIs4096Bytes) {
  HiveBuilder builder = SmallHive();
  builder.Truncate(4096);
  TempHive exact(builder.Bytes());
  EXPECT_NE(exact.Open(), nullptr);

  builder.Truncate(4095);
  TempHive shorter(builder.Bytes());
  std::string reason;
  EXPECT_EQ(shorter.Open(&reason), nullptr);
  EXPECT_EQ(reason, "is 4095 bytes long; a registry hive is at least 4096 bytes");

  TempHive empty({});
  EXPECT_EQ(empty.Open(&reason), nullptr);
  EXPECT_EQ(reason, "is 0 bytes long; a registry hive is at least 4096 bytes");
}

TEST(OpenHive, RefusesWhatIsNotARegularFileAtOnceWithItsReason) {
  testsupport::TempFolder folder;
  const std::string fifo = folder.Path() + "/SYSTEM";
  const std::string link = folder.Path() + "/device";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
  const std::pair<std::string, std::string> cases[] = {
      {fifo, "is a named pipe \\(FIFO\\), not a hive file"},
      {"/dev/zero", "is a device, not a hive file"},
      {link, "is a device, not a hive file"},
      {"/tmp", "is a folder, not a hive file"},
      {"/proc/self/mem", "is 0 bytes long; a registry hive is at least 4096 bytes"},
      {"/nonexistent/keyloom/hive", "cannot be opened: No such file or directory"},
      {"", "cannot be opened: No such file or directory"},
  };
  for (const auto& [path, reason] : cases) {
    testsupport::ExpectRefusedAtOnce(
        [](const std::string& p, std::string* why) { return hive::OpenHive(p, why) != nullptr; }, path, reason);
  }
}

TEST(CloseHive, AcceptsNoneAndReturnsZero) {
  std::unique_ptr<HiveFile> none;
  EXPECT_EQ(hive::CloseHive(none), 0);
  TempHive file(SmallHive().Bytes());
  auto open = file.Open();
  EXPECT_EQ(hive::CloseHive(open), 0);
  EXPECT_EQ(open, nullptr);
}

class Primitives : public testing::Test {
 protected:
  void SetUp() override {
    HiveBuilder builder = SmallHive();
    // Known bytes in the base block's unused area.
    const uint8_t marks[] = {0xFF, 0xFF, 0x2C, 0x00, 0x78, 0x56, 0x34, 0x12};
    builder.PatchBytes(100, marks);
    m_file = std::make_unique<TempHive>(builder.Bytes());
    m_size = static_cast<int32_t>(builder.Bytes().size());
    m_hive = m_file->Open();
    ASSERT_NE(m_hive, nullptr);
  }
  std::unique_ptr<TempHive> m_file;
  std::unique_ptr<HiveFile> m_hive;
  int32_t m_size = 0;
};

TEST_F(Primitives, LittleEndianAndSignExtended) {
  hive::SeekHive(*m_hive, 100);
  EXPECT_EQ(hive::ReadHive16(*m_hive), -1);
  EXPECT_EQ(hive::ReadHive16(*m_hive), 44);
  EXPECT_EQ(hive::ReadHive32(*m_hive), 0x12345678u);
  EXPECT_EQ(hive::HivePosition(*m_hive), 108);
}

TEST_F(Primitives, PastTheEndIntegersAreZeroAndBytesKeepTheirValue) {
  hive::SeekHive(*m_hive, m_size);
  EXPECT_EQ(hive::ReadHive32(*m_hive), 0u);
  hive::SeekHive(*m_hive, m_size - 2);
  EXPECT_EQ(hive::ReadHive32(*m_hive) >> 16, 0u);  // the two missing bytes read as 0

  uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  hive::SeekHive(*m_hive, m_size - 3);
  EXPECT_EQ(hive::ReadHiveBytes(*m_hive, buffer, 8), 3);
  EXPECT_EQ(buffer[3], 4);
  EXPECT_EQ(buffer[7], 8);

  buffer[0] = 1;
  hive::SeekHive(*m_hive, INT32_MAX);
  EXPECT_EQ(hive::ReadHiveBytes(*m_hive, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 1);  // untouched
}

TEST_F(Primitives, NegativeSeekIsRefused) {
  hive::SeekHive(*m_hive, 102);
  hive::SeekHive(*m_hive, -1);
  EXPECT_EQ(hive::HivePosition(*m_hive), 102);
  hive::SeekHive(*m_hive, static_cast<int32_t>(hive::RecordOffsetOf(0x80000000)));
  EXPECT_EQ(hive::ReadHive16(*m_hive), 44);  // the read starts where the last one ended
}

TEST_F(Primitives, ReadsSpanningCacheBlocksAreWhole) {
  // The 4-byte read at 65534 crosses a 64 KiB block boundary in a larger hive.
  HiveBuilder builder;
  for (int i = 0; i < 2000; ++i) builder.AddKey(builder.Root(), "Key" + std::to_string(i));
  const auto& bytes = builder.Build();
  ASSERT_GT(bytes.size(), 70000u);
  TempHive file(bytes);
  auto big = file.Open();
  for (int32_t at : {65534, 65535, 131071}) {
    hive::SeekHive(*big, at);
    const uint32_t expected = static_cast<uint32_t>(bytes[static_cast<size_t>(at)]) |
                              (static_cast<uint32_t>(bytes[static_cast<size_t>(at) + 1]) << 8) |
                              (static_cast<uint32_t>(bytes[static_cast<size_t>(at) + 2]) << 16) |
                              (static_cast<uint32_t>(bytes[static_cast<size_t>(at) + 3]) << 24);
    EXPECT_EQ(hive::ReadHive32(*big), expected) << at;
  }
}

TEST(OpenHive, FileThatShrinksWhileOpenReadsZerosAndNeverFaults) {
  HiveBuilder builder;
  for (int i = 0; i < 3000; ++i) builder.AddKey(builder.Root(), "Key" + std::to_string(i));
  const auto& bytes = builder.Build();
  TempHive file(bytes);
  auto open = file.Open();
  ASSERT_NE(open, nullptr);
  ASSERT_EQ(::truncate(file.Path().c_str(), 4096), 0);
  const auto last = static_cast<int32_t>(bytes.size()) - 8;
  hive::SeekHive(*open, last);
  uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(hive::ReadHiveBytes(*open, buffer, 8), 8);
  EXPECT_EQ(buffer[0], 0);
  hive::SeekHive(*open, 100000);
  EXPECT_EQ(hive::ReadHive32(*open), 0u);
  hive::SeekHive(*open, 0);
  EXPECT_EQ(hive::ReadHive32(*open), hive::base_block::kRegfSignature);  // still there
}

TEST(OpenHive, OpensReadOnly) {
  TempHive file(SmallHive().Bytes());
  auto open = file.Open();
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(::fcntl(open->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
}

TEST(RecordOffset, WrapsIn32Bits) {
  EXPECT_EQ(hive::RecordOffsetOf(0xFFFFFFFF), 4099u);
  EXPECT_EQ(hive::RecordOffsetOf(0x20), 4132u);
}

TEST(HiveHolds, RangesAgainstTheFileSize) {
  TempHive file(SmallHive().Bytes());
  auto open = file.Open();
  const auto size = static_cast<uint32_t>(open->Size());
  EXPECT_TRUE(hive::HiveHolds(*open, 0, size));
  EXPECT_FALSE(hive::HiveHolds(*open, 1, size));
  EXPECT_FALSE(hive::HiveHolds(*open, 0xFFFFFFF0, 0x20));  // no wrap-around
}

}  // namespace
