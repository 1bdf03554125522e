#pragma once
// The ErrorReport: what the user sees when a hardware fault is intercepted, on
// the GUI thread or on the loader thread, and where they choose to continue
// past the faulting instruction (Yes) or to end the program (No).
//
// A fault on the GUI thread shows the report from inside the fault handler. A
// fault on another thread is handed to the GUI thread through a pipe that the
// GUI thread watches; the faulting thread waits for the answer.

#include <chrono>

#include "faults/fault_record.h"

namespace ui {

// Registers ShowErrorReport as the fault handler (report mode) and starts
// watching for faults of other threads. Call on the GUI thread, with the
// QApplication in place and the fault trap installed.
void StartErrorReports();

// The fault handler. Runs on the faulting thread, inside the fault
// interception. Returns 1 when the user chose to continue; does not return
// when the user chose to end the program.
int ShowErrorReport();

// Shows the report of record in a modal message box ("Error!", the critical
// icon, Yes and No), owned by Keyloom's active window when it has one.
// Returns true for Yes. GUI thread only.
bool AskToContinue(const faults::FaultRecord& record);

// Answers at most one fault that another thread has handed over, waiting up
// to timeout for one. For a GUI thread that waits for another thread to end
// outside the event loop: it must keep answering, or the two wait on each other.
void ServeFaultReports(std::chrono::milliseconds timeout);

// The program end after the answer No: the fault interception is removed and
// the process ends with status 0 at once. Open files, the hive among them, are
// closed by the process's end; nothing that other threads may still be using
// is released first. Safe on any thread, also inside the fault handler.
[[noreturn]] void EndProgramAfterFault();

}  // namespace ui
