#include "artifacts/appcompat_cache.h"

#include <algorithm>
#include <cstdio>

#include "artifacts/decoders.h"

namespace artifacts {

namespace {

// --- Windows XP 32-bit: a 400-byte header (signature 0xdeadbeef, the number
// of slots, the number of LRU entries, 4 unknown bytes, then the LRU list: one
// u32 slot number per used slot, most recent first), then 96 slots of 552
// bytes: the path (UTF-16, NUL-terminated, in 528 bytes), last modified
// (FILETIME), file size (u64), last update (FILETIME).
constexpr uint32_t kXpSignature = 0xdeadbeef;
constexpr size_t kXpHeaderSize = 400;
constexpr size_t kXpLruListOffset = 16;
constexpr uint32_t kXpLruCapacity = (kXpHeaderSize - kXpLruListOffset) / 4;
constexpr size_t kXpSlotSize = 552;
constexpr size_t kXpPathBytes = 528;

// --- Server 2003, Vista (signature 0xbadc0ffe, an 8-byte header) and 7
// (0xbadc0fee, a 128-byte header): the signature, the number of entries, then
// fixed-size entries whose paths lie after them, at offsets from the start of
// the data. An entry: path size (u16, without the NUL), maximum path size
// (u16), the path offset (u32; 64-bit: 4 padding bytes, then a u64), last
// modified (FILETIME), then per version:
//   2003: the file size (u64).                    32-bit: 24 bytes, 64-bit: 32
//   Vista: insert flags (u32), shim flags (u32).  32-bit: 24 bytes, 64-bit: 32
//   7: insert flags, shim flags, data size and data offset (u32 each; 64-bit
//      u64 each for the last two).                32-bit: 32 bytes, 64-bit: 48
constexpr uint32_t kNt52Signature = 0xbadc0ffe;  // Server 2003, Vista
constexpr uint32_t kNt61Signature = 0xbadc0fee;  // 7
constexpr size_t kNt52HeaderSize = 8;
constexpr size_t kNt61HeaderSize = 128;
// Insert flags: bit 1 marks a file the cache recorded as executed.
constexpr uint32_t kInsertFlagExecuted = 0x2;
// Vista's insert flags use the low bits only; a 2003 entry holds the file's
// size there, which for any executable is larger.
constexpr uint32_t kLargestVistaInsertFlags = 0xff;

// --- Windows 8, 8.1, 10 and 11: a header, then variable-size entries: a
// signature ("00ts" on 8, "10ts" later), 4 unknown bytes, the entry's size
// after these 12 bytes (u32), then the path size (u16) and path (UTF-16,
// without a NUL), then per version:
//   8: insert flags, shim flags (u32 each), last modified, data size (u32), data.
//   8.1: the package name's size (u16) and name (UTF-16; Store apps, whose
//        path is then empty), then as 8.
//   10, 11: last modified, data size (u32), data.
// 8 and 8.1 have a 128-byte header (the first u32 is 128 on 8, 0 on 8.1);
// 10's header is 48 bytes (the entry count at 36) and from 10 1703 on, as on
// 11, 52 bytes (the entry count at 40); its first u32 is the header's size.
constexpr size_t kNt62HeaderSize = 128;
constexpr uint32_t kNt10HeaderSize = 0x30;
constexpr uint32_t kNt10CreatorsHeaderSize = 0x34;
constexpr size_t kEntryHeadSize = 12;
// The smallest sound entry: its head, the path size, last modified, data size.
constexpr size_t kSmallestEntry = kEntryHeadSize + 2 + 12;

enum class EntryBody { kWindows8, kWindows81, kWindows10 };

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string EntryTooShort(size_t held, size_t needed) {
  return "entry too short: " + std::to_string(held) + " of " + std::to_string(needed) + " bytes";
}

bool SignatureAt(const DataReader& reader, size_t offset, std::string_view signature) {
  const std::span<const uint8_t> bytes = reader.Bytes(offset, signature.size());
  return !bytes.empty() && std::equal(bytes.begin(), bytes.end(), signature.begin(),
                                      [](uint8_t b, char c) { return b == static_cast<uint8_t>(c); });
}

void SetProblem(AppCompatCache& cache, std::string problem, std::optional<uint32_t> position) {
  cache.problem = std::move(problem);
  cache.problemPosition = position;
}

// Entries the data could hold at most, for reserving: a hostile count never
// reserves more than the data's size allows.
size_t ReserveFor(uint64_t count, size_t dataSize, size_t smallestEntry) {
  return static_cast<size_t>(std::min<uint64_t>(count, dataSize / smallestEntry));
}

// The path of size bytes at offset, or a problem when the data does not hold it.
void ReadPath(const DataReader& reader, uint64_t offset, uint64_t size, AppCompatEntry& entry) {
  if (offset > reader.Size() || size > reader.Size() - offset) {
    entry.problem = "path outside the data: " + std::to_string(size) + " bytes at offset " + std::to_string(offset) +
                    " of " + std::to_string(reader.Size());
    return;
  }
  entry.path = Utf16Text(reader.Bytes(static_cast<size_t>(offset), static_cast<size_t>(size)));
}

// --- Windows XP 32-bit

void DecodeXp(const DataReader& reader, AppCompatCache& cache) {
  cache.layout = "Windows XP 32-bit";
  if (!reader.Holds(0, kXpHeaderSize)) return SetProblem(cache, DataTooShort(reader.Size(), kXpHeaderSize), {});
  const uint32_t slots = *reader.U32(4);
  const uint32_t used = *reader.U32(8);
  const uint32_t listed = std::min(used, kXpLruCapacity);
  cache.entries.reserve(listed);
  std::optional<uint32_t> firstCut;
  for (uint32_t position = 0; position < listed; ++position) {
    const uint32_t slot = *reader.U32(kXpLruListOffset + size_t{position} * 4);
    const size_t start = kXpHeaderSize + size_t{slot} * kXpSlotSize;
    if (slot < slots && !reader.Holds(start, kXpSlotSize)) {
      if (!firstCut) firstCut = position;
      continue;
    }
    AppCompatEntry& entry = cache.entries.emplace_back();
    entry.position = position;
    if (slot >= slots) {
      entry.problem = "the LRU list names slot " + std::to_string(slot) + " of " + std::to_string(slots);
      continue;
    }
    entry.path = Utf16Text(reader.Bytes(start, kXpPathBytes));
    entry.lastModified = *reader.U64(start + kXpPathBytes);
    entry.size = *reader.U64(start + kXpPathBytes + 8);
  }
  if (firstCut) {
    SetProblem(cache, DataTooShort(reader.Size(), kXpHeaderSize + uint64_t{slots} * kXpSlotSize), firstCut);
  } else if (used > kXpLruCapacity) {
    SetProblem(cache,
               "the header counts " + std::to_string(used) + " used slots; its LRU list holds " +
                   std::to_string(kXpLruCapacity),
               listed);
  }
}

// --- Server 2003, Vista, 7

struct FixedLayout {
  size_t headerSize;
  size_t entrySize;
  bool wide;            // 64-bit: a u64 path offset after 4 padding bytes
  size_t timeOffset;
  size_t flagsOffset;   // the insert flags, or 2003's file size
};

FixedLayout FixedLayoutOf(size_t headerSize, bool windows7, bool wide) {
  if (windows7) return wide ? FixedLayout{headerSize, 48, true, 16, 24} : FixedLayout{headerSize, 32, false, 8, 16};
  return wide ? FixedLayout{headerSize, 32, true, 16, 24} : FixedLayout{headerSize, 24, false, 8, 16};
}

// 64-bit entries hold 4 padding bytes (zero) where 32-bit ones hold the path
// offset, which is never 0 (the header comes first).
bool WideEntries(const DataReader& reader, size_t headerSize) {
  const std::optional<uint32_t> offsetOrPadding = reader.U32(headerSize + 4);
  return offsetOrPadding && *offsetOrPadding == 0;
}

// 2003 or Vista: Vista's insert flags are small, 2003's file sizes are not.
bool HoldsFileSizes(const DataReader& reader, const FixedLayout& layout, uint32_t entries) {
  for (uint32_t i = 0; i < entries; ++i) {
    if (*reader.U32(layout.headerSize + size_t{i} * layout.entrySize + layout.flagsOffset) > kLargestVistaInsertFlags) {
      return true;
    }
  }
  return false;
}

AppCompatEntry DecodeFixedEntry(const DataReader& reader, const FixedLayout& layout, bool fileSizes,
                                uint32_t position) {
  const size_t at = layout.headerSize + size_t{position} * layout.entrySize;
  AppCompatEntry entry;
  entry.position = position;
  entry.lastModified = *reader.U64(at + layout.timeOffset);
  if (fileSizes) {
    entry.size = *reader.U64(at + layout.flagsOffset);
  } else {
    entry.executed = (*reader.U32(at + layout.flagsOffset) & kInsertFlagExecuted) != 0;
  }
  const uint64_t pathOffset = layout.wide ? *reader.U64(at + 8) : *reader.U32(at + 4);
  ReadPath(reader, pathOffset, *reader.U16(at), entry);
  return entry;
}

void DecodeFixed(const DataReader& reader, bool windows7, AppCompatCache& cache) {
  const size_t headerSize = windows7 ? kNt61HeaderSize : kNt52HeaderSize;
  cache.layout = windows7 ? "Windows 7" : "Windows Server 2003 or Vista";
  if (!reader.Holds(0, headerSize)) return SetProblem(cache, DataTooShort(reader.Size(), headerSize), {});
  const uint32_t count = *reader.U32(4);
  if (count == 0) return;
  const bool wide = WideEntries(reader, headerSize);
  const FixedLayout layout = FixedLayoutOf(headerSize, windows7, wide);
  const uint32_t fitting = static_cast<uint32_t>(
      std::min<uint64_t>(count, (reader.Size() - headerSize) / layout.entrySize));
  const bool fileSizes = !windows7 && HoldsFileSizes(reader, layout, fitting);
  if (windows7) {
    cache.layout = wide ? "Windows 7 64-bit" : "Windows 7 32-bit";
  } else if (fileSizes) {
    cache.layout = wide ? "Windows Server 2003 64-bit" : "Windows Server 2003 32-bit";
  } else {
    cache.layout = wide ? "Windows Vista 64-bit" : "Windows Vista 32-bit";
  }
  cache.entries.reserve(fitting);
  for (uint32_t position = 0; position < fitting; ++position) {
    cache.entries.push_back(DecodeFixedEntry(reader, layout, fileSizes, position));
  }
  if (fitting < count) {
    SetProblem(cache, DataTooShort(reader.Size(), headerSize + uint64_t{count} * layout.entrySize), fitting);
  }
}

// --- Windows 8, 8.1, 10, 11

// The fields after the 12-byte entry head, read from the entry's own bytes.
void DecodeEntryBody(const DataReader& entryBytes, EntryBody body, AppCompatEntry& entry) {
  size_t at = kEntryHeadSize;
  const auto need = [&](size_t count) {
    if (entryBytes.Holds(at, count)) return true;
    entry.problem = EntryTooShort(entryBytes.Size(), at + count);
    return false;
  };
  if (!need(2)) return;
  const uint16_t pathSize = *entryBytes.U16(at);
  at += 2;
  if (!need(pathSize)) return;
  entry.path = Utf16Text(entryBytes.Bytes(at, pathSize));
  at += pathSize;
  if (body == EntryBody::kWindows81) {
    if (!need(2)) return;
    at += 2 + size_t{*entryBytes.U16(at)};
  }
  if (body != EntryBody::kWindows10) {
    if (!need(8)) return;
    entry.executed = (*entryBytes.U32(at) & kInsertFlagExecuted) != 0;
    at += 8;
  }
  if (!need(12)) return;
  entry.lastModified = *entryBytes.U64(at);
  const uint32_t dataSize = *entryBytes.U32(at + 8);
  at += 12;
  need(dataSize);
}

// Walks the entries from offset first, at most limit of them (none: to the
// data's end).
void DecodeVariable(const DataReader& reader, size_t first, std::string_view signature, EntryBody body,
                    std::optional<uint32_t> limit, AppCompatCache& cache) {
  cache.entries.reserve(ReserveFor(limit.value_or(UINT32_MAX), reader.Size(), kSmallestEntry));
  size_t at = first;
  uint32_t position = 0;
  while (limit ? position < *limit : at < reader.Size()) {
    if (!reader.Holds(at, kEntryHeadSize)) {
      return SetProblem(cache, DataTooShort(reader.Size(), at + kEntryHeadSize), position);
    }
    if (!SignatureAt(reader, at, signature)) {
      return SetProblem(cache,
                        "entry " + std::to_string(position) + " at offset " + std::to_string(at) +
                            " does not start with \"" + std::string(signature) + "\"",
                        position);
    }
    const uint64_t entrySize = kEntryHeadSize + uint64_t{*reader.U32(at + 8)};
    if (entrySize > reader.Size() - at) return SetProblem(cache, DataTooShort(reader.Size(), at + entrySize), position);
    AppCompatEntry& entry = cache.entries.emplace_back();
    entry.position = position;
    DecodeEntryBody(DataReader(reader.Bytes(at, static_cast<size_t>(entrySize))), body, entry);
    at += static_cast<size_t>(entrySize);
    ++position;
  }
}

void DecodeWindows10(const DataReader& reader, uint32_t headerSize, AppCompatCache& cache) {
  cache.layout = headerSize == kNt10HeaderSize ? "Windows 10" : "Windows 10 or 11";
  if (!reader.Holds(0, headerSize)) return SetProblem(cache, DataTooShort(reader.Size(), headerSize), {});
  const uint32_t count = *reader.U32(headerSize == kNt10HeaderSize ? 36 : 40);
  DecodeVariable(reader, headerSize, "10ts", EntryBody::kWindows10, count, cache);
}

void DecodeWindows8(const DataReader& reader, AppCompatCache& cache) {
  const bool windows81 = SignatureAt(reader, kNt62HeaderSize, "10ts");
  const bool windows8 = SignatureAt(reader, kNt62HeaderSize, "00ts");
  cache.layout = windows81 ? "Windows 8.1" : windows8 ? "Windows 8" : "Windows 8 or 8.1";
  if (!reader.Holds(0, kNt62HeaderSize)) return SetProblem(cache, DataTooShort(reader.Size(), kNt62HeaderSize), {});
  if (!windows8 && !windows81 && reader.Size() > kNt62HeaderSize) {
    return SetProblem(cache, DataTooShort(reader.Size(), kNt62HeaderSize + kEntryHeadSize), 0);
  }
  DecodeVariable(reader, kNt62HeaderSize, windows81 ? "10ts" : "00ts",
                 windows81 ? EntryBody::kWindows81 : EntryBody::kWindows8, std::nullopt, cache);
}

}  // namespace

AppCompatCache DecodeAppCompatCache(std::span<const uint8_t> data) {
  const DataReader reader(data);
  AppCompatCache cache;
  const std::optional<uint32_t> first = reader.U32(0);
  if (!first) {
    SetProblem(cache, DataTooShort(reader.Size(), 4), {});
  } else if (*first == kXpSignature) {
    DecodeXp(reader, cache);
  } else if (*first == kNt52Signature || *first == kNt61Signature) {
    DecodeFixed(reader, *first == kNt61Signature, cache);
  } else if ((*first == kNt10HeaderSize || *first == kNt10CreatorsHeaderSize) &&
             (SignatureAt(reader, *first, "10ts") || !reader.Holds(*first, 4))) {
    DecodeWindows10(reader, *first, cache);
  } else if (SignatureAt(reader, kNt62HeaderSize, "00ts") || SignatureAt(reader, kNt62HeaderSize, "10ts") ||
             (*first == kNt62HeaderSize && !reader.Holds(kNt62HeaderSize, 4))) {
    DecodeWindows8(reader, cache);
  } else {
    SetProblem(cache, "no known layout: the data starts with " + Hex32(*first), {});
  }
  return cache;
}

}  // namespace artifacts
