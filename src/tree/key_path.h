#pragma once
// A key's name and path from the finished KeyTree. An item's label is the
// key's name, followed by " (counts)" for every key below the root; the
// counts never hold " (", so the last one starts them.

#include <cstdint>
#include <string>
#include <string_view>

#include "tree/key_tree.h"

namespace tree {

// The key's own name: its label without the counts. Empty for a position
// outside the tree.
std::string_view KeyNameOf(const KeyTree& tree, int32_t position);

// The names of the keys below the root down to the item, joined by "\"; the
// root alone is its own name. Empty for a position outside the tree.
std::string KeyPathOf(const KeyTree& tree, int32_t position);
// The same, appended to out without allocating anything else (for writers
// that make a path for every key).
void AppendKeyPath(const KeyTree& tree, int32_t position, std::string& out);

}  // namespace tree
