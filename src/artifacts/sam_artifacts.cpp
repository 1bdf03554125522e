// The SAM hive's artifacts: its user accounts (SAM\Domains\Account\Users) and
// its groups (Builtin and Account aliases, Account groups), and the decoders
// of their F, V and C records (sam_records.h).

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"
#include "artifacts/sam_records.h"

namespace artifacts {

namespace {

// Appends item to a list joined by separator.
void AppendJoined(std::string& list, std::string_view item, std::string_view separator) {
  if (item.empty()) return;
  if (!list.empty()) list += separator;
  list += item;
}

void AddProblem(std::string& problem, std::string_view text) { AppendJoined(problem, text, "; "); }

// A UTF-16LE string at base + offset, size bytes, where the offset and size
// come from the record; none (and a problem) when it lies outside the data.
std::optional<std::string> StringAt(const DataReader& reader, size_t base, uint32_t offset, uint32_t size,
                                    std::string_view what, std::string& problem) {
  const uint64_t start = uint64_t{base} + offset;
  if (start > reader.Size() || size > reader.Size() - start) {
    AddProblem(problem, std::string(what) + " (" + std::to_string(size) + " bytes at offset " + std::to_string(start) +
                            ") lies outside the data (" + std::to_string(reader.Size()) + " bytes)");
    return std::nullopt;
  }
  return Utf16Text(reader.Bytes(static_cast<size_t>(start), size));
}

// A string of a C record: its offset (relative to the header's end) and size
// at fieldOffset and fieldOffset + 4.
std::optional<std::string> CString(const DataReader& reader, size_t header, size_t fieldOffset, std::string_view what,
                                   std::string& problem) {
  return StringAt(reader, header, *reader.U32(fieldOffset), *reader.U32(fieldOffset + 4), what, problem);
}

// The bytes an array of a C record may use: from its offset (relative to the
// header's end) for its stated size, cut at the data's end (with a problem).
std::span<const uint8_t> ArrayBytes(const DataReader& reader, size_t header, size_t fieldOffset, std::string_view what,
                                    std::string& problem) {
  const uint64_t start = uint64_t{header} + *reader.U32(fieldOffset);
  const uint64_t size = *reader.U32(fieldOffset + 4);
  if (start > reader.Size()) {
    AddProblem(problem, std::string(what) + " at offset " + std::to_string(start) + " lies outside the data (" +
                            std::to_string(reader.Size()) + " bytes)");
    return {};
  }
  const uint64_t held = reader.Size() - start;
  if (size > held) {
    AddProblem(problem, std::string(what) + " (" + std::to_string(size) + " bytes at offset " + std::to_string(start) +
                            ") runs past the data's end (" + std::to_string(reader.Size()) + " bytes)");
  }
  return reader.Bytes(static_cast<size_t>(start), static_cast<size_t>(size < held ? size : held));
}

// The SIDs of an alias's member array, one after another (8 bytes and 4 per
// sub-authority each), at most count of them.
std::vector<std::string> SidsOf(std::span<const uint8_t> bytes, uint32_t count, std::string& problem) {
  std::vector<std::string> sids;
  const DataReader reader(bytes);
  size_t at = 0;
  while (sids.size() < count && reader.Holds(at, 8)) {
    const size_t length = 8 + size_t{bytes[at + 1]} * 4;
    std::string sid = reader.Holds(at, length) ? FormatSid(reader.Bytes(at, length)) : std::string();
    if (sid.empty()) break;
    sids.push_back(std::move(sid));
    at += length;
  }
  if (sids.size() < count) {
    AddProblem(problem, "member SIDs: " + std::to_string(sids.size()) + " of " + std::to_string(count) + " read");
  }
  return sids;
}

std::vector<uint32_t> RidsOf(std::span<const uint8_t> bytes, uint32_t count, std::string& problem) {
  std::vector<uint32_t> rids;
  const DataReader reader(bytes);
  for (size_t at = 0; rids.size() < count && reader.Holds(at, 4); at += 4) rids.push_back(*reader.U32(at));
  if (rids.size() < count) {
    AddProblem(problem, "member RIDs: " + std::to_string(rids.size()) + " of " + std::to_string(count) + " read");
  }
  return rids;
}

}  // namespace

SamUserF DecodeSamUserF(std::span<const uint8_t> data) {
  const DataReader reader(data);
  SamUserF f;
  f.lastLogon = reader.U64(8);
  f.lastPasswordChange = reader.U64(24);
  f.accountExpires = reader.U64(32);
  f.lastFailedLogon = reader.U64(40);
  f.rid = reader.U32(48);
  f.flags = reader.U32(56);
  f.failedLogonCount = reader.U16(64);
  f.logonCount = reader.U16(66);
  if (data.size() < kSamUserFSize) f.problem = DataTooShort(data.size(), kSamUserFSize);
  return f;
}

SamUserV DecodeSamUserV(std::span<const uint8_t> data) {
  const DataReader reader(data);
  SamUserV v;
  if (data.size() < kSamUserVHeaderSize) {
    v.problem = DataTooShort(data.size(), kSamUserVHeaderSize);
    return v;
  }
  // Descriptors 1, 2 and 3 (of 0 to 16): name, full name, comment.
  const auto field = [&](size_t index, std::string_view what) {
    return StringAt(reader, kSamUserVHeaderSize, *reader.U32(index * 12), *reader.U32(index * 12 + 4), what, v.problem);
  };
  v.name = field(1, "name");
  v.fullName = field(2, "full name");
  v.comment = field(3, "comment");
  return v;
}

// The words of the user account control flags, one per bit from bit 0.
constexpr std::array<std::string_view, 22> kAccountFlagWords{
    "disabled",                                // 0x00000001 USER_ACCOUNT_DISABLED
    "home directory required",                 // 0x00000002 USER_HOME_DIRECTORY_REQUIRED
    "password not required",                   // 0x00000004 USER_PASSWORD_NOT_REQUIRED
    "temporary duplicate account",             // 0x00000008 USER_TEMP_DUPLICATE_ACCOUNT
    "normal account",                          // 0x00000010 USER_NORMAL_ACCOUNT
    "MNS logon account",                       // 0x00000020 USER_MNS_LOGON_ACCOUNT
    "interdomain trust account",               // 0x00000040 USER_INTERDOMAIN_TRUST_ACCOUNT
    "workstation trust account",               // 0x00000080 USER_WORKSTATION_TRUST_ACCOUNT
    "server trust account",                    // 0x00000100 USER_SERVER_TRUST_ACCOUNT
    "password never expires",                  // 0x00000200 USER_DONT_EXPIRE_PASSWORD
    "locked out",                              // 0x00000400 USER_ACCOUNT_AUTO_LOCKED
    "encrypted text password allowed",         // 0x00000800 USER_ENCRYPTED_TEXT_PASSWORD_ALLOWED
    "smart card required",                     // 0x00001000 USER_SMARTCARD_REQUIRED
    "trusted for delegation",                  // 0x00002000 USER_TRUSTED_FOR_DELEGATION
    "not delegated",                           // 0x00004000 USER_NOT_DELEGATED
    "DES key only",                            // 0x00008000 USER_USE_DES_KEY_ONLY
    "preauthentication not required",          // 0x00010000 USER_DONT_REQUIRE_PREAUTH
    "password expired",                        // 0x00020000 USER_PASSWORD_EXPIRED
    "trusted to authenticate for delegation",  // 0x00040000 USER_TRUSTED_TO_AUTHENTICATE_FOR_DELEGATION
    "no authorization data required",          // 0x00080000 USER_NO_AUTH_DATA_REQUIRED
    "partial secrets account",                 // 0x00100000 USER_PARTIAL_SECRETS_ACCOUNT
    "AES keys",                                // 0x00200000 USER_USE_AES_KEYS
};

std::string AccountFlagWords(uint32_t flags) {
  std::string words;
  for (size_t bit = 0; bit < kAccountFlagWords.size(); ++bit) {
    if ((flags & (1u << bit)) != 0) AppendJoined(words, kAccountFlagWords[bit], ", ");
  }
  const uint32_t unnamed = flags & ~((1u << kAccountFlagWords.size()) - 1);
  if (unnamed != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", unnamed);
    AppendJoined(words, hex, ", ");
  }
  return words;
}

namespace {

// Where a C record keeps its fields: the header's size (the strings' and the
// member array's offsets count from its end), the RID, the name's offset and
// size, and the member array's offset, size in bytes and count.
struct CLayout {
  size_t headerSize;
  size_t ridAt;
  size_t nameAt;
  size_t membersAt;
};
// An alias: RID at 0, name at 16 and 20, description at 28 and 32, member
// SIDs at 40, 44 and 48.
constexpr CLayout kAliasLayout{kSamAliasHeaderSize, 0, 16, 40};
// A group: RID at 4, name at 32 and 36, description at 44 and 48, member RIDs
// at 56, 60 and 64.
constexpr CLayout kGroupLayout{kSamGroupHeaderSize, 4, 32, 56};

// The RID and name of a C record, and its member array's bytes and count.
SamGroupC DecodeCHeader(std::span<const uint8_t> data, const CLayout& layout, std::string_view members,
                        std::span<const uint8_t>& memberBytes, uint32_t& memberCount) {
  const DataReader reader(data);
  SamGroupC c;
  c.rid = reader.U32(layout.ridAt);
  if (data.size() < layout.headerSize) {
    c.problem = DataTooShort(data.size(), layout.headerSize);
    return c;
  }
  c.name = CString(reader, layout.headerSize, layout.nameAt, "name", c.problem);
  memberBytes = ArrayBytes(reader, layout.headerSize, layout.membersAt, members, c.problem);
  memberCount = *reader.U32(layout.membersAt + 8);
  return c;
}

}  // namespace

SamGroupC DecodeSamAliasC(std::span<const uint8_t> data) {
  std::span<const uint8_t> members;
  uint32_t count = 0;
  SamGroupC c = DecodeCHeader(data, kAliasLayout, "member SIDs", members, count);
  c.memberSids = SidsOf(members, count, c.problem);
  return c;
}

SamGroupC DecodeSamGroupC(std::span<const uint8_t> data) {
  std::span<const uint8_t> members;
  uint32_t count = 0;
  SamGroupC c = DecodeCHeader(data, kGroupLayout, "member RIDs", members, count);
  c.memberRids = RidsOf(members, count, c.problem);
  return c;
}

std::string DomainSidOfAccountV(std::span<const uint8_t> data) {
  constexpr size_t kSidSize = 8 + 4 * 4;
  if (data.size() < kSidSize) return {};
  const std::span<const uint8_t> tail = data.last(kSidSize);
  if (tail[1] != 4) return {};
  std::string sid = FormatSid(tail);
  return sid.starts_with("S-1-5-21-") ? sid : std::string();
}

namespace {

constexpr std::string_view kUsersPath = "SAM\\Domains\\Account\\Users";
constexpr std::string_view kAccountPath = "SAM\\Domains\\Account";

// A key named by its RID as 8 hex digits ("000001F4").
std::optional<uint32_t> RidOfKeyName(std::string_view name) {
  if (name.size() != 8) return std::nullopt;
  uint32_t rid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), rid, 16);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return rid;
}

