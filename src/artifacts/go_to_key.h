#pragma once
// Go to Key: a key path as reports and regedit write it, resolved in this
// hive. The path may start with a root (HKLM\SYSTEM, HKEY_CURRENT_USER,
// HKU\SID, regedit's "Computer\"), the hive's file name or its root key's
// name; "CurrentControlSet" reads as the current control set.

#include <string>
#include <string_view>

#include "artifacts/hive_keys.h"

namespace artifacts {

struct ResolvedPath {
  KeyId key = kNoKey;   // the deepest key of the path that exists (the root at least)
  std::string missing;  // the part of the path below key that does not exist; empty when all of it does
};

// Resolves path below the hive's root. controlSet is what "CurrentControlSet"
// stands for (kNoKey: nothing). fileName is the hive's file name.
ResolvedPath ResolveKeyPath(const HiveKeys& keys, std::string_view path, KeyId controlSet,
                            std::string_view fileName);

}  // namespace artifacts
