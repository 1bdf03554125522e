#pragma once
// Helpers of the NTUSER and SOFTWARE artifact tests: hives built by key path,
// value data written byte by byte, cells read back, and RegRipper (a peer)
// run on a hive, its output cut into lines to compare with.

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
#include "run_process.h"

namespace usertest {

using testsupport::HiveBuilder;

constexpr uint32_t kSz = 1;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;
constexpr uint32_t kQword = 11;

// value's low `bytes` bytes, little-endian.
inline std::vector<uint8_t> Le(uint64_t value, size_t bytes) {
  std::vector<uint8_t> out(bytes);
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

// ASCII text as UTF-16LE with its terminating NUL, as Windows writes REG_SZ.
inline std::vector<uint8_t> Utf16(std::string_view ascii) {
  std::vector<uint8_t> out;
  for (const char c : ascii) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  out.insert(out.end(), {0, 0});
  return out;
}

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

// A HiveBuilder whose keys are made on first mention of their path.
class PathBuilder {
 public:
  HiveBuilder::KeyId Key(std::string_view path) {
    HiveBuilder::KeyId key = m_builder.Root();
    std::string done;
    while (!path.empty()) {
      const size_t cut = path.find('\\');
      const std::string_view name = path.substr(0, cut);
      done += std::string(name) + "\\";
      const auto made = m_keys.find(done);
      key = made != m_keys.end() ? made->second : m_keys.emplace(done, m_builder.AddKey(key, name)).first->second;
      path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
    }
    return key;
  }
  void Sz(std::string_view path, std::string_view name, std::string_view text) {
    m_builder.AddValue(Key(path), name, kSz, Utf16(text));
  }
  void Dword(std::string_view path, std::string_view name, uint32_t value) {
    m_builder.AddValue(Key(path), name, kDword, Le(value, 4));
  }
  void Data(std::string_view path, std::string_view name, uint32_t type, const std::vector<uint8_t>& data) {
    m_builder.AddValue(Key(path), name, type, data);
  }
  const std::vector<uint8_t>& Build() { return m_builder.Build(); }

 private:
  HiveBuilder m_builder;
  std::map<std::string, HiveBuilder::KeyId> m_keys;
};

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
