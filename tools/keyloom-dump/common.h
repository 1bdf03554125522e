#pragma once
// What the commands of keyloom-dump share: the output buffer and the escaping
// of labels and names, the hive opened and its key tree built, the stderr
// line of a walk that was cut short, and the ends of the file writers.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "export/export_walk.h"
#include "export/output_sink.h"
#include "hive/hive_file.h"
#include "tree/build_key_tree.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace dump {

// Bytes written as an escape: control characters, 0x7F and the backslash.
constexpr bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '\\'; }

// The length of the run of bytes at the start of text that need no escape.
// Tests 8 bytes at a time: a byte below 0x20, or one equal to 0x7F or '\\',
// sets its top bit in the mask.
inline size_t PlainRun(const unsigned char* text, size_t size) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  const auto below = [](uint64_t word, uint64_t n) { return (word - kOnes * n) & ~word & kHighs; };
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    if ((below(word, 0x20) | below(word ^ (kOnes * 0x7F), 1) | below(word ^ (kOnes * '\\'), 1)) != 0) {
      break;
    }
  }
  while (i < size && !NeedsEscape(text[i])) ++i;
  return i;
}

// Writes text at out with backslash, line feed, carriage return and tab
// escaped as \\ \n \r \t, and every other control character (and 0x7F) as
// \xHH; returns the end of what it wrote (at most 4 bytes per byte of text).
inline char* WriteEscaped(char* out, std::string_view text) {
  constexpr char kHexDigits[] = "0123456789ABCDEF";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  while (p != end) {
    // Runs that need no escape are copied whole.
    const size_t run = PlainRun(p, static_cast<size_t>(end - p));
    if (run != 0) std::memcpy(out, p, run);
    out += run;
    p += run;
    if (p == end) break;
    const unsigned char byte = *p++;
    *out++ = '\\';
    switch (byte) {
      case '\\': *out++ = '\\'; break;
      case '\n': *out++ = 'n'; break;
      case '\r': *out++ = 'r'; break;
      case '\t': *out++ = 't'; break;
      default:
        *out++ = 'x';
        *out++ = kHexDigits[byte >> 4];
        *out++ = kHexDigits[byte & 0xF];
    }
  }
  return out;
}

// Appends text escaped as OutputBuffer::WriteLine escapes a label.
void AppendEscaped(std::string& out, std::string_view text);

// Collects output in a buffer of its own and writes it in large pieces.
class OutputBuffer {
 public:
  // The buffer is not cleared first: only the part that is written to is
  // ever touched, so a small tree takes little memory.
  explicit OutputBuffer(std::FILE* file)
      : m_file(file), m_data(new char[kFlushAt]), m_capacity(kFlushAt) {}
  ~OutputBuffer() { Flush(); }
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Writes one line: 2 spaces per depth level, prefix, text escaped, a line feed.
  void WriteLine(int32_t depth, std::string_view prefix, std::string_view text) {
    char* out = Room(LineBound(depth, prefix.size(), text));
    const size_t indent = 2 * static_cast<size_t>(depth);
    std::memset(out, ' ', indent);
    out += indent;
    if (!prefix.empty()) std::memcpy(out, prefix.data(), prefix.size());
    out = WriteEscaped(out + prefix.size(), text);
    *out++ = '\n';
    m_used = static_cast<size_t>(out - m_data.get());
  }

  // Writes text as it stands, then a line feed.
  void WriteText(std::string_view text) {
    char* out = Room(text.size() + 1);
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\n';
    m_used += text.size() + 1;
  }

  void Flush() {
    if (m_used != 0) std::fwrite(m_data.get(), 1, m_used, m_file);
    m_used = 0;
  }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;

  // The most bytes WriteLine writes for an indent of depth levels and text.
  static size_t LineBound(int32_t depth, size_t prefixSize, std::string_view text) {
    return 2 * static_cast<size_t>(depth) + prefixSize + 4 * text.size() + 1;
  }

  // Room for at least bytes more at the end of what is collected.
  char* Room(size_t bytes) {
    if (m_capacity - m_used < bytes) {
      Flush();
      if (m_capacity < bytes) {
        m_data.reset(new char[bytes]);
        m_capacity = bytes;
      }
    }
    return m_data.get() + m_used;
  }

  std::FILE* m_file;
  std::unique_ptr<char[]> m_data;
  size_t m_capacity;
  size_t m_used = 0;
};

// A hive opened and its key tree built, for a command to print from.
struct OpenedHive {
  const char* path = nullptr;  // as the command line gave it
  std::unique_ptr<hive::HiveFile> hive;
  tree::KeyTree keys;
  tree::KeyIndex index;
  tree::BuildOutcome outcome = tree::BuildOutcome::kComplete;
};

// Opens the hive at path (the wider way with openAnyway, saying on stderr
// what that did beyond the strict open) and builds its key tree; false, the
// reason on stderr, when the file is not a readable hive.
bool OpenAndBuildTree(const char* path, bool openAnyway, OpenedHive& opened);

// The file name of a path: what follows its last "/".
inline std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The stderr line of a walk that did not read the whole tree.
void ReportBuildOutcome(const OpenedHive& opened);

// The file writers (src/export) need the file's map: false, and a line on
// stderr, when the hive has none.
bool CanWriteFrom(const OpenedHive& opened);

// The exit status of a writer's outcome, with a line on stderr for a cut
// export or a failed write.
int WriterStatus(const OpenedHive& opened, exporting::ExportOutcome outcome,
                 const exporting::DescriptorSink& sink);

}  // namespace dump
