#include "artifacts/artifact_table.h"

namespace artifacts {

std::span<const Artifact> SoftwareArtifacts() { return {}; }

}  // namespace artifacts
