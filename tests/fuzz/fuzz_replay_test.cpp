// Every input of a fuzz target's committed corpus, and every input with which
// fuzzing found a fault, goes through the target's own code in this build:
// each fault stays tested after its fix, and what the fuzzers reached is read
// by the gcc builds too, the sanitized one included. The target aborts on a
// broken promise; the test's output names the input it was reading.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The files in folder, by name; none when there is no such folder.
std::vector<std::string> InputsIn(const std::string& folder) {
  std::vector<std::string> paths;
  if (!std::filesystem::is_directory(folder)) return paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Runs the target on every input in folder; returns how many there were.
size_t RunEveryInput(const std::string& folder) {
  const std::vector<std::string> inputs = InputsIn(folder);
  for (const std::string& path : inputs) {
    std::cerr << "input " << path << '\n';
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << path;
  }
  return inputs.size();
}

TEST(FuzzReplay, EveryCorpusInputRunsClean) { EXPECT_GT(RunEveryInput(KEYLOOM_FUZZ_CORPUS), 0u); }

TEST(FuzzReplay, EveryFaultFoundRunsClean) {
  if (RunEveryInput(KEYLOOM_FUZZ_REGRESSIONS) == 0) GTEST_SKIP() << "fuzzing has found no fault in this target";
}

}  // namespace
