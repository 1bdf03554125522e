#include "tree/key_index.h"

namespace tree {

std::optional<uint32_t> KeyIndex::Find(int32_t itemPosition) const {
  // The builder appends one element per item in item order, so element k
  // normally holds position k; fall back to a walk if it does not.
  if (itemPosition >= 0 && itemPosition < Size() &&
      m_elements[static_cast<size_t>(itemPosition)].itemPosition == itemPosition) {
    return m_elements[static_cast<size_t>(itemPosition)].recordOffset;
  }
  for (const KeyIndexElement& element : m_elements) {
    if (element.itemPosition == itemPosition) return element.recordOffset;
  }
  return std::nullopt;
}

}  // namespace tree
