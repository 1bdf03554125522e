#pragma once
// What both fuzz targets do with a hive once it is open: the key tree walk,
// then every reader of the loaded hive in turn (kReaders): the checks of what
// the walk promises (a complete walk is checked against the lists
// themselves, every key entered showing exactly the keys its list names), the
// value listing of every key into a table that keeps its rows, as the value
// table of the window does, the deleted-record scan, an export (.reg or JSON)
// and the timeline, in a form each input picks, the output only counted, and
// every artifact decoded.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "deleted/deleted_records.h"
#include "deleted/scan_deleted.h"
#include "export/artifact_rows.h"
#include "export/export_walk.h"
#include "export/json_export.h"
#include "export/output_sink.h"
#include "export/reg_export.h"
#include "export/timeline.h"
#include "export/timeline_writers.h"
#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "tree/build_key_tree.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"
#include "values/show_key_values.h"

namespace fuzzing {

// Listing every key is the fuzzer's doing, not the program's (which lists the
// one key the user selects, its rows bounded by the file's size): many keys
// sharing one long value list would make the harness's work grow with keys x
// rows. Each listing is charged its rows plus a quarter of the file's size (a
// listing may make one row of up to about twice the file's size that it then
// leaves out), and past this charge in one input the remaining keys are not
// listed. Small inputs have every key listed; a 1 MiB input at least 64 keys.
inline constexpr uint64_t kMaxListingChargePerInput = uint64_t{16} << 20;

class Selection final : public values::KeySelection {
 public:
  int32_t position = -1;
  int32_t SelectedItemPosition() const override { return position; }
};

// Keeps every row, as the window's table does, and reads each byte of it so
// that AddressSanitizer checks the whole text.
// The rows' strings are kept from listing to listing and overwritten, so
// that a listing costs no allocation per row.
class RowTable final : public values::ValueTable {
 public:
  std::vector<std::string> rows;  // the first rowCount are the table's rows
  size_t rowCount = 0;
  size_t bytesAdded = 0;
  size_t digest = 0;

