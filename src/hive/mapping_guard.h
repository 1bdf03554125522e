#pragma once
// Keeps memory-mapped hive files from faulting the process when the file
// shrinks while it is mapped (another program truncates it, a network share
// drops pages). Reading a mapped page past the file's new end raises SIGBUS;
// for a guarded mapping the handler maps a page of zeros over the faulting
// page, and the read goes on and finds zeros. A SIGBUS anywhere else goes on to
// whatever handler was installed before the guard.

#include <cstddef>

namespace hive {

// Guards [base, base + length). At most 16 mappings are guarded at a time;
// returns false when the table is full (the mapping then stays unguarded).
// The zero page put over a lost page is read-only, or readable and writable
// when writable is set (for a private mapping still being written to).
bool GuardMapping(const void* base, size_t length, bool writable = false);

// Stops guarding the mapping that starts at base; call before unmapping it.
void UnguardMapping(const void* base);

}  // namespace hive
