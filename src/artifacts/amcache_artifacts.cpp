// Amcache.hve's programs: one row per file entry, from
// Root\InventoryApplicationFile\<entry> (Windows 10 1709 and later, values
// by name) and Root\File\<volume GUID>\<file reference> (Windows 8 to early
// Windows 10, values named by hex numbers).

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"

namespace artifacts {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegQword = 11;

enum AmcacheColumn : size_t { kPath, kSha1, kSize, kVersion, kPublisher, kLinkDate, kLastWritten };

void AddProblem(std::string& problem, std::string_view text) {
  if (!problem.empty()) problem += "; ";
  problem += text;
}

// The value's text, or none when the key has no such value.
std::optional<std::string> TextOf(const HiveKeys& keys, KeyId key, std::string_view name) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  if (!value) return std::nullopt;
  return ValueText(*value);
}

Cell TextCellOf(const std::optional<std::string>& text) { return text && !text->empty() ? TextCell(*text) : Cell{}; }

// A number as text: "0x7fac0" (hex, as InventoryApplicationFile's Size) or
// decimal digits.
std::optional<uint64_t> NumberOfText(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A number held as REG_DWORD, REG_QWORD (or REG_BINARY of 4 or 8 bytes) or as
// text; a value of another form adds a problem.
std::optional<uint64_t> NumberOf(const HiveKeys& keys, KeyId key, std::string_view name, std::string& problem) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  if (!value) return std::nullopt;
  std::optional<uint64_t> number;
  if (value->type == kRegSz || value->type == kRegExpandSz) {
    number = NumberOfText(ValueText(*value));
  } else if (value->type == kRegDword || (value->type == kRegBinary && value->data.size() == 4)) {
    number = ValueDword(*value);
  } else if (value->type == kRegQword || (value->type == kRegBinary && value->data.size() == 8)) {
    number = ValueQword(*value);
  }
  if (!number) AddProblem(problem, std::string(name) + " is not a number");
  return number;
}

// "0000" followed by the file's SHA-1 in hex: the SHA-1 alone. Other text is
// kept as it is.
std::optional<std::string> Sha1Of(std::optional<std::string> fileId) {
  if (fileId && fileId->size() == 44 && fileId->starts_with("0000")) fileId->erase(0, 4);
  return fileId;
}

// LinkDate "MM/DD/YYYY HH:MM:SS" (UTC) as a FILETIME; 0 when the text is not one.
uint64_t FileTimeOfLinkDate(std::string_view text) {
  constexpr std::string_view kForm = "00/00/0000 00:00:00";
  if (text.size() != kForm.size()) return 0;
  for (size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == '0' ? !digit : text[i] != kForm[i]) return 0;
  }
  const auto field = [&](size_t at, size_t count) {
    uint16_t number = 0;
    std::from_chars(text.data() + at, text.data() + at + count, number);
    return number;
  };
  // As a SYSTEMTIME: year, month, day of week, day, hour, minute, second, ms.
  const std::array<uint16_t, 8> fields{field(6, 4),  field(0, 2),  0, field(3, 2), field(11, 2),
                                       field(14, 2), field(17, 2), 0};
  std::array<uint8_t, 16> systemTime{};
  for (size_t i = 0; i < fields.size(); ++i) {
    systemTime[i * 2] = static_cast<uint8_t>(fields[i]);
    systemTime[i * 2 + 1] = static_cast<uint8_t>(fields[i] >> 8);
  }
  return FileTimeFromSystemTime(systemTime);
}

// The names of an entry's values in one of the two layouts.
struct EntryValues {
  std::string_view path;
  std::string_view fileId;  // "0000" + SHA-1
  std::string_view size;
  std::string_view version;
  std::string_view otherVersion;  // read where version is missing
  std::string_view publisher;
};

