#pragma once
// Gives a built key a class name: a new cell with the name in UTF-16LE, named
// by the key node's class name fields (after HiveBuilder::Build()).

#include <string_view>
#include <vector>

#include "hive/format.h"
#include "hive_builder.h"

namespace testsupport {

// Returns the class name's record offset.
inline uint32_t AttachClassName(HiveBuilder& builder, HiveBuilder::KeyId key, std::u16string_view name) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : name) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  const uint32_t record = builder.AppendCell(bytes);
  builder.PatchU32(builder.KeyOffset(key) + hive::key_node::kClassNameCell, HiveBuilder::CellOf(record));
  builder.PatchU16(builder.KeyOffset(key) + hive::key_node::kClassNameLength, static_cast<uint16_t>(bytes.size()));
  return record;
}

}  // namespace testsupport
