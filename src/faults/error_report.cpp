#include "faults/error_report.h"

#include <string_view>

#include "faults/fault_codes.h"
#include "faults/fault_trap.h"

namespace faults {

std::string FormatErrorReport(const FaultRecord& record) {
  // The line is counted from 1 in the report; widen so that no stored value overflows.
  const int64_t shown_line = static_cast<int64_t>(record.line) + 1;
  std::string text = "There was an error:\r\n\r\n";
  text += "Description: ";
  text += DescribeFaultCode(record.code);
  text += "\r\nAddr: ";
  text += std::to_string(ReportedAddress(record.address));
  text += "\r\nModule: ";
  text += std::string_view(record.module != nullptr ? record.module : "");
  text += "\r\nLineNR: ";
  text += std::to_string(shown_line);
  text += "\r\nTotal number of errors: ";
  text += std::to_string(record.count);
  text += "\r\n\r\nContinue program ?";
  return text;
}

std::string FormatErrorReport() { return FormatErrorReport(LastFault()); }

}  // namespace faults
