// The artifacts of a SOFTWARE hive (whose root is HKLM's Software key): the
// Windows version, the user profiles, the networks connected to, and the
// installed programs (also a user's own, from NTUSER.DAT).

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"
#include "values/value_types.h"

namespace artifacts {

namespace {

void AddProblem(std::string& problem, std::string_view more) {
  if (!problem.empty()) problem += "; ";
  problem += more;
}

// The text of a value Windows writes as a string (REG_SZ, REG_EXPAND_SZ); a
// REG_DWORD as its decimal number (some installers write InstallDate so);
// none when the key has no such value.
std::optional<std::string> TextOf(const HiveKeys& keys, KeyId key, std::string_view name) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  if (!value) return std::nullopt;
  if (value->type == values::kRegDword) {
    const std::optional<uint32_t> number = ValueDword(*value);
    return number ? std::optional<std::string>(std::to_string(*number)) : std::nullopt;
  }
  return ValueText(*value);
}

Cell TextCellOf(const HiveKeys& keys, KeyId key, std::string_view name) {
  std::optional<std::string> text = TextOf(keys, key, name);
  return text ? TextCell(std::move(*text)) : Cell{};
}

// --- Windows version: Microsoft\Windows NT\CurrentVersion

constexpr std::string_view kCurrentVersionPath = "Microsoft\\Windows NT\\CurrentVersion";
constexpr std::array<std::string_view, 1> kWindowsKeys{kCurrentVersionPath};
constexpr std::array kWindowsColumns{
    Column{"product_name", ColumnType::kText},    Column{"current_build", ColumnType::kText},
    Column{"display_version", ColumnType::kText}, Column{"install_date", ColumnType::kTime},
    Column{"registered_owner", ColumnType::kText},
};

// The first of these names the key has: the version Windows 10 20H2 and
// later show (DisplayVersion), 1511 to 2004's (ReleaseId), or the service pack
// of older versions (CSDVersion).
Cell DisplayVersionCell(const HiveKeys& keys, KeyId key) {
  for (const std::string_view name : {"DisplayVersion", "ReleaseId", "CSDVersion"}) {
    if (std::optional<std::string> text = TextOf(keys, key, name)) return TextCell(std::move(*text));
  }
  return {};
}

// InstallTime (Windows 10 and later: a REG_QWORD FILETIME) where present,
// else InstallDate (a REG_DWORD of seconds since 1970).
Cell InstallDateCell(const HiveKeys& keys, KeyId key) {
  if (const std::optional<ValueView> time = keys.FindValue(key, "InstallTime")) {
    if (const std::optional<uint64_t> fileTime = ValueQword(*time); fileTime && *fileTime != 0) {
      return TimeCell(*fileTime);
    }
  }
  const std::optional<ValueView> date = keys.FindValue(key, "InstallDate");
  const std::optional<uint32_t> seconds = date ? ValueDword(*date) : std::nullopt;
  return seconds ? TimeCell(FileTimeFromUnixSeconds(*seconds)) : Cell{};
}

void DecodeWindows(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(keys.Root(), kCurrentVersionPath);
  if (key == kNoKey) return;
  ArtifactRow& row = rows.AddKeyRow(key);
  row.cells[0] = TextCellOf(keys, key, "ProductName");
  // CurrentBuildNumber is the build on every version; CurrentBuild is the
  // same from Vista on, and obsolete text ("1.511.1 () (Obsolete data - do
  // not use)") before.
  row.cells[1] = TextCellOf(keys, key, "CurrentBuildNumber");
  if (row.cells[1].index() == 0) row.cells[1] = TextCellOf(keys, key, "CurrentBuild");
  row.cells[2] = DisplayVersionCell(keys, key);
  row.cells[3] = InstallDateCell(keys, key);
  row.cells[4] = TextCellOf(keys, key, "RegisteredOwner");
}

// --- Profiles: Microsoft\Windows NT\CurrentVersion\ProfileList\<SID>

constexpr std::string_view kProfileListPath = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::array<std::string_view, 1> kProfileListKeys{kProfileListPath};
constexpr std::array kProfileListColumns{
    Column{"sid", ColumnType::kText}, Column{"profile_path", ColumnType::kText},
    Column{"last_written", ColumnType::kTime}};

void DecodeProfileList(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  keys.ForEachChild(keys.Find(keys.Root(), kProfileListPath), [&](KeyId profile) {
    ArtifactRow& row = rows.AddKeyRow(profile);
    row.cells[0] = TextCell(std::string(keys.Name(profile)));
    row.cells[1] = TextCellOf(keys, profile, "ProfileImagePath");
    row.cells[2] = TimeCell(keys.LastWritten(profile));
  });
}

// --- Networks (Vista and later): NetworkList\Profiles\{GUID} with a
// profile's name, category and SYSTEMTIME dates; below
// NetworkList\Signatures\Managed and \Unmanaged, one key per signature with
// the profile's GUID (ProfileGuid) and the default gateway's MAC address
// (DefaultGatewayMac, 6 bytes).

constexpr std::string_view kNetworkListPath = "Microsoft\\Windows NT\\CurrentVersion\\NetworkList";
constexpr std::array<std::string_view, 3> kNetworkListKeys{
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Profiles",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Signatures\\Managed",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkList\\Signatures\\Unmanaged",
};
constexpr std::array kNetworkListColumns{
    Column{"profile_name", ColumnType::kText},     Column{"description", ColumnType::kText},
    Column{"category", ColumnType::kText},         Column{"date_created", ColumnType::kTime},
    Column{"date_last_connected", ColumnType::kTime}, Column{"gateway_mac", ColumnType::kText},
};

constexpr size_t kMacSize = 6;
constexpr size_t kSystemTimeSize = 16;

// "00-11-22-AA-BB-CC".
std::string FormatMac(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    if (!text.empty()) text += '-';
    text += hex;
  }
  return text;
}

