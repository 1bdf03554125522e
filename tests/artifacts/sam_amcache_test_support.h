#pragma once
// Helpers of the SAM and Amcache artifact tests: a cell's value read back,
// and a FILETIME written as a peer's text.

#include <cstdint>
#include <ctime>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "artifacts/artifact.h"

namespace samtest {

// The cell's text; "" when it holds none.
inline std::string Text(const artifacts::Cell& cell) {
  const auto* text = std::get_if<std::string>(&cell);
  return text != nullptr ? *text : std::string();
}

inline std::optional<int64_t> Integer(const artifacts::Cell& cell) {
  const auto* number = std::get_if<int64_t>(&cell);
  return number != nullptr ? std::optional<int64_t>(*number) : std::nullopt;
}

// The cell's FILETIME; 0 when it holds none.
inline uint64_t Time(const artifacts::Cell& cell) {
  const auto* time = std::get_if<artifacts::FileTime>(&cell);
  return time != nullptr ? time->value : 0;
}

// A FILETIME (whole seconds, UTC) written in a std::put_time format.
inline std::string UtcText(uint64_t fileTime, const char* format) {
  const auto seconds = static_cast<time_t>(fileTime / 10'000'000 - 11'644'473'600);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  std::ostringstream text;
  text << std::put_time(&utc, format);
  return text.str();
}

}  // namespace samtest
