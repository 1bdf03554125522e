#pragma once
// Where the writers' bytes go. A writer collects its output in a
// BufferedOutput of a fixed size and hands it to an OutputSink in pieces, so
// no output is ever held whole in memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace exporting {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes all of bytes. False when they could not all be written; the
  // writer then stops, and the sink's own state says why.
  virtual bool Write(std::string_view bytes) = 0;
};

// Writes to an open file descriptor with write(2), going on after a partial
// write or EINTR. Error() is the errno of the first failure, 0 while none.
class DescriptorSink final : public OutputSink {
 public:
  explicit DescriptorSink(int fd) : m_fd(fd) {}
  bool Write(std::string_view bytes) override;
  int Error() const { return m_error; }

 private:
  int m_fd;
  int m_error = 0;
};

// Discards the bytes and counts them (the fuzzer, benchmarks).
class NullSink final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    m_bytes += bytes.size();
    return true;
  }
  uint64_t Bytes() const { return m_bytes; }

 private:
  uint64_t m_bytes = 0;
};

// Collects the bytes in a string (tests, small pieces).
class StringSink final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

// A fixed buffer in front of a sink: Append collects, and the buffer goes to
// the sink whenever it fills and at Flush. After the sink failed, everything
// is dropped and Failed() is true.
class BufferedOutput {
 public:
  static constexpr size_t kCapacity = size_t{64} * 1024;

  explicit BufferedOutput(OutputSink& sink) : m_sink(sink), m_data(new char[kCapacity]) {}
  BufferedOutput(const BufferedOutput&) = delete;
  BufferedOutput& operator=(const BufferedOutput&) = delete;

  void Append(std::string_view bytes);
  void Append(char byte) {
    if (m_used == kCapacity) Flush();
    m_data[m_used++] = byte;
  }
  // Room for count bytes (at most kCapacity) written in place, then
  // Commit(written) with written at most count.
  char* Room(size_t count) {
    if (kCapacity - m_used < count) Flush();
    return m_data.get() + m_used;
  }
  void Commit(size_t written) { m_used += written; }
  // Hands what is collected to the sink; false once the sink failed.
  bool Flush();
  bool Failed() const { return m_failed; }

 private:
  OutputSink& m_sink;
  std::unique_ptr<char[]> m_data;
  size_t m_used = 0;
  bool m_failed = false;
};

}  // namespace exporting
