#pragma once

// The text of the error report shown for a fault. No Qt: the dialog that shows it lives
// in the application.

#include <string>

#include "faults/fault_record.h"

namespace faults {

// The report for one fault, byte for byte, lines separated by "\r\n":
//   There was an error:
//   (empty line)
//   Description: <DescribeFaultCode(code)>
//   Addr: <ReportedAddress(address), signed decimal>
//   Module: <module>
//   LineNR: <line + 1>          (0 when the line is unknown, line == -1)
//   Total number of errors: <count>
//   (empty line)
//   Continue program ?          (no line break after it)
// Allocates: do not call it from the trap's silent path; a report-mode handler may.
std::string FormatErrorReport(const FaultRecord& record);

// The report for the last fault the trap recorded (LastFault()).
std::string FormatErrorReport();

}  // namespace faults
