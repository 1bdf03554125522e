#pragma once
// The records of a SAM hive, decoded from their raw bytes: a user's F and V
// values (SAM\Domains\Account\Users\<RID>), an alias's or a group's C value
// (Domains\Builtin\Aliases\<RID>, Domains\Account\Aliases\<RID>,
// Domains\Account\Groups\<RID>) and the domain SID at the end of
// Domains\Account's V value. Every read stays inside the span given; a record
// too short or whose offsets point outside it keeps what could be read and
// says what is wrong in `problem`.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace artifacts {

// F (80 bytes, Windows NT 4 to 11): at 8 the last logon, 24 the last password
// change, 32 the account's expiry, 40 the last failed logon (FILETIMEs as
// stored: 0 or 0x7FFFFFFFFFFFFFFF mean never), 48 the RID, 56 the account
// control flags, 64 the failed logon count and 66 the logon count (u16 each).
struct SamUserF {
  std::optional<uint64_t> lastLogon;
  std::optional<uint64_t> lastPasswordChange;
  std::optional<uint64_t> accountExpires;
  std::optional<uint64_t> lastFailedLogon;
  std::optional<uint32_t> rid;
  std::optional<uint32_t> flags;
  std::optional<uint16_t> failedLogonCount;
  std::optional<uint16_t> logonCount;
  std::string problem;  // e.g. "data too short: 60 of 80 bytes"
};
inline constexpr size_t kSamUserFSize = 80;
SamUserF DecodeSamUserF(std::span<const uint8_t> data);

// V: 17 descriptors of 12 bytes (offset relative to the end of the
// descriptors at 0xCC, size, unknown), then the data they point to. The
// second names the user, the third holds the full name, the fourth the
// comment, each UTF-16LE without a terminating NUL. A string whose
// descriptor points outside the data stays absent.
struct SamUserV {
  std::optional<std::string> name;
  std::optional<std::string> fullName;
  std::optional<std::string> comment;
  std::string problem;
};
inline constexpr size_t kSamUserVHeaderSize = 17 * 12;
SamUserV DecodeSamUserV(std::span<const uint8_t> data);

// The user account control flags as words, in the order of their bits,
// joined by ", " ("disabled, normal account, password never expires"); bits
// without a word are added as one hex number ("0x01000000").
std::string AccountFlagWords(uint32_t flags);

// C of an alias or a group: its RID, name and members. An alias (52-byte
// header, strings and the SID array at offsets relative to its end) lists
// member SIDs; a group of the account domain (68-byte header) lists member
// RIDs of that domain.
struct SamGroupC {
  std::optional<uint32_t> rid;
  std::optional<std::string> name;
  std::vector<std::string> memberSids;  // an alias's members
  std::vector<uint32_t> memberRids;     // a group's members
  std::string problem;
};
inline constexpr size_t kSamAliasHeaderSize = 52;
inline constexpr size_t kSamGroupHeaderSize = 68;
SamGroupC DecodeSamAliasC(std::span<const uint8_t> data);
SamGroupC DecodeSamGroupC(std::span<const uint8_t> data);

// The machine's domain SID ("S-1-5-21-a-b-c"): the last 24 bytes of
// Domains\Account's V value, a SID with four sub-authorities of which the
// first is 21. Empty when the data does not end with one.
std::string DomainSidOfAccountV(std::span<const uint8_t> data);

}  // namespace artifacts
