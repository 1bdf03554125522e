#pragma once
// The table of every artifact Keyloom decodes, and decoding one of them over
// a hive. Each family of artifacts lives in a file of its own
// (ntuser_artifacts.cpp, system_artifacts.cpp, ...) and hands its entries to
// the table here.

#include <atomic>
#include <span>
#include <string_view>
#include <vector>

#include "artifacts/artifact.h"

namespace artifacts {

// Every artifact, in the order reports list them.
std::span<const Artifact> AllArtifacts();
// The artifact with this id, or nullptr.
const Artifact* FindArtifact(std::string_view id);
// The artifacts that apply to a hive of this kind, in table order.
std::vector<const Artifact*> ArtifactsFor(HiveKind kind);

// Decodes artifact over the hive. Reads in place only: safe on a worker thread
// while another thread reads through the hive's read position.
// The rows are at most ArtifactRowLimit of the file's size; past it, the last
// row says where and why decoding stopped.
std::vector<ArtifactRow> DecodeArtifact(const Artifact& artifact, const DecodeContext& context);
size_t ArtifactRowLimit(int64_t fileSize);
// Whether rows end with the row that says decoding stopped at that bound.
bool StoppedAtRowLimit(std::span<const ArtifactRow> rows);

// The families' entries, each from its own file.
std::span<const Artifact> NtuserArtifacts();
std::span<const Artifact> SoftwareArtifacts();
std::span<const Artifact> SystemArtifacts();
std::span<const Artifact> SamArtifacts();
std::span<const Artifact> AmcacheArtifacts();
std::span<const Artifact> ShellArtifacts();     // ShellBags, RecentDocs, the Open and Save dialogs
std::span<const Artifact> ActivityArtifacts();  // mount points, Office, MUI cache, feature usage, ...

}  // namespace artifacts
