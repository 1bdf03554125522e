// The artifacts of a user's NTUSER.DAT: what Explorer records of the programs
// run and the paths, addresses and searches typed (UserAssist, RunMRU,
// TypedPaths, TypedURLs, WordWheelQuery), and the Run keys (also SOFTWARE's).

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"
#include "artifacts/userassist.h"
#include "values/value_types.h"

namespace artifacts {

namespace {

void AddProblem(std::string& problem, std::string_view more) {
  if (!problem.empty()) problem += "; ";
  problem += more;
}

// --- UserAssist (the layouts in userassist.h)

constexpr size_t kVersion3Size = 16;
constexpr size_t kVersion5Size = 72;
// Windows XP's run counts start from 5: a program run once stores 6.
constexpr uint32_t kVersion3CountBase = 5;

std::string LengthProblem(size_t held, size_t layoutSize) {
  if (held < layoutSize) return DataTooShort(held, layoutSize);
  if (held > layoutSize) {
    return "data longer than its layout: " + std::to_string(held) + " bytes, not " + std::to_string(layoutSize);
  }
  return {};
}

UserAssistEntry DecodeVersion3(const DataReader& data) {
  UserAssistEntry entry;
  entry.problem = LengthProblem(data.Size(), kVersion3Size);
  if (const std::optional<uint32_t> stored = data.U32(4)) {
    if (*stored >= kVersion3CountBase) {
      entry.runCount = *stored - kVersion3CountBase;
    } else {
      entry.runCount = *stored;
      AddProblem(entry.problem,
                 "run count " + std::to_string(*stored) + " is below the 5 Windows XP counts from: shown as stored");
    }
  }
  entry.lastRun = data.U64(8).value_or(0);
  return entry;
}

UserAssistEntry DecodeVersion5(const DataReader& data) {
  UserAssistEntry entry;
  entry.problem = LengthProblem(data.Size(), kVersion5Size);
  if (const std::optional<uint32_t> runs = data.U32(4)) entry.runCount = *runs;
  if (const std::optional<uint32_t> focuses = data.U32(8)) entry.focusCount = *focuses;
  if (const std::optional<uint32_t> focusMs = data.U32(12)) entry.focusMs = *focusMs;
  entry.lastRun = data.U64(60).value_or(0);
  return entry;
}

constexpr std::string_view kUserAssistPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist";
constexpr std::string_view kSessionEntry = "UEME_CTLSESSION";

constexpr std::array<std::string_view, 1> kUserAssistKeys{kUserAssistPath};
constexpr std::array kUserAssistColumns{
    Column{"name", ColumnType::kText},         Column{"run_count", ColumnType::kInteger},
    Column{"focus_count", ColumnType::kInteger}, Column{"focus_ms", ColumnType::kInteger},
    Column{"last_run", ColumnType::kTime},
};

Cell OptionalInteger(const std::optional<int64_t>& number) { return number ? IntegerCell(*number) : Cell{}; }

void AddUserAssistRow(RowSink& rows, KeyId countKey, const ValueView& value, UserAssistLayout layout) {
  ArtifactRow& row = rows.AddValueRow(countKey, value);
  const std::string name = Rot13(value.name);
  row.cells[0] = TextCell(name);
  // The session entry counts sessions, not runs of a program: its row says
  // what it is rather than reading it as counts.
  if (name == kSessionEntry) {
    row.problem = "session data (" + std::to_string(value.data.size()) + " bytes), not a program's entry";
    return;
  }
  if (!value.held) {
    row.problem = "data not held: longer than the file";
    return;
  }
  const UserAssistEntry entry = DecodeUserAssistData(value.data, layout);
  row.cells[1] = OptionalInteger(entry.runCount);
  row.cells[2] = OptionalInteger(entry.focusCount);
  row.cells[3] = OptionalInteger(entry.focusMs);
  row.cells[4] = TimeCell(entry.lastRun);
  row.problem = entry.problem;
}

void DecodeUserAssist(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  keys.ForEachChild(keys.Find(keys.Root(), kUserAssistPath), [&](KeyId guidKey) {
    const KeyId countKey = keys.Child(guidKey, "Count");
    if (countKey == kNoKey) return;  // the Settings key, or a GUID key without entries
    const std::optional<ValueView> version = keys.FindValue(guidKey, "Version");
    const UserAssistLayout layout = UserAssistLayoutOf(version ? ValueDword(*version) : std::nullopt);
    keys.ForEachValue(countKey, [&](const ValueView& value) {
      AddUserAssistRow(rows, countKey, value, layout);
      return true;
    });
  });
}

// --- MRU lists (RunMRU with MRUList, WordWheelQuery with MRUListEx)

constexpr std::array kMruColumnsRunMru{Column{"order", ColumnType::kInteger}, Column{"command", ColumnType::kText}};
constexpr std::array kMruColumnsSearch{Column{"order", ColumnType::kInteger}, Column{"search", ColumnType::kText}};

using TextOfValue = std::string (*)(const ValueView& value);

std::string StringData(const ValueView& value) { return ValueText(value); }
std::string Utf16Data(const ValueView& value) { return Utf16Text(value.data); }

// A value name as a lookup key: Windows compares the short ASCII names of
// these keys without regard to case.
std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

struct NamedText {
  std::string name;
  std::string text;
  bool deleted = false;  // a recovered value
};

// Every value of key but the list itself, each read once, by folded name.
struct MruValues {
  std::vector<NamedText> values;
  std::unordered_map<std::string, size_t> byName;
  bool hasList = false;
};

MruValues ReadMruValues(const HiveKeys& keys, KeyId key, std::string_view listName, TextOfValue textOf) {
  MruValues found;
  keys.ForEachValue(key, [&](const ValueView& value) {
    if (HiveKeys::SameName(value.name, listName)) {
      found.hasList = true;
    } else {
      found.byName.emplace(FoldedName(value.name), found.values.size());
      found.values.push_back({std::string(value.name), textOf(value), value.deleted});
    }
    return true;
  });
  return found;
}

// One row per entry of the list, most recent first (order 0), then one per
// value the list does not name, so that a stale entry still shows.
void AddMruRows(const HiveKeys& keys, KeyId key, std::string_view listName, const std::vector<std::string>& order,
                TextOfValue textOf, RowSink& rows) {
  const MruValues found = ReadMruValues(keys, key, listName, textOf);
  std::unordered_set<std::string> listed;
  for (const std::string& name : order) {
    // An entry listed twice gives one row, at its first place.
    if (!listed.insert(FoldedName(name)).second) continue;
    ArtifactRow& row = rows.AddValueRow(key, name);
    row.cells[0] = IntegerCell(static_cast<int64_t>(listed.size() - 1));
    const auto value = found.byName.find(FoldedName(name));
    if (value != found.byName.end()) {
      row.cells[1] = TextCell(found.values[value->second].text);
      row.deleted = row.deleted || found.values[value->second].deleted;
    } else {
      row.problem = std::string(listName) + " names a value that is not there";
    }
  }
  for (const NamedText& value : found.values) {
    if (listed.count(FoldedName(value.name)) != 0) continue;
    ArtifactRow& row = rows.AddValueRow(key, value.name);
    row.cells[1] = TextCell(value.text);
    row.deleted = row.deleted || value.deleted;
    row.problem = found.hasList ? "not in " + std::string(listName) : "no " + std::string(listName) + " value";
  }
}

constexpr std::string_view kRunMruPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
constexpr std::array<std::string_view, 1> kRunMruKeys{kRunMruPath};

// RunMRU's commands are shown as stored, with the "\1" Windows appends to
// each (as the key holds it, and as RegRipper's runmru shows it).
void DecodeRunMru(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kRunMruPath);
  if (key == kNoKey) return;
  const std::optional<ValueView> list = keys.FindValue(key, "MRUList");
  const std::vector<std::string> order = list ? MruListOrder(*list) : std::vector<std::string>{};
  AddMruRows(keys, key, "MRUList", order, StringData, rows);
}

constexpr std::string_view kWordWheelQueryPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\WordWheelQuery";
constexpr std::array<std::string_view, 1> kWordWheelQueryKeys{kWordWheelQueryPath};

void DecodeWordWheelQuery(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kWordWheelQueryPath);
  if (key == kNoKey) return;
  std::vector<std::string> order;
  if (const std::optional<ValueView> list = keys.FindValue(key, "MRUListEx")) {
    for (const uint32_t entry : MruListExOrder(list->data)) order.push_back(std::to_string(entry));
  }
  AddMruRows(keys, key, "MRUListEx", order, Utf16Data, rows);
}

