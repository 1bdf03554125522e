// make_dirty_hive: writes a copy of a hive as a crashed write leaves it, with
// a new-format transaction log beside it, for the replay benchmarks.
//
//   make_dirty_hive [--pages N] [--pages-per-entry E] CLEAN OUT
//
// OUT is CLEAN with its secondary sequence number one below its primary one;
// OUT.LOG1 holds N dirty 4096-byte pages (spread evenly over the hive bins
// data) in entries of E pages, each page holding CLEAN's own bytes, so that
// the replayed hive shows exactly CLEAN's tree and a benchmark compares like
// with like.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "log_builder.h"

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kSequence = 1000;

int Usage() {
  std::fprintf(stderr, "usage: make_dirty_hive [--pages N] [--pages-per-entry E] CLEAN OUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t pages = 10000;
  uint32_t perEntry = 1000;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--pages" || arg == "--pages-per-entry") && i + 1 < argc) {
      const auto value = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
      (arg == "--pages" ? pages : perEntry) = value;
    } else {
      paths.push_back(argv[i]);
    }
  }
  if (paths.size() != 2 || perEntry == 0) return Usage();
  std::ifstream in(paths[0], std::ios::binary);
  std::vector<uint8_t> hive{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (hive.size() < 2 * kPage) {
    std::fprintf(stderr, "make_dirty_hive: %s is not a hive\n", paths[0]);
    return 1;
  }
  const uint32_t binsSize = hive::LoadU32(hive.data() + hive::base_block::kHiveBinsSize);
  const uint32_t binPages = binsSize / kPage;
  pages = std::min(pages, binPages);

  testsupport::NewLogWriter log(hive, kSequence);
  std::vector<testsupport::DirtyPage> entry;
  uint32_t sequence = kSequence;
  for (uint32_t i = 0; i < pages; ++i) {
    const uint32_t offset = static_cast<uint32_t>(uint64_t{i} * binPages / pages) * kPage;
    const auto* from = hive.data() + hive::kHeaderAreaSize + offset;
    entry.push_back({offset, std::vector<uint8_t>(from, from + kPage)});
    if (entry.size() == perEntry || i + 1 == pages) {
      log.AddEntry(sequence++, binsSize, entry);
      entry.clear();
    }
  }
  testsupport::SetSequenceNumbers(hive, kSequence + 1, kSequence);
  const std::string out = paths[1];
  if (!testsupport::WriteFile(out, hive) || !testsupport::WriteFile(out + ".LOG1", log.Bytes())) {
    std::fprintf(stderr, "make_dirty_hive: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("make_dirty_hive: %s with %u dirty pages in %u entries in %s.LOG1 (%zu bytes)\n", out.c_str(),
              pages, sequence - kSequence, out.c_str(), log.Bytes().size());
  return 0;
}
