#include "app/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ui {
namespace {

std::atomic<unsigned> g_temporaryNumber{0};

std::string TemporaryNameFor(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + "." + name + ".keyloom-" + std::to_string(::getpid()) + "-" +
         std::to_string(g_temporaryNumber.fetch_add(1));
}

}  // namespace

PendingFile::PendingFile(std::string target)
    : m_target(std::move(target)), m_fd(OpenTemporary()), m_sink(m_fd) {}

PendingFile::~PendingFile() {
  if (!m_committed) Abandon();
}

int PendingFile::OpenTemporary() {
  // Created new (never an existing file, never through a link), with the
  // permissions the user's umask gives a new file rather than mkstemp's 0600.
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_temporary = TemporaryNameFor(m_target);
    const int fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  m_error = errno;
  m_temporary.clear();
  return -1;
}

std::string PendingFile::Error() const {
  const int error = m_sink.Error() != 0 ? m_sink.Error() : m_error;
  return error != 0 ? std::strerror(error) : std::string();
}

void PendingFile::Fail(int error) {
  if (m_error == 0) m_error = error;
}

bool PendingFile::Commit() {
  if (m_committed) return true;
  if (!Failed() && ::fsync(m_fd) != 0) Fail(errno);
  if (!Failed()) {
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) Fail(errno);
  }
  if (!Failed() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) Fail(errno);
  if (Failed()) {
    CloseAndRemove();
    return false;
  }
  m_temporary.clear();
  m_committed = true;
  return true;
}

void PendingFile::Abandon() { CloseAndRemove(); }

void PendingFile::CloseAndRemove() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
}

std::string FileNotWrittenText(const std::string& target, const std::string& reason) {
  return "Keyloom could not write the file\n\n" + target + "\n\n" + reason + ".";
}

}  // namespace ui
