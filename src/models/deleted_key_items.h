#pragma once
// DeletedKeyItems: the deleted keys and values of a scan laid out as items
// added to the KeyTree, for KeyTreeModel to show beside the live ones.
//
// Positions go on from the live tree's: the live items keep 0 .. LiveSize()-1,
// and the added items are LiveSize() and up. Added items:
//  - each deleted key tied to a live key, after that key's live children;
//  - each deleted key tied to another deleted key, below it;
//  - one more top-level item, "Deleted keys without a known parent", after
//    the live top-level items, holding the rest of the keys and, first, an
//    item "Values without a known key" when the scan found such values.
// A tie to an item or key the tree or the records do not hold counts as no
// tie. The records are taken as the scan hands them out: their deleted
// parents never form a cycle.
//
// Plain data, built once per scan; GUI thread only, like the model.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "deleted/deleted_records.h"
#include "tree/key_tree.h"

namespace ui {

class DeletedKeyItems {
 public:
  static constexpr const char* kGroupLabel = "Deleted keys without a known parent";
  static constexpr const char* kUnclaimedValuesLabel = "Values without a known key";

  // tree must be finished and stay alive and unchanged while these items exist.
  DeletedKeyItems(const tree::KeyTree& tree, std::shared_ptr<const deleted::DeletedRecords> records);

  const deleted::DeletedRecords& Records() const { return *m_records; }
  int32_t LiveSize() const { return m_liveSize; }
  // True for the position of an added item.
  bool Holds(int32_t position) const;

  // The top-level item, and the item of the values without a known key
  // (tree::KeyTree::kNone when there are none).
  int32_t GroupPosition() const { return m_liveSize; }
  int32_t UnclaimedValuesPosition() const;
  // The deleted key (an index into Records().keys) an added item shows, or
  // deleted::kUnknown for the two items that show no key.
  int32_t KeyOf(int32_t position) const;
  int32_t PositionOfKey(int32_t key) const;

  // The added children of parent: a live item, an added item, or
  // tree::KeyTree::kNone for the top level. They come after parent's live children.
  int32_t ChildCount(int32_t parent) const;
  int32_t Child(int32_t parent, int32_t row) const;
  // The live items that have deleted values, in position order.
  const std::vector<int32_t>& LiveParentsOfValues() const { return m_liveParentsOfValues; }

  // For an added item: its parent (a live or added position, or kNone for the
  // top-level item) and its row among the parent's added children.
  int32_t Parent(int32_t position) const;
  int32_t AddedRow(int32_t position) const;

  // The label of an added item: a deleted key's as a live key's ("Name (3/1)",
  // the counts the record stores); the two other items' texts above.
  std::string Label(int32_t position) const;
  // The deleted key's name, or the item's label.
  std::string Name(int32_t position) const;
  // A deleted key's path as the tree shows it: the path of its live ancestor
  // (tree::KeyPathOf) and the deleted names down to it, joined by ""; under
  // the top-level item, "?" stands for the unknown part. The two other
  // items' path is their label. tree is the one the items were built on.
  std::string Path(const tree::KeyTree& tree, int32_t position) const;

  // The deleted values listed with an item's rows (indexes into
  // Records().values, file-offset order): a live key's past its live rows, a
  // deleted key's, and the unclaimed ones for their item. Empty for others.
  std::span<const int32_t> ValuesOf(int32_t position) const;

 private:
  int32_t Slot(int32_t position) const { return position - m_liveSize; }
  int32_t SlotCount() const { return static_cast<int32_t>(m_parent.size()); }
  int32_t AddSlot(int32_t key);
  void TieKeys();
  void TieValues();
  void AddChild(int32_t parent, int32_t slot);

  std::shared_ptr<const deleted::DeletedRecords> m_records;
  int32_t m_liveSize = 0;
  int32_t m_keySlotBase = 1;  // slot of key 0; 2 when the unclaimed values have an item

  // Per slot.
  std::vector<int32_t> m_parent;
  std::vector<int32_t> m_row;
  std::vector<int32_t> m_key;
  std::vector<std::vector<int32_t>> m_children;
  std::vector<std::vector<int32_t>> m_values;

  std::vector<int32_t> m_liveParentsOfValues;
  std::unordered_map<int32_t, std::vector<int32_t>> m_liveChildren;
  std::unordered_map<int32_t, std::vector<int32_t>> m_liveValues;
};

}  // namespace ui
