#pragma once
// Key nodes ("nk" records) and the subkey lists that lead from a key to its
// children. Every read positions the file first; nothing is cached.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "hive/format.h"
#include "hive/hive_file.h"
#include "hive/little_endian.h"

namespace hive {

// The in-memory copy of a key node: where it was read, and its fixed part
// (record offsets 0x00 to 0x4B, everything before the name).
struct KeyNode {
  uint32_t recordOffset = 0;
  std::array<uint8_t, key_node::kFixedSize> bytes{};
};

// A subkey list's header: where it lies, its signature and its element count.
struct SubkeyList {
  uint32_t recordOffset = 0;
  uint16_t signature = 0;
  int16_t elementCount = 0;
};

// Field accessors of a KeyNode; none reads the file.
inline uint16_t KeyFlags(const KeyNode& key) { return LoadU16(key.bytes.data() + key_node::kFlags); }
// The stored subkey count, signed.
inline int32_t GetSubkeyCount(const KeyNode& key) { return LoadI32(key.bytes.data() + key_node::kSubkeyCount); }
// kNoCell when the key has no subkeys.
inline uint32_t SubkeyListCell(const KeyNode& key) { return LoadU32(key.bytes.data() + key_node::kSubkeyList); }
// The stored value count, signed.
inline int32_t GetValueCount(const KeyNode& key) { return LoadI32(key.bytes.data() + key_node::kValueCount); }
// kNoCell when the key has no values.
inline uint32_t ValueListCell(const KeyNode& key) { return LoadU32(key.bytes.data() + key_node::kValueList); }
inline int16_t KeyNameLength(const KeyNode& key) { return LoadI16(key.bytes.data() + key_node::kNameLength); }

// Where a stored name (a key's or a value's) lies and how it is encoded.
struct StoredName {
  uint32_t offset = 0;  // file offset of the name's first byte
  uint32_t count = 0;   // its bytes: 0 to INT16_MAX (a zero or negative stored length gives 0)
  bool utf16 = false;   // UTF-16LE; else one byte per character (Latin-1)
};

// The key's name as stored: one byte per character when the flags have 0x0020.
StoredName KeyNameOf(const KeyNode& key);

// Appends the name as UTF-8 (see GetKeyName), from held, the first bytes of
// the name that the file supplied; bytes past them read as spaces in the
// name's encoding.
void AppendStoredName(const StoredName& name, std::span<const uint8_t> held, std::string& out);

// Reads the name from the hive and appends it as AppendStoredName does. The
// read position ends after the name; a name at 2^31 or beyond, which the read
// position cannot reach, is all spaces and leaves it alone.
void ReadStoredName(HiveFile& hive, const StoredName& name, std::string& out);

// Fills key with the 76 bytes at recordOffset. Bytes the file cannot supply keep
// what key held before.
void ReadKeyNode(HiveFile& hive, uint32_t recordOffset, KeyNode& key);

// True when the whole fixed part of a key node at recordOffset lies in the file.
bool HiveHoldsKeyNode(const HiveFile& hive, uint32_t recordOffset);

// The key's name as UTF-8: one byte per character (Latin-1) when the flags have
// 0x0020, else UTF-16LE. The name ends at the first zero byte (code unit); a
// negative name length gives the empty name; characters past the end of the
// file read as spaces.
std::string GetKeyName(HiveFile& hive, const KeyNode& key);
void AppendKeyName(HiveFile& hive, const KeyNode& key, std::string& out);

// Reads the header of the list at recordOffset into list. Returns the kind's
// element count for "li", "lf", "lh" and "ri" lists, else 0.
int32_t ReadSubkeyListAt(HiveFile& hive, uint32_t recordOffset, SubkeyList& list);

bool IsLeafList(const SubkeyList& list);  // "li", "lf" or "lh"
bool IsIndexRoot(const SubkeyList& list);  // "ri"

// Reads element index of list (a leaf list's key node cell, an index root's leaf
// list cell) into cellOffset. False, leaving cellOffset alone, when index is out
// of range, the list is of no known kind, or the file does not hold the element.
bool ReadListElement(HiveFile& hive, const SubkeyList& list, int32_t index, uint32_t& cellOffset);

// The elements of list in place in the map: element i begins at the result +
// i * stride with its 4-byte cell offset (what ReadListElement reads). None,
// leaving stride alone, when the list is of no known kind, holds no elements,
// or the file is not mapped or does not hold every element; read them one by
// one with ReadListElement then.
const uint8_t* ListElementsInPlace(const HiveFile& hive, const SubkeyList& list, uint32_t& stride);

// Reads the key's subkey list header. Returns the number of subkeys it leads
// to: a leaf list's element count, an index root's total over its leaf lists,
// 0 for a key without subkeys or a list of another kind. The count may be
// negative for a damaged leaf list; callers then fetch nothing.
int32_t ReadSubkeyList(HiveFile& hive, const KeyNode& key, SubkeyList& list);

// Fills key with subkey index of list (counted across the leaf lists of an
// index root). An index out of range, or an element the file does not hold,
// leaves key unchanged.
void GetSubkey(HiveFile& hive, const SubkeyList& list, int32_t index, KeyNode& key);

// Finds the hive's root key: the first bin whose first cell is a key node with
// flags exactly 0x002C, stepping from bin to bin by each bin's size; failing
// that, the root cell named by the base block if it holds a key node.
// Returns 1 and fills root when found, else 0 and leaves root alone.
int FindRootKey(HiveFile& hive, KeyNode& root);

}  // namespace hive
