#include "artifacts/artifact_table.h"

namespace artifacts {

ArtifactRow& RowSink::AddKeyRow(KeyId key) {
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

std::vector<ArtifactRow> DecodeArtifact(const Artifact& artifact, const DecodeContext& context) {
  RowSink rows(artifact.columns.size());
  if (artifact.decode != nullptr && context.keys.Root() != kNoKey) artifact.decode(context, rows);
  return std::move(rows.Rows());
}

}  // namespace artifacts
