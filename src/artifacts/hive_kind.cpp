#include "artifacts/hive_kind.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "artifacts/decoders.h"

namespace artifacts {

namespace {

// Root subkeys that mark a kind: each one present adds to the kind's score.
// Names that several kinds share (SECURITY also has a "SAM" key) are weighed
// against the names only one of them has.
struct KindMark {
  HiveKind kind;
  std::string_view rootSubkey;
  int weight;
};

constexpr std::array kKindMarks{
    KindMark{HiveKind::kNtuser, "Software", 1},          KindMark{HiveKind::kNtuser, "Control Panel", 2},
    KindMark{HiveKind::kNtuser, "Environment", 2},       KindMark{HiveKind::kNtuser, "AppEvents", 2},
    KindMark{HiveKind::kNtuser, "Console", 1},           KindMark{HiveKind::kNtuser, "Keyboard Layout", 1},
    KindMark{HiveKind::kUsrClass, "Local Settings", 3},  KindMark{HiveKind::kUsrClass, "CLSID", 1},
    KindMark{HiveKind::kUsrClass, "*", 1},               KindMark{HiveKind::kSystem, "Select", 3},
    KindMark{HiveKind::kSystem, "ControlSet001", 2},     KindMark{HiveKind::kSystem, "MountedDevices", 2},
    KindMark{HiveKind::kSoftware, "Microsoft", 2},       KindMark{HiveKind::kSoftware, "Classes", 1},
    KindMark{HiveKind::kSoftware, "Clients", 1},         KindMark{HiveKind::kSoftware, "Policies", 1},
    KindMark{HiveKind::kSam, "SAM", 3},                  KindMark{HiveKind::kSecurity, "Policy", 3},
    KindMark{HiveKind::kSecurity, "RXACT", 2},           KindMark{HiveKind::kSecurity, "SAM", 1},
    KindMark{HiveKind::kAmcache, "Root", 1},             KindMark{HiveKind::kBcd, "Objects", 2},
    KindMark{HiveKind::kBcd, "Description", 1},
};

// Amcache's root key holds a key "Root" with inventory keys below it.
constexpr std::array<std::string_view, 5> kAmcacheKeys{"File", "Programs", "InventoryApplicationFile",
                                                       "InventoryApplication", "InventoryDevicePnp"};

// File names that tell a kind, matched anywhere in the name without regard to
// case (copies are often named "host_NTUSER.DAT" or "SYSTEM.copy").
struct KindName {
  std::string_view part;
  HiveKind kind;
};
constexpr std::array kKindNames{
    KindName{"usrclass", HiveKind::kUsrClass}, KindName{"ntuser", HiveKind::kNtuser},
    KindName{"default", HiveKind::kNtuser},    KindName{"amcache", HiveKind::kAmcache},
    KindName{"software", HiveKind::kSoftware}, KindName{"security", HiveKind::kSecurity},
    KindName{"system", HiveKind::kSystem},     KindName{"sam", HiveKind::kSam},
    KindName{"bcd", HiveKind::kBcd},
};

constexpr size_t kKindCount = static_cast<size_t>(HiveKind::kOther) + 1;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

HiveKind KindFromFileName(std::string_view fileName) {
  const std::string lower = Lower(fileName);
  for (const KindName& name : kKindNames) {
    if (lower.find(name.part) != std::string::npos) return name.kind;
  }
  return HiveKind::kOther;
}

std::array<int, kKindCount> ScoreKinds(const HiveKeys& keys) {
  std::array<int, kKindCount> score{};
  const KeyId root = keys.Root();
  for (const KindMark& mark : kKindMarks) {
    if (keys.Child(root, mark.rootSubkey) != kNoKey) score[static_cast<size_t>(mark.kind)] += mark.weight;
  }
  const KeyId amcacheRoot = keys.Child(root, "Root");
  for (const std::string_view name : kAmcacheKeys) {
    if (keys.Child(amcacheRoot, name) != kNoKey) score[static_cast<size_t>(HiveKind::kAmcache)] += 2;
  }
  return score;
}

std::string ControlSetName(uint32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "ControlSet%03u", number);
  return name;
}

// The number of a root subkey named ControlSetNNN (digits only), or none.
std::optional<uint32_t> ControlSetNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "controlset";
  if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 9) return std::nullopt;
  if (Lower(name.substr(0, kPrefix.size())) != kPrefix) return std::nullopt;
  uint32_t number = 0;
  for (const char c : name.substr(kPrefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  return number;
}

}  // namespace

std::string_view HiveKindName(HiveKind kind) {
  switch (kind) {
    case HiveKind::kNtuser: return "NTUSER";
    case HiveKind::kUsrClass: return "UsrClass";
    case HiveKind::kSystem: return "SYSTEM";
    case HiveKind::kSoftware: return "SOFTWARE";
    case HiveKind::kSam: return "SAM";
    case HiveKind::kSecurity: return "SECURITY";
    case HiveKind::kAmcache: return "Amcache";
    case HiveKind::kBcd: return "BCD";
    case HiveKind::kOther: break;
  }
  return "other";
}

HiveKind DetectHiveKind(const HiveKeys& keys, std::string_view fileName) {
  const std::array<int, kKindCount> score = ScoreKinds(keys);
  int best = 0;
  for (const int s : score) best = std::max(best, s);
  const HiveKind byName = KindFromFileName(fileName);
  if (best == 0) return byName;
  // The content decides; the file name settles a tie between the best.
  if (byName != HiveKind::kOther && score[static_cast<size_t>(byName)] == best) return byName;
  for (size_t kind = 0; kind < kKindCount; ++kind) {
    if (score[kind] == best) return static_cast<HiveKind>(kind);
  }
  return HiveKind::kOther;
}

KeyId CurrentControlSet(const HiveKeys& keys) {
  const KeyId root = keys.Root();
  const KeyId select = keys.Child(root, "Select");
  for (const std::string_view name : {std::string_view{"Current"}, std::string_view{"Default"}}) {
    const std::optional<ValueView> value = keys.FindValue(select, name);
    const std::optional<uint32_t> number = value ? ValueDword(*value) : std::nullopt;
    if (!number) continue;
    const KeyId set = keys.Child(root, ControlSetName(*number));
    if (set != kNoKey) return set;
  }
  KeyId lowest = kNoKey;
  uint32_t lowestNumber = 0;
  keys.ForEachChild(root, [&](KeyId child) {
    const std::optional<uint32_t> number = ControlSetNumber(keys.Name(child));
    if (number && (lowest == kNoKey || *number < lowestNumber)) {
      lowest = child;
      lowestNumber = *number;
    }
  });
  return lowest;
}

}  // namespace artifacts
