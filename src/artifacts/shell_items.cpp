#include "artifacts/shell_items.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "artifacts/decoders.h"
#include "artifacts/shell_item_reading.h"

namespace artifacts {
namespace {

using shell_reading::AddProblem;
using shell_reading::AnsiTextAt;
using shell_reading::BytesEqual;
using shell_reading::DosTimeAt;
using shell_reading::ExtensionBlockAt;
using shell_reading::GuidAt;
using shell_reading::Hex;
using shell_reading::ItemNameDisplay;
using shell_reading::NameOfGuid;
using shell_reading::NeedBytes;
using shell_reading::ReadExtensionBlocks;
using shell_reading::TextAt;
using shell_reading::TextAtOffset;
using shell_reading::U8;
using shell_reading::Utf16TextAt;

constexpr size_t kMinItemSize = 3;  // the size field and the class type byte

// {5E591A74-DF96-48D3-8D67-1733BCEE28BA}, as stored.
constexpr std::array<uint8_t, 16> kDelegateGuid = {0x74, 0x1a, 0x59, 0x5e, 0x96, 0xdf, 0xd3, 0x48,
                                                   0x8d, 0x67, 0x17, 0x33, 0xbc, 0xee, 0x28, 0xba};

// --- The item kinds

void ReadRootFolder(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kRootFolder;
  NeedBytes(reader, 20, item);
  item.sortIndex = U8(reader, 3).value_or(0);
  item.guid = GuidAt(reader, 4);
  item.name = NameOfGuid(item.guid);
  ReadExtensionBlocks(reader, 20, item);
}

void ReadVolume(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kVolume;
  if ((item.classType & 0x01) == 0) {  // no name: flags, a GUID
    NeedBytes(reader, 20, item);
    item.guid = GuidAt(reader, 4);
    item.name = NameOfGuid(item.guid);
    ReadExtensionBlocks(reader, 20, item);
    return;
  }
  NeedBytes(reader, 23, item);
  // The drive name: 20 bytes from 3, NUL-ended ("C:\\").
  const size_t held = reader.Size() > 3 ? std::min<size_t>(20, reader.Size() - 3) : 0;
  std::string name = AnsiTextAt(DataReader(reader.Bytes(3, held)), 0).text;
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    item.driveLetter = name[0];
  }
  if (name.size() > 1 && name.back() == '\\') name.pop_back();
  item.name = name;
  if (reader.Size() > 25) {
    NeedBytes(reader, 41, item);
    item.guid = GuidAt(reader, 25);
    ReadExtensionBlocks(reader, 41, item);
  }
}

// The file entry's fields and names, offsets as in an item (class type at 2);
// returns where its extension blocks begin, or nothing before Windows XP.
std::optional<size_t> ReadFileEntryFields(const DataReader& reader, ShellItem& item) {
  const uint8_t classType = U8(reader, 2).value_or(0);
  item.kind = (classType & 0x01)   ? ShellItem::Kind::kDirectory
              : (classType & 0x02) ? ShellItem::Kind::kFile
                                   : ShellItem::Kind::kFileEntry;
  NeedBytes(reader, 15, item);
  item.fileSize = reader.U32(4).value_or(0);
  item.modified = DosTimeAt(reader, 8);
  item.attributes = reader.U16(12).value_or(0);
  const bool utf16 = (classType & 0x04) != 0;
  const TextAt primary = TextAtOffset(reader, 14, utf16);
  if (!primary.ended && reader.Size() > 14) AddProblem(item, "the name has no end within the item");
  size_t next = primary.next;
  if (!utf16 && next % 2 != 0) ++next;  // ANSI names are padded to an even offset
  if (ExtensionBlockAt(reader, next)) {
    item.shortName = primary.text;
    return next;
  }
  // Before XP: a secondary name; when it is there the primary one is the long name.
  const TextAt secondary = TextAtOffset(reader, next, utf16);
  if (!secondary.text.empty()) {
    item.longName = primary.text;
    item.shortName = secondary.text;
  } else {
    item.shortName = primary.text;
  }
  if ((classType & 0x80) != 0 && secondary.ended) item.guid = GuidAt(reader, secondary.next);
  return std::nullopt;
}

void NameFileEntry(ShellItem& item) { item.name = item.longName.empty() ? item.shortName : item.longName; }

void ReadFileEntry(const DataReader& reader, ShellItem& item) {
  if (const std::optional<size_t> blocks = ReadFileEntryFields(reader, item)) {
    ReadExtensionBlocks(reader, *blocks, item);
  }
  NameFileEntry(item);
}

void ReadNetworkLocation(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kNetworkLocation;
  NeedBytes(reader, 6, item);
  const uint8_t flags = U8(reader, 4).value_or(0);
  const TextAt location = AnsiTextAt(reader, 5);
  item.name = location.text;
  size_t next = location.next;
  if ((flags & 0x80) != 0) {
    const TextAt description = AnsiTextAt(reader, next);
    item.description = description.text;
    next = description.next;
  }
  if ((flags & 0x40) != 0) item.comments = AnsiTextAt(reader, next).text;
}

void ReadCompressedFolder(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kCompressedFolder;
  NeedBytes(reader, 50, item);
  // Four strings from 46, each a u32 count of UTF-16 units (NUL included).
  std::string strings[4];
  size_t at = 46;
  for (std::string& text : strings) {
    const std::optional<uint32_t> units = reader.U32(at);
    if (!units) break;
    if (!reader.Holds(at + 4, size_t{*units} * 2)) {
      AddProblem(item, "string at " + std::to_string(at) + ": " + std::to_string(*units) +
                           " characters past the end of the item");
      break;
    }
    text = Utf16Text(reader.Bytes(at + 4, size_t{*units} * 2));
    at += 4 + size_t{*units} * 2;
  }
  item.name = !strings[0].empty() ? strings[0] : strings[2];
}

void ReadUri(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kUri;
  NeedBytes(reader, 6, item);
  const bool utf16 = (U8(reader, 3).value_or(0) & 0x80) != 0;
  const size_t dataSize = reader.U16(4).value_or(0);
  item.name = TextAtOffset(reader, 6 + dataSize, utf16).text;
}

void ReadControlPanelItem(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kControlPanelItem;
  NeedBytes(reader, 30, item);
  item.guid = GuidAt(reader, 14);
  item.name = NameOfGuid(item.guid);
}

std::string_view ControlPanelCategoryName(uint32_t category) {
  static constexpr std::string_view kNames[] = {"All Control Panel Items",
                                                "Appearance and Personalization",
                                                "Hardware and Sound",
                                                "Network and Internet",
                                                "Sounds, Speech, and Audio Devices",
                                                "System and Security",
                                                "Clock, Language, and Region",
                                                "Ease of Access",
                                                "Programs",
                                                "User Accounts",
                                                "Security Center",
                                                "Mobile PC"};
  return category < std::size(kNames) ? kNames[category] : std::string_view();
}

void ReadControlPanelCategory(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kControlPanelCategory;
  NeedBytes(reader, 12, item);
  if (const std::optional<uint32_t> category = reader.U32(8)) {
    const std::string_view name = ControlPanelCategoryName(*category);
    item.name = name.empty() ? "category " + std::to_string(*category) : std::string(name);
  }
}

void ReadControlPanelFile(const DataReader& reader, ShellItem& item) {
  item.kind = ShellItem::Kind::kControlPanelFile;
  NeedBytes(reader, 26, item);
  // The .cpl path at 24; the name and the comments at 24 + 2 * their offsets.
  const std::string path = Utf16TextAt(reader, 24).text;
  const std::optional<uint16_t> nameOffset = reader.U16(20);
  item.name = nameOffset ? Utf16TextAt(reader, 24 + size_t{*nameOffset} * 2).text : std::string();
  if (const std::optional<uint16_t> commentsOffset = reader.U16(22)) {
    item.comments = Utf16TextAt(reader, 24 + size_t{*commentsOffset} * 2).text;
  }
  item.longName = path;
  if (item.name.empty()) item.name = path;
}

// Property view: data size (4), signature (6), property store size (10),
// identifier size (12), identifier (14), the property store; extension blocks
// after the data.
void ReadPropertyView(const DataReader& reader, uint32_t signature, ShellItem& item) {
  constexpr uint32_t kKnownFolderSignature = 0x23febbee;
  item.kind = ShellItem::Kind::kPropertyView;
  NeedBytes(reader, 14, item);
  const size_t dataSize = reader.U16(4).value_or(0);
  const size_t storeSize = reader.U16(10).value_or(0);
  const size_t identifierSize = reader.U16(12).value_or(0);
  if (signature == kKnownFolderSignature && identifierSize == 16) {
    item.guid = GuidAt(reader, 14);
    item.name = std::string(KnownFolderName(item.guid));
    if (item.name.empty()) item.name = item.guid;
  }
  if (item.name.empty() && storeSize > 0) {
    const size_t storeAt = 14 + identifierSize;
    if (!reader.Holds(storeAt, storeSize)) {
      AddProblem(item, "property store of " + std::to_string(storeSize) + " bytes past the end of the item");
    } else {
      item.name = ItemNameDisplay(reader.Bytes(storeAt, storeSize));
    }
  }
  ReadExtensionBlocks(reader, 6 + dataSize, item);
}

// A delegate item: data size (4), data, the delegate GUID, the item's class
// GUID, extension blocks. With "CFSF" at 6 the data is a file entry's.
void ReadDelegate(const DataReader& reader, size_t delegateAt, ShellItem& item) {
  constexpr uint32_t kCfsf = 0x46534643;  // "CFSF"
  item.guid = GuidAt(reader, delegateAt + 16);
  const std::optional<uint16_t> subSize = reader.U16(10);
  if (reader.U32(6) == kCfsf && subSize && reader.Holds(10, 2 + size_t{*subSize})) {
    ReadFileEntryFields(DataReader(reader.Bytes(10, 2 + size_t{*subSize})), item);
    ReadExtensionBlocks(reader, delegateAt + 32, item);
    NameFileEntry(item);
    return;
  }
  item.kind = ShellItem::Kind::kDelegate;
  item.name = NameOfGuid(item.guid);
  ReadExtensionBlocks(reader, delegateAt + 32, item);
}

// The offset of the delegate GUID when the item is a delegate.
std::optional<size_t> DelegateGuidAt(const DataReader& reader) {
  const std::optional<uint16_t> dataSize = reader.U16(4);
  if (!dataSize) return std::nullopt;
  const size_t at = 6 + size_t{*dataSize};
  if (!reader.Holds(at, 32) || !BytesEqual(reader.Bytes(at, 16), kDelegateGuid)) return std::nullopt;
  return at;
}

bool IsPropertyViewSignature(uint32_t signature) {
  return signature == 0x23febbee || signature == 0x10141981 || signature == 0x3b93afbb || signature == 0xbeebee00;
}

bool IsControlPanelFileSignature(uint32_t signature) {
  static constexpr uint32_t kSignatures[] = {0xffffee79, 0xfffff444, 0xffffff36, 0xffffff37,
                                             0xffffff38, 0xffffff9a, 0xffffff9c, 0xffffffff};
  return std::find(std::begin(kSignatures), std::end(kSignatures), signature) != std::end(kSignatures);
}

// Decodes one item from bytes (its declared size, or fewer when cut short).
bool ReadByClassType(const DataReader& reader, ShellItem& item) {
  const uint8_t type = item.classType;
  if (const std::optional<size_t> delegateAt = DelegateGuidAt(reader)) {
    ReadDelegate(reader, *delegateAt, item);
    return true;
  }
  if (type == 0x1f) {
    ReadRootFolder(reader, item);
  } else if ((type & 0x70) == 0x20) {
    ReadVolume(reader, item);
  } else if ((type & 0x70) == 0x30) {
    ReadFileEntry(reader, item);
  } else if ((type & 0x70) == 0x40) {
    ReadNetworkLocation(reader, item);
  } else if (type == 0x52) {
    ReadCompressedFolder(reader, item);
  } else if (type == 0x61) {
    ReadUri(reader, item);
  } else if (type == 0x71) {
    ReadControlPanelItem(reader, item);
  } else if (type == 0x00 && reader.U32(6) && IsPropertyViewSignature(*reader.U32(6))) {
    ReadPropertyView(reader, *reader.U32(6), item);
  } else if (type == 0x00 && reader.U32(4) && IsControlPanelFileSignature(*reader.U32(4))) {
    ReadControlPanelFile(reader, item);
  } else if (type == 0x01 && reader.U32(4) == 0x39de2184u) {
    ReadControlPanelCategory(reader, item);
  } else {
    return false;
  }
  return true;
}

ShellItem ReadItem(std::span<const uint8_t> bytes, uint16_t size) {
  ShellItem item;
  item.size = size;
  const DataReader reader(bytes);
  item.classType = U8(reader, 2).value_or(0);
  if (!ReadByClassType(reader, item)) {
    item.kind = ShellItem::Kind::kUnknown;
    item.name = "[unknown item " + Hex(item.classType, 2) + ", " + std::to_string(size) + " bytes]";
  }
  if (bytes.size() < size) AddProblem(item, DataTooShort(bytes.size(), size));
  return item;
}

std::string ItemLabel(size_t number) { return "item " + std::to_string(number); }

// How many items the list's sizes lead through (an item cut short counted),
// so that its vector is allocated once.
size_t CountItems(const DataReader& reader) {
  size_t count = 0;
  size_t offset = 0;
  while (reader.Holds(offset, 2)) {
    const uint16_t size = *reader.U16(offset);
    if (size < kMinItemSize) break;
    ++count;
    offset += size;
  }
  return count;
}

}  // namespace

