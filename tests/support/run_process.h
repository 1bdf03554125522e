#pragma once
// Runs a program and collects its exit status, standard output and standard error.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs argv[0] with argv, without a shell.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult result;
  char outPath[] = "/tmp/keyloom-out-XXXXXX";
  char errPath[] = "/tmp/keyloom-err-XXXXXX";
  const int outFd = ::mkstemp(outPath);
  const int errFd = ::mkstemp(errPath);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(outFd);
  ::close(errFd);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  ::unlink(outPath);
  ::unlink(errPath);
  return result;
}

}  // namespace testsupport