// Root\InventoryApplicationFile\<entry> (its LinkDate read on its own).
constexpr EntryValues kInventoryValues{"LowerCaseLongPath", "FileId", "Size", "Version", "BinFileVersion", "Publisher"};
// Root\File\<volume>\<file reference>: 15 the path, 101 the SHA-1, 6 the
// file's size, 5 the file version (2, also a version, where 5 is missing), 1
// the company name (f, the link time, read on its own).
constexpr EntryValues kFileValues{"15", "101", "6", "5", "2", "1"};

// A row of the values both layouts have, and the entry key's time.
ArtifactRow& AddEntryRow(const HiveKeys& keys, KeyId key, const EntryValues& names, RowSink& rows) {
  ArtifactRow& row = rows.AddKeyRow(key);
  row.cells[kPath] = TextCellOf(TextOf(keys, key, names.path));
  row.cells[kSha1] = TextCellOf(Sha1Of(TextOf(keys, key, names.fileId)));
  const std::optional<uint64_t> size = NumberOf(keys, key, names.size, row.problem);
  if (size && *size <= static_cast<uint64_t>(INT64_MAX)) row.cells[kSize] = IntegerCell(static_cast<int64_t>(*size));
  std::optional<std::string> version = TextOf(keys, key, names.version);
  if (!version || version->empty()) version = TextOf(keys, key, names.otherVersion);
  row.cells[kVersion] = TextCellOf(version);
  row.cells[kPublisher] = TextCellOf(TextOf(keys, key, names.publisher));
  row.cells[kLastWritten] = TimeCell(keys.LastWritten(key));
  return row;
}

// LinkDate: text "MM/DD/YYYY HH:MM:SS".
void AddInventoryRow(const HiveKeys& keys, KeyId key, RowSink& rows) {
  ArtifactRow& row = AddEntryRow(keys, key, kInventoryValues, rows);
  if (const std::optional<std::string> linkDate = TextOf(keys, key, "LinkDate"); linkDate && !linkDate->empty()) {
    const uint64_t time = FileTimeOfLinkDate(*linkDate);
    if (time == 0) AddProblem(row.problem, "LinkDate \"" + *linkDate + "\" is not MM/DD/YYYY HH:MM:SS");
    row.cells[kLinkDate] = TimeCell(time);
  }
}

// f: the PE header's link time, Unix seconds (REG_DWORD).
void AddFileRow(const HiveKeys& keys, KeyId key, RowSink& rows) {
  ArtifactRow& row = AddEntryRow(keys, key, kFileValues, rows);
  const std::optional<uint64_t> linkTime = NumberOf(keys, key, "f", row.problem);
  if (linkTime && *linkTime <= static_cast<uint64_t>(INT64_MAX)) {
    row.cells[kLinkDate] = TimeCell(FileTimeFromUnixSeconds(static_cast<int64_t>(*linkTime)));
  }
}

void DecodeAmcache(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId root = keys.Child(keys.Root(), "Root");
  if (root == kNoKey) return;
  keys.ForEachChild(keys.Child(root, "InventoryApplicationFile"), [&](KeyId key) { AddInventoryRow(keys, key, rows); });
  keys.ForEachChild(keys.Child(root, "File"),
                    [&](KeyId volume) { keys.ForEachChild(volume, [&](KeyId key) { AddFileRow(keys, key, rows); }); });
}

constexpr std::string_view kKeyPaths[] = {"Root\\InventoryApplicationFile", "Root\\File"};
constexpr Column kColumns[] = {
    {"path", ColumnType::kText},         {"sha1", ColumnType::kText},      {"size", ColumnType::kInteger},
    {"version", ColumnType::kText},      {"publisher", ColumnType::kText}, {"link_date", ColumnType::kTime},
    {"last_written", ColumnType::kTime},
};

constexpr Artifact kAmcacheArtifacts[] = {
    {"amcache", "Amcache programs", KindBit(HiveKind::kAmcache), kKeyPaths, kColumns, DecodeAmcache},
};

}  // namespace

std::span<const Artifact> AmcacheArtifacts() { return kAmcacheArtifacts; }

}  // namespace artifacts
