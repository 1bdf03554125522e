#include "artifacts/go_to_key.h"

#include <array>
#include <vector>

namespace artifacts {

namespace {

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> names;
  while (!path.empty()) {
    const size_t cut = path.find_first_of("\\/");
    const std::string_view name = path.substr(0, cut);
    if (!name.empty()) names.push_back(name);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return names;
}

bool IsAny(std::string_view name, std::initializer_list<std::string_view> forms) {
  for (const std::string_view form : forms) {
    if (HiveKeys::SameName(name, form)) return true;
  }
  return false;
}

// How many leading names are a root that stands for this hive's root key:
// "HKLM\SYSTEM" (a machine hive under HKEY_LOCAL_MACHINE), "HKCU", "HKU\SID"
// (a user's hive under HKEY_USERS), "HKCR".
size_t RootNames(const std::vector<std::string_view>& names) {
  if (names.empty()) return 0;
  if (IsAny(names[0], {"HKEY_LOCAL_MACHINE", "HKLM"})) return names.size() > 1 ? 2 : 1;
  if (IsAny(names[0], {"HKEY_USERS", "HKU"})) return names.size() > 1 ? 2 : 1;
  if (IsAny(names[0], {"HKEY_CURRENT_USER", "HKCU", "HKEY_CLASSES_ROOT", "HKCR"})) return 1;
  return 0;
}

}  // namespace

ResolvedPath ResolveKeyPath(const HiveKeys& keys, std::string_view path, KeyId controlSet,
                            std::string_view fileName) {
  std::vector<std::string_view> names = SplitPath(path);
  size_t at = 0;
  if (at < names.size() && IsAny(names[at], {"Computer"}) && RootNames({names.begin() + 1, names.end()}) > 0) ++at;
  const size_t root = RootNames({names.begin() + static_cast<std::ptrdiff_t>(at), names.end()});
  at += root;
  // A path may also start with the hive's own name (when no root such as
  // HKLM\SYSTEM stood for it): its file name, its root key's name, or the
  // name Windows loads it under, unless that is a key of the root (a SAM
  // hive's root holds a key "SAM").
  if (root == 0 && at < names.size() && keys.Child(keys.Root(), names[at]) == kNoKey &&
      (HiveKeys::SameName(names[at], fileName) || HiveKeys::SameName(names[at], keys.Name(keys.Root())) ||
       IsAny(names[at], {"SYSTEM", "SOFTWARE", "SAM", "SECURITY", "DEFAULT", "NTUSER.DAT", "UsrClass.dat",
                         "BCD00000000", "Amcache.hve"}))) {
    ++at;
  }
  ResolvedPath resolved;
  resolved.key = keys.Root();
  for (; at < names.size(); ++at) {
    const KeyId next = resolved.key == keys.Root() && controlSet != kNoKey &&
                               HiveKeys::SameName(names[at], "CurrentControlSet")
                           ? controlSet
                           : keys.Child(resolved.key, names[at]);
    if (next == kNoKey) break;
    resolved.key = next;
  }
  for (size_t rest = at; rest < names.size(); ++rest) {
    if (!resolved.missing.empty()) resolved.missing += '\\';
    resolved.missing += names[rest];
  }
  return resolved;
}

}  // namespace artifacts