// --- TypedPaths and TypedURLs: values url1, url2, ... (url1 the most recent)

struct NumberedValue {
  std::optional<uint32_t> number;  // none: not a "urlN" value
  std::string name;
  std::string text;
};

// 7 for "url7" (without regard to case), none for any other name.
std::optional<uint32_t> UrlNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 12 || !HiveKeys::SameName(name.substr(0, 3), "url")) return std::nullopt;
  uint32_t number = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  return number;
}

// The key's values, "urlN" ones first in the order of N, then the others as
// the key lists them.
std::vector<NumberedValue> UrlValues(const HiveKeys& keys, KeyId key) {
  std::vector<NumberedValue> found;
  keys.ForEachValue(key, [&](const ValueView& value) {
    found.push_back({UrlNumber(value.name), std::string(value.name), ValueText(value)});
    return true;
  });
  std::stable_sort(found.begin(), found.end(), [](const NumberedValue& a, const NumberedValue& b) {
    if (a.number.has_value() != b.number.has_value()) return a.number.has_value();
    return a.number.value_or(0) < b.number.value_or(0);
  });
  return found;
}

constexpr std::string_view kNotUrlN = "not a urlN value";

constexpr std::string_view kTypedPathsPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\TypedPaths";
constexpr std::array<std::string_view, 1> kTypedPathsKeys{kTypedPathsPath};
constexpr std::array kTypedPathsColumns{Column{"order", ColumnType::kInteger}, Column{"path", ColumnType::kText}};

