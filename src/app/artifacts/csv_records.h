#pragma once
// Records written as CSV (RFC 4180, UTF-8, CRLF) with the Timeline's fields
// (exporting::AppendCsvField). No Qt: it runs on a FileWriteJob's worker thread.

#include <string>
#include <string_view>
#include <vector>

#include "export/export_walk.h"
#include "export/output_sink.h"

namespace ui {

using CsvRecord = std::vector<std::string>;

// Appends one record, CRLF included.
void AppendCsvRecord(const CsvRecord& record, std::string& out);

// Writes header then records. signals counts records as keysWritten and may
// stop the run between two records.
exporting::ExportOutcome WriteCsvRecords(const CsvRecord& header, const std::vector<CsvRecord>& records,
                                         exporting::OutputSink& sink, exporting::ExportSignals* signals = nullptr);

}  // namespace ui
