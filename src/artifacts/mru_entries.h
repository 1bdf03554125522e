#pragma once
// The entries of a most-recently-used key, as Explorer and its dialogs keep
// them: one value per entry, and a list value giving their order, most recent
// first. MRUListEx (Windows Vista and later, and ShellBags from XP on) holds
// u32 entry numbers ended by 0xFFFFFFFF, each the name of a value ("0", "17");
// MRUList (Windows XP and before) holds one letter per entry, each a value's
// name ("a"). NodeSlot and NodeSlots (ShellBags) are not entries.
//
// Shared by the shell-item and user-activity artifacts.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "artifacts/artifact.h"
#include "artifacts/hive_keys.h"

namespace artifacts {

struct MruEntry {
  std::string name;                 // the value's name
  bool deleted = false;             // a recovered value
  std::optional<int64_t> position;  // its place in the list (0: most recent); none when not listed
  // Which value of the key it is, counting only entries, in the order
  // ReadMruEntries visited them; none when the list names a missing value.
  std::optional<size_t> visited;
  std::string problem;  // "MRUListEx names a value that is not there", "not in MRUListEx", ...
};

// Calls decode(value) for every entry value of key (every value but the list
// and NodeSlot(s)), in the key's value order, then gives the entries in list
// order (a name listed twice counts at its first place), then those the list
// does not name. Each entry's `visited` indexes what decode saw.
std::vector<MruEntry> ReadMruEntries(const HiveKeys& keys, KeyId key,
                                     const std::function<void(const ValueView&)>& decode);

// name with its ASCII letters in lower case: the names of MRU entries, servers
// and programs as lookup keys (Windows compares them without regard to case).
std::string FoldedAscii(std::string_view name);

// A row from entry's value of key: deleted when the value or the key is a
// recovered one, its problem the entry's.
ArtifactRow& AddMruEntryRow(RowSink& rows, KeyId key, const MruEntry& entry);

}  // namespace artifacts
