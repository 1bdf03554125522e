#include "artifacts/artifact_table.h"

namespace artifacts {

std::span<const Artifact> NtuserArtifacts() { return {}; }

}  // namespace artifacts
