// Marvin32 against the published test vectors of its authors' runtime, and the
// seed of log entries against the hashes Windows wrote into real logs.

#include "recovery/marvin32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "recovery/log_files.h"
#include "recovery/new_log.h"
#include "recovery_support.h"

namespace {

struct Vector {
  const char* hex;
  uint64_t hash;
};

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

TEST(Marvin32, PublishedVectorsOfEveryTailLength) {
  constexpr uint64_t kSeed = 0x004FB61A001BDBCCull;
  for (const Vector& v :
       {Vector{"", 0x30ED35C100CD3C7Dull}, Vector{"af", 0x48E73FC77D75DDC1ull},
        Vector{"e70f", 0xB5F6E1FC485DBFF8ull}, Vector{"37f495", 0xF0B07C789B8CF7E8ull},
        Vector{"8642dc59", 0x7008F2E87E9CF556ull}, Vector{"153fb79826", 0xE6C08C6DA2AFA997ull},
        Vector{"0932e6246c47", 0x6F04BF1A5EA24060ull}, Vector{"ab427ea8d10fc7", 0xE11847E4F0678C41ull}}) {
    const std::vector<uint8_t> data = FromHex(v.hex);
    EXPECT_EQ(recovery::Marvin32(data.data(), data.size(), kSeed), v.hash) << v.hex;
  }
}

TEST(Marvin32, TheEntriesWindowsWroteVerify) {
  for (const auto& [name, count] : {std::pair{"NewDirtyHive1/NewDirtyHive.LOG1", size_t{1}},
                                    std::pair{"NewDirtyHive1/NewDirtyHive.LOG2", size_t{3}}}) {
    const std::string path = recoverytests::DirtyHive(name);
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is missing";
    std::string reason;
    auto log = recovery::LogFile::Open(path, &reason);
    ASSERT_TRUE(log) << reason;
    const recovery::NewLogEntries entries = recovery::ReadNewLogEntries(log->Bytes());
    EXPECT_EQ(entries.entries.size(), count) << name;
    EXPECT_EQ(entries.stop, "") << name;
  }
}

}  // namespace
