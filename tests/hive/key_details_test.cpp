// Key details: the last-written time as text, and what ReadKeyDetails takes
// from a key node (counts, flags, class name), in place, on sound and damaged keys.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "class_name.h"
#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive/key_details.h"
#include "hive_builder.h"
#include "run_process.h"
#include "shared_hives.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace {

using hive::ClassNameState;
using hive::KeyDetails;
using testsupport::HiveBuilder;
using testsupport::TempHive;

TEST(FormatFileTime, UtcToTheSecond) {
  const struct {
    uint64_t fileTime;
    const char* text;
  } cases[] = {
      {0, "1601-01-01 00:00:00 UTC"},
      {131973913310000000ULL, "2019-03-18 14:02:11 UTC"},
      {131973913319999999ULL, "2019-03-18 14:02:11 UTC"},  // the fraction is cut, not rounded
      {132274943990000000ULL, "2020-02-29 23:59:59 UTC"},
      {116444735990000000ULL, "1969-12-31 23:59:59 UTC"},
      {116444736000000000ULL, "1970-01-01 00:00:00 UTC"},
      {UINT64_MAX, "60056-05-28 05:36:10 UTC"},
  };
  for (const auto& c : cases) EXPECT_EQ(hive::FormatFileTime(c.fileTime), c.text) << c.fileTime;
}

class KeyDetailsTest : public ::testing::Test {
 protected:
  KeyDetailsTest() {
    m_key = m_builder.AddKey(m_builder.Root(), "Key");
    m_builder.AddKey(m_key, "Child");
    m_builder.AddValue(m_key, "V", 4, std::vector<uint8_t>{1, 0, 0, 0});
    m_builder.Build();
  }

  KeyDetails Read(uint32_t recordOffset) {
    m_file = std::make_unique<TempHive>(m_builder.Bytes());
    m_hive = m_file->Open();
    EXPECT_NE(m_hive, nullptr);
    // The reads are in place: the read position stays where it was.
    hive::SeekHive(*m_hive, 1234);
    KeyDetails details = hive::ReadKeyDetails(*m_hive, recordOffset);
    EXPECT_EQ(hive::HivePosition(*m_hive), 1234);
    return details;
  }
  uint32_t KeyOffset() const { return m_builder.KeyOffset(m_key); }

  HiveBuilder m_builder;
  HiveBuilder::KeyId m_key = 0;
  std::unique_ptr<TempHive> m_file;
  std::unique_ptr<hive::HiveFile> m_hive;
};

TEST_F(KeyDetailsTest, CountsTimeAndNoClassName) {
  m_builder.PatchU32(KeyOffset() + hive::key_node::kVolatileSubkeyCount, 3);
  const KeyDetails details = Read(KeyOffset());
  EXPECT_TRUE(details.held);
  EXPECT_EQ(details.recordOffset, KeyOffset());
  EXPECT_EQ(hive::FormatFileTime(details.lastWritten), "2020-01-01 00:00:00 UTC");
  EXPECT_EQ(details.subkeyCount, 1);
  EXPECT_EQ(details.volatileSubkeyCount, 3);
  EXPECT_EQ(details.valueCount, 1);
  EXPECT_EQ(details.classNameState, ClassNameState::kNone);
  EXPECT_FALSE(hive::IsVolatile(details));
  EXPECT_FALSE(hive::IsSymbolicLink(details));
}

TEST_F(KeyDetailsTest, FlagsAsStored) {
  const struct {
    uint16_t flags;
    bool isVolatile;
    bool link;
  } cases[] = {{0x0021, true, false}, {0x0030, false, true}, {0x0031, true, true}, {0x002C, false, false}};
  for (const auto& c : cases) {
    m_builder.PatchU16(KeyOffset() + hive::key_node::kFlags, c.flags);
    const KeyDetails details = Read(KeyOffset());
    EXPECT_EQ(details.flags, c.flags);
    EXPECT_EQ(hive::IsVolatile(details), c.isVolatile) << c.flags;
    EXPECT_EQ(hive::IsSymbolicLink(details), c.link) << c.flags;
  }
}

