// libFuzzer target: any byte sequence, its first byte picking the decoder
// (layout_input.h), the rest taken as a value's data: the AppCompatCache of
// every Windows layout, the SAM's user F and V, alias and group C records and
// the domain SID at the end of the account domain's V, and UserAssist data in
// each layout. Each decoder's promises are checked (entries in order and no
// more than the data holds, a field absent only with a problem saying why,
// strings no longer than the bytes they come from), and every byte of every
// string produced is read, so that AddressSanitizer checks it.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "artifacts/appcompat_cache.h"
#include "artifacts/decoders.h"
#include "artifacts/sam_records.h"
#include "artifacts/userassist.h"
#include "layout_input.h"

namespace {

using artifacts::DataReader;
using Data = std::span<const uint8_t>;

volatile size_t g_sink = 0;

void Require(bool promise) {
  if (!promise) std::abort();
}

// Reads every byte of text (AddressSanitizer checks each).
void Read(std::string_view text) { g_sink = g_sink ^ std::hash<std::string_view>{}(text); }

// UTF-8 of UTF-16 is at most 3 bytes per 2-byte unit.
bool FitsUtf16Of(std::string_view text, size_t bytes) { return text.size() <= bytes / 2 * 3; }

// A field read from bytes [0, end) is present exactly when the data holds them.
template <typename Field>
void RequireHeldExactly(const std::optional<Field>& field, size_t end, size_t size) {
  Require(field.has_value() == (size >= end));
}

// --- AppCompatCache

constexpr uint32_t kXpSignature = 0xdeadbeef;
constexpr uint32_t kXpListed = 96;  // the XP header's LRU list: 96 slot numbers
constexpr uint32_t kServer2003Signature = 0xbadc0ffe;
constexpr uint32_t kWindows7Signature = 0xbadc0fee;
constexpr size_t kSmallestEntry = 12;  // 8 to 11: an entry's head; 2003 to 7 entries are larger

bool LayoutNames(std::string_view layout, std::initializer_list<std::string_view> versions) {
  for (std::string_view version : versions) {
    if (layout.find(version) != std::string_view::npos) return true;
  }
  return false;
}

// The entries the header counts, in the layouts that count them.
std::optional<uint32_t> CountedEntries(const DataReader& reader, std::string_view layout) {
  const std::optional<uint32_t> first = reader.U32(0);
  if (!first) return std::nullopt;
  if (*first == kXpSignature) {
    const std::optional<uint32_t> used = reader.U32(8);
    return used ? std::optional<uint32_t>(std::min(*used, kXpListed)) : std::nullopt;
  }
  if (*first == kServer2003Signature || *first == kWindows7Signature) return reader.U32(4);
  if (layout.starts_with("Windows 10")) return reader.U32(*first == 0x30 ? 36 : 40);
  return std::nullopt;
}

void CheckAppCompatCache(Data data) {
  const artifacts::AppCompatCache cache = artifacts::DecodeAppCompatCache(data);
  Read(cache.layout);
  Read(cache.problem);
  if (data.size() < 4 || cache.layout.empty()) Require(!cache.problem.empty() && cache.entries.empty());
  if (cache.problemPosition) Require(!cache.problem.empty());
  const bool xp = LayoutNames(cache.layout, {"XP"});
  Require(xp ? cache.entries.size() <= kXpListed : cache.entries.size() * kSmallestEntry <= data.size());
  const bool sizes = LayoutNames(cache.layout, {"XP", "2003"});
  const bool flags = LayoutNames(cache.layout, {"Vista", " 7", " 8"});
  std::optional<uint32_t> previous;
  for (const artifacts::AppCompatEntry& entry : cache.entries) {
    Read(entry.path);
    Read(entry.problem);
    Require(!previous || entry.position > *previous);
    previous = entry.position;
    // The entry a problem of the whole cache starts at is not listed.
    Require(entry.position != cache.problemPosition);
    Require(FitsUtf16Of(entry.path, data.size()));
    Require(sizes || !entry.size);
    Require(flags || !entry.executed);
  }
  const std::optional<uint32_t> counted = CountedEntries(DataReader(data), cache.layout);
  if (counted && cache.entries.size() < *counted) Require(!cache.problem.empty());
}

// --- SAM

// Bits without a word come last, as one hex number; every other item is the
// word of one bit.
void CheckAccountFlagWords(uint32_t flags) {
  const std::string words = artifacts::AccountFlagWords(flags);
  Read(words);
  Require(words.empty() == (flags == 0));
  if (flags == 0) return;
  int items = 1;
  for (size_t at = words.find(", "); at != std::string::npos; at = words.find(", ", at + 2)) ++items;
  const size_t last = words.rfind(", ");
  const std::string_view tail = std::string_view(words).substr(last == std::string::npos ? 0 : last + 2);
  int bits = items;
  if (tail.starts_with("0x")) {
    Require(tail.size() == 10);
    const uint32_t unnamed = static_cast<uint32_t>(std::strtoul(std::string(tail).c_str(), nullptr, 16));
    Require(unnamed != 0 && (unnamed & flags) == unnamed);
    bits = items - 1 + std::popcount(unnamed);
  }
  Require(bits == std::popcount(flags));
}

void CheckSamUserF(Data data) {
  const artifacts::SamUserF f = artifacts::DecodeSamUserF(data);
  Read(f.problem);
  RequireHeldExactly(f.lastLogon, 16, data.size());
  RequireHeldExactly(f.lastPasswordChange, 32, data.size());
  RequireHeldExactly(f.accountExpires, 40, data.size());
  RequireHeldExactly(f.lastFailedLogon, 48, data.size());
  RequireHeldExactly(f.rid, 52, data.size());
  RequireHeldExactly(f.flags, 60, data.size());
  RequireHeldExactly(f.failedLogonCount, 66, data.size());
  RequireHeldExactly(f.logonCount, 68, data.size());
  Require(f.problem.empty() == (data.size() >= artifacts::kSamUserFSize));
  if (f.flags) CheckAccountFlagWords(*f.flags);
}

void CheckSamUserV(Data data) {
  const artifacts::SamUserV v = artifacts::DecodeSamUserV(data);
  Read(v.problem);
  const DataReader reader(data);
  const std::optional<std::string>* strings[] = {&v.name, &v.fullName, &v.comment};
  for (size_t i = 0; i < 3; ++i) {
    const std::optional<std::string>& text = *strings[i];
    if (text) {
      Read(*text);
      Require(FitsUtf16Of(*text, data.size()));
    } else {
      Require(!v.problem.empty());
    }
    if (data.size() < artifacts::kSamUserVHeaderSize) {
      Require(!text);
      continue;
    }
    // Descriptor i + 1 (12 bytes: offset after the descriptors, size) names it.
    const uint64_t start = artifacts::kSamUserVHeaderSize + uint64_t{*reader.U32((i + 1) * 12)};
    Require(text.has_value() == (start + *reader.U32((i + 1) * 12 + 4) <= data.size()));
  }
}

// headerSize: the C record's header; countAt: its member count's offset.
void CheckSamC(Data data, const artifacts::SamGroupC& c, size_t headerSize, size_t countAt) {
  Read(c.problem);
  if (c.name) {
    Read(*c.name);
    Require(FitsUtf16Of(*c.name, data.size()));
  } else {
    Require(!c.problem.empty());
  }
  for (const std::string& sid : c.memberSids) {
    Read(sid);
    Require(sid.starts_with("S-1-"));
  }
  Require(c.memberSids.size() * 8 <= data.size() && c.memberRids.size() * 4 <= data.size());
  if (data.size() < headerSize) {
    Require(!c.name && c.memberSids.empty() && c.memberRids.empty());
    return;
  }
  const size_t members = c.memberSids.size() + c.memberRids.size();
  const uint32_t count = *DataReader(data).U32(countAt);
  Require(members <= count);
  if (members < count) Require(!c.problem.empty());
}

void CheckSamAliasC(Data data) {
  const artifacts::SamGroupC c = artifacts::DecodeSamAliasC(data);
  Require(c.memberRids.empty());
  RequireHeldExactly(c.rid, 4, data.size());  // the RID at 0
  CheckSamC(data, c, artifacts::kSamAliasHeaderSize, 48);
}

void CheckSamGroupC(Data data) {
  const artifacts::SamGroupC c = artifacts::DecodeSamGroupC(data);
  Require(c.memberSids.empty());
  RequireHeldExactly(c.rid, 8, data.size());  // the RID at 4
  CheckSamC(data, c, artifacts::kSamGroupHeaderSize, 64);
}

// "S-1-5-21-a-b-c" from the last 24 bytes, or nothing.
void CheckDomainSid(Data data) {
  const std::string sid = artifacts::DomainSidOfAccountV(data);
  Read(sid);
  if (sid.empty()) return;
  Require(data.size() >= 24 && sid.starts_with("S-1-5-21-"));
  size_t dashes = 0;
  for (const char c : sid) dashes += c == '-' ? 1 : 0;
  Require(dashes == 6);
}

// --- UserAssist

constexpr size_t kVersion3Size = 16;
constexpr size_t kVersion5Size = 72;

void CheckUserAssist(Data data, artifacts::UserAssistLayout layout) {
  using artifacts::UserAssistLayout;
  const artifacts::UserAssistEntry entry = artifacts::DecodeUserAssistData(data, layout);
  Read(entry.problem);
  const size_t size = data.size();
  if (layout == UserAssistLayout::kBySize) {
    if (size == kVersion3Size) layout = UserAssistLayout::kVersion3;
    if (size == kVersion5Size) layout = UserAssistLayout::kVersion5;
  }
  switch (layout) {
    case UserAssistLayout::kBySize:
      Require(!entry.problem.empty() && !entry.runCount && !entry.focusCount && !entry.focusMs && entry.lastRun == 0);
      return;
    case UserAssistLayout::kVersion3: {
      RequireHeldExactly(entry.runCount, 8, size);
      Require(!entry.focusCount && !entry.focusMs);
      if (size < 16) Require(entry.lastRun == 0);
      // A stored run count below 5 is shown as stored, with a problem.
      const std::optional<uint32_t> stored = DataReader(data).U32(4);
      const bool countBelowBase = stored && *stored < 5;
      Require(entry.problem.empty() == (size == kVersion3Size && !countBelowBase));
      break;
    }
    case UserAssistLayout::kVersion5:
      RequireHeldExactly(entry.runCount, 8, size);
      RequireHeldExactly(entry.focusCount, 12, size);
      RequireHeldExactly(entry.focusMs, 16, size);
      if (size < 68) Require(entry.lastRun == 0);
      Require(entry.problem.empty() == (size == kVersion5Size));
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  using fuzzing::LayoutDecoder;
  // The value's data in an allocation of its own, so that a read before its
  // start is caught as well as one past its end.
  const std::vector<uint8_t> value(bytes + 1, bytes + size);
  const Data data(value);
  switch (static_cast<LayoutDecoder>(bytes[0] % fuzzing::kLayoutDecoderCount)) {
    case LayoutDecoder::kAppCompatCache: CheckAppCompatCache(data); break;
    case LayoutDecoder::kSamUserF: CheckSamUserF(data); break;
    case LayoutDecoder::kSamUserV: CheckSamUserV(data); break;
    case LayoutDecoder::kSamAliasC: CheckSamAliasC(data); break;
    case LayoutDecoder::kSamGroupC: CheckSamGroupC(data); break;
    case LayoutDecoder::kDomainSid: CheckDomainSid(data); break;
    case LayoutDecoder::kUserAssistBySize: CheckUserAssist(data, artifacts::UserAssistLayout::kBySize); break;
    case LayoutDecoder::kUserAssistVersion3: CheckUserAssist(data, artifacts::UserAssistLayout::kVersion3); break;
    case LayoutDecoder::kUserAssistVersion5: CheckUserAssist(data, artifacts::UserAssistLayout::kVersion5); break;
  }
  return 0;
}
