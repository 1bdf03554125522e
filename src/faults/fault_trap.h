#pragma once

// Fault interception: every hardware fault of the process (an access violation, a
// division by zero, an illegal or privileged instruction, a breakpoint, a stack
// overflow), on any thread, is recorded, optionally reported through a handler, and the
// faulting thread resumes just past the faulting instruction. No Qt.
//
// Life of the trap:
//   InstallFaultTrap()        silent mode: faults are counted and skipped without a word
//   SetFaultHandler(handler)  report mode: each fault calls the handler
//   RemoveFaultTrap()         the signal actions from before InstallFaultTrap are back
//
// What happens at a fault, on the faulting thread, inside the signal handler:
//   1. The fault's code, instruction address, source file and line are written to the
//      FaultRecord (the getters below) and the fault count grows by one.
//   2. In report mode the handler is called, on the faulting thread, with the fault
//      signals unblocked (a fault inside the handler is intercepted in turn). Its result
//      is ignored: returning means "continue". To stop, the handler ends the process
//      itself (see "Ending the program" below).
//   3. The thread resumes with every register as it was at the fault, except the
//      instruction pointer, which moves past the faulting instruction (its length is
//      decoded from the code bytes), so the faulting instruction has no effect. A
//      breakpoint (int3) and a single-step trap resume where the kernel left the thread:
//      already past the trap.
//   If the instruction at the fault address cannot be read or decoded (a jump to an
//   unmapped address), there is nowhere to resume: after step 2 the signal's previous
//   action is put back and the fault repeats under it, which normally ends the process
//   with that signal.
//   Signals sent by kill, raise or sigqueue are not faults: they go to the previous
//   action unchanged.
//
// Threads: the handler runs on the thread that faulted; compare std::this_thread::get_id()
// (or FaultThread() with gettid()) to find out which one that is. Every thread the
// program starts should call PrepareThreadForFaults() first (thread_stacks.h) so that it
// has an alternate signal stack: without one, a stack overflow on that thread cannot be
// reported and kills the process. The handler runs on that alternate stack
// (kAltStackSize bytes). The FaultRecord is process-wide and holds the last fault; when
// two threads fault at the same moment their fields may mix, so a handler that hands a
// fault to another thread should pass LastFault() taken at its start.
//
// Ending the program from a handler (the user chose "No"): RemoveFaultTrap() and then
// exit(0) or _exit(0) are safe from inside the handler, on any thread. This library frees
// nothing at RemoveFaultTrap or at exit that a handler still running on another thread
// could be using: the line table and thread table are never freed, and a thread's
// alternate stack is not unmapped while a handler runs on it. _exit(0) skips every
// destructor and atexit handler; exit(0) runs them, which is safe for this library but
// not necessarily for code other threads are still running.
//
// Source lines: InstallFaultTrap loads the executable's own DWARF line table. The line
// is that of the faulting instruction when it lies in the executable and has a line;
// otherwise that of the first return address on the faulting thread's stack that does
// (a fault inside a library reports the statement that called it). The module is the
// line's source file relative to the project's src/ folder (for example
// "values/value_row.cpp"), or relative to the project folder for files outside src/
// (for example "tests/faults/fault_trap_test.cpp"). Without line tables (a stripped
// build) the module is the executable's file name and the line is -1, so that the
// report's "LineNR: " (line + 1) shows 0.

#include <sys/types.h>

#include <cstdint>
#include <string_view>

#include "faults/fault_codes.h"
#include "faults/fault_record.h"
#include "faults/thread_stacks.h"

namespace faults {

// The report handler: no arguments; returns 1 to continue (the result is not used).
using FaultHandler = int (*)();

// Installs the interception for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP
// (SA_SIGINFO | SA_ONSTACK), remembering the actions installed before. Prepares the
// calling thread (PrepareThreadForFaults), the instruction decoder and, the first time,
// the executable's line table. Sets silent mode, no handler, and a fresh FaultRecord
// (count 0, code 0). Calling it again while installed keeps the remembered actions and
// only resets the mode and the record. Returns false if a signal action could not be
// installed. Not safe in a signal handler; call it early in main, before other threads
// start.
bool InstallFaultTrap();

// Registers the handler and sets report mode; nullptr goes back to silent mode. Safe to
// call at any time from any thread (also from a signal handler).
void SetFaultHandler(FaultHandler handler) noexcept;

// Puts back the signal actions remembered by InstallFaultTrap. Does nothing when not
// installed. Safe from inside the report handler (see "Ending the program" above).
void RemoveFaultTrap() noexcept;

bool IsFaultTrapInstalled() noexcept;

// True when the executable's line table was found (the build has line tables).
bool HasSourceLines() noexcept;

// Getters over the FaultRecord of the last fault. All are safe in a signal handler.
uint32_t FaultCode() noexcept;
std::string_view FaultDescription() noexcept;   // DescribeFaultCode(FaultCode())
int32_t FaultAddress() noexcept;                // the instruction address as the report shows it
uint64_t FaultInstructionAddress() noexcept;    // the full 64-bit instruction address
uint64_t FaultDataAddress() noexcept;           // the address the kernel blamed (si_addr)
std::string_view FaultModule() noexcept;        // static text; never dangles
int32_t FaultLine() noexcept;                   // 0-based; -1 when unknown
int32_t FaultCount() noexcept;
pid_t FaultThread() noexcept;                   // gettid() of the faulting thread
FaultRecord LastFault() noexcept;               // all of the above as one copy

}  // namespace faults
