// Writes the seed corpus of the shell item fuzzer into a folder: each sample
// item of shell_item_bytes.h (every kind and extension block) as a list of
// its own, a path from the desktop down, every sample in one list, and lists
// that end badly (sizes 1 and 2, a size past the end, no size 0, a byte left).
//
//   make_shell_items_fuzz_seeds FOLDER

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "shell_item_bytes.h"

namespace {

using namespace shellbytes;

std::vector<std::pair<std::string, Bytes>> Seeds() {
  std::vector<std::pair<std::string, Bytes>> seeds;
  Bytes all;
  int number = 0;
  for (const Sample& sample : Samples()) {
    std::string name = std::to_string(++number) + "-";
    for (const char* c = sample.what; *c != '\0'; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '-';
    seeds.emplace_back(name, Concat({sample.bytes, Zeros(2)}));
    all.insert(all.end(), sample.bytes.begin(), sample.bytes.end());
  }
  seeds.emplace_back("every-kind", Concat({all, Zeros(2)}));
  const Bytes root = Root(kMyComputer);
  seeds.emplace_back("path", Concat({root, Drive('C'), Directory("Users", u"Users", 483 | 1ull << 48),
                                     Directory("JOE~1", u"Joe Doe"), Zeros(2)}));
  seeds.emplace_back("size-1", Concat({root, Le(1, 2), Zeros(4)}));
  seeds.emplace_back("size-2", Concat({root, Le(2, 2), Zeros(2)}));
  seeds.emplace_back("past-the-end", Concat({root, Le(500, 2), U8(0x31), Zeros(37)}));
  seeds.emplace_back("no-end", root);
  seeds.emplace_back("one-byte-left", Concat({root, U8(0)}));
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_shell_items_fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  int written = 0;
  for (const auto& [name, bytes] : Seeds()) {
    FILE* out = std::fopen((folder / ("seed-" + name)).c_str(), "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
      std::fprintf(stderr, "make_shell_items_fuzz_seeds: cannot write %s\n", name.c_str());
      if (out != nullptr) std::fclose(out);
      return 1;
    }
    std::fclose(out);
    ++written;
  }
  std::printf("make_shell_items_fuzz_seeds: %d seeds in %s\n", written, folder.c_str());
  return 0;
}
