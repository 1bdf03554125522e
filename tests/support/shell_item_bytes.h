#pragma once
// Shell items written byte by byte, for the shell item tests and the seeds of
// the shell item fuzzer: the pieces (sizes, strings, GUIDs, extension blocks)
// and one sample of each item kind and extension block the parser reads.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace shellbytes {

using Bytes = std::vector<uint8_t>;

// value's low `count` bytes, little-endian.
inline Bytes Le(uint64_t value, size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}
inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
inline Bytes U8(uint8_t value) { return {value}; }
inline Bytes Zeros(size_t count) { return Bytes(count, 0); }
// NUL-ended strings: one byte a character, or UTF-16LE.
inline Bytes Ansi(std::string_view text) { return Concat({Bytes(text.begin(), text.end()), Zeros(1)}); }
inline Bytes Wide(std::u16string_view text) {
  Bytes out;
  for (const char16_t c : text) out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return Concat({out, Zeros(2)});
}
// "20D04FE0-3AEA-1069-A2D8-08002B30309D" as stored: three little-endian fields, then 8 bytes.
inline Bytes Guid(std::string_view text) {
  const auto hex = [&](size_t at, size_t digits) {
    return std::stoull(std::string(text.substr(at, digits)), nullptr, 16);
  };
  Bytes out = Concat({Le(hex(0, 8), 4), Le(hex(9, 4), 2), Le(hex(14, 4), 2)});
  for (const size_t at : {19u, 21u, 24u, 26u, 28u, 30u, 32u, 34u}) out.push_back(static_cast<uint8_t>(hex(at, 2)));
  return out;
}
// An item: its size, class type, then body (which starts at offset 3).
inline Bytes Item(uint8_t classType, const Bytes& body) {
  return Concat({Le(body.size() + 3, 2), U8(classType), body});
}
// An extension block: size, version, signature, data, its offset in the item.
inline Bytes Block(uint32_t signature, uint16_t version, const Bytes& data, size_t at) {
  return Concat({Le(data.size() + 10, 2), Le(version, 2), Le(signature, 4), data, Le(at, 2)});
}
inline Bytes Dos(uint16_t date, uint16_t time) { return Concat({Le(date, 2), Le(time, 2)}); }

inline constexpr uint16_t kDate = 0x3f1c, kTime = 0xa772;  // 2011-08-28 20:59:36
inline constexpr uint64_t kFileTime = 130679917528370423;  // 2015-02-09 21:42:32.837
inline constexpr const char* kMyComputer = "20D04FE0-3AEA-1069-A2D8-08002B30309D";
inline constexpr const char* kUsersFiles = "59031A47-3F72-44A7-89C5-5595FE6B30EE";
inline constexpr const char* kDelegate = "5E591A74-DF96-48D3-8D67-1733BCEE28BA";

inline Bytes Root(std::string_view guid) { return Item(0x1f, Concat({U8(0x50), Guid(guid)})); }
inline Bytes Drive(char letter) { return Item(0x2f, Concat({Ansi(std::string{letter, ':', '\\'}), Zeros(18)})); }
// A file entry of Windows 7 (class type 0x31 a directory, 0x32 a file): file
// size, DOS time, attributes, short name, then a 0xbeef0004 block of version 8.
inline Bytes FileEntry(uint8_t classType, uint32_t fileSize, uint16_t attributes, std::string_view shortName,
                       std::u16string_view longName, uint64_t fileReference = 0) {
  Bytes head = Concat({U8(0), Le(fileSize, 4), Dos(kDate, kTime), Le(attributes, 2), Ansi(shortName)});
  if ((head.size() + 3) % 2 != 0) head.push_back(0);
  const Bytes data = Concat({Dos(kDate, kTime), Dos(kDate, kTime), Le(0x2a, 2), Zeros(2), Le(fileReference, 8),
                             Zeros(8), Le(0, 2), Zeros(4), Wide(longName)});
  return Item(classType, Concat({head, Block(0xbeef0004, 8, data, head.size() + 3)}));
}
inline Bytes Directory(std::string_view shortName, std::u16string_view longName, uint64_t fileReference = 0) {
  return FileEntry(0x31, 0, 0x10, shortName, longName, fileReference);
}
// A property store holding System.ItemNameDisplay.
inline Bytes ItemNameStore(std::u16string_view name) {
  const Bytes text = Wide(name);
  const Bytes value =
      Concat({Le(text.size() + 17, 4), Le(10, 4), U8(0), Le(0x1f, 2), Zeros(2), Le(text.size() / 2, 4), text});
  const Bytes storage = Concat(
      {Le(value.size() + 28, 4), Le(0x53505331, 4), Guid("B725F130-47EF-101A-A5F1-02608C9EEBAC"), value, Le(0, 4)});
  return Concat({storage, Le(0, 4)});
}

struct Sample {
  const char* what;
  Bytes bytes;
};

