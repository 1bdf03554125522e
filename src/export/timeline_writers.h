#pragma once
// The timeline's entries (export/timeline.h) written as CSV, as a bodyfile
// for the Sleuth Kit's mactime, or as JSON lines.
//
//  - CSV (RFC 4180, UTF-8, CRLF): the header
//    last_written,path,subkeys,values,deleted
//    then one row per entry: ISO 8601 UTC to 100 ns, the path (quoted when it
//    holds a comma, a double quote, CR or LF; quotes doubled), the counts,
//    "no" or "yes".
//  - bodyfile: MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime with
//    the path as the name, the last-written time in whole seconds since 1970
//    as mtime (0 for a time before 1970), 0 in every other field. mactime
//    decodes %XX in names: "%" and "|" (the field separator) are written as
//    %25 and %7C, so mactime shows them as they are; a control character
//    (which would break the line) as \xHH.
//  - JSON lines: {"last_written":"...","path":"...","subkeys":N,"values":N,"deleted":false}
//
// Lines other than CSV's end in a line feed.
//
// With artifact events (a timeline that has them added, AddArtifactEvents),
// the CSV gains the columns artifact and description, the JSON lines the
// fields "artifact" and "description" (empty, and null, for a key's entry),
// and an event's bodyfile name is its description.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "deleted/deleted_records.h"
#include "export/export_walk.h"
#include "export/output_sink.h"
#include "export/timeline.h"
#include "tree/key_tree.h"

namespace exporting {

enum class TimelineFormat { kCsv, kBodyfile, kJsonLines };

// Appends text as one CSV field: quoted when it holds a comma, a double
// quote, CR or LF, its quotes doubled.
void AppendCsvField(std::string_view text, std::string& out);

// The first line of the form, line end included; empty for forms without one.
// withEvents: the timeline has artifact events.
std::string_view TimelineHeader(TimelineFormat format, bool withEvents = false);

// Appends one entry's line, line end included, with path as TimelinePath gives it.
// events: the timeline's artifact events, or null when it has none.
void AppendTimelineRow(TimelineFormat format, const TimelineEntry& entry, std::string_view path,
                       std::string& out, const std::vector<ArtifactEvent>* events = nullptr);

// The header and one line per entry, in the order given (the viewer passes
// the rows it shows). signals counts entries as keysWritten and may stop the
// run between two entries.
ExportOutcome WriteTimeline(const tree::KeyTree& keys, const deleted::DeletedRecords* deletedRecords,
                            std::span<const TimelineEntry> entries, TimelineFormat format,
                            OutputSink& sink, ExportSignals* signals = nullptr,
                            const std::vector<ArtifactEvent>* events = nullptr);

}  // namespace exporting
