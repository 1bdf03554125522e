// An overlay of replaced bytes over a hive: every read sees the replaced
// image, and the file stays as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive_builder.h"
#include "temp_hive.h"

namespace {

using hive::HiveFile;
using hive::ReplacedBytes;
using testsupport::TempHive;

std::vector<uint8_t> Built() {
  testsupport::HiveBuilder builder;
  for (int i = 0; i < 100; ++i) builder.AddKey(builder.Root(), "key" + std::to_string(i));
  return builder.Build();
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Read(HiveFile& hive, int32_t at, int32_t count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count), 0xEE);
  hive::SeekHive(hive, at);
  bytes.resize(static_cast<size_t>(hive::ReadHiveBytes(hive, bytes.data(), count)));
  return bytes;
}

const std::vector<uint8_t> kAbc = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
const std::vector<uint8_t> kXyz = {'X', 'Y', 'Z'};

// The image the overlays below make of a file of fileSize bytes.
struct Expected {
  std::vector<uint8_t> image;
  std::array<uint8_t, hive::kBaseBlockSize> baseBlock{};
  std::vector<ReplacedBytes> runs;
};

Expected Overlaid(const std::vector<uint8_t>& file) {
  Expected e;
  e.image = file;
  e.image.resize(file.size() + 3 * 4096, 0);
  std::memcpy(e.baseBlock.data(), file.data(), e.baseBlock.size());
  e.baseBlock[4] = 0x77;  // a changed sequence number
  const auto end = static_cast<int64_t>(file.size());
  e.runs = {{4096 + 100, kAbc.data(), 8},
            {4096 + 104, kXyz.data(), 3},            // the later run wins
            {end - 4, kAbc.data(), 8},               // across the file's end
            {end + 2 * 4096 + 10, kXyz.data(), 3}};  // in the grown part
  for (const ReplacedBytes& run : e.runs) {
    std::memcpy(e.image.data() + run.fileOffset, run.bytes, run.length);
  }
  std::memcpy(e.image.data(), e.baseBlock.data(), e.baseBlock.size());
  return e;
}

void ExpectImage(HiveFile& hive, const Expected& e) {
  ASSERT_EQ(hive.Size(), static_cast<int64_t>(e.image.size()));
  EXPECT_EQ(hive.BaseBlock(), e.baseBlock);
  const auto size = static_cast<int32_t>(e.image.size());
  EXPECT_EQ(Read(hive, 0, size + 100), e.image);  // every byte, and nothing past the image
  EXPECT_TRUE(hive::HiveHolds(hive, static_cast<uint32_t>(size) - 8, 8));
  EXPECT_FALSE(hive::HiveHolds(hive, static_cast<uint32_t>(size) - 8, 9));
  for (const ReplacedBytes& run : e.runs) {
    const uint8_t* inPlace = hive.BytesAt(static_cast<uint32_t>(run.fileOffset), run.length);
    if (inPlace == nullptr) continue;  // not mapped: the primitives alone
    EXPECT_EQ(0, std::memcmp(inPlace, e.image.data() + run.fileOffset, run.length));
  }
}

