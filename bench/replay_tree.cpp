// replay_tree: opens a hive, applies its transaction logs and builds its key
// tree, as the viewer's "open anyway" does; for bench/measure's memory
// figures (run it under bench_measure). With --clean, the strict open and the
// tree only. Prints the number of keys and what the replay did.
//
//   replay_tree [--clean] HIVE
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "hive/hive_file.h"
#include "recovery/log_replay.h"
#include "tree/build_key_tree.h"

int main(int argc, char** argv) {
  const bool clean = argc == 3 && std::strcmp(argv[1], "--clean") == 0;
  if (argc != 2 && !clean) {
    std::fprintf(stderr, "usage: replay_tree [--clean] HIVE\n");
    return 2;
  }
  const std::string path = argv[argc - 1];
  std::string reason;
  std::unique_ptr<hive::HiveFile> hive =
      clean ? hive::OpenHive(path, &reason) : hive::OpenHiveFile(path, &reason);
  if (!hive) {
    std::fprintf(stderr, "replay_tree: %s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }
  if (!clean) {
    for (const std::string& note : recovery::ApplyTransactionLogs(*hive, path).notes) {
      std::fprintf(stderr, "replay_tree: %s\n", note.c_str());
    }
  }
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  tree::BuildKeyTree(keys, index, *hive, signals);
  std::printf("%d keys\n", keys.Size());
  return 0;
}
