#include "artifacts/artifact_table.h"

namespace artifacts {

std::span<const Artifact> SystemArtifacts() { return {}; }

}  // namespace artifacts
