#include "recovery/marvin32.h"

#include <bit>

#include "hive/little_endian.h"

namespace recovery {
namespace {

struct State {
  uint32_t p0;
  uint32_t p1;
};

inline void Mix(State& s) {
  s.p1 ^= s.p0;
  s.p0 = std::rotl(s.p0, 20);
  s.p0 += s.p1;
  s.p1 = std::rotl(s.p1, 9);
  s.p1 ^= s.p0;
  s.p0 = std::rotl(s.p0, 27);
  s.p0 += s.p1;
  s.p1 = std::rotl(s.p1, 19);
}

}  // namespace

uint64_t Marvin32(const uint8_t* data, size_t size, uint64_t seed) {
  State s{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32)};
  size_t at = 0;
  for (; size - at >= 4; at += 4) {
    s.p0 += hive::LoadU32(data + at);
    Mix(s);
  }
  // The last 0 to 3 bytes, closed by a 0x80 byte.
  const size_t rest = size - at;
  uint32_t last = uint32_t{0x80} << (8 * rest);
  for (size_t i = 0; i < rest; ++i) last |= uint32_t{data[at + i]} << (8 * i);
  s.p0 += last;
  Mix(s);
  Mix(s);
  return (uint64_t{s.p1} << 32) | s.p0;
}

}  // namespace recovery
