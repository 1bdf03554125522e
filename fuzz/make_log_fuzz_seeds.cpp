// Writes the seed corpus of the log fuzzer into a folder (each seed packed as
// log_input.h says): built hives with new-format logs (one entry, several,
// dual logs, a log that grows the hive, a bad hash in the middle) and
// old-format logs, and, when DIRTY is given, each real set of a dirty hive and
// its logs found in DIRTY's subfolders (read where they lie).
//
//   make_log_fuzz_seeds FOLDER [DIRTY]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
#include "log_builder.h"
#include "log_input.h"

namespace {

using Image = std::vector<uint8_t>;
using testsupport::ChangedPages;
using testsupport::NewLogWriter;

constexpr uint32_t kSequence = 5;
// A real primary is cut to this length in its seed (its log may grow it back):
// the fuzzer's inputs are kept short.
constexpr size_t kMaxRealPrimary = 128 * 1024;

Image State(int keys, char mark) { return testsupport::MarkedHive(keys, mark); }
uint32_t BinsSize(const Image& image) { return testsupport::HiveBinsSize(image); }

Image Dirty(Image image) {
  testsupport::SetSequenceNumbers(image, kSequence + 1, kSequence);
  return image;
}

Image NewLog(const std::vector<const Image*>& states, uint32_t sequence, bool breakSecond = false) {
  NewLogWriter log(*states.front(), sequence);
  for (size_t i = 0; i + 1 < states.size(); ++i) {
    const uint32_t at = log.AddEntry(sequence + static_cast<uint32_t>(i), BinsSize(*states[i + 1]),
                                     ChangedPages(*states[i], *states[i + 1]));
    if (breakSecond && i == 1) log.Bytes()[at + 64] ^= 0xFF;
  }
  return log.Bytes();
}

Image ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Seed {
  std::string name;
  Image bytes;
};

std::vector<Seed> BuiltSeeds() {
  const Image a = State(4, 'a'), b = State(4, 'b'), c = State(4, 'c'), grown = State(120, 'g');
  std::vector<Seed> seeds;
  seeds.push_back({"one-entry", fuzzing::JoinLogInput(0, Dirty(a), NewLog({&a, &b}, kSequence), {})});
  seeds.push_back(
      {"three-entries", fuzzing::JoinLogInput(0, Dirty(a), NewLog({&a, &b, &c, &a}, kSequence), {})});
  seeds.push_back({"dual", fuzzing::JoinLogInput(0, Dirty(a), NewLog({&a, &b}, kSequence),
                                                 NewLog({&b, &c}, kSequence + 1))});
  seeds.push_back(
      {"dual-reversed", fuzzing::JoinLogInput(fuzzing::kLowerCaseNames, Dirty(a),
                                              NewLog({&b, &c}, kSequence + 1), NewLog({&a, &b}, kSequence))});
  seeds.push_back({"grows", fuzzing::JoinLogInput(0, Dirty(a), NewLog({&a, &grown}, kSequence), {})});
  seeds.push_back({"bad-hash-in-the-middle",
                   fuzzing::JoinLogInput(0, Dirty(a), NewLog({&a, &b, &c, &a}, kSequence, true), {})});
  Image damaged = a;
  damaged[hive::base_block::kChecksum] ^= 0x33;
  seeds.push_back({"damaged-base-block", fuzzing::JoinLogInput(0, damaged, NewLog({&a, &b}, kSequence), {})});
  seeds.push_back(
      {"old-format",
       fuzzing::JoinLogInput(fuzzing::kOldName, Dirty(a),
                             testsupport::WriteOldLog(grown, ChangedPages(a, grown), kSequence + 1), {})});
  seeds.push_back(
      {"old-and-new",
       fuzzing::JoinLogInput(0, Dirty(a), testsupport::WriteOldLog(b, ChangedPages(a, b), kSequence + 1),
                             NewLog({&a, &c}, kSequence))});
  return seeds;
}

// Each subfolder of dirty holding a primary (a file without a dot in its name,
// other than Windows' own recovered copies) and its .LOG1 and .LOG2.
std::vector<Seed> RealSeeds(const std::filesystem::path& dirty) {
  namespace fs = std::filesystem;
  std::vector<Seed> seeds;
  std::error_code error;
  for (const fs::directory_entry& set : fs::directory_iterator(dirty, error)) {
    if (!set.is_directory()) continue;
    for (const fs::directory_entry& file : fs::directory_iterator(set.path(), error)) {
      const std::string name = file.path().filename().string();
      if (name.find('.') != std::string::npos || name.rfind("RecoveredHive", 0) == 0) continue;
      Image primary = ReadFile(file.path());
      if (primary.size() < static_cast<size_t>(hive::kHeaderAreaSize)) continue;
      const size_t used = hive::kHeaderAreaSize + size_t{BinsSize(primary)};
      primary.resize(std::min({primary.size(), used, kMaxRealPrimary}));
      const Image log1 = ReadFile(file.path().string() + ".LOG1");
      const Image log2 = ReadFile(file.path().string() + ".LOG2");
      seeds.push_back(
          {"real-" + set.path().filename().string(), fuzzing::JoinLogInput(0, primary, log1, log2)});
    }
  }
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_log_fuzz_seeds FOLDER [DIRTY]\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::vector<Seed> seeds = BuiltSeeds();
  if (argc == 3) {
    for (Seed& seed : RealSeeds(argv[2])) seeds.push_back(std::move(seed));
  }
  for (const Seed& seed : seeds) {
    if (!testsupport::WriteFile((folder / ("seed-" + seed.name)).string(), seed.bytes)) {
      std::fprintf(stderr, "make_log_fuzz_seeds: cannot write %s\n", seed.name.c_str());
      return 1;
    }
  }
  std::printf("make_log_fuzz_seeds: %zu seeds in %s\n", seeds.size(), folder.c_str());
  return 0;
}
