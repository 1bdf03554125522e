#pragma once
// Decoded forms of value data that give the data back byte for byte, shared
// by the .reg and JSON writers.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace exporting {

// The UTF-8 text of UTF-16LE data that is exactly that text and one
// terminating NUL: an even length, one NUL code unit at the end and none
// before it, every surrogate paired.
std::optional<std::string> ExactText(std::span<const uint8_t> data);

// The strings of REG_MULTI_SZ data that is exactly non-empty strings, each
// ended by a NUL, and one more NUL; a lone NUL is no strings.
std::optional<std::vector<std::string>> ExactStrings(std::span<const uint8_t> data);

}  // namespace exporting
