#include "hive/key_node.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "hive/little_endian.h"
#include "hive/text.h"

namespace hive {


namespace {

// Byte i of a UTF-16LE run of spaces, for every i a stored name can hold.
constexpr auto kUtf16Spaces = [] {
  std::array<uint8_t, INT16_MAX> spaces{};
  for (size_t i = 0; i < spaces.size(); i += 2) spaces[i] = ' ';
  return spaces;
}();

// Leaves the read position where a read of the in-place range [offset, end)
// would have left it. The map holds nothing at 2^31 or beyond.
void PassInPlace(HiveFile& hive, uint32_t end) {
  SeekHive(hive, static_cast<int32_t>(std::min<uint32_t>(end, INT32_MAX)));
}

}  // namespace

void ReadKeyNode(HiveFile& hive, uint32_t recordOffset, KeyNode& key) {
  key.recordOffset = recordOffset;
  if (const uint8_t* inPlace = hive.BytesAt(recordOffset, key_node::kFixedSize)) {
    std::memcpy(key.bytes.data(), inPlace, key_node::kFixedSize);
    PassInPlace(hive, recordOffset + key_node::kFixedSize);
    return;
  }
  SeekHive(hive, static_cast<int32_t>(recordOffset));
  ReadHiveBytes(hive, key.bytes.data(), key_node::kFixedSize);
}

bool HiveHoldsKeyNode(const HiveFile& hive, uint32_t recordOffset) {
  return HiveHolds(hive, recordOffset, key_node::kFixedSize);
}

StoredName KeyNameOf(const KeyNode& key) {
  const int16_t length = KeyNameLength(key);
  StoredName name;
  name.offset = key.recordOffset + key_node::kName;
  name.count = length > 0 ? static_cast<uint32_t>(length) : 0;  // a negative length cannot be a name
  name.utf16 = (KeyFlags(key) & key_node::kCompressedName) == 0;
  return name;
}

namespace {

// Decodes the name from bytes, which hold all of its name.count bytes.
void DecodeName(const StoredName& name, const uint8_t* bytes, std::string& out) {
  if (name.utf16) {
    AppendUtf16Le(out, bytes, name.count);
  } else {
    AppendLatin1(out, bytes, name.count);
  }
}

// Decodes a name of which only the held bytes are known: the characters the
// file cannot supply read as spaces. Rare (a name cut by the file's end), so
// its room comes from the heap and no common path carries it on the stack.
void DecodePaddedName(const StoredName& name, std::span<const uint8_t> held, std::string& out) {
  std::vector<uint8_t> padded(name.count, ' ');
  if (name.utf16) std::memcpy(padded.data(), kUtf16Spaces.data(), name.count);
  std::copy(held.begin(), held.end(), padded.begin());
  DecodeName(name, padded.data(), out);
}

}  // namespace

void AppendStoredName(const StoredName& name, std::span<const uint8_t> held, std::string& out) {
  if (held.size() >= name.count) {
    DecodeName(name, held.data(), out);
  } else {
    DecodePaddedName(name, held, out);
  }
}

void ReadStoredName(HiveFile& hive, const StoredName& name, std::string& out) {
  if (name.count == 0) return;
  if (const uint8_t* inPlace = hive.BytesAt(name.offset, name.count)) {
    AppendStoredName(name, {inPlace, name.count}, out);
    PassInPlace(hive, name.offset + name.count);
    return;
  }
  std::vector<uint8_t> bytes(name.count);
  int32_t got = 0;
  // The read position cannot reach 2^31: such a name is all spaces.
  if (name.offset <= static_cast<uint32_t>(INT32_MAX)) {
    SeekHive(hive, static_cast<int32_t>(name.offset));
    got = ReadHiveBytes(hive, bytes.data(), static_cast<int32_t>(name.count));
  }
  AppendStoredName(name, {bytes.data(), static_cast<size_t>(got)}, out);
}

void AppendKeyName(HiveFile& hive, const KeyNode& key, std::string& out) {
  ReadStoredName(hive, KeyNameOf(key), out);
}

std::string GetKeyName(HiveFile& hive, const KeyNode& key) {
  std::string name;
  AppendKeyName(hive, key, name);
  return name;
}

bool IsLeafList(const SubkeyList& list) {
  return list.signature == subkey_list::kIndexLeaf || list.signature == subkey_list::kFastLeaf ||
         list.signature == subkey_list::kHashLeaf;
}

bool IsIndexRoot(const SubkeyList& list) { return list.signature == subkey_list::kIndexRoot; }

namespace {

// Bytes per element: "lf" and "lh" pair each cell offset with four hint bytes.
uint32_t ElementSize(const SubkeyList& list) {
  return list.signature == subkey_list::kFastLeaf || list.signature == subkey_list::kHashLeaf ? 8 : 4;
}

}  // namespace

const uint8_t* ListElementsInPlace(const HiveFile& hive, const SubkeyList& list, uint32_t& stride) {
  if ((!IsLeafList(list) && !IsIndexRoot(list)) || list.elementCount <= 0) return nullptr;
  const uint32_t size = ElementSize(list);
  // The last element's cell offset is the last field read.
  const uint32_t span = size * static_cast<uint32_t>(list.elementCount - 1) + 4;
  const uint8_t* elements = hive.BytesAt(list.recordOffset + subkey_list::kElements, span);
  if (elements != nullptr) stride = size;
  return elements;
}

int32_t ReadSubkeyListAt(HiveFile& hive, uint32_t recordOffset, SubkeyList& list) {
  uint8_t header[subkey_list::kHeaderSize] = {0, 0, 0, 0};
  list.recordOffset = recordOffset;
  SeekHive(hive, static_cast<int32_t>(recordOffset));
  ReadHiveBytes(hive, header, subkey_list::kHeaderSize);
  list.signature = LoadU16(header + subkey_list::kSignature);
  list.elementCount = LoadI16(header + subkey_list::kCount);
  return IsLeafList(list) || IsIndexRoot(list) ? list.elementCount : 0;
}

bool ReadListElement(HiveFile& hive, const SubkeyList& list, int32_t index, uint32_t& cellOffset) {
  if (!IsLeafList(list) && !IsIndexRoot(list)) return false;
  if (index < 0 || index >= list.elementCount) return false;
  const uint32_t at = list.recordOffset + subkey_list::kElements +
                      ElementSize(list) * static_cast<uint32_t>(index);
  if (!HiveHolds(hive, at, 4)) return false;
  SeekHive(hive, static_cast<int32_t>(at));
  cellOffset = ReadHive32(hive);
  return true;
}

int32_t ReadSubkeyList(HiveFile& hive, const KeyNode& key, SubkeyList& list) {
  const uint32_t cell = SubkeyListCell(key);
  if (cell == kNoCell) {
    list = SubkeyList{RecordOffsetOf(cell), 0, 0};
    return 0;
  }
  const int32_t count = ReadSubkeyListAt(hive, RecordOffsetOf(cell), list);
  if (!IsIndexRoot(list) || count <= 0) return count;
  // An index root leads to leaf lists; its subkeys are theirs, in stored order.
  int64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t leafCell = 0;
    if (!ReadListElement(hive, list, i, leafCell)) break;
    SubkeyList leaf;
    const int32_t leafCount = ReadSubkeyListAt(hive, RecordOffsetOf(leafCell), leaf);
    if (IsLeafList(leaf) && leafCount > 0) total += leafCount;
  }
  return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

void GetSubkey(HiveFile& hive, const SubkeyList& list, int32_t index, KeyNode& key) {
  if (index < 0) return;
  uint32_t keyCell = 0;
  if (IsLeafList(list)) {
    if (!ReadListElement(hive, list, index, keyCell)) return;
  } else if (IsIndexRoot(list)) {
    int32_t remaining = index;
    bool found = false;
    for (int32_t i = 0; i < list.elementCount && !found; ++i) {
      uint32_t leafCell = 0;
      if (!ReadListElement(hive, list, i, leafCell)) return;
      SubkeyList leaf;
      const int32_t leafCount = ReadSubkeyListAt(hive, RecordOffsetOf(leafCell), leaf);
      if (!IsLeafList(leaf) || leafCount <= 0) continue;
      if (remaining < leafCount) {
        if (!ReadListElement(hive, leaf, remaining, keyCell)) return;
        found = true;
      } else {
        remaining -= leafCount;
      }
    }
    if (!found) return;
  } else {
    return;
  }
  const uint32_t recordOffset = RecordOffsetOf(keyCell);
  if (!HiveHoldsKeyNode(hive, recordOffset)) return;
  ReadKeyNode(hive, recordOffset, key);
}

}  // namespace hive