// A GUID's text as a lookup key: braces kept, letters upper case.
std::string GuidKey(std::string_view guid) {
  std::string key(guid);
  for (char& c : key) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

// A profile reached through several gateways lists each once.
void AddMac(std::string& macs, const std::string& mac) {
  if (macs.find(mac) != std::string::npos) return;
  if (!macs.empty()) macs += ", ";
  macs += mac;
}

struct Gateways {
  std::string macs;     // "00-11-...", several joined by ", "
  std::string problem;  // a DefaultGatewayMac that is not 6 bytes
};

// The gateways of every signature, by the profile GUID each names.
std::unordered_map<std::string, Gateways> ReadGateways(const HiveKeys& keys, KeyId networkList) {
  std::unordered_map<std::string, Gateways> byProfile;
  for (const std::string_view kind : {"Signatures\\Managed", "Signatures\\Unmanaged"}) {
    keys.ForEachChild(keys.Find(networkList, kind), [&](KeyId signature) {
      const std::optional<std::string> profile = TextOf(keys, signature, "ProfileGuid");
      const std::optional<ValueView> mac = keys.FindValue(signature, "DefaultGatewayMac");
      if (!profile || !mac || mac->data.empty()) return;
      Gateways& gateways = byProfile[GuidKey(*profile)];
      AddMac(gateways.macs, FormatMac(mac->data));
      if (mac->data.size() != kMacSize) {
        AddProblem(gateways.problem, "DefaultGatewayMac of signature " + std::string(keys.Name(signature)) + ": " +
                                         std::to_string(mac->data.size()) + " bytes, not 6");
      }
    });
  }
  return byProfile;
}

std::string CategoryWord(uint32_t category) {
  switch (category) {
    case 0: return "public";
    case 1: return "private";
    case 2: return "domain";
    default: break;
  }
  return "unknown (" + std::to_string(category) + ")";
}

Cell SystemTimeCell(const HiveKeys& keys, KeyId key, std::string_view name, std::string& problem) {
  const std::optional<ValueView> value = keys.FindValue(key, name);
  if (!value) return {};
  if (value->data.size() < kSystemTimeSize) {
    AddProblem(problem, std::string(name) + ": " + DataTooShort(value->data.size(), kSystemTimeSize));
    return {};
  }
  return TimeCell(FileTimeFromSystemTime(value->data.first(kSystemTimeSize)));
}

void AddNetworkRow(const HiveKeys& keys, KeyId profile, const std::unordered_map<std::string, Gateways>& gateways,
                   RowSink& rows) {
  ArtifactRow& row = rows.AddKeyRow(profile);
  row.cells[0] = TextCellOf(keys, profile, "ProfileName");
  row.cells[1] = TextCellOf(keys, profile, "Description");
  if (const std::optional<ValueView> category = keys.FindValue(profile, "Category")) {
    if (const std::optional<uint32_t> number = ValueDword(*category)) row.cells[2] = TextCell(CategoryWord(*number));
  }
  row.cells[3] = SystemTimeCell(keys, profile, "DateCreated", row.problem);
  row.cells[4] = SystemTimeCell(keys, profile, "DateLastConnected", row.problem);
  const auto found = gateways.find(GuidKey(keys.Name(profile)));
  if (found != gateways.end()) {
    row.cells[5] = TextCell(found->second.macs);
    if (!found->second.problem.empty()) AddProblem(row.problem, found->second.problem);
  }
}

void DecodeNetworkList(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId networkList = keys.Find(keys.Root(), kNetworkListPath);
  if (networkList == kNoKey) return;
  const std::unordered_map<std::string, Gateways> gateways = ReadGateways(keys, networkList);
  keys.ForEachChild(keys.Child(networkList, "Profiles"),
                    [&](KeyId profile) { AddNetworkRow(keys, profile, gateways, rows); });
}

// --- Installed programs: one subkey of an Uninstall key per program.

constexpr std::array<std::string_view, 3> kUninstallKeys{
    "Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",  // 32-bit programs on 64-bit Windows
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",     // NTUSER: programs installed for one user
};
constexpr std::array kUninstallColumns{
    Column{"key", ColumnType::kText},          Column{"display_name", ColumnType::kText},
    Column{"display_version", ColumnType::kText}, Column{"publisher", ColumnType::kText},
    Column{"install_date", ColumnType::kText},  Column{"install_location", ColumnType::kText},
    Column{"last_written", ColumnType::kTime},
};

void AddUninstallRows(const HiveKeys& keys, KeyId uninstall, RowSink& rows) {
  keys.ForEachChild(uninstall, [&](KeyId program) {
    ArtifactRow& row = rows.AddKeyRow(program);
    row.cells[0] = TextCell(keys.Path(program));
    row.cells[1] = TextCellOf(keys, program, "DisplayName");
    row.cells[2] = TextCellOf(keys, program, "DisplayVersion");
    row.cells[3] = TextCellOf(keys, program, "Publisher");
    row.cells[4] = TextCellOf(keys, program, "InstallDate");  // as stored, e.g. "20120406"
    row.cells[5] = TextCellOf(keys, program, "InstallLocation");
    row.cells[6] = TimeCell(keys.LastWritten(program));
  });
}

void DecodeUninstall(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const std::span<const std::string_view> paths =
      context.kind == HiveKind::kNtuser ? std::span(kUninstallKeys).subspan(2) : std::span(kUninstallKeys).first(2);
  for (const std::string_view path : paths) AddUninstallRows(keys, keys.Find(keys.Root(), path), rows);
}

constexpr HiveKinds kSoftware = KindBit(HiveKind::kSoftware);

constexpr std::array kSoftwareArtifacts{
    Artifact{"windows", "Windows version", kSoftware, kWindowsKeys, kWindowsColumns, DecodeWindows},
    Artifact{"profilelist", "Profiles", kSoftware, kProfileListKeys, kProfileListColumns, DecodeProfileList},
    Artifact{"networklist", "Networks", kSoftware, kNetworkListKeys, kNetworkListColumns, DecodeNetworkList},
    Artifact{"uninstall", "Installed programs", static_cast<HiveKinds>(kSoftware | KindBit(HiveKind::kNtuser)),
             kUninstallKeys, kUninstallColumns, DecodeUninstall},
};

}  // namespace

std::span<const Artifact> SoftwareArtifacts() { return kSoftwareArtifacts; }

}  // namespace artifacts
