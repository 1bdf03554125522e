// Every value of every key of the real hives, compared with what the peer
// hivex reads from the same files: name, type, data length, data bytes, and
// for types 1 to 4 the whole row, built by hivex_values.py from hivex's data.
// The newer hives (version 1.5, big data among them) are opened anyway, and
// keyloom-dump --open-anyway --values prints the same rows, while the strict
// keyloom-dump refuses them with their version.
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
#include "recovery/open_anyway.h"
#include "run_process.h"
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

// Keyloom ends a name at its first NUL; hivex keeps what follows.
std::string UpToNul(const std::string& name) { return name.substr(0, name.find('\0')); }

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
      key.name = UpToNul(FromHex(name));
      keys.push_back(key);
    } else {
      PeerValue value;
      std::string name;
      std::string row;
      lines >> name >> value.type >> value.length >> value.dataHex >> row;
      value.name = UpToNul(FromHex(name));
      value.hasRow = row != "-";
      value.rowTail = FromHex(row);
      keys.back().values.push_back(value);
    }
  }
  return keys;
}

struct SharedHive {
  std::string folder;
  std::string name;
  bool openAnyway = false;  // a newer hive, opened the wider way
  std::string Path() const { return folder + "/" + name; }
};

// The minor format version of a major version 1 hive; 0 for any other file.
uint32_t MinorVersionOf(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::array<uint8_t, 28> head{};
  file.read(reinterpret_cast<char*>(head.data()), head.size());
  return head[20] == 1 ? head[24] : 0;
}

// The hives of a folder, in name order, those of version 1.4 to 1.6 opened anyway.
void AddHives(const std::string& folder, const std::vector<std::string>& leftOut,
              std::vector<SharedHive>& hives) {
  std::vector<SharedHive> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const uint32_t minor = MinorVersionOf(entry.path());
    if (minor < 3 || minor > 6 || std::find(leftOut.begin(), leftOut.end(), name) != leftOut.end()) {
      continue;
    }
    found.push_back({folder, name, minor != 3});
  }
  std::sort(found.begin(), found.end(), [](const SharedHive& a, const SharedHive& b) { return a.name < b.name; });
  hives.insert(hives.end(), found.begin(), found.end());
}

// The hives of the shared folder, without the two whose damage makes hivex
// read less of them than Keyloom shows; then every newer hive.
std::vector<SharedHive> ComparableHives() {
  std::vector<SharedHive> hives;
  AddHives(KEYLOOM_SHARED_HIVES, {"ezregistry__SAMBadHBinHeader", "plaso__corrupt_sub_key_list.hiv"}, hives);
  AddHives(KEYLOOM_NEWER_HIVES, {}, hives);
  return hives;
}

// The rows of keyloom-dump --values output ("= " lines), unescaped, in order.
std::vector<std::string> DumpedRows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, 2, "= ") != 0) continue;
    std::string row;
    for (size_t i = start + 2; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        row += line[i];
        continue;
      }
      const char kind = line[++i];
      if (kind == 'n') row += '\n';
      else if (kind == 'r') row += '\r';
      else if (kind == 't') row += '\t';
      else if (kind == 'x') {
        row += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        row += kind;
      }
    }
    rows.push_back(row);
  }
  return rows;
}

struct RowRecorder final : values::KeySelection, values::ValueTable {
  int32_t position = -1;
  std::vector<std::string> rows;
  int32_t SelectedItemPosition() const override { return position; }
  void RemoveAllRows() override { rows.clear(); }
  void AddRow(std::string_view text) override { rows.emplace_back(text); }
};

class RealHive : public testing::TestWithParam<SharedHive> {};

TEST_P(RealHive, EveryValueMatchesHivex) {
  const std::string path = GetParam().Path();
  const auto peer = testsupport::RunProcess({"/usr/bin/python3", KEYLOOM_HIVEX_VALUES, path});
  if (peer.exitStatus == 77) GTEST_SKIP() << "python3-hivex is not installed";
  ASSERT_EQ(peer.exitStatus, 0) << peer.err;
  const std::vector<PeerKey> peerKeys = ParsePeer(peer.out);

  std::string reason;
  auto hive = GetParam().openAnyway ? recovery::OpenHiveAnyway(path, &reason) : hive::OpenHive(path, &reason);
  ASSERT_TRUE(hive) << reason;
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildSignals signals;
  ASSERT_EQ(tree::BuildKeyTree(keys, index, *hive, signals), tree::BuildOutcome::kComplete);
  ASSERT_EQ(keys.Size(), static_cast<int32_t>(peerKeys.size()));

  RowRecorder recorder;
  std::vector<uint8_t> data;
  std::vector<std::string> allRows;
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
    allRows.insert(allRows.end(), recorder.rows.begin(), recorder.rows.end());

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
  std::cout << GetParam().name << ": " << keys.Size() << " keys, " << valuesCompared
            << " values compared\n";

  if (!GetParam().openAnyway) return;
  const auto dump = testsupport::RunProcess({KEYLOOM_DUMP, "--open-anyway", "--values", path});
  EXPECT_EQ(dump.exitStatus, 0) << dump.err;
  EXPECT_EQ(dump.err, "keyloom-dump: " + path + ": version 1.5\n");
  EXPECT_EQ(DumpedRows(dump.out), allRows);
  const auto strict = testsupport::RunProcess({KEYLOOM_DUMP, "--values", path});
  EXPECT_EQ(strict.exitStatus, 1);
  EXPECT_EQ(strict.out, "");
  EXPECT_EQ(strict.err, "keyloom-dump: " + path + ": is format version 1.5; Keyloom reads version 1.3\n");
}

INSTANTIATE_TEST_SUITE_P(SharedHives, RealHive, testing::ValuesIn(ComparableHives()),
                         [](const testing::TestParamInfo<SharedHive>& param) {
                           std::string name = (param.param.openAnyway ? "newer_" : "") + param.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
