// overlay_memory: the private memory an overlay costs (hive/hive_file.h,
// OverlayHive). Makes a sparse hive file of SIZE MiB (default 64) with a
// small hive at its start, replaces PAGES pages (default 32) spread over it,
// reads every page of the image in place and prints how much the process's
// private memory (RssAnon of /proc/self/status) grew from before the overlay
// to after the reads: it should grow with the replaced pages, not with the
// hive. The figure depends on the allocator, the kernel and sanitizers, which
// is why it is measured here and not checked by a test.
//
//   overlay_memory [SIZE_MIB [PAGES]]
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "hive/hive_file.h"
#include "hive_builder.h"
#include "temp_hive.h"

namespace {

int64_t RssAnonKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) return std::stoll(line.substr(8));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t sizeMiB = argc > 1 ? std::atoll(argv[1]) : 64;
  const int64_t pages = argc > 2 ? std::atoll(argv[2]) : 32;
  if (argc > 3 || sizeMiB < 1 || sizeMiB > 2047 || pages < 1 || pages > sizeMiB * 16) {
    // At most 16 pages per MiB: every replaced page lies past the small hive.
    std::fprintf(stderr, "usage: overlay_memory [SIZE_MIB (1 to 2047) [PAGES (1 to 16 per MiB)]]\n");
    return 2;
  }
  testsupport::HiveBuilder builder;
  for (int i = 0; i < 100; ++i) builder.AddKey(builder.Root(), "key" + std::to_string(i));
  const std::vector<uint8_t> head = builder.Build();
  const testsupport::TempHive temp(head);
  const int64_t size = sizeMiB << 20;
  if (::truncate(temp.Path().c_str(), size) != 0) {
    std::perror("overlay_memory: truncate");
    return 1;
  }
  std::string reason;
  auto hive = hive::OpenHiveFile(temp.Path(), &reason);
  if (!hive) {
    std::fprintf(stderr, "overlay_memory: %s\n", reason.c_str());
    return 1;
  }
  const std::vector<uint8_t> page(4096, 0x5A);
  std::vector<hive::ReplacedBytes> runs;
  for (int64_t i = 1; i <= pages; ++i) {
    runs.push_back({i * (size / (pages + 1)) / 4096 * 4096, page.data(), 4096});
  }
  const std::array<uint8_t, hive::kBaseBlockSize> block = hive->BaseBlock();
  const int64_t before = RssAnonKiB();
  if (!hive::OverlayHive(*hive, size, block, runs, &reason)) {
    std::fprintf(stderr, "overlay_memory: %s\n", reason.c_str());
    return 1;
  }
  int64_t replaced = 0;
  for (auto at = static_cast<uint32_t>(head.size()); at < size; at += 4096) {
    const uint8_t* byte = hive->BytesAt(at, 1);
    replaced += byte != nullptr && *byte == 0x5A ? 1 : 0;
  }
  const int64_t grown = RssAnonKiB() - before;
  std::printf("%lld MiB hive, %lld of %lld replaced pages read in place: private memory grew by %lld KiB\n",
              static_cast<long long>(sizeMiB), static_cast<long long>(replaced), static_cast<long long>(pages),
              static_cast<long long>(grown));
  return replaced == pages ? 0 : 1;
}
