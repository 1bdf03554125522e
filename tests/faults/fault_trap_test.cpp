// Real faults, raised by inline assembly so that the exact faulting instruction, its
// address and the instruction after it are known, intercepted by the trap.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "faults/error_report.h"
#include "faults/fault_trap.h"

#if defined(__SANITIZE_ADDRESS__)
#define KEYLOOM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEYLOOM_ASAN 1
#endif
#endif

namespace faults {
namespace {

#ifdef KEYLOOM_ASAN
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// AddressSanitizer handles SIGSEGV, SIGBUS and SIGFPE itself. It lets a program install
// its own handler over them unless ASAN_OPTIONS says allow_user_segv_handler=0; then the
// trap cannot see those faults. The trap uses one handler for all its signals, and the
// sanitizer leaves SIGILL alone, so compare with that.
bool TrapHoldsMemoryFaultSignals() {
  struct sigaction reference {};
  sigaction(SIGILL, nullptr, &reference);
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE}) {
    struct sigaction now {};
    sigaction(signal_number, nullptr, &now);
    if (now.sa_sigaction != reference.sa_sigaction) {
      return false;
    }
  }
  return true;
}

#define SKIP_IF_SANITIZER_KEEPS_MEMORY_FAULTS()                                            \
  if (!TrapHoldsMemoryFaultSignals()) {                                                   \
    GTEST_SKIP() << "AddressSanitizer keeps SIGSEGV, SIGBUS and SIGFPE (allow_user_segv_handler=0)"; \
  }

constexpr char kThisFile[] = "tests/faults/fault_trap_test.cpp";
constexpr uint64_t kUntouched = 0x5EED5EED5EED5EED;

// What a faulting probe saw: where its faulting instruction was, the 0-based line of
// the statement holding it, and whether execution went on as the trap promises.
struct Probe {
  uint64_t fault_address = 0;
  int32_t line = -1;
  bool destination_unchanged = false;
  bool next_instruction_ran = false;
};

// The 0-based line of the statement after the one that uses the macro: __LINE__ counts
// from 1, so __LINE__ itself is the 0-based number of the following line.
#define NEXT_STATEMENT_LINE __LINE__

Probe LoadFrom(uint64_t address) {
  Probe probe;
  uint64_t destination = kUntouched;
  uint64_t next = 0;
  probe.line = NEXT_STATEMENT_LINE;
  asm volatile(
      "lea 1f(%%rip), %[at]\n\t"
      "1: movq (%[address]), %[destination]\n\t"
      "movq $1, %[next]"
      : [at] "=&r"(probe.fault_address), [destination] "+r"(destination), [next] "+r"(next)
      : [address] "r"(address)
      : "memory");
  probe.destination_unchanged = destination == kUntouched;
  probe.next_instruction_ran = next == 1;
  return probe;
}

Probe LoadThroughInvalidAddress() { return LoadFrom(8); }

// Reading a mapped page that lies beyond the end of its (empty) file raises SIGBUS.
Probe LoadPastEndOfMappedFile() {
  const int fd = memfd_create("empty", MFD_CLOEXEC);
  void* mapping = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
  Probe probe = LoadFrom(reinterpret_cast<uint64_t>(mapping));
  munmap(mapping, 4096);
  close(fd);
  return probe;
}

Probe DivideByZero() {
  Probe probe;
  uint32_t quotient = 0;
  uint64_t next = 0;
  probe.line = NEXT_STATEMENT_LINE;
  asm volatile(
      "movl $7, %%eax\n\t"
      "xorl %%edx, %%edx\n\t"
      "lea 1f(%%rip), %[at]\n\t"
      "1: divl %[divisor]\n\t"
      "movl %%eax, %[quotient]\n\t"
      "movq $1, %[next]"
      : [at] "=&r"(probe.fault_address), [quotient] "=&r"(quotient), [next] "+r"(next)
      : [divisor] "r"(0u)
      : "eax", "edx");
  probe.destination_unchanged = quotient == 7;
  probe.next_instruction_ran = next == 1;
  return probe;
}

// A probe around one instruction that writes no register. Everything a macro expands
// to stands on the line that uses it, the faulting statement too.
#define SINGLE_INSTRUCTION_PROBE(name, instruction)           \
  Probe name() {                                              \
    Probe probe;                                              \
    uint64_t next = 0;                                        \
    probe.line = __LINE__ - 1;                                \
    asm volatile("lea 1f(%%rip), %[at]\n\t"                    \
                 "1: " instruction "\n\t"                     \
                 "movq $1, %[next]"                           \
                 : [at] "=&r"(probe.fault_address), [next] "+r"(next)); \
    probe.destination_unchanged = true;                       \
    probe.next_instruction_ran = next == 1;                   \
    return probe;                                             \
  }

