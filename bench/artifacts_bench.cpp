// Benchmarks of the artifact decoders: every artifact of a hive's kind
// decoded over an open hive whose key tree is built (the open and the walk
// are not timed), as the Artifacts window and keyloom-dump --artifacts do.
//
//   artifacts_bench [--benchmark_filter=REGEX] ...
//
// DecodeAllArtifacts/GeneratedSystem: the 15 MB SYSTEM hive make_system_hive
// writes. DecodeAllArtifacts/<name>: the real hives of the shared folder.
// ArtifactsWindowList: the kind told and every artifact of every kind
// decoded over the 1,000,000-key generated hive.
// ShellItemArtifacts/{NTUSER,UsrClass,Both}: shellbags, recentdocs and
// comdlg32, as keyloom-dump --artifacts shellbags,recentdocs,comdlg32 decodes
// them, over the 6.5 MB NTUSER.DAT make_ntuser_hive writes, the shared
// dfwinreg__UsrClass.dat, and the two one after the other; counters give
// each artifact's rows.

#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "bench_hives.h"
#include "recovery/open_anyway.h"
#include "tree/build_key_tree.h"

namespace {

struct LoadedHive {
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
  std::string name;
};

std::unique_ptr<LoadedHive> LoadHive(const std::string& path) {
  auto loaded = std::make_unique<LoadedHive>();
  loaded->hive = recovery::OpenHiveAnyway(path);
  if (!loaded->hive) return nullptr;
  tree::BuildSignals signals;
  tree::BuildKeyTree(loaded->keys, loaded->index, *loaded->hive, signals);
  loaded->name = std::filesystem::path(path).filename().string();
  return loaded;
}

// A hive one of the generators writes, made first when it is missing.
std::string EnsureGeneratedHive(const char* generator, const std::string& name) {
  const std::string folder = bench::BenchHiveFolder();
  ::mkdir(folder.c_str(), 0755);
  const std::string path = folder + "/" + name;
  if (!bench::BenchFileExists(path)) bench::MakeBenchFile({generator}, path);
  return path;
}

// What one decode of every artifact of the hive's kind makes: rows.
size_t DecodeAll(const LoadedHive& loaded, bool everyKind) {
  const artifacts::HiveKeys keys(*loaded.hive, loaded.keys, loaded.index);
  const artifacts::HiveKind kind = artifacts::DetectHiveKind(keys, loaded.name);
  const artifacts::KeyId controlSet = artifacts::CurrentControlSet(keys);
  size_t rows = 0;
  for (const artifacts::Artifact& artifact : artifacts::AllArtifacts()) {
    if (!everyKind && (artifact.kinds & artifacts::KindBit(kind)) == 0) continue;
    const artifacts::DecodeContext context{keys, everyKind ? artifacts::HiveKind::kOther : kind, controlSet};
    rows += artifacts::DecodeArtifact(artifact, context).size();
  }
  return rows;
}

void DecodeAllArtifacts(benchmark::State& state, const std::string& path) {
  const std::unique_ptr<LoadedHive> loaded = LoadHive(path);
  if (!loaded) {
    state.SkipWithError(("cannot open " + path).c_str());
    return;
  }
  size_t rows = 0;
  for (auto _ : state) {
    rows = DecodeAll(*loaded, false);
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["MB"] = static_cast<double>(loaded->hive->Size()) / 1e6;
}

void ArtifactsWindowList(benchmark::State& state) {
  const std::unique_ptr<LoadedHive> loaded = LoadHive(bench::EnsureBenchHive(1000000));
  if (!loaded) {
    state.SkipWithError("cannot open the generated hive");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(DecodeAll(*loaded, true));
}

constexpr std::array<std::string_view, 3> kShellArtifactIds{"shellbags", "recentdocs", "comdlg32"};
using ShellRows = std::array<size_t, kShellArtifactIds.size()>;

// The shell-item artifacts of one hive, as keyloom-dump decodes those it is
// asked for: the kind told, then each artifact; adds each one's rows.
void DecodeShellArtifacts(const LoadedHive& loaded, ShellRows& rows) {
  const artifacts::HiveKeys keys(*loaded.hive, loaded.keys, loaded.index);
  const artifacts::HiveKind kind = artifacts::DetectHiveKind(keys, loaded.name);
  const artifacts::DecodeContext context{keys, kind, artifacts::CurrentControlSet(keys)};
  for (size_t i = 0; i < kShellArtifactIds.size(); ++i) {
    rows[i] += artifacts::DecodeArtifact(*artifacts::FindArtifact(kShellArtifactIds[i]), context).size();
  }
}

void ShellItemArtifacts(benchmark::State& state, const std::vector<std::string>& paths) {
  std::vector<std::unique_ptr<LoadedHive>> hives;
  for (const std::string& path : paths) {
    hives.push_back(LoadHive(path));
    if (!hives.back()) {
      state.SkipWithError(("cannot open " + path).c_str());
      return;
    }
  }
  ShellRows rows{};
  for (auto _ : state) {
    rows = {};
    for (const std::unique_ptr<LoadedHive>& loaded : hives) DecodeShellArtifacts(*loaded, rows);
    benchmark::DoNotOptimize(rows);
  }
  for (size_t i = 0; i < kShellArtifactIds.size(); ++i) {
    state.counters[std::string(kShellArtifactIds[i])] = static_cast<double>(rows[i]);
  }
}

void RegisterAll() {
  benchmark::RegisterBenchmark("DecodeAllArtifacts/GeneratedSystem",
                               [](benchmark::State& state) { DecodeAllArtifacts(state, EnsureGeneratedHive(KEYLOOM_MAKE_SYSTEM_HIVE, "generated-SYSTEM.hive")); })
      ->Unit(benchmark::kMillisecond);
  const std::string shared = KEYLOOM_SHARED_FOLDER;
  for (const char* hive : {"hives/plaso__NTUSER-WIN7.DAT", "hives/dfwinreg__SAM", "more-hives/artifacts/regipy__SYSTEM_2",
                           "more-hives/artifacts/dfwinreg-14bc0f1__SYSTEM", "more-hives/artifacts/plaso__Amcache.hve"}) {
    const std::string path = shared + "/" + hive;
    if (!std::filesystem::exists(path)) continue;
    benchmark::RegisterBenchmark(("DecodeAllArtifacts/" + std::filesystem::path(path).filename().string()).c_str(),
                                 [path](benchmark::State& state) { DecodeAllArtifacts(state, path); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("ArtifactsWindowList/1000000", ArtifactsWindowList)->Unit(benchmark::kMillisecond);

  const std::string usrClass = shared + "/hives/dfwinreg__UsrClass.dat";
  const std::vector<std::pair<std::string, std::vector<std::string>>> shellRuns{
      {"NTUSER", {""}}, {"UsrClass", {usrClass}}, {"Both", {"", usrClass}}};
  for (const auto& [name, paths] : shellRuns) {
    benchmark::RegisterBenchmark(("ShellItemArtifacts/" + name).c_str(),
                                 [paths](benchmark::State& state) {
                                   // The generated hive is made when a run first needs it.
                                   std::vector<std::string> made = paths;
                                   for (std::string& path : made) {
                                     if (path.empty()) path = EnsureGeneratedHive(KEYLOOM_MAKE_NTUSER_HIVE, "generated-NTUSER.DAT");
                                   }
                                   ShellItemArtifacts(state, made);
                                 })
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
