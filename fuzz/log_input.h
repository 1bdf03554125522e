#pragma once
// How one input of the log fuzzer holds a primary hive file and one or two
// transaction logs (shared by the fuzzer and its seed maker):
//
//   0  u8   flags: kSecondLog (a second log follows the first),
//               kLowerCaseNames (the logs are named "hive.log1"/"hive.log2"
//               instead of "hive.LOG1"/"hive.LOG2"), kOldName (the first log
//               is "hive.LOG" instead of "hive.LOG1")
//   1  u32  length of the primary file (little-endian)
//   5  u32  length of the first log
//   9  ...  the primary, the first log, then the second log (the rest)
//
// Lengths past the input's end are cut to what it holds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hive/little_endian.h"

namespace fuzzing {

inline constexpr uint8_t kSecondLog = 0x01;
inline constexpr uint8_t kLowerCaseNames = 0x02;
inline constexpr uint8_t kOldName = 0x04;
inline constexpr size_t kLogInputHeader = 9;

struct LogInput {
  uint8_t flags = 0;
  std::span<const uint8_t> primary;
  std::span<const uint8_t> firstLog;
  std::span<const uint8_t> secondLog;  // empty unless kSecondLog
};

inline LogInput SplitLogInput(std::span<const uint8_t> data) {
  LogInput input;
  if (data.size() < kLogInputHeader) return input;
  input.flags = data[0];
  std::span<const uint8_t> rest = data.subspan(kLogInputHeader);
  const size_t primary = std::min<size_t>(hive::LoadU32(data.data() + 1), rest.size());
  input.primary = rest.first(primary);
  rest = rest.subspan(primary);
  const size_t first = std::min<size_t>(hive::LoadU32(data.data() + 5), rest.size());
  input.firstLog = rest.first(first);
  if ((input.flags & kSecondLog) != 0) input.secondLog = rest.subspan(first);
  return input;
}

inline std::vector<uint8_t> JoinLogInput(uint8_t flags, std::span<const uint8_t> primary,
                                         std::span<const uint8_t> firstLog,
                                         std::span<const uint8_t> secondLog) {
  std::vector<uint8_t> out(kLogInputHeader, 0);
  out[0] = static_cast<uint8_t>(flags | (secondLog.empty() ? 0 : kSecondLog));
  hive::StoreU32(out.data() + 1, static_cast<uint32_t>(primary.size()));
  hive::StoreU32(out.data() + 5, static_cast<uint32_t>(firstLog.size()));
  out.insert(out.end(), primary.begin(), primary.end());
  out.insert(out.end(), firstLog.begin(), firstLog.end());
  out.insert(out.end(), secondLog.begin(), secondLog.end());
  return out;
}

}  // namespace fuzzing
