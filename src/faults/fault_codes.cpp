#include "faults/fault_codes.h"

#include <signal.h>

namespace faults {

namespace {

struct CodeText {
  uint32_t code;
  std::string_view text;
};

// The texts are the program's own and are shown exactly as they stand, typos and the
// trailing blank of CONTROL_C_EXIT included.
constexpr CodeText kDescriptions[] = {
    {kIntegerDivideByZero, "Attempted division by zero"},
    {kAccessViolation,
     "An attemped read or write to/from an address to which that process isn't allowed"},
    {kPrivilegedInstruction,
     "The instruction is not allowed in the current ring (inport, outport & control register "
     "manipulation usually)"},
    {kIllegalInstruction,
     "Try to execute an invalid instruction -such as MMX opcodes on a non MMX system"},
    {kNoncontinuableException,
     "The exception filter returned EXCEPTION_CONTINUE_EXCEPTION when the exception raised "
     "isn't restartable"},
    {kStackOverflow,
     "Stack overflow.Can occur during errant recursion, or when a function creates a "
     "particularly large array on the stack."},
    {kInvalidDisposition,
     "INVALID_DISPOSITION Whatever number the exception filter returned, it wasn't a value the "
     "OS knows about."},
    {kInvalidHandle,
     "INVALID_HANDLE The API call was passed a handle to a kernel object which was invalid "
     "-usually because that handle has already been closed."},
    {kDllInitFailed, "EXCEPTION_DLL_Initialisation_Failure raised when DllMain() returns false (?)"},
    {kFloatDenormalOperand,
     "FLOAT_DENORMAL_OPERAND One of the operands in a floating-point operation is too small to "
     "be represented in a floating-point value."},
    {kFloatDivideByZero,
     "FLOAT_DIVIDE_BY_ZERO The thread tried to divide a floating-point value by zero."},
    {kFloatInexactResult,
     "FLOAT_INEXACT_RESULT The accuracy of the last floating point operation is worse than "
     "usual as it is impossible to represent in the float accurately,"},
    {kFloatInvalidOperation, "FLOAT_INVALID_OPERATION Any other floating-point exception."},
    {kFloatOverflow, "FLOAT_OVERFLOW The result was too big to represent"},
    {kFloatStackCheck,
     "FLOAT_STACK_CHECK A floating point stack overflowed or underflow. This related to the "
     "baroque design of the floating point unit."},
    {kFloatUnderflow, "FLT_UNDERFLOW The result was too small to represent"},
    {kControlCExit, "CONTROL_C_EXIT Lets the debugger know the user hit Ctrl-C. "},
    {kBreakpoint, "BREAKPOINT A breakpoint was encountered."},
    {kSingleStep,
     "SINGLE_STEP The CPU has signalled that one instruction has been executed.Only of interest "
     "to Debuggers"},
    {kNoFault, "No Error"},
};

}  // namespace

std::string_view DescribeFaultCode(uint32_t code) noexcept {
  for (const CodeText& entry : kDescriptions) {
    if (entry.code == code) {
      return entry.text;
    }
  }
  return "UNKNOWN Error";
}

bool IsHardwareFault(int signal_number, int signal_code) noexcept {
  switch (signal_number) {
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGTRAP:
      // Codes <= 0 (SI_USER, SI_QUEUE, SI_TKILL, ...) come from a process, not the CPU.
      // SI_KERNEL is positive: x86-64 reports int3 and general-protection faults that way.
      return signal_code > 0;
    default:
      return false;
  }
}

uint32_t FaultCodeForSignal(int signal_number, int signal_code) noexcept {
  switch (signal_number) {
    case SIGSEGV:
    case SIGBUS:
      return kAccessViolation;
    case SIGFPE:
      switch (signal_code) {
        case FPE_INTDIV: return kIntegerDivideByZero;
        case FPE_INTOVF: return kIntegerOverflow;
        case FPE_FLTDIV: return kFloatDivideByZero;
        case FPE_FLTOVF: return kFloatOverflow;
        case FPE_FLTUND: return kFloatUnderflow;
        case FPE_FLTRES: return kFloatInexactResult;
        case FPE_FLTSUB: return kArrayBoundsExceeded;
        default: return kFloatInvalidOperation;  // FPE_FLTINV and anything newer
      }
    case SIGILL:
      if (signal_code == ILL_PRVOPC || signal_code == ILL_PRVREG) {
        return kPrivilegedInstruction;
      }
      return kIllegalInstruction;
    case SIGTRAP:
      if (signal_code == TRAP_TRACE || signal_code == TRAP_BRANCH) {
        return kSingleStep;
      }
      return kBreakpoint;  // SI_KERNEL (int3), TRAP_BRKPT, TRAP_HWBKPT
    default:
      return kNoFault;
  }
}

bool IsTrapFault(uint32_t code) noexcept { return code == kBreakpoint || code == kSingleStep; }

}  // namespace faults
