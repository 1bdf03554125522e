#include "hive/mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace hive {
namespace {

struct GuardedRange {
  std::atomic<uintptr_t> base{0};
  std::atomic<size_t> length{0};
  std::atomic<bool> writable{false};
};

std::array<GuardedRange, 16> g_ranges;
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;
std::once_flag g_installed;

// Hands a SIGBUS that is not ours to the handler that was there before.
void ForwardToPrevious(int signal, siginfo_t* info, void* context) {
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal, info, context);
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN &&
             g_previous.sa_handler != nullptr) {
    g_previous.sa_handler(signal);
  } else {
    // Default action: returning re-runs the access, which now kills the process.
    ::signal(signal, SIG_DFL);
  }
}

// Safe in a signal handler: reads atomics and calls mmap, nothing else.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (const GuardedRange& range : g_ranges) {
    const uintptr_t base = range.base.load(std::memory_order_acquire);
    const size_t length = range.length.load(std::memory_order_acquire);
    if (base == 0 || address < base || address - base >= length) continue;
    void* page = reinterpret_cast<void*>(address & ~(g_pageSize - 1));
    const int protection = range.writable.load(std::memory_order_acquire) ? PROT_READ | PROT_WRITE : PROT_READ;
    if (::mmap(page, g_pageSize, protection, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) !=
        MAP_FAILED) {
      return;  // the access is retried and reads zeros
    }
  }
  ForwardToPrevious(signal, info, context);
}

void InstallHandler() {
  g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previous);
}

}  // namespace

bool GuardMapping(const void* base, size_t length, bool writable) {
  std::call_once(g_installed, InstallHandler);
  for (GuardedRange& range : g_ranges) {
    uintptr_t expected = 0;
    if (range.base.load() == 0) {
      range.length.store(length, std::memory_order_release);
      range.writable.store(writable, std::memory_order_release);
      if (range.base.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(base))) {
        return true;
      }
    }
  }
  return false;
}

void UnguardMapping(const void* base) {
  for (GuardedRange& range : g_ranges) {
    if (range.base.load() == reinterpret_cast<uintptr_t>(base)) {
      range.base.store(0, std::memory_order_release);
      range.length.store(0, std::memory_order_release);
    }
  }
}

}  // namespace hive