SINGLE_INSTRUCTION_PROBE(UndefinedInstruction, "ud2")
SINGLE_INSTRUCTION_PROBE(PrivilegedInstruction, "hlt")

// int3 is reported with the address just past it, where the thread also resumes.
Probe Breakpoint() {
  Probe probe;
  uint64_t next = 0;
  probe.line = NEXT_STATEMENT_LINE;
  asm volatile(
      "int3\n\t"
      "1: lea 1b(%%rip), %[at]\n\t"
      "movq $1, %[next]"
      : [at] "=&r"(probe.fault_address), [next] "+r"(next));
  probe.destination_unchanged = true;
  probe.next_instruction_ran = next == 1;
  return probe;
}

// The report handler of the tests: answers Yes without any window and notes what it saw.
std::atomic<int> g_handler_calls{0};
FaultRecord g_seen;
std::thread::id g_seen_thread;

int AnswerYes() {
  g_handler_calls.fetch_add(1);
  g_seen = LastFault();
  g_seen_thread = std::this_thread::get_id();
  return 1;
}

// Runs a probe on a second thread prepared the way the program's loader thread is.
template <typename Function>
auto OnSecondThread(Function function) {
  decltype(function()) result{};
  std::thread::id id;
  std::thread worker([&] {
    PrepareThreadForFaults();
    id = std::this_thread::get_id();
    result = function();
  });
  worker.join();
  return std::make_pair(result, id);
}

class FaultTrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InstallFaultTrap());
    g_handler_calls = 0;
    g_seen = {};
    g_seen_thread = {};
  }
  void TearDown() override { RemoveFaultTrap(); }
};

struct FaultCase {
  const char* name;
  Probe (*run)();
  uint32_t code;
  const char* description;
  bool memory_fault;  // raised as SIGSEGV, SIGBUS or SIGFPE
};

const FaultCase kFaultCases[] = {
    {"InvalidAddress", LoadThroughInvalidAddress, 0xC0000005,
     "An attemped read or write to/from an address to which that process isn't allowed", true},
    {"PastEndOfFile", LoadPastEndOfMappedFile, 0xC0000005,
     "An attemped read or write to/from an address to which that process isn't allowed", true},
    {"DivisionByZero", DivideByZero, 0xC0000094, "Attempted division by zero", true},
    {"Ud2", UndefinedInstruction, 0xC000001D,
     "Try to execute an invalid instruction -such as MMX opcodes on a non MMX system", false},
    {"Hlt", PrivilegedInstruction, 0xC0000096,
     "The instruction is not allowed in the current ring (inport, outport & control register "
     "manipulation usually)",
     true},
    {"Int3", Breakpoint, 0x80000003, "BREAKPOINT A breakpoint was encountered.", false},
};

enum class Where { kThisThread, kSecondThread };

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }
void PrintTo(Where where, std::ostream* out) {
  *out << (where == Where::kThisThread ? "this thread" : "second thread");
}

class EachFault : public FaultTrapTest,
                  public ::testing::WithParamInterface<std::tuple<FaultCase, Where>> {};

TEST_P(EachFault, IsReportedWithItsTextAddressLineAndResumesAfterIt) {
  const auto& [fault, where] = GetParam();
  if (fault.memory_fault) {
    SKIP_IF_SANITIZER_KEEPS_MEMORY_FAULTS();
  }
  SetFaultHandler(AnswerYes);
  Probe probe;
  std::thread::id ran_on = std::this_thread::get_id();
  if (where == Where::kThisThread) {
    probe = fault.run();
  } else {
    std::tie(probe, ran_on) = OnSecondThread(fault.run);
  }

  EXPECT_EQ(g_handler_calls.load(), 1);
  EXPECT_EQ(g_seen_thread, ran_on) << "the handler runs on the faulting thread";
  EXPECT_EQ(g_seen.count, 1);
  EXPECT_EQ(FaultCount(), 1);
  EXPECT_EQ(FaultCode(), fault.code);
  EXPECT_EQ(FaultDescription(), fault.description);
  EXPECT_EQ(FaultInstructionAddress(), probe.fault_address);
  EXPECT_EQ(FaultAddress(), static_cast<int32_t>(static_cast<uint32_t>(probe.fault_address)));
  EXPECT_EQ(FaultModule(), kThisFile);
  EXPECT_EQ(FaultLine(), probe.line);
  EXPECT_TRUE(probe.destination_unchanged);
  EXPECT_TRUE(probe.next_instruction_ran);

  const std::string report = FormatErrorReport();
  EXPECT_NE(report.find("Description: " + std::string(fault.description) + "\r\n"), std::string::npos);
  EXPECT_NE(report.find("Module: " + std::string(kThisFile) + "\r\nLineNR: " +
                        std::to_string(probe.line + 1) + "\r\n"),
            std::string::npos)
      << report;
}

