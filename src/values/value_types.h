#pragma once
// The value types Windows names (the type field of a value record).

#include <cstdint>

namespace values {

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegResourceList = 8;
inline constexpr uint32_t kRegFullResourceDescriptor = 9;
inline constexpr uint32_t kRegResourceRequirementsList = 10;
inline constexpr uint32_t kRegQword = 11;

}  // namespace values
