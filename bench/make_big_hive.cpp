// make_big_hive: writes a large, realistic hive for the benchmarks.
//
//   make_big_hive [--keys N] [--values-per-key M] [--fanout F] [--big-key K]
//                 [--seed S] OUT
//
// N keys in all (the root included). Below the root, "Big Key" holds K subkeys
// (fewer when N leaves no room) in an "ri" index root over "li" leaves; the
// other keys form a breadth-first tree in which every key has about F subkeys
// ("lf" lists). Each key has 0 to 2M values (M on average) of the usual types.
// The same arguments always give the same file.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "hive_builder.h"

namespace {

using testsupport::HiveBuilder;
using testsupport::ListKind;

// SplitMix64: tiny, fast, and the same sequence on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  uint32_t Between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(Next() % (uint64_t{high} - low + 1));
  }

 private:
  uint64_t m_state;
};

struct Options {
  uint32_t keys = 1000000;
  uint32_t valuesPerKey = 3;
  uint32_t fanout = 10;
  uint32_t bigKey = 20000;
  uint64_t seed = 1;
  const char* out = nullptr;
};

constexpr std::string_view kKeyWords[] = {
    "Microsoft", "Windows",  "CurrentVersion", "Explorer", "Services",  "Parameters",
    "Classes",   "Software", "Policies",       "Settings", "Shell",     "Extensions",
    "Control",   "Drivers",  "Components",     "Profiles", "Interface", "TypeLib",
    "Enum",      "Devices",  "Config",         "Cache",    "Options",   "Security"};
constexpr std::string_view kValueWords[] = {
    "DisplayName", "ImagePath", "Start",   "Type",      "ErrorControl", "Description",
    "Version",     "Path",      "Enabled", "Flags",     "InstallDate",  "Publisher",
    "Data",        "Count",     "Mode",    "LastWrite", "Name",         "Timeout"};
constexpr char16_t kTextChars[] =
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789    \\\\..-_%:"
    u"\u00e9\u00fc";

enum : uint32_t { kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7,
                  kRegQword = 11 };

class HiveMaker {
 public:
  explicit HiveMaker(const Options& options)
      : m_options(options), m_random(options.seed), m_builder("BigHive") {}

