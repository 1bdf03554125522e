#include "artifacts/decoders.h"

#include "hive/text.h"

namespace artifacts {

std::string DataTooShort(size_t held, size_t needed) {
  std::string text = "data too short: ";
  text += std::to_string(held);
  text += " of ";
  text += std::to_string(needed);
  text += " bytes";
  return text;
}

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr int64_t kSecondsPerDay = 86'400;

// Days from 1601-01-01 to the date (proleptic Gregorian, as FILETIME counts).
int64_t DaysSince1601(int64_t year, int64_t month, int64_t day) {
  // Days from the civil date (the era arithmetic of Howard Hinnant's
  // days_from_civil), shifted to the 1601 epoch.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t daysSince1970 = era * 146097 + dayOfEra - 719468;
  return daysSince1970 + kSecondsFrom1601To1970 / kSecondsPerDay;
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(int64_t year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The FILETIME of a valid date and time; 0 when a field is out of range.
uint64_t FileTimeOf(int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second,
                    unsigned ticks) {
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    return 0;
  }
  const int64_t seconds =
      DaysSince1601(year, month, day) * kSecondsPerDay + int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  return static_cast<uint64_t>(seconds) * kTicksPerSecond + ticks;
}

}  // namespace

uint64_t FileTimeFromSystemTime(std::span<const uint8_t> sixteenBytes) {
  const DataReader reader(sixteenBytes);
  if (!reader.Holds(0, 16)) return 0;
  const auto field = [&](size_t index) { return *reader.U16(index * 2); };
  const unsigned milliseconds = field(7);
  if (milliseconds > 999) return 0;
  // Field 2 is the day of the week, which the date already decides.
  return FileTimeOf(field(0), field(1), field(3), field(4), field(5), field(6), milliseconds * 10'000);
}

uint64_t FileTimeFromUnixSeconds(int64_t seconds) {
  if (seconds == 0 || seconds < -kSecondsFrom1601To1970) return 0;
  const int64_t since1601 = seconds + kSecondsFrom1601To1970;
  if (static_cast<uint64_t>(since1601) > UINT64_MAX / kTicksPerSecond) return 0;
  return static_cast<uint64_t>(since1601) * kTicksPerSecond;
}

uint64_t FileTimeFromDosDateTime(uint16_t date, uint16_t time) {
  if (date == 0 && time == 0) return 0;
  // Date: day in bits 0-4, month in 5-8, years since 1980 in 9-15. Time:
  // seconds / 2 in bits 0-4, minutes in 5-10, hours in 11-15.
  return FileTimeOf(1980 + (date >> 9), (date >> 5) & 0x0f, date & 0x1f, time >> 11, (time >> 5) & 0x3f,
                    (time & 0x1f) * 2u, 0);
}

std::string Utf16Text(std::span<const uint8_t> bytes) {
  std::string text;
  hive::AppendUtf16Le(text, bytes.data(), bytes.size());
  return text;
}

std::vector<std::string> MultiStrings(std::span<const uint8_t> bytes) {
  std::vector<std::string> strings;
  size_t at = 0;
  while (at + 1 < bytes.size()) {
    std::string text;
    const size_t units = hive::AppendUtf16Le(text, bytes.data() + at, bytes.size() - at);
    if (units == 0) break;
    strings.push_back(std::move(text));
    at += (units + 1) * 2;
  }
  return strings;
}

std::string ValueText(const ValueView& value) { return Utf16Text(value.data); }

std::optional<uint32_t> ValueDword(const ValueView& value) {
  const DataReader reader(value.data);
  constexpr uint32_t kRegDwordBigEndian = 5;
  if (value.type == kRegDwordBigEndian && reader.Holds(0, 4)) {
    const std::span<const uint8_t> b = reader.Bytes(0, 4);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  }
  return reader.U32(0);
}

std::optional<uint64_t> ValueQword(const ValueView& value) { return DataReader(value.data).U64(0); }

std::string Rot13(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>('a' + (c - 'a' + 13) % 26);
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>('A' + (c - 'A' + 13) % 26);
    }
  }
  return out;
}

std::vector<std::string> MruListOrder(const ValueView& mruList) {
  std::vector<std::string> names;
  for (const char c : ValueText(mruList)) names.emplace_back(1, c);
  return names;
}

std::vector<uint32_t> MruListExOrder(std::span<const uint8_t> bytes) {
  std::vector<uint32_t> order;
  const DataReader reader(bytes);
  for (size_t at = 0; reader.Holds(at, 4); at += 4) {
    const uint32_t entry = *reader.U32(at);
    if (entry == 0xFFFFFFFFu) break;
    order.push_back(entry);
  }
  return order;
}

std::string FormatGuid(std::span<const uint8_t> sixteenBytes) {
  const DataReader reader(sixteenBytes);
  if (!reader.Holds(0, 16)) return {};
  // "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", written by hand:
  // shell items name many GUIDs, and printf is slow at it.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(38);
  const auto hex = [&](uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0x0f];
  };
  const uint8_t* b = sixteenBytes.data();
  text += '{';
  hex(*reader.U32(0), 8);
  text += '-';
  hex(*reader.U16(4), 4);
  text += '-';
  hex(*reader.U16(6), 4);
  text += '-';
  for (int i = 8; i < 16; ++i) {
    if (i == 10) text += '-';
    hex(b[i], 2);
  }
  text += '}';
  return text;
}

std::string FormatSid(std::span<const uint8_t> bytes) {
  // Revision (1), sub-authority count (at most 15), the identifier authority
  // as a 48-bit big-endian number, then the sub-authorities (u32 each).
  const DataReader reader(bytes);
  if (bytes.size() < 8 || bytes[0] != 1 || bytes[1] > 15) return {};
  const size_t count = bytes[1];
  if (!reader.Holds(8, count * 4)) return {};
  uint64_t authority = 0;
  for (size_t i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
  std::string sid = "S-1-";
  sid += std::to_string(authority);
  for (size_t i = 0; i < count; ++i) {
    sid += '-';
    sid += std::to_string(*reader.U32(8 + i * 4));
  }
  return sid;
}

}  // namespace artifacts
