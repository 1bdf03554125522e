#include "tree/build_key_tree.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "hive/key_node.h"
#include "hive/little_endian.h"

namespace tree {
namespace {

using hive::HiveFile;
using hive::KeyNode;
using hive::SubkeyList;

// The least a key takes of a sound hive: its key node cell (80 bytes) and its
// list element.
constexpr size_t kMinKeyBytes = 88;
// Room reserved per key for its label; a longer label just grows the arena.
constexpr size_t kLabelBytesPerKey = 24;
// How many siblings ahead the walk fetches key nodes into the cache.
constexpr int32_t kPrefetchAhead = 4;

// The record offsets of the keys on the current path from the root: a stack,
// and beside it a small table of counts, one per hash of an offset, so that a
// key not on the path (nearly every key) is told apart with one look-up and
// an exact search of the stack is needed only when its count is not zero.
// The table is a few KiB whatever the hive's size; the path is at most
// kMaxEnteredDepth + 1 keys long.
class KeyPath {
 public:
  KeyPath() { m_keys.reserve(kMaxEnteredDepth + 1); }

  bool Holds(uint32_t recordOffset) const {
    if (m_counts[Slot(recordOffset)] == 0) return false;
    return std::find(m_keys.begin(), m_keys.end(), recordOffset) != m_keys.end();
  }
  void Push(uint32_t recordOffset) {
    m_keys.push_back(recordOffset);
    ++m_counts[Slot(recordOffset)];
  }
  void Pop() {
    --m_counts[Slot(m_keys.back())];
    m_keys.pop_back();
  }

 private:
  static constexpr int kSlotBits = 12;
  static size_t Slot(uint32_t recordOffset) { return (recordOffset * 0x9E3779B1u) >> (32 - kSlotBits); }

  std::vector<uint32_t> m_keys;
  std::array<uint16_t, size_t{1} << kSlotBits> m_counts{};
};

class TreeWalk {
 public:
  TreeWalk(KeyTree& tree, KeyIndex& index, HiveFile& hive, BuildSignals& signals)
      : m_tree(tree),
        m_index(index),
        m_hive(hive),
        m_signals(signals),
        // A sound hive holds each name once and needs at least 80 bytes per key,
        // so its labels take at most about twice its size. The tree marks where
        // each label ends in 32 bits, so the labels of a crafted hive of more
        // than 1 GiB stop at 4 GiB.
        m_labelBudget(std::min<uint64_t>(4 * static_cast<uint64_t>(hive.Size()) + 65536, UINT32_MAX)),
        // Lists named by many keys are followed under each, so a few kilobytes
        // could name 2^40 keys. A list element takes at least 4 bytes of the
        // file: the walk reads at most one element per 4 bytes, as many as a
        // walk that followed each list once could ever read (a sound hive
        // reads far fewer: each element also names a key node of 80 bytes or
        // more, or a leaf list, of its own). Every item but the root comes
        // from one element read, so the tables stay within what that walk
        // could build.
        m_elementBudget(static_cast<uint64_t>(hive.Size()) / 4) {
    // A key takes at least kMinKeyBytes of the file; reserving for that many
    // keys keeps the tables from moving, and costs address space only.
    const auto keys = static_cast<size_t>(hive.Size()) / kMinKeyBytes + 16;
    m_tree.Reserve(keys, keys * kLabelBytesPerKey);
    m_index.Reserve(keys);
  }

  BuildOutcome Run() {
    m_signals.keysLoaded.store(0, std::memory_order_relaxed);
    KeyNode root;
    if (hive::FindRootKey(m_hive, root) == 0) return BuildOutcome::kNoRoot;
    hive::AppendKeyName(m_hive, root, m_tree.PendingLabel());
    AddItem(root);
    EnterKey(root, 0);
    if (m_overBudget) return BuildOutcome::kTooLarge;
    return Stopped() ? BuildOutcome::kStopped : BuildOutcome::kComplete;
  }

 private:
  bool Stopped() const {
    return m_overBudget || m_signals.stop.load(std::memory_order_relaxed);
  }

  // Counts one list element read; false, ending the walk, past the budget.
  bool ChargeElement() {
    if (++m_elementsRead <= m_elementBudget) return true;
    m_overBudget = true;
    return false;
  }

  // Adds the item whose label is pending in the tree.
  void AddItem(const KeyNode& key) {
    m_labelBytes += m_tree.PendingLabelSize();
    if (m_labelBytes > m_labelBudget) {
      m_tree.DropPendingLabel();
      m_overBudget = true;
      return;
    }
    const int32_t position = m_tree.AddPendingItem();
    m_index.Append(position, key.recordOffset);
    m_signals.keysLoaded.store(position + 1, std::memory_order_relaxed);
  }

  // Writes the key's label straight into the tree's label arena.
  void WriteLabel(const KeyNode& key) {
    std::string& label = m_tree.PendingLabel();
    hive::AppendKeyName(m_hive, key, label);
    // " (" subkeys "/" values ")": at most 2 + 11 + 1 + 11 + 1 characters.
    char text[32] = {' ', '('};
    char* end = std::to_chars(text + 2, text + 14, hive::GetSubkeyCount(key)).ptr;
    *end = '/';
    end = std::to_chars(end + 1, end + 13, hive::GetValueCount(key)).ptr;
    *end = ')';
    label.append(text, end + 1);
  }