std::string RidKeyName(uint32_t rid) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X", rid);
  return name;
}

// A key below Names: its name is an account's name, its default value's type
// the account's RID (its data is empty).
struct NamedAccount {
  KeyId key = kNoKey;
  std::string name;
  std::optional<uint32_t> rid;
  bool matched = false;
};

std::vector<NamedAccount> NamedAccountsUnder(const HiveKeys& keys, KeyId parent) {
  std::vector<NamedAccount> accounts;
  keys.ForEachChild(keys.Child(parent, "Names"), [&](KeyId key) {
    NamedAccount& account = accounts.emplace_back();
    account.key = key;
    account.name = std::string(keys.Name(key));
    if (const std::optional<ValueView> value = keys.FindValue(key, "")) account.rid = value->type;
  });
  // Sorted by RID (those without one first), so that a hive of many accounts
  // finds each in a logarithmic search.
  std::stable_sort(accounts.begin(), accounts.end(),
                   [](const NamedAccount& a, const NamedAccount& b) { return a.rid < b.rid; });
  return accounts;
}

// The first account of accounts (sorted by RID) with this RID, or nullptr.
NamedAccount* NamedAccountOf(std::vector<NamedAccount>& accounts, uint32_t rid) {
  const auto found =
      std::lower_bound(accounts.begin(), accounts.end(), rid,
                       [](const NamedAccount& account, uint32_t wanted) { return account.rid < wanted; });
  return found != accounts.end() && found->rid == rid ? &*found : nullptr;
}

