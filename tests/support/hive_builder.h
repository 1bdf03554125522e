#pragma once
// HiveBuilder: writes valid version 1.3 hives byte by byte, for tests, the demo
// hive and the benchmark hives. Describe keys and values, call Build(), then
// read the file offsets of everything written and patch single fields to make
// a damaged hive.
//
// Layout: a 4096-byte base block (with its checksum), then hive bins of 4096
// bytes (a larger bin where a cell needs it). Every cell is allocated (negative
// size) and 8-byte aligned; the rest of each bin is one free cell. Keys are laid
// out in pre-order, each key's cells close together: its nk record, its subkey
// list(s), its value list, then each value record followed by its data cell.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

enum class ListKind {
  kLf,       // "lf": cell offset + first four name characters
  kLh,       // "lh": cell offset + name hash
  kLi,       // "li": cell offsets only
  kRiOfLi,   // "ri" leading to "li" lists
  kRiOfLf,   // "ri" leading to "lf" lists
  kRiOfLh,   // "ri" leading to "lh" lists
};

class HiveBuilder {
 public:
  using KeyId = int32_t;
  using ValueId = int32_t;

  // The root key (id 0) is named rootName, stored one byte per character.
  explicit HiveBuilder(std::string_view rootName = "ROOT");

  KeyId Root() const { return 0; }

  // A key whose name is stored one byte per character; name holds those bytes
  // (Latin-1, not UTF-8).
  KeyId AddKey(KeyId parent, std::string_view latin1Name);
  // A key whose name is stored as UTF-16LE (flags without 0x0020).
  KeyId AddKeyUtf16(KeyId parent, std::u16string_view name);

  // How the key's subkey list is stored (default kLf). For the ri kinds each
  // leaf list holds at most leafSize elements.
  void SetListKind(KeyId key, ListKind kind, int32_t leafSize = 512);

  // A named value; the name is stored one byte per character (flags bit 0 set).
  // Data of 4 bytes or fewer is stored inline with bit 31 of the length set.
  ValueId AddValue(KeyId key, std::string_view latin1Name, uint32_t type,
                   std::span<const uint8_t> data);
  // A named value whose name is stored as UTF-16LE (flags bit 0 clear).
  ValueId AddValueUtf16Name(KeyId key, std::u16string_view name, uint32_t type,
                            std::span<const uint8_t> data);
  // The default value: flags bit 0 clear, name length 0.
  ValueId AddDefaultValue(KeyId key, uint32_t type, std::span<const uint8_t> data);
  // A named value (one byte per character) whose data (more than 4 bytes) is
  // stored as big data: a "db" record, its segment list, then the segments,
  // 16,344 bytes each but the last. Big data belongs in hives of version 1.4
  // or later: see SetMinorVersion.
  ValueId AddBigDataValue(KeyId key, std::string_view latin1Name, uint32_t type,
                          std::span<const uint8_t> data);

  // The minor format version the base block states (default 3).
  void SetMinorVersion(uint32_t minor) { m_minorVersion = minor; }

  // Lays out and writes the hive; the result is also kept for patching.
  const std::vector<uint8_t>& Build();

  // After Build(): file offsets of records (the byte after each cell's size
  // field), as Keyloom's record offsets count them.
  uint32_t KeyOffset(KeyId key) const;          // the "nk" record
  uint32_t SubkeyListOffset(KeyId key) const;   // the list (the "ri" for ri kinds); 0 when none
  std::vector<uint32_t> LeafListOffsets(KeyId key) const;  // the leaf lists of an "ri"
  uint32_t ValueListOffset(KeyId key) const;    // 0 when the key has no values
  uint32_t ValueOffset(ValueId value) const;    // the "vk" record
  uint32_t DataOffset(ValueId value) const;     // the data cell's record ("db" for big data); 0 when inline
  uint32_t SegmentListOffset(ValueId value) const;            // big data: the segment list
  std::vector<uint32_t> SegmentOffsets(ValueId value) const;  // big data: each segment's record

  // Appends a cell holding record in a new hive bin at the end of the file and
  // returns its record offset. Use after Build() to craft damaged structures.
  uint32_t AppendCell(std::span<const uint8_t> record);

