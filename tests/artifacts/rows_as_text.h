#pragma once
// Helpers of the shell-item and user-activity artifact tests: the real hives
// they read, built hives of a kind, and decoded rows as lines of text to
// compare whole.

#include <initializer_list>
#include <string>
#include <vector>

#include "decoded_hive.h"
#include "user_artifacts_support.h"

namespace rowtext {

using Lines = std::vector<std::string>;
using Rows = std::vector<artifacts::ArtifactRow>;

inline const std::string kXp = KEYLOOM_SHARED_HIVES "/plaso__NTUSER.DAT";
inline const std::string kSeven = KEYLOOM_SHARED_HIVES "/plaso__NTUSER-WIN7.DAT";
inline const std::string kEight = KEYLOOM_MORE_HIVES "/newer/notatin__NTUSER.DAT";
inline const std::string kUsrClass = KEYLOOM_SHARED_HIVES "/dfwinreg__UsrClass.dat";
inline const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
inline constexpr uint64_t kBuiltTime = 132223104000000000ULL;  // HiveBuilder's time of every key

// A built hive whose root holds these keys (so that its kind is told).
inline usertest::PathBuilder HiveWith(std::initializer_list<const char*> rootKeys) {
  usertest::PathBuilder hive;
  for (const char* key : rootKeys) hive.Key(key);
  return hive;
}
inline usertest::PathBuilder NtuserHive() {
  return HiveWith({"AppEvents", "Control Panel", "Environment", "Software"});
}

// A cell as RegRipper writes it: a time as "2009-08-04 15:21:53", a number in
// decimal, "" when empty.
inline std::string Shown(const artifacts::Cell& cell) {
  if (const uint64_t time = usertest::Time(cell); time != 0) return usertest::Utc(time);
  if (const std::optional<int64_t> number = usertest::Integer(cell)) return std::to_string(*number);
  const std::string text = usertest::Text(cell);
  return text == "<none>" ? "" : text;
}

// Each row's cells joined by " | ", then " !! " and its problem when it has one.
inline Lines Shown(const Rows& rows) {
  Lines lines;
  for (const artifacts::ArtifactRow& row : rows) {
    std::string line = Shown(row.cells[0]);
    for (size_t i = 1; i < row.cells.size(); ++i) line += " | " + Shown(row.cells[i]);
    if (!row.problem.empty()) line += " !! " + row.problem;
    lines.push_back(line);
  }
  return lines;
}

inline Lines ShownRows(const std::vector<uint8_t>& image, const std::string& name, std::string_view id) {
  return Shown(testsupport::DecodedHive(image, name).Decode(id));
}

}  // namespace rowtext
