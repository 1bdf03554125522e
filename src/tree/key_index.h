#pragma once
// KeyIndex: leads from a KeyTree item back to the key node it shows.

#include <cstdint>
#include <optional>
#include <vector>

#include "tree/huge_pages.h"

namespace tree {

struct KeyIndexElement {
  int32_t itemPosition = 0;
  uint32_t recordOffset = 0;  // file offset of the key's "nk" record
};

class KeyIndex {
 public:
  void Append(int32_t itemPosition, uint32_t recordOffset) {
    m_elements.push_back({itemPosition, recordOffset});
  }
  // Makes room for elements in all, so that appending them never moves the
  // list. Untouched room costs address space only.
  void Reserve(size_t elements) { ReserveInHugePages(m_elements, elements); }
  // The record offset of the first element with this item position, if any.
  std::optional<uint32_t> Find(int32_t itemPosition) const;
  int32_t Size() const { return static_cast<int32_t>(m_elements.size()); }
  const KeyIndexElement& At(int32_t place) const { return m_elements[static_cast<size_t>(place)]; }
  size_t MemoryBytes() const { return m_elements.capacity() * sizeof(KeyIndexElement); }

 private:
  std::vector<KeyIndexElement> m_elements;
};

}  // namespace tree
