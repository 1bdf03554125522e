#include "models/deleted_key_items.h"

#include <algorithm>
#include <utility>

#include "deleted/scan_deleted.h"

namespace ui {
namespace {

constexpr int32_t kNone = tree::KeyTree::kNone;

bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

const std::vector<int32_t>& Empty() {
  static const std::vector<int32_t> none;
  return none;
}

}  // namespace

DeletedKeyItems::DeletedKeyItems(const tree::KeyTree& tree, std::shared_ptr<const deleted::DeletedRecords> records)
    : m_records(std::move(records)), m_liveSize(tree.Size()) {
  AddSlot(deleted::kUnknown);  // the top-level item
  m_parent[0] = kNone;
  bool unclaimed = false;
  for (const deleted::DeletedValue& value : m_records->values) {
    unclaimed = unclaimed || (!InRange(value.liveKeyItem, static_cast<size_t>(m_liveSize)) &&
                              !InRange(value.deletedKey, m_records->keys.size()));
  }
  if (unclaimed) AddChild(GroupPosition(), AddSlot(deleted::kUnknown));
  m_keySlotBase = SlotCount();
  for (size_t key = 0; key < m_records->keys.size(); ++key) AddSlot(static_cast<int32_t>(key));
  TieKeys();
  TieValues();
}

int32_t DeletedKeyItems::AddSlot(int32_t key) {
  m_parent.push_back(kNone);
  m_row.push_back(0);
  m_key.push_back(key);
  m_children.emplace_back();
  m_values.emplace_back();
  return SlotCount() - 1;
}

void DeletedKeyItems::AddChild(int32_t parent, int32_t slot) {
  std::vector<int32_t>* siblings = nullptr;
  if (Holds(parent)) {
    siblings = &m_children[static_cast<size_t>(Slot(parent))];
  } else {
    siblings = &m_liveChildren[parent];
  }
  m_parent[static_cast<size_t>(slot)] = parent;
  m_row[static_cast<size_t>(slot)] = static_cast<int32_t>(siblings->size());
  siblings->push_back(m_liveSize + slot);
}

void DeletedKeyItems::TieKeys() {
  const auto& keys = m_records->keys;
  for (size_t key = 0; key < keys.size(); ++key) {
    const deleted::DeletedKey& record = keys[key];
    const int32_t slot = m_keySlotBase + static_cast<int32_t>(key);
    int32_t parent = GroupPosition();
    if (InRange(record.liveParentItem, static_cast<size_t>(m_liveSize))) {
      parent = record.liveParentItem;
    } else if (InRange(record.deletedParent, keys.size())) {
      parent = PositionOfKey(record.deletedParent);
    }
    AddChild(parent, slot);
  }
}

void DeletedKeyItems::TieValues() {
  const auto& values = m_records->values;
  for (size_t value = 0; value < values.size(); ++value) {
    const deleted::DeletedValue& record = values[value];
    const auto index = static_cast<int32_t>(value);
    if (InRange(record.liveKeyItem, static_cast<size_t>(m_liveSize))) {
      std::vector<int32_t>& listed = m_liveValues[record.liveKeyItem];
      if (listed.empty()) m_liveParentsOfValues.push_back(record.liveKeyItem);
      listed.push_back(index);
    } else if (InRange(record.deletedKey, m_records->keys.size())) {
      m_values[static_cast<size_t>(m_keySlotBase + record.deletedKey)].push_back(index);
    } else {
      m_values[static_cast<size_t>(Slot(UnclaimedValuesPosition()))].push_back(index);
    }
  }
  std::sort(m_liveParentsOfValues.begin(), m_liveParentsOfValues.end());
}

bool DeletedKeyItems::Holds(int32_t position) const {
  return position >= m_liveSize && position - m_liveSize < SlotCount();
}

int32_t DeletedKeyItems::UnclaimedValuesPosition() const {
  return m_keySlotBase > 1 ? m_liveSize + 1 : kNone;
}

int32_t DeletedKeyItems::KeyOf(int32_t position) const {
  return Holds(position) ? m_key[static_cast<size_t>(Slot(position))] : deleted::kUnknown;
}

int32_t DeletedKeyItems::PositionOfKey(int32_t key) const { return m_liveSize + m_keySlotBase + key; }

int32_t DeletedKeyItems::ChildCount(int32_t parent) const {
  if (parent == kNone) return 1;
  if (Holds(parent)) return static_cast<int32_t>(m_children[static_cast<size_t>(Slot(parent))].size());
  const auto at = m_liveChildren.find(parent);
  return at == m_liveChildren.end() ? 0 : static_cast<int32_t>(at->second.size());
}

int32_t DeletedKeyItems::Child(int32_t parent, int32_t row) const {
  if (parent == kNone) return GroupPosition();
  if (Holds(parent)) return m_children[static_cast<size_t>(Slot(parent))][static_cast<size_t>(row)];
  return m_liveChildren.at(parent)[static_cast<size_t>(row)];
}

int32_t DeletedKeyItems::Parent(int32_t position) const { return m_parent[static_cast<size_t>(Slot(position))]; }

int32_t DeletedKeyItems::AddedRow(int32_t position) const { return m_row[static_cast<size_t>(Slot(position))]; }

std::string DeletedKeyItems::Name(int32_t position) const {
  const int32_t key = KeyOf(position);
  if (key != deleted::kUnknown) return m_records->keys[static_cast<size_t>(key)].name;
  return position == GroupPosition() ? kGroupLabel : kUnclaimedValuesLabel;
}

std::string DeletedKeyItems::Label(int32_t position) const {
  const int32_t key = KeyOf(position);
  if (key == deleted::kUnknown) return Name(position);
  const deleted::DeletedKey& record = m_records->keys[static_cast<size_t>(key)];
  return record.name + " (" + std::to_string(record.subkeyCount) + "/" + std::to_string(record.valueCount) + ")";
}

std::string DeletedKeyItems::Path(const tree::KeyTree& tree, int32_t position) const {
  const int32_t key = KeyOf(position);
  if (key == deleted::kUnknown) return Name(position);
  return deleted::DeletedKeyPath(tree, *m_records, static_cast<size_t>(key));
}

std::span<const int32_t> DeletedKeyItems::ValuesOf(int32_t position) const {
  if (Holds(position)) return m_values[static_cast<size_t>(Slot(position))];
  const auto at = m_liveValues.find(position);
  return at == m_liveValues.end() ? std::span<const int32_t>(Empty()) : std::span<const int32_t>(at->second);
}

}  // namespace ui
