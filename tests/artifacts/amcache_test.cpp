// The Amcache artifact: entries of both layouts in a built hive, and the real
// Amcache.hve against RegRipper's amcache plugin, run at test time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "decoded_hive.h"
#include "hive_builder.h"
#include "run_process.h"
#include "sam_amcache_test_support.h"

namespace {

using artifacts::ArtifactRow;
using artifacts::Cell;
using samtest::Integer;
using samtest::Text;
using samtest::Time;
using testsupport::DecodedHive;
using testsupport::HiveBuilder;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;
constexpr uint64_t kBuilderTime = 132223104000000000ULL;  // every built key's last-written time

Bytes Utf16z(std::string_view ascii) {
  Bytes bytes;
  for (const char c : ascii) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

Bytes Dword(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

struct Entry {
  const char* key;
  std::vector<std::pair<const char*, std::string>> texts;
  std::vector<std::pair<const char*, uint32_t>> dwords;
};

std::vector<uint8_t> BuiltAmcache(const std::vector<Entry>& inventory, const std::vector<Entry>& files) {
  HiveBuilder builder("{11517B7C-E79D-4e20-961B-75A811715ADD}");
  const HiveBuilder::KeyId root = builder.AddKey(builder.Root(), "Root");
  const auto add = [&](HiveBuilder::KeyId parent, const Entry& entry) {
    const HiveBuilder::KeyId key = builder.AddKey(parent, entry.key);
    for (const auto& [name, text] : entry.texts) builder.AddValue(key, name, kRegSz, Utf16z(text));
    for (const auto& [name, number] : entry.dwords) builder.AddValue(key, name, kRegDword, Dword(number));
  };
  const HiveBuilder::KeyId inventoryKey = builder.AddKey(root, "InventoryApplicationFile");
  for (const Entry& entry : inventory) add(inventoryKey, entry);
  const HiveBuilder::KeyId volume =
      builder.AddKey(builder.AddKey(root, "File"), "ccbe4c57-0000-0000-0000-100000000000");
  for (const Entry& entry : files) add(volume, entry);
  builder.AddKey(root, "Programs");
  return builder.Build();
}

TEST(Amcache, BuiltEntriesOfBothLayouts) {
  const std::vector<Entry> inventory{
      {"app.exe|1",
       {{"LowerCaseLongPath", "c:\\tools\\app.exe"},
        {"FileId", "0000186fef64c415af7d11986c7254db81ef65549ebc"},
        {"Size", "0x7fac0"},
        {"Version", "1.2.3.4"},
        {"BinFileVersion", "9.9"},
        {"Publisher", "Contoso"},
        {"LinkDate", "08/03/2017 11:34:09"}},
       {}},
      {"odd.exe|2",
       {{"LowerCaseLongPath", "c:\\odd.exe"},
        {"Size", "lots"},
        {"BinFileVersion", "5.6"},
        {"LinkDate", "13/45/2017 99:00:00"}},
       {}},
  };
  const std::vector<Entry> files{
      {"100001605a",
       {{"15", "c:\\temp\\setup64.exe"},
        {"101", "0000e992f0c2aa48b763b5f7109ea16b8f800436c27e"},
        {"5", "10.1.6.5214329"},
        {"2", "10.1.6"},
        {"1", "VMware, Inc."}},
       {{"6", 0x036b23c8}, {"f", 0x58cbf424}}},
      {"2000", {{"15", "d:\\x.exe"}, {"101", "e992"}, {"2", "2.0"}}, {}},
  };
  const DecodedHive hive(BuiltAmcache(inventory, files), "Amcache.hve");
  ASSERT_EQ(hive.Kind(), artifacts::HiveKind::kAmcache);
  const std::vector<ArtifactRow> rows = hive.Decode("amcache");
  ASSERT_EQ(rows.size(), 4u);
  const struct {
    const char* path;
    const char* sha1;
    std::optional<int64_t> size;
    const char* version;
    const char* publisher;
    uint64_t linkDate;
    const char* problem;
  } cases[] = {
      {"c:\\tools\\app.exe", "186fef64c415af7d11986c7254db81ef65549ebc", 0x7fac0, "1.2.3.4", "Contoso",
       131462336490000000ULL, ""},  // 2017-08-03 11:34:09 UTC
      {"c:\\odd.exe",
       "",
       {},
       "5.6",
       "",
       0,
       "Size is not a number; LinkDate \"13/45/2017 99:00:00\" is not MM/DD/YYYY HH:MM:SS"},
      {"c:\\temp\\setup64.exe", "e992f0c2aa48b763b5f7109ea16b8f800436c27e", 0x036b23c8, "10.1.6.5214329",
       "VMware, Inc.", 131342349160000000ULL, ""},  // 2017-03-17 14:35:16 UTC
      {"d:\\x.exe", "e992", {}, "2.0", "", 0, ""},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const ArtifactRow& row = rows[i];
    const auto& c = cases[i];
    EXPECT_EQ(Text(row.cells[0]), c.path) << i;
    EXPECT_EQ(Text(row.cells[1]), c.sha1) << i;
    EXPECT_EQ(Integer(row.cells[2]), c.size) << i;
    EXPECT_EQ(Text(row.cells[3]), c.version) << i;
    EXPECT_EQ(Text(row.cells[4]), c.publisher) << i;
    EXPECT_EQ(Time(row.cells[5]), c.linkDate) << i;
    EXPECT_EQ(Time(row.cells[6]), kBuilderTime) << i;
    EXPECT_EQ(row.problem, c.problem) << i;
  }
}

// --- The real Amcache.hve against RegRipper's amcache plugin

std::string RipperTime(uint64_t fileTime) {
  return fileTime == 0 ? "" : samtest::UtcText(fileTime, "%Y-%m-%d %H:%M:%SZ");
}

std::string AfterColon(const std::string& line) {
  const size_t colon = line.find(": ");
  return colon == std::string::npos ? std::string() : line.substr(colon + 2);
}

// The plugin's entries, each as one line of facts:
// InventoryApplicationFile "path|sha1|last written"; File
// "reference|path|sha1|company|compile time|last written". Its File SHA-1
// keeps the leading "0000" (stripped here: Keyloom shows the SHA-1 alone).
struct RipperEntries {
  std::vector<std::string> inventory;
  std::vector<std::string> files;
};

RipperEntries ParseAmcachePlugin(const std::string& output) {
  RipperEntries entries;
  std::istringstream lines(output);
  std::string section;
  std::string line;
  std::map<std::string, std::string> file;
  const auto finishFile = [&] {
    if (file.empty()) return;
    std::string sha1 = file["SHA-1"];
    if (sha1.starts_with("0000")) sha1.erase(0, 4);
    entries.files.push_back(file["File Reference"] + "|" + file["Path"] + "|" + sha1 + "|" + file["Company Name"] +
                            "|" + file["Compile Time"] + "|" + file["LastWrite"]);
    file.clear();
  };
  std::string pending;  // "path|" and "|last written" of an entry waiting for its "Hash:" line
  std::string pendingTime;
  while (std::getline(lines, line)) {
    if (line.starts_with("***")) {
      finishFile();
      section = line;
    } else if (section == "***InventoryApplicationFile***") {
      const size_t lastWrite = line.find("  LastWrite: ");
      if (lastWrite != std::string::npos) {
        pending = line.substr(0, lastWrite);
        pendingTime = line.substr(lastWrite + 13);
      } else if (line.starts_with("Hash: ")) {
        entries.inventory.push_back(pending + "|" + line.substr(6) + "|" + pendingTime);
      }
    } else if (section == "***Files***") {
      if (line.starts_with("File Reference")) finishFile();
      const size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::string label = line.substr(0, colon);
        label.erase(label.find_last_not_of(' ') + 1);
        file.emplace(label, AfterColon(line));
      }
    }
  }
  finishFile();
  std::sort(entries.inventory.begin(), entries.inventory.end());
  std::sort(entries.files.begin(), entries.files.end());
  return entries;
}

RipperEntries KeyloomAsPlugin(const DecodedHive& hive) {
  RipperEntries ours;
  for (const ArtifactRow& row : hive.Decode("amcache")) {
    const std::string path = hive.Keys().Path(row.key);
    const std::string lastWrite = RipperTime(Time(row.cells[6]));
    if (path.starts_with("Root\\InventoryApplicationFile\\")) {
      ours.inventory.push_back(Text(row.cells[0]) + "|" + Text(row.cells[1]) + "|" + lastWrite);
    } else {
      ours.files.push_back(std::string(hive.Keys().Name(row.key)) + "|" + Text(row.cells[0]) + "|" +
                           Text(row.cells[1]) + "|" + Text(row.cells[4]) + "|" + RipperTime(Time(row.cells[5])) + "|" +
                           lastWrite);
    }
  }
  std::sort(ours.inventory.begin(), ours.inventory.end());
  std::sort(ours.files.begin(), ours.files.end());
  return ours;
}

TEST(Amcache, RealHiveAgreesWithTheAmcachePlugin) {
  const std::string path = KEYLOOM_MORE_HIVES "/artifacts/plaso__Amcache.hve";
  const DecodedHive hive(path);
  ASSERT_TRUE(hive.Opened());
  const RipperEntries ours = KeyloomAsPlugin(hive);
  EXPECT_EQ(ours.inventory.size(), 247u);
  EXPECT_EQ(ours.files.size(), 1120u);
  if (!std::filesystem::exists("/usr/bin/regripper")) GTEST_SKIP() << "regripper is not installed";
  const RipperEntries theirs =
      ParseAmcachePlugin(testsupport::RunProcess({"/usr/bin/regripper", "-r", path, "-p", "amcache"}).out);
  EXPECT_EQ(ours.inventory, theirs.inventory);
  EXPECT_EQ(ours.files, theirs.files);
}

// Facts the plugin does not show, read once with hivex: the size of
// jetlauncher64c.exe ("Size" is the text "0x7fac0" there) and the file
// version and size (values 5 and 6) of setup64.exe.
TEST(Amcache, RealHiveSizesAndVersions) {
  const DecodedHive hive(KEYLOOM_MORE_HIVES "/artifacts/plaso__Amcache.hve");
  std::map<std::string, const ArtifactRow*> byPath;
  const std::vector<ArtifactRow> rows = hive.Decode("amcache");
  for (const ArtifactRow& row : rows) byPath[Text(row.cells[0])] = &row;
  const ArtifactRow* jet =
      byPath["c:\\users\\user\\appdata\\local\\jetbrains\\installations\\dotpeek08\\jetlauncher64c.exe"];
  ASSERT_NE(jet, nullptr);
  EXPECT_EQ(Integer(jet->cells[2]), 0x7fac0);
  const ArtifactRow* setup = byPath["c:\\users\\user\\appdata\\local\\temp\\vmware-user\\000052fe\\setup64.exe"];
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(Integer(setup->cells[2]), 0x036b23c8);
  EXPECT_EQ(Text(setup->cells[3]), "10.1.6.5214329");
  for (const ArtifactRow& row : rows) EXPECT_EQ(row.problem, "") << Text(row.cells[0]);
}

}  // namespace