// A value's data decoded by decode, or the problem of its absence.
template <typename Record>
Record DecodeValue(const std::optional<ValueView>& value, Record (*decode)(std::span<const uint8_t>)) {
  Record record;
  if (!value) {
    record.problem = "missing";
  } else if (!value->held) {
    record.problem = "claims more data than the file holds";
  } else {
    record = decode(value->data);
  }
  return record;
}

// A time of F as a cell: 0 and 0x7FFFFFFFFFFFFFFF ("never") leave it empty.
Cell SamTimeCell(const std::optional<uint64_t>& fileTime) {
  if (!fileTime || *fileTime == 0x7FFFFFFFFFFFFFFFull) return Cell{};
  return TimeCell(*fileTime);
}

Cell NonEmptyTextCell(const std::optional<std::string>& text) {
  return text && !text->empty() ? TextCell(*text) : Cell{};
}

template <typename Integer>
Cell OptionalIntegerCell(const std::optional<Integer>& value) {
  return value ? IntegerCell(static_cast<int64_t>(*value)) : Cell{};
}

enum UserColumn : size_t {
  kUser,
  kRid,
  kFullName,
  kComment,
  kLastLogon,
  kLastPasswordChange,
  kAccountExpires,
  kLastFailedLogon,
  kLogonCount,
  kFailedLogonCount,
  kFlags,
};

