#include "app/artifacts/csv_records.h"

#include "export/timeline_writers.h"

namespace ui {

void AppendCsvRecord(const CsvRecord& record, std::string& out) {
  for (size_t at = 0; at < record.size(); ++at) {
    if (at > 0) out += ',';
    exporting::AppendCsvField(record[at], out);
  }
  out += "\r\n";
}

exporting::ExportOutcome WriteCsvRecords(const CsvRecord& header, const std::vector<CsvRecord>& records,
                                         exporting::OutputSink& sink, exporting::ExportSignals* signals) {
  exporting::BufferedOutput output(sink);
  std::string line;
  AppendCsvRecord(header, line);
  output.Append(line);
  for (const CsvRecord& record : records) {
    if (signals != nullptr && signals->stop.load()) return exporting::ExportOutcome::kStopped;
    line.clear();
    AppendCsvRecord(record, line);
    output.Append(line);
    if (output.Failed()) return exporting::ExportOutcome::kWriteFailed;
    if (signals != nullptr) signals->keysWritten.fetch_add(1);
  }
  return output.Flush() ? exporting::ExportOutcome::kComplete : exporting::ExportOutcome::kWriteFailed;
}

}  // namespace ui