std::string CaseName(const ::testing::TestParamInfo<EachFault::ParamType>& info) {
  const auto& [fault, where] = info.param;
  return std::string(fault.name) + (where == Where::kThisThread ? "_ThisThread" : "_SecondThread");
}

INSTANTIATE_TEST_SUITE_P(Faults, EachFault,
                         ::testing::Combine(::testing::ValuesIn(kFaultCases),
                                            ::testing::Values(Where::kThisThread, Where::kSecondThread)),
                         CaseName);

TEST_F(FaultTrapTest, CountGrowsOverBothThreadsAndRecordHoldsTheLast) {
  SetFaultHandler(AnswerYes);
  UndefinedInstruction();
  EXPECT_EQ(FaultCount(), 1);
  const auto [probe, second] = OnSecondThread(Breakpoint);
  EXPECT_EQ(FaultCount(), 2);
  EXPECT_EQ(g_seen_thread, second);
  EXPECT_EQ(FaultCode(), 0x80000003u);
  EXPECT_EQ(FaultLine(), probe.line);
  UndefinedInstruction();
  EXPECT_EQ(FaultCount(), 3);
  EXPECT_EQ(g_seen_thread, std::this_thread::get_id());
  EXPECT_EQ(g_handler_calls.load(), 3);
  EXPECT_NE(FormatErrorReport().find("Total number of errors: 3\r\n\r\nContinue program ?"),
            std::string::npos);
}

TEST_F(FaultTrapTest, SilentModeCountsWithoutCallingTheHandler) {
  EXPECT_EQ(FaultCount(), 0);
  EXPECT_EQ(FaultDescription(), "No Error");
  const Probe first = UndefinedInstruction();
  Breakpoint();
  EXPECT_TRUE(first.next_instruction_ran);
  EXPECT_EQ(FaultCount(), 2);
  EXPECT_EQ(g_handler_calls.load(), 0);

  SetFaultHandler(AnswerYes);
  UndefinedInstruction();
  EXPECT_EQ(g_handler_calls.load(), 1);
  EXPECT_EQ(g_seen.count, 3);

  InstallFaultTrap();  // again: a fresh record, silent
  EXPECT_EQ(FaultCount(), 0);
  UndefinedInstruction();
  EXPECT_EQ(g_handler_calls.load(), 1);
}

// A fault inside a library is reported at the statement of the program that called it.
TEST_F(FaultTrapTest, FaultInLibraryReportsTheCallingLine) {
  SKIP_IF_SANITIZER_KEEPS_MEMORY_FAULTS();
  SetFaultHandler(AnswerYes);
  const char* volatile invalid = reinterpret_cast<const char*>(16);
  const int32_t line = NEXT_STATEMENT_LINE;
  [[maybe_unused]] volatile size_t length = strlen(invalid);
  EXPECT_EQ(g_handler_calls.load(), 1);
  EXPECT_EQ(FaultCode(), 0xC0000005u);
  EXPECT_EQ(FaultModule(), kThisFile);
  EXPECT_EQ(FaultLine(), line);
}

// Code placed where the low word of its address is 2^31: the report shows it negative.
TEST_F(FaultTrapTest, AddressAtOrAbove2To31IsNegative) {
  constexpr uint64_t kCandidates[] = {0x80000000, 0x180000000, 0x100080000000, 0x200080000000};
  void* code = MAP_FAILED;
  for (uint64_t candidate : kCandidates) {
    code = mmap(reinterpret_cast<void*>(candidate), 4096, PROT_READ | PROT_WRITE,
                MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (code != MAP_FAILED) {
      break;
    }
  }
  ASSERT_NE(code, MAP_FAILED);
  const uint8_t ud2_ret[] = {0x0F, 0x0B, 0xC3};
  std::memcpy(code, ud2_ret, sizeof(ud2_ret));
  ASSERT_EQ(mprotect(code, 4096, PROT_READ | PROT_EXEC), 0);

  SetFaultHandler(AnswerYes);
  reinterpret_cast<void (*)()>(code)();  // resumes at the ret
  EXPECT_EQ(g_handler_calls.load(), 1);
  EXPECT_EQ(FaultInstructionAddress(), reinterpret_cast<uint64_t>(code));
  EXPECT_EQ(FaultAddress(), INT32_MIN);
  EXPECT_NE(FormatErrorReport().find("\r\nAddr: -2147483648\r\n"), std::string::npos);
  munmap(code, 4096);
}

void RecordSignal(int, siginfo_t*, void*) {}

TEST(FaultTrapLifetime, RemoveRestoresThePreviousActions) {
  struct sigaction mine {};
  mine.sa_sigaction = RecordSignal;
  mine.sa_flags = SA_SIGINFO;
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGILL, &mine, &before), 0);

  ASSERT_TRUE(InstallFaultTrap());
  EXPECT_TRUE(IsFaultTrapInstalled());
  struct sigaction during {};
  sigaction(SIGILL, nullptr, &during);
  EXPECT_NE(during.sa_sigaction, RecordSignal);
  EXPECT_NE(during.sa_flags & SA_ONSTACK, 0);

  RemoveFaultTrap();
  EXPECT_FALSE(IsFaultTrapInstalled());
  struct sigaction after {};
  sigaction(SIGILL, nullptr, &after);
  EXPECT_EQ(after.sa_sigaction, RecordSignal);
  sigaction(SIGILL, &before, nullptr);
}

