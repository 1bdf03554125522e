// The parts of the fault module that need no fault: the description table, the report
// text, the signal mapping, source paths and instruction decoding.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "faults/error_report.h"
#include "faults/fault_codes.h"
#include "faults/instruction_decoder.h"
#include "faults/line_table.h"

namespace faults {
namespace {

struct Description {
  uint32_t code;
  const char* text;
};

// Every row of the table, written out again here so that a typo fixed in the code (the
// texts are kept as they stand) shows up as a failure.
constexpr Description kDescriptions[] = {
    {0xC0000094, "Attempted division by zero"},
    {0xC0000005, "An attemped read or write to/from an address to which that process isn't allowed"},
    {0xC0000096, "The instruction is not allowed in the current ring (inport, outport & control "
                 "register manipulation usually)"},
    {0xC000001D, "Try to execute an invalid instruction -such as MMX opcodes on a non MMX system"},
    {0xC0000025, "The exception filter returned EXCEPTION_CONTINUE_EXCEPTION when the exception "
                 "raised isn't restartable"},
    {0xC00000FD, "Stack overflow.Can occur during errant recursion, or when a function creates a "
                 "particularly large array on the stack."},
    {0xC0000026, "INVALID_DISPOSITION Whatever number the exception filter returned, it wasn't a "
                 "value the OS knows about."},
    {0xC0000008, "INVALID_HANDLE The API call was passed a handle to a kernel object which was "
                 "invalid -usually because that handle has already been closed."},
    {0xC0000142, "EXCEPTION_DLL_Initialisation_Failure raised when DllMain() returns false (?)"},
    {0xC000008D, "FLOAT_DENORMAL_OPERAND One of the operands in a floating-point operation is too "
                 "small to be represented in a floating-point value."},
    {0xC000008E, "FLOAT_DIVIDE_BY_ZERO The thread tried to divide a floating-point value by zero."},
    {0xC000008F, "FLOAT_INEXACT_RESULT The accuracy of the last floating point operation is worse "
                 "than usual as it is impossible to represent in the float accurately,"},
    {0xC0000090, "FLOAT_INVALID_OPERATION Any other floating-point exception."},
    {0xC0000091, "FLOAT_OVERFLOW The result was too big to represent"},
    {0xC0000092, "FLOAT_STACK_CHECK A floating point stack overflowed or underflow. This related to "
                 "the baroque design of the floating point unit."},
    {0xC0000093, "FLT_UNDERFLOW The result was too small to represent"},
    {0xC000013A, "CONTROL_C_EXIT Lets the debugger know the user hit Ctrl-C. "},
    {0x80000003, "BREAKPOINT A breakpoint was encountered."},
    {0x80000004, "SINGLE_STEP The CPU has signalled that one instruction has been executed.Only of "
                 "interest to Debuggers"},
    {0, "No Error"},
    {0xC0000095, "UNKNOWN Error"},
    {0xC0000006, "UNKNOWN Error"},
    {0x80000001, "UNKNOWN Error"},
    {0xFFFFFFFF, "UNKNOWN Error"},
};

TEST(DescribeFaultCode, EveryCodeOfTheTableAndUnknownOnes) {
  for (const Description& row : kDescriptions) {
    EXPECT_EQ(DescribeFaultCode(row.code), row.text) << std::hex << row.code;
  }
}

TEST(FormatErrorReport, FixedRecordByteForByte) {
  FaultRecord record;
  record.code = 0xC0000005;
  record.address = 0x00005555'12345678;
  record.module = "values/value_row.cpp";
  record.line = 300;
  record.count = 2;
  EXPECT_EQ(FormatErrorReport(record),
            "There was an error:\r\n\r\n"
            "Description: An attemped read or write to/from an address to which that process "
            "isn't allowed\r\n"
            "Addr: 305419896\r\n"
            "Module: values/value_row.cpp\r\n"
            "LineNR: 301\r\n"
            "Total number of errors: 2\r\n\r\n"
            "Continue program ?");
}

TEST(FormatErrorReport, HighAddressIsNegativeAndUnknownLineShowsZero) {
  FaultRecord record;
  record.code = 0x80000003;
  record.address = 0x00007F00'80000000;  // low word 2^31
  record.module = "keyloom";
  record.line = -1;
  record.count = 1;
  EXPECT_EQ(FormatErrorReport(record),
            "There was an error:\r\n\r\n"
            "Description: BREAKPOINT A breakpoint was encountered.\r\n"
            "Addr: -2147483648\r\n"
            "Module: keyloom\r\n"
            "LineNR: 0\r\n"
            "Total number of errors: 1\r\n\r\n"
            "Continue program ?");
  EXPECT_EQ(ReportedAddress(0xFFFFFFFF), -1);
  EXPECT_EQ(ReportedAddress(0x1'7FFFFFFF), 0x7FFFFFFF);
}

TEST(FaultCodeForSignal, SignalsAndCodesMapOntoTheTable) {
  struct Case {
    int signal_number;
    int signal_code;
    uint32_t code;
  };
  const Case cases[] = {
      {SIGSEGV, SEGV_MAPERR, kAccessViolation}, {SIGSEGV, SEGV_ACCERR, kAccessViolation},
      {SIGSEGV, SI_KERNEL, kAccessViolation},   {SIGBUS, BUS_ADRERR, kAccessViolation},
      {SIGFPE, FPE_INTDIV, kIntegerDivideByZero}, {SIGFPE, FPE_FLTDIV, kFloatDivideByZero},
      {SIGFPE, FPE_FLTOVF, kFloatOverflow},     {SIGFPE, FPE_FLTUND, kFloatUnderflow},
      {SIGFPE, FPE_FLTRES, kFloatInexactResult}, {SIGFPE, FPE_FLTINV, kFloatInvalidOperation},
      {SIGILL, ILL_ILLOPN, kIllegalInstruction}, {SIGILL, ILL_ILLOPC, kIllegalInstruction},
      {SIGILL, ILL_PRVOPC, kPrivilegedInstruction}, {SIGILL, ILL_PRVREG, kPrivilegedInstruction},
      {SIGTRAP, SI_KERNEL, kBreakpoint},        {SIGTRAP, TRAP_BRKPT, kBreakpoint},
      {SIGTRAP, TRAP_TRACE, kSingleStep},       {SIGUSR1, SI_KERNEL, kNoFault},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FaultCodeForSignal(c.signal_number, c.signal_code), c.code)
        << "signal " << c.signal_number << " code " << c.signal_code;
  }
  EXPECT_TRUE(IsHardwareFault(SIGSEGV, SEGV_MAPERR));
  EXPECT_TRUE(IsHardwareFault(SIGTRAP, SI_KERNEL));
  EXPECT_FALSE(IsHardwareFault(SIGSEGV, SI_USER));
  EXPECT_FALSE(IsHardwareFault(SIGTRAP, SI_TKILL));
  EXPECT_FALSE(IsHardwareFault(SIGTERM, SI_KERNEL));
}

TEST(RelativeSourcePath, ProgramSourcesOtherProjectFilesAndForeignFiles) {
  const std::string root = "/home/me/keyloom";
  EXPECT_EQ(RelativeSourcePath("/home/me/keyloom/src/values/value_row.cpp", root), "values/value_row.cpp");
  EXPECT_EQ(RelativeSourcePath("/home/me/keyloom/src/app/../hive/hive_file.cpp", root + "/"),
            "hive/hive_file.cpp");
  EXPECT_EQ(RelativeSourcePath("/home/me/keyloom/tests/faults/fault_trap_test.cpp", root),
            "tests/faults/fault_trap_test.cpp");
  EXPECT_EQ(RelativeSourcePath("/home/me/keyloom2/src/x.cpp", root), "/home/me/keyloom2/src/x.cpp");
  EXPECT_EQ(RelativeSourcePath("/usr/include/c++/12/bits/stl_vector.h", root),
            "/usr/include/c++/12/bits/stl_vector.h");
}

TEST(DecodeInstruction, LengthsAndPrivilegedInstructions) {
  PrepareInstructionDecoder();
  struct Case {
    std::vector<uint8_t> bytes;
    uint8_t length;
    bool privileged;
  };
  const Case cases[] = {
      {{0x48, 0x8B, 0x18}, 3, false},                          // mov (%rax),%rbx
      {{0x0F, 0x0B}, 2, false},                                // ud2
      {{0xF7, 0xF1}, 2, false},                                // div %ecx
      {{0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 10, false},       // movabs $imm64,%rax
      {{0xF4}, 1, true},                                       // hlt
      {{0xEC}, 1, true},                                       // in (%dx),%al
      {{0x0F, 0x22, 0xD8}, 3, true},                           // mov %rax,%cr3
      {{0x48, 0x8B}, 0, false},                                // cut short
      {{0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x90},
       15, false},                                             // the longest there is
  };
  for (const Case& c : cases) {
    const DecodedInstruction decoded = DecodeInstruction(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(decoded.length, c.length) << "first byte " << int{c.bytes[0]};
    EXPECT_EQ(decoded.privileged, c.privileged) << "first byte " << int{c.bytes[0]};
  }
}

TEST(CopyCodeBytes, StopsAtAnUnreadablePage) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* mapping = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  auto* base = static_cast<uint8_t*>(mapping);
  ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
  std::memset(base + page - 8, 0xAB, 8);

  uint8_t bytes[kMaxInstructionLength] = {};
  EXPECT_EQ(CopyCodeBytes(reinterpret_cast<uint64_t>(base + page - 8), bytes), 8u);
  EXPECT_EQ(bytes[0], 0xAB);
  EXPECT_EQ(bytes[7], 0xAB);
  EXPECT_EQ(CopyCodeBytes(reinterpret_cast<uint64_t>(base + page), bytes), 0u);
  EXPECT_EQ(CopyCodeBytes(reinterpret_cast<uint64_t>(base + 16), bytes), kMaxInstructionLength);
  munmap(mapping, 2 * page);
}

}  // namespace
}  // namespace faults
