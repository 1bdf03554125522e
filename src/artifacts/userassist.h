#pragma once
// The data of one UserAssist entry (a value of
// Software\Microsoft\Windows\CurrentVersion\Explorer\UserAssist\{GUID}\Count),
// decoded from its raw bytes. The GUID key's Version value tells the layout:
//
//   version 3 (Windows 2000, XP, 2003, Vista), 16 bytes:
//     0  u32  session identifier
//     4  u32  run count, counting from 5 (a program run once stores 6)
//     8  u64  last run, FILETIME
//   version 5 (Windows 7 to 11), 72 bytes:
//     0  u32  unknown (0, 1 or 0xFFFFFFFF)
//     4  u32  run count
//     8  u32  focus count
//     12 u32  focus time, milliseconds
//     16 ...  unknown (ten floats and a u32)
//     60 u64  last run, FILETIME (0: never)
//     68 u32  unknown
//
// The UEME_CTLSESSION entry holds session data instead (8 bytes in version 3,
// 1612 in version 5): it is told by its name, not decoded here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace artifacts {

enum class UserAssistLayout : uint8_t {
  kBySize,     // no (known) Version value: 16 bytes read as version 3, 72 as version 5
  kVersion3,   // 16 bytes
  kVersion5,   // 72 bytes
};

// The layout a GUID key's Version value names; kBySize when it names none.
UserAssistLayout UserAssistLayoutOf(std::optional<uint32_t> version);

struct UserAssistEntry {
  std::optional<int64_t> runCount;    // version 3: the stored count less the 5 it starts from
  std::optional<int64_t> focusCount;  // version 5 only
  std::optional<int64_t> focusMs;     // version 5 only
  uint64_t lastRun = 0;               // FILETIME; 0 when none (or not held)
  std::string problem;                // empty, or what is wrong with the data
};

// Decodes one entry's data. Fields the data does not hold stay absent and the
// problem says so ("data too short: 12 of 16 bytes"); data longer than the
// layout is decoded and named in the problem; a run count below version 3's
// base of 5 is given as stored, with a problem.
UserAssistEntry DecodeUserAssistData(std::span<const uint8_t> data,
                                     UserAssistLayout layout = UserAssistLayout::kBySize);

}  // namespace artifacts
