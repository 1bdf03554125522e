#include "faults/thread_stacks.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace faults {

namespace {

// How far below the guard a fault still counts as an overflow: a frame larger than the
// guard (a big array on the stack) steps over it and faults further down.
constexpr uint64_t kBelowGuardSlack = 256 * 1024;

struct ThreadSlot {
  std::atomic<pid_t> thread{0};  // 0: free
  uint64_t stack_low = 0;        // lowest usable address of the thread's stack
  uint64_t guard_size = 0;
  char* alt_mapping = nullptr;   // guard page + alternate stack
  size_t alt_mapping_size = 0;
};

ThreadSlot g_slots[kMaxPreparedThreads];

ThreadSlot* FindSlot(pid_t thread) noexcept {
  for (ThreadSlot& slot : g_slots) {
    if (slot.thread.load(std::memory_order_acquire) == thread) {
      return &slot;
    }
  }
  return nullptr;
}

ThreadSlot* ClaimSlot(pid_t thread) noexcept {
  for (ThreadSlot& slot : g_slots) {
    pid_t expected = 0;
    if (slot.thread.compare_exchange_strong(expected, thread, std::memory_order_acq_rel)) {
      return &slot;
    }
  }
  return nullptr;
}

// Read once outside any handler; sysconf is not async-signal-safe.
const size_t g_page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));

size_t PageSize() noexcept { return g_page_size; }

bool RecordStackBounds(ThreadSlot& slot) {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) {
    return false;
  }
  void* low = nullptr;
  size_t size = 0;
  size_t guard = 0;
  const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
  pthread_attr_getguardsize(&attributes, &guard);
  pthread_attr_destroy(&attributes);
  if (!known) {
    return false;
  }
  slot.stack_low = reinterpret_cast<uint64_t>(low);
  // The main thread reports no guard; the kernel keeps a gap below its stack instead.
  slot.guard_size = guard != 0 ? guard : PageSize();
  return true;
}

bool IsOurAltStackActive(const ThreadSlot& slot) noexcept {
  stack_t current{};
  if (sigaltstack(nullptr, &current) != 0 || slot.alt_mapping == nullptr) {
    return false;
  }
  return (current.ss_flags & SS_DISABLE) == 0 && current.ss_sp == slot.alt_mapping + PageSize();
}

bool InstallAltStack(ThreadSlot& slot) {
  const size_t page = PageSize();
  const size_t mapping_size = kAltStackSize + page;
  void* mapping = mmap(nullptr, mapping_size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) {
    return false;
  }
  // A guard page below, so that a handler that overruns the stack faults instead of
  // writing into whatever lies beneath.
  mprotect(mapping, page, PROT_NONE);
  char* base = static_cast<char*>(mapping);
  stack_t stack{};
  stack.ss_sp = base + page;
  stack.ss_size = kAltStackSize;
  stack.ss_flags = 0;
  if (sigaltstack(&stack, nullptr) != 0) {
    munmap(mapping, mapping_size);
    return false;
  }
  slot.alt_mapping = base;
  slot.alt_mapping_size = mapping_size;
  return true;
}

// Releases the thread's slot when the thread ends, even if nobody calls
// ReleaseThreadForFaults.
struct ThreadReleaser {
  bool armed = false;
  ~ThreadReleaser() {
    if (armed) {
      ReleaseThreadForFaults();
    }
  }
};

thread_local ThreadReleaser t_releaser;

}  // namespace

bool PrepareThreadForFaults() {
  const pid_t thread = gettid();
  ThreadSlot* slot = FindSlot(thread);
  if (slot == nullptr) {
    slot = ClaimSlot(thread);
    if (slot == nullptr) {
      return false;
    }
  }
  if (!RecordStackBounds(*slot)) {
    slot->stack_low = 0;
    slot->guard_size = 0;
  }
  if (!IsOurAltStackActive(*slot)) {
    // A slot left by an ended thread whose id came back: its stack is not this thread's
    // to free, so only forget it.
    slot->alt_mapping = nullptr;
    slot->alt_mapping_size = 0;
    if (!InstallAltStack(*slot)) {
      slot->thread.store(0, std::memory_order_release);
      return false;
    }
  }
  t_releaser.armed = true;
  return true;
}

void ReleaseThreadForFaults() {
  ThreadSlot* slot = FindSlot(gettid());
  if (slot == nullptr) {
    return;
  }
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) != 0) {
    return;  // called from a handler running on this very stack
  }
  if (IsOurAltStackActive(*slot)) {
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    munmap(slot->alt_mapping, slot->alt_mapping_size);
  }
  slot->alt_mapping = nullptr;
  slot->alt_mapping_size = 0;
  slot->stack_low = 0;
  slot->guard_size = 0;
  slot->thread.store(0, std::memory_order_release);
  t_releaser.armed = false;
}

bool IsThreadPreparedForFaults() noexcept { return FindSlot(gettid()) != nullptr; }

bool IsStackGuardAddress(pid_t thread, uint64_t address) noexcept {
  const ThreadSlot* slot = FindSlot(thread);
  if (slot == nullptr || slot->stack_low == 0) {
    return false;
  }
  // Whether the reported bounds include the guard or not, the guard lies within one
  // guard size of the low end; anything below that, down to the slack, is a frame that
  // jumped over it.
  const uint64_t low = slot->stack_low;
  const uint64_t top = low + slot->guard_size + PageSize();
  const uint64_t span = slot->guard_size + kBelowGuardSlack;
  const uint64_t bottom = low > span ? low - span : 0;
  return address >= bottom && address < top;
}

}  // namespace faults
