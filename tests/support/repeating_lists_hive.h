#pragma once
// Hives whose lists name one record over and over.
//
// HiveWithRepeatingLists: a hive whose subkey lists repeat: a chain of depth keys below the root where
// each key's list names the next key twice. Read naively that is 2^depth
// items from a file of a few tens of KiB; the walk ends on its budget.

#include <cstdint>
#include <string>
#include <vector>

#include "hive/format.h"
#include "hive_builder.h"

namespace testsupport {

inline std::vector<uint8_t> HiveWithRepeatingLists(int depth) {
  HiveBuilder builder;
  std::vector<HiveBuilder::KeyId> chain{builder.Root()};
  for (int i = 0; i < depth; ++i) {
    const auto next = builder.AddKey(chain.back(), "n" + std::to_string(i));
    builder.AddKey(chain.back(), "twin");
    chain.push_back(next);
  }
  builder.Build();
  // An "lf" list's second element is at record offset 12.
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    builder.PatchU32(builder.SubkeyListOffset(chain[i]) + 12, HiveBuilder::CellOf(builder.KeyOffset(chain[i + 1])));
  }
  return builder.Bytes();
}

// NtuserListingOneRecordOverAndOver: an NTUSER hive (Windows never writes
// one so) whose key Software\Microsoft\Windows\CurrentVersion\Run has a
// value list naming its one value "tool" times times; with subkeys, whose
// key CurrentVersion\Explorer\MountPoints2 has a subkey list ("li") naming
// its one subkey "E" times times.
inline std::vector<uint8_t> NtuserListingOneRecordOverAndOver(bool subkeys, uint32_t times) {
  HiveBuilder b;
  for (const char* name : {"Control Panel", "Environment"}) b.AddKey(b.Root(), name);
  HiveBuilder::KeyId key = b.AddKey(b.Root(), "Software");
  for (const char* name : {"Microsoft", "Windows", "CurrentVersion"}) key = b.AddKey(key, name);
  if (subkeys) key = b.AddKey(b.AddKey(key, "Explorer"), "MountPoints2");
  if (!subkeys) key = b.AddKey(key, "Run");
  const auto child = b.AddKey(key, "E");
  const auto value = b.AddValue(key, "tool", 1, std::vector<uint8_t>{'c', 0, 0, 0});
  b.Build();
  std::vector<uint8_t> list;
  if (subkeys) list = {'l', 'i', static_cast<uint8_t>(times & 0xff), static_cast<uint8_t>(times >> 8)};
  const uint32_t listed = HiveBuilder::CellOf(subkeys ? b.KeyOffset(child) : b.ValueOffset(value));
  for (uint32_t i = 0; i < times; ++i) {
    for (int shift = 0; shift < 32; shift += 8) list.push_back(static_cast<uint8_t>(listed >> shift));
  }
  const uint32_t listCell = HiveBuilder::CellOf(b.AppendCell(list));
  namespace node = hive::key_node;
  b.PatchU32(b.KeyOffset(key) + (subkeys ? node::kSubkeyCount : node::kValueCount), times);
  b.PatchU32(b.KeyOffset(key) + (subkeys ? node::kSubkeyList : node::kValueList), listCell);
  return b.Bytes();
}

}  // namespace testsupport
