#pragma once
// Marvin32, the keyed hash that checks each entry of a new-format
// transaction log. Pure computation: safe from any thread.

#include <cstddef>
#include <cstdint>

namespace recovery {

// The 64-bit Marvin32 hash of size bytes at data under seed (low 32 bits: the
// first state word). data may be null when size is 0.
uint64_t Marvin32(const uint8_t* data, size_t size, uint64_t seed);

}  // namespace recovery
