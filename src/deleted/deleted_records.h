#pragma once
// Deleted keys and values: "nk" and "vk" records that Windows freed but did
// not erase, recovered from the parts of the hive the live tree does not use
// (free cells, allocated cells nothing references, the slack after a record's
// own length inside its cell, the bytes past the last hive bin).
//
// These are the records the scan hands to the rest of the program (the
// viewer's toggle, keyloom-dump --deleted, the timeline). Plain data: once
// scanned they may be read from any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace deleted {

// Where a recovered record was found.
enum class FoundIn : uint8_t {
  kFreeCell,         // a cell with a positive size field
  kUnreferencedCell, // an allocated cell that nothing live references
  kSlack,            // past a live record's own length inside its cell
  kPastLastBin,      // between the end of the last hive bin and the end of the file
};

// Where a record was found, as a phrase for tooltips, Key Properties and
// reports: "in a free cell", "in an allocated cell nothing references", "in
// the slack of a live cell", "past the last hive bin".
constexpr std::string_view FoundInText(FoundIn place) {
  switch (place) {
    case FoundIn::kFreeCell: return "in a free cell";
    case FoundIn::kUnreferencedCell: return "in an allocated cell nothing references";
    case FoundIn::kSlack: return "in the slack of a live cell";
    case FoundIn::kPastLastBin: return "past the last hive bin";
  }
  return {};
}

// No parent, key or item: the record's tie is not known.
constexpr int32_t kUnknown = -1;

struct DeletedKey {
  uint32_t recordOffset = 0;  // file offset of the "nk" record (past the cell's size field)
  FoundIn foundIn = FoundIn::kFreeCell;
  std::string name;           // UTF-8
  uint64_t lastWritten = 0;   // FILETIME, as stored
  uint32_t subkeyCount = 0;   // stable subkeys, as stored
  uint32_t volatileSubkeyCount = 0;
  uint32_t valueCount = 0;    // as stored
  uint32_t parentOffset = 0;  // the record's parent offset field (0x10)
  // Exactly one of these ties holds, or neither (no known parent):
  int32_t liveParentItem = kUnknown;  // KeyTree position of the live key it belongs under
  int32_t deletedParent = kUnknown;   // index into DeletedRecords::keys
};

struct DeletedValue {
  uint32_t recordOffset = 0;  // file offset of the "vk" record
  FoundIn foundIn = FoundIn::kFreeCell;
  std::string name;           // UTF-8; empty for the default value
  bool isDefault = false;     // no name stored: the key's default value
  uint32_t type = 0;
  uint32_t storedLength = 0;  // the length field as stored (bit 31: inline data)
  uint32_t dataOffset = 0;    // the data offset field as stored: a cell offset, or inline data
  // Exactly one of these ties holds, or neither (no known key):
  int32_t liveKeyItem = kUnknown;  // KeyTree position of the live key whose list names it
  int32_t deletedKey = kUnknown;   // index into DeletedRecords::keys
  // The data cell it names is now referenced by a live record: the data may
  // have been overwritten since the value was deleted.
  bool dataMayBeOverwritten = false;
};

struct DeletedRecords {
  std::vector<DeletedKey> keys;      // in file-offset order
  std::vector<DeletedValue> values;  // in file-offset order
};

}  // namespace deleted