// The user's name: V's, checked against the name Users\Names gives the RID;
// the Names key's when V names none.
void FillUserName(ArtifactRow& row, const SamUserV& v, NamedAccount* named, uint32_t rid) {
  const bool vNames = v.name && !v.name->empty();
  if (vNames) row.cells[kUser] = TextCell(*v.name);
  if (named == nullptr) {
    AddProblem(row.problem, "no key below Users\\Names has RID " + std::to_string(rid));
    return;
  }
  named->matched = true;
  if (!vNames) {
    row.cells[kUser] = TextCell(named->name);
  } else if (!HiveKeys::SameName(*v.name, named->name)) {
    AddProblem(row.problem, "Users\\Names gives RID " + std::to_string(rid) + " the name " + named->name);
  }
}

void AddUserRow(const HiveKeys& keys, KeyId key, uint32_t keyRid, std::vector<NamedAccount>& named, RowSink& rows) {
  ArtifactRow& row = rows.AddKeyRow(key);
  const SamUserF f = DecodeValue(keys.FindValue(key, "F"), DecodeSamUserF);
  const SamUserV v = DecodeValue(keys.FindValue(key, "V"), DecodeSamUserV);
  if (!f.problem.empty()) AddProblem(row.problem, "F: " + f.problem);
  if (!v.problem.empty()) AddProblem(row.problem, "V: " + v.problem);
  const uint32_t rid = f.rid.value_or(keyRid);
  if (rid != keyRid) {
    AddProblem(row.problem, "F gives RID " + std::to_string(rid) + ", the key's name " + std::to_string(keyRid));
  }
  FillUserName(row, v, NamedAccountOf(named, keyRid), keyRid);
  row.cells[kRid] = IntegerCell(rid);
  row.cells[kFullName] = NonEmptyTextCell(v.fullName);
  row.cells[kComment] = NonEmptyTextCell(v.comment);
  row.cells[kLastLogon] = SamTimeCell(f.lastLogon);
  row.cells[kLastPasswordChange] = SamTimeCell(f.lastPasswordChange);
  row.cells[kAccountExpires] = SamTimeCell(f.accountExpires);
  row.cells[kLastFailedLogon] = SamTimeCell(f.lastFailedLogon);
  row.cells[kLogonCount] = OptionalIntegerCell(f.logonCount);
  row.cells[kFailedLogonCount] = OptionalIntegerCell(f.failedLogonCount);
  if (f.flags) row.cells[kFlags] = TextCell(AccountFlagWords(*f.flags));
}

// A name below Users\Names whose RID has no key of its own still gives a row.
void AddUnmatchedNameRow(const NamedAccount& account, RowSink& rows) {
  ArtifactRow& row = rows.AddKeyRow(account.key);
  row.cells[kUser] = TextCell(account.name);
  if (!account.rid) {
    row.problem = "the key has no default value, whose type would give the RID";
    return;
  }
  row.cells[kRid] = IntegerCell(*account.rid);
  row.problem = "no key Users\\" + RidKeyName(*account.rid) + " for this name";
}

void DecodeSamUsers(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId users = keys.Find(keys.Root(), kUsersPath);
  if (users == kNoKey) return;
  std::vector<NamedAccount> named = NamedAccountsUnder(keys, users);
  keys.ForEachChild(users, [&](KeyId key) {
    if (const std::optional<uint32_t> rid = RidOfKeyName(keys.Name(key))) AddUserRow(keys, key, *rid, named, rows);
  });
  for (const NamedAccount& account : named) {
    if (!account.matched) AddUnmatchedNameRow(account, rows);
  }
}