  void RemoveAllRows() override { rowCount = 0; }
  void AddRow(std::string_view rowText) override {
    if (rowCount == rows.size()) rows.emplace_back();
    std::string& row = rows[rowCount++];
    row.assign(rowText);
    bytesAdded += rowText.size();
    digest ^= std::hash<std::string_view>{}(row);
  }
};

// Where the digests go, so that reading the bytes is not optimised away.
inline volatile size_t g_sink = 0;

// The key nodes that key's own subkey list names and the file holds, in list
// order (through the leaf lists of an index root): the children the walk must
// show below a key it entered. Read here on its own, element by element.
inline std::vector<uint32_t> ReadableSubkeys(hive::HiveFile& hive, uint32_t keyRecord) {
  std::vector<uint32_t> subkeys;
  hive::KeyNode key;
  hive::ReadKeyNode(hive, keyRecord, key);
  const uint32_t cell = hive::SubkeyListCell(key);
  hive::SubkeyList list;
  if (cell == hive::kNoCell || hive::ReadSubkeyListAt(hive, hive::RecordOffsetOf(cell), list) <= 0) return subkeys;
  const auto addLeaf = [&](const hive::SubkeyList& leaf) {
    uint32_t keyCell = 0;
    for (int32_t i = 0; i < leaf.elementCount && hive::ReadListElement(hive, leaf, i, keyCell); ++i) {
      if (hive::HiveHoldsKeyNode(hive, hive::RecordOffsetOf(keyCell))) subkeys.push_back(hive::RecordOffsetOf(keyCell));
    }
  };
  if (hive::IsIndexRoot(list)) {
    uint32_t leafCell = 0;
    for (int32_t i = 0; i < list.elementCount && hive::ReadListElement(hive, list, i, leafCell); ++i) {
      hive::SubkeyList leaf;
      if (hive::ReadSubkeyListAt(hive, hive::RecordOffsetOf(leafCell), leaf) > 0 && hive::IsLeafList(leaf)) addLeaf(leaf);
    }
  } else if (hive::IsLeafList(list)) {
    addLeaf(list);
  }
  return subkeys;
}

// After a complete walk: every key not on its own path from the root (and
// not below the depth limit) shows exactly the readable elements of its list;
// every other key shows none.
inline void CheckChildrenAgainstLists(hive::HiveFile& hive, const tree::KeyTree& keyTree, const tree::KeyIndex& index) {
  std::vector<int32_t> path;                     // item positions from the root
  std::unordered_map<uint32_t, int32_t> onPath;  // record offset -> items on the path
  std::unordered_map<uint32_t, std::vector<uint32_t>> listed;  // record offset -> its readable subkeys
  const std::vector<uint32_t> none;
  std::vector<uint32_t> shown;
  for (int32_t item = 0; item < keyTree.Size(); ++item) {
    while (!path.empty() && path.back() != keyTree.Parent(item)) {
      --onPath[index.At(path.back()).recordOffset];
      path.pop_back();
    }
    const uint32_t record = index.At(item).recordOffset;
    const bool entered = static_cast<int32_t>(path.size()) <= tree::kMaxEnteredDepth && onPath[record] == 0;
    shown.clear();
    for (int32_t row = 0; row < keyTree.ChildCount(item); ++row) {
      shown.push_back(index.At(keyTree.Child(item, row)).recordOffset);
    }
    const std::vector<uint32_t>* expected = &none;
    if (entered) {
      auto [place, added] = listed.try_emplace(record);
      if (added) place->second = ReadableSubkeys(hive, record);
      expected = &place->second;
    }
    if (shown != *expected) std::abort();
    path.push_back(item);
    ++onPath[record];
  }
}

// What a key's listing depends on: its value count and value list cell. Keys
// that share both list the same rows, so the harness lists them once.
inline uint64_t ValueListIdentity(hive::HiveFile& hive, uint32_t keyRecord) {
  hive::KeyNode key;
  hive::ReadKeyNode(hive, keyRecord, key);
  return uint64_t{static_cast<uint32_t>(hive::GetValueCount(key))} << 32 | hive::ValueListCell(key);
}

// A hive once its key tree is built: what every reader of it gets.
struct LoadedHive {
  hive::HiveFile& hive;
  const tree::KeyTree& keys;
  const tree::KeyIndex& index;
  tree::BuildOutcome outcome;
  uint64_t maxListingCharge;  // see kMaxListingChargePerInput
  size_t digest = 0;          // what the readers made, so that it is not optimised away
  deleted::DeletedRecords deletedRecords;  // ScanDeleted's, for the timeline and the artifacts
};

// Checks what the walk promises: the counts agree, pre-order, one item per
// list element read at most, and a complete walk shows each list as it is.
inline void CheckWalk(LoadedHive& loaded) {
  const tree::KeyTree& keyTree = loaded.keys;
  if (loaded.outcome == tree::BuildOutcome::kNoRoot && !keyTree.Empty()) std::abort();
  // One item per list element read at most, and no more elements read than one per 4 bytes.
  if (static_cast<int64_t>(keyTree.Size()) > loaded.hive.Size() / 4 + 1) std::abort();
  if (loaded.index.Size() != keyTree.Size()) std::abort();
  for (int32_t i = 0; i < keyTree.Size(); ++i) {
    loaded.digest ^= std::hash<std::string_view>{}(keyTree.Label(i));
    if (keyTree.Parent(i) >= i) std::abort();  // pre-order: parents come first
  }
  if (loaded.outcome == tree::BuildOutcome::kComplete) CheckChildrenAgainstLists(loaded.hive, keyTree, loaded.index);
}

// Lists the values of every key, as the value table does, each distinct value
// list once, up to the listing charge.
inline void ListValues(LoadedHive& loaded) {
  Selection selection;
  RowTable table;
  const uint64_t chargePerListing = static_cast<uint64_t>(loaded.hive.Size()) / 4;
  uint64_t charged = 0;
  std::unordered_set<uint64_t> listed;
  const tree::KeyIndex& index = loaded.index;
  for (int32_t place = 0; place < index.Size() && charged < loaded.maxListingCharge; ++place) {
    if (!listed.insert(ValueListIdentity(loaded.hive, index.At(place).recordOffset)).second) continue;
    selection.position = index.At(place).itemPosition;
    const size_t before = table.bytesAdded;
    values::ShowKeyValues(loaded.hive, index, selection, table);
    charged += chargePerListing + (table.bytesAdded - before);
  }
  loaded.digest ^= table.digest;
}

// The deleted-record scan, and what it promises: records inside the image in
// file-offset order, at most one tie each, to an item or a key that exists,
// and a path for every key.
inline void ScanDeleted(LoadedHive& loaded) {
  loaded.deletedRecords = deleted::ScanDeletedRecords(loaded.hive, loaded.keys, loaded.index);
  const deleted::DeletedRecords& found = loaded.deletedRecords;
  const auto items = loaded.keys.Size();
  const auto keys = static_cast<int32_t>(found.keys.size());
  const auto tiedOnce = [](int32_t first, int32_t firstLimit, int32_t second, int32_t secondLimit) {
    return first >= deleted::kUnknown && first < firstLimit && second >= deleted::kUnknown && second < secondLimit &&
           (first == deleted::kUnknown || second == deleted::kUnknown);
  };
  uint32_t lastOffset = 0;
  for (size_t i = 0; i < found.keys.size(); ++i) {
    const deleted::DeletedKey& key = found.keys[i];
    if (key.recordOffset >= loaded.hive.Size() || key.recordOffset < lastOffset) std::abort();
    if (!tiedOnce(key.liveParentItem, items, key.deletedParent, keys)) std::abort();
    loaded.digest ^= std::hash<std::string>{}(deleted::DeletedKeyPath(loaded.keys, found, i));
    lastOffset = key.recordOffset;
  }
  lastOffset = 0;
  for (const deleted::DeletedValue& value : found.values) {
    if (value.recordOffset >= loaded.hive.Size() || value.recordOffset < lastOffset) std::abort();
    if (!tiedOnce(value.liveKeyItem, items, value.deletedKey, keys)) std::abort();
    lastOffset = value.recordOffset;
  }
}

// Counts what one writer writes and refuses it past kMaxWriterBytes, so the
// writer stops as on a full disk (at its next flush of up to 64 KiB). Under
// the sanitizers the writers cost tens of nanoseconds a byte, and a small
// crafted file makes output far beyond its size (a timeline's paths grow with
// the tree's depth, an export repeats a value list for every key sharing it):
// the cap bounds the harness's work per input. Small inputs are written whole.
inline constexpr uint64_t kMaxWriterBytes = uint64_t{64} << 10;

class CappedSink final : public exporting::OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    m_bytes += bytes.size();
    return m_bytes <= kMaxWriterBytes;
  }
  uint64_t Bytes() const { return m_bytes; }
  bool Refused() const { return m_bytes > kMaxWriterBytes; }

 private:
  uint64_t m_bytes = 0;
};

