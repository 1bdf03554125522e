#pragma once
// What kind of hive this is, told from the root key's subkeys (the file name
// only breaks a tie), and the control set that SYSTEM's artifacts read.

#include <cstdint>
#include <string_view>

#include "artifacts/hive_keys.h"

namespace artifacts {

enum class HiveKind : uint8_t {
  kNtuser,    // a user's NTUSER.DAT (also the DEFAULT hive)
  kUsrClass,  // a user's UsrClass.dat
  kSystem,
  kSoftware,
  kSam,
  kSecurity,
  kAmcache,
  kBcd,
  kOther,
};

// A set of kinds, one bit per HiveKind.
using HiveKinds = uint16_t;
constexpr HiveKinds KindBit(HiveKind kind) { return static_cast<HiveKinds>(1u << static_cast<unsigned>(kind)); }

// "NTUSER", "UsrClass", "SYSTEM", "SOFTWARE", "SAM", "SECURITY", "Amcache",
// "BCD", "other".
std::string_view HiveKindName(HiveKind kind);

// The hive's kind; fileName (the hive's file name, without folders) settles
// only what the content leaves open.
HiveKind DetectHiveKind(const HiveKeys& keys, std::string_view fileName);

// The control set a SYSTEM hive's artifacts read: the ControlSetNNN that
// Select\Current names, else Select\Default, else the lowest ControlSetNNN of
// the root. kNoKey when there is none.
KeyId CurrentControlSet(const HiveKeys& keys);

}  // namespace artifacts
