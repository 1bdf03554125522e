#include "artifacts/bookmarks.h"

#include <array>
#include <set>

#include "artifacts/artifact_table.h"

namespace artifacts {

namespace {

struct WellKnownKey {
  HiveKinds kinds;
  std::string_view path;
  std::string_view description;
};

constexpr HiveKinds kNtuser = KindBit(HiveKind::kNtuser);
constexpr HiveKinds kUsrClass = KindBit(HiveKind::kUsrClass);
constexpr HiveKinds kSystem = KindBit(HiveKind::kSystem);
constexpr HiveKinds kSoftware = KindBit(HiveKind::kSoftware);
constexpr HiveKinds kSam = KindBit(HiveKind::kSam);
constexpr HiveKinds kSecurity = KindBit(HiveKind::kSecurity);
constexpr HiveKinds kAmcache = KindBit(HiveKind::kAmcache);
constexpr HiveKinds kBcd = KindBit(HiveKind::kBcd);

// Keys analysts look at first, beyond those the artifacts read.
constexpr std::array kWellKnownKeys{
    WellKnownKey{kNtuser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs",
                 "Files and folders opened recently, by extension"},
    WellKnownKey{kNtuser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32",
                 "Files chosen in the Open and Save dialogs"},
    WellKnownKey{kNtuser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MountPoints2",
                 "Volumes and shares the user mounted"},
    WellKnownKey{kNtuser, "Software\\Microsoft\\Windows\\Shell\\BagMRU", "Folders Explorer showed (ShellBags, XP)"},
    WellKnownKey{kNtuser, "Software\\Microsoft\\Terminal Server Client\\Servers", "Remote desktop servers connected to"},
    WellKnownKey{kNtuser, "Network", "Mapped network drives"},
    WellKnownKey{kNtuser, "Environment", "The user's environment variables"},
    WellKnownKey{kUsrClass, "Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU",
                 "Folders Explorer showed (ShellBags)"},
    WellKnownKey{kUsrClass, "Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache",
                 "Programs run, with their display names"},
    WellKnownKey{kSystem, "Select", "Which control set is current"},
    WellKnownKey{kSystem, "CurrentControlSet\\Services", "Services and drivers"},
    WellKnownKey{kSystem, "CurrentControlSet\\Enum\\USBSTOR", "USB storage devices"},
    WellKnownKey{kSystem, "CurrentControlSet\\Enum\\USB", "USB devices"},
    WellKnownKey{kSystem, "MountedDevices", "Drive letters and volumes"},
    WellKnownKey{kSystem, "CurrentControlSet\\Control\\ComputerName\\ComputerName", "The computer's name"},
    WellKnownKey{kSystem, "CurrentControlSet\\Control\\TimeZoneInformation", "The time zone"},
    WellKnownKey{kSystem, "CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces", "Network interfaces"},
    WellKnownKey{kSoftware, "Microsoft\\Windows NT\\CurrentVersion", "Windows version, owner, install date"},
    WellKnownKey{kSoftware, "Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "User profiles by SID"},
    WellKnownKey{kSoftware, "Microsoft\\Windows NT\\CurrentVersion\\NetworkList", "Networks connected to"},
    WellKnownKey{kSoftware, "Microsoft\\Windows\\CurrentVersion\\Uninstall", "Installed programs"},
    WellKnownKey{kSoftware, "Microsoft\\Windows\\CurrentVersion\\Run", "Programs run at every logon"},
    WellKnownKey{kSoftware, "Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Logon shell and user init"},
    WellKnownKey{kSam, "SAM\\Domains\\Account\\Users", "Local user accounts"},
    WellKnownKey{kSam, "SAM\\Domains\\Account\\Users\\Names", "Local user accounts by name"},
    WellKnownKey{kSam, "SAM\\Domains\\Builtin\\Aliases", "Built-in groups"},
    WellKnownKey{kSecurity, "Policy\\Secrets", "LSA secrets"},
    WellKnownKey{kSecurity, "Policy\\PolAdtEv", "Audit policy"},
    WellKnownKey{kAmcache, "Root\\InventoryApplicationFile", "Programs present (Windows 10 and later)"},
    WellKnownKey{kAmcache, "Root\\File", "Programs present (Windows 8)"},
    WellKnownKey{kAmcache, "Root\\InventoryApplication", "Installed applications"},
    WellKnownKey{kBcd, "Objects", "Boot entries"},
};

// The key at path, "CurrentControlSet\" read as controlSet.
KeyId FindWellKnownKey(const HiveKeys& keys, std::string_view path, KeyId controlSet) {
  constexpr std::string_view kCurrent = "CurrentControlSet\\";
  if (path.substr(0, kCurrent.size()) == kCurrent) return keys.Find(controlSet, path.substr(kCurrent.size()));
  return keys.Find(keys.Root(), path);
}

}  // namespace

std::vector<Bookmark> ExistingBookmarks(const HiveKeys& keys, HiveKind kind, KeyId controlSet) {
  std::vector<Bookmark> bookmarks;
  std::set<KeyId> seen;
  const auto add = [&](std::string_view path, std::string_view description) {
    const KeyId key = FindWellKnownKey(keys, path, controlSet);
    if (key == kNoKey || !seen.insert(key).second) return;
    bookmarks.push_back({key, keys.Path(key), std::string(description)});
  };
  for (const Artifact* artifact : ArtifactsFor(kind)) {
    for (const std::string_view path : artifact->keyPaths) add(path, artifact->title);
  }
  for (const WellKnownKey& known : kWellKnownKeys) {
    if ((known.kinds & KindBit(kind)) != 0) add(known.path, known.description);
  }
  return bookmarks;
}

}  // namespace artifacts
