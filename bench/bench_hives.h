#pragma once
// The hives the benchmarks read: written once by make_big_hive into a cache
// folder (KEYLOOM_BENCH_HIVES, else bench-hives in the build folder) and reused
// by later runs, since the largest takes seconds to write.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline std::string BenchHiveFolder() {
  const char* folder = std::getenv("KEYLOOM_BENCH_HIVES");
  return folder != nullptr && *folder != '\0' ? folder : KEYLOOM_BENCH_HIVE_DIR;
}

// Runs a generator whose last argument is where it writes (path plus
// ".partial.PID"), then renames what it wrote to path, along with any files it
// wrote beside it whose names start with that partial name (path.LOG1 from
// partial.LOG1). Exits the program when that fails: no benchmark makes sense then.
inline void MakeBenchFile(std::vector<const char*> argv, const std::string& path,
                          const std::vector<std::string>& companions = {}) {
  // Written under another name and renamed, so a run that is cut short never
  // leaves a half-written file to be reused.
  const std::string partial = path + ".partial." + std::to_string(::getpid());
  argv.push_back(partial.c_str());
  argv.push_back(nullptr);
  std::fprintf(stderr, "writing %s\n", path.c_str());
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(2, 1);  // its report goes with ours, not into the benchmark output
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  int status = 0;
  bool made = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // Companions first: the main file's presence says the set is whole.
  for (const std::string& suffix : companions) {
    made = made && std::rename((partial + suffix).c_str(), (path + suffix).c_str()) == 0;
  }
  if (!made || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "cannot write %s with %s\n", path.c_str(), argv[0]);
    ::unlink(partial.c_str());
    std::exit(1);
  }
}

inline bool BenchFileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

// The path of a generated hive of keys keys (the root included), with a big
// key of bigKey subkeys below the root, and freePercent % of its keys and
// values deleted; makes it first when it is missing.
inline std::string EnsureBenchHive(uint32_t keys, uint32_t bigKey, uint32_t freePercent = 0) {
  const std::string folder = BenchHiveFolder();
  ::mkdir(folder.c_str(), 0755);
  const std::string freed = freePercent != 0 ? "-free-" + std::to_string(freePercent) : "";
  const std::string path =
      folder + "/keys-" + std::to_string(keys) + "-big-" + std::to_string(bigKey) + freed + ".hive";
  if (BenchFileExists(path)) return path;
  const std::string keysText = std::to_string(keys);
  const std::string bigText = std::to_string(bigKey);
  const std::string freeText = std::to_string(freePercent);
  MakeBenchFile({KEYLOOM_MAKE_BIG_HIVE, "--keys", keysText.c_str(), "--big-key", bigText.c_str(), "--free-percent",
                 freeText.c_str()},
                path);
  return path;
}

// The shape every size shares: a big key of one fiftieth of the keys, so that
// time per key compares like with like.
inline std::string EnsureBenchHive(uint32_t keys) { return EnsureBenchHive(keys, keys / 50); }

}  // namespace bench
