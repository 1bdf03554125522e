// Benchmarks of the core: opening a hive and building its key tree at three
// sizes, the same for a dirty copy of the largest replayed from a log of
// dirty pages first, the replay alone, listing the values of a key with many
// values, and formatting one value row per value type.
//
//   core_bench [--benchmark_filter=REGEX] ...
//
// The large hives are written once into the hive cache (see bench_hives.h).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench_hives.h"
#include "dirty_bench_hive.h"
#include "hive/hive_file.h"
#include "hive/value.h"
#include "hive_builder.h"
#include "recovery/log_replay.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"
#include "values/value_row.h"

namespace {

using testsupport::HiveBuilder;

// Builds the hive's key tree and closes the hive; returns the tree's size.
int32_t BuildTreeAndClose(std::unique_ptr<hive::HiveFile>& file) {
  tree::KeyTree tree;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  tree::BuildKeyTree(tree, index, *file, signals);
  const int32_t built = tree.Size();
  benchmark::DoNotOptimize(built);
  hive::CloseHive(file);
  return built;
}

void OpenAndBuildKeyTree(benchmark::State& state) {
  const auto keys = static_cast<uint32_t>(state.range(0));
  const std::string path = bench::EnsureBenchHive(keys);
  int32_t built = 0;
  for (auto _ : state) {
    std::unique_ptr<hive::HiveFile> file = hive::OpenHive(path);
    if (!file) {
      state.SkipWithError("the hive does not open");
      return;
    }
    built = BuildTreeAndClose(file);
  }
  if (built != static_cast<int32_t>(keys)) {
    state.SkipWithError("the tree does not hold every key");
    return;
  }
  state.SetItemsProcessed(state.iterations() * keys);
  // Time per key, the figure that shows whether the cost grows linearly.
  state.counters["per_key"] = benchmark::Counter(static_cast<double>(keys),
                                                 benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}
BENCHMARK(OpenAndBuildKeyTree)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The wide open of a hive not saved cleanly: open without checks, apply the
// log (10 entries of 1,000 dirty pages on the 1,000,000-key hive), build the
// tree. Compare with OpenAndBuildKeyTree/1000000, the clean hive.
void OpenReplayAndBuildKeyTree(benchmark::State& state) {
  const auto keys = static_cast<uint32_t>(state.range(0));
  const std::string path = bench::EnsureDirtyBenchHive(keys, static_cast<uint32_t>(state.range(1)));
  int32_t built = 0;
  for (auto _ : state) {
    std::unique_ptr<hive::HiveFile> file = hive::OpenHiveFile(path);
    if (!file || recovery::ApplyTransactionLogs(*file, path).entriesApplied == 0) {
      state.SkipWithError("the log does not apply");
      return;
    }
    built = BuildTreeAndClose(file);
  }
  if (built != static_cast<int32_t>(keys)) state.SkipWithError("the tree does not hold every key");
}
BENCHMARK(OpenReplayAndBuildKeyTree)->Args({1000000, 10000})->Unit(benchmark::kMillisecond);

// The replay alone (open without checks, find, verify and apply the log), by
// dirty pages: its cost should grow with the log, not with the hive.
void ReplayTransactionLog(benchmark::State& state) {
  const auto pages = static_cast<uint32_t>(state.range(0));
  const std::string path = bench::EnsureDirtyBenchHive(1000000, pages);
  for (auto _ : state) {
    std::unique_ptr<hive::HiveFile> file = hive::OpenHiveFile(path);
    if (!file || recovery::ApplyTransactionLogs(*file, path).entriesApplied == 0) {
      state.SkipWithError("the log does not apply");
      return;
    }
    hive::CloseHive(file);
  }
  state.SetItemsProcessed(state.iterations() * pages);
}
BENCHMARK(ReplayTransactionLog)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Value data of each kind, as make_big_hive writes them.
std::vector<uint8_t> Utf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

struct ValueKind {
  const char* label;
  uint32_t type;
  std::vector<uint8_t> data;
};

std::vector<ValueKind> ValueKinds() {
  std::vector<uint8_t> binary(256);
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> multi = Utf16(u"first item");
  const std::vector<uint8_t> second = Utf16(u"second item");
  multi.insert(multi.end(), second.begin(), second.end());
  multi.push_back(0);
  multi.push_back(0);
  return {
      {"String", 1, Utf16(u"C:\\Program Files\\Common Files\\Keyloom\\keyloom.exe")},
      {"ExpandString", 2, Utf16(u"%SystemRoot%\\System32\\drivers\\keyloom.sys")},
      {"Binary", 3, binary},
      {"DWord", 4, {0x2A, 0x00, 0x00, 0x80}},
      {"MultiString", 7, multi},
      {"Unknown", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
}

// A hive whose one subkey holds count values, cycling through the kinds.
struct ManyValues {
  explicit ManyValues(int32_t count) : hive(Make(count)) {
    file = hive.Open();
    tree::BuildSignals signals;
    tree::BuildKeyTree(keys, index, *file, signals);
  }
  static std::vector<uint8_t> Make(int32_t count) {
    HiveBuilder builder;
    const auto key = builder.AddKey(builder.Root(), "Many Values");
    const std::vector<ValueKind> kinds = ValueKinds();
    for (int32_t i = 0; i < count; ++i) {
      const ValueKind& kind = kinds[static_cast<size_t>(i) % kinds.size()];
      builder.AddValue(key, std::string(kind.label) + std::to_string(i), kind.type, kind.data);
    }
    return builder.Build();
  }
  testsupport::TempHive hive;
  std::unique_ptr<hive::HiveFile> file;
  tree::KeyTree keys;
  tree::KeyIndex index;
};

// Selects one item and counts the rows and their bytes, as a table would take them.
class CountingTable final : public values::KeySelection, public values::ValueTable {
 public:
  explicit CountingTable(int32_t position) : m_position(position) {}
  int32_t SelectedItemPosition() const override { return m_position; }
  void RemoveAllRows() override { rows = 0; }
  void AddRow(std::string_view rowText) override {
    ++rows;
    bytes += rowText.size();
  }
  int64_t rows = 0;
  uint64_t bytes = 0;

 private:
  int32_t m_position;
};

void ShowKeyValuesOfManyValues(benchmark::State& state) {
  const auto count = static_cast<int32_t>(state.range(0));
  ManyValues fixture(count);
  CountingTable table(1);  // the item of "Many Values"
  for (auto _ : state) {
    values::ShowKeyValues(*fixture.file, fixture.index, table, table);
    benchmark::DoNotOptimize(table.bytes);
  }
  if (table.rows != count) state.SkipWithError("not every value got a row");
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(ShowKeyValuesOfManyValues)->Arg(10000)->Unit(benchmark::kMillisecond);

void FormatValueRowOfType(benchmark::State& state) {
  const std::vector<ValueKind> kinds = ValueKinds();
  const ValueKind& kind = kinds[static_cast<size_t>(state.range(0))];
  HiveBuilder builder;
  builder.AddValue(builder.AddKey(builder.Root(), "Key"), "Value", kind.type, kind.data);
  testsupport::TempHive temp(builder.Build());
  std::unique_ptr<hive::HiveFile> file = temp.Open();
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  tree::BuildKeyTree(keys, index, *file, signals);
  hive::KeyNode key;
  hive::ReadKeyNode(*file, *index.Find(1), key);
  hive::ValueList list;
  hive::GetValueList(*file, key, list);
  hive::ValueRecord fetched;
  const uint32_t type = hive::GetValue(*file, list, 0, fetched);
  std::string row;
  std::vector<uint8_t> scratch;
  for (auto _ : state) {
    hive::ValueRecord value = fetched;  // formatting clears the inline bit
    values::FormatValueRowInto(*file, value, type, row, scratch);
    benchmark::DoNotOptimize(row.data());
  }
  state.SetLabel(kind.label);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatValueRowOfType)->DenseRange(0, 5);

}  // namespace

BENCHMARK_MAIN();