ShellItemList ParseShellItemList(std::span<const uint8_t> data) {
  ShellItemList list;
  const DataReader reader(data);
  list.items.reserve(CountItems(reader));
  size_t offset = 0;
  for (size_t number = 1;; ++number) {
    const size_t left = data.size() - offset;
    const auto at = [offset] { return " at " + std::to_string(offset); };
    if (left == 0) {
      list.problem = list.items.empty() ? "no end of the list: the data is empty"
                                        : "no end of the list after " + ItemLabel(number - 1);
      break;
    }
    if (left == 1) {
      list.problem = ItemLabel(number) + ": 1 byte" + at() + " where a size belongs";
      break;
    }
    const uint16_t size = *reader.U16(offset);
    if (size == 0) break;
    if (size < kMinItemSize) {
      list.problem = ItemLabel(number) + ": size " + std::to_string(size) + at() + " is too small for an item";
      break;
    }
    if (size > left) {
      list.items.push_back(ReadItem(data.subspan(offset), size));
      list.problem = ItemLabel(number) + ": size " + std::to_string(size) + " past the end of the data" + at();
      break;
    }
    list.items.push_back(ReadItem(data.subspan(offset, size), size));
    offset += size;
  }
  return list;
}

ShellItem ParseShellItem(std::span<const uint8_t> data) {
  const DataReader reader(data);
  const std::optional<uint16_t> size = reader.U16(0);
  if (!size || *size < kMinItemSize) {
    ShellItem item;
    item.size = size.value_or(0);
    item.problem =
        size ? "size " + std::to_string(*size) + " is too small for an item" : DataTooShort(data.size(), kMinItemSize);
    return item;
  }
  return ReadItem(data.subspan(0, std::min<size_t>(*size, data.size())), *size);
}

