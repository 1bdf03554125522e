// The SYSTEM artifacts. Real hives are the oracles where they hold an
// artifact: dfwinreg-14bc0f1__SYSTEM (Windows XP) and regipy__SYSTEM_2
// (Windows 8.1), compared at test time with RegRipper's plugins (compname,
// timezone, shutdown, services, svc, usb, mountdev2, appcompatcache), whose
// text the tests parse; without RegRipper those tests are skipped. Where
// Keyloom differs from RegRipper on purpose, the test says why. What no shared
// hive holds (BAM, USB storage with its property store, damaged values) is
// built with HiveBuilder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decoded_hive.h"
#include "hive/key_details.h"
#include "hive_builder.h"
#include "run_process.h"

namespace {

using artifacts::ArtifactRow;
using artifacts::Cell;
using testsupport::DecodedHive;
using testsupport::HiveBuilder;

const char* const kXpHive = KEYLOOM_MORE_HIVES "/artifacts/dfwinreg-14bc0f1__SYSTEM";
const char* const k81Hive = KEYLOOM_MORE_HIVES "/artifacts/regipy__SYSTEM_2";
const char* const kRegRipper = "/usr/bin/regripper";

const DecodedHive& Opened(const char* path) {
  static std::map<std::string, std::unique_ptr<DecodedHive>> hives;
  auto& hive = hives[path];
  if (!hive) hive = std::make_unique<DecodedHive>(path);
  return *hive;
}

// RegRipper's report of plugin on hive, one string per line.
std::vector<std::string> RegRipperLines(const char* hive, const char* plugin) {
  const testsupport::ProcessResult result = testsupport::RunProcess({kRegRipper, "-r", hive, "-p", plugin});
  EXPECT_EQ(result.exitStatus, 0) << plugin << ": " << result.err;
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

#define SKIP_WITHOUT_REGRIPPER() \
  if (::access(kRegRipper, X_OK) != 0) GTEST_SKIP() << "RegRipper is not installed"

// --- Cells as text, for comparing.

std::string Text(const Cell& cell) {
  const auto* text = std::get_if<std::string>(&cell);
  return text ? *text : std::string();
}

std::optional<int64_t> Integer(const Cell& cell) {
  const auto* number = std::get_if<int64_t>(&cell);
  return number ? std::optional<int64_t>(*number) : std::nullopt;
}

uint64_t FileTimeOf(const Cell& cell) {
  const auto* time = std::get_if<artifacts::FileTime>(&cell);
  return time ? time->value : 0;
}

// "2012-10-24 18:18:48", as RegRipper writes most times; empty for no time.
std::string TimeText(const Cell& cell) {
  const uint64_t time = FileTimeOf(cell);
  if (time == 0) return {};
  const std::string text = hive::FormatFileTime(time);
  return text.substr(0, text.size() - 4);
}

// "Sat Dec 12 03:28:23 2015", as RegRipper's services plugin writes a time.
std::string CTimeText(uint64_t fileTime) {
  const auto seconds = static_cast<time_t>(fileTime / 10'000'000 - 11'644'473'600);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &utc);
  return text;
}

// The text after marker in the first line holding it.
std::string ValueAfter(const std::vector<std::string>& lines, const std::string& marker) {
  for (const std::string& line : lines) {
    const size_t at = line.find(marker);
    if (at != std::string::npos) return line.substr(at + marker.size());
  }
  ADD_FAILURE() << "RegRipper wrote no line with " << marker;
  return {};
}

std::string KeyPath(const DecodedHive& hive, const ArtifactRow& row) { return hive.Keys().Path(row.key); }

TEST(SystemArtifacts, ComputerNameTimeZoneAndShutdownAgreeWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  for (const char* path : {kXpHive, k81Hive}) {
    SCOPED_TRACE(path);
    const DecodedHive& hive = Opened(path);
    ASSERT_EQ(hive.Kind(), artifacts::HiveKind::kSystem);

    const auto name = hive.Decode("computername");
    ASSERT_EQ(name.size(), 1u);
    EXPECT_EQ(KeyPath(hive, name[0]), "ControlSet001\\Control\\ComputerName\\ComputerName");
    EXPECT_EQ(Text(name[0].cells[0]), ValueAfter(RegRipperLines(path, "compname"), "ComputerName    = "));

    const auto zone = hive.Decode("timezone");
    ASSERT_EQ(zone.size(), 1u);
    const auto zoneLines = RegRipperLines(path, "timezone");
    EXPECT_EQ(Text(zone[0].cells[0]), ValueAfter(zoneLines, "StandardName   -> "));
    EXPECT_EQ(Text(zone[0].cells[1]), ValueAfter(zoneLines, "DaylightName   -> "));
    const std::string bias = ValueAfter(zoneLines, "  Bias           -> ");  // "480 (8 hours)"
    EXPECT_EQ(std::to_string(*Integer(zone[0].cells[3])), bias.substr(0, bias.find(' ')));
    if (path == k81Hive) {  // XP has no TimeZoneKeyName
      EXPECT_EQ(Text(zone[0].cells[2]), ValueAfter(zoneLines, "TimeZoneKeyName-> "));
    }

    const auto shutdown = hive.Decode("shutdown");
    ASSERT_EQ(shutdown.size(), 1u);
    EXPECT_EQ(TimeText(shutdown[0].cells[0]) + "Z", ValueAfter(RegRipperLines(path, "shutdown"), "ShutdownTime  : "));
  }
}

// RegRipper's names for a service's Start and Type.
const std::map<std::string, int64_t> kStartNames{
    {"Boot Start", 0}, {"System Start", 1}, {"Auto Start", 2}, {"Manual", 3}, {"Disabled", 4}};
const std::map<std::string, int64_t> kTypeNames{
    {"Kernel driver", 1}, {"File system driver", 2}, {"Own_Process", 0x10}, {"Share_Process", 0x20}};

struct RegRipperService {
  std::string display, imagePath, type, start, lastWritten;
};

// The services plugin: a "Sat Dec 12 03:28:23 2015 Z" line, then for each
// service written then "  Name      = ..." and the lines of its values.
std::map<std::string, RegRipperService> ParseServices(const std::vector<std::string>& lines) {
  std::map<std::string, RegRipperService> services;
  std::string time;
  RegRipperService* current = nullptr;
  const std::regex timeLine(R"(^(\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}) Z$)");
  for (const std::string& line : lines) {
    std::smatch match;
    if (std::regex_match(line, match, timeLine)) time = match[1];
    if (line.size() < 14 || line.compare(0, 2, "  ") != 0 || line[12] != '=') continue;
    const std::string field = line.substr(2, 10);
    const std::string value = line.substr(14);
    if (field.starts_with("Name ")) {
      current = &services[value];
      current->lastWritten = time;
    } else if (current != nullptr && field.starts_with("Display ")) {
      current->display = value;
    } else if (current != nullptr && field.starts_with("ImagePath ")) {
      current->imagePath = value;
    } else if (current != nullptr && field.starts_with("Type ")) {
      current->type = value;
    } else if (current != nullptr && field.starts_with("Start ")) {
      current->start = value;
    }
  }
  return services;
}

std::string NumberName(const std::map<std::string, int64_t>& names, std::optional<int64_t> number) {
  if (!number) return "";
  for (const auto& [name, value] : names) {
    if (value == *number) return name;
  }
  return "unnamed";
}

TEST(SystemArtifacts, ServicesAgreeWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  for (const char* path : {kXpHive, k81Hive}) {
    SCOPED_TRACE(path);
    const DecodedHive& hive = Opened(path);
    const auto rows = hive.Decode("services");
    const auto expected = ParseServices(RegRipperLines(path, "services"));
    EXPECT_EQ(rows.size(), expected.size());
    for (const ArtifactRow& row : rows) {
      const std::string name = Text(row.cells[0]);
      SCOPED_TRACE(name);
      EXPECT_TRUE(KeyPath(hive, row).starts_with("ControlSet001\\Services\\"));
      EXPECT_EQ(row.problem, "");
      const auto found = expected.find(name);
      ASSERT_NE(found, expected.end());
      const RegRipperService& service = found->second;
      EXPECT_EQ(Text(row.cells[1]), service.display);
      EXPECT_EQ(Text(row.cells[2]), service.imagePath);
      EXPECT_EQ(NumberName(kStartNames, Integer(row.cells[4])), service.start);
      // RegRipper writes "0x0" for the types it has no name for (0x110, an
      // interactive own process, for one); Keyloom gives every number.
      const std::string type = NumberName(kTypeNames, Integer(row.cells[5]));
      if (type != "unnamed" || service.type != "0x0") {
        EXPECT_EQ(type, service.type);
      }
      EXPECT_EQ(CTimeText(FileTimeOf(row.cells[6])), service.lastWritten);
    }
  }
}

TEST(SystemArtifacts, ServiceDllsAgreeWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  for (const char* path : {kXpHive, k81Hive}) {
    SCOPED_TRACE(path);
    std::map<std::string, std::string> keyloom;
    for (const ArtifactRow& row : Opened(path).Decode("services")) {
      if (!Text(row.cells[3]).empty()) keyloom[Text(row.cells[0])] = Text(row.cells[3]);
    }
    // The svc plugin's CSV: "time,Name\Parameters,,ServiceDll,,,," for a
    // service whose DLL its Parameters key names.
    std::map<std::string, std::string> regRipper;
    const std::regex parameters(R"(^[^,]*,([^,\\]+)\\Parameters,,([^,]*),)");
    for (const std::string& line : RegRipperLines(path, "svc")) {
      std::smatch match;
      if (std::regex_search(line, match, parameters)) regRipper[match[1]] = match[2];
    }
    ASSERT_FALSE(regRipper.empty());
    for (const auto& [name, dll] : regRipper) EXPECT_EQ(keyloom[name], dll) << name;
  }
}

TEST(SystemArtifacts, UsbDevicesAgreeWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  const DecodedHive& hive = Opened(k81Hive);
  // "VID_80EE&PID_0021 [2015-12-12 02:18:31Z]" then "  S/N: 5&2d7ae1ff&0&1 [2015-12-12 03:26:35Z]".
  std::set<std::string> expected;
  std::string device;
  const std::regex deviceLine(R"(^(\S+) \[[^\]]+\]$)");
  const std::regex serialLine(R"(^  S/N: (\S+) \[(.+)Z\]$)");
  for (const std::string& line : RegRipperLines(k81Hive, "usb")) {
    std::smatch match;
    if (std::regex_match(line, match, deviceLine)) device = match[1];
    if (std::regex_match(line, match, serialLine)) {
      expected.insert(device + "\\" + match[1].str() + " " + match[2].str());
    }
  }
  std::set<std::string> decoded;
  for (const ArtifactRow& row : hive.Decode("usb")) {
    const std::string path = KeyPath(hive, row);
    decoded.insert(path.substr(path.find("USB\\") + 4) + " " + TimeText(row.cells[3]));
    EXPECT_EQ(Text(row.cells[2]), hive.Keys().Name(row.key));
    if (path.find("VID_80EE&PID_0021") != std::string::npos) {
      EXPECT_EQ(Text(row.cells[0]), "80EE");
      EXPECT_EQ(Text(row.cells[1]), "0021");
    } else {  // the root hubs: no vendor or product
      EXPECT_EQ(row.cells[0], Cell{});
    }
  }
  EXPECT_EQ(decoded.size(), 3u);
  EXPECT_EQ(decoded, expected);
  // Neither hive has USB storage devices (RegRipper: "Enum\USBStor not found").
  EXPECT_TRUE(hive.Decode("usbstor").empty());
  EXPECT_TRUE(Opened(kXpHive).Decode("usbstor").empty());
}

TEST(SystemArtifacts, MountedDevicesAgreeWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  for (const char* path : {kXpHive, k81Hive}) {
    SCOPED_TRACE(path);
    // mountdev2: a table of "name  disk signature (bytes of the u32, most
    // significant first)  offset" for MBR partitions, then "Device: path"
    // followed by the names mounted on that device.
    std::set<std::string> expected;
    const std::regex partition(R"(^(\S+)\s+([0-9a-f]{2}) ([0-9a-f]{2}) ([0-9a-f]{2}) ([0-9a-f]{2})\s+(\d+)$)");
    std::string device;
    for (const std::string& line : RegRipperLines(path, "mountdev2")) {
      std::smatch match;
      if (std::regex_match(line, match, partition)) {
        expected.insert(match[1].str() + " MBR partition " + match[2].str() + match[3].str() + match[4].str() +
                        match[5].str() + " " + match[6].str());
      } else if (line.starts_with("Device: ")) {
        device = line.substr(8);
      } else if (!device.empty() && line.starts_with("  ")) {
        expected.insert(line.substr(2) + " device " + device);
      } else {
        device.clear();
      }
    }
    std::set<std::string> decoded;
    for (const ArtifactRow& row : Opened(path).Decode("mounteddevices")) {
      EXPECT_EQ(row.problem, "");
      const std::string kind = Text(row.cells[1]);
      decoded.insert(Text(row.cells[0]) + " " + kind + " " +
                     (kind == "device" ? Text(row.cells[4])
                                       : Text(row.cells[2]) + " " + std::to_string(*Integer(row.cells[3]))));
    }
    EXPECT_EQ(decoded, expected);
  }
}

// appcompatcache: one line per entry, "path  modified" (8.1) or "path
// modified  updated  size bytes" (XP, unused slots with an empty path), in
// no fixed order. As "path|size" and the time, sorted.
std::vector<std::pair<std::string, std::string>> RegRipperAppCompat(const char* path) {
  std::vector<std::pair<std::string, std::string>> entries;
  const std::string time = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";
  const std::regex entry("^(\\S.*?)  (" + time + ")(  " + time + R"(  (\d+) bytes)?$)");
  for (const std::string& line : RegRipperLines(path, "appcompatcache")) {
    std::smatch match;
    if (std::regex_match(line, match, entry)) entries.emplace_back(match[1].str() + "|" + match[4].str(), match[2]);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(SystemArtifacts, AppCompatCacheAgreesWithRegRipper) {
  SKIP_WITHOUT_REGRIPPER();
  const struct {
    const char* path;
    const char* key;
    size_t rows;
    size_t withoutPath;
    bool regRipperDropsPrefix;
  } cases[] = {
      // XP: 96 slots, the 39 that the LRU list names (RegRipper also lists
      // the 57 unused ones, with an empty path). XP stores "\??\C:\WINDOWS\...":
      // RegRipper drops the "\??\", Keyloom shows the path as stored.
      {kXpHive, "ControlSet001\\Control\\Session Manager\\AppCompatibility", 39, 0, true},
      // 8.1: 112 entries, one a Store app's, with a package name and no path.
      {k81Hive, "ControlSet001\\Control\\Session Manager\\AppCompatCache", 112, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const DecodedHive& hive = Opened(c.path);
    const auto rows = hive.Decode("appcompatcache");
    ASSERT_EQ(rows.size(), c.rows);
    std::vector<std::pair<std::string, uint64_t>> decoded;
    std::set<int64_t> positions;
    size_t withoutPath = 0;
    for (const ArtifactRow& row : rows) {
      EXPECT_EQ(KeyPath(hive, row), c.key);
      EXPECT_EQ(row.valueName, "AppCompatCache");
      EXPECT_EQ(row.problem, "");
      positions.insert(*Integer(row.cells[0]));
      std::string path = Text(row.cells[1]);
      if (path.empty()) {
        ++withoutPath;
        continue;
      }
      if (c.regRipperDropsPrefix) {
        EXPECT_TRUE(path.starts_with("\\??\\")) << path;
        path = path.substr(4);
      }
      const auto size = Integer(row.cells[3]);
      decoded.emplace_back(path + "|" + (size ? std::to_string(*size) : ""), FileTimeOf(row.cells[2]));
    }
    EXPECT_EQ(withoutPath, c.withoutPath);
    EXPECT_EQ(positions.size(), c.rows);
    EXPECT_EQ(*positions.rbegin(), static_cast<int64_t>(c.rows - 1));
    std::sort(decoded.begin(), decoded.end());
    const auto expected = RegRipperAppCompat(c.path);
    ASSERT_EQ(decoded.size(), expected.size());
    for (size_t i = 0; i < decoded.size(); ++i) {
      EXPECT_EQ(decoded[i].first, expected[i].first);
      // RegRipper turns FILETIMEs into seconds through floating point, so a
      // whole second can read one second early (2004-08-04 12:00:00.0000000
      // as 11:59:59); Keyloom counts in integers.
      const std::string time = TimeText(Cell{artifacts::FileTime{decoded[i].second}});
      const std::string early = TimeText(Cell{artifacts::FileTime{decoded[i].second - 10'000'000}});
      if (time != expected[i].second) {
        EXPECT_EQ(early, expected[i].second) << decoded[i].first;
      }
    }
  }
}

}  // namespace
