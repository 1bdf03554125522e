#pragma once
// Bookmarks: the well-known keys of a hive's kind that this hive holds, each
// with a line saying what it is: the keys every artifact reads, and the keys
// analysts look at first.

#include <string>
#include <string_view>
#include <vector>

#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"

namespace artifacts {

struct Bookmark {
  KeyId key = kNoKey;
  std::string path;         // the key's real path below the root
  std::string description;  // one line
};

// The bookmarks of a hive of this kind that exist in it, without repeats, in
// the order of the list (the artifacts' keys first). controlSet stands for
// "CurrentControlSet".
std::vector<Bookmark> ExistingBookmarks(const HiveKeys& keys, HiveKind kind, KeyId controlSet);

}  // namespace artifacts
