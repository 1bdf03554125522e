#include "app/viewer_start.h"

#include <spawn.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <system_error>
#include <thread>

#include "app/fault_hooks.h"

extern char** environ;

namespace ui {
namespace {

// This program's executable, as the kernel knows it.
QByteArray OwnExecutable() {
  std::array<char, 4096> target{};
  const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size()) return QByteArrayLiteral("/proc/self/exe");
  return QByteArray(target.data(), length);
}

void ReapWhenEnded(pid_t process) {
  try {
    std::thread([process] {
      PrepareThreadForFaults();
      waitpid(process, nullptr, 0); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the ended process stays a zombie until this one ends.
  }
}

}  // namespace

std::vector<QByteArray> ViewerProcessArguments(const QByteArray& program, const QByteArray& path,
                                               bool openAnyway) {
  std::vector<QByteArray> arguments{program, QByteArrayLiteral("--name-in-title")};
  if (openAnyway) arguments.push_back(QByteArrayLiteral("--open-anyway"));
  arguments.push_back(QByteArrayLiteral("--"));
  arguments.push_back(path);
  return arguments;
}

bool StartViewerProcess(const QByteArray& path, bool openAnyway) {
  const QByteArray program = OwnExecutable();
  std::vector<QByteArray> arguments = ViewerProcessArguments(program, path, openAnyway);
  std::vector<char*> argv;
  for (QByteArray& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The new viewer starts with no signal blocked, whatever this thread blocks.
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  pid_t process = 0;
  const int failure = posix_spawn(&process, program.constData(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (failure != 0) return false;
  ReapWhenEnded(process);
  return true;
}

}  // namespace ui
