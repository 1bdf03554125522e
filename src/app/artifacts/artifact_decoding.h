#pragma once
// Every artifact of a hive's kind decoded once, and which keys their rows
// come from, so that a key in the tree can say which artifacts it holds.
//
// DecodeHiveArtifacts is plain C++ (no Qt); ArtifactDecoding runs it on a
// worker thread for the viewer and hands the result to the GUI thread.

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "artifacts/artifact.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"

namespace ui {

struct DecodedArtifact {
  const artifacts::Artifact* artifact = nullptr;
  std::vector<artifacts::ArtifactRow> rows;
};

struct DecodedHive {
  // The keys the rows name (their paths, parents and recovered keys); the
  // decoding's own, alive as long as it is.
  const artifacts::HiveKeys* keys = nullptr;
  // One per artifact of the hive's kind, in the table's order.
  std::vector<DecodedArtifact> artifacts;
  // For a key: the artifacts (indexes into artifacts, ascending) with rows
  // from that key or from a key below it. Only keys at or below one of the
  // artifact's own key paths are listed (or the rows' source keys themselves,
  // when a decoder reads elsewhere), so the root and the keys on the way to an
  // artifact's keys are not.
  std::unordered_map<artifacts::KeyId, std::vector<int32_t>> bySourceKey;
  bool stopped = false;   // the stop flag ended the decoding early
  bool unmapped = false;  // the hive's file could not be mapped: nothing was decoded
};

// Decodes every artifact of context.kind in turn. stop is checked between
// two artifacts. Reads in place only (see artifacts::DecodeArtifact).
DecodedHive DecodeHiveArtifacts(const artifacts::DecodeContext& context, const std::atomic<bool>& stop);

// ArtifactDecoding: DecodeHiveArtifacts on a worker thread, started once by
// the first Start(). Done() is raised on the GUI thread when the result is
// there; it is kept for the object's life. With deleted records, the
// recovered keys and values are decoded too (see artifacts::HiveKeys). The
// hive, tree, index and records must outlive the object; destroying it stops
// the decoding between two artifacts and joins the worker. GUI thread only,
// apart from its worker.
class ArtifactDecoding : public QObject {
  Q_OBJECT

 public:
  ArtifactDecoding(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                   artifacts::HiveKind kind, artifacts::KeyId controlSet,
                   const deleted::DeletedRecords* deletedRecords = nullptr);
  ~ArtifactDecoding() override;

  // The records decoded with the live keys, or none.
  const deleted::DeletedRecords* DeletedRecords() const { return m_keys.Deleted(); }

  // Starts the decoding unless it has started before.
  void Start();
  bool Started() const { return m_started; }
  bool Finished() const { return m_result != nullptr; }
  // The result; null until Finished().
  const DecodedHive* Result() const { return m_result.get(); }

 Q_SIGNALS:
  void Done();

 private:
  void Ended(std::shared_ptr<DecodedHive> result);

  // The worker's own: HiveKeys keeps buffers for the value it reads last.
  artifacts::HiveKeys m_keys;
  artifacts::HiveKind m_kind;
  artifacts::KeyId m_controlSet;
  bool m_started = false;
  std::atomic<bool> m_stop{false};
  std::thread m_worker;
  std::shared_ptr<const DecodedHive> m_result;
};

}  // namespace ui
