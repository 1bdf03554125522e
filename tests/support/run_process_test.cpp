// RunProcess: what the program wrote and its status, also when the machine
// lacks something for a moment as it starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "run_process.h"

namespace {

using testsupport::RunProcess;

TEST(RunProcess, CollectsBothStreamsAndTheStatus) {
  const auto run = RunProcess({"/bin/sh", "-c", "printf out; printf err >&2; exit 3"});
  EXPECT_EQ(run.exitStatus, 3);
  EXPECT_EQ(run.out, "out");
  EXPECT_EQ(run.err, "err");
}

TEST(RunProcess, AProgramThatCannotStartSaysWhy) {
  const auto run = RunProcess({"/nonexistent/program"});
  EXPECT_EQ(run.exitStatus, -1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "could not start /nonexistent/program: No such file or directory");
}

// A program file still open for writing cannot be started (ETXTBSY); the run
// starts it once the writer has closed it.
TEST(RunProcess, AProgramFileStillBeingWrittenIsStartedOnceClosed) {
  char path[] = "/tmp/keyloom-program-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string script = "#!/bin/sh\necho started\n";
  ASSERT_EQ(::write(fd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
  ASSERT_EQ(::fchmod(fd, 0700), 0);
  std::thread writer([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(fd);
  });
  const auto run = RunProcess({path});
  writer.join();
  ::unlink(path);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "started\n");
}

}  // namespace
