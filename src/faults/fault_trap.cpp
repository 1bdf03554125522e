#include "faults/fault_trap.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "faults/instruction_decoder.h"
#include "faults/line_table.h"

#ifndef KEYLOOM_SOURCE_ROOT
#define KEYLOOM_SOURCE_ROOT ""
#endif

namespace faults {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr size_t kSignalCount = sizeof(kFaultSignals) / sizeof(kFaultSignals[0]);

// How many return addresses to try when the fault lies outside the program's own code.
constexpr int kMaxFramesWalked = 128;

// The record is written field by field by whichever thread faults last; relaxed atomics
// keep each field whole without a lock.
struct SharedRecord {
  std::atomic<uint32_t> code{0};
  std::atomic<uint64_t> address{0};
  std::atomic<uint64_t> data_address{0};
  std::atomic<const char*> module{""};
  std::atomic<int32_t> line{-1};
  std::atomic<int32_t> count{0};
  std::atomic<pid_t> thread{0};
};

SharedRecord g_record;
std::atomic<FaultHandler> g_handler{nullptr};
std::atomic<bool> g_installed{false};
struct sigaction g_previous[kSignalCount];

// Filled once by the first InstallFaultTrap and never freed or changed afterwards, so a
// handler still running while the program ends never reads freed memory.
const LineTable* g_lines = nullptr;
ExecutableImage g_image;
char g_executable_name[256] = "";

size_t SignalIndex(int signal_number) noexcept {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (kFaultSignals[i] == signal_number) {
      return i;
    }
  }
  return 0;
}

SourceLine FindLineInExecutable(uint64_t address) noexcept {
  if (g_lines == nullptr || !g_image.Contains(address)) {
    return {};
  }
  return g_lines->Find(address - g_image.bias);
}

// The line of the faulting instruction, or of the first caller on the faulting thread's
// stack that has one.
SourceLine FindFaultLine(uint64_t instruction, ucontext_t* context) noexcept {
  SourceLine found = FindLineInExecutable(instruction);
  if (found.file != nullptr || g_lines == nullptr || g_lines->empty()) {
    return found;
  }
  unw_cursor_t cursor;
  // On x86-64 unw_context_t is ucontext_t; the signal frame flag keeps the first address
  // as it is (it is the faulting instruction, not a return address).
  if (unw_init_local2(&cursor, reinterpret_cast<unw_context_t*>(context), UNW_INIT_SIGNAL_FRAME) != 0) {
    return {};
  }
  for (int frame = 0; frame < kMaxFramesWalked && unw_step(&cursor) > 0; ++frame) {
    unw_word_t return_address = 0;
    if (unw_get_reg(&cursor, UNW_REG_IP, &return_address) != 0 || return_address == 0) {
      break;
    }
    // A return address points after the call; the call itself is one byte earlier.
    found = FindLineInExecutable(return_address - 1);
    if (found.file != nullptr) {
      return found;
    }
  }
  return {};
}

// A signal someone sent (kill, raise) is no fault: it gets what it would have got
// without the trap.
void PassToPrevious(int signal_number, siginfo_t* info, void* context) noexcept {
  const struct sigaction& previous = g_previous[SignalIndex(signal_number)];
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    if (previous.sa_sigaction != nullptr) {
      previous.sa_sigaction(signal_number, info, context);
    }
    return;
  }
  if (previous.sa_handler == SIG_IGN) {
    return;
  }
  if (previous.sa_handler == SIG_DFL) {
    // Delivered with the default action as soon as the handler returns and unblocks it.
    sigaction(signal_number, &previous, nullptr);
    raise(signal_number);
    return;
  }
  previous.sa_handler(signal_number);
}

void UnblockFaultSignals() noexcept {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal_number : kFaultSignals) {
    sigaddset(&signals, signal_number);
  }
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

void OnFault(int signal_number, siginfo_t* info, void* raw_context) {
  const int saved_errno = errno;
  if (!IsHardwareFault(signal_number, info->si_code)) {
    PassToPrevious(signal_number, info, raw_context);
    errno = saved_errno;
    return;
  }
  auto* context = static_cast<ucontext_t*>(raw_context);
  greg_t& instruction_pointer = context->uc_mcontext.gregs[REG_RIP];
  const uint64_t instruction = static_cast<uint64_t>(instruction_pointer);
  const uint64_t data_address = reinterpret_cast<uint64_t>(info->si_addr);
  const pid_t thread = gettid();

  uint32_t code = FaultCodeForSignal(signal_number, info->si_code);
  uint64_t resume = instruction;  // traps: the kernel already stands past the instruction
  if (!IsTrapFault(code)) {
    const DecodedInstruction decoded = DecodeInstructionAt(instruction);
    resume = decoded.length != 0 ? instruction + decoded.length : 0;
    if (signal_number == SIGSEGV && IsStackGuardAddress(thread, data_address)) {
      code = kStackOverflow;
    } else if (signal_number == SIGSEGV && info->si_code == SI_KERNEL && decoded.privileged) {
      // x86 raises a general-protection fault for ring-0 instructions and port access,
      // which Linux delivers as SIGSEGV with SI_KERNEL.
      code = kPrivilegedInstruction;
    }
  }
  // A trap reports the address after the instruction; the line is that of the trap.
  const SourceLine line = FindFaultLine(IsTrapFault(code) ? instruction - 1 : instruction, context);

  g_record.code.store(code, std::memory_order_relaxed);
  g_record.address.store(instruction, std::memory_order_relaxed);
  g_record.data_address.store(data_address, std::memory_order_relaxed);
  g_record.module.store(line.file != nullptr ? line.file : g_executable_name, std::memory_order_relaxed);
  g_record.line.store(line.file != nullptr ? line.line : -1, std::memory_order_relaxed);
  g_record.thread.store(thread, std::memory_order_relaxed);
  g_record.count.fetch_add(1, std::memory_order_acq_rel);

  if (FaultHandler handler = g_handler.load(std::memory_order_acquire); handler != nullptr) {
    // The kernel blocked the fault signals for this handler; a fault inside the report
    // handler must be intercepted too, not kill the process. The mask from before the
    // fault comes back when this handler returns.
    UnblockFaultSignals();
    handler();
  }

  if (resume == 0) {
    sigaction(signal_number, &g_previous[SignalIndex(signal_number)], nullptr);
  } else {
    instruction_pointer = static_cast<greg_t>(resume);
  }
  errno = saved_errno;
}

