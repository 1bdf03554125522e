#pragma once
// A hive opened, walked and ready for the artifact decoders, for tests: a real
// hive by path (opened anyway, as the artifacts' newer hives need) or a built
// image.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "export/artifact_rows.h"
#include "recovery/open_anyway.h"
#include "temp_hive.h"
#include "tree/build_key_tree.h"

namespace testsupport {

// A cell read back: as text (as keyloom-dump writes it: times ISO 8601 UTC),
// as an integer, as a FILETIME (0 when it holds none).
inline std::string CellText(const artifacts::Cell& cell) {
  std::string text;
  exporting::AppendCellText(cell, text);
  return text;
}
inline std::optional<int64_t> CellInteger(const artifacts::Cell& cell) {
  const auto* number = std::get_if<int64_t>(&cell);
  return number != nullptr ? std::optional<int64_t>(*number) : std::nullopt;
}
inline uint64_t CellTime(const artifacts::Cell& cell) {
  const auto* time = std::get_if<artifacts::FileTime>(&cell);
  return time != nullptr ? time->value : 0;
}

class DecodedHive {
 public:
  // A hive file: opened as "Open anyway" opens it (a clean 1.3 hive opens as the strict open would).
  explicit DecodedHive(const std::string& path) : m_name(std::filesystem::path(path).filename().string()) {
    Load(path);
  }
  // A built image, under the file name name (which only breaks a kind's tie).
  DecodedHive(const std::vector<uint8_t>& image, std::string name)
      : m_temp(std::make_unique<TempHive>(image)), m_name(std::move(name)) {
    Load(m_temp->Path());
  }

  bool Opened() const { return m_hive != nullptr && !m_tree.Empty(); }
  const artifacts::HiveKeys& Keys() const { return *m_keys; }
  artifacts::HiveKind Kind() const { return artifacts::DetectHiveKind(*m_keys, m_name); }
  artifacts::DecodeContext Context() const {
    return {*m_keys, Kind(), Kind() == artifacts::HiveKind::kSystem ? artifacts::CurrentControlSet(*m_keys)
                                                                     : artifacts::kNoKey};
  }
  // The rows of the artifact with this id (none when the id is unknown).
  std::vector<artifacts::ArtifactRow> Decode(std::string_view id) const {
    const artifacts::Artifact* artifact = artifacts::FindArtifact(id);
    if (artifact == nullptr) {
      ADD_FAILURE() << "no artifact " << id;
      return {};
    }
    return artifacts::DecodeArtifact(*artifact, Context());
  }
  const tree::KeyTree& Tree() const { return m_tree; }
  const tree::KeyIndex& Index() const { return m_index; }
  const hive::HiveFile& Hive() const { return *m_hive; }

 private:
  void Load(const std::string& path) {
    std::string reason;
    m_hive = recovery::OpenHiveAnyway(path, &reason);
    if (!m_hive) {
      ADD_FAILURE() << path << ": " << reason;
      return;
    }
    tree::BuildSignals signals;
    tree::BuildKeyTree(m_tree, m_index, *m_hive, signals);
    m_keys = std::make_unique<artifacts::HiveKeys>(*m_hive, m_tree, m_index);
  }

  std::unique_ptr<TempHive> m_temp;
  std::string m_name;
  std::unique_ptr<hive::HiveFile> m_hive;
  tree::KeyTree m_tree;
  tree::KeyIndex m_index;
  std::unique_ptr<artifacts::HiveKeys> m_keys;
};

}  // namespace testsupport
