// The AppCompatCache decoder on values built byte by byte, one per Windows
// layout, from the format's documentation (libyal winreg-kb, "Application
// compatibility cache"): the decoded entries, and each layout cut short.
// Windows 8.1's entries were checked against the real hive regipy__SYSTEM_2:
// its 2-byte field after the path is a package name's size (a Store app's
// entry holds an empty path and the package name), so the insert flags follow
// that name.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "artifacts/appcompat_cache.h"

namespace {

using artifacts::AppCompatCache;
using artifacts::DecodeAppCompatCache;

class Bytes {
 public:
  Bytes& U16(uint16_t v) { return Put(v, 2); }
  Bytes& U32(uint32_t v) { return Put(v, 4); }
  Bytes& U64(uint64_t v) { return Put(v, 8); }
  Bytes& Ascii(std::string_view text) {
    data.insert(data.end(), text.begin(), text.end());
    return *this;
  }
  Bytes& Utf16(std::string_view ascii) {
    for (const char c : ascii) U16(static_cast<uint8_t>(c));
    return *this;
  }
  Bytes& PadTo(size_t size) {
    data.resize(std::max(size, data.size()));
    return *this;
  }
  void PatchU32(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> data;

 private:
  Bytes& Put(uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
};

struct Sample {
  std::string path;
  uint64_t modified;
  uint64_t size;
  uint32_t insertFlags;  // bit 1: executed
};

const Sample kSamples[] = {
    {"C:\\Windows\\system32\\calc.exe", 0x01CB0A1B2C3D4E5Full, 114688, 0x2},
    {"C:\\Tools\\run.exe", 0x01D0112233445566ull, 4096, 0x0},
};

size_t Utf16Size(const Sample& s) { return s.path.size() * 2; }

// XP 32-bit: 96 slots, the samples in slots 2 and 5, the LRU list naming them.
std::vector<uint8_t> WindowsXp() {
  Bytes b;
  b.U32(0xdeadbeef).U32(96).U32(2).U32(0).U32(2).U32(5);
  for (int i = 2; i < 96; ++i) b.U32(0xffffffff);
  const uint32_t slots[] = {2, 5};
  for (int i = 0; i < 2; ++i) {
    b.PadTo(400 + slots[i] * 552).Utf16(kSamples[i].path).PadTo(400 + slots[i] * 552 + 528);
    b.U64(kSamples[i].modified).U64(kSamples[i].size).U64(0x01D1000000000000ull);
  }
  return b.PadTo(400 + 96 * 552).data;
}

enum class Fixed { k2003, kVista, k7 };

// 2003, Vista, 7: the header, the entries, then the paths they point to.
std::vector<uint8_t> FixedEntries(Fixed version, bool wide) {
  const size_t header = version == Fixed::k7 ? 128 : 8;
  const size_t entry = version == Fixed::k7 ? (wide ? 48 : 32) : (wide ? 32 : 24);
  Bytes b;
  b.U32(version == Fixed::k7 ? 0xbadc0fee : 0xbadc0ffe).U32(2).PadTo(header);
  size_t pathAt = header + 2 * entry;
  for (const Sample& s : kSamples) {
    b.U16(static_cast<uint16_t>(Utf16Size(s))).U16(static_cast<uint16_t>(Utf16Size(s) + 2));
    if (wide) {
      b.U32(0).U64(pathAt);
    } else {
      b.U32(static_cast<uint32_t>(pathAt));
    }
    b.U64(s.modified);
    if (version == Fixed::k2003) {
      b.U64(s.size);
    } else {
      b.U32(s.insertFlags).U32(0);
    }
    if (version == Fixed::k7 && wide) b.U64(0).U64(0);
    if (version == Fixed::k7 && !wide) b.U32(0).U32(0);
    pathAt += Utf16Size(s) + 2;
  }
  for (const Sample& s : kSamples) b.Utf16(s.path).U16(0);
  return b.data;
}

enum class Variable { k8, k81, k10, k11 };

// 8, 8.1, 10, 11: a header, then "00ts"/"10ts" entries of their own size.
std::vector<uint8_t> VariableEntries(Variable version) {
  Bytes b;
  const std::string_view signature = version == Variable::k8 ? "00ts" : "10ts";
  switch (version) {
    case Variable::k8: b.U32(0x80).PadTo(0x80); break;
    case Variable::k81: b.U32(0).PadTo(0x80); break;
    case Variable::k10: b.U32(0x30).PadTo(36).U32(2).PadTo(0x30); break;
    case Variable::k11: b.U32(0x34).PadTo(40).U32(2).PadTo(0x34); break;
  }
  for (const Sample& s : kSamples) {
    Bytes body;
    body.U16(static_cast<uint16_t>(Utf16Size(s))).Utf16(s.path);
    if (version == Variable::k81) body.U16(0);
    if (version == Variable::k8 || version == Variable::k81) body.U32(s.insertFlags).U32(0);
    body.U64(s.modified).U32(4).U32(0x01020304);
    b.Ascii(signature).U32(0x12345678).U32(static_cast<uint32_t>(body.data.size()));
    b.data.insert(b.data.end(), body.data.begin(), body.data.end());
  }
  return b.data;
}

struct LayoutCase {
  const char* layout;
  std::vector<uint8_t> data;
  bool sizes;      // the layout stores the file's size
  bool executed;   // ... and the insert flags
  size_t cut;      // the data cut to this many bytes
  std::string cutProblem;
  uint32_t cutPosition;
};

std::vector<LayoutCase> LayoutCases() {
  const size_t v8 = VariableEntries(Variable::k8).size();
  const size_t v81 = VariableEntries(Variable::k81).size();
  const size_t v10 = VariableEntries(Variable::k10).size();
  const size_t v11 = VariableEntries(Variable::k11).size();
  auto cutOf = [](size_t size) {
    return "data too short: " + std::to_string(size - 3) + " of " + std::to_string(size) + " bytes";
  };
  return {
      {"Windows XP 32-bit", WindowsXp(), true, false, 400 + 4 * 552, "data too short: 2608 of 53392 bytes", 1},
      {"Windows Server 2003 32-bit", FixedEntries(Fixed::k2003, false), true, false, 8 + 24 + 4,
       "data too short: 36 of 56 bytes", 1},
      {"Windows Server 2003 64-bit", FixedEntries(Fixed::k2003, true), true, false, 8 + 32 + 4,
       "data too short: 44 of 72 bytes", 1},
      {"Windows Vista 32-bit", FixedEntries(Fixed::kVista, false), false, true, 8 + 24 + 4,
       "data too short: 36 of 56 bytes", 1},
      {"Windows Vista 64-bit", FixedEntries(Fixed::kVista, true), false, true, 8 + 32 + 4,
       "data too short: 44 of 72 bytes", 1},
      {"Windows 7 32-bit", FixedEntries(Fixed::k7, false), false, true, 128 + 32 + 4,
       "data too short: 164 of 192 bytes", 1},
      {"Windows 7 64-bit", FixedEntries(Fixed::k7, true), false, true, 128 + 48 + 4,
       "data too short: 180 of 224 bytes", 1},
      {"Windows 8", VariableEntries(Variable::k8), false, true, v8 - 3, cutOf(v8), 1},
      {"Windows 8.1", VariableEntries(Variable::k81), false, true, v81 - 3, cutOf(v81), 1},
      {"Windows 10", VariableEntries(Variable::k10), false, false, v10 - 3, cutOf(v10), 1},
      {"Windows 10 or 11", VariableEntries(Variable::k11), false, false, v11 - 3, cutOf(v11), 1},
  };
}

TEST(AppCompatCache, EveryLayoutDecodesItsEntries) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.layout);
    const AppCompatCache cache = DecodeAppCompatCache(c.data);
    EXPECT_EQ(cache.layout, c.layout);
    EXPECT_EQ(cache.problem, "");
    ASSERT_EQ(cache.entries.size(), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
      const auto& entry = cache.entries[i];
      EXPECT_EQ(entry.position, i);
      EXPECT_EQ(entry.path, kSamples[i].path);
      EXPECT_EQ(entry.lastModified, kSamples[i].modified);
      EXPECT_EQ(entry.size, c.sizes ? std::optional<uint64_t>(kSamples[i].size) : std::nullopt);
      EXPECT_EQ(entry.executed, c.executed ? std::optional<bool>(i == 0) : std::nullopt);
      EXPECT_EQ(entry.problem, "");
    }
  }
}