  void Make() {
    uint32_t made = 1;
    AddValues(m_builder.Root());
    uint32_t bigChildren = 0;
    if (m_options.keys >= 2) {
      const auto big = m_builder.AddKey(m_builder.Root(), "Big Key");
      m_builder.SetListKind(big, ListKind::kRiOfLi, 512);
      AddValues(big);
      ++made;
      bigChildren = std::min(m_options.bigKey, m_options.keys - made);
      for (uint32_t i = 0; i < bigChildren; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "{%08X-%04X-%04X-%04X-%012llX}", i,
                      m_random.Between(0, 0xFFFF), m_random.Between(0, 0xFFFF),
                      m_random.Between(0, 0xFFFF),
                      static_cast<unsigned long long>(m_random.Next() & 0xFFFFFFFFFFFFULL));
        AddValues(m_builder.AddKey(big, name));
      }
      made += bigChildren;
    }
    // Breadth first: keys are given subkeys in the order they were made, so
    // every level fills before the next one starts.
    const uint32_t low = std::max(1u, m_options.fanout / 2);
    const uint32_t high = std::max(low, m_options.fanout + m_options.fanout / 2);
    std::vector<HiveBuilder::KeyId> queue = {m_builder.Root()};
    queue.reserve(m_options.keys - bigChildren);
    for (size_t next = 0; made < m_options.keys && next < queue.size(); ++next) {
      const uint32_t children = m_random.Between(low, high);
      for (uint32_t i = 0; i < children && made < m_options.keys; ++i, ++made) {
        char name[64];
        const std::string_view word = kKeyWords[m_random.Next() % std::size(kKeyWords)];
        std::snprintf(name, sizeof name, "%.*s %u", static_cast<int>(word.size()), word.data(), i);
        const auto key = m_builder.AddKey(queue[next], name);
        AddValues(key);
        queue.push_back(key);
      }
    }
    m_keyCount = made;
  }

  HiveBuilder& Builder() { return m_builder; }
  uint32_t KeyCount() const { return m_keyCount; }
  uint64_t ValueCount() const { return m_valueCount; }

 private:
  void AppendText(uint32_t minChars, uint32_t maxChars) {
    const uint32_t chars = m_random.Between(minChars, maxChars);
    for (uint32_t i = 0; i < chars; ++i) {
      const char16_t c = kTextChars[m_random.Next() % (std::size(kTextChars) - 1)];
      m_data.push_back(static_cast<uint8_t>(c));
      m_data.push_back(static_cast<uint8_t>(c >> 8));
    }
    m_data.push_back(0);
    m_data.push_back(0);
  }

  void AppendRandomBytes(uint32_t count) {
    for (uint32_t i = 0; i < count; i += 8) {
      const uint64_t r = m_random.Next();
      for (uint32_t j = 0; j < 8 && i + j < count; ++j) {
        m_data.push_back(static_cast<uint8_t>(r >> (8 * j)));
      }
    }
  }

  // A realistic mix: mostly strings and dwords, some binaries, a few
  // multi-strings and qwords.
  uint32_t MakeData() {
    m_data.clear();
    const uint32_t roll = m_random.Between(0, 99);
    if (roll < 42) {
      AppendText(10, 80);
      return kRegSz;
    }
    if (roll < 52) {
      AppendText(10, 80);
      return kRegExpandSz;
    }
    if (roll < 72) {
      AppendRandomBytes(4);
      return kRegDword;
    }
    if (roll < 88) {
      AppendRandomBytes(m_random.Between(8, 512));
      return kRegBinary;
    }
    if (roll < 96) {
      const uint32_t items = m_random.Between(2, 5);
      for (uint32_t i = 0; i < items; ++i) AppendText(5, 30);
      m_data.push_back(0);
      m_data.push_back(0);
      return kRegMultiSz;
    }
    AppendRandomBytes(8);
    return kRegQword;
  }

  void AddValues(HiveBuilder::KeyId key) {
    const uint32_t count = m_random.Between(0, 2 * m_options.valuesPerKey);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t type = MakeData();
      if (i == 0 && m_random.Between(0, 9) == 0) {
        m_builder.AddDefaultValue(key, type, m_data);
      } else {
        char name[64];
        const std::string_view word = kValueWords[m_random.Next() % std::size(kValueWords)];
        std::snprintf(name, sizeof name, "%.*s%u", static_cast<int>(word.size()), word.data(), i);
        m_builder.AddValue(key, name, type, m_data);
      }
      ++m_valueCount;
    }
  }

  Options m_options;
  Random m_random;
  HiveBuilder m_builder;
  std::vector<uint8_t> m_data;
  uint32_t m_keyCount = 0;
  uint64_t m_valueCount = 0;
};

bool ParseNumber(const char* text, uint64_t max, uint64_t& out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value > max || text[0] == '-') return false;
  out = value;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    uint64_t value = 0;
    if (arg.starts_with("--")) {
      if (i + 1 >= argc) return false;
      const char* text = argv[++i];
      if (arg == "--seed") {
        if (!ParseNumber(text, UINT64_MAX, options.seed)) return false;
        continue;
      }
      if (!ParseNumber(text, 100000000, value)) return false;
      const auto v = static_cast<uint32_t>(value);
      if (arg == "--keys" && v >= 1) {
        options.keys = v;
      } else if (arg == "--values-per-key") {
        options.valuesPerKey = v;
      } else if (arg == "--fanout" && v >= 1) {
        options.fanout = v;
      } else if (arg == "--big-key" && v <= 0xFFFF * 512u) {
        options.bigKey = v;
      } else {
        return false;
      }
    } else if (options.out == nullptr) {
      options.out = argv[i];
    } else {
      return false;
    }
  }
  return options.out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: make_big_hive [--keys N] [--values-per-key M] [--fanout F] "
                 "[--big-key K] [--seed S] OUT\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  HiveMaker maker(options);
  maker.Make();
  const auto described = std::chrono::steady_clock::now();
  const std::vector<uint8_t>& image = maker.Builder().Build();
  const auto built = std::chrono::steady_clock::now();
  if (!maker.Builder().WriteTo(options.out)) {
    std::fprintf(stderr, "make_big_hive: cannot write %s\n", options.out);
    return 1;
  }
  const auto written = std::chrono::steady_clock::now();
  const auto ms = [](auto from, auto to) {
    return static_cast<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
  };
  std::printf("%s: %u keys, %llu values, %zu bytes (describe %lld ms, build %lld ms, write %lld ms)\n",
              options.out, maker.KeyCount(), static_cast<unsigned long long>(maker.ValueCount()),
              image.size(), ms(start, described), ms(described, built), ms(built, written));
  return 0;
}
