// Benchmarks of the Timeline window's work on the generated 1,000,000-key
// hive, with every key's last-written time set apart (the generator writes
// one time for all): collecting the timeline (the worker thread's part of
// opening the window), handing it to the model (the GUI thread's part), a
// sort by each column, and each filter.
//
//   timeline_bench [--benchmark_filter=REGEX] ...
//
// Opening the window takes TimelineCollect + TimelineModelReset; a filter
// takes TimelineFilter*.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_hives.h"
#include "export/timeline.h"
#include "hive/hive_file.h"
#include "models/timeline_model.h"
#include "tree/build_key_tree.h"

namespace {

constexpr uint32_t kKeys = 1000000;
constexpr uint64_t kYear2015 = 130645440000000000;  // FILETIME of 2015-01-01
constexpr uint64_t kTenYears = 3652ULL * 864000000000ULL;

// A copy of the generated hive whose key nodes hold times spread over ten years.
std::string EnsureTimedHive() {
  const std::string path = bench::BenchHiveFolder() + "/keys-1000000-timed.hive";
  if (bench::BenchFileExists(path)) return path;
  const std::string source = bench::EnsureBenchHive(kKeys);
  auto file = hive::OpenHive(source);
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  if (file) tree::BuildKeyTree(keys, index, *file, signals);
  std::ifstream in(source, std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint64_t state = 12345;
  for (int32_t place = 0; place < index.Size(); ++place) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const uint64_t time = kYear2015 + (state >> 11) % kTenYears;
    const size_t at = index.At(place).recordOffset + 4u;  // the key node's last-written time
    for (size_t byte = 0; byte < 8 && at + byte < image.size(); ++byte) {
      image[at + byte] = static_cast<char>(time >> (8 * byte));
    }
  }
  const std::string partial = path + ".partial";
  std::ofstream(partial, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  std::rename(partial.c_str(), path.c_str());
  return path;
}

struct TimedHive {
  TimedHive() : file(hive::OpenHive(EnsureTimedHive())) {
    if (!file) return;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
    keys.Child(tree::KeyTree::kNone, 0);  // the child tables, as the view has them
    entries = exporting::CollectTimeline(*file, keys, index, nullptr);
    model.Reset(entries, keys, nullptr);
  }
  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
  std::vector<exporting::TimelineEntry> entries;
  ui::TimelineModel model;
};

TimedHive& Hive() {
  static TimedHive hive;
  return hive;
}

bool Ready(benchmark::State& state) {
  if (Hive().model.EntryCount() == static_cast<int32_t>(kKeys)) return true;
  state.SkipWithError("the timed hive did not give 1,000,000 keys");
  return false;
}

void TimelineCollect(benchmark::State& state) {
  TimedHive& h = Hive();
  if (!Ready(state)) return;
  for (auto _ : state) {
    auto entries = exporting::CollectTimeline(*h.file, h.keys, h.index, nullptr);
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(TimelineCollect)->Unit(benchmark::kMillisecond);

void TimelineModelReset(benchmark::State& state) {
  TimedHive& h = Hive();
  if (!Ready(state)) return;
  h.model.sort(ui::TimelineModel::kLastWritten, Qt::DescendingOrder);
  h.model.SetFilter({});
  for (auto _ : state) {
    state.PauseTiming();
    auto entries = h.entries;
    state.ResumeTiming();
    h.model.Reset(std::move(entries), h.keys, nullptr);
  }
}
BENCHMARK(TimelineModelReset)->Unit(benchmark::kMillisecond);

void TimelineSortByColumn(benchmark::State& state) {
  TimedHive& h = Hive();
  if (!Ready(state)) return;
  h.model.SetFilter({});
  const auto column = static_cast<int>(state.range(0));
  for (auto _ : state) {
    h.model.sort(column, Qt::AscendingOrder);
  }
  h.model.sort(ui::TimelineModel::kLastWritten, Qt::DescendingOrder);
}
BENCHMARK(TimelineSortByColumn)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void RunFilter(benchmark::State& state, const ui::TimelineFilter& filter) {
  TimedHive& h = Hive();
  if (!Ready(state)) return;
  for (auto _ : state) h.model.SetFilter(filter);
  state.counters["shown"] = h.model.ShownCount();
  h.model.SetFilter({});
}

void TimelineFilterTimeRange(benchmark::State& state) {
  RunFilter(state, {kYear2015 + kTenYears / 2, kYear2015 + kTenYears / 2 + kTenYears / 10, {}});
}
BENCHMARK(TimelineFilterTimeRange)->Unit(benchmark::kMillisecond);

void TimelineFilterPathSome(benchmark::State& state) { RunFilter(state, {0, UINT64_MAX, "explorer 1"}); }
BENCHMARK(TimelineFilterPathSome)->Unit(benchmark::kMillisecond);

void TimelineFilterPathNone(benchmark::State& state) { RunFilter(state, {0, UINT64_MAX, "no such text"}); }
BENCHMARK(TimelineFilterPathNone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