TEST(Overlay, EveryReadSeesTheReplacedImageAndTheFileStaysAsItWas) {
  const std::vector<uint8_t> file = Built();
  TempHive temp(file);
  auto hive = hive::OpenHiveFile(temp.Path());
  ASSERT_TRUE(hive);
  const Expected e = Overlaid(file);
  std::string reason;
  ASSERT_TRUE(hive::OverlayHive(*hive, static_cast<int64_t>(e.image.size()), e.baseBlock, e.runs, &reason))
      << reason;
  ASSERT_NE(hive->BytesAt(4096, 8), nullptr);
  ExpectImage(*hive, e);
  EXPECT_EQ(::fcntl(hive->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
  hive.reset();
  EXPECT_EQ(FileBytes(temp.Path()), file);
}

TEST(Overlay, RefusesRunsOutsideTheImageAndImagesPast2GiB) {
  const std::vector<uint8_t> file = Built();
  TempHive temp(file);
  auto hive = hive::OpenHiveFile(temp.Path());
  ASSERT_TRUE(hive);
  const auto size = static_cast<int64_t>(file.size());
  std::array<uint8_t, hive::kBaseBlockSize> block{};
  std::string reason;
  const std::vector<ReplacedBytes> past = {{size - 2, kAbc.data(), 8}};
  EXPECT_FALSE(hive::OverlayHive(*hive, size, block, past, &reason));
  EXPECT_EQ(reason,
            "replaced bytes at file offset " + std::to_string(size - 2) + " do not lie inside the image");
  EXPECT_FALSE(hive::OverlayHive(*hive, (int64_t{1} << 31) + 1, block, {}, &reason));
  EXPECT_EQ(reason, "an image of 2147483649 bytes is larger than 2 GiB");
  EXPECT_EQ(Read(*hive, 0, static_cast<int32_t>(size)), file);  // unchanged
}

TEST(Overlay, EveryReplacedPageOfALargeSparseHiveIsReadInPlace) {
  // A 64 MiB hive file (sparse) with 32 scattered pages replaced, then every
  // page of it read in place. (The private memory this costs depends on the
  // allocator, the kernel and sanitizers: bench/overlay_memory measures it.)
  std::vector<uint8_t> head = Built();
  TempHive temp(head);
  constexpr int64_t kSize = int64_t{64} << 20;
  ASSERT_EQ(::truncate(temp.Path().c_str(), kSize), 0);
  auto hive = hive::OpenHiveFile(temp.Path());
  ASSERT_TRUE(hive);
  std::vector<uint8_t> page(4096, 0x5A);
  std::vector<ReplacedBytes> runs;
  for (int64_t i = 1; i <= 32; ++i) runs.push_back({i * (kSize / 33) / 4096 * 4096, page.data(), 4096});
  std::array<uint8_t, hive::kBaseBlockSize> block = hive->BaseBlock();
  ASSERT_TRUE(hive::OverlayHive(*hive, kSize, block, runs));
  int32_t replaced = 0;
  for (auto at = static_cast<uint32_t>(head.size()); at < kSize; at += 4096) {
    const uint8_t* byte = hive->BytesAt(at, 1);
    ASSERT_NE(byte, nullptr) << at;
    replaced += *byte == 0x5A ? 1 : 0;
  }
  EXPECT_EQ(replaced, 32);
}

// With no map to put the image over (here: no address space left for one),
// the replaced pages are kept in a table and read through pread.
TEST(Overlay, WithoutAMapTheReplacedPagesAreReadFromATable) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address space limit does not go with AddressSanitizer's shadow memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "an address space limit does not go with AddressSanitizer's shadow memory";
#endif
#endif
  const std::vector<uint8_t> file = Built();
  TempHive temp(file);
  const Expected e = Overlaid(file);
  EXPECT_EXIT(
      {
        auto hive = hive::OpenHiveFile(temp.Path());
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        const rlimit saved = limit;
        std::ifstream status("/proc/self/status");
        std::string line;
        int64_t vmSize = 0;
        while (std::getline(status, line)) {
          if (line.rfind("VmSize:", 0) == 0) vmSize = std::stoll(line.substr(7)) * 1024;
        }
        limit.rlim_cur = static_cast<rlim_t>(vmSize + (int64_t{16} << 20));
        ::setrlimit(RLIMIT_AS, &limit);
        // Too large to map now: the table is used.
        std::vector<ReplacedBytes> runs = e.runs;
        const int64_t imageSize = int64_t{1} << 30;
        const bool overlaid = hive::OverlayHive(*hive, imageSize, e.baseBlock, runs);
        ::setrlimit(RLIMIT_AS, &saved);
        std::vector<uint8_t> expected = e.image;
        const bool same = Read(*hive, 0, static_cast<int32_t>(expected.size())) == expected;
        const bool zerosAtTheEnd =
            Read(*hive, static_cast<int32_t>(imageSize - 16), 100) == std::vector<uint8_t>(16, 0);
        std::exit(overlaid && hive->BytesAt(4096, 8) == nullptr && hive->Size() == imageSize && same &&
                          zerosAtTheEnd
                      ? 0
                      : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