TEST(AppCompatCache, EveryLayoutCutShortGivesTheEntriesThatFitAndDataTooShort) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.layout);
    const std::vector<uint8_t> cut(c.data.begin(), c.data.begin() + static_cast<ptrdiff_t>(c.cut));
    const AppCompatCache cache = DecodeAppCompatCache(cut);
    EXPECT_EQ(cache.layout, c.layout);
    ASSERT_EQ(cache.entries.size(), 1u);
    EXPECT_EQ(cache.entries[0].lastModified, kSamples[0].modified);
    EXPECT_EQ(cache.problem, c.cutProblem);
    EXPECT_EQ(cache.problemPosition, std::optional<uint32_t>(c.cutPosition));
  }
}

TEST(AppCompatCache, AHeaderCutShortIsTheOnlyProblem) {
  const struct {
    std::vector<uint8_t> data;
    const char* problem;
  } cases[] = {
      {{}, "data too short: 0 of 4 bytes"},
      {Bytes().U32(0xdeadbeef).U32(96).data, "data too short: 8 of 400 bytes"},
      {Bytes().U32(0xbadc0ffe).data, "data too short: 4 of 8 bytes"},
      {Bytes().U32(0xbadc0fee).U32(1).data, "data too short: 8 of 128 bytes"},
      {Bytes().U32(0x34).U32(0).data, "data too short: 8 of 52 bytes"},
      {Bytes().U32(0x80).data, "data too short: 4 of 128 bytes"},
  };
  for (const auto& c : cases) {
    const AppCompatCache cache = DecodeAppCompatCache(c.data);
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_EQ(cache.problem, c.problem);
    EXPECT_EQ(cache.problemPosition, std::nullopt);
  }
}