TEST_F(KeyDetailsTest, ClassNameInUtf16) {
  testsupport::AttachClassName(m_builder, m_key, u"Cl\u00e4ss \u0391");
  const KeyDetails details = Read(KeyOffset());
  EXPECT_EQ(details.classNameState, ClassNameState::kPresent);
  EXPECT_EQ(details.className, "Cl\u00e4ss \u0391");
}

TEST_F(KeyDetailsTest, ClassNameCutOrMissing) {
  const uint32_t record = testsupport::AttachClassName(m_builder, m_key, u"Name");
  const uint32_t lengthField = KeyOffset() + hive::key_node::kClassNameLength;
  const uint32_t cellField = KeyOffset() + hive::key_node::kClassNameCell;

  m_builder.PatchU16(lengthField, 4);  // two characters of four
  EXPECT_EQ(Read(KeyOffset()).className, "Na");
  m_builder.PatchU16(lengthField, 0);
  EXPECT_EQ(Read(KeyOffset()).classNameState, ClassNameState::kNone);

  // A length that runs past the end of the file, and a cell beyond it.
  const auto size = static_cast<uint32_t>(m_builder.Bytes().size());
  m_builder.PatchU16(lengthField, static_cast<uint16_t>(size - record + 2));
  EXPECT_EQ(Read(KeyOffset()).classNameState, ClassNameState::kNotHeld);
  m_builder.PatchU16(lengthField, 8);
  m_builder.PatchU32(cellField, 0x7FFFFFF0);
  EXPECT_EQ(Read(KeyOffset()).classNameState, ClassNameState::kNotHeld);
  m_builder.PatchU32(cellField, hive::kNoCell);
  EXPECT_EQ(Read(KeyOffset()).classNameState, ClassNameState::kNone);
}

TEST_F(KeyDetailsTest, KeyNodeNotHeld) {
  const auto size = static_cast<uint32_t>(m_builder.Bytes().size());
  for (const uint32_t offset : {size - 10, size, 0xFFFFFFF0u}) {
    const KeyDetails details = Read(offset);
    EXPECT_FALSE(details.held) << offset;
    EXPECT_EQ(details.lastWritten, 0u);
    EXPECT_EQ(details.classNameState, ClassNameState::kNone);
  }
}

}  // namespace

namespace {

// Every key's last-written time in real hives, against what hivex reads.
TEST(KeyDetailsOfRealHives, TimesAsHivexReadsThem) {
  const std::vector<std::string> names = testsupport::ComparableHives(KEYLOOM_SHARED_HIVES);
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    const std::string path = std::string(KEYLOOM_SHARED_HIVES) + "/" + name;
    const testsupport::ProcessResult peer = testsupport::RunProcess({"/usr/bin/python3", KEYLOOM_HIVEX_TIMES, path});
    if (peer.exitStatus == 77) GTEST_SKIP() << "hivex is not installed";
    ASSERT_EQ(peer.exitStatus, 0) << peer.err;
    std::string reason;
    auto hive = hive::OpenHive(path, &reason);
    ASSERT_NE(hive, nullptr) << reason;
    tree::KeyTree keys;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    ASSERT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);

    std::istringstream lines(peer.out);
    int32_t position = 0;
    for (uint64_t time = 0; lines >> time; ++position) {
      ASSERT_LT(position, index.Size()) << name;
      const hive::KeyDetails details = hive::ReadKeyDetails(*hive, index.At(position).recordOffset);
      ASSERT_TRUE(details.held);
      EXPECT_EQ(details.lastWritten, time) << name << " key " << position;
    }
    EXPECT_EQ(position, index.Size()) << name;
  }
}

}  // namespace
