#pragma once
// Text decoding. Keyloom's text is UTF-8 throughout.

#include <cstddef>
#include <cstdint>
#include <string>

namespace hive {

// Appends code point c (at most U+10FFFF) as UTF-8.
void AppendCodePoint(std::string& out, uint32_t c);

// Appends bytes as Latin-1 (byte b is U+00bb), stopping at the first zero byte.
void AppendLatin1(std::string& out, const uint8_t* bytes, size_t count);

// Appends UTF-16LE code units, stopping at the first NUL code unit. An unpaired
// surrogate becomes U+FFFD. A trailing odd byte is ignored. Returns the number
// of code units before the NUL (all of them when there is none).
size_t AppendUtf16Le(std::string& out, const uint8_t* bytes, size_t byteCount);

// Appends value in decimal, with leading zeros to at least width digits
// (printf's "%0*llu", without its cost: times are written a row at a time).
void AppendDecimal(std::string& out, uint64_t value, size_t width);

}  // namespace hive