enum GroupColumn : size_t { kGroup, kGroupRid, kMembers };

std::string JoinMembers(const SamGroupC& c, const std::string& domainSid) {
  std::string members;
  for (const std::string& sid : c.memberSids) AppendJoined(members, sid, ", ");
  for (const uint32_t rid : c.memberRids) {
    AppendJoined(members, domainSid.empty() ? std::to_string(rid) : domainSid + "-" + std::to_string(rid), ", ");
  }
  return members;
}

void AddGroupRow(const HiveKeys& keys, KeyId key, uint32_t keyRid, bool accountGroup, std::vector<NamedAccount>& named,
                 const std::string& domainSid, RowSink& rows) {
  const std::optional<ValueView> value = keys.FindValue(key, "C");
  ArtifactRow& row = value ? rows.AddValueRow(key, *value) : rows.AddKeyRow(key);
  const SamGroupC c = DecodeValue(value, accountGroup ? DecodeSamGroupC : DecodeSamAliasC);
  if (!c.problem.empty()) AddProblem(row.problem, "C: " + c.problem);
  const uint32_t rid = c.rid.value_or(keyRid);
  if (rid != keyRid) {
    AddProblem(row.problem, "C gives RID " + std::to_string(rid) + ", the key's name " + std::to_string(keyRid));
  }
  if (c.name && !c.name->empty()) {
    row.cells[kGroup] = TextCell(*c.name);
  } else if (const NamedAccount* account = NamedAccountOf(named, keyRid)) {
    row.cells[kGroup] = TextCell(account->name);
  }
  row.cells[kGroupRid] = IntegerCell(rid);
  const std::string members = JoinMembers(c, domainSid);
  if (!members.empty()) row.cells[kMembers] = TextCell(members);
}

void DecodeSamGroups(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  std::string domainSid;
  if (const std::optional<ValueView> v = keys.FindValue(keys.Find(keys.Root(), kAccountPath), "V")) {
    domainSid = DomainSidOfAccountV(v->data);
  }
  static constexpr struct {
    std::string_view path;
    bool accountGroup;
  } kGroupKeys[] = {
      {"SAM\\Domains\\Builtin\\Aliases", false},
      {"SAM\\Domains\\Account\\Aliases", false},
      {"SAM\\Domains\\Account\\Groups", true},
  };
  for (const auto& groups : kGroupKeys) {
    const KeyId parent = keys.Find(keys.Root(), groups.path);
    std::vector<NamedAccount> named = NamedAccountsUnder(keys, parent);
    keys.ForEachChild(parent, [&](KeyId key) {
      if (const std::optional<uint32_t> rid = RidOfKeyName(keys.Name(key))) {
        AddGroupRow(keys, key, *rid, groups.accountGroup, named, domainSid, rows);
      }
    });
  }
}

constexpr std::string_view kUserKeyPaths[] = {kUsersPath};
constexpr Column kUserColumns[] = {
    {"user", ColumnType::kText},
    {"rid", ColumnType::kInteger},
    {"full_name", ColumnType::kText},
    {"comment", ColumnType::kText},
    {"last_logon", ColumnType::kTime},
    {"last_password_change", ColumnType::kTime},
    {"account_expires", ColumnType::kTime},
    {"last_failed_logon", ColumnType::kTime},
    {"logon_count", ColumnType::kInteger},
    {"failed_logon_count", ColumnType::kInteger},
    {"flags", ColumnType::kText},
};

constexpr std::string_view kGroupKeyPaths[] = {"SAM\\Domains\\Builtin\\Aliases", "SAM\\Domains\\Account\\Aliases",
                                               "SAM\\Domains\\Account\\Groups", kAccountPath};
constexpr Column kGroupColumns[] = {
    {"group", ColumnType::kText},
    {"rid", ColumnType::kInteger},
    {"members", ColumnType::kText},
};

constexpr Artifact kSamArtifacts[] = {
    {"samusers", "User accounts", KindBit(HiveKind::kSam), kUserKeyPaths, kUserColumns, DecodeSamUsers},
    {"samgroups", "Groups", KindBit(HiveKind::kSam), kGroupKeyPaths, kGroupColumns, DecodeSamGroups},
};

}  // namespace

std::span<const Artifact> SamArtifacts() { return kSamArtifacts; }

}  // namespace artifacts
