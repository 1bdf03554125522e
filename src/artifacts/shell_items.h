#pragma once
// Shell items (PIDLs): how Explorer names a place in its namespace, as
// ShellBags (one item per value), RecentDocs (a name, then a list) and the
// ComDlg32 MRUs (a list, after a program's name in LastVisitedPidlMRU) store
// it.
//
// A shell item list is a run of items, each a u16 size (counting the size
// field itself), a class type byte and the class's data, ended by an item of
// size 0. ParseShellItemList reads one:
//   - size 0 ends the list;
//   - size 1 or 2 (no room for the class type byte) stops it with a problem:
//     "item 3: size 2 at 64 is too small for an item";
//   - a size past the end of the data stops it too: "item 3: size 500 past the
//     end of the data at 64"; the cut item is still decoded from the bytes that
//     are there, and says "data too short: 40 of 500 bytes";
//   - data that ends after an item, without the size 0, gives "no end of the
//     list after item 3"; a single byte left where a size belongs gives
//     "item 4: 1 byte at 64 where a size belongs".
// Items are numbered from 1 in these texts. A list holds at most one item per
// 3 bytes of its data, and one cut short.
//
// Every read stays inside the item's own size. The class types decoded
// (offsets from the item's start, its size field at 0, its class type at 2):
//   0x1f       root folder: sort index (3), shell folder GUID (4); extension
//              blocks from 20.
//   0x20-0x2f  volume (class & 0x70): with flag 0x01, the drive name ("C:\",
//              20 bytes from 3) and, when the item is longer, a shell folder
//              GUID at 25; without it, flags (3) and a GUID (4), then
//              extension blocks from 20.
//   0x30-0x3f  file entry (class & 0x70; 0xb1 too): flag 0x01 directory, 0x02
//              file, 0x04 Unicode names. File size (4, u32), modified DOS date
//              and time (8), attributes (12, u16), the primary name (14,
//              ANSI or UTF-16, NUL-ended, ANSI padded to an even offset). Then
//              either extension blocks (Windows XP and later: 0xbeef0004 holds
//              the long name) or, before XP, a secondary name: the primary is
//              then the long name and the secondary the short one.
//   0x40-0x4f  network location (class & 0x70): flags (4: 0x80 description,
//              0x40 comments), then NUL-ended ANSI strings from 5: location,
//              description, comments.
//   0x52       compressed folder (zip): from 46, four strings each a u32 count
//              of UTF-16 units (NUL included) then the units: a name, an
//              unknown string, the full path, an unknown string.
//   0x61       URI: flags (3: 0x80 Unicode), data size (4; the data from 6,
//              when there is any, holds a FILETIME at 14 whose meaning is not
//              known and three counted strings, left out), then the URI
//              string at 6 + the data size.
//   0x71       control panel item: its GUID at 14.
//   0x74       delegate with "CFSF" at 6: a file entry's data from 12 (its size
//              at 10, not counting the size field), then the delegate GUID
//              {5E591A74-DF96-48D3-8D67-1733BCEE28BA} and the item's class
//              GUID, then extension blocks.
//   any class  delegate: a data size at 4 (bytes from 6), and at 6 + that size
//              the delegate GUID, then the shell folder GUID.
//   0x00       property view: data size (4), data signature (6: 0x23febbee,
//              0x10141981, 0x3b93afbb, 0xbeebee00), property store size (10),
//              identifier size (12), identifier (14: with 0x23febbee a known
//              folder GUID), the property store (its System.ItemNameDisplay
//              names the item when there is no known folder), then extension
//              blocks from 6 + the data size.
//   0x00       control panel file (signature 0xffffff38 and others at 4): name
//              and comments offsets (20, 22, in UTF-16 units from 24), the
//              .cpl path at 24.
//   0x01       control panel category: signature 0x39de2184 (4), category (8).
// Anything else is an unknown item, named by its class type and size
// ("[unknown item 0x5a, 36 bytes]"); the list goes on after it.
//
// Extension blocks (u16 size, u16 version, u32 signature 0xbeefXXXX, data,
// u16 offset of the block in the item) are walked while each fits the item;
// every block advances by its size (at least 8 bytes). Read: 0xbeef0004 (file
// entry: created and accessed DOS times (8, 12); version >= 7: the NTFS file
// reference at 20 (MFT entry 48 bits, sequence 16; a reference of 0, written
// for files not on NTFS, reads as none); the long name (UTF-16 from 20 in
// version 3, 38 in 7, 42 in 8, 46 in 9 and later: each version adds to the
// one before, so an unknown version reads as the highest below it); the
// localized name after it when the long string size (18 or 36) is not 0;
// nothing past the times below version 3), 0xbeef0003
// (a class GUID, 8), 0xbeef0025 and 0xbeef0026 (Windows 8.1 and later: a u32,
// then FILETIMEs created, modified, accessed from 12, as many as the block
// holds). Other blocks are listed by signature only. No item list embedded in
// an item or block is followed, so nothing nests.
//
// Text: UTF-16 as UTF-8; ANSI strings as Latin-1 (the code page is not known).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace artifacts {

