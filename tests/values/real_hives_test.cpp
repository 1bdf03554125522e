// Every value of every key of the real hives, compared with what the peer
// hivex reads from the same files: name, type, data length, data bytes, and
// for types 1 to 4 the whole row, built by hivex_values.py from hivex's data.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "built_hive.h"
#include "hive/hive_file.h"
#include "hive/key_node.h"
#include "hive/value.h"
#include "run_process.h"
#include "shared_hives.h"
#include "tree/build_key_tree.h"
#include "values/show_key_values.h"

namespace {

struct PeerValue {
  std::string name;
  uint32_t type = 0;
  uint32_t length = 0;
  std::string dataHex;
  std::string rowTail;  // the row after its name column; empty when not built
  bool hasRow = false;
};

struct PeerKey {
  int32_t depth = 0;
  std::string name;
  std::vector<PeerValue> values;
};

std::string FromHex(const std::string& hex) {
  if (hex == "-") return {};
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

// The peer writes "-" for no bytes.
std::string ToHex(std::span<const uint8_t> bytes) {
  return bytes.empty() ? "-" : valuetests::Hex(bytes);
}

std::vector<PeerKey> ParsePeer(const std::string& text) {
  std::vector<PeerKey> keys;
  std::istringstream lines(text);
  std::string kind;
  while (lines >> kind) {
    if (kind == "K") {
      PeerKey key;
      std::string name;
      lines >> key.depth >> name;
      key.name = FromHex(name);
      keys.push_back(key);
    } else {
      PeerValue value;
      std::string name;
      std::string row;
      lines >> name >> value.type >> value.length >> value.dataHex >> row;
      value.name = FromHex(name);
      value.hasRow = row != "-";
      value.rowTail = FromHex(row);
      keys.back().values.push_back(value);
    }
  }
  return keys;
}

std::vector<std::string> ComparableHives() { return testsupport::ComparableHives(KEYLOOM_SHARED_HIVES); }

struct RowRecorder final : values::KeySelection, values::ValueTable {
  int32_t position = -1;
  std::vector<std::string> rows;
  int32_t SelectedItemPosition() const override { return position; }
  void RemoveAllRows() override { rows.clear(); }
  void AddRow(std::string_view text) override { rows.emplace_back(text); }
};

class RealHive : public testing::TestWithParam<std::string> {};

TEST_P(RealHive, EveryValueMatchesHivex) {
  const std::string path = std::string(KEYLOOM_SHARED_HIVES) + "/" + GetParam();
  const auto peer = testsupport::RunProcess({"/usr/bin/python3", KEYLOOM_HIVEX_VALUES, path});
  if (peer.exitStatus == 77) GTEST_SKIP() << "python3-hivex is not installed";
  ASSERT_EQ(peer.exitStatus, 0) << peer.err;
  const std::vector<PeerKey> peerKeys = ParsePeer(peer.out);

  auto hive = hive::OpenHive(path);
  ASSERT_TRUE(hive);
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  ASSERT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
  ASSERT_EQ(keys.Size(), static_cast<int32_t>(peerKeys.size()));

  RowRecorder recorder;
  std::vector<uint8_t> data;
  int valuesCompared = 0;
  for (int32_t position = 0; position < keys.Size(); ++position) {
    const PeerKey& expected = peerKeys[static_cast<size_t>(position)];
    hive::KeyNode key;
    hive::ReadKeyNode(*hive, *index.Find(position), key);
    ASSERT_EQ(keys.Depth(position), expected.depth) << "key " << position;
    ASSERT_EQ(hive::GetKeyName(*hive, key), expected.name) << "key " << position;

    recorder.position = position;
    values::ShowKeyValues(*hive, index, recorder, recorder);
    ASSERT_EQ(recorder.rows.size(), expected.values.size()) << "key " << expected.name;

    hive::ValueList list;
    ASSERT_EQ(hive::GetValueList(*hive, key, list), static_cast<int32_t>(expected.values.size()));
    for (size_t i = 0; i < expected.values.size(); ++i) {
      const PeerValue& want = expected.values[i];
      SCOPED_TRACE("key " + expected.name + ", value " + std::to_string(i));
      hive::ValueRecord value;
      hive::ValueFetch fetch = hive::ValueFetch::kOutOfRange;
      const uint32_t type = hive::GetValue(*hive, list, static_cast<int32_t>(i), value, &fetch);
      ASSERT_EQ(fetch, hive::ValueFetch::kFetched);
      const std::string name = hive::GetValueName(*hive, value);
      // hivex names the default value and an unnamed value alike: "".
      if (want.name.empty()) {
        EXPECT_TRUE(name.empty() || name == "{default}") << name;
      } else {
        EXPECT_EQ(name, want.name);
      }
      EXPECT_EQ(type, want.type);
      EXPECT_EQ(hive::GetValueDataLength(*hive, value), want.length);
      EXPECT_EQ(ToHex(hive::TakeValueData(*hive, value, data)), want.dataHex);
      if (want.hasRow) {
        EXPECT_EQ(recorder.rows[i], name + want.rowTail);
      }
      ++valuesCompared;
    }
  }
  std::cout << GetParam() << ": " << keys.Size() << " keys, " << valuesCompared
            << " values compared\n";
}

INSTANTIATE_TEST_SUITE_P(SharedHives, RealHive, testing::ValuesIn(ComparableHives()),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
