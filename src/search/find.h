#pragma once
// Find: searches the finished key tree of an open hive for a text, in key
// names, value names and string data, one key at a time in pre-order.
//
// A search reads the hive through in-place reads of its own and never
// through the hive's read position, so it can run on a worker thread while
// the GUI thread lists values with ShowKeyValues. The tree, the index and the
// hive must stay alive and unchanged while a search runs.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace search {

// Where to look: any combination, all three by default.
enum class Where : uint8_t {
  kKeyNames = 1,
  kValueNames = 2,
  kValueData = 4,  // String, ExpandString and each string of a MultiString
  kAll = 7,
};

struct FindOptions {
  std::string text;        // UTF-8; an empty text matches nothing
  bool matchCase = false;  // off: compared case-folded (full Unicode simple folding)
  bool wholeName = false;  // the whole name (or string) equals the text
  uint8_t where = static_cast<uint8_t>(Where::kAll);
};

// A match: the key's item position, and the value's index in the key's value
// list when a value matched (kKeyItself when the key's own name matched).
// As a starting point, {item, kBeforeKey} lies just before the key's own
// name, so a search for the next match from there considers that key first.
struct FindMatch {
  static constexpr int32_t kBeforeKey = -2;
  static constexpr int32_t kKeyItself = -1;
  int32_t item = 0;
  int32_t value = kKeyItself;
  friend bool operator==(const FindMatch&, const FindMatch&) = default;
};

enum class Direction { kNext, kPrevious };

// What a worker thread shares with the GUI thread during a search.
struct FindSignals {
  std::atomic<int32_t> keysSearched{0};  // written by the search only
  std::atomic<bool> stop{false};         // set by another thread; checked between two keys
};

// True when a search can read the hive: Find reads only through the file's
// map, so a hive whose file could not be mapped is never searched, and every
// search of it finds nothing. A part of a record the map does not hold (past
// the end of the file, or at 2^31 and beyond) reads as missing: a key node or
// value record not held whole is not searched, a value list ends at its first
// entry not held, and names and data end where the file does.
bool HiveSearchable(const hive::HiveFile& hive);

// Finds the first match after `from` (kNext) or before it (kPrevious) in the
// order of the matches: keys in pre-order, and within one key its own name
// first, then its values in value-list order. Wraps around at the end (or the
// start) of the tree, and comes back to `from` itself last. Returns none when
// nothing matches or the stop flag ended the search. Safe to call on a worker
// thread while another thread uses the hive's read position.
//  - A from.item outside the tree is taken as {0, kBeforeKey}.
//  - keysSearched is set to 0 first and counts every key looked at.
//  - Names are compared as GetKeyName and GetValueName decode them, except
//    that the default value has no name to match ("{default}" is how it is
//    shown). Data is decoded as GetValueText decodes it: for String and
//    ExpandString the text up to the first NUL, for MultiString each string
//    up to the first empty one; other types have no text. A value matching
//    by name and by data is one match.
//  - match.value counts the key's value list as GetValue does. A value whose
//    record the file does not hold matches nothing (the ValueTable has no row
//    for it, so a row number is the count of the fetched values before it);
//    an entry the file does not hold ends the key's values.
//  - The stop flag is also checked every 4096 values of one key. One key's
//    names and data are looked at up to about twice the file's size, so a
//    crafted value list naming one large record again and again cannot hold
//    a search for long; values past that do not match.
//  - A search allocates its few buffers (about 300 KiB) at its start and
//    nothing per key.
std::optional<FindMatch> FindNextMatch(const hive::HiveFile& hive, const tree::KeyTree& keys,
                                       const tree::KeyIndex& index, const FindOptions& options,
                                       FindMatch from, Direction direction, FindSignals& signals);

}  // namespace search
