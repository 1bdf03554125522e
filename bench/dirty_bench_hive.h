#pragma once
// The dirty copy of a generated hive that the replay benchmarks read: the
// hive of bench_hives.h with its sequence numbers apart and a new-format log
// of dirty pages beside it (NAME.LOG1), written once by make_dirty_hive.

#include <string>

#include "bench_hives.h"

namespace bench {

// The path of the dirty copy of the generated hive of keys keys with a log
// of pages dirty pages; makes both first when they are missing.
inline std::string EnsureDirtyBenchHive(uint32_t keys, uint32_t pages) {
  const std::string clean = EnsureBenchHive(keys);
  const std::string folder =
      BenchHiveFolder() + "/dirty-keys-" + std::to_string(keys) + "-pages-" + std::to_string(pages);
  ::mkdir(folder.c_str(), 0755);
  // Named as a hive with its logs beside it: the log is found by its name.
  const std::string path = folder + "/DIRTY";
  if (BenchFileExists(path) && BenchFileExists(path + ".LOG1")) return path;
  const std::string pagesText = std::to_string(pages);
  MakeBenchFile({KEYLOOM_MAKE_DIRTY_HIVE, "--pages", pagesText.c_str(), clean.c_str()}, path, {".LOG1"});
  return path;
}

}  // namespace bench
