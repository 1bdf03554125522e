#pragma once
// KeyTree: the items of the key tree as plain data, in the order they were
// added (pre-order), so an item's position is its index. Labels live once in
// one arena of UTF-8 text. Parent, row and child tables make every look-up a
// constant-time array access, whatever the number of siblings.
//
// Built by one thread with AddItem / OpenSubLevel / CloseSubLevel, then
// Finish(); after that it is only read, by one thread at a time, and may be
// handed to another thread. The child tables are built on the first Child()
// call, so a reader that never asks for children (a dump) never pays for them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tree {

class KeyTree {
 public:
  static constexpr int32_t kNone = -1;  // the parent of a top-level item

  // Adds an item at the end: the last child of the innermost open sub-level, or a
  // top-level item when none is open. Returns its position.
  int32_t AddItem(std::string_view label);

  // Writing a label in place, with no copy: append its text to PendingLabel(),
  // then AddPendingItem() adds an item with that label (as AddItem does), or
  // DropPendingLabel() discards the text.
  std::string& PendingLabel() { return m_labels; }
  size_t PendingLabelSize() const { return m_labels.size() - LabelsEnd(); }
  int32_t AddPendingItem();
  void DropPendingLabel() { m_labels.resize(LabelsEnd()); }

  // Makes room for items and labelBytes of labels in all, so that a build of
  // that size never moves the tables. Untouched room costs address space only.
  void Reserve(size_t items, size_t labelBytes);
  // The most recently added item becomes the innermost open sub-level.
  void OpenSubLevel();
  // Closes the innermost open sub-level.
  void CloseSubLevel();
  // Ends the building: no more items will be added.
  void Finish();

  int32_t Size() const { return static_cast<int32_t>(m_parent.size()); }
  bool Empty() const { return m_parent.empty(); }
  std::string_view Label(int32_t position) const;
  int32_t Parent(int32_t position) const { return m_parent[Index(position)]; }
  // The item's row among its parent's children (or among the top-level items).
  int32_t Row(int32_t position) const { return m_row[Index(position)]; }
  int32_t Depth(int32_t position) const;

  // Children of parent, or the top-level items when parent is kNone. Child()
  // needs Finish(); its first call builds the child tables.
  int32_t ChildCount(int32_t parent) const;
  int32_t Child(int32_t parent, int32_t row) const;

  // Bytes held by the tables (labels included).
  size_t MemoryBytes() const;

 private:
  static size_t Index(int32_t position) { return static_cast<size_t>(position); }
  size_t LabelsEnd() const { return m_labelEnd.empty() ? 0 : m_labelEnd.back(); }

  std::vector<int32_t> m_parent;
  std::vector<int32_t> m_row;
  std::vector<int32_t> m_childCount;
  std::vector<uint32_t> m_labelEnd;  // label i is m_labels[m_labelEnd[i-1], m_labelEnd[i])
  std::string m_labels;
  int32_t m_topLevelCount = 0;
  std::vector<int32_t> m_openLevels;
  void BuildChildTables() const;

  // Built by the first Child(): the children of item i are
  // m_children[m_childBegin[i] ...].
  mutable bool m_childTablesBuilt = false;
  mutable std::vector<uint32_t> m_childBegin;
  mutable std::vector<int32_t> m_children;
  mutable std::vector<int32_t> m_topLevel;
};

}  // namespace tree
