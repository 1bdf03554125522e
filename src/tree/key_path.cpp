#include "tree/key_path.h"


namespace tree {

std::string_view KeyNameOf(const KeyTree& tree, int32_t position) {
  if (position < 0 || position >= tree.Size()) return {};
  std::string_view label = tree.Label(position);
  if (tree.Parent(position) == KeyTree::kNone) return label;
  // The counts are a few characters at the end: a scan back from there finds
  // them without comparing strings at every position (as rfind does).
  for (size_t at = label.size(); at >= 2; --at) {
    if (label[at - 2] == ' ' && label[at - 1] == '(') return label.substr(0, at - 2);
  }
  return label;
}

std::string KeyPathOf(const KeyTree& tree, int32_t position) {
  std::string path;
  AppendKeyPath(tree, position, path);
  return path;
}

void AppendKeyPath(const KeyTree& tree, int32_t position, std::string& out) {
  if (position < 0 || position >= tree.Size()) return;
  if (tree.Parent(position) == KeyTree::kNone) {
    out += KeyNameOf(tree, position);
    return;
  }
  // Measured on the way up, then written from its end on the way up again.
  size_t length = 0;
  for (int32_t at = position; tree.Parent(at) != KeyTree::kNone; at = tree.Parent(at)) {
    length += KeyNameOf(tree, at).size() + 1;
  }
  const size_t start = out.size();
  out.resize(start + length - 1);
  size_t end = out.size();
  for (int32_t at = position; tree.Parent(at) != KeyTree::kNone; at = tree.Parent(at)) {
    const std::string_view name = KeyNameOf(tree, at);
    end -= name.size();
    name.copy(out.data() + end, name.size());
    if (end > start) out[--end] = '\\';
  }
}

}  // namespace tree
