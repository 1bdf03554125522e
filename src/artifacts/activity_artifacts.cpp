// The artifacts of what a user did besides opening folders and files through
// Explorer: the volumes and shares mounted (MountPoints2), the files Office
// opened, the programs named in the MUI cache, Explorer's feature-usage
// counts, the recent apps of Windows Search, the Remote Desktop servers and
// the network drives mapped.

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"
#include "artifacts/mru_entries.h"

namespace artifacts {

namespace {

constexpr std::string_view kNotHeld = "data not held: longer than the file";

void AddProblem(std::string& problem, std::string_view more) {
  if (more.empty()) return;
  if (!problem.empty()) problem += "; ";
  problem += more;
}

bool EndsWithName(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() && HiveKeys::SameName(name.substr(name.size() - suffix.size()), suffix);
}

// The number after prefix in a name ("Item 7" -> 7, "MRU12" -> 12), compared
// without regard to case; none for any other name.
std::optional<uint32_t> NumberAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 9) return std::nullopt;
  if (!HiveKeys::SameName(name.substr(0, prefix.size()), prefix)) return std::nullopt;
  uint32_t number = 0;
  for (const char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  return number;
}

// A value's name and whether it is a recovered one, kept to make its row
// after the key's values have been read and sorted.
struct ValueSource {
  std::string name;
  bool deleted = false;
};

ArtifactRow& AddSourceRow(RowSink& rows, KeyId key, const ValueSource& source) {
  ArtifactRow& row = rows.AddValueRow(key, source.name);
  row.deleted = row.deleted || source.deleted;
  return row;
}

constexpr HiveKinds kNtuser = KindBit(HiveKind::kNtuser);

// --- MountPoints2: one subkey per volume ("{GUID}"), share ("##server#share")
// or drive ("C") the user's Explorer has mounted; its last-written time is
// when that happened last.

constexpr std::string_view kMountPointsPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MountPoints2";
constexpr std::array<std::string_view, 1> kMountPointsKeys{kMountPointsPath};
constexpr std::array kMountPointsColumns{
    Column{"name", ColumnType::kText}, Column{"kind", ColumnType::kText}, Column{"last_written", ColumnType::kTime}};

std::string_view MountPointKind(std::string_view name) {
  if (name.size() > 2 && name.front() == '{' && name.back() == '}') return "volume";
  if (name.starts_with("##")) return "share";
  return "drive";
}

void DecodeMountPoints(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  keys.ForEachChild(keys.Find(keys.Root(), kMountPointsPath), [&](KeyId mountPoint) {
    ArtifactRow& row = rows.AddKeyRow(mountPoint);
    const std::string_view name = keys.Name(mountPoint);
    row.cells[0] = TextCell(std::string(name));
    row.cells[1] = TextCell(std::string(MountPointKind(name)));
    row.cells[2] = TimeCell(keys.LastWritten(mountPoint));
  });
}

// --- Office: Software\Microsoft\Office\<version>\<application>\File MRU and
// Place MRU (Office 2010 and later; Office 2013 and later also per account,
// below User MRU\<account>). Values "Item N" (N from 1, the most recent):
//   [F00000000][T01CD0146EA1EADB0][O00000000]*C:\path
// bracketed fields, T a FILETIME in 16 hex digits (when the file was opened
// last), then "*" and the path. Other values (Max Display, Item Metadata N)
// are settings, not entries: they give no row.

constexpr std::string_view kOfficePath = "Software\\Microsoft\\Office";
constexpr std::array<std::string_view, 1> kOfficeKeys{kOfficePath};
constexpr std::array kOfficeColumns{
    Column{"application", ColumnType::kText}, Column{"version", ColumnType::kText},
    Column{"list", ColumnType::kText},        Column{"order", ColumnType::kInteger},
    Column{"path", ColumnType::kText},        Column{"last_opened", ColumnType::kTime},
};
constexpr std::array<std::string_view, 2> kOfficeLists{"File MRU", "Place MRU"};

struct OfficeItem {
  std::string path;
  uint64_t lastOpened = 0;
  std::string problem;
};

std::optional<uint64_t> HexFileTime(std::string_view digits) {
  if (digits.size() != 16) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    const int digit = (c >= '0' && c <= '9') ? c - '0'
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

OfficeItem ParseOfficeItem(std::string_view text) {
  OfficeItem item;
  size_t at = 0;
  while (at < text.size() && text[at] == '[') {
    const size_t close = text.find(']', at);
    if (close == std::string_view::npos) {
      item.problem = "a field without its \"]\"";
      return item;
    }
    const std::string_view field = text.substr(at + 1, close - at - 1);
    if (field.starts_with('T')) {
      if (const std::optional<uint64_t> time = HexFileTime(field.substr(1))) {
        item.lastOpened = *time;
      } else {
        item.problem = "the T field is not 16 hex digits: [" + std::string(field) + "]";
      }
    }
    at = close + 1;
  }
  if (at >= text.size() || text[at] != '*') {
    AddProblem(item.problem, "no \"*\" before the path");
    return item;
  }
  item.path = std::string(text.substr(at + 1));
  return item;
}

struct NumberedItem {
  uint32_t number = 0;
  ValueSource source;
  OfficeItem item;
};

void AddOfficeRows(const HiveKeys& keys, KeyId listKey, const std::string& application, const std::string& version,
                   const std::string& list, RowSink& rows) {
  std::vector<NumberedItem> items;
  keys.ForEachValue(listKey, [&](const ValueView& value) {
    const std::optional<uint32_t> number = NumberAfter(value.name, "Item ");
    if (!number) return true;
    NumberedItem& found = items.emplace_back(NumberedItem{*number, {std::string(value.name), value.deleted}, {}});
    if (value.held) {
      found.item = ParseOfficeItem(ValueText(value));
    } else {
      found.item.problem = kNotHeld;
    }
    return true;
  });
  std::stable_sort(items.begin(), items.end(),
                   [](const NumberedItem& a, const NumberedItem& b) { return a.number < b.number; });
  for (NumberedItem& found : items) {
    ArtifactRow& row = AddSourceRow(rows, listKey, found.source);
    row.cells[0] = TextCell(application);
    row.cells[1] = TextCell(version);
    row.cells[2] = TextCell(list);
    if (found.number > 0) {
      row.cells[3] = IntegerCell(static_cast<int64_t>(found.number) - 1);
    } else {
      row.problem = "items are numbered from 1";
    }
    if (!found.item.path.empty()) row.cells[4] = TextCell(std::move(found.item.path));
    row.cells[5] = TimeCell(found.item.lastOpened);
    AddProblem(row.problem, found.item.problem);
  }
}

void AddOfficeApplicationRows(const HiveKeys& keys, KeyId application, const std::string& version, RowSink& rows) {
  const std::string name(keys.Name(application));
  for (const std::string_view list : kOfficeLists) {
    const KeyId key = keys.Child(application, list);
    if (key != kNoKey) AddOfficeRows(keys, key, name, version, std::string(list), rows);
  }
  keys.ForEachChild(keys.Child(application, "User MRU"), [&](KeyId account) {
    for (const std::string_view list : kOfficeLists) {
      const KeyId key = keys.Child(account, list);
      if (key == kNoKey) continue;
      std::string listName = "User MRU\\";
      listName += keys.Name(account);
      listName += "\\";
      listName += list;
      AddOfficeRows(keys, key, name, version, listName, rows);
    }
  });
}

void DecodeOfficeMru(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  keys.ForEachChild(keys.Find(keys.Root(), kOfficePath), [&](KeyId versionKey) {
    const std::string version(keys.Name(versionKey));
    if (version.empty() || version[0] < '0' || version[0] > '9') return;  // "Common", "Outlook", ...: not a version
    keys.ForEachChild(versionKey,
                      [&](KeyId application) { AddOfficeApplicationRows(keys, application, version, rows); });
  });
}

// --- MUI cache: the names Explorer showed for programs. Windows Vista and
// later (UsrClass) name each program twice: "<path>.FriendlyAppName" and
// "<path>.ApplicationCompany"; those two make one row. Windows XP (NTUSER)
// names the program by its path alone. Values "@<module>,-<id>" hold a
// resource string (program: the reference, friendly_name: the text), and
// LangID the language of the cache (friendly_name: "0x0409").

constexpr std::array<std::string_view, 2> kMuiCacheKeys{
    "Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache",
    "Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache",
};
constexpr std::array kMuiCacheColumns{
    Column{"program", ColumnType::kText}, Column{"friendly_name", ColumnType::kText},
    Column{"company", ColumnType::kText}};

constexpr std::string_view kFriendlyAppName = ".FriendlyAppName";
constexpr std::string_view kApplicationCompany = ".ApplicationCompany";

std::string LangIdText(const ValueView& value, std::string& problem) {
  const std::optional<uint16_t> langId = DataReader(value.data).U16(0);
  if (!langId) {
    problem = DataTooShort(value.data.size(), 2);
    return {};
  }
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(*langId));
  return text;
}

class MuiCacheRows {
 public:
  MuiCacheRows(KeyId key, RowSink& rows) : m_key(key), m_rows(rows) {}

