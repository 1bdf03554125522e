#include "artifacts/artifact_table.h"

#include <algorithm>
#include <string>

namespace artifacts {

ArtifactRow& RowSink::AddKeyRow(KeyId key) {
  if (m_rows.size() >= m_rowLimit) throw RowLimitReached{key};
  ArtifactRow& row = m_rows.emplace_back();
  row.key = key;
  row.deleted = IsDeletedKeyId(key);
  row.cells.resize(m_columnCount);
  return row;
}

ArtifactRow& RowSink::AddValueRow(KeyId key, const ValueView& value) {
  ArtifactRow& row = AddValueRow(key, value.name);
  row.deleted = row.deleted || value.deleted;
  return row;
}

ArtifactRow& RowSink::AddValueRow(KeyId key, std::string_view valueName) {
  ArtifactRow& row = AddKeyRow(key);
  row.fromValue = true;
  row.valueName = valueName;
  return row;
}

namespace {

std::vector<Artifact> CollectArtifacts() {
  std::vector<Artifact> all;
  for (const auto family : {NtuserArtifacts, ShellArtifacts, ActivityArtifacts, SoftwareArtifacts, SystemArtifacts,
                            SamArtifacts, AmcacheArtifacts}) {
    const std::span<const Artifact> entries = family();
    all.insert(all.end(), entries.begin(), entries.end());
  }
  return all;
}

}  // namespace

std::span<const Artifact> AllArtifacts() {
  static const std::vector<Artifact> all = CollectArtifacts();
  return all;
}

const Artifact* FindArtifact(std::string_view id) {
  for (const Artifact& artifact : AllArtifacts()) {
    if (artifact.id == id) return &artifact;
  }
  return nullptr;
}

std::vector<const Artifact*> ArtifactsFor(HiveKind kind) {
  std::vector<const Artifact*> found;
  for (const Artifact& artifact : AllArtifacts()) {
    if ((artifact.kinds & KindBit(kind)) != 0) found.push_back(&artifact);
  }
  return found;
}

namespace {
constexpr std::string_view kStoppedProblem = "decoding stopped after ";
}  // namespace

size_t ArtifactRowLimit(int64_t fileSize) {
  // Each row of a real hive comes from a record of its own: a key or value
  // record (80 and 24 bytes at least) or an entry of a list or of a value's
  // data. One row for every 8 bytes of the file is far more than any real
  // hive gives.
  constexpr size_t kFewestAllowed = 4096;
  return std::max(kFewestAllowed, static_cast<size_t>(std::max<int64_t>(fileSize, 0)) / 8);
}

std::vector<ArtifactRow> DecodeArtifact(const Artifact& artifact, const DecodeContext& context) {
  const int64_t fileSize = context.keys.Hive().Size();
  RowSink rows(artifact.columns.size(), ArtifactRowLimit(fileSize));
  if (artifact.decode == nullptr || context.keys.Root() == kNoKey) return {};
  try {
    artifact.decode(context, rows);
  } catch (const RowSink::RowLimitReached& stopped) {
    std::vector<ArtifactRow>& kept = rows.Rows();
    const std::string problem = std::string(kStoppedProblem) + std::to_string(kept.size()) +
                                " rows, more than a file of " + std::to_string(fileSize) +
                                " bytes can hold: its lists name the same records over and over";
    ArtifactRow& last = kept.emplace_back();
    last.key = stopped.key;
    last.deleted = IsDeletedKeyId(stopped.key);
    last.cells.resize(artifact.columns.size());
    last.problem = problem;
  }
  return std::move(rows.Rows());
}

bool StoppedAtRowLimit(std::span<const ArtifactRow> rows) {
  if (rows.empty()) return false;
  const ArtifactRow& last = rows.back();
  return !last.fromValue && last.problem.starts_with(kStoppedProblem) &&
         std::all_of(last.cells.begin(), last.cells.end(), [](const Cell& cell) { return cell.index() == 0; });
}

}  // namespace artifacts