void LoadExecutableLines() {
  if (g_lines != nullptr) {
    return;
  }
  auto* table = new LineTable;  // never freed, see g_lines
  table->Load("/proc/self/exe", KEYLOOM_SOURCE_ROOT);
  g_image = FindExecutableImage();

  char path[sizeof(g_executable_name)] = "";
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length > 0) {
    path[length] = '\0';
    const char* slash = strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    // Both buffers have the same size and path is terminated, so the name fits.
    memcpy(g_executable_name, name, strlen(name) + 1);
  }
  g_lines = table;
}

}  // namespace

bool InstallFaultTrap() {
  PrepareInstructionDecoder();
  LoadExecutableLines();
  PrepareThreadForFaults();
  // Without a cache the unwinder takes no lock; it only runs for faults in libraries.
  unw_set_caching_policy(unw_local_addr_space, UNW_CACHE_NONE);

  g_handler.store(nullptr, std::memory_order_release);
  g_record.code.store(kNoFault, std::memory_order_relaxed);
  g_record.address.store(0, std::memory_order_relaxed);
  g_record.data_address.store(0, std::memory_order_relaxed);
  g_record.module.store(g_executable_name, std::memory_order_relaxed);
  g_record.line.store(-1, std::memory_order_relaxed);
  g_record.thread.store(0, std::memory_order_relaxed);
  g_record.count.store(0, std::memory_order_release);

  if (g_installed.load(std::memory_order_acquire)) {
    return true;
  }
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  // A fault inside the trap's own code, before the report handler runs, ends the
  // process with that signal instead of recursing.
  for (int signal_number : kFaultSignals) {
    sigaddset(&action.sa_mask, signal_number);
  }
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (sigaction(kFaultSignals[i], &action, &g_previous[i]) != 0) {
      for (size_t undo = 0; undo < i; ++undo) {
        sigaction(kFaultSignals[undo], &g_previous[undo], nullptr);
      }
      return false;
    }
  }
  g_installed.store(true, std::memory_order_release);
  return true;
}

void SetFaultHandler(FaultHandler handler) noexcept {
  g_handler.store(handler, std::memory_order_release);
}

void RemoveFaultTrap() noexcept {
  if (!g_installed.exchange(false, std::memory_order_acq_rel)) {
    return;
  }
  for (size_t i = 0; i < kSignalCount; ++i) {
    sigaction(kFaultSignals[i], &g_previous[i], nullptr);
  }
  g_handler.store(nullptr, std::memory_order_release);
}

bool IsFaultTrapInstalled() noexcept { return g_installed.load(std::memory_order_acquire); }

bool HasSourceLines() noexcept { return g_lines != nullptr && !g_lines->empty(); }

uint32_t FaultCode() noexcept { return g_record.code.load(std::memory_order_relaxed); }

std::string_view FaultDescription() noexcept { return DescribeFaultCode(FaultCode()); }

int32_t FaultAddress() noexcept { return ReportedAddress(FaultInstructionAddress()); }

uint64_t FaultInstructionAddress() noexcept { return g_record.address.load(std::memory_order_relaxed); }

uint64_t FaultDataAddress() noexcept { return g_record.data_address.load(std::memory_order_relaxed); }

std::string_view FaultModule() noexcept { return g_record.module.load(std::memory_order_relaxed); }

int32_t FaultLine() noexcept { return g_record.line.load(std::memory_order_relaxed); }

int32_t FaultCount() noexcept { return g_record.count.load(std::memory_order_acquire); }

pid_t FaultThread() noexcept { return g_record.thread.load(std::memory_order_relaxed); }

FaultRecord LastFault() noexcept {
  FaultRecord record;
  record.count = FaultCount();
  record.code = FaultCode();
  record.address = FaultInstructionAddress();
  record.data_address = FaultDataAddress();
  record.module = g_record.module.load(std::memory_order_relaxed);
  record.line = FaultLine();
  record.thread = FaultThread();
  return record;
}

}  // namespace faults
