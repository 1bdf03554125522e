// The SYSTEM hive's artifacts: the computer's name, time zone and last
// shutdown, services and drivers, USB devices, mounted devices, the
// background activity moderator and the application compatibility cache.
// Keys below "CurrentControlSet" are read in context.controlSet, and every row
// names the real ControlSetNNN key.

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "artifacts/appcompat_cache.h"
#include "artifacts/artifact_table.h"
#include "artifacts/decoders.h"

namespace artifacts {

namespace {

constexpr HiveKinds kSystemHive = KindBit(HiveKind::kSystem);

// --- Shared value readers. A ValueView lives until the next read, so each
// reader turns it into a cell at once.

void AddProblem(ArtifactRow& row, std::string_view problem) {
  if (!row.problem.empty()) row.problem += "; ";
  row.problem += problem;
}

void NoteNotHeld(ArtifactRow& row, std::string_view valueName) {
  AddProblem(row, std::string(valueName) + ": data longer than the file");
}

// The value name of key when the key has it and its data is held (the row
// notes data that is not).
std::optional<ValueView> HeldValue(const HiveKeys& keys, KeyId key, std::string_view name, ArtifactRow& row) {
  std::optional<ValueView> value = key == kNoKey ? std::nullopt : keys.FindValue(key, name);
  if (value && !value->held) {
    NoteNotHeld(row, name);
    value.reset();
  }
  return value;
}

// The text of value name of key; an empty cell when the key lacks the value.
Cell TextValue(const HiveKeys& keys, KeyId key, std::string_view name, ArtifactRow& row) {
  const std::optional<ValueView> value = HeldValue(keys, key, name, row);
  return value ? TextCell(ValueText(*value)) : Cell{};
}

// A REG_DWORD as an integer (signed: read as a signed 32-bit number).
Cell DwordValue(const HiveKeys& keys, KeyId key, std::string_view name, bool isSigned, ArtifactRow& row) {
  const std::optional<ValueView> value = HeldValue(keys, key, name, row);
  if (!value) return {};
  const std::optional<uint32_t> number = ValueDword(*value);
  if (!number) {
    AddProblem(row, std::string(name) + ": " + DataTooShort(value->data.size(), 4));
    return {};
  }
  return IntegerCell(isSigned ? int64_t{static_cast<int32_t>(*number)} : int64_t{*number});
}

// A FILETIME in the first 8 bytes of data, or a problem (after label, when
// one is given).
Cell FileTimeData(std::span<const uint8_t> data, ArtifactRow& row, std::string_view label = {}) {
  const std::optional<uint64_t> time = DataReader(data).U64(0);
  if (time) return TimeCell(*time);
  AddProblem(row, std::string(label) + DataTooShort(data.size(), 8));
  return {};
}

// One value of the key at path below the control set: a row from it, its
// cells set by decode(value, row). No row when the key or value is missing.
template <typename Decode>
void DecodeOneValue(const DecodeContext& context, std::string_view path, std::string_view name, RowSink& rows,
                    Decode decode) {
  const KeyId key = context.keys.Find(context.controlSet, path);
  const std::optional<ValueView> value = key == kNoKey ? std::nullopt : context.keys.FindValue(key, name);
  if (!value) return;
  ArtifactRow& row = rows.AddValueRow(key, *value);
  if (!value->held) return NoteNotHeld(row, name);
  decode(*value, row);
}

// --- computername: Control\ComputerName\ComputerName, value ComputerName.

constexpr std::array<std::string_view, 1> kComputerNamePaths{"CurrentControlSet\\Control\\ComputerName\\ComputerName"};
constexpr std::array kComputerNameColumns{Column{"name", ColumnType::kText}};

void DecodeComputerName(const DecodeContext& context, RowSink& rows) {
  DecodeOneValue(context, "Control\\ComputerName\\ComputerName", "ComputerName", rows,
                 [](const ValueView& value, ArtifactRow& row) { row.cells[0] = TextCell(ValueText(value)); });
}

// --- timezone: Control\TimeZoneInformation. Bias is minutes to add to local
// time for UTC, a signed 32-bit number; the names may be "@tzres.dll,-112"
// resource references, kept as stored.

constexpr std::array<std::string_view, 1> kTimeZonePaths{"CurrentControlSet\\Control\\TimeZoneInformation"};
constexpr std::array kTimeZoneColumns{
    Column{"standard_name", ColumnType::kText}, Column{"daylight_name", ColumnType::kText},
    Column{"time_zone_key_name", ColumnType::kText}, Column{"bias_minutes", ColumnType::kInteger}};

void DecodeTimeZone(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Find(context.controlSet, "Control\\TimeZoneInformation");
  if (key == kNoKey) return;
  ArtifactRow& row = rows.AddKeyRow(key);
  row.cells[0] = TextValue(keys, key, "StandardName", row);
  row.cells[1] = TextValue(keys, key, "DaylightName", row);
  row.cells[2] = TextValue(keys, key, "TimeZoneKeyName", row);
  row.cells[3] = DwordValue(keys, key, "Bias", true, row);
}

// --- shutdown: Control\Windows, ShutdownTime: a FILETIME in REG_BINARY.

constexpr std::array<std::string_view, 1> kShutdownPaths{"CurrentControlSet\\Control\\Windows"};
constexpr std::array kShutdownColumns{Column{"last_shutdown", ColumnType::kTime}};

void DecodeShutdown(const DecodeContext& context, RowSink& rows) {
  DecodeOneValue(context, "Control\\Windows", "ShutdownTime", rows,
                 [](const ValueView& value, ArtifactRow& row) { row.cells[0] = FileTimeData(value.data, row); });
}

// --- services: one row per subkey of Services. A service DLL (svchost's
// services) is Parameters\ServiceDll, on older systems ServiceDll itself.

constexpr std::array<std::string_view, 1> kServicesPaths{"CurrentControlSet\\Services"};
constexpr std::array kServicesColumns{
    Column{"name", ColumnType::kText},         Column{"display_name", ColumnType::kText},
    Column{"image_path", ColumnType::kText},   Column{"service_dll", ColumnType::kText},
    Column{"start", ColumnType::kInteger},     Column{"type", ColumnType::kInteger},
    Column{"last_written", ColumnType::kTime}};

void DecodeServices(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId services = keys.Child(context.controlSet, "Services");
  keys.ForEachChild(services, [&](KeyId service) {
    ArtifactRow& row = rows.AddKeyRow(service);
    row.cells[0] = TextCell(std::string(keys.Name(service)));
    row.cells[1] = TextValue(keys, service, "DisplayName", row);
    row.cells[2] = TextValue(keys, service, "ImagePath", row);
    row.cells[3] = TextValue(keys, keys.Child(service, "Parameters"), "ServiceDll", row);
    if (std::holds_alternative<std::monostate>(row.cells[3])) {
      row.cells[3] = TextValue(keys, service, "ServiceDll", row);
    }
    row.cells[4] = DwordValue(keys, service, "Start", false, row);
    row.cells[5] = DwordValue(keys, service, "Type", false, row);
    row.cells[6] = TimeCell(keys.LastWritten(service));
  });
}

// --- usbstor: Enum\USBSTOR\<device class>\<serial>. From Windows 7 on, the
// device's property store keeps its times under
// Properties\{83da6326-97a6-4088-9453-a1923f573b29}\<property id, 4 hex
// digits>: 0064 install date, 0065 first install date, 0066 last arrival,
// 0067 last removal (the last two from Windows 8). Windows 8 and later keep
// the FILETIME as the property key's default value; Windows 7 keeps it in the
// value "Data" of the subkey 00000000. XP has no property store.

constexpr std::array<std::string_view, 1> kUsbStorPaths{"CurrentControlSet\\Enum\\USBSTOR"};
constexpr std::array kUsbStorColumns{
    Column{"device_class", ColumnType::kText},  Column{"serial", ColumnType::kText},
    Column{"friendly_name", ColumnType::kText}, Column{"first_install", ColumnType::kTime},
    Column{"install", ColumnType::kTime},       Column{"last_arrival", ColumnType::kTime},
    Column{"last_removal", ColumnType::kTime}};
constexpr std::string_view kDeviceTimesPropertySet = "Properties\\{83da6326-97a6-4088-9453-a1923f573b29}";

struct DeviceTime {
  std::string_view propertyId;
  size_t column;
  std::string_view label;  // for problems
};
constexpr std::array kDeviceTimes{
    DeviceTime{"0065", 3, "property 0065: "}, DeviceTime{"0064", 4, "property 0064: "},
    DeviceTime{"0066", 5, "property 0066: "}, DeviceTime{"0067", 6, "property 0067: "}};

Cell DevicePropertyTime(const HiveKeys& keys, KeyId propertySet, const DeviceTime& time, ArtifactRow& row) {
  const KeyId property = keys.Child(propertySet, time.propertyId);
  if (property == kNoKey) return {};
  std::optional<ValueView> value = keys.FindValue(property, "");
  const KeyId windows7Value = value ? kNoKey : keys.Child(property, "00000000");
  if (windows7Value != kNoKey) value = keys.FindValue(windows7Value, "Data");
  if (!value) return {};
  if (!value->held) {
    AddProblem(row, std::string(time.label) + "data longer than the file");
    return {};
  }
  return FileTimeData(value->data, row, time.label);
}

void DecodeUsbStor(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId usbstor = keys.Find(context.controlSet, "Enum\\USBSTOR");
  keys.ForEachChild(usbstor, [&](KeyId deviceClass) {
    keys.ForEachChild(deviceClass, [&](KeyId device) {
      ArtifactRow& row = rows.AddKeyRow(device);
      row.cells[0] = TextCell(std::string(keys.Name(deviceClass)));
      row.cells[1] = TextCell(std::string(keys.Name(device)));
      row.cells[2] = TextValue(keys, device, "FriendlyName", row);
      const KeyId propertySet = keys.Find(device, kDeviceTimesPropertySet);
      if (propertySet == kNoKey) return;
      for (const DeviceTime& time : kDeviceTimes) {
        row.cells[time.column] = DevicePropertyTime(keys, propertySet, time, row);
      }
    });
  });
}

// --- usb: Enum\USB\<device>\<serial>, the device named "VID_xxxx&PID_xxxx"
// (hubs and other devices without them leave vid and pid empty).

constexpr std::array<std::string_view, 1> kUsbPaths{"CurrentControlSet\\Enum\\USB"};
constexpr std::array kUsbColumns{Column{"vid", ColumnType::kText}, Column{"pid", ColumnType::kText},
                                 Column{"serial", ColumnType::kText}, Column{"last_written", ColumnType::kTime}};

// The text after "tag_" in a device name's '&'-separated parts ("VID_046D&PID_C52B&MI_00").
Cell DeviceIdPart(std::string_view deviceName, std::string_view tag) {
  while (!deviceName.empty()) {
    const size_t cut = deviceName.find('&');
    const std::string_view part = deviceName.substr(0, cut);
    if (part.size() > tag.size() && HiveKeys::SameName(part.substr(0, tag.size()), tag)) {
      return TextCell(std::string(part.substr(tag.size())));
    }
    deviceName = cut == std::string_view::npos ? std::string_view{} : deviceName.substr(cut + 1);
  }
  return {};
}

void DecodeUsb(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId usb = keys.Find(context.controlSet, "Enum\\USB");
  keys.ForEachChild(usb, [&](KeyId device) {
    const std::string_view deviceName = keys.Name(device);
    keys.ForEachChild(device, [&](KeyId instance) {
      ArtifactRow& row = rows.AddKeyRow(instance);
      row.cells[0] = DeviceIdPart(deviceName, "VID_");
      row.cells[1] = DeviceIdPart(deviceName, "PID_");
      row.cells[2] = TextCell(std::string(keys.Name(instance)));
      row.cells[3] = TimeCell(keys.LastWritten(instance));
    });
  });
}

// --- mounteddevices: MountedDevices at the root, one value per volume or
// drive letter. Its data is an MBR partition (12 bytes: disk signature u32,
// partition offset in bytes u64), a GPT partition ("DMIO:ID:" then the
// partition's GUID) or a device path (UTF-16 without a NUL, "\??\STORAGE#...").
// The disk signature is written as Windows' tools show a disk's ID: 8 hex digits.

constexpr std::array<std::string_view, 1> kMountedDevicesPaths{"MountedDevices"};
constexpr std::array kMountedDevicesColumns{
    Column{"name", ColumnType::kText}, Column{"kind", ColumnType::kText},
    Column{"disk_signature", ColumnType::kText}, Column{"partition_offset", ColumnType::kInteger},
    Column{"device", ColumnType::kText}};
constexpr size_t kMbrPartitionSize = 12;
constexpr std::string_view kGptSignature = "DMIO:ID:";
constexpr size_t kGptPartitionSize = 24;

bool StartsWith(std::span<const uint8_t> data, std::string_view prefix) {
  if (data.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (data[i] != static_cast<uint8_t>(prefix[i])) return false;
  }
  return true;
}

// Device paths are UTF-16 of printable characters only.
bool IsDevicePath(std::span<const uint8_t> data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const DataReader reader(data);
  for (size_t at = 0; at < data.size(); at += 2) {
    if (*reader.U16(at) < 0x20) return false;
  }
  return true;
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

void DecodeMountedDevice(const ValueView& value, ArtifactRow& row) {
  row.cells[0] = TextCell(std::string(value.name));
  if (!value.held) return NoteNotHeld(row, "data");
  const DataReader reader(value.data);
  if (value.data.size() == kMbrPartitionSize) {
    row.cells[1] = TextCell("MBR partition");
    row.cells[2] = TextCell(Hex8(*reader.U32(0)));
    row.cells[3] = IntegerCell(static_cast<int64_t>(*reader.U64(4)));
  } else if (StartsWith(value.data, kGptSignature)) {
    row.cells[1] = TextCell("GPT partition");
    if (!reader.Holds(0, kGptPartitionSize)) return AddProblem(row, DataTooShort(reader.Size(), kGptPartitionSize));
    row.cells[4] = TextCell(FormatGuid(reader.Bytes(kGptSignature.size(), 16)));
  } else if (IsDevicePath(value.data)) {
    row.cells[1] = TextCell("device");
    row.cells[4] = TextCell(Utf16Text(value.data));
  } else {
    AddProblem(row, "neither a partition nor a device path: " + std::to_string(value.data.size()) + " bytes");
  }
}

void DecodeMountedDevices(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId key = keys.Child(keys.Root(), "MountedDevices");
  if (key == kNoKey) return;
  keys.ForEachValue(key, [&](const ValueView& value) {
    DecodeMountedDevice(value, rows.AddValueRow(key, value));
    return true;
  });
}

// --- bam: the background activity moderator (and the desktop activity
// moderator, dam): Services\bam\UserSettings\<SID> (Windows 10 1709) or
// Services\bam\State\UserSettings\<SID> (later). One value per program, named
// by its path; its data starts with the last run's FILETIME. "Version" and
// "SequenceNumber" are the key's own bookkeeping.

constexpr std::array<std::string_view, 4> kBamPaths{
    "CurrentControlSet\\Services\\bam\\UserSettings", "CurrentControlSet\\Services\\bam\\State\\UserSettings",
    "CurrentControlSet\\Services\\dam\\UserSettings", "CurrentControlSet\\Services\\dam\\State\\UserSettings"};
constexpr std::array kBamColumns{Column{"sid", ColumnType::kText}, Column{"program", ColumnType::kText},
                                 Column{"last_run", ColumnType::kTime}};

void DecodeBamUser(const HiveKeys& keys, KeyId user, RowSink& rows) {
  const std::string_view sid = keys.Name(user);
  keys.ForEachValue(user, [&](const ValueView& value) {
    if (HiveKeys::SameName(value.name, "Version") || HiveKeys::SameName(value.name, "SequenceNumber")) return true;
    ArtifactRow& row = rows.AddValueRow(user, value);
    row.cells[0] = TextCell(std::string(sid));
    row.cells[1] = TextCell(std::string(value.name));
    if (!value.held) {
      NoteNotHeld(row, "data");
    } else {
      row.cells[2] = FileTimeData(value.data, row);
    }
    return true;
  });
}

void DecodeBam(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  const KeyId services = keys.Child(context.controlSet, "Services");
  for (const std::string_view moderator : {"bam", "dam"}) {
    const KeyId root = keys.Child(services, moderator);
    for (const std::string_view place : {"UserSettings", "State\\UserSettings"}) {
      keys.ForEachChild(keys.Find(root, place), [&](KeyId user) { DecodeBamUser(keys, user, rows); });
    }
  }
}

// --- appcompatcache: Control\Session Manager\AppCompatCache\AppCompatCache
// (XP 32-bit: ...\AppCompatibility\AppCompatCache), decoded by appcompat_cache.cpp.

constexpr std::array<std::string_view, 2> kAppCompatPaths{
    "CurrentControlSet\\Control\\Session Manager\\AppCompatCache",
    "CurrentControlSet\\Control\\Session Manager\\AppCompatibility"};
constexpr std::array kAppCompatColumns{
    Column{"position", ColumnType::kInteger}, Column{"path", ColumnType::kText},
    Column{"last_modified", ColumnType::kTime}, Column{"size", ColumnType::kInteger},
    Column{"executed", ColumnType::kBoolean}};
constexpr std::string_view kAppCompatValue = "AppCompatCache";

// The rows of the cache read from value, a value of key.
void AddAppCompatRows(KeyId key, const ValueView& value, AppCompatCache& cache, RowSink& rows) {
  for (AppCompatEntry& entry : cache.entries) {
    ArtifactRow& row = rows.AddValueRow(key, value);
    row.cells[0] = IntegerCell(entry.position);
    row.cells[1] = TextCell(std::move(entry.path));
    row.cells[2] = TimeCell(entry.lastModified);
    if (entry.size) row.cells[3] = IntegerCell(static_cast<int64_t>(*entry.size));
    if (entry.executed) row.cells[4] = BooleanCell(*entry.executed);
    row.problem = std::move(entry.problem);
  }
  if (cache.problem.empty()) return;
  ArtifactRow& row = rows.AddValueRow(key, value);
  if (cache.problemPosition) row.cells[0] = IntegerCell(*cache.problemPosition);
  row.problem = std::move(cache.problem);
}

void DecodeAppCompat(const DecodeContext& context, RowSink& rows) {
  const HiveKeys& keys = context.keys;
  for (const std::string_view place :
       {"Control\\Session Manager\\AppCompatCache", "Control\\Session Manager\\AppCompatibility"}) {
    const KeyId key = keys.Find(context.controlSet, place);
    const std::optional<ValueView> value = key == kNoKey ? std::nullopt : keys.FindValue(key, kAppCompatValue);
    if (!value) continue;
    if (!value->held) {
      NoteNotHeld(rows.AddValueRow(key, *value), "data");
      continue;
    }
    AppCompatCache cache = DecodeAppCompatCache(value->data);
    AddAppCompatRows(key, *value, cache, rows);
  }
}

constexpr std::array kSystemArtifacts{
    Artifact{"computername", "Computer name", kSystemHive, kComputerNamePaths, kComputerNameColumns,
             DecodeComputerName},
    Artifact{"timezone", "Time zone", kSystemHive, kTimeZonePaths, kTimeZoneColumns, DecodeTimeZone},
    Artifact{"shutdown", "Last shutdown", kSystemHive, kShutdownPaths, kShutdownColumns, DecodeShutdown},
    Artifact{"services", "Services and drivers", kSystemHive, kServicesPaths, kServicesColumns, DecodeServices},
    Artifact{"usbstor", "USB storage devices", kSystemHive, kUsbStorPaths, kUsbStorColumns, DecodeUsbStor},
    Artifact{"usb", "USB devices", kSystemHive, kUsbPaths, kUsbColumns, DecodeUsb},
    Artifact{"mounteddevices", "Mounted devices", kSystemHive, kMountedDevicesPaths, kMountedDevicesColumns,
             DecodeMountedDevices},
    Artifact{"bam", "Background activity moderator", kSystemHive, kBamPaths, kBamColumns, DecodeBam},
    Artifact{"appcompatcache", "AppCompatCache (ShimCache)", kSystemHive, kAppCompatPaths, kAppCompatColumns,
             DecodeAppCompat},
};

}  // namespace

std::span<const Artifact> SystemArtifacts() { return kSystemArtifacts; }

}  // namespace artifacts
