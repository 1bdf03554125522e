// make_system_hive: writes a generated SYSTEM hive of about 15 MB, the size of
// a Windows 10 machine's SYSTEM hive, holding every key the SYSTEM artifacts
// read: the computer name, time zone and shutdown time, 1,500 services,
// USB and USB storage devices with their Windows 7+ properties, mounted
// devices, BAM entries of five users and an AppCompatCache of 1,024 entries
// in the Windows 10 layout; the rest of its size is device class keys, as in
// a real hive.
//
//   make_system_hive OUT
//
// The same file every time.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "hive_builder.h"

namespace {

using testsupport::HiveBuilder;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint64_t kYear2020 = 132223104000000000ull;  // 2020-01-01 as a FILETIME
constexpr uint64_t kHour = 36000000000ull;

std::vector<uint8_t> Utf16(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (const char c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Le(uint64_t value, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  for (const uint8_t byte : bytes) out.push_back(byte);
}

// The Windows 10 AppCompatCache: a 0x34-byte header (its size at 0, the
// number of entries at 40), then
// entries "10ts", an unknown u32, the entry's size, the path's size and path
// (UTF-16, no NUL), its last modification time and its data (size and bytes).
std::vector<uint8_t> AppCompatCache10(int entries) {
  std::vector<uint8_t> data = Le(0x34, 4);
  data.resize(40);
  Append(data, Le(static_cast<uint64_t>(entries), 4));
  data.resize(0x34);
  for (int i = 0; i < entries; ++i) {
    std::vector<uint8_t> path = Utf16("C:\\Program Files\\Vendor " + std::to_string(i) + "\\program.exe");
    path.resize(path.size() - 2);
    std::vector<uint8_t> entry = Le(static_cast<uint64_t>(path.size()), 2);
    Append(entry, path);
    Append(entry, Le(kYear2020 + static_cast<uint64_t>(i) * kHour, 8));
    Append(entry, Le(4, 4));
    Append(entry, Le(1, 4));
    Append(data, {'1', '0', 't', 's'});
    Append(data, Le(0x12345678u + static_cast<uint32_t>(i), 4));
    Append(data, Le(entry.size(), 4));
    Append(data, entry);
  }
  return data;
}

void AddServices(HiveBuilder& b, HiveBuilder::KeyId services) {
  for (int i = 0; i < 1500; ++i) {
    const std::string name = "Service" + std::to_string(i);
    const auto key = b.AddKey(services, name);
    b.AddValue(key, "DisplayName", kRegSz, Utf16("Generated service " + std::to_string(i)));
    b.AddValue(key, "ImagePath", kRegExpandSz, Utf16("%SystemRoot%\\System32\\drivers\\" + name + ".sys"));
    b.AddValue(key, "Start", kRegDword, Le(static_cast<uint64_t>(i % 5), 4));
    b.AddValue(key, "Type", kRegDword, Le(i % 3 == 0 ? 0x20 : 1, 4));
    b.AddValue(key, "ErrorControl", kRegDword, Le(1, 4));
    b.AddValue(key, "Group", kRegSz, Utf16("Base"));
    b.AddValue(key, "Description", kRegSz, Utf16("A service the benchmark generated for its artifacts"));
    if (i % 3 == 0) {
      const auto parameters = b.AddKey(key, "Parameters");
      b.AddValue(parameters, "ServiceDll", kRegExpandSz, Utf16("%SystemRoot%\\System32\\" + name + ".dll"));
    }
    b.AddKey(key, "Enum");
  }
  // BAM of Windows 10 1809 and later: five users, 200 programs each.
  const auto bamUsers = b.AddKey(b.AddKey(b.AddKey(services, "bam"), "State"), "UserSettings");
  for (int user = 0; user < 5; ++user) {
    const auto sid = b.AddKey(bamUsers, "S-1-5-21-1111111111-2222222222-3333333333-" + std::to_string(1001 + user));
    b.AddValue(sid, "Version", kRegDword, Le(1, 4));
    for (int program = 0; program < 200; ++program) {
      std::vector<uint8_t> data = Le(kYear2020 + static_cast<uint64_t>(program) * kHour, 8);
      data.resize(24);
      b.AddValue(sid, "\\Device\\HarddiskVolume2\\Program Files\\App" + std::to_string(program) + "\\app.exe",
                 kRegBinary, data);
    }
  }
}

void AddDevices(HiveBuilder& b, HiveBuilder::KeyId enumKey) {
  const auto usbstor = b.AddKey(enumKey, "USBSTOR");
  for (int i = 0; i < 100; ++i) {
    const auto deviceClass = b.AddKey(usbstor, "Disk&Ven_Vendor" + std::to_string(i) + "&Prod_Flash&Rev_1.00");
    for (int s = 0; s < 2; ++s) {
      const auto serial = b.AddKey(deviceClass, "SERIAL" + std::to_string(i * 2 + s) + "&0");
      b.AddValue(serial, "FriendlyName", kRegSz, Utf16("Vendor Flash USB Device"));
      const auto property = b.AddKey(b.AddKey(serial, "Properties"), "{83da6326-97a6-4088-9453-a1923f573b29}");
      for (const char* id : {"0064", "0065", "0066", "0067"}) {
        b.AddDefaultValue(b.AddKey(property, id), 0xFFFF0010u, Le(kYear2020 + static_cast<uint64_t>(i) * kHour, 8));
      }
    }
  }
  const auto usb = b.AddKey(enumKey, "USB");
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "VID_%04X&PID_%04X", 0x1000 + i, 0x2000 + i);
    b.AddKey(b.AddKey(usb, name), "SN" + std::to_string(i));
  }
}

// Device classes, as Control\Class holds them: the bulk of a real SYSTEM hive.
void AddClassKeys(HiveBuilder& b, HiveBuilder::KeyId control, int keys) {
  const auto classes = b.AddKey(control, "Class");
  for (int group = 0; group * 100 < keys; ++group) {
    char guid[48];
    std::snprintf(guid, sizeof guid, "{%08X-E325-11CE-BFC1-08002BE10318}", 0x4d36e900u + static_cast<unsigned>(group));
    const auto deviceClass = b.AddKey(classes, guid);
    for (int i = 0; i < 100; ++i) {
      char number[8];
      std::snprintf(number, sizeof number, "%04d", i);
      const auto instance = b.AddKey(deviceClass, number);
      b.AddValue(instance, "DriverDesc", kRegSz, Utf16("Generated device " + std::to_string(group * 100 + i)));
      b.AddValue(instance, "ProviderName", kRegSz, Utf16("Keyloom"));
      b.AddValue(instance, "DriverVersion", kRegSz, Utf16("10.0.19041.1"));
      b.AddValue(instance, "InfPath", kRegSz, Utf16("oem" + std::to_string(i) + ".inf"));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_system_hive OUT\n");
    return 2;
  }
  HiveBuilder b("ROOT");
  const auto select = b.AddKey(b.Root(), "Select");
  b.AddValue(select, "Current", kRegDword, Le(1, 4));
  b.AddValue(select, "Default", kRegDword, Le(1, 4));
  const auto set = b.AddKey(b.Root(), "ControlSet001");
  const auto control = b.AddKey(set, "Control");
  b.AddValue(b.AddKey(b.AddKey(control, "ComputerName"), "ComputerName"), "ComputerName", kRegSz, Utf16("BENCH-PC"));
  const auto zone = b.AddKey(control, "TimeZoneInformation");
  b.AddValue(zone, "Bias", kRegDword, Le(static_cast<uint32_t>(-60), 4));
  b.AddValue(zone, "StandardName", kRegSz, Utf16("@tzres.dll,-322"));
  b.AddValue(zone, "DaylightName", kRegSz, Utf16("@tzres.dll,-321"));
  b.AddValue(zone, "TimeZoneKeyName", kRegSz, Utf16("W. Europe Standard Time"));
  b.AddValue(b.AddKey(control, "Windows"), "ShutdownTime", kRegBinary, Le(kYear2020, 8));
  const auto sessionManager = b.AddKey(control, "Session Manager");
  b.AddValue(b.AddKey(sessionManager, "AppCompatCache"), "AppCompatCache", kRegBinary, AppCompatCache10(1024));
  AddClassKeys(b, control, 32000);
  AddServices(b, b.AddKey(set, "Services"));
  AddDevices(b, b.AddKey(set, "Enum"));
  const auto mounted = b.AddKey(b.Root(), "MountedDevices");
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> data = Le(0x1a2b3c00u + static_cast<uint32_t>(i), 4);
    Append(data, Le(uint64_t{1048576} * static_cast<uint64_t>(i + 1), 8));
    b.AddValue(mounted, "\\??\\Volume{" + std::to_string(10000000 + i) + "-0000-0000-0000-000000000000}", kRegBinary,
               data);
  }
  b.Build();
  if (!b.WriteTo(argv[1])) {
    std::fprintf(stderr, "make_system_hive: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(stderr, "make_system_hive: %zu bytes\n", b.Bytes().size());
  return 0;
}
