#include "artifacts/shell_item_reading.h"

#include <cstdio>

#include "hive/text.h"

namespace artifacts::shell_reading {
namespace {

constexpr size_t kExtensionHeader = 8;
constexpr uint32_t kExtensionMark = 0xbeef;
constexpr uint32_t kFileEntryBlock = 0xbeef0004;
constexpr uint32_t kClassBlock = 0xbeef0003;
constexpr uint32_t kTimesBlock25 = 0xbeef0025;
constexpr uint32_t kTimesBlock26 = 0xbeef0026;

// {B725F130-47EF-101A-A5F1-02608C9EEBAC}, the property set of System.ItemNameDisplay.
constexpr std::array<uint8_t, 16> kItemNameFormat = {0x30, 0xf1, 0x25, 0xb7, 0xef, 0x47, 0x1a, 0x10,
                                                     0xa5, 0xf1, 0x02, 0x60, 0x8c, 0x9e, 0xeb, 0xac};
constexpr uint32_t kItemNameId = 10;
constexpr uint32_t kPropertyStorageVersion = 0x53505331;  // "1SPS"
constexpr uint16_t kVtLpwstr = 0x1f;

void ReadFileEntryBlock(const DataReader& block, ShellItem& item) {
  // Version 3 (XP), 7 (Vista), 8 (7, 8.0), 9 (8.1, 10). Created and accessed
  // at 8 and 12; from version 7 the NTFS file reference at 20; then the long
  // string size, 4 more bytes from version 8 and 4 more from version 9, then
  // the long name. The block's last two bytes are its offset in the item.
  const uint16_t version = *block.U16(2);
  item.extensionVersion = version;
  item.created = DosTimeAt(block, 8);
  item.accessed = DosTimeAt(block, 12);
  if (version < 3) return;
  size_t at = 18;
  if (version >= 7) {
    if (const std::optional<uint64_t> reference = block.U64(20); reference && *reference != 0) {
      item.mftEntry = *reference & 0xFFFF'FFFF'FFFFull;
      item.mftSequence = static_cast<uint16_t>(*reference >> 48);
    }
    at = 36;
  }
  const std::optional<uint16_t> longStringSize = block.U16(at);
  at += 2 + (version >= 8 ? 4u : 0u) + (version >= 9 ? 4u : 0u);
  if (block.Size() < at + 2) {
    AddProblem(item,
               "0xbeef0004 block of version " + std::to_string(version) + ": " + DataTooShort(block.Size(), at + 2));
    return;
  }
  const DataReader names(block.Bytes(0, block.Size() - 2));
  const TextAt longName = Utf16TextAt(names, at);
  item.longName = longName.text;
  if (longStringSize && *longStringSize > 0 && longName.ended) {
    item.localizedName = TextAtOffset(names, longName.next, version >= 7).text;
  }
}

// 0xbeef0025 and 0xbeef0026: a u32, then FILETIMEs (created, modified,
// accessed) from 12, as many as fit before the block's last two bytes.
void ReadTimesBlock(const DataReader& block, ShellItem& item) {
  uint64_t* const times[] = {&item.created, &item.modified, &item.accessed};
  for (size_t i = 0; i < 3; ++i) {
    const size_t at = 12 + i * 8;
    if (block.Size() < at + 8 + 2) break;
    const uint64_t time = *block.U64(at);
    if (*times[i] == 0) *times[i] = time;
  }
}

}  // namespace

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

TextAt AnsiTextAt(const DataReader& reader, size_t offset) {
  TextAt at{{}, reader.Size(), false};
  if (offset >= reader.Size()) return at;
  const std::span<const uint8_t> bytes = reader.Bytes(offset, reader.Size() - offset);
  const size_t count = static_cast<size_t>(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin());
  hive::AppendLatin1(at.text, bytes.data(), count);
  if (count < bytes.size()) at = {std::move(at.text), offset + count + 1, true};
  return at;
}

TextAt Utf16TextAt(const DataReader& reader, size_t offset) {
  TextAt at{{}, reader.Size(), false};
  if (offset >= reader.Size()) return at;
  const std::span<const uint8_t> bytes = reader.Bytes(offset, reader.Size() - offset);
  const size_t units = hive::AppendUtf16Le(at.text, bytes.data(), bytes.size());
  if ((units + 1) * 2 <= bytes.size()) at = {std::move(at.text), offset + (units + 1) * 2, true};
  return at;
}

TextAt TextAtOffset(const DataReader& reader, size_t offset, bool utf16) {
  return utf16 ? Utf16TextAt(reader, offset) : AnsiTextAt(reader, offset);
}

uint64_t DosTimeAt(const DataReader& reader, size_t offset) {
  const std::optional<uint16_t> date = reader.U16(offset);
  const std::optional<uint16_t> time = reader.U16(offset + 2);
  return date && time ? FileTimeFromDosDateTime(*date, *time) : 0;
}

std::string NameOfGuid(const std::string& guid) {
  const std::string_view known = KnownFolderName(guid);
  return known.empty() ? guid : std::string(known);
}

void ReadExtensionBlocks(const DataReader& reader, size_t offset, ShellItem& item) {
  while (reader.Holds(offset, kExtensionHeader)) {
    const uint16_t size = *reader.U16(offset);
    if (size == 0) return;  // the end marker
    const uint32_t signature = *reader.U32(offset + 4);
    const auto where = [offset] { return "extension block at " + std::to_string(offset) + ": "; };
    if (signature >> 16 != kExtensionMark) {
      AddProblem(item, where() + "no 0xbeef signature");
      return;
    }
    if (size < kExtensionHeader) {
      AddProblem(item, where() + "size " + std::to_string(size) + " is too small");
      return;
    }
    if (!reader.Holds(offset, size)) {
      AddProblem(item, where() + "size " + std::to_string(size) + " past the end of the item");
      return;
    }
    item.extensionBlocks.push_back(signature);
    const DataReader block(reader.Bytes(offset, size));
    if (signature == kFileEntryBlock) {
      ReadFileEntryBlock(block, item);
    } else if (signature == kClassBlock && item.guid.empty()) {
      item.guid = GuidAt(block, 8);
    } else if (signature == kTimesBlock25 || signature == kTimesBlock26) {
      ReadTimesBlock(block, item);
    }
    offset += size;
  }
}

bool ExtensionBlockAt(const DataReader& reader, size_t offset) {
  const std::optional<uint16_t> size = reader.U16(offset);
  const std::optional<uint32_t> signature = reader.U32(offset + 4);
  return size && signature && *size >= kExtensionHeader && *signature >> 16 == kExtensionMark;
}

// --- Property stores (serialized property storage: u32 size, "1SPS", the
// format GUID, then values: u32 size, u32 identifier, a reserved byte, a u16
// type, 2 bytes, the value) as far as System.ItemNameDisplay.

std::string ItemNameDisplay(std::span<const uint8_t> store) {
  const DataReader reader(store);
  size_t at = 0;
  while (reader.Holds(at, 24)) {
    const uint32_t storageSize = *reader.U32(at);
    if (storageSize < 24 || !reader.Holds(at, storageSize) || *reader.U32(at + 4) != kPropertyStorageVersion) break;
    if (BytesEqual(reader.Bytes(at + 8, 16), kItemNameFormat)) {
      const DataReader storage(reader.Bytes(at, storageSize));
      size_t value = 24;
      while (storage.Holds(value, 9)) {
        const uint32_t valueSize = *storage.U32(value);
        if (valueSize < 9 || !storage.Holds(value, valueSize)) break;
        const DataReader entry(storage.Bytes(value, valueSize));
        if (*entry.U32(4) == kItemNameId && entry.U16(9) == kVtLpwstr && entry.Holds(13, 4)) {
          const size_t bytes = std::min<size_t>(size_t{*entry.U32(13)} * 2, entry.Size() - 17);
          return Utf16Text(entry.Bytes(17, bytes));
        }
        value += valueSize;
      }
    }
    at += storageSize;
  }
  return {};
}

}  // namespace artifacts::shell_reading
