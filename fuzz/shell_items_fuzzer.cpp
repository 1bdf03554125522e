// libFuzzer target: any byte sequence taken as a shell item list (a ComDlg32
// PIDL MRU value, or the list after a RecentDocs name) and as the one item of
// a ShellBags value, with its path and problems written out; and as text for
// the known folder names. The parser's promises are checked: a list holds at
// most one item per 3 bytes and one cut short, items lie inside the data (the
// last one may be cut, and then says so), a list without a problem ended with
// a size 0, every name is bounded by its item's bytes, and an item reads alike
// alone and in its list.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "artifacts/decoders.h"
#include "artifacts/shell_items.h"

namespace {

// UTF-8 of Latin-1 is at most 2 bytes a byte, of UTF-16 3 bytes per 2; a
// GUID's name or an unknown item's label is short.
constexpr size_t kNameSlack = 128;

void CheckList(std::span<const uint8_t> data) {
  const artifacts::ShellItemList list = artifacts::ParseShellItemList(data);
  if (list.items.size() > data.size() / 3 + 1) std::abort();
  size_t used = 0;
  for (size_t i = 0; i < list.items.size(); ++i) {
    const artifacts::ShellItem& item = list.items[i];
    if (item.size < 3 || item.name.size() > 2 * size_t{item.size} + kNameSlack) std::abort();
    used += item.size;
    const bool last = i + 1 == list.items.size();
    if (used > data.size() && !(last && !item.problem.empty() && !list.problem.empty())) std::abort();
  }
  // A list without a problem ended with a size 0 inside the data.
  if (list.problem.empty() && used + 2 > data.size()) std::abort();
  const std::string path = artifacts::ShellItemPath(list);
  const std::string problems = artifacts::ShellItemProblems(list);
  if (!list.problem.empty() && problems.empty()) std::abort();
  if (path.size() > 2 * data.size() + kNameSlack * (list.items.size() + 1)) std::abort();

  const artifacts::ShellItem first = artifacts::ParseShellItem(data);
  if (!list.items.empty() && (first.name != list.items[0].name || first.kind != list.items[0].kind)) std::abort();
  if (list.items.empty() && first.problem.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckList(std::span<const uint8_t>(data, size));
  const std::string_view text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
  const std::string named = artifacts::WithKnownFolderName(text);
  if (named.size() > text.size() + kNameSlack) std::abort();
  return 0;
}
