#pragma once
// What the transaction log tests share: a hive's whole tree and value rows as
// keyloom-dump --values prints them, a temporary folder, and the real dirty
// hives of ../shared/more-hives/dirty.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hive/hive_file.h"
#include "recovery/log_replay.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"

namespace recoverytests {

class Rows final : public values::KeySelection, public values::ValueTable {
 public:
  int32_t position = -1;
  std::string* out = nullptr;
  int32_t depth = 0;
  int32_t SelectedItemPosition() const override { return position; }
  void RemoveAllRows() override {}
  void AddRow(std::string_view row) override {
    out->append(2 * static_cast<size_t>(depth + 1), ' ');
    out->append("= ").append(row).append("\n");
  }
};

// One line per key in pre-order (two spaces per level, then its label), each
// followed by its value rows; "(no root)" when the walk finds no root key.
inline std::string DumpHive(hive::HiveFile& hive) {
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  if (tree::BuildKeyTree(keys, index, hive, signals) == tree::BuildOutcome::kNoRoot) return "(no root)";
  std::string out;
  Rows rows;
  rows.out = &out;
  std::vector<int32_t> path;
  for (int32_t position = 0; position < keys.Size(); ++position) {
    while (!path.empty() && path.back() != keys.Parent(position)) path.pop_back();
    rows.depth = static_cast<int32_t>(path.size());
    path.push_back(position);
    out.append(2 * static_cast<size_t>(rows.depth), ' ').append(keys.Label(position)).append("\n");
    rows.position = position;
    values::ShowKeyValues(hive, index, rows, rows);
  }
  return out;
}

// The dump of the file at path opened without base block checks.
inline std::string DumpFile(const std::string& path) {
  std::unique_ptr<hive::HiveFile> hive = hive::OpenHiveFile(path);
  return hive ? DumpHive(*hive) : "(cannot open)";
}

// A hive opened without checks and replayed from its logs.
struct Replayed {
  std::unique_ptr<hive::HiveFile> hive;
  recovery::LogReplay replay;
  std::string Dump() { return hive ? DumpHive(*hive) : "(cannot open)"; }
};

inline Replayed OpenAndReplay(const std::string& path) {
  Replayed r;
  r.hive = hive::OpenHiveFile(path);
  if (r.hive) r.replay = recovery::ApplyTransactionLogs(*r.hive, path);
  return r;
}

// A folder under /tmp, removed with all it holds.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/keyloom-logs-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    m_path = made != nullptr ? made : "";
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

inline std::string DirtyHive(std::string_view relative) {
  return std::string(KEYLOOM_MORE_HIVES) + "/dirty/" + std::string(relative);
}

}  // namespace recoverytests
