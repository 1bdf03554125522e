#include "hive/key_details.h"

#include "hive/format.h"
#include "hive/in_place.h"
#include "hive/key_node.h"
#include "hive/little_endian.h"
#include "hive/text.h"

namespace hive {
namespace {

// The proleptic Gregorian date of a day count from 1970-01-01 (days may be
// negative), by the usual era arithmetic over 400-year cycles.
struct Date {
  int64_t year;
  unsigned month;
  unsigned day;
};

Date DateOfDays(int64_t days) {
  days += 719468;  // from 0000-03-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 is March
  const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

void ReadClassName(const HiveFile& hive, const KeyNode& key, KeyDetails& details) {
  const uint32_t cell = LoadU32(key.bytes.data() + key_node::kClassNameCell);
  const uint16_t length = LoadU16(key.bytes.data() + key_node::kClassNameLength);
  if (cell == kNoCell || length == 0) return;
  const uint8_t* name = hive.BytesAt(RecordOffsetOf(cell), length);
  if (name == nullptr) {
    details.classNameState = ClassNameState::kNotHeld;
    return;
  }
  details.classNameState = ClassNameState::kPresent;
  AppendUtf16Le(details.className, name, length);
}

}  // namespace

KeyDetails ReadKeyDetails(const HiveFile& hive, uint32_t recordOffset) {
  KeyDetails details;
  details.recordOffset = recordOffset;
  KeyNode key;
  if (!ReadKeyNodeInPlace(hive, recordOffset, key)) return details;
  details.held = true;
  details.lastWritten = LoadU64(key.bytes.data() + key_node::kLastWritten);
  details.flags = KeyFlags(key);
  details.subkeyCount = GetSubkeyCount(key);
  details.volatileSubkeyCount = LoadI32(key.bytes.data() + key_node::kVolatileSubkeyCount);
  details.valueCount = GetValueCount(key);
  ReadClassName(hive, key, details);
  return details;
}

bool IsVolatile(const KeyDetails& key) { return (key.flags & key_node::kVolatile) != 0; }
bool IsSymbolicLink(const KeyDetails& key) { return (key.flags & key_node::kSymbolicLink) != 0; }

std::string FormatFileTime(uint64_t fileTime) {
  constexpr uint64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  const auto seconds = static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
  const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const int64_t secondOfDay = seconds - days * 86400;
  const Date date = DateOfDays(days);
  // "YYYY-MM-DD hh:mm:ss UTC"; the year is 1601 or later (a FILETIME is
  // unsigned), five digits past 9999.
  std::string text;
  text.reserve(24);
  AppendDecimal(text, static_cast<uint64_t>(date.year), 4);
  text += '-';
  AppendDecimal(text, date.month, 2);
  text += '-';
  AppendDecimal(text, date.day, 2);
  text += ' ';
  AppendDecimal(text, static_cast<uint64_t>(secondOfDay / 3600), 2);
  text += ':';
  AppendDecimal(text, static_cast<uint64_t>(secondOfDay / 60 % 60), 2);
  text += ':';
  AppendDecimal(text, static_cast<uint64_t>(secondOfDay % 60), 2);
  text += " UTC";
  return text;
}

}  // namespace hive
