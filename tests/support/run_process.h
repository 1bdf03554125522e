#pragma once
// Runs a program and collects its exit status, standard output and standard error.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the program did not exit normally, or did not start
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace detail {

// A file of its own for a stream of the child: created and unlinked at once,
// so that nothing else on the machine (a clean-up of /tmp, another test) can
// take it away or write to it; read back through the descriptor.
inline int AnonymousFile() {
  char path[] = "/tmp/keyloom-run-XXXXXX";
  const int fd = ::mkostemp(path, O_CLOEXEC);
  if (fd >= 0) ::unlink(path);
  return fd;
}

inline std::string ReadFromStart(int fd) {
  std::string text;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    at += got;
  }
  return text;
}

// One try: startError is 0 when the program started (whatever it did then),
// else the errno of the fork or of the exec.
inline ProcessResult RunProcessOnce(const std::vector<std::string>& argv, int& startError) {
  ProcessResult result;
  startError = 0;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int outFd = AnonymousFile();
  const int errFd = AnonymousFile();
  int report[2] = {-1, -1};  // the exec's errno, when it fails; closed by a successful exec
  if (outFd < 0 || errFd < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
    startError = errno;
  } else {
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(outFd, 1);
      ::dup2(errFd, 2);
      ::execv(args[0], args.data());
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    if (child < 0) {
      startError = errno;
    } else {
      ::close(report[1]);
      report[1] = -1;
      int error = 0;
      ssize_t got;
      while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
      }
      if (got == static_cast<ssize_t>(sizeof error)) startError = error;
      int status = 0;
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      if (startError == 0 && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
      result.out = ReadFromStart(outFd);
      result.err = ReadFromStart(errFd);
    }
  }
  for (const int fd : {outFd, errFd, report[0], report[1]}) {
    if (fd >= 0) ::close(fd);
  }
  return result;
}

}  // namespace detail

// Runs argv[0] with argv, without a shell. A start that fails for want of
// something the machine lacks for a moment (processes, memory, the program
// file still open for writing) is tried again, up to 10 times 200 ms apart:
// such a failure says nothing of the program. A program that could not be
// started at all has exitStatus -1 and the reason in err.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
  for (int attempt = 1;; ++attempt) {
    int startError = 0;
    ProcessResult result = detail::RunProcessOnce(argv, startError);
    if (startError == 0) return result;
    const bool passing = startError == EAGAIN || startError == ENOMEM || startError == ETXTBSY;
    if (!passing || attempt == 10) {
      result.exitStatus = -1;
      result.err = "could not start " + argv[0] + ": " + std::strerror(startError);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace testsupport
