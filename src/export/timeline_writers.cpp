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

// The entry's artifact event, when it is one.
const ArtifactEvent* EventOf(const TimelineEntry& entry, const std::vector<ArtifactEvent>* events) {
  if (events == nullptr || !entry.IsEvent() || static_cast<size_t>(entry.event) >= events->size()) return nullptr;
  return &(*events)[static_cast<size_t>(entry.event)];
}

void AppendRow(TimelineFormat format, const TimelineEntry& entry, std::string_view path, std::string_view time,
               std::string& out, const std::vector<ArtifactEvent>* events) {
  const ArtifactEvent* event = EventOf(entry, events);
  switch (format) {
    case TimelineFormat::kCsv:
      out += time;
      out += ',';
      AppendCsvField(path, out);
      out += ',';
      AppendNumber(entry.subkeys, out);
      out += ',';
      AppendNumber(entry.values, out);
      out += entry.Deleted() ? ",yes" : ",no";
      if (events != nullptr) {
        out += ',';
        if (event != nullptr) AppendCsvField(event->artifact->id, out);
        out += ',';
        if (event != nullptr) AppendCsvField(event->description, out);
      }
      out += "\r\n";
      break;
    case TimelineFormat::kBodyfile:
      out += "0|";
      AppendBodyfileName(event != nullptr ? std::string_view(event->description) : path, out);
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
      out += entry.Deleted() ? ",\"deleted\":true" : ",\"deleted\":false";
      if (events != nullptr) {
        out += ",\"artifact\":";
        if (event != nullptr) {
          AppendJsonString(event->artifact->id, out);
          out += ",\"description\":";
          AppendJsonString(event->description, out);
        } else {
          out += "null,\"description\":null";
        }
      }
      out += "}\n";
      break;
  }
}

}  // namespace

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

std::string_view TimelineHeader(TimelineFormat format, bool withEvents) {
  if (format != TimelineFormat::kCsv) return "";
  return withEvents ? "last_written,path,subkeys,values,deleted,artifact,description\r\n"
                    : "last_written,path,subkeys,values,deleted\r\n";
}

void AppendTimelineRow(TimelineFormat format, const TimelineEntry& entry, std::string_view path, std::string& out,
                       const std::vector<ArtifactEvent>* events) {
  AppendRow(format, entry, path, format == TimelineFormat::kBodyfile ? "" : FormatIsoTime(entry.lastWritten), out,
            events);
}

ExportOutcome WriteTimeline(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                            std::span<const TimelineEntry> entries, TimelineFormat format, OutputSink& sink,
                            ExportSignals* signals, const std::vector<ArtifactEvent>* events) {
  BufferedOutput out(sink);
  out.Append(TimelineHeader(format, events != nullptr));
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
    AppendRow(format, entry, path, time, line, events);
    out.Append(line);
    if (out.Failed()) return ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.store(++written, std::memory_order_relaxed);
  }
  return out.Flush() ? ExportOutcome::kComplete : ExportOutcome::kWriteFailed;
}

}  // namespace exporting
