#pragma once
// A hive whose subkey lists repeat: a chain of depth keys below the root where
// each key's list names the next key twice. Read naively that is 2^depth
// items from a file of a few tens of KiB; the walk ends on its budget.

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace testsupport