  void Add(const ValueView& value) {
    if (EndsWithName(value.name, kFriendlyAppName)) {
      SetProgramCell(value, value.name.substr(0, value.name.size() - kFriendlyAppName.size()), 1);
    } else if (EndsWithName(value.name, kApplicationCompany)) {
      SetProgramCell(value, value.name.substr(0, value.name.size() - kApplicationCompany.size()), 2);
    } else {
      ArtifactRow& row = m_rows.AddValueRow(m_key, value);
      row.cells[0] = TextCell(std::string(value.name));
      if (!value.held) {
        row.problem = kNotHeld;
      } else if (HiveKeys::SameName(value.name, "LangID")) {
        row.cells[1] = TextCell(LangIdText(value, row.problem));
      } else {
        row.cells[1] = TextCell(ValueText(value));
      }
    }
  }

 private:
  // The program's row (made by the first of its values), its cell set from value.
  void SetProgramCell(const ValueView& value, std::string_view program, size_t cell) {
    std::string folded = FoldedAscii(program);
    if (value.deleted) folded.insert(0, "deleted:");  // recovered values group apart from live ones
    const auto [at, added] = m_byProgram.emplace(std::move(folded), m_rows.Rows().size());
    if (added) {
      m_rows.AddValueRow(m_key, value).cells[0] = TextCell(std::string(program));
    }
    ArtifactRow& row = m_rows.Rows()[at->second];
    if (!value.held) {
      AddProblem(row.problem, std::string(value.name.substr(program.size() + 1)) + ": " + std::string(kNotHeld));
      return;
    }
    if (!std::holds_alternative<std::monostate>(row.cells[cell])) {
      AddProblem(row.problem, "two values for " + std::string(value.name.substr(program.size() + 1)));
    }
    row.cells[cell] = TextCell(ValueText(value));
  }

