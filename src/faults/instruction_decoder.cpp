#include "faults/instruction_decoder.h"

#include <Zydis/Zydis.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace faults {

namespace {

ZydisDecoder g_decoder;
bool g_decoder_ready = false;

constexpr uint64_t kPageSize = 4096;  // the smallest x86-64 page; a split there is always safe

// Where a sandbox forbids process_vm_readv: copy page by page while mincore says the
// page is mapped. Code that the processor just fetched is readable.
size_t CopyMappedBytes(uint64_t address, size_t first, uint8_t (&bytes)[kMaxInstructionLength]) noexcept {
  size_t copied = 0;
  const size_t chunks[2] = {first, kMaxInstructionLength - first};
  for (size_t chunk : chunks) {
    if (chunk == 0) {
      break;
    }
    const uint64_t at = address + copied;
    unsigned char resident = 0;
    if (mincore(reinterpret_cast<void*>(at - at % kPageSize), 1, &resident) != 0) {
      break;
    }
    const auto* source = reinterpret_cast<const volatile uint8_t*>(at);
    for (size_t i = 0; i < chunk; ++i) {
      bytes[copied + i] = source[i];
    }
    copied += chunk;
  }
  return copied;
}

}  // namespace

void PrepareInstructionDecoder() {
  if (!g_decoder_ready) {
    g_decoder_ready =
        ZYAN_SUCCESS(ZydisDecoderInit(&g_decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64));
  }
}

size_t CopyCodeBytes(uint64_t address, uint8_t (&bytes)[kMaxInstructionLength]) noexcept {
  // process_vm_readv reports EFAULT instead of faulting. It transfers whole iovec
  // elements only, so the range is split at the page boundary: the bytes before an
  // unmapped page still arrive.
  const uint64_t to_page_end = kPageSize - (address % kPageSize);
  const size_t first = to_page_end < kMaxInstructionLength ? static_cast<size_t>(to_page_end)
                                                           : kMaxInstructionLength;
  iovec local{bytes, kMaxInstructionLength};
  iovec remote[2] = {{reinterpret_cast<void*>(address), first},
                     {reinterpret_cast<void*>(address + first), kMaxInstructionLength - first}};
  const int saved_errno = errno;
  const ssize_t copied =
      process_vm_readv(getpid(), &local, 1, remote, first < kMaxInstructionLength ? 2 : 1, 0);
  const bool unavailable = copied < 0 && (errno == ENOSYS || errno == EPERM);
  errno = saved_errno;
  if (!unavailable) {
    return copied > 0 ? static_cast<size_t>(copied) : 0;
  }
  return CopyMappedBytes(address, first, bytes);
}

DecodedInstruction DecodeInstruction(const uint8_t* bytes, size_t count) noexcept {
  DecodedInstruction result;
  if (!g_decoder_ready || count == 0) {
    return result;
  }
  ZydisDecodedInstruction instruction;
  if (!ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&g_decoder, nullptr, bytes, count, &instruction))) {
    return result;
  }
  result.length = instruction.length;
  result.privileged = (instruction.attributes & ZYDIS_ATTRIB_IS_PRIVILEGED) != 0 ||
                      instruction.meta.category == ZYDIS_CATEGORY_IO ||
                      instruction.meta.category == ZYDIS_CATEGORY_IOSTRINGOP;
  return result;
}

DecodedInstruction DecodeInstructionAt(uint64_t address) noexcept {
  uint8_t bytes[kMaxInstructionLength] = {};
  const size_t count = CopyCodeBytes(address, bytes);
  return DecodeInstruction(bytes, count);
}

}  // namespace faults
