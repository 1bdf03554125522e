#pragma once
// Large tables in huge pages. The tables of a big key tree take tens of
// megabytes; filled 4 KiB page by page, each page costs a fault. Advised
// room is filled 2 MiB at a time instead, where the kernel allows it (it may
// ignore the advice; nothing else changes).

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace tree {

// Advises the whole 2 MiB pages inside [data, data + bytes) for huge pages.
inline void AdviseHugePages(const void* data, size_t bytes) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Reserves room for count elements in table and advises it for huge pages.
template <typename Table>
void ReserveInHugePages(Table& table, size_t count) {
  table.reserve(count);
  AdviseHugePages(table.data(), table.capacity() * sizeof(*table.data()));
}

}  // namespace tree