  // Adds the subkeys of key (at depth, its item the last added) below it, each
  // followed by its own, with key on the path meanwhile.
  void EnterKey(const KeyNode& key, int32_t depth) {
    m_path.Push(key.recordOffset);
    AddSubkeys(key, depth);
    m_path.Pop();
  }

  void AddSubkeys(const KeyNode& key, int32_t depth) {
    const uint32_t cell = hive::SubkeyListCell(key);
    if (cell == hive::kNoCell) return;
    SubkeyList list;
    if (!ReadList(hive::RecordOffsetOf(cell), list)) return;
    m_tree.OpenSubLevel();
    if (hive::IsIndexRoot(list)) {
      for (int32_t i = 0; i < list.elementCount && !Stopped() && ChargeElement(); ++i) {
        uint32_t leafCell = 0;
        if (!hive::ReadListElement(m_hive, list, i, leafCell)) break;
        SubkeyList leaf;
        if (ReadList(hive::RecordOffsetOf(leafCell), leaf) && hive::IsLeafList(leaf)) {
          AddLeafList(leaf, depth);
        }
      }
    } else if (hive::IsLeafList(list)) {
      AddLeafList(list, depth);
    }
    m_tree.CloseSubLevel();
  }

  void AddLeafList(const SubkeyList& list, int32_t depth) {
    KeyNode child;
    // Where the file is mapped, the list's elements are read in place, and the
    // key nodes of the siblings ahead are fetched into the cache while this
    // one is handled: the walk waits on memory, not on the processor.
    uint32_t stride = 0;
    const uint8_t* elements = hive::ListElementsInPlace(m_hive, list, stride);
    if (elements != nullptr) {
      for (int32_t i = 0; i < list.elementCount && i < kPrefetchAhead; ++i) {
        PrefetchKeyNode(hive::RecordOffsetOf(hive::LoadU32(elements + stride * static_cast<uint32_t>(i))));
      }
    }
    for (int32_t i = 0; i < list.elementCount && !Stopped() && ChargeElement(); ++i) {
      uint32_t keyCell = 0;
      if (elements != nullptr) {
        keyCell = hive::LoadU32(elements + stride * static_cast<uint32_t>(i));
        if (i + kPrefetchAhead < list.elementCount) {
          const uint32_t ahead = stride * static_cast<uint32_t>(i + kPrefetchAhead);
          PrefetchKeyNode(hive::RecordOffsetOf(hive::LoadU32(elements + ahead)));
        }
      } else if (!hive::ReadListElement(m_hive, list, i, keyCell)) {
        break;
      }
      const uint32_t recordOffset = hive::RecordOffsetOf(keyCell);
      // A key node the file does not hold would only repeat its sibling's bytes.
      if (!hive::HiveHoldsKeyNode(m_hive, recordOffset)) continue;
      hive::ReadKeyNode(m_hive, recordOffset, child);
      // The child's subkey list is read right after its label is written.
      const uint32_t childList = hive::SubkeyListCell(child);
      if (childList != hive::kNoCell) m_hive.Prefetch(hive::RecordOffsetOf(childList));
      WriteLabel(child);
      AddItem(child);
      // A key on the path to here is a cycle: listed, not entered again.
      if (depth + 1 <= kMaxEnteredDepth && !m_path.Holds(recordOffset)) EnterKey(child, depth + 1);
    }
  }

  // The fixed part and the start of the name: two cache lines.
  void PrefetchKeyNode(uint32_t recordOffset) const {
    m_hive.Prefetch(recordOffset);
    m_hive.Prefetch(recordOffset + hive::key_node::kName);
  }

  // Reads the list header at recordOffset; false when it is no list with elements.
  bool ReadList(uint32_t recordOffset, SubkeyList& list) const {
    if (!hive::HiveHolds(m_hive, recordOffset, 4)) return false;
    return hive::ReadSubkeyListAt(m_hive, recordOffset, list) > 0;
  }

  KeyTree& m_tree;
  KeyIndex& m_index;
  HiveFile& m_hive;
  BuildSignals& m_signals;
  KeyPath m_path;
  uint64_t m_labelBytes = 0;
  const uint64_t m_labelBudget;
  uint64_t m_elementsRead = 0;
  const uint64_t m_elementBudget;
  bool m_overBudget = false;
};

}  // namespace

BuildOutcome BuildKeyTree(KeyTree& tree, KeyIndex& index, hive::HiveFile& hive, BuildSignals& signals) {
  const BuildOutcome outcome = TreeWalk(tree, index, hive, signals).Run();
  tree.Finish();
  return outcome;
}

std::string DescribeCutTree(int32_t keysShown) {
  return "the hive's subkey lists repeat, so the key tree was cut after " + std::to_string(keysShown) + " keys";
}

}  // namespace tree
