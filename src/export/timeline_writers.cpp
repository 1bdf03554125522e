#include "export/timeline_writers.h"

#include <algorithm>
#include <charconv>

#include "export/json_export.h"

namespace exporting {
namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kTicksFrom1601To1970 = 11'644'473'600ull * kTicksPerSecond;

void AppendNumber(uint64_t number, std::string& out) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

void AppendCsvField(std::string_view text, std::string& out) {
  const bool plain = std::none_of(text.begin(), text.end(),
                                  [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
  if (plain) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The path as a bodyfile name. mactime decodes %XX in names, so "%" and the
// field separator "|" are written as %25 and %7C and come out as they were;
// a control character (a line feed would make mactime drop the row) is
// written as \xHH, as keyloom-dump writes it in a label.
void AppendBodyfileName(std::string_view text, std::string& out) {
  constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '|' || byte == '%') {
      out += byte == '|' ? "%7C" : "%25";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
}

void AppendRow(TimelineFormat format, const TimelineEntry& entry, std::string_view path, std::string_view time,
               std::string& out) {
  switch (format) {
    case TimelineFormat::kCsv:
      out += time;
      out += ',';
      AppendCsvField(path, out);
      out += ',';
      AppendNumber(entry.subkeys, out);
      out += ',';
      AppendNumber(entry.values, out);
      out += entry.Deleted() ? ",yes\r\n" : ",no\r\n";
      break;
    case TimelineFormat::kBodyfile:
      out += "0|";
      AppendBodyfileName(path, out);
      out += "|0|0|0|0|0|0|";
      AppendNumber(entry.lastWritten < kTicksFrom1601To1970 ? 0 : (entry.lastWritten - kTicksFrom1601To1970) / kTicksPerSecond, out);
      out += "|0|0\n";
      break;
    case TimelineFormat::kJsonLines:
      out += "{\"last_written\":\"";
      out += time;
      out += "\",\"path\":";
      AppendJsonString(path, out);
      out += ",\"subkeys\":";
      AppendNumber(entry.subkeys, out);
      out += ",\"values\":";
      AppendNumber(entry.values, out);
      out += entry.Deleted() ? ",\"deleted\":true}\n" : ",\"deleted\":false}\n";
      break;
  }
}

}  // namespace

std::string_view TimelineHeader(TimelineFormat format) {
  return format == TimelineFormat::kCsv ? "last_written,path,subkeys,values,deleted\r\n" : "";
}

void AppendTimelineRow(TimelineFormat format, const TimelineEntry& entry, std::string_view path, std::string& out) {
  AppendRow(format, entry, path, format == TimelineFormat::kBodyfile ? "" : FormatIsoTime(entry.lastWritten), out);
}

ExportOutcome WriteTimeline(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                            std::span<const TimelineEntry> entries, TimelineFormat format, OutputSink& sink,
                            ExportSignals* signals) {
  BufferedOutput out(sink);
  out.Append(TimelineHeader(format));
  std::string line;
  std::string path;
  std::string time;
  uint64_t timeOf = 0;
  int64_t written = 0;
  for (const TimelineEntry& entry : entries) {
    if (signals != nullptr && signals->stop.load(std::memory_order_relaxed)) return ExportOutcome::kStopped;
    // Entries come sorted by time, so equal times follow each other.
    if (format != TimelineFormat::kBodyfile && (time.empty() || entry.lastWritten != timeOf)) {
      time = FormatIsoTime(entry.lastWritten);
      timeOf = entry.lastWritten;
    }
    path.clear();
    AppendTimelinePath(keys, deletedRecords, entry, path);
    line.clear();
    AppendRow(format, entry, path, time, line);
    out.Append(line);
    if (out.Failed()) return ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.store(++written, std::memory_order_relaxed);
  }
  return out.Flush() ? ExportOutcome::kComplete : ExportOutcome::kWriteFailed;
}

}  // namespace exporting
