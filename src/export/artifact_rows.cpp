#include "export/artifact_rows.h"

#include <charconv>

#include "artifacts/artifact_table.h"
#include "export/json_export.h"
#include "export/timeline.h"

namespace exporting {

namespace {

void AppendInteger(int64_t number, std::string& out) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

void AppendJsonCell(const artifacts::Cell& cell, std::string& out) {
  if (const auto* text = std::get_if<std::string>(&cell)) {
    AppendJsonString(*text, out);
  } else if (const auto* number = std::get_if<int64_t>(&cell)) {
    AppendInteger(*number, out);
  } else if (const auto* time = std::get_if<artifacts::FileTime>(&cell); time != nullptr && time->value != 0) {
    out += '"';
    out += FormatIsoTime(time->value);
    out += '"';
  } else if (const auto* flag = std::get_if<bool>(&cell)) {
    out += *flag ? "true" : "false";
  } else {
    out += "null";
  }
}

// What a row is about, for a timeline line: its first text, else its value's
// name, else its key's name.
std::string RowSummary(const artifacts::ArtifactRow& row, const artifacts::HiveKeys& keys) {
  for (const artifacts::Cell& cell : row.cells) {
    if (const auto* text = std::get_if<std::string>(&cell); text != nullptr && !text->empty()) return *text;
  }
  if (row.fromValue && !row.valueName.empty()) return row.valueName;
  return std::string(keys.Name(row.key));
}

bool CellSays(const artifacts::Cell& cell, std::string_view text) {
  const auto* held = std::get_if<std::string>(&cell);
  return held != nullptr && *held == text && !text.empty();
}

}  // namespace

void AppendArtifactJsonLine(const artifacts::Artifact& artifact, const artifacts::ArtifactRow& row,
                            const artifacts::HiveKeys& keys, std::string& out) {
  out += "{\"artifact\":";
  AppendJsonString(artifact.id, out);
  out += ",\"key\":";
  AppendJsonString(keys.Path(row.key), out);
  out += ",\"value\":";
  if (row.fromValue) {
    AppendJsonString(row.valueName, out);
  } else {
    out += "null";
  }
  const std::string keyPath = keys.Path(row.key);
  for (size_t i = 0; i < artifact.columns.size() && i < row.cells.size(); ++i) {
    const std::string_view name = artifact.columns[i].name;
    // A column named "key" (the Run and Uninstall artifacts name the key they
    // list) would repeat the line's own field: written once when it says the
    // same, else as "key_column".
    const bool clashes = name == "key" || name == "value" || name == "artifact" || name == "problem";
    if (clashes && CellSays(row.cells[i], name == "key" ? keyPath : std::string_view{})) continue;
    out += ',';
    AppendJsonString(clashes ? std::string(name) + "_column" : std::string(name), out);
    out += ':';
    AppendJsonCell(row.cells[i], out);
  }
  if (!row.problem.empty()) {
    out += ",\"problem\":";
    AppendJsonString(row.problem, out);
  }
  out += "}\n";
}

void AppendCellText(const artifacts::Cell& cell, std::string& out) {
  if (const auto* text = std::get_if<std::string>(&cell)) {
    out += *text;
  } else if (const auto* number = std::get_if<int64_t>(&cell)) {
    AppendInteger(*number, out);
  } else if (const auto* time = std::get_if<artifacts::FileTime>(&cell); time != nullptr && time->value != 0) {
    out += FormatIsoTime(time->value);
  } else if (const auto* flag = std::get_if<bool>(&cell)) {
    out += *flag ? "true" : "false";
  }
}

std::vector<ArtifactEvent> CollectArtifactEvents(const artifacts::DecodeContext& context) {
  std::vector<ArtifactEvent> events;
  for (const artifacts::Artifact* artifact : artifacts::ArtifactsFor(context.kind)) {
    for (const artifacts::ArtifactRow& row : artifacts::DecodeArtifact(*artifact, context)) {
      for (size_t i = 0; i < artifact->columns.size() && i < row.cells.size(); ++i) {
        const auto* time = std::get_if<artifacts::FileTime>(&row.cells[i]);
        if (time == nullptr || time->value == 0) continue;
        ArtifactEvent& event = events.emplace_back();
        event.time = time->value;
        event.item = row.key;
        event.artifact = artifact;
        event.description = std::string(artifact->title) + " " + std::string(artifact->columns[i].name) + ": " +
                            RowSummary(row, context.keys);
      }
    }
  }
  return events;
}

}  // namespace exporting
