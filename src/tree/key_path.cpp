#include "tree/key_path.h"

#include <vector>

namespace tree {

std::string_view KeyNameOf(const KeyTree& tree, int32_t position) {
  if (position < 0 || position >= tree.Size()) return {};
  std::string_view label = tree.Label(position);
  if (tree.Parent(position) != KeyTree::kNone) {
    const size_t counts = label.rfind(" (");
    if (counts != std::string_view::npos) label = label.substr(0, counts);
  }
  return label;
}

std::string KeyPathOf(const KeyTree& tree, int32_t position) {
  if (position < 0 || position >= tree.Size()) return {};
  if (tree.Parent(position) == KeyTree::kNone) return std::string(KeyNameOf(tree, position));
  std::vector<std::string_view> names;
  for (int32_t at = position; tree.Parent(at) != KeyTree::kNone; at = tree.Parent(at)) {
    names.push_back(KeyNameOf(tree, at));
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!path.empty()) path += '\\';
    path += *name;
  }
  return path;
}

}  // namespace tree
