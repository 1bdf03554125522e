#pragma once
// A key and its subtree as one JSON document, written as the walk goes (no
// document tree in memory). The schema (man/keyloom-dump.1 describes it):
//
//   {"name": "...", "path": "...", "last_written": "2019-03-18T14:02:11.1234567Z",
//    "class_name": "..." or null,
//    "values": [{"name": "...", "default": false, "type": 1, "type_name": "REG_SZ",
//                "length": 12, "data": "6100...",
//                "string": "..." | "strings": [...] | "number": 42}],
//    "subkeys": [ {the same for each subkey}, ... ]}
//
// "path" is the key's path as tree::KeyPathOf gives it. "type_name" is null
// for a type Windows has no name for. "data" is always there, in lower-case
// hex; a decoded form is added only where it gives the data back exactly:
// "string" for REG_SZ, REG_EXPAND_SZ and REG_LINK that are UTF-16LE text and
// one terminating NUL; "strings" for REG_MULTI_SZ that is non-empty strings
// each ended by a NUL, then one more NUL (or only that NUL); "number" for a
// REG_DWORD or REG_DWORD_BIG_ENDIAN of 4 bytes and a REG_QWORD of 8.
//
// Reads in place, as WriteRegExport does.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "export/export_walk.h"
#include "export/output_sink.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace exporting {

ExportOutcome WriteJsonExport(const hive::HiveFile& hive, const tree::KeyTree& keys,
                              const tree::KeyIndex& index, int32_t item, OutputSink& sink,
                              ExportSignals* signals = nullptr);

// Appends text as a JSON string, quotes included: ", \ and control
// characters escaped; text is UTF-8 and is written as it is otherwise.
void AppendJsonString(std::string_view text, std::string& out);

}  // namespace exporting
