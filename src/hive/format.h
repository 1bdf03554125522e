#pragma once
// The layout of a "regf" hive file (version 1.3, and the big data of 1.4 on),
// as far as Keyloom reads it.
// All integers are little-endian. Offsets are relative to the record they name.

#include <cstdint>

namespace hive {

// File layout.
inline constexpr int32_t kBaseBlockSize = 512;   // bytes of the base block Keyloom copies
inline constexpr int32_t kHeaderAreaSize = 4096;  // the first hive bin starts here
inline constexpr int32_t kMinimumHiveSize = 4096;

// A cell offset counts from the first hive bin; the cell's 4-byte size field is
// there, its record right after it. The sum wraps in 32 bits.
inline constexpr uint32_t kCellToRecord = 4100;
inline constexpr uint32_t kNoCell = 0xFFFFFFFF;  // "no list" in key and value records

inline constexpr uint32_t RecordOffsetOf(uint32_t cellOffset) {
  return cellOffset + kCellToRecord;
}

// Base block.
namespace base_block {
inline constexpr int32_t kSignature = 0;
inline constexpr int32_t kPrimarySequence = 4;
inline constexpr int32_t kSecondarySequence = 8;
inline constexpr int32_t kMajorVersion = 20;
inline constexpr int32_t kMinorVersion = 24;
inline constexpr int32_t kFileType = 28;
inline constexpr int32_t kFileFormat = 32;
inline constexpr int32_t kRootCell = 36;
inline constexpr int32_t kHiveBinsSize = 40;
inline constexpr int32_t kClusteringFactor = 44;
inline constexpr int32_t kChecksum = 508;
inline constexpr uint32_t kRegfSignature = 0x66676572;  // "regf"
inline constexpr uint32_t kPrimaryFile = 0;        // file type of a hive's primary file
inline constexpr uint32_t kOldLogFile = 1;         // file types of transaction logs
inline constexpr uint32_t kOldLogVariantFile = 2;
inline constexpr uint32_t kNewLogFile = 6;
inline constexpr uint32_t kDirectMemoryLoad = 1;   // the one file format
inline constexpr uint32_t kMajor = 1;              // version 1.3 to 1.6
inline constexpr uint32_t kFirstMinor = 3;         // Windows NT 4.0 on; NT 3.x layouts differ
inline constexpr uint32_t kLastMinor = 6;
inline constexpr int32_t kChecksummedBytes = 508;  // the checksum is the XOR of these as u32 words
}  // namespace base_block

// Hive bin header.
namespace hive_bin {
inline constexpr int32_t kSignature = 0;
inline constexpr int32_t kOffset = 4;  // the bin's own offset from the first bin
inline constexpr int32_t kSize = 8;
inline constexpr int32_t kHeaderSize = 32;
inline constexpr int32_t kFirstRecord = kHeaderSize + 4;  // past the first cell's size field
inline constexpr uint32_t kHbinSignature = 0x6E696268;  // "hbin"
}  // namespace hive_bin

// Key node ("nk") record.
namespace key_node {
inline constexpr int32_t kSignature = 0x00;
inline constexpr int32_t kFlags = 0x02;
inline constexpr int32_t kLastWritten = 0x04;  // 64-bit FILETIME: 100 ns units since 1601-01-01 UTC
inline constexpr int32_t kParent = 0x10;       // cell offset of the parent key's node
inline constexpr int32_t kSubkeyCount = 0x14;
inline constexpr int32_t kVolatileSubkeyCount = 0x18;
inline constexpr int32_t kSubkeyList = 0x1C;
inline constexpr int32_t kValueCount = 0x24;
inline constexpr int32_t kValueList = 0x28;
inline constexpr int32_t kSecurityCell = 0x2C;   // the key's "sk" record
inline constexpr int32_t kClassNameCell = 0x30;  // kNoCell when the key has no class name
inline constexpr int32_t kNameLength = 0x48;
inline constexpr int32_t kClassNameLength = 0x4A;  // bytes of UTF-16LE in the class name cell
inline constexpr int32_t kFixedSize = 0x4C;  // bytes before the name: the part Keyloom copies
inline constexpr int32_t kName = 0x4C;
inline constexpr uint16_t kNkSignature = 0x6B6E;  // "nk"
inline constexpr uint16_t kRootFlags = 0x002C;    // hive entry | no delete | compressed name
inline constexpr uint16_t kCompressedName = 0x0020;  // name stored one byte per character
inline constexpr uint16_t kVolatile = 0x0001;        // the key lives in memory only (a live hive's)
inline constexpr uint16_t kSymbolicLink = 0x0010;    // the key links to another key
}  // namespace key_node

// Subkey lists. Leaf lists hold key node cells; an index root holds leaf lists.
namespace subkey_list {
inline constexpr int32_t kSignature = 0;
inline constexpr int32_t kCount = 2;
inline constexpr int32_t kElements = 4;
inline constexpr int32_t kHeaderSize = 4;
inline constexpr uint16_t kIndexLeaf = 0x696C;  // "li": 4-byte elements
inline constexpr uint16_t kFastLeaf = 0x666C;   // "lf": cell offset + 4-byte name hint
inline constexpr uint16_t kHashLeaf = 0x686C;   // "lh": cell offset + 4-byte name hash
inline constexpr uint16_t kIndexRoot = 0x6972;  // "ri": 4-byte elements naming leaf lists
}  // namespace subkey_list

// Security ("sk") record: a security descriptor shared by the keys that name it.
namespace security {
inline constexpr int32_t kSignature = 0x00;
inline constexpr int32_t kDescriptorLength = 0x10;
inline constexpr int32_t kDescriptor = 0x14;
inline constexpr uint16_t kSkSignature = 0x6B73;  // "sk"
}  // namespace security

// Value ("vk") record.
namespace value_record {
inline constexpr int32_t kSignature = 0x00;
inline constexpr int32_t kNameLength = 0x02;
inline constexpr int32_t kDataLength = 0x04;
inline constexpr int32_t kDataOffset = 0x08;
inline constexpr int32_t kType = 0x0C;
inline constexpr int32_t kFlags = 0x10;
inline constexpr int32_t kFixedSize = 0x12;  // bytes Keyloom copies
inline constexpr int32_t kName = 0x14;
inline constexpr uint16_t kVkSignature = 0x6B76;  // "vk"
inline constexpr uint16_t kNameIsSingleByte = 0x0001;
inline constexpr uint32_t kInlineData = 0x80000000;  // data length bit 31
inline constexpr uint32_t kInlineCapacity = 4;  // data of up to 4 bytes is held in the data offset field
}  // namespace value_record

// Big data ("db"), from version 1.4 on: data longer than one segment lies in
// segments, each the data of a cell of its own, listed in a segment list.
namespace big_data {
inline constexpr int32_t kSignature = 0;
inline constexpr int32_t kSegmentCount = 2;  // u16
inline constexpr int32_t kSegmentList = 4;   // u32 cell offset of the list of segment cells
inline constexpr int32_t kRecordSize = 8;
inline constexpr uint16_t kDbSignature = 0x6264;  // "db"
inline constexpr uint32_t kSegmentBytes = 16344;  // data bytes in every segment but the last
inline constexpr uint32_t kFirstMinorVersion = 4;
}  // namespace big_data

}  // namespace hive
