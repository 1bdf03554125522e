#pragma once

// Fault codes in the Windows exception numbering, their description texts, and the
// mapping from a Linux fault signal onto them. No Qt; everything here is safe to call
// from a signal handler (no allocation, no locks).

#include <cstdint>
#include <string_view>

namespace faults {

// The codes the description table knows, plus the few extra Windows codes a Linux
// signal can map onto (those describe as "UNKNOWN Error").
inline constexpr uint32_t kNoFault = 0;
inline constexpr uint32_t kAccessViolation = 0xC0000005;
inline constexpr uint32_t kInvalidHandle = 0xC0000008;
inline constexpr uint32_t kIllegalInstruction = 0xC000001D;
inline constexpr uint32_t kNoncontinuableException = 0xC0000025;
inline constexpr uint32_t kInvalidDisposition = 0xC0000026;
inline constexpr uint32_t kArrayBoundsExceeded = 0xC000008C;
inline constexpr uint32_t kFloatDenormalOperand = 0xC000008D;
inline constexpr uint32_t kFloatDivideByZero = 0xC000008E;
inline constexpr uint32_t kFloatInexactResult = 0xC000008F;
inline constexpr uint32_t kFloatInvalidOperation = 0xC0000090;
inline constexpr uint32_t kFloatOverflow = 0xC0000091;
inline constexpr uint32_t kFloatStackCheck = 0xC0000092;
inline constexpr uint32_t kFloatUnderflow = 0xC0000093;
inline constexpr uint32_t kIntegerDivideByZero = 0xC0000094;
inline constexpr uint32_t kIntegerOverflow = 0xC0000095;
inline constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
inline constexpr uint32_t kControlCExit = 0xC000013A;
inline constexpr uint32_t kDllInitFailed = 0xC0000142;
inline constexpr uint32_t kStackOverflow = 0xC00000FD;
inline constexpr uint32_t kBreakpoint = 0x80000003;
inline constexpr uint32_t kSingleStep = 0x80000004;

// The description text of a fault code: "No Error" for 0, "UNKNOWN Error" for a code the
// table does not hold. The text is static; the view never dangles.
std::string_view DescribeFaultCode(uint32_t code) noexcept;

// The fault code of a hardware fault signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP)
// and its si_code, before the refinements that need more than the signal: a stack guard
// hit (kStackOverflow) and a privileged instruction raised as SIGSEGV/SI_KERNEL
// (kPrivilegedInstruction) are decided by the trap itself. Returns kNoFault for any
// other signal.
uint32_t FaultCodeForSignal(int signal_number, int signal_code) noexcept;

// True when the signal was raised by the processor for the instruction the thread was
// running (not sent by kill, raise or sigqueue).
bool IsHardwareFault(int signal_number, int signal_code) noexcept;

// True for the trap kinds where the kernel already reports the instruction pointer past
// the trapping instruction (int3, single step), so the thread resumes where it stands.
bool IsTrapFault(uint32_t code) noexcept;

}  // namespace faults
