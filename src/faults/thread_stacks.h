#pragma once

// Per-thread fault preparation: an alternate signal stack, so that a fault can be
// handled even when the thread's own stack is exhausted, and the thread's stack bounds,
// so that the trap can tell a stack overflow from any other access violation.
// Kept in a fixed table; the trap reads it without allocating or locking. No Qt.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace faults {

// Size of each thread's alternate signal stack. The report handler runs on it (the
// application shows a modal dialog from there), so it is generous; the memory is only
// touched as far as it is used.
inline constexpr size_t kAltStackSize = 1024 * 1024;

// Most threads that can be prepared at the same time.
inline constexpr size_t kMaxPreparedThreads = 64;

// Gives the calling thread its own alternate signal stack and records its stack bounds.
// Call it first thing in every thread the program starts (InstallFaultTrap does it for
// its caller). Calling it again on a prepared thread only refreshes the bounds. The
// stack is released when the thread ends (or by ReleaseThreadForFaults). Returns false
// when the table is full or memory for the stack cannot be mapped; the thread's faults
// are still intercepted then, except a stack overflow. Not safe in a signal handler.
bool PrepareThreadForFaults();

// Disables and unmaps the calling thread's alternate stack and frees its table slot.
// Does nothing when called while running on that stack (from inside a fault handler).
// Not safe in a signal handler.
void ReleaseThreadForFaults();

// True when the calling thread has been prepared. Safe in a signal handler.
bool IsThreadPreparedForFaults() noexcept;

// True when `address` (the address a SIGSEGV blamed) lies in or just below the guard
// area at the low end of the stack of the thread `thread` (a gettid() value), or at or
// below the lowest usable page of it. False for threads never prepared. Safe in a
// signal handler.
bool IsStackGuardAddress(pid_t thread, uint64_t address) noexcept;

}  // namespace faults
