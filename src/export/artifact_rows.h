#pragma once
// Decoded artifact rows (artifacts/artifact.h) written out: as JSON lines
// (keyloom-dump --artifacts), as plain cell texts for tab-separated lines and
// CSV, and as timeline events, one per decoded time.
//
// JSON line: {"artifact":"ID","key":"PATH","value":"NAME" or null, then each
// column as "NAME":VALUE in the artifact's order: text as a string, integers
// as numbers, booleans as true/false, times as ISO 8601 UTC to 100 ns
// (2012-04-06T18:54:34.1234567Z); an empty cell, or a time of 0, is null.
// A row whose source data is malformed ends with "problem":"TEXT". A column
// named as one of the line's own fields ("key") is left out when it says the
// same, else written as "key_column".

#include <cstdint>
#include <string>
#include <vector>

#include "artifacts/artifact.h"

namespace exporting {

// Appends the row's JSON line, line feed included.
void AppendArtifactJsonLine(const artifacts::Artifact& artifact, const artifacts::ArtifactRow& row,
                            const artifacts::HiveKeys& keys, std::string& out);

// Appends a cell as plain text: text as it is, integers in decimal, times as
// ISO 8601 UTC to 100 ns, booleans as "true"/"false", an empty cell as nothing.
void AppendCellText(const artifacts::Cell& cell, std::string& out);

// One decoded time of one row, for the timeline.
struct ArtifactEvent {
  uint64_t time = 0;                          // FILETIME
  int32_t item = -1;                          // the row's source key (KeyTree position)
  const artifacts::Artifact* artifact = nullptr;
  std::string description;                    // "UserAssist last_run: UEME_RUNPATH:C:\\...\\notepad.exe"
};

// Every non-empty time cell of every artifact that applies to the hive's kind.
std::vector<ArtifactEvent> CollectArtifactEvents(const artifacts::DecodeContext& context);

}  // namespace exporting
