#pragma once
// The keys of a subtree of the finished KeyTree in pre-order, with each key's
// path below the root. Items are stored in pre-order, so the subtree of item
// is item itself and the positions after it whose parent lies at or after it.
// Memory: the path and one entry per level of the current key.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tree/key_path.h"
#include "tree/key_tree.h"

namespace exporting {

class SubtreeWalk {
 public:
  SubtreeWalk(const tree::KeyTree& keys, int32_t item) : m_keys(keys), m_start(item) {}

  // Moves to the next key (the first call: item itself); false at the end.
  bool Next() {
    const int32_t next = m_open.empty() ? m_start : m_position + 1;
    m_closed = static_cast<int32_t>(m_open.size());
    if (next < 0 || next >= m_keys.Size() || (!m_open.empty() && m_keys.Parent(next) < m_start)) {
      return false;
    }
    m_position = next;
    if (m_open.empty()) {
      // The root's path below itself is empty; any other item's is its KeyPathOf.
      if (m_keys.Parent(next) != tree::KeyTree::kNone) m_path = tree::KeyPathOf(m_keys, next);
    } else {
      const int32_t parent = m_keys.Parent(next);
      while (m_open.back().position != parent) m_open.pop_back();
      m_path.resize(m_open.back().pathSize);
      if (!m_path.empty()) m_path += '\\';
      m_path += tree::KeyNameOf(m_keys, next);
    }
    m_closed -= static_cast<int32_t>(m_open.size());
    m_open.push_back({next, m_path.size()});
    return true;
  }

  int32_t Position() const { return m_position; }
  bool AtStart() const { return m_position == m_start; }
  // Keys whose subtree ended before this one (0 when it is the previous
  // key's first child); after Next() returned false, the keys still open.
  int32_t ClosedKeys() const { return m_closed; }
  // The names below the root down to the key, joined by "\"; empty for the root.
  std::string_view PathBelowRoot() const { return m_path; }

 private:
  struct OpenKey {
    int32_t position;
    size_t pathSize;
  };
  const tree::KeyTree& m_keys;
  const int32_t m_start;
  int32_t m_position = -1;
  int32_t m_closed = 0;
  std::string m_path;
  std::vector<OpenKey> m_open;
};

}  // namespace exporting
