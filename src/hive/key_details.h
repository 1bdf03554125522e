#pragma once
// What a key node holds beyond its name and lists: the time it was last
// written, its class name, its stored counts and flags. For the viewer's
// tooltips and Key Properties.
//
// Every read here is in place from the map (HiveFile::BytesAt): none uses the
// hive's read position, so these calls are safe on any thread while another
// thread reads through the primitives, as long as the hive stays open.

#include <cstdint>
#include <string>

#include "hive/hive_file.h"

namespace hive {

enum class ClassNameState {
  kNone,     // class name cell 0xFFFFFFFF, or a length of 0
  kPresent,  // className holds it
  kNotHeld,  // the key names a class name that the file does not hold
};

struct KeyDetails {
  // False when the map does not hold the key node's 76-byte fixed part (the
  // file could not be mapped, or the record lies past its end); every other
  // field is then zero.
  bool held = false;
  uint32_t recordOffset = 0;
  uint64_t lastWritten = 0;  // FILETIME: 100 ns units since 1601-01-01 00:00 UTC
  uint16_t flags = 0;
  int32_t subkeyCount = 0;          // as stored, signed
  int32_t volatileSubkeyCount = 0;  // as stored, signed
  int32_t valueCount = 0;           // as stored, signed
  ClassNameState classNameState = ClassNameState::kNone;
  std::string className;  // UTF-8, ending at the first NUL
};

// Reads the details of the key node at recordOffset. Never fails: a record
// the map does not hold gives held == false.
KeyDetails ReadKeyDetails(const HiveFile& hive, uint32_t recordOffset);

bool IsVolatile(const KeyDetails& key);
bool IsSymbolicLink(const KeyDetails& key);

// A FILETIME as UTC in ISO 8601 to the second: "2019-03-18 14:02:11 UTC".
// Every 64-bit value has a text (0 is "1601-01-01 00:00:00 UTC"; the largest
// is "60056-05-28 05:36:10 UTC").
std::string FormatFileTime(uint64_t fileTime);

}  // namespace hive
