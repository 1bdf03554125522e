#pragma once
// PathBuilder: a HiveBuilder whose keys are made on first mention of their
// path ("Software\\Microsoft\\..."), for the artifact tests and the hive
// fuzzer's seeds, with the value data Windows writes for REG_SZ and REG_DWORD.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hive_builder.h"

namespace testsupport {

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
  HiveBuilder::ValueId Sz(std::string_view path, std::string_view name, std::string_view text) {
    return m_builder.AddValue(Key(path), name, kSz, Utf16(text));
  }
  HiveBuilder::ValueId Dword(std::string_view path, std::string_view name, uint32_t value) {
    return m_builder.AddValue(Key(path), name, kDword, Le(value, 4));
  }
  HiveBuilder::ValueId Data(std::string_view path, std::string_view name, uint32_t type,
                            const std::vector<uint8_t>& data) {
    return m_builder.AddValue(Key(path), name, type, data);
  }
  const std::vector<uint8_t>& Build() { return m_builder.Build(); }
  // The builder itself: offsets and patches after Build().
  HiveBuilder& Builder() { return m_builder; }

 private:
  HiveBuilder m_builder;
  std::map<std::string, HiveBuilder::KeyId> m_keys;
};

}  // namespace testsupport
