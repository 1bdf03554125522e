#pragma once
// Opens that must refuse a path without waiting on it (a FIFO waits for a
// writer when opened the ordinary way): each runs in a child process that an
// alarm ends, so that an open that waits fails the test instead of hanging it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace testsupport {

// Expects open(path, &reason) to return false within 10 seconds, with a
// reason that reasonPattern (a regular expression) finds.
inline void ExpectRefusedAtOnce(const std::function<bool(const std::string&, std::string*)>& open,
                                const std::string& path, const std::string& reasonPattern) {
  EXPECT_EXIT(
      {
        ::alarm(10);
        std::string reason;
        const bool opened = open(path, &reason);
        std::fprintf(stderr, "%s\n", reason.c_str());
        std::_Exit(opened ? 1 : 0);
      },
      testing::ExitedWithCode(0), reasonPattern)
      << path;
}

}  // namespace testsupport