  // Frees the cells from the one holding firstRecord through the one holding
  // lastRecord (laid out one after another) as one free cell, as Windows
  // merges neighbouring free cells: a positive size field at the first. The
  // records stay where they are. firstRecord == lastRecord frees one cell.
  void FreeCells(uint32_t firstRecord, uint32_t lastRecord);
  // Appends bytes at the end of the file, past the last hive bin (the base
  // block's hive bins size stays as it is).
  void AppendBytes(std::span<const uint8_t> bytes);

  // Patches the built image. Offsets are file offsets.
  void PatchU16(uint32_t fileOffset, uint16_t value);
  void PatchU32(uint32_t fileOffset, uint32_t value);
  void PatchBytes(uint32_t fileOffset, std::span<const uint8_t> bytes);
  // Cuts the image to its first size bytes.
  void Truncate(uint32_t size);
  // Rewrites the base block checksum after patches to the first 508 bytes.
  void FixChecksum();

  const std::vector<uint8_t>& Bytes() const { return m_image; }
  // Writes the image to path; returns false on failure.
  bool WriteTo(const std::string& path) const;

  // Cell offset (as stored in records) of a record offset, and back.
  static uint32_t CellOf(uint32_t recordOffset) { return recordOffset - 4100; }
  static uint32_t RecordOf(uint32_t cellOffset) { return cellOffset + 4100; }

 private:
  struct Key {
    KeyId parent = -1;
    KeyId firstChild = -1;
    KeyId lastChild = -1;
    KeyId nextSibling = -1;
    ValueId firstValue = -1;
    ValueId lastValue = -1;
    uint32_t childCount = 0;
    uint32_t valueCount = 0;
    uint32_t nameStart = 0;  // into m_names
    uint16_t nameBytes = 0;
    bool utf16Name = false;
    ListKind listKind = ListKind::kLf;
    int32_t leafSize = 512;
    uint32_t leafStart = 0;  // into m_leafOffsets
    uint32_t leafCount = 0;
    uint32_t keyOffset = 0;
    uint32_t listOffset = 0;
    uint32_t valueListOffset = 0;
  };
  struct Value {
    ValueId next = -1;
    uint32_t nameStart = 0;  // into m_names
    uint16_t nameBytes = 0;
    uint16_t flags = 0;
    uint32_t type = 0;
    uint32_t dataLength = 0;
    uint64_t dataStart = 0;  // into m_data
    uint32_t valueOffset = 0;
    uint32_t dataOffset = 0;
    bool bigData = false;
    uint32_t segmentListOffset = 0;
    uint32_t segmentStart = 0;  // into m_segmentOffsets
    uint32_t segmentCount = 0;
  };
  struct Bin {
    uint32_t start = 0;  // file offsets
    uint32_t size = 0;
    uint32_t used = 0;
  };

  KeyId AddKeyNamed(KeyId parent, std::span<const uint8_t> name, bool utf16);
  ValueId AddValueNamed(KeyId key, std::span<const uint8_t> name, uint16_t flags,
                        uint32_t type, std::span<const uint8_t> data);
  uint32_t StoreName(std::span<const uint8_t> name);
  uint32_t Allocate(uint32_t recordSize);
  void LayOutKey(Key& key);
  void WriteKey(const Key& key);
  void WriteSubkeyLists(const Key& key);
  void WriteValue(const Value& value);
  void LayOutBigData(Value& value);
  void WriteBigData(const Value& value, const uint8_t* data);
  void WriteBin(const Bin& b);
  void WriteBaseBlock(uint32_t rootRecord);
  template <typename Visit>
  void VisitPreOrder(Visit visit);
  uint8_t* RecordAt(uint32_t recordOffset, uint32_t recordSize);

  std::vector<Key> m_keys;
  std::vector<Value> m_values;
  std::vector<uint8_t> m_names;  // every name's stored bytes
  std::vector<uint8_t> m_data;   // every value's data
  std::vector<uint32_t> m_leafOffsets;
  std::vector<uint32_t> m_segmentOffsets;
  uint32_t m_minorVersion = 3;
  std::vector<Bin> m_bins;
  std::vector<uint8_t> m_image;
};

}  // namespace testsupport