struct ShellItem {
  enum class Kind : uint8_t {
    kUnknown,
    kRootFolder,
    kVolume,
    kDirectory,  // a file entry with flag 0x01
    kFile,       // a file entry with flag 0x02
    kFileEntry,  // a file entry with neither flag
    kNetworkLocation,
    kCompressedFolder,
    kUri,
    kControlPanelItem,
    kControlPanelCategory,
    kControlPanelFile,
    kPropertyView,
    kDelegate,
  };

  Kind kind = Kind::kUnknown;
  uint8_t classType = 0;
  uint16_t size = 0;  // the item's size field
  // What a path shows: a root folder's or a GUID's name ("My Computer"), a
  // volume's "C:", a file entry's long name (else its short name), a network
  // location, a URI, ... An unknown GUID shows as itself ("{...}").
  std::string name;
  std::string guid;       // "{...}": root folder, volume, control panel item, delegate class, known folder
  uint8_t sortIndex = 0;  // root folder
  char driveLetter = 0;   // volume with a name: 'C'

  // File entries (and the dates of other items' extension blocks).
  uint32_t fileSize = 0;
  uint16_t attributes = 0;
  std::string shortName;                             // the primary name (8.3 on NTFS, or the whole name)
  std::string longName;                              // from 0xbeef0004, or the primary name before XP
  std::string localizedName;                         // "@shell32.dll,-21798"
  uint64_t modified = 0, created = 0, accessed = 0;  // FILETIMEs; 0 for none
  std::optional<uint64_t> mftEntry;
  std::optional<uint16_t> mftSequence;
  uint16_t extensionVersion = 0;  // of the 0xbeef0004 block; 0 when there is none

  std::string description, comments;      // network location
  std::vector<uint32_t> extensionBlocks;  // the signatures, in order
  std::string problem;                    // empty, or what is wrong with the item
};

struct ShellItemList {
  std::vector<ShellItem> items;
  std::string problem;  // empty, or why the list stopped early
};

// The items of a list ended by an item of size 0 (ComDlg32 PIDL MRUs, or the
// list after the name of a RecentDocs or LastVisitedPidlMRU value).
ShellItemList ParseShellItemList(std::span<const uint8_t> data);

// The one item at the start of data (a ShellBags value: bytes after the item
// are ignored). A size below 3 or past the end of data sets problem.
ShellItem ParseShellItem(std::span<const uint8_t> data);

// The names joined from the desktop down: "My Computer\C:\Users\joe". An
// item without a name shows as its kind in brackets ("[property view]").
std::string ShellItemPath(const ShellItemList& list, std::string_view separator = "\\");
std::string ShellItemPath(std::span<const ShellItem> items, std::string_view separator = "\\");

// The list's problem and its items' ones, "; "-joined, items' prefixed
// "item N: "; empty when all is well. For a row's problem cell.
std::string ShellItemProblems(const ShellItemList& list);

// "root folder", "volume", "directory", "file", "file entry", "network
// location", "compressed folder", "URI", "control panel item", "control panel
// category", "control panel file", "property view", "delegate", "unknown".
std::string_view ShellItemKindName(ShellItem::Kind kind);

}  // namespace artifacts
