// Benchmarks of KeyTreeModel: the look-ups a view makes (index, parent,
// rowCount, data) below a key with 100,000 subkeys, and the whole way from
// OpenHive to a model that a view can show, for the 1,000,000-key hive.

#include <benchmark/benchmark.h>

#include <QModelIndex>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_hives.h"
#include "hive/hive_file.h"
#include "models/key_tree_model.h"
#include "tree/build_key_tree.h"

namespace {

constexpr int kBigKeyChildren = 100000;

// The model over a hive whose key "Big Key" (below the root) has 100,000 subkeys.
struct BigKeyModel {
  BigKeyModel() {
    const std::string path = bench::EnsureBenchHive(kBigKeyChildren + 2, kBigKeyChildren);
    std::unique_ptr<hive::HiveFile> file = hive::OpenHive(path);
    tree::KeyTree tree;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    if (file) tree::BuildKeyTree(tree, index, *file, signals);
    model.ResetTree(std::move(tree));
    bigKey = model.index(0, 0, model.index(0, 0));
  }
  ui::KeyTreeModel model;
  QModelIndex bigKey;
};

BigKeyModel& Fixture() {
  static BigKeyModel fixture;
  return fixture;
}

void ModelIndexOfEveryChild(benchmark::State& state) {
  BigKeyModel& f = Fixture();
  if (f.model.rowCount(f.bigKey) != kBigKeyChildren) {
    state.SkipWithError("the big key does not have 100,000 subkeys");
    return;
  }
  for (auto _ : state) {
    for (int row = 0; row < kBigKeyChildren; ++row) {
      QModelIndex child = f.model.index(row, 0, f.bigKey);
      benchmark::DoNotOptimize(child);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBigKeyChildren);
}
BENCHMARK(ModelIndexOfEveryChild)->Unit(benchmark::kMicrosecond);

void ModelParentOfEveryChild(benchmark::State& state) {
  BigKeyModel& f = Fixture();
  std::vector<QModelIndex> children;
  children.reserve(kBigKeyChildren);
  for (int row = 0; row < f.model.rowCount(f.bigKey); ++row) {
    children.push_back(f.model.index(row, 0, f.bigKey));
  }
  for (auto _ : state) {
    for (const QModelIndex& child : children) {
      QModelIndex parent = f.model.parent(child);
      benchmark::DoNotOptimize(parent);
    }
  }
  if (children.empty() || f.model.parent(children.back()) != f.bigKey) {
    state.SkipWithError("a child's parent is not the big key");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(children.size()));
}
BENCHMARK(ModelParentOfEveryChild)->Unit(benchmark::kMicrosecond);

void ModelRowCountOfBigKey(benchmark::State& state) {
  BigKeyModel& f = Fixture();
  for (auto _ : state) {
    int rows = f.model.rowCount(f.bigKey);
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(ModelRowCountOfBigKey);

// What a view asks to paint one screen: the labels of 50 rows, at the end of
// the big key's children.
void ModelDataOfOneScreen(benchmark::State& state) {
  BigKeyModel& f = Fixture();
  for (auto _ : state) {
    for (int row = kBigKeyChildren - 50; row < kBigKeyChildren; ++row) {
      QVariant label = f.model.data(f.model.index(row, 0, f.bigKey), Qt::DisplayRole);
      benchmark::DoNotOptimize(label);
    }
  }
  state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(ModelDataOfOneScreen)->Unit(benchmark::kMicrosecond);

// From OpenHive to a model a view can show, for the 1,000,000-key hive: the
// part of the application's start that grows with the hive.
void OpenBuildAndModel(benchmark::State& state) {
  const std::string path = bench::EnsureBenchHive(1000000);
  for (auto _ : state) {
    std::unique_ptr<hive::HiveFile> file = hive::OpenHive(path);
    tree::KeyTree tree;
    tree::KeyIndex index;
    tree::BuildSignals signals;
    if (file) tree::BuildKeyTree(tree, index, *file, signals);
    ui::KeyTreeModel model;
    model.ResetTree(std::move(tree));
    int rows = model.rowCount(model.index(0, 0));
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(OpenBuildAndModel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