// Runs one writer into a sink of its own and checks how it ended: on its own
// (complete, or past the data the file's size can hold), or at the cap.
template <typename Write>
void CheckWriter(LoadedHive& loaded, Write write, bool tooLargeAllowed) {
  CappedSink sink;
  const exporting::ExportOutcome outcome = write(sink);
  const bool ended = outcome == exporting::ExportOutcome::kComplete ||
                     (tooLargeAllowed && outcome == exporting::ExportOutcome::kTooLarge) ||
                     (outcome == exporting::ExportOutcome::kWriteFailed && sink.Refused());
  if (!ended) std::abort();
  loaded.digest ^= sink.Bytes();
}

// Which form a writer takes for this input: the input's length picks one of
// count, so that every form is fuzzed, one per input.
inline uint64_t FormFor(const LoadedHive& loaded, uint64_t count, uint64_t stride) {
  return static_cast<uint64_t>(loaded.hive.Size()) / stride % count;
}

// The export of the whole tree as a .reg file (UTF-16LE or UTF-8) or as JSON.
inline void WriteExport(LoadedHive& loaded) {
  if (loaded.keys.Empty()) return;
  const uint64_t form = FormFor(loaded, 3, 1);
  if (form == 2) {
    CheckWriter(loaded, [&](exporting::OutputSink& sink) {
      return exporting::WriteJsonExport(loaded.hive, loaded.keys, loaded.index, 0, sink);
    }, true);
    return;
  }
  exporting::RegOptions options;
  options.rootName = "HKEY_LOCAL_MACHINE\\FUZZ";
  options.encoding = form == 0 ? exporting::RegEncoding::kUtf16Le : exporting::RegEncoding::kUtf8;
  CheckWriter(loaded, [&](exporting::OutputSink& sink) {
    return exporting::WriteRegExport(loaded.hive, loaded.keys, loaded.index, 0, options, sink);
  }, true);
}

// The timeline of the live and the deleted keys, newest first, in one of its
// three forms.
inline void WriteTimeline(LoadedHive& loaded) {
  const std::vector<exporting::TimelineEntry> entries =
      exporting::CollectTimeline(loaded.hive, loaded.keys, loaded.index, &loaded.deletedRecords);
  if (entries.size() != static_cast<size_t>(loaded.keys.Size()) + loaded.deletedRecords.keys.size()) std::abort();
  for (size_t i = 1; i < entries.size(); ++i) {
    if (entries[i].lastWritten > entries[i - 1].lastWritten) std::abort();
  }
  constexpr exporting::TimelineFormat kForms[] = {exporting::TimelineFormat::kCsv, exporting::TimelineFormat::kBodyfile,
                                                  exporting::TimelineFormat::kJsonLines};
  const exporting::TimelineFormat format = kForms[FormFor(loaded, 3, 3)];
  CheckWriter(loaded, [&](exporting::OutputSink& sink) {
    return exporting::WriteTimeline(loaded.keys, &loaded.deletedRecords, entries, format, sink);
  }, false);
}