std::string ShellItemPath(std::span<const ShellItem> items, std::string_view separator) {
  std::string path;
  for (const ShellItem& item : items) {
    if (!path.empty()) path += separator;
    if (!item.name.empty()) {
      path += item.name;
    } else {
      path += "[";
      path += ShellItemKindName(item.kind);
      path += "]";
    }
  }
  return path;
}

std::string ShellItemPath(const ShellItemList& list, std::string_view separator) {
  return ShellItemPath(std::span<const ShellItem>(list.items), separator);
}

std::string ShellItemProblems(const ShellItemList& list) {
  std::string problems;
  const auto add = [&](const std::string& text) {
    if (!problems.empty()) problems += "; ";
    problems += text;
  };
  for (size_t i = 0; i < list.items.size(); ++i) {
    if (!list.items[i].problem.empty()) add(ItemLabel(i + 1) + ": " + list.items[i].problem);
  }
  if (!list.problem.empty()) add(list.problem);
  return problems;
}

std::string_view ShellItemKindName(ShellItem::Kind kind) {
  switch (kind) {
    case ShellItem::Kind::kRootFolder: return "root folder";
    case ShellItem::Kind::kVolume: return "volume";
    case ShellItem::Kind::kDirectory: return "directory";
    case ShellItem::Kind::kFile: return "file";
    case ShellItem::Kind::kFileEntry: return "file entry";
    case ShellItem::Kind::kNetworkLocation: return "network location";
    case ShellItem::Kind::kCompressedFolder: return "compressed folder";
    case ShellItem::Kind::kUri: return "URI";
    case ShellItem::Kind::kControlPanelItem: return "control panel item";
    case ShellItem::Kind::kControlPanelCategory: return "control panel category";
    case ShellItem::Kind::kControlPanelFile: return "control panel file";
    case ShellItem::Kind::kPropertyView: return "property view";
    case ShellItem::Kind::kDelegate: return "delegate";
    case ShellItem::Kind::kUnknown:
      break;
  }
  return "unknown";
}

}  // namespace artifacts
