#pragma once
// An NTUSER.DAT from which Windows deleted artifact entries, the live ones
// beside them:
//  - UserAssist Count: kept.exe live, gone.exe deleted (past the value count,
//    its cells freed); both run 7 times, last 0x01d0000000000000.
//  - Shell\BagMRU: My Computer live, its node 0 (drive C:) deleted (off its
//    parent's list, its key cell freed).
//  - RunMRU listing "ab": a (calc) live, b (cmd) deleted as gone.exe is.

#include <cstdint>
#include <string_view>
#include <vector>

#include "artifacts/decoders.h"
#include "hive/format.h"
#include "hive_builder.h"
#include "shell_item_bytes.h"

namespace testsupport {

inline std::vector<uint8_t> NtuserWithDeletedEntries() {
  namespace items = shellbytes;
  HiveBuilder b;
  for (const char* name : {"Control Panel", "Environment"}) b.AddKey(b.Root(), name);
  const auto windows = b.AddKey(b.AddKey(b.AddKey(b.Root(), "Software"), "Microsoft"), "Windows");
  const auto explorer = b.AddKey(b.AddKey(windows, "CurrentVersion"), "Explorer");
  auto count = explorer;
  for (const char* name : {"UserAssist", "{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}", "Count"}) {
    count = b.AddKey(count, name);
  }
  const items::Bytes entry = items::Concat({items::Zeros(4), items::Le(7, 4), items::Zeros(52),  // run count at 4
                                            items::Le(0x01d0000000000000ull, 8), items::Zeros(4)});  // last run at 60
  b.AddValue(count, artifacts::Rot13("UEME_RUNPATH:C:\\kept.exe"), 3, entry);
  const auto goneEntry = b.AddValue(count, artifacts::Rot13("UEME_RUNPATH:C:\\gone.exe"), 3, entry);
  const auto bagMru = b.AddKey(b.AddKey(windows, "Shell"), "BagMRU");
  const auto list = [](const items::Bytes& item) { return items::Concat({item, items::Zeros(2)}); };
  const items::Bytes firstOnly = items::Concat({items::Le(0, 4), items::Le(0xffffffff, 4)});
  b.AddValue(bagMru, "0", 3, list(items::Root(items::kMyComputer)));
  b.AddValue(bagMru, "MRUListEx", 3, firstOnly);
  const auto node = b.AddKey(bagMru, "0");
  b.AddValue(node, "0", 3, list(items::Drive('C')));
  b.AddValue(node, "MRUListEx", 3, firstOnly);
  const auto runMru = b.AddKey(explorer, "RunMRU");
  const auto text = [](std::string_view ascii) {
    std::vector<uint8_t> bytes;
    for (const char c : ascii) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    return bytes;
  };
  b.AddValue(runMru, "MRUList", 1, text("ab"));
  b.AddValue(runMru, "a", 1, text("calc\\1"));
  const auto goneRun = b.AddValue(runMru, "b", 1, text("cmd\\1"));
  b.Build();
  b.PatchU32(b.KeyOffset(count) + hive::key_node::kValueCount, 1);
  b.FreeCells(b.ValueOffset(goneEntry), b.DataOffset(goneEntry));
  b.PatchU32(b.KeyOffset(runMru) + hive::key_node::kValueCount, 2);
  b.FreeCells(b.ValueOffset(goneRun), b.DataOffset(goneRun));
  b.PatchU32(b.KeyOffset(bagMru) + hive::key_node::kSubkeyCount, 0);
  b.PatchU16(b.SubkeyListOffset(bagMru) + hive::subkey_list::kCount, 0);
  b.FreeCells(b.KeyOffset(node), b.KeyOffset(node));
  return b.Bytes();
}

}  // namespace testsupport
