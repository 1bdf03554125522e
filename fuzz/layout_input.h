#pragma once
// How one input of the layouts fuzzer is read (shared by the fuzzer and its
// seed maker): the first byte picks the decoder (its value modulo
// kLayoutDecoderCount, in the order below), the rest is the value's data.

#include <cstdint>

namespace fuzzing {

enum class LayoutDecoder : uint8_t {
  kAppCompatCache,     // SYSTEM AppCompatCache, every Windows layout
  kSamUserF,           // SAM user F, with its flags as words
  kSamUserV,           // SAM user V
  kSamAliasC,          // SAM alias C
  kSamGroupC,          // SAM group C
  kDomainSid,          // the end of SAM Domains\Account's V
  kUserAssistBySize,   // UserAssist data, no Version value
  kUserAssistVersion3,
  kUserAssistVersion5,
};
inline constexpr uint8_t kLayoutDecoderCount = 9;

}  // namespace fuzzing
