// Benchmarks of Find on the generated 1,000,000-key hive: a key-name search
// that matches nothing runs through every key; a search of every value name
// and every string's data (about 3,000,000 values) that matches nothing; and
// the first match near the start.
//
//   find_bench [--benchmark_filter=REGEX] ...
//
// The hive is written once into the hive cache (see bench_hives.h); opening
// it and building its key tree happen once, before the first benchmark.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <memory>
#include <string>

#include "bench_hives.h"
#include "hive/hive_file.h"
#include "search/find.h"
#include "tree/build_key_tree.h"

// Every allocation of the program is counted, so that a search can show that
// it allocates a fixed few buffers, not one per key.
namespace {
std::atomic<int64_t> g_allocations{0};
}  // namespace

// The replaced operator new takes its memory from malloc, so free releases it.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr uint32_t kKeys = 1000000;

struct BigHive {
  BigHive() : file(hive::OpenHive(bench::EnsureBenchHive(kKeys))) {
    if (!file) return;
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
  }
  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
};

BigHive& Hive() {
  static BigHive big;
  return big;
}

constexpr uint8_t kKeyNames = static_cast<uint8_t>(search::Where::kKeyNames);
constexpr uint8_t kValueNamesAndData =
    static_cast<uint8_t>(search::Where::kValueNames) | static_cast<uint8_t>(search::Where::kValueData);
constexpr uint8_t kAll = static_cast<uint8_t>(search::Where::kAll);

// One search from before the root; range(0) picks where to look, range(1) match case.
void Search(benchmark::State& state, const std::string& text, bool expectMatch) {
  BigHive& big = Hive();
  if (!big.file || big.keys.Size() != static_cast<int32_t>(kKeys)) {
    state.SkipWithError("the benchmark hive did not open whole");
    return;
  }
  search::FindOptions options;
  options.text = text;
  options.where = static_cast<uint8_t>(state.range(0));
  options.matchCase = state.range(1) != 0;
  search::FindSignals signals;
  std::optional<search::FindMatch> match;
  const int64_t allocationsBefore = g_allocations.load();
  for (auto _ : state) {
    match = search::FindNextMatch(*big.file, big.keys, big.index, options,
                                  {0, search::FindMatch::kBeforeKey}, search::Direction::kNext,
                                  signals);
    benchmark::DoNotOptimize(match);
  }
  if (match.has_value() != expectMatch) state.SkipWithError("the search did not end as expected");
  state.counters["keys"] = static_cast<double>(signals.keysSearched.load());
  state.counters["allocs_per_search"] =
      static_cast<double>(g_allocations.load() - allocationsBefore) / static_cast<double>(state.iterations());
  if (match) state.counters["match_item"] = match->item;
}

// No text in the hive holds '#': every key (and value) is looked at.
void FindNothing(benchmark::State& state) { Search(state, "no#such#text", false); }
BENCHMARK(FindNothing)
    ->ArgNames({"where", "case"})
    ->Args({kKeyNames, 0})
    ->Args({kKeyNames, 1})
    ->Args({kValueNamesAndData, 0})
    ->Args({kValueNamesAndData, 1})
    ->Args({kAll, 0})
    ->Unit(benchmark::kMillisecond);

// A value name early in the hive holds this (any case).
void FindFirstNearTheStart(benchmark::State& state) { Search(state, "imagepath", true); }
BENCHMARK(FindFirstNearTheStart)->ArgNames({"where", "case"})->Args({kAll, 0})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