  KeyId m_key;
  RowSink& m_rows;
  std::unordered_map<std::string, size_t> m_byProgram;
};

void DecodeMuiCache(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  for (size_t i = 0; i < kMuiCacheKeys.size(); ++i) {
    if (context.kind == (i == 0 ? HiveKind::kNtuser : HiveKind::kUsrClass)) continue;  // the other kind's key
    const KeyId key = keys.Find(keys.Root(), kMuiCacheKeys[i]);
    if (key == kNoKey) continue;
    MuiCacheRows cache(key, rows);
    keys.ForEachValue(key, [&](const ValueView& value) {
      cache.Add(value);
      return true;
    });
  }
}

// --- FeatureUsage (Windows 10 1903 and later): per list, a REG_DWORD count
// per application or button.

constexpr std::string_view kFeatureUsagePath = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FeatureUsage";
constexpr std::array<std::string_view, 5> kFeatureUsageLists{"AppSwitched", "AppLaunch", "ShowJumpView",
                                                             "AppBadgeUpdated", "TrayButtonClicked"};
constexpr std::array<std::string_view, 1> kFeatureUsageKeys{kFeatureUsagePath};
constexpr std::array kFeatureUsageColumns{
    Column{"list", ColumnType::kText}, Column{"name", ColumnType::kText}, Column{"count", ColumnType::kInteger}};

void DecodeFeatureUsage(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId featureUsage = keys.Find(keys.Root(), kFeatureUsagePath);
  if (featureUsage == kNoKey) return;
  for (const std::string_view list : kFeatureUsageLists) {
    const KeyId key = keys.Child(featureUsage, list);
    if (key == kNoKey) continue;
    keys.ForEachValue(key, [&](const ValueView& value) {
      ArtifactRow& row = rows.AddValueRow(key, value);
      row.cells[0] = TextCell(std::string(list));
      row.cells[1] = TextCell(std::string(value.name));
      if (const std::optional<uint32_t> count = ValueDword(value)) {
        row.cells[2] = IntegerCell(*count);
      } else {
        row.problem = value.held ? DataTooShort(value.data.size(), 4) : std::string(kNotHeld);
      }
      return true;
    });
  }
}

// --- RecentApps (Windows 10 Search): one {GUID} key per application, with
// AppId (REG_SZ), LaunchCount (REG_DWORD) and LastAccessedTime (REG_QWORD,
// FILETIME); its RecentItems\{GUID} keys each a file it opened: DisplayName,
// Path and LastAccessedTime.

constexpr std::string_view kRecentAppsPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Search\\RecentApps";
constexpr std::array<std::string_view, 1> kRecentAppsKeys{kRecentAppsPath};
constexpr std::array kRecentAppsColumns{
    Column{"app_id", ColumnType::kText},      Column{"launch_count", ColumnType::kInteger},
    Column{"last_accessed", ColumnType::kTime}, Column{"file", ColumnType::kText},
    Column{"file_last_accessed", ColumnType::kTime},
};

std::string TextOf(const HiveKeys& keys, KeyId key, std::string_view name) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  return value ? ValueText(*value) : std::string();
}