void DecodeTypedPaths(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kTypedPathsPath);
  int64_t order = 0;
  for (const NumberedValue& value : UrlValues(keys, key)) {
    ArtifactRow& row = rows.AddValueRow(key, value.name);
    if (value.number) {
      row.cells[0] = IntegerCell(order++);
    } else {
      row.problem = kNotUrlN;
    }
    row.cells[1] = TextCell(value.text);
  }
}

constexpr std::string_view kTypedUrlsPath = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr std::string_view kTypedUrlsTimePath = "Software\\Microsoft\\Internet Explorer\\TypedURLsTime";
constexpr std::array<std::string_view, 2> kTypedUrlsKeys{kTypedUrlsPath, kTypedUrlsTimePath};
constexpr std::array kTypedUrlsColumns{
    Column{"name", ColumnType::kText}, Column{"url", ColumnType::kText}, Column{"typed_time", ColumnType::kTime}};

// TypedURLsTime (Windows 8 and later): a FILETIME (8 bytes of REG_BINARY) for
// each TypedURLs value, under the same name. Read once, by folded name.
struct TypedTime {
  uint64_t fileTime = 0;
  size_t held = 0;  // bytes of data
};

std::unordered_map<std::string, TypedTime> ReadTypedTimes(const HiveKeys& keys, KeyId timeKey) {
  std::unordered_map<std::string, TypedTime> times;
  keys.ForEachValue(timeKey, [&](const ValueView& value) {
    const DataReader data(value.data);
    times.emplace(FoldedName(value.name), TypedTime{data.U64(0).value_or(0), data.Size()});
    return true;
  });
  return times;
}

void DecodeTypedUrls(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kTypedUrlsPath);
  const auto times = ReadTypedTimes(keys, keys.Find(keys.Root(), kTypedUrlsTimePath));
  for (const NumberedValue& value : UrlValues(keys, key)) {
    ArtifactRow& row = rows.AddValueRow(key, value.name);
    row.cells[0] = TextCell(value.name);
    row.cells[1] = TextCell(value.text);
    if (!value.number) row.problem = kNotUrlN;
    const auto time = times.find(FoldedName(value.name));
    if (time == times.end()) continue;
    row.cells[2] = TimeCell(time->second.fileTime);
    if (time->second.held < 8) AddProblem(row.problem, "TypedURLsTime: " + DataTooShort(time->second.held, 8));
  }
}

// --- Run keys: every value a command run at logon (RunOnce: once). NTUSER
// holds them below Software; SOFTWARE's root is that Software key.

