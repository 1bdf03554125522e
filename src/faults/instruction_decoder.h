#pragma once

// Length and kind of the x86-64 machine instruction at a code address, for stepping a
// faulting thread past it. No Qt.

#include <cstddef>
#include <cstdint>

namespace faults {

// x86-64 caps an instruction at 15 bytes.
inline constexpr size_t kMaxInstructionLength = 15;

struct DecodedInstruction {
  uint8_t length = 0;       // 0: the bytes could not be read or decoded
  bool privileged = false;  // ring-0 only, or port input/output
};

// Sets up the decoder. Call before the first DecodeInstructionAt (InstallFaultTrap does).
// Not safe in a signal handler.
void PrepareInstructionDecoder();

// Copies up to kMaxInstructionLength bytes of this process's memory at `address` into
// `bytes` without faulting: unmapped or unreadable bytes end the copy. Returns the count
// copied. Safe in a signal handler.
size_t CopyCodeBytes(uint64_t address, uint8_t (&bytes)[kMaxInstructionLength]) noexcept;

// Decodes the instruction at `address` of this process (64-bit mode). Safe in a signal
// handler once PrepareInstructionDecoder has run.
DecodedInstruction DecodeInstructionAt(uint64_t address) noexcept;

// Decodes an instruction from a buffer. Safe in a signal handler once prepared.
DecodedInstruction DecodeInstruction(const uint8_t* bytes, size_t count) noexcept;

}  // namespace faults