// A value read as a number of `bytes` bytes (4: REG_DWORD, 8: REG_QWORD);
// none when absent, a problem when shorter.
std::optional<uint64_t> NumberOf(const HiveKeys& keys, KeyId key, std::string_view name, size_t bytes,
                                 std::string& problem) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  if (!value) return std::nullopt;
  const DataReader data(value->data);
  if (!data.Holds(0, bytes)) {
    AddProblem(problem, std::string(name) + ": " + DataTooShort(data.Size(), bytes));
    return std::nullopt;
  }
  return bytes == 4 ? std::optional<uint64_t>(*data.U32(0)) : data.U64(0);
}

struct RecentApp {
  std::string appId;
  std::optional<uint64_t> launchCount;
  uint64_t lastAccessed = 0;
  std::string problem;
};

void FillRecentAppCells(const RecentApp& app, ArtifactRow& row) {
  row.cells[0] = TextCell(app.appId);
  if (app.launchCount) row.cells[1] = IntegerCell(static_cast<int64_t>(*app.launchCount));
  row.cells[2] = TimeCell(app.lastAccessed);
  AddProblem(row.problem, app.problem);
}

void AddRecentAppRows(const HiveKeys& keys, KeyId appKey, RowSink& rows) {
  RecentApp app;
  app.appId = TextOf(keys, appKey, "AppId");
  app.launchCount = NumberOf(keys, appKey, "LaunchCount", 4, app.problem);
  app.lastAccessed = NumberOf(keys, appKey, "LastAccessedTime", 8, app.problem).value_or(0);
  const KeyId recentItems = keys.Child(appKey, "RecentItems");
  if (keys.ChildCount(recentItems) == 0) {
    FillRecentAppCells(app, rows.AddKeyRow(appKey));
    return;
  }
  keys.ForEachChild(recentItems, [&](KeyId item) {
    ArtifactRow& row = rows.AddKeyRow(item);
    FillRecentAppCells(app, row);
    std::string file = TextOf(keys, item, "Path");
    if (file.empty()) file = TextOf(keys, item, "DisplayName");
    if (!file.empty()) row.cells[3] = TextCell(std::move(file));
    row.cells[4] = TimeCell(NumberOf(keys, item, "LastAccessedTime", 8, row.problem).value_or(0));
  });
}

void DecodeRecentApps(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  keys.ForEachChild(keys.Find(keys.Root(), kRecentAppsPath),
                    [&](KeyId appKey) { AddRecentAppRows(keys, appKey, rows); });
}

// --- Remote Desktop (Terminal Server Client): Default holds MRU0, MRU1, ...
// (MRU0 the most recent), each a server; Servers\<server> the user name last
// used on it (UsernameHint). Servers the MRU list no longer names follow.

constexpr std::string_view kTsClientPath = "Software\\Microsoft\\Terminal Server Client";
constexpr std::array<std::string_view, 2> kTsClientKeys{"Software\\Microsoft\\Terminal Server Client\\Default",
                                                        "Software\\Microsoft\\Terminal Server Client\\Servers"};
constexpr std::array kTsClientColumns{
    Column{"server", ColumnType::kText}, Column{"username_hint", ColumnType::kText},
    Column{"order", ColumnType::kInteger}};

struct TsServer {
  std::optional<uint32_t> number;  // none: not an MRUn value
  ValueSource source;
  std::string server;
};

