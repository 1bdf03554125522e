#pragma once
// Where fault interception joins the program (see faults/fault_trap.h and
// error_report.h).

namespace ui {

// Installs fault interception in silent mode. Called first in main, before any
// of the program's own steps; StartErrorReports then switches it to reporting.
void InstallFaultInterception();

// Puts back the fault handling that was in place before
// InstallFaultInterception. Called by ProgramEnd.
void RemoveFaultInterception();

// Called first on every thread Keyloom starts (the loader thread), before it
// touches the hive: the thread gets what a fault on it needs, such as a stack
// of its own for the signal handler.
void PrepareThreadForFaults();

}  // namespace ui
