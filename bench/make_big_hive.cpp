// make_big_hive: writes a large, realistic hive for the benchmarks.
//
//   make_big_hive [--keys N] [--values-per-key M] [--fanout F] [--big-key K]
//                 [--free-percent P] [--seed S] OUT
//
// N keys in all (the root included). Below the root, "Big Key" holds K subkeys
// (fewer when N leaves no room) in an "ri" index root over "li" leaves; the
// other keys form a breadth-first tree in which every key has about F subkeys
// ("lf" lists). Each key has 0 to 2M values (M on average) of the usual types.
// With --free-percent, about P% of the keys and of the values are then deleted
// as Windows deletes them: taken off the end of their parent's subkey list or
// their key's value list (their entries stay in the list's slack), their
// cells freed, their records left in place (see FreeShare).
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
#include <utility>
#include <vector>

#include "hive/format.h"
#include "hive/little_endian.h"
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
  uint32_t freePercent = 0;
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
    m_made.resize(1);
    AddValues(m_builder.Root());
    uint32_t bigChildren = 0;
    if (m_options.keys >= 2) {
      const auto big = NewKey(m_builder.Root(), "Big Key");
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
        AddValues(NewKey(big, name));
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
        const auto key = NewKey(queue[next], name);
        AddValues(key);
        queue.push_back(key);
      }
    }
    m_keyCount = made;
  }

  // After Build(): deletes about percent % of the keys (leaves at the end of
  // their parent's list) and of the remaining keys' values (at the end of the
  // list), leaving their records in freed cells. Returns the keys and values
  // deleted.
  std::pair<uint32_t, uint64_t> FreeShare(uint32_t percent) {
    uint32_t keys = 0;
    uint64_t values = 0;
    std::vector<bool> deleted(m_made.size(), false);
    for (size_t parent = 0; parent < m_made.size(); ++parent) {
      const Made& p = m_made[parent];
      uint32_t drop = p.consecutive ? Share(p.children, percent) : 0;
      for (uint32_t last = p.children; drop > 0 && last > 0; --drop, --last) {
        const auto child = p.firstChild + static_cast<HiveBuilder::KeyId>(last - 1);
        if (m_made[static_cast<size_t>(child)].children != 0 ||
            !DropLastSubkey(static_cast<HiveBuilder::KeyId>(parent))) {
          break;
        }
        FreeKeyCells(child);
        deleted[static_cast<size_t>(child)] = true;
        ++keys;
      }
    }
    for (size_t key = 0; key < m_made.size(); ++key) {
      if (deleted[key]) continue;
      Made& k = m_made[key];
      for (uint32_t drop = Share(k.values, percent); drop > 0; --drop, ++values) {
        --k.values;
        m_builder.PatchU32(m_builder.KeyOffset(static_cast<HiveBuilder::KeyId>(key)) + hive::key_node::kValueCount,
                           k.values);
        FreeValueCells(k.firstValue + static_cast<HiveBuilder::ValueId>(k.values));
      }
    }
    return {keys, values};
  }

  HiveBuilder& Builder() { return m_builder; }
  uint32_t KeyCount() const { return m_keyCount; }
  uint64_t ValueCount() const { return m_valueCount; }

 private:
  // What was made of each key: its children and values are consecutive ids.
  struct Made {
    HiveBuilder::KeyId firstChild = 0;
    uint32_t children = 0;
    HiveBuilder::ValueId firstValue = 0;
    uint32_t values = 0;
    bool consecutive = true;  // the children's ids
  };

  HiveBuilder::KeyId NewKey(HiveBuilder::KeyId parent, const char* name) {
    const auto key = m_builder.AddKey(parent, name);
    Made& p = m_made[static_cast<size_t>(parent)];
    if (p.children == 0) p.firstChild = key;
    // The root's children are not: the big key's children come between them.
    p.consecutive = p.consecutive && key == p.firstChild + static_cast<HiveBuilder::KeyId>(p.children);
    ++p.children;
    m_made.resize(static_cast<size_t>(key) + 1);
    return key;
  }

  // About percent % of count, the fraction rounded at random.
  uint32_t Share(uint32_t count, uint32_t percent) {
    const uint64_t scaled = uint64_t{count} * percent;
    return static_cast<uint32_t>(scaled / 100 + (m_random.Between(0, 99) < scaled % 100 ? 1 : 0));
  }

  // Takes the last entry off the key's subkey list (the last leaf list of an
  // index root) and its subkey count; false when that list is empty.
  bool DropLastSubkey(HiveBuilder::KeyId key) {
    const std::vector<uint32_t> leaves = m_builder.LeafListOffsets(key);
    const uint32_t list = leaves.empty() ? m_builder.SubkeyListOffset(key) : leaves.back();
    const uint8_t* image = m_builder.Bytes().data();
    const uint16_t entries = hive::LoadU16(image + list + hive::subkey_list::kCount);
    if (entries == 0) return false;
    const uint32_t node = m_builder.KeyOffset(key);
    m_builder.PatchU32(node + hive::key_node::kSubkeyCount, hive::LoadU32(image + node + hive::key_node::kSubkeyCount) - 1);
    m_builder.PatchU16(list + hive::subkey_list::kCount, static_cast<uint16_t>(entries - 1));
    return true;
  }

  void FreeKeyCells(HiveBuilder::KeyId key) {
    m_builder.FreeCells(m_builder.KeyOffset(key), m_builder.KeyOffset(key));
    const Made& k = m_made[static_cast<size_t>(key)];
    if (k.values == 0) return;
    m_builder.FreeCells(m_builder.ValueListOffset(key), m_builder.ValueListOffset(key));
    for (uint32_t i = 0; i < k.values; ++i) FreeValueCells(k.firstValue + static_cast<HiveBuilder::ValueId>(i));
  }

  void FreeValueCells(HiveBuilder::ValueId value) {
    m_builder.FreeCells(m_builder.ValueOffset(value), m_builder.ValueOffset(value));
    if (const uint32_t data = m_builder.DataOffset(value); data != 0) m_builder.FreeCells(data, data);
  }

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
    Made& made = m_made[static_cast<size_t>(key)];
    made.values = count;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t type = MakeData();
      HiveBuilder::ValueId value = 0;
      if (i == 0 && m_random.Between(0, 9) == 0) {
        value = m_builder.AddDefaultValue(key, type, m_data);
      } else {
        char name[64];
        const std::string_view word = kValueWords[m_random.Next() % std::size(kValueWords)];
        std::snprintf(name, sizeof name, "%.*s%u", static_cast<int>(word.size()), word.data(), i);
        value = m_builder.AddValue(key, name, type, m_data);
      }
      if (i == 0) made.firstValue = value;
      ++m_valueCount;
    }
  }

  Options m_options;
  Random m_random;
  HiveBuilder m_builder;
  std::vector<Made> m_made;  // by key id
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
      } else if (arg == "--free-percent" && v <= 100) {
        options.freePercent = v;
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
                 "[--big-key K] [--free-percent P] [--seed S] OUT\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  HiveMaker maker(options);
  maker.Make();
  const auto described = std::chrono::steady_clock::now();
  const std::vector<uint8_t>& image = maker.Builder().Build();
  const auto [freedKeys, freedValues] =
      options.freePercent != 0 ? maker.FreeShare(options.freePercent) : std::pair<uint32_t, uint64_t>{};
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
  std::printf("%s: %u keys, %llu values, %zu bytes, %u keys and %llu values deleted "
              "(describe %lld ms, build %lld ms, write %lld ms)\n",
              options.out, maker.KeyCount(), static_cast<unsigned long long>(maker.ValueCount()), image.size(),
              freedKeys, static_cast<unsigned long long>(freedValues), ms(start, described), ms(described, built),
              ms(built, written));
  return 0;
}
