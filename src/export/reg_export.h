#pragma once
// A key and its subtree as a .reg file in regedit's version-5 form, which
// regedit and hivexregedit import back losslessly: every key, value name,
// type number and data byte.
//
//   Windows Registry Editor Version 5.00
//   <blank line>[ROOT\path]            one per key, in pre-order
//   @=... or "name"=...                 its values in value-list order
//
// Data: "text" for a REG_SZ that is exactly its text in UTF-16LE and one
// terminating NUL, with no NUL, CR or LF in the text; dword:%08x for a
// REG_DWORD of exactly 4 bytes; hex: for REG_BINARY; hex(N): (N the type in
// lower-case hexadecimal) for everything else. Hex bytes are lower-case
// pairs separated by commas, lines wrapped before 80 columns with a trailing
// backslash and the next line indented by two spaces. Lines end in CRLF.
//
// The hive is read in place (hive/in_place.h), never through its read
// position, so an export may run on a worker thread while the GUI thread
// lists values. A hive whose file is not mapped exports keys without values
// (see CanExportValues).

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

enum class RegEncoding {
  kUtf16Le,  // with a byte-order mark: what regedit writes and reads
  kUtf8,     // without one
};

struct RegOptions {
  std::string rootName;  // e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE"; see DefaultRootName
  RegEncoding encoding = RegEncoding::kUtf16Le;
};

// The name a hive had when Windows loaded it, from its file's name (a path's
// last part; case does not matter): SYSTEM, SOFTWARE, SAM and SECURITY are
// "HKEY_LOCAL_MACHINE\NAME" (upper case), DEFAULT is "HKEY_USERS\.DEFAULT",
// NTUSER.DAT "HKEY_CURRENT_USER", UsrClass.dat
// "HKEY_CURRENT_USER\Software\Classes", anything else
// "HKEY_LOCAL_MACHINE\" and the file's name as it is.
std::string DefaultRootName(std::string_view filePath);

// True when values can be read: the hive's file is mapped.
bool CanExportValues(const hive::HiveFile& hive);

// Writes the key at tree position item and every key below it. signals, when
// given, counts the keys written and may stop the run between two keys
// (kStopped: what was written so far ends with a whole key).
ExportOutcome WriteRegExport(const hive::HiveFile& hive, const tree::KeyTree& keys,
                             const tree::KeyIndex& index, int32_t item, const RegOptions& options,
                             OutputSink& sink, ExportSignals* signals = nullptr);

// One value's line(s) as UTF-8 text, CRLF ended: "name"=data or @=data.
// isDefault writes @ whatever name says. Exposed for tests and the fuzzer.
void AppendRegValue(std::string_view name, bool isDefault, uint32_t type,
                    std::span<const uint8_t> data, std::string& out);

}  // namespace exporting