std::atomic<int> g_previous_calls{0};
void CountSignal(int) { g_previous_calls.fetch_add(1); }

TEST(FaultTrapLifetime, SentSignalsGoToThePreviousAction) {
  struct sigaction mine {};
  mine.sa_handler = CountSignal;
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGTRAP, &mine, &before), 0);
  ASSERT_TRUE(InstallFaultTrap());
  SetFaultHandler(AnswerYes);
  g_handler_calls = 0;
  g_previous_calls = 0;
  raise(SIGTRAP);
  EXPECT_EQ(g_previous_calls.load(), 1);
  EXPECT_EQ(FaultCount(), 0);
  EXPECT_EQ(g_handler_calls.load(), 0);
  RemoveFaultTrap();
  sigaction(SIGTRAP, &before, nullptr);
}

TEST(FaultTrapDeathTest, AfterRemoveAFaultKillsWithTheOriginalSignal) {
  EXPECT_EXIT(
      {
        InstallFaultTrap();
        RemoveFaultTrap();
        UndefinedInstruction();
      },
      ::testing::KilledBySignal(SIGILL), "");
  // Under AddressSanitizer the action from before is the sanitizer's, which reports the
  // fault and exits with status 1.
  const auto segv_end = [] {
    InstallFaultTrap();
    RemoveFaultTrap();
    LoadThroughInvalidAddress();
  };
  if (kAddressSanitizer) {
    EXPECT_EXIT(segv_end(), ::testing::ExitedWithCode(1), "AddressSanitizer: SEGV");
  } else {
    EXPECT_EXIT(segv_end(), ::testing::KilledBySignal(SIGSEGV), "");
  }
}

// The handler that ends the program, as the No answer does: the description on stderr.
int ReportAndEnd() {
  const std::string_view text = FaultDescription();
  [[maybe_unused]] ssize_t written = write(STDERR_FILENO, text.data(), text.size());
  RemoveFaultTrap();
  _exit(0);
}

volatile int g_recursion_limit = INT32_MAX;  // never reached: the stack runs out first

int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth >= g_recursion_limit) {
    return 0;
  }
  return Recurse(depth + 1) + frame[0];
}

TEST(FaultTrapDeathTest, StackOverflowIsReportedOnEitherThread) {
  InstallFaultTrap();
  const bool trap_holds = TrapHoldsMemoryFaultSignals();
  RemoveFaultTrap();
  if (!trap_holds) {
    GTEST_SKIP() << "AddressSanitizer keeps SIGSEGV (allow_user_segv_handler=0)";
  }
  const char* expected = "Stack overflow\\.Can occur during errant recursion";
  EXPECT_EXIT(
      {
        InstallFaultTrap();
        SetFaultHandler(ReportAndEnd);
        std::thread loader([] {
          PrepareThreadForFaults();
          Recurse(0);
        });
        loader.join();
      },
      ::testing::ExitedWithCode(0), expected);
  EXPECT_EXIT(
      {
        InstallFaultTrap();
        SetFaultHandler(ReportAndEnd);
        Recurse(0);
      },
      ::testing::ExitedWithCode(0), expected);
}

// A build without line tables names the executable and shows line 0.
TEST(FaultTrapWithoutLines, ModuleIsTheExecutableAndLineZero) {
  FILE* pipe = popen(KEYLOOM_FAULTS_PROBE, "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    output.append(buffer, got);
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(output.find("Description: Try to execute an invalid instruction"), std::string::npos) << output;
  EXPECT_NE(output.find("\r\nModule: faults_probe_no_lines\r\nLineNR: 0\r\nTotal number of errors: 1\r\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("resumed"), std::string::npos) << output;
}

}  // namespace
}  // namespace faults