void DecodeTsClient(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId client = keys.Find(keys.Root(), kTsClientPath);
  if (client == kNoKey) return;
  const KeyId defaults = keys.Child(client, "Default");
  const KeyId servers = keys.Child(client, "Servers");
  std::vector<TsServer> found;
  keys.ForEachValue(defaults, [&](const ValueView& value) {
    found.push_back({NumberAfter(value.name, "MRU"), {std::string(value.name), value.deleted}, ValueText(value)});
    return true;
  });
  std::stable_sort(found.begin(), found.end(), [](const TsServer& a, const TsServer& b) {
    if (a.number.has_value() != b.number.has_value()) return a.number.has_value();
    return a.number.value_or(0) < b.number.value_or(0);
  });
  // Each server key once, by its name folded as Windows compares ASCII names.
  struct ServerKey {
    KeyId key = kNoKey;
    bool named = false;  // by an MRUn value: no row of its own
  };
  std::unordered_map<std::string, ServerKey> serverKeys;
  keys.ForEachChild(servers,
                    [&](KeyId server) { serverKeys.emplace(FoldedAscii(keys.Name(server)), ServerKey{server}); });
  for (const TsServer& entry : found) {
    ArtifactRow& row = AddSourceRow(rows, defaults, entry.source);
    row.cells[0] = TextCell(entry.server);
    if (entry.number) {
      row.cells[2] = IntegerCell(*entry.number);
    } else {
      row.problem = "not an MRUn value";
    }
    const auto server = serverKeys.find(FoldedAscii(entry.server));
    if (server == serverKeys.end()) continue;
    row.cells[1] = TextCell(TextOf(keys, server->second.key, "UsernameHint"));
    server->second.named = true;
  }
  keys.ForEachChild(servers, [&](KeyId server) {
    const ServerKey& known = serverKeys.at(FoldedAscii(keys.Name(server)));
    if (known.named || known.key != server) return;  // named above, or a second key of the same name
    ArtifactRow& row = rows.AddKeyRow(server);
    row.cells[0] = TextCell(std::string(keys.Name(server)));
    row.cells[1] = TextCell(TextOf(keys, server, "UsernameHint"));
  });
}

// --- Map Network Drive MRU: the paths typed in the Map Network Drive
// dialog, values a, b, ... in MRUList order.

constexpr std::string_view kMapNetworkDrivePath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Map Network Drive MRU";
constexpr std::array<std::string_view, 1> kMapNetworkDriveKeys{kMapNetworkDrivePath};
constexpr std::array kMapNetworkDriveColumns{Column{"order", ColumnType::kInteger}, Column{"path", ColumnType::kText}};

void DecodeMapNetworkDrive(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kMapNetworkDrivePath);
  if (key == kNoKey) return;
  std::vector<std::string> paths;
  const std::vector<MruEntry> entries =
      ReadMruEntries(keys, key, [&](const ValueView& value) { paths.push_back(ValueText(value)); });
  for (const MruEntry& entry : entries) {
    ArtifactRow& row = AddMruEntryRow(rows, key, entry);
    if (entry.position) row.cells[0] = IntegerCell(*entry.position);
    if (entry.visited) row.cells[1] = TextCell(std::move(paths[*entry.visited]));
  }
}

constexpr std::array kActivityArtifacts{
    Artifact{"mountpoints2", "Mount points", kNtuser, kMountPointsKeys, kMountPointsColumns, DecodeMountPoints},
    Artifact{"officemru", "Office recent files", kNtuser, kOfficeKeys, kOfficeColumns, DecodeOfficeMru},
    Artifact{"muicache", "MUI cache", static_cast<HiveKinds>(KindBit(HiveKind::kUsrClass) | kNtuser), kMuiCacheKeys,
             kMuiCacheColumns, DecodeMuiCache},
    Artifact{"featureusage", "Feature usage", kNtuser, kFeatureUsageKeys, kFeatureUsageColumns, DecodeFeatureUsage},
    Artifact{"recentapps", "Recent apps", kNtuser, kRecentAppsKeys, kRecentAppsColumns, DecodeRecentApps},
    Artifact{"tsclient", "Remote desktop", kNtuser, kTsClientKeys, kTsClientColumns, DecodeTsClient},
    Artifact{"mapnetworkdrive", "Mapped network drives", kNtuser, kMapNetworkDriveKeys, kMapNetworkDriveColumns,
             DecodeMapNetworkDrive},
};

}  // namespace

std::span<const Artifact> ActivityArtifacts() { return kActivityArtifacts; }

}  // namespace artifacts
