#include "export/output_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace exporting {

bool DescriptorSink::Write(std::string_view bytes) {
  if (m_error != 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      m_error = errno;
      return false;
    }
    if (written == 0) {  // nothing taken and no reason given: treat as full
      m_error = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void BufferedOutput::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (m_used == kCapacity) Flush();
    const size_t part = std::min(bytes.size(), kCapacity - m_used);
    std::memcpy(m_data.get() + m_used, bytes.data(), part);
    m_used += part;
    bytes.remove_prefix(part);
  }
}

bool BufferedOutput::Flush() {
  if (!m_failed && m_used != 0 && !m_sink.Write(std::string_view(m_data.get(), m_used))) m_failed = true;
  m_used = 0;
  return !m_failed;
}

}  // namespace exporting
