#include "tree/key_tree.h"

#include <cassert>

#include "tree/huge_pages.h"

namespace tree {

int32_t KeyTree::AddItem(std::string_view label) {
  DropPendingLabel();
  m_labels.append(label);
  return AddPendingItem();
}

void KeyTree::Reserve(size_t items, size_t labelBytes) {
  ReserveInHugePages(m_parent, items);
  ReserveInHugePages(m_row, items);
  ReserveInHugePages(m_childCount, items);
  ReserveInHugePages(m_labelEnd, items);
  ReserveInHugePages(m_labels, labelBytes);
}

int32_t KeyTree::AddPendingItem() {
  const int32_t position = Size();
  const int32_t parent = m_openLevels.empty() ? kNone : m_openLevels.back();
  int32_t& siblings = parent == kNone ? m_topLevelCount : m_childCount[Index(parent)];
  m_parent.push_back(parent);
  m_row.push_back(siblings++);
  m_childCount.push_back(0);
  m_labelEnd.push_back(static_cast<uint32_t>(m_labels.size()));
  m_childTablesBuilt = false;
  return position;
}

void KeyTree::OpenSubLevel() {
  assert(!m_parent.empty());
  m_openLevels.push_back(Size() - 1);
}

void KeyTree::CloseSubLevel() {
  assert(!m_openLevels.empty());
  m_openLevels.pop_back();
}

void KeyTree::Finish() {
  m_openLevels.clear();
  m_openLevels.shrink_to_fit();
}

void KeyTree::BuildChildTables() const {
  // Children are not contiguous in pre-order, so lay out each item's children
  // side by side: offsets from the counts, then every item in its parent's slot.
  ReserveInHugePages(m_childBegin, m_parent.size());
  m_childBegin.assign(m_parent.size(), 0);
  uint32_t next = 0;
  for (size_t i = 0; i < m_parent.size(); ++i) {
    m_childBegin[i] = next;
    next += static_cast<uint32_t>(m_childCount[i]);
  }
  ReserveInHugePages(m_children, next);
  m_children.assign(next, kNone);
  m_topLevel.assign(static_cast<size_t>(m_topLevelCount), kNone);
  for (int32_t position = 0; position < Size(); ++position) {
    const int32_t parent = m_parent[Index(position)];
    const auto row = static_cast<size_t>(m_row[Index(position)]);
    if (parent == kNone) {
      m_topLevel[row] = position;
    } else {
      m_children[m_childBegin[Index(parent)] + row] = position;
    }
  }
  m_childTablesBuilt = true;
}

std::string_view KeyTree::Label(int32_t position) const {
  const size_t begin = position == 0 ? 0 : m_labelEnd[Index(position) - 1];
  return std::string_view(m_labels).substr(begin, m_labelEnd[Index(position)] - begin);
}

int32_t KeyTree::Depth(int32_t position) const {
  int32_t depth = 0;
  for (int32_t p = m_parent[Index(position)]; p != kNone; p = m_parent[Index(p)]) ++depth;
  return depth;
}

int32_t KeyTree::ChildCount(int32_t parent) const {
  return parent == kNone ? m_topLevelCount : m_childCount[Index(parent)];
}

int32_t KeyTree::Child(int32_t parent, int32_t row) const {
  if (!m_childTablesBuilt) BuildChildTables();
  if (parent == kNone) return m_topLevel[static_cast<size_t>(row)];
  return m_children[m_childBegin[Index(parent)] + static_cast<size_t>(row)];
}

size_t KeyTree::MemoryBytes() const {
  const auto bytes = [](const auto& v) { return v.capacity() * sizeof(v[0]); };
  return bytes(m_parent) + bytes(m_row) + bytes(m_childCount) + bytes(m_labelEnd) +
         m_labels.capacity() + bytes(m_childBegin) + bytes(m_children) + bytes(m_topLevel);
}

}  // namespace tree
