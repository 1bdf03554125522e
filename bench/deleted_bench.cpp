// Benchmarks of the scan for deleted keys and values (ScanDeletedRecords):
// on generated hives of 28,000 keys (15 MB, a SYSTEM hive's size), 100,000
// and 1,000,000 keys (530 MB) with 10% of their keys and values deleted, and
// on real hives (the largest of ../shared/hives, or the files named by
// KEYLOOM_BENCH_DELETED_HIVES, separated by ':'). The hive is opened and its
// tree built once, outside the timing; the figure is bytes of hive per second.
//
//   deleted_bench [--benchmark_filter=REGEX] ...

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_hives.h"
#include "deleted/scan_deleted.h"
#include "hive/hive_file.h"
#include "recovery/open_anyway.h"
#include "tree/build_key_tree.h"

namespace {

struct OpenTree {
  explicit OpenTree(const std::string& path) : file(recovery::OpenHiveAnyway(path)) {
    if (!file) return;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
  }
  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
};

void ScanHive(benchmark::State& state, const std::string& path) {
  const OpenTree open(path);
  if (!open.file) {
    state.SkipWithError("the hive does not open");
    return;
  }
  size_t keys = 0;
  size_t values = 0;
  for (auto _ : state) {
    const deleted::DeletedRecords records = deleted::ScanDeletedRecords(*open.file, open.keys, open.index);
    keys = records.keys.size();
    values = records.values.size();
    benchmark::DoNotOptimize(records.keys.data());
  }
  state.SetBytesProcessed(state.iterations() * open.file->Size());
  state.counters["hive_MiB"] = static_cast<double>(open.file->Size()) / (1 << 20);
  state.counters["deleted_keys"] = static_cast<double>(keys);
  state.counters["deleted_values"] = static_cast<double>(values);
}

void ScanGeneratedHive(benchmark::State& state) {
  const auto keys = static_cast<uint32_t>(state.range(0));
  ScanHive(state, bench::EnsureBenchHive(keys, keys / 50, 10));
}
BENCHMARK(ScanGeneratedHive)->Arg(28000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

std::vector<std::string> RealHives() {
  const char* named = std::getenv("KEYLOOM_BENCH_DELETED_HIVES");
  if (named == nullptr || *named == '\0') {
    return {KEYLOOM_SHARED_HIVES "/dfwinreg__UsrClass.dat", KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT"};
  }
  std::vector<std::string> paths;
  std::stringstream list(named);
  for (std::string path; std::getline(list, path, ':');) paths.push_back(path);
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  for (const std::string& path : RealHives()) {
    benchmark::RegisterBenchmark(("ScanRealHive/" + path.substr(path.rfind('/') + 1)).c_str(),
                                 [path](benchmark::State& state) { ScanHive(state, path); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