constexpr std::array<std::string_view, 8> kRunKeysBelowSoftware{
    "Microsoft\\Windows\\CurrentVersion\\Run",
    "Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    // Only Windows 9x and Me run these; a command left there is still worth seeing.
    "Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    // 32-bit programs' view on 64-bit Windows.
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
};
constexpr std::array<std::string_view, 16> kRunKeys{
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
    kRunKeysBelowSoftware[0], kRunKeysBelowSoftware[1], kRunKeysBelowSoftware[2], kRunKeysBelowSoftware[3],
    kRunKeysBelowSoftware[4], kRunKeysBelowSoftware[5], kRunKeysBelowSoftware[6], kRunKeysBelowSoftware[7],
};
constexpr std::array kRunColumns{
    Column{"key", ColumnType::kText}, Column{"name", ColumnType::kText}, Column{"command", ColumnType::kText}};

bool IsStringType(uint32_t type) { return type == values::kRegSz || type == values::kRegExpandSz; }

void AddRunRows(const HiveKeys& keys, KeyId key, RowSink& rows) {
  const std::string path = keys.Path(key);
  keys.ForEachValue(key, [&](const ValueView& value) {
    ArtifactRow& row = rows.AddValueRow(key, value);
    row.cells[0] = TextCell(path);
    row.cells[1] = TextCell(std::string(value.name));
    if (IsStringType(value.type)) {
      row.cells[2] = TextCell(ValueText(value));
    } else {
      row.problem = "not a string value (type " + std::to_string(value.type) + ")";
    }
    return true;
  });
}

void DecodeRun(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId software = context.kind == HiveKind::kNtuser ? keys.Child(keys.Root(), "Software") : keys.Root();
  if (software == kNoKey) return;
  for (const std::string_view path : kRunKeysBelowSoftware) {
    const KeyId key = keys.Find(software, path);
    if (key != kNoKey) AddRunRows(keys, key, rows);
  }
}

constexpr HiveKinds kNtuser = KindBit(HiveKind::kNtuser);

constexpr std::array kNtuserArtifacts{
    Artifact{"userassist", "UserAssist", kNtuser, kUserAssistKeys, kUserAssistColumns, DecodeUserAssist},
    Artifact{"runmru", "RunMRU", kNtuser, kRunMruKeys, kMruColumnsRunMru, DecodeRunMru},
    Artifact{"typedpaths", "TypedPaths", kNtuser, kTypedPathsKeys, kTypedPathsColumns, DecodeTypedPaths},
    Artifact{"typedurls", "TypedURLs", kNtuser, kTypedUrlsKeys, kTypedUrlsColumns, DecodeTypedUrls},
    Artifact{"wordwheelquery", "WordWheelQuery", kNtuser, kWordWheelQueryKeys, kMruColumnsSearch,
             DecodeWordWheelQuery},
    Artifact{"run", "Run keys", static_cast<HiveKinds>(kNtuser | KindBit(HiveKind::kSoftware)), kRunKeys,
             kRunColumns, DecodeRun},
};

}  // namespace

UserAssistLayout UserAssistLayoutOf(std::optional<uint32_t> version) {
  if (version == 3u) return UserAssistLayout::kVersion3;
  if (version == 5u) return UserAssistLayout::kVersion5;
  return UserAssistLayout::kBySize;
}

UserAssistEntry DecodeUserAssistData(std::span<const uint8_t> bytes, UserAssistLayout layout) {
  const DataReader data(bytes);
  if (layout == UserAssistLayout::kBySize) {
    if (data.Size() == kVersion3Size) layout = UserAssistLayout::kVersion3;
    if (data.Size() == kVersion5Size) layout = UserAssistLayout::kVersion5;
  }
  switch (layout) {
    case UserAssistLayout::kVersion3: return DecodeVersion3(data);
    case UserAssistLayout::kVersion5: return DecodeVersion5(data);
    case UserAssistLayout::kBySize: break;
  }
  UserAssistEntry unknown;
  unknown.problem = std::to_string(data.Size()) + " bytes fit neither layout (16: Windows XP, 72: Windows 7 and " +
                    "later), and no Version value tells which";
  return unknown;
}

std::span<const Artifact> NtuserArtifacts() { return kNtuserArtifacts; }

}  // namespace artifacts
