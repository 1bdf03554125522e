#include "app/artifacts/artifact_decoding.h"

#include <algorithm>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "artifacts/artifact_table.h"
#include "app/fault_hooks.h"
#include "hive/in_place.h"

namespace ui {
namespace {

using artifacts::KeyId;
using artifacts::kNoKey;

// The keys an artifact names, found in this hive ("CurrentControlSet\" read
// in the control set).
std::vector<KeyId> ArtifactKeys(const artifacts::Artifact& artifact, const artifacts::DecodeContext& context) {
  constexpr std::string_view kCurrent = "CurrentControlSet\\";
  std::vector<KeyId> found;
  for (const std::string_view path : artifact.keyPaths) {
    const bool inControlSet = path.size() >= kCurrent.size() &&
                              artifacts::HiveKeys::SameName(path.substr(0, kCurrent.size()), kCurrent);
    const KeyId key = inControlSet ? context.keys.Find(context.controlSet, path.substr(kCurrent.size()))
                                   : context.keys.Find(context.keys.Root(), path);
    if (key != kNoKey) found.push_back(key);
  }
  return found;
}

// Lists artifact (at index) under each row's source key and the keys above
// it, up to the nearest of the artifact's own keys.
void IndexSourceKeys(const DecodedArtifact& decoded, int32_t index, const artifacts::DecodeContext& context,
                     DecodedHive& hive) {
  const std::vector<KeyId> named = ArtifactKeys(*decoded.artifact, context);
  std::set<KeyId> listed;
  std::vector<KeyId> chain;
  for (const artifacts::ArtifactRow& row : decoded.rows) {
    if (row.key == kNoKey || listed.count(row.key) != 0) continue;
    chain.clear();
    bool reachesNamed = false;
    for (KeyId key = row.key; key != kNoKey; key = context.keys.Parent(key)) {
      chain.push_back(key);
      if (std::find(named.begin(), named.end(), key) != named.end()) {
        reachesNamed = true;
        break;
      }
    }
    if (!reachesNamed) chain.resize(1);
    listed.insert(chain.begin(), chain.end());
  }
  for (const KeyId key : listed) hive.bySourceKey[key].push_back(index);
}

}  // namespace

DecodedHive DecodeHiveArtifacts(const artifacts::DecodeContext& context, const std::atomic<bool>& stop) {
  DecodedHive hive;
  hive.keys = &context.keys;
  for (const artifacts::Artifact* artifact : artifacts::ArtifactsFor(context.kind)) {
    if (stop.load()) {
      hive.stopped = true;
      break;
    }
    DecodedArtifact& decoded = hive.artifacts.emplace_back();
    decoded.artifact = artifact;
    decoded.rows = artifacts::DecodeArtifact(*artifact, context);
    IndexSourceKeys(decoded, static_cast<int32_t>(hive.artifacts.size() - 1), context, hive);
  }
  return hive;
}

ArtifactDecoding::ArtifactDecoding(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                   const tree::KeyIndex& index, artifacts::HiveKind kind,
                                   artifacts::KeyId controlSet, const deleted::DeletedRecords* deletedRecords)
    : m_keys(hive, keys, index, deletedRecords), m_kind(kind), m_controlSet(controlSet) {}

ArtifactDecoding::~ArtifactDecoding() {
  m_stop.store(true);
  if (m_worker.joinable()) m_worker.join();
}

void ArtifactDecoding::Start() {
  if (m_started) return;
  m_started = true;
  if (!hive::IsMappedInPlace(m_keys.Hive())) {
    auto result = std::make_shared<DecodedHive>();
    result->keys = &m_keys;
    result->unmapped = true;
    QMetaObject::invokeMethod(this, [this, result] { Ended(result); }, Qt::QueuedConnection);
    return;
  }
  auto decode = [this] {
    const artifacts::DecodeContext context{m_keys, m_kind, m_controlSet};
    auto result = std::make_shared<DecodedHive>(DecodeHiveArtifacts(context, m_stop));
    QMetaObject::invokeMethod(this, [this, result] { Ended(result); }, Qt::QueuedConnection);
  };
  try {
    m_worker = std::thread([decode] {
      PrepareThreadForFaults();
      decode();
    });
  } catch (const std::system_error&) {
    // No thread to spare: decode here (the decoders are bounded by the data they read).
    decode();
  }
}

void ArtifactDecoding::Ended(std::shared_ptr<DecodedHive> result) {
  if (m_worker.joinable()) m_worker.join();
  m_result = std::move(result);
  Q_EMIT Done();
}

}  // namespace ui