// The names of key's recovered values, gathered once per key.
class RecoveredValueNames {
 public:
  explicit RecoveredValueNames(const artifacts::HiveKeys& keys) : m_keys(keys) {}
  bool Holds(artifacts::KeyId key, const std::string& name) {
    const auto [place, added] = m_names.try_emplace(key);
    std::unordered_set<std::string>& names = place->second;
    if (added) {
      m_keys.ForEachValue(key, [&](const artifacts::ValueView& value) {
        if (value.deleted) names.emplace(value.name);
        return true;
      });
    }
    return names.contains(name);
  }

 private:
  const artifacts::HiveKeys& m_keys;
  std::unordered_map<artifacts::KeyId, std::unordered_set<std::string>> m_names;
};

// Every artifact decoded over the hive and the scan's recovered keys and
// values, whatever kind the hive is (each decoder takes the keys it knows, so
// a hive of the wrong kind is an input like any other), as JSON lines. What
// the rows promise: a cell per column; a key of the tree or a recovered key
// of the records; a row of a recovered key marked deleted, and a row of a
// live key marked deleted only when it comes from a recovered value of that
// key (the sink marks a row by its key and by the value it is made from, and
// every decoder keeps the value's own name and key).
inline void DecodeArtifacts(LoadedHive& loaded) {
  const artifacts::HiveKeys keys(loaded.hive, loaded.keys, loaded.index, &loaded.deletedRecords);
  const artifacts::KeyId controlSet = artifacts::CurrentControlSet(keys);
  const size_t recovered = loaded.deletedRecords.keys.size();
  const auto isKey = [&](artifacts::KeyId key) {
    return artifacts::IsDeletedKeyId(key) ? artifacts::DeletedKeyIndex(key) < recovered
                                          : key >= 0 && key < loaded.keys.Size();
  };
  RecoveredValueNames recoveredValues(keys);
  std::string line;
  for (const artifacts::Artifact& artifact : artifacts::AllArtifacts()) {
    for (uint16_t kind = 0; kind <= static_cast<uint16_t>(artifacts::HiveKind::kOther); ++kind) {
      if ((artifact.kinds & (1u << kind)) == 0) continue;
      const artifacts::DecodeContext context{keys, static_cast<artifacts::HiveKind>(kind), controlSet};
      for (const artifacts::ArtifactRow& row : artifacts::DecodeArtifact(artifact, context)) {
        if (row.cells.size() != artifact.columns.size() || !isKey(row.key)) std::abort();
        const bool recoveredKey = artifacts::IsDeletedKeyId(row.key);
        if (recoveredKey && !row.deleted) std::abort();
        if (!recoveredKey && row.deleted && !(row.fromValue && recoveredValues.Holds(row.key, row.valueName))) {
          std::abort();
        }
        line.clear();
        exporting::AppendArtifactJsonLine(artifact, row, keys, line);
        loaded.digest ^= std::hash<std::string>{}(line);
      }
    }
  }
}

using Reader = void (*)(LoadedHive&);

// Every reader of a loaded hive, in order (the timeline takes the scan's
// records): a new reader is one more line.
inline constexpr Reader kReaders[] = {
    CheckWalk,
    ListValues,
    ScanDeleted,
    WriteExport,
    WriteTimeline,
    DecodeArtifacts,
};

// The readers before the writers: what the log target runs over a replayed
// image, the replay being what it explores (the writers read a replayed image
// as any other, and cost most of an input's time).
inline constexpr std::span<const Reader> kReadersBeforeWriters{kReaders, 3};

// Walks the whole tree, then runs the readers over it; aborts when one of
// them breaks a promise. The listing stops at maxCharge of listing work.
inline void WalkAndList(hive::HiveFile& hive, uint64_t maxCharge = kMaxListingChargePerInput,
                        std::span<const Reader> readers = kReaders) {
  tree::KeyTree keyTree;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  const tree::BuildOutcome outcome = tree::BuildKeyTree(keyTree, index, hive, signals);
  if (signals.keysLoaded.load() != keyTree.Size()) std::abort();
  LoadedHive loaded{hive, keyTree, index, outcome, maxCharge, 0, {}};
  for (const Reader reader : readers) reader(loaded);
  g_sink = loaded.digest;
}

}  // namespace fuzzing