TEST(AppCompatCache, AnUnknownLayoutIsNamedByItsFirstBytes) {
  const AppCompatCache cache = DecodeAppCompatCache(Bytes().U32(0x12345678).PadTo(200).data);
  EXPECT_EQ(cache.layout, "");
  EXPECT_TRUE(cache.entries.empty());
  EXPECT_EQ(cache.problem, "no known layout: the data starts with 0x12345678");
}

TEST(AppCompatCache, APathOutsideTheDataKeepsTheEntrysOtherFields) {
  Bytes b;
  b.data = FixedEntries(Fixed::kVista, false);
  b.PatchU32(8 + 24 + 4, 5000);  // the second entry's path offset
  const AppCompatCache cache = DecodeAppCompatCache(b.data);
  ASSERT_EQ(cache.entries.size(), 2u);
  EXPECT_EQ(cache.entries[0].problem, "");
  EXPECT_EQ(cache.entries[1].path, "");
  EXPECT_EQ(cache.entries[1].lastModified, kSamples[1].modified);
  EXPECT_EQ(cache.entries[1].executed, false);
  EXPECT_EQ(cache.entries[1].problem, "path outside the data: 32 bytes at offset 5000 of 148");
}

TEST(AppCompatCache, AnEntryTooSmallForItsFieldsSaysSo) {
  Bytes b;
  b.U32(0x30).PadTo(36).U32(1).PadTo(0x30);
  b.Ascii("10ts").U32(0).U32(4).U16(10).U16('a');  // the path claims 10 bytes, the entry holds 2 of them
  const AppCompatCache cache = DecodeAppCompatCache(b.data);
  ASSERT_EQ(cache.entries.size(), 1u);
  EXPECT_EQ(cache.entries[0].problem, "entry too short: 16 of 24 bytes");
  EXPECT_EQ(cache.problem, "");
}

TEST(AppCompatCache, AnEntryWithoutItsSignatureEndsTheWalk) {
  Bytes b;
  b.data = VariableEntries(Variable::k10);
  const size_t second = 0x30 + 12 + 2 + Utf16Size(kSamples[0]) + 8 + 4 + 4;
  b.data[second] = 'X';
  const AppCompatCache cache = DecodeAppCompatCache(b.data);
  ASSERT_EQ(cache.entries.size(), 1u);
  EXPECT_EQ(cache.problem, "entry 1 at offset " + std::to_string(second) + " does not start with \"10ts\"");
  EXPECT_EQ(cache.problemPosition, std::optional<uint32_t>(1));
}

TEST(AppCompatCache, AStoreAppEntryOfWindows81HasAPackageAndNoPath) {
  Bytes b;
  b.U32(0).PadTo(0x80);
  Bytes body;
  body.U16(0).U16(8).Utf16("pkg\t").U32(0x15).U32(0).U64(0).U32(0);
  b.Ascii("10ts").U32(0).U32(static_cast<uint32_t>(body.data.size()));
  b.data.insert(b.data.end(), body.data.begin(), body.data.end());
  const AppCompatCache cache = DecodeAppCompatCache(b.data);
  ASSERT_EQ(cache.entries.size(), 1u);
  EXPECT_EQ(cache.entries[0].path, "");
  EXPECT_EQ(cache.entries[0].executed, false);  // 0x15: bit 1 clear
  EXPECT_EQ(cache.entries[0].problem, "");
  EXPECT_EQ(cache.problem, "");
}

TEST(AppCompatCache, AnXpLruEntryNamingNoSlotIsAProblemOfThatEntry) {
  Bytes b;
  b.data = WindowsXp();
  b.PatchU32(20, 96);  // the second LRU entry names slot 96 of 96
  const AppCompatCache cache = DecodeAppCompatCache(b.data);
  ASSERT_EQ(cache.entries.size(), 2u);
  EXPECT_EQ(cache.entries[0].path, kSamples[0].path);
  EXPECT_EQ(cache.entries[1].path, "");
  EXPECT_EQ(cache.entries[1].problem, "the LRU list names slot 96 of 96");
}

}  // namespace
