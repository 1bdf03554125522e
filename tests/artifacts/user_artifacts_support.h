#pragma once
// Helpers of the NTUSER and SOFTWARE artifact tests: hives built by key path
// (path_builder.h), value data written byte by byte, cells read back, and
// RegRipper (a peer) run on a hive, its output cut into lines to compare with.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "artifacts/artifact.h"
#include "hive_builder.h"
#include "path_builder.h"
#include "run_process.h"

namespace usertest {

using testsupport::HiveBuilder;
using testsupport::kBinary;
using testsupport::kDword;
using testsupport::kQword;
using testsupport::kSz;
using testsupport::Le;
using testsupport::PathBuilder;
using testsupport::Utf16;

// Pieces of data one after another.
inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// "path\\name".
inline std::string Below(std::string_view path, std::string_view name) {
  return std::string(path) + "\\" + std::string(name);
}

// --- Cells
inline std::string Text(const artifacts::Cell& cell) {
  const std::string* text = std::get_if<std::string>(&cell);
  return text ? *text : "<none>";
}
inline std::optional<int64_t> Integer(const artifacts::Cell& cell) {
  const int64_t* number = std::get_if<int64_t>(&cell);
  return number ? std::optional<int64_t>(*number) : std::nullopt;
}
inline uint64_t Time(const artifacts::Cell& cell) {
  const artifacts::FileTime* time = std::get_if<artifacts::FileTime>(&cell);
  return time ? time->value : 0;
}

// A FILETIME as RegRipper writes it, "2009-08-04 15:21:53" (UTC, whole seconds).
inline std::string Utc(uint64_t fileTime) {
  const std::time_t seconds = static_cast<std::time_t>(fileTime / 10'000'000 - 11'644'473'600LL);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

// --- RegRipper (Debian's regripper), run to compare with; none when it is
// not installed.
inline constexpr const char* kRegRipper = "/usr/bin/regripper";

inline std::optional<std::vector<std::string>> RegRipperLines(const std::string& hive, const std::string& plugin) {
  if (!std::filesystem::exists(kRegRipper)) return std::nullopt;
  const testsupport::ProcessResult result = testsupport::RunProcess({kRegRipper, "-r", hive, "-p", plugin});
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A line with its runs of spaces made one and its ends trimmed: RegRipper pads
// its columns.
inline std::string Squeezed(std::string_view line) {
  std::string out;
  for (const char c : line) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Every expected line among lines (compared squeezed), in this order.
inline void ExpectLinesInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
  size_t at = 0;
  for (const std::string& want : expected) {
    const std::string squeezed = Squeezed(want);
    while (at < lines.size() && Squeezed(lines[at]) != squeezed) ++at;
    ASSERT_LT(at, lines.size()) << "RegRipper has no line \"" << squeezed << "\" (in this order)";
    ++at;
  }
}

}  // namespace usertest
