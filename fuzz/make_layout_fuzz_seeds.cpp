// Writes the seed corpus of the layouts fuzzer into a folder: one sound value
// of each layout, built byte by byte, behind the byte that picks its decoder
// (layout_input.h): the AppCompatCache of Windows XP 32-bit, Server 2003,
// Vista and 7 (32 and 64-bit), 8, 8.1 (with a Store app's entry), 10 and
// 10 1703 or later and 11; a SAM user's F and V, an alias's and a group's C
// and the account domain's V; UserAssist data of 16 and 72 bytes.
//
//   make_layout_fuzz_seeds FOLDER

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "layout_input.h"
#include "log_builder.h"
#include "shell_item_bytes.h"

namespace {

using fuzzing::LayoutDecoder;
using shellbytes::Bytes;
using shellbytes::Concat;
using shellbytes::Le;
using shellbytes::Zeros;

struct Seed {
  std::string name;
  LayoutDecoder decoder;
  Bytes data;
};

// UTF-16LE without a terminating NUL.
Bytes Utf16(std::u16string_view text) {
  Bytes out;
  for (const char16_t c : text) out = Concat({out, Le(c, 2)});
  return out;
}

Bytes PaddedTo(Bytes bytes, size_t size, uint8_t fill = 0) {
  if (bytes.size() < size) bytes.resize(size, fill);
  return bytes;
}

constexpr uint64_t kModified = 0x01CB0A1B2C3D4E5Full;  // 2010-06-01
constexpr std::u16string_view kPaths[] = {u"C:\\Windows\\system32\\calc.exe", u"C:\\Tools\\r\u00e9sum\u00e9.exe"};

// --- AppCompatCache

// Windows XP 32-bit: a 400-byte header (signature, slots, used slots, 4
// bytes, the LRU list of slot numbers), then slots of 552 bytes: the path
// (UTF-16 with its NUL, in 528 bytes), last modified, file size, last update.
// Windows writes 96 slots; three keep the seed short.
Bytes WindowsXp() {
  constexpr uint32_t kSlots = 3;
  Bytes header = Concat({Le(0xdeadbeef, 4), Le(kSlots, 4), Le(2, 4), Zeros(4), Le(2, 4), Le(0, 4)});
  header = PaddedTo(header, 400, 0xff);
  Bytes slots;
  for (uint32_t slot = 0; slot < kSlots; ++slot) {
    const Bytes path = PaddedTo(Utf16(slot == 1 ? u"" : kPaths[slot / 2]), 528);
    slots = Concat({slots, path, Le(kModified + slot, 8), Le(114688 * (slot + 1), 8), Le(kModified + 99, 8)});
  }
  return Concat({header, slots});
}

enum class Fixed { kServer2003, kVista, kWindows7 };

// Server 2003 and Vista (8-byte header, 0xbadc0ffe) and 7 (128 bytes,
// 0xbadc0fee): the entries (path size, maximum size, path offset from the
// data's start, last modified, then the file size or the insert and shim
// flags, and on 7 the data's size and offset), then the paths.
Bytes FixedEntries(Fixed version, bool wide) {
  const bool windows7 = version == Fixed::kWindows7;
  const size_t headerSize = windows7 ? 128 : 8;
  const size_t entrySize = windows7 ? (wide ? 48 : 32) : (wide ? 32 : 24);
  const Bytes header = PaddedTo(Concat({Le(windows7 ? 0xbadc0fee : 0xbadc0ffe, 4), Le(2, 4)}), headerSize);
  Bytes entries;
  Bytes paths;
  for (size_t i = 0; i < 2; ++i) {
    const Bytes path = Utf16(kPaths[i]);
    const uint64_t pathAt = headerSize + 2 * entrySize + paths.size();
    const Bytes pathOffset = wide ? Concat({Zeros(4), Le(pathAt, 8)}) : Le(pathAt, 4);
    const Bytes tail = version == Fixed::kServer2003 ? Le(4096 * (i + 1) + 0x100, 8)
                                                     : Concat({Le(i == 0 ? 2 : 0, 4), Zeros(4)});
    const Bytes data = windows7 ? Zeros(wide ? 16 : 8) : Bytes{};
    entries = Concat({entries, Le(path.size(), 2), Le(path.size() + 2, 2), pathOffset, Le(kModified, 8), tail, data});
    paths = Concat({paths, path, Zeros(2)});
  }
  return Concat({header, entries, paths});
}

enum class Variable { kWindows8, kWindows81, kWindows10, kWindows1703 };

// One entry of 8 to 11: signature, 4 bytes, the size of the rest, the path's
// size and path, (8.1: the package name's size and name,) (8, 8.1: insert and
// shim flags,) last modified, the data's size and data.
Bytes VariableEntry(Variable version, std::u16string_view path, std::u16string_view package) {
  const Bytes pathBytes = Utf16(path);
  Bytes body = Concat({Le(pathBytes.size(), 2), pathBytes});
  if (version == Variable::kWindows81) body = Concat({body, Le(package.size() * 2, 2), Utf16(package)});
  if (version == Variable::kWindows8 || version == Variable::kWindows81) body = Concat({body, Le(2, 4), Zeros(4)});
  body = Concat({body, Le(kModified, 8), Le(4, 4), Le(0x01020304, 4)});
  const std::string_view signature = version == Variable::kWindows8 ? "00ts" : "10ts";
  return Concat({Bytes(signature.begin(), signature.end()), Le(0x5c0e8d2a, 4), Le(body.size(), 4), body});
}

// The header: 128 bytes on 8 (starting with 128) and 8.1 (with 0); 48 bytes
// on 10 (the entry count at 36); 52 from 10 1703 on and on 11 (count at 40).
Bytes VariableEntries(Variable version) {
  Bytes header;
  switch (version) {
    case Variable::kWindows8: header = PaddedTo(Le(128, 4), 128); break;
    case Variable::kWindows81: header = Zeros(128); break;
    case Variable::kWindows10: header = PaddedTo(Concat({Le(0x30, 4), Zeros(32), Le(2, 4)}), 0x30); break;
    case Variable::kWindows1703: header = PaddedTo(Concat({Le(0x34, 4), Zeros(36), Le(2, 4)}), 0x34); break;
  }
  const bool storeApp = version == Variable::kWindows81;
  return Concat({header, VariableEntry(version, kPaths[0], u""),
                 VariableEntry(version, storeApp ? u"" : kPaths[1], storeApp ? u"Microsoft.WindowsCalculator" : u"")});
}

// --- SAM

Bytes Sid(const std::vector<uint32_t>& subAuthorities) {
  Bytes sid = {1, static_cast<uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, 5};
  for (const uint32_t sub : subAuthorities) sid = Concat({sid, Le(sub, 4)});
  return sid;
}

// F: last logon (8), password change (24), expiry (32, never), failed logon
// (40), RID (48), flags (56), failed and successful logon counts (64, 66).
Bytes UserF() {
  return Concat({Zeros(8), Le(kModified, 8), Zeros(8), Le(kModified - 1000, 8), Le(0x7FFFFFFFFFFFFFFFull, 8),
                 Le(kModified - 5, 8), Le(1001, 4), Zeros(4), Le(0x00010214, 4), Zeros(4), Le(2, 2), Le(112, 2),
                 Zeros(12)});
}

// A record's header followed by its strings, each 4-byte aligned; offsets[i]
// gets the offset (from the header's end) of strings[i].
Bytes AfterHeader(const std::vector<Bytes>& strings, std::vector<size_t>& offsets) {
  Bytes body;
  for (const Bytes& text : strings) {
    offsets.push_back(body.size());
    body = PaddedTo(Concat({body, text}), (body.size() + text.size() + 3) / 4 * 4);
  }
  return body;
}

// V: 17 descriptors of 12 bytes (offset from 0xCC, size, unknown); 1 to 3
// name the user's name, full name and comment.
Bytes UserV() {
  const std::vector<Bytes> texts = {Utf16(u"alice"), Utf16(u"Alice Liddell"), Utf16(u"built-in test account")};
  std::vector<size_t> offsets;
  const Bytes body = AfterHeader(texts, offsets);
  Bytes header = Zeros(12);
  for (size_t i = 0; i < texts.size(); ++i) {
    header = Concat({header, Le(offsets[i], 4), Le(texts[i].size(), 4), Zeros(4)});
  }
  return Concat({PaddedTo(header, 17 * 12), body});
}

// An alias's C (52-byte header: RID at 0, name at 16, description at 28,
// member SIDs at 40 as offset, size, count) or a group's (68 bytes: RID at 4,
// name at 32, description at 44, member RIDs at 56).
Bytes RecordC(bool alias, uint32_t rid, std::u16string_view name, const Bytes& members, uint32_t count) {
  std::vector<size_t> offsets;
  const std::vector<Bytes> strings = {Utf16(name), Utf16(u"Members of this group"), members};
  const Bytes body = AfterHeader(strings, offsets);
  const auto field = [&](size_t i) { return Concat({Le(offsets[i], 4), Le(strings[i].size(), 4)}); };
  Bytes header = alias ? Concat({Le(rid, 4), Zeros(12), field(0), Zeros(4), field(1), Zeros(4), field(2), Le(count, 4)})
                       : Concat({Zeros(4), Le(rid, 4), Zeros(24), field(0), Zeros(4), field(1), Zeros(4), field(2),
                                 Le(count, 4)});
  return Concat({header, body});
}

// Domains\Account's V: its domain SID in its last 24 bytes.
Bytes AccountV() {
  return Concat({PaddedTo(Le(0x10001, 4), 64, 0xab), Sid({21, 4070822719u, 3404542230u, 2541167049u})});
}

// --- UserAssist

Bytes UserAssist3() { return Concat({Le(1, 4), Le(6, 4), Le(kModified, 8)}); }

Bytes UserAssist5() {
  const Bytes counts = Concat({Le(0xFFFFFFFF, 4), Le(14, 4), Le(27, 4), Le(617000, 4)});
  return Concat({PaddedTo(counts, 60, 0x80), Le(kModified, 8), Zeros(4)});
}

std::vector<Seed> Seeds() {
  const Bytes admin = Sid({21, 111, 222, 333, 500});
  return {
      {"appcompat-xp", LayoutDecoder::kAppCompatCache, WindowsXp()},
      {"appcompat-2003-32", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kServer2003, false)},
      {"appcompat-2003-64", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kServer2003, true)},
      {"appcompat-vista-32", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kVista, false)},
      {"appcompat-vista-64", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kVista, true)},
      {"appcompat-7-32", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kWindows7, false)},
      {"appcompat-7-64", LayoutDecoder::kAppCompatCache, FixedEntries(Fixed::kWindows7, true)},
      {"appcompat-8", LayoutDecoder::kAppCompatCache, VariableEntries(Variable::kWindows8)},
      {"appcompat-8.1", LayoutDecoder::kAppCompatCache, VariableEntries(Variable::kWindows81)},
      {"appcompat-10", LayoutDecoder::kAppCompatCache, VariableEntries(Variable::kWindows10)},
      {"appcompat-10-1703-11", LayoutDecoder::kAppCompatCache, VariableEntries(Variable::kWindows1703)},
      {"sam-user-f", LayoutDecoder::kSamUserF, UserF()},
      {"sam-user-v", LayoutDecoder::kSamUserV, UserV()},
      {"sam-alias-c", LayoutDecoder::kSamAliasC, RecordC(true, 544, u"Administrators", Concat({admin, Sid({4})}), 2)},
      {"sam-group-c", LayoutDecoder::kSamGroupC, RecordC(false, 513, u"None", Concat({Le(500, 4), Le(1001, 4)}), 2)},
      {"sam-account-v", LayoutDecoder::kDomainSid, AccountV()},
      {"userassist-16-by-size", LayoutDecoder::kUserAssistBySize, UserAssist3()},
      {"userassist-72-by-size", LayoutDecoder::kUserAssistBySize, UserAssist5()},
      {"userassist-version-3", LayoutDecoder::kUserAssistVersion3, UserAssist3()},
      {"userassist-version-5", LayoutDecoder::kUserAssistVersion5, UserAssist5()},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_layout_fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::vector<Seed> seeds = Seeds();
  for (const Seed& seed : seeds) {
    const Bytes input = Concat({Bytes{static_cast<uint8_t>(seed.decoder)}, seed.data});
    if (!testsupport::WriteFile((folder / ("seed-" + seed.name)).string(), input)) {
      std::fprintf(stderr, "make_layout_fuzz_seeds: cannot write %s\n", seed.name.c_str());
      return 1;
    }
  }
  std::printf("make_layout_fuzz_seeds: %zu seeds in %s\n", seeds.size(), folder.c_str());
  return 0;
}