// One item of each kind and extension block (and a few the parser refuses).
inline std::vector<Sample> Samples() {
  const Bytes store = ItemNameStore(u"Desktop Background");
  const Bytes cfsfFile = Concat({U8(0x31), U8(0), Le(0, 4), Dos(kDate, kTime), Le(0x12, 2), Ansi("AppData"), Zeros(2)});
  const Bytes cfsfData = Concat({Bytes{'C', 'F', 'S', 'F'}, Le(cfsfFile.size(), 2), cfsfFile});
  const Bytes times = Concat({Le(0x11, 4), Le(kFileTime, 8), Le(kFileTime + 1, 8), Le(kFileTime + 2, 8)});
  return {
      {"root folder", Root(kMyComputer)},
      {"root folder, unknown GUID", Root("01234567-89AB-CDEF-0123-456789ABCDEF")},
      {"root folder, 0xbeef0026",
       Item(0x1f, Concat({U8(0x42), Guid("018D5C66-4533-4307-9B53-224DE2ED1FE6"), Block(0xbeef0026, 1, times, 20)}))},
      {"volume, named", Drive('C')},
      {"volume, GUID", Item(0x2e, Concat({U8(0x80), Guid("3ADD1653-EB32-4CB0-BBD7-DFA0ABB5ACCA")}))},
      {"file entry, XP (0xbeef0004 version 3)",
       Item(0x31, Concat({U8(0), Le(0, 4), Dos(kDate, kTime), Le(0x10, 2), Ansi("DOCUME~1"), Zeros(1),
                          Block(0xbeef0004, 3,
                                Concat({Dos(0x3f19, 0xae86), Dos(kDate, kTime), Le(0x14, 2), Le(0, 2),
                                        Wide(u"Documents and Settings")}),
                                24)}))},
      {"file entry, 7 (version 8): file reference", Directory("Users", u"Users", 483 | 1ull << 48)},
      {"file entry, 7 (version 8): a file", FileEntry(0x32, 70000, 0x20, "REPORT~1.DOC", u"Report 2011.docx",
                                                      77 | 2ull << 48)},
      {"file entry, 10 (version 9): localized name, no file reference",
       Item(0x32, Concat({U8(0), Le(7, 4), Zeros(4), Le(0x20, 2), Ansi("A.TXT"),
                          Block(0xbeef0004, 9,
                                Concat({Zeros(8), Le(0x2e, 2), Zeros(18), Le(20, 2), Zeros(8), Wide(u"a.txt"),
                                        Wide(u"@shell32.dll,-21770")}),
                                20)}))},
      {"file entry, before XP: long then short name",
       Item(0x32,
            Concat({U8(0), Le(1234, 4), Dos(kDate, kTime), Le(0x20, 2), Ansi("Long Name.txt"), Ansi("LONGNA~1.TXT")}))},
      {"file entry, UTF-16 name, 0xbeef0003",
       Item(0xb5, Concat({U8(0), Zeros(10), Wide(u"\u00dcber"), Block(0xbeef0003, 0, Guid(kUsersFiles), 24)}))},
      {"network location",
       Item(0xc3, Concat({U8(1), U8(0xc0), Ansi("\\\\server\\share"), Ansi("Microsoft Network"), Ansi("the share")}))},
      {"compressed folder", Item(0x52, Concat({Zeros(43), Le(6, 4), Wide(u"inner"), Le(1, 4), Wide(u""), Le(3, 4),
                                               Wide(u"C:"), Le(1, 4), Wide(u"")}))},
      {"URI", Item(0x61, Concat({U8(0x80), Le(0, 2), Wide(u"https://example.org/")}))},
      {"control panel item", Item(0x71, Concat({U8(0x80), Zeros(10), Guid("ED834ED6-4B5A-4BFE-8F11-A626DCB6A921")}))},
      {"control panel category", Item(0x01, Concat({U8(0), Le(0x39de2184, 4), Le(1, 4)}))},
      {"control panel file", Item(0x00, Concat({U8(0), Le(0xffffff38, 4), Zeros(12), Le(8, 2), Le(14, 2),
                                                Wide(u"a\\x.cpl"), Wide(u"Mouse"), Wide(u"pointer")}))},
      {"property view, known folder", Item(0x00, Concat({U8(0), Le(26, 2), Le(0x23febbee, 4), Le(0, 2), Le(16, 2),
                                                         Guid("FDD39AD0-238F-46AF-ADB4-6C85480369C7"), Zeros(2)}))},
      {"property view, property store", Item(0x00, Concat({U8(0), Le(store.size() + 14, 2), Le(0xbeebee00, 4),
                                                           Le(store.size(), 2), Le(4, 2), Le(1, 4), store, Zeros(2)}))},
      {"delegate, CFSF file entry",
       Item(0x74, Concat({U8(0), Le(cfsfData.size(), 2), cfsfData, Guid(kDelegate),
                          Guid("DFFACDC5-679F-4156-8947-C5C76BC0B67F"),
                          Block(0xbeef0004, 3, Concat({Zeros(8), Le(0x14, 2), Le(0, 2), Wide(u"AppData")}), 66)}))},
      {"delegate", Item(0x2e, Concat({U8(0), Le(0, 2), Guid(kDelegate), Guid(kUsersFiles)}))},
      {"unknown class type", Item(0x5a, Zeros(33))},
      {"0x00 without a known signature", Item(0x00, Zeros(9))},
      {"extension block past the item",
       Item(0x1f, Concat({U8(0x50), Guid(kMyComputer), Le(200, 2), Zeros(2), Le(0xbeef0017, 4)}))},
  };
}

}  // namespace shellbytes
