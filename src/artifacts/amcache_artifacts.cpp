#include "artifacts/artifact_table.h"

namespace artifacts {

std::span<const Artifact> AmcacheArtifacts() { return {}; }

}  // namespace artifacts
