// The SYSTEM artifacts on hives built key by key, where no shared hive holds
// what they read: BAM and DAM in both places, USB storage with its property
// store, damaged values, the current control set chosen over a decoy.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoded_hive.h"
#include "hive/key_details.h"
#include "hive_builder.h"

namespace {

using artifacts::ArtifactRow;
using artifacts::Cell;
using testsupport::DecodedHive;
using testsupport::HiveBuilder;

std::string KeyPath(const DecodedHive& hive, const ArtifactRow& row) { return hive.Keys().Path(row.key); }
std::string Text(const Cell& cell) { return testsupport::CellText(cell); }
// "2012-10-24 18:18:48"; empty for no time.
std::string TimeText(const Cell& cell) {
  const uint64_t time = testsupport::CellTime(cell);
  if (time == 0) return {};
  const std::string text = hive::FormatFileTime(time);
  return text.substr(0, text.size() - 4);
}
std::optional<int64_t> Integer(const Cell& cell) { return testsupport::CellInteger(cell); }
uint64_t FileTimeOf(const Cell& cell) { return testsupport::CellTime(cell); }
// --- A SYSTEM hive built key by key: Select\Current names ControlSet002;
// ControlSet001 holds decoys that no row may come from.

// value in size bytes, little-endian; zeros past its 8 bytes.
std::vector<uint8_t> Le(uint64_t value, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size && i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

std::vector<uint8_t> Utf16(std::string_view ascii, bool withNul = true) {
  std::vector<uint8_t> bytes;
  for (const char c : ascii) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
  if (withNul) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kPropertyFileTime = 0xffff0010;  // a device property of type FILETIME
constexpr uint64_t kTime1 = 0x01D9A1B2C3D4E5F6ull;
constexpr uint64_t kTime0 = kTime1 - 36'000'000'000ull;  // an hour earlier
constexpr uint64_t kTime2 = 0x01DA0102030405F0ull;

// Keys by path below a parent, each added once.
struct BuiltSystem {
  HiveBuilder builder;
  std::map<std::pair<HiveBuilder::KeyId, std::string>, HiveBuilder::KeyId> added;
  HiveBuilder::KeyId Key(HiveBuilder::KeyId parent, std::string_view path) {
    HiveBuilder::KeyId key = parent;
    while (!path.empty()) {
      const size_t cut = path.find('\\');
      const std::string name(path.substr(0, cut));
      const auto [at, isNew] = added.try_emplace({key, name}, 0);
      if (isNew) at->second = builder.AddKey(key, name);
      key = at->second;
      path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
    }
    return key;
  }
};

std::vector<uint8_t> BuildSystemHive() {
  BuiltSystem s;
  HiveBuilder& b = s.builder;
  b.AddValue(s.Key(b.Root(), "Select"), "Current", kRegDword, Le(2, 4));
  const auto decoy = s.Key(b.Root(), "ControlSet001");
  b.AddValue(s.Key(decoy, "Services\\bam\\State\\UserSettings\\S-1-5-21-9-9-9-500"), "decoy.exe", kRegBinary,
             Le(kTime1, 8));
  const auto set = s.Key(b.Root(), "ControlSet002");
  s.Key(b.Root(), "MountedDevices");

  const auto zone = s.Key(set, "Control\\TimeZoneInformation");
  b.AddValue(zone, "Bias", kRegDword, Le(0xFFFFFFC4, 4));  // -60: an hour east of UTC
  b.AddValue(zone, "StandardName", kRegSz, Utf16("@tzres.dll,-322"));
  b.AddValue(zone, "DaylightName", kRegSz, Utf16("@tzres.dll,-321"));
  b.AddValue(zone, "TimeZoneKeyName", kRegSz, Utf16("W. Europe Standard Time"));
  b.AddValue(s.Key(set, "Control\\Windows"), "ShutdownTime", kRegBinary, Le(kTime1, 4));  // cut short

  const auto services = s.Key(set, "Services");
  const auto bits = b.AddKey(services, "BITS");
  b.AddValue(bits, "DisplayName", kRegSz, Utf16("Background Intelligent Transfer Service"));
  b.AddValue(bits, "ImagePath", 2, Utf16("%SystemRoot%\\System32\\svchost.exe -k netsvcs"));
  b.AddValue(bits, "Start", kRegDword, Le(3, 4));
  b.AddValue(bits, "Type", kRegDword, Le(0x20, 4));
  b.AddValue(bits, "ServiceDll", 2, Utf16("old.dll"));  // Parameters\ServiceDll comes first
  b.AddValue(s.Key(bits, "Parameters"), "ServiceDll", 2, Utf16("%SystemRoot%\\System32\\qmgr.dll"));
  const auto old = b.AddKey(services, "OldSvc");
  b.AddValue(old, "ServiceDll", 2, Utf16("C:\\old\\svc.dll"));
  b.AddValue(old, "Start", kRegDword, Le(2, 2));  // cut short

  const auto bam = s.Key(services, "bam");
  const auto user = s.Key(bam, "State\\UserSettings\\S-1-5-21-1-2-3-1001");
  b.AddValue(user, "Version", kRegDword, Le(1, 4));
  b.AddValue(user, "SequenceNumber", kRegDword, Le(7, 4));
  b.AddValue(user, "\\Device\\HarddiskVolume3\\Windows\\explorer.exe", kRegBinary,
             Join(Le(kTime1, 8), Join(Le(0, 8), Le(2, 8))));
  b.AddValue(user, "\\Device\\HarddiskVolume3\\short.exe", kRegBinary, Le(kTime1, 6));
  b.AddValue(s.Key(bam, "UserSettings\\S-1-5-18"), "\\Device\\HarddiskVolume3\\Windows\\System32\\cmd.exe",
             kRegBinary, Le(kTime2, 8));
  b.AddValue(s.Key(services, "dam\\State\\UserSettings\\S-1-5-21-1-2-3-1002"), "Microsoft.Photos_8wekyb3d8bbwe",
             kRegBinary, Le(kTime2, 24));

  // USB storage: Windows 8+ (property default values), Windows 7 (00000000\Data), XP (no properties).
  const auto disk = s.Key(set, "Enum\\USBSTOR\\Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00");
  const auto win8 = b.AddKey(disk, "0019E06B9C85F9A0F7550C20&0");
  b.AddValue(win8, "FriendlyName", kRegSz, Utf16("Kingston DataTraveler USB Device"));
  const auto win8Times = s.Key(win8, "Properties\\{83da6326-97a6-4088-9453-a1923f573b29}");
  b.AddDefaultValue(b.AddKey(win8Times, "0064"), kPropertyFileTime, Le(kTime1, 8));
  b.AddDefaultValue(b.AddKey(win8Times, "0065"), kPropertyFileTime, Le(kTime0, 8));
  b.AddDefaultValue(b.AddKey(win8Times, "0066"), kPropertyFileTime, Le(kTime2, 8));
  b.AddDefaultValue(b.AddKey(win8Times, "0067"), kPropertyFileTime, Le(kTime2 + 1, 8));
  const auto win7 = b.AddKey(disk, "AA00000000000489&0");
  const auto win7Times = s.Key(win7, "Properties\\{83da6326-97a6-4088-9453-a1923f573b29}");
  b.AddValue(s.Key(win7Times, "0064\\00000000"), "Data", kRegBinary, Le(kTime1, 8));
  b.AddValue(s.Key(win7Times, "0065\\00000000"), "Data", kRegBinary, Le(kTime1, 5));  // cut short
  b.AddValue(b.AddKey(disk, "XP0001&0"), "FriendlyName", kRegSz, Utf16("Generic Flash Disk USB Device"));

  const auto usb = s.Key(set, "Enum\\USB");
  s.Key(usb, "VID_046D&PID_C52B&MI_00\\7&2a0b1234&0&0000");
  s.Key(usb, "ROOT_HUB20\\4&1d1a2b3c&0");

  // AppCompatCache in both places, each cut short after its header.
  const auto manager = s.Key(set, "Control\\Session Manager");
  b.AddValue(b.AddKey(manager, "AppCompatCache"), "AppCompatCache", kRegBinary,
             Join(Join(Le(0xbadc0fee, 4), Le(1, 4)), std::vector<uint8_t>(120)));
  b.AddValue(b.AddKey(manager, "AppCompatibility"), "AppCompatCache", kRegBinary,
             Join(Le(0xdeadbeef, 4), Le(96, 4)));
  return b.Build();
}

std::vector<uint8_t> MountedDevicesHive() {
  BuiltSystem s;
  HiveBuilder& b = s.builder;
  b.AddValue(s.Key(b.Root(), "Select"), "Current", kRegDword, Le(1, 4));
  s.Key(b.Root(), "ControlSet001");
  const auto mounted = s.Key(b.Root(), "MountedDevices");
  b.AddValue(mounted, "\\DosDevices\\C:", kRegBinary, Join(Le(0x1a2b3c4d, 4), Le(0x100000, 8)));
  const std::vector<uint8_t> guid{0x78, 0x56, 0x34, 0x12, 0xbc, 0x9a, 0xf0, 0xde, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> gpt = Join({'D', 'M', 'I', 'O', ':', 'I', 'D', ':'}, guid);
  b.AddValue(mounted, "\\??\\Volume{aaaaaaaa-0000-0000-0000-000000000001}", kRegBinary, gpt);
  b.AddValue(mounted, "\\DosDevices\\E:", kRegBinary,
             Utf16("\\??\\STORAGE#RemovableMedia#7&1b2c3d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", false));
  b.AddValue(mounted, "\\DosDevices\\F:", kRegBinary, std::vector<uint8_t>(gpt.begin(), gpt.begin() + 16));
  b.AddValue(mounted, "#odd", kRegBinary, std::vector<uint8_t>{1, 2, 3, 4, 5});
  return b.Build();
}

// Every row's cells as text, "|" between them, and its problem after " ! ".
std::vector<std::string> RowTexts(const DecodedHive& hive, const std::vector<ArtifactRow>& rows) {
  std::vector<std::string> texts;
  for (const ArtifactRow& row : rows) {
    std::string text = KeyPath(hive, row) + (row.fromValue ? ":" + row.valueName : "") + " =";
    for (const Cell& cell : row.cells) {
      text += " ";
      if (const auto* s = std::get_if<std::string>(&cell)) text += *s;
      if (const auto* n = std::get_if<int64_t>(&cell)) text += std::to_string(*n);
      if (std::holds_alternative<artifacts::FileTime>(cell)) text += TimeText(cell);
      if (const auto* f = std::get_if<bool>(&cell)) text += *f ? "true" : "false";
      text += "|";
    }
    if (!row.problem.empty()) text += " ! " + row.problem;
    texts.push_back(text);
  }
  return texts;
}

TEST(SystemArtifacts, BuiltHiveRowsComeFromTheCurrentControlSet) {
  const DecodedHive hive(BuildSystemHive(), "hive");
  ASSERT_TRUE(hive.Opened());
  ASSERT_EQ(hive.Kind(), artifacts::HiveKind::kSystem);
  const std::string t1 = TimeText(Cell{artifacts::FileTime{kTime1}});
  const std::string t0 = TimeText(Cell{artifacts::FileTime{kTime0}});
  const std::string t2 = TimeText(Cell{artifacts::FileTime{kTime2}});
  const std::string t3 = TimeText(Cell{artifacts::FileTime{kTime2 + 1}});
  const std::string userKey = "ControlSet002\\Services\\bam\\State\\UserSettings\\S-1-5-21-1-2-3-1001";
  const struct {
    const char* id;
    std::vector<std::string> rows;
  } cases[] = {
      {"timezone",
       {"ControlSet002\\Control\\TimeZoneInformation = @tzres.dll,-322| @tzres.dll,-321| "
        "W. Europe Standard Time| -60|"}},
      {"shutdown", {"ControlSet002\\Control\\Windows:ShutdownTime = | ! data too short: 4 of 8 bytes"}},
      {"computername", {}},
      {"bam",
       {"ControlSet002\\Services\\bam\\UserSettings\\S-1-5-18:\\Device\\HarddiskVolume3\\Windows\\System32\\cmd.exe = "
        "S-1-5-18| \\Device\\HarddiskVolume3\\Windows\\System32\\cmd.exe| " + t2 + "|",
        userKey + ":\\Device\\HarddiskVolume3\\Windows\\explorer.exe = S-1-5-21-1-2-3-1001| "
                  "\\Device\\HarddiskVolume3\\Windows\\explorer.exe| " + t1 + "|",
        userKey + ":\\Device\\HarddiskVolume3\\short.exe = S-1-5-21-1-2-3-1001| \\Device\\HarddiskVolume3\\short.exe| "
                  "| ! data too short: 6 of 8 bytes",
        "ControlSet002\\Services\\dam\\State\\UserSettings\\S-1-5-21-1-2-3-1002:Microsoft.Photos_8wekyb3d8bbwe = "
        "S-1-5-21-1-2-3-1002| Microsoft.Photos_8wekyb3d8bbwe| " + t2 + "|"}},
      {"usbstor",
       {"ControlSet002\\Enum\\USBSTOR\\Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00\\0019E06B9C85F9A0F7550C20&0 = "
        "Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00| 0019E06B9C85F9A0F7550C20&0| Kingston DataTraveler USB Device| " +
            t0 + "| " + t1 + "| " + t2 + "| " + t3 + "|",
        "ControlSet002\\Enum\\USBSTOR\\Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00\\AA00000000000489&0 = "
        "Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00| AA00000000000489&0| | | " + t1 +
            "| | | ! property 0065: data too short: 5 of 8 bytes",
        "ControlSet002\\Enum\\USBSTOR\\Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00\\XP0001&0 = "
        "Disk&Ven_Kingston&Prod_DataTraveler&Rev_1.00| XP0001&0| Generic Flash Disk USB Device| | | | |"}},
      {"appcompatcache",
       {"ControlSet002\\Control\\Session Manager\\AppCompatCache:AppCompatCache = 0| | | | | ! data too short: 128 of "
        "160 bytes",
        "ControlSet002\\Control\\Session Manager\\AppCompatibility:AppCompatCache = | | | | | ! data too short: 8 of "
        "400 bytes"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(RowTexts(hive, hive.Decode(c.id)), c.rows);
  }
}

TEST(SystemArtifacts, BuiltServicesTakeTheParametersDllFirstAndNoteAShortStart) {
  const DecodedHive hive(BuildSystemHive(), "hive");
  const auto rows = hive.Decode("services");
  ASSERT_EQ(rows.size(), 4u);  // BITS, OldSvc, bam, dam
  EXPECT_EQ(Text(rows[0].cells[0]), "BITS");
  EXPECT_EQ(Text(rows[0].cells[1]), "Background Intelligent Transfer Service");
  EXPECT_EQ(Text(rows[0].cells[3]), "%SystemRoot%\\System32\\qmgr.dll");
  EXPECT_EQ(Integer(rows[0].cells[4]), 3);
  EXPECT_EQ(Integer(rows[0].cells[5]), 0x20);
  EXPECT_NE(FileTimeOf(rows[0].cells[6]), 0u);
  EXPECT_EQ(Text(rows[1].cells[3]), "C:\\old\\svc.dll");
  EXPECT_EQ(rows[1].cells[4], Cell{});
  EXPECT_EQ(rows[1].problem, "Start: data too short: 2 of 4 bytes");
}

TEST(SystemArtifacts, BuiltUsbDevicesSplitVendorAndProduct) {
  const DecodedHive hive(BuildSystemHive(), "hive");
  const auto rows = RowTexts(hive, hive.Decode("usb"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0].starts_with("ControlSet002\\Enum\\USB\\VID_046D&PID_C52B&MI_00\\7&2a0b1234&0&0000 = 046D| C52B| "
                                  "7&2a0b1234&0&0000| "));
  EXPECT_TRUE(rows[1].starts_with("ControlSet002\\Enum\\USB\\ROOT_HUB20\\4&1d1a2b3c&0 = | | 4&1d1a2b3c&0| "));
}

TEST(SystemArtifacts, MountedDevicesTellPartitionsFromDevicePaths) {
  const DecodedHive hive(MountedDevicesHive(), "hive");
  ASSERT_EQ(hive.Kind(), artifacts::HiveKind::kSystem);
  const std::vector<std::string> expected{
      "MountedDevices:\\DosDevices\\C: = \\DosDevices\\C:| MBR partition| 1a2b3c4d| 1048576| |",
      "MountedDevices:\\??\\Volume{aaaaaaaa-0000-0000-0000-000000000001} = "
      "\\??\\Volume{aaaaaaaa-0000-0000-0000-000000000001}| GPT partition| | | {12345678-9ABC-DEF0-0102-030405060708}|",
      "MountedDevices:\\DosDevices\\E: = \\DosDevices\\E:| device| | | "
      "\\??\\STORAGE#RemovableMedia#7&1b2c3d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}|",
      "MountedDevices:\\DosDevices\\F: = \\DosDevices\\F:| GPT partition| | | | ! data too short: 16 of 24 bytes",
      "MountedDevices:#odd = #odd| | | | | ! neither a partition nor a device path: 5 bytes",
  };
  EXPECT_EQ(RowTexts(hive, hive.Decode("mounteddevices")), expected);
}

}  // namespace
