// --help, --version and unknown options of both programs, run as a user runs
// them: texts, streams and exit statuses; and the manual page of each names
// the same long options as its --help.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "run_process.h"

namespace {

struct Program {
  const char* name;
  const char* path;
  const char* manPage;
};

std::ostream& operator<<(std::ostream& out, const Program& program) { return out << program.name; }

// The long options ("--name") that text names.
std::set<std::string> LongOptions(const std::string& text, const std::regex& pattern) {
  std::set<std::string> options;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
    options.insert((*it)[1].str());
  }
  return options;
}

// The viewer must answer --help and --version without any display.
void ForgetTheDisplay() {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("QT_QPA_PLATFORM");
}

class CommandLine : public testing::TestWithParam<Program> {};

TEST_P(CommandLine, HelpGoesToStdoutWithStatus0) {
  ForgetTheDisplay();
  const Program& program = GetParam();
  for (const char* option : {"--help", "-h"}) {
    const testsupport::ProcessResult help = testsupport::RunProcess({program.path, option});
    EXPECT_EQ(help.exitStatus, 0) << option;
    EXPECT_EQ(help.err, "") << option;
    EXPECT_EQ(help.out.rfind(std::string("usage: ") + program.name + " ", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("\nOptions:\n"), std::string::npos);
    EXPECT_NE(help.out.find("\nExit status:\n"), std::string::npos);
    EXPECT_NE(help.out.find("  2  usage error\n"), std::string::npos);
  }
}

TEST_P(CommandLine, HelpAndManualPageNameTheSameOptions) {
  ForgetTheDisplay();
  const Program& program = GetParam();
  const testsupport::ProcessResult run = testsupport::RunProcess({program.path, "--help"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const std::string& help = run.out;
  const std::string manPage = testsupport::ReadWholeFile(program.manPage);
  ASSERT_FALSE(manPage.empty()) << program.manPage;
  const std::set<std::string> inHelp = LongOptions(help, std::regex("--([a-z][a-z-]*[a-z])"));
  const std::set<std::string> inManPage = LongOptions(manPage, std::regex(R"(\\-\\-([a-z][a-z\\-]*[a-z]))"));
  std::set<std::string> inManPageUnescaped;
  for (const std::string& option : inManPage) {
    inManPageUnescaped.insert(std::regex_replace(option, std::regex(R"(\\-)"), "-"));
  }
  EXPECT_EQ(inHelp, inManPageUnescaped);
  EXPECT_TRUE(inHelp.contains("help") && inHelp.contains("version"));
}

TEST_P(CommandLine, VersionIsTheProjectVersion) {
  ForgetTheDisplay();
  const Program& program = GetParam();
  const testsupport::ProcessResult version = testsupport::RunProcess({program.path, "--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, std::string(program.name) + " (Keyloom) " KEYLOOM_PROJECT_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

TEST_P(CommandLine, UnknownOptionIsAUsageErrorThatNamesIt) {
  // The viewer reads its other arguments once Qt has taken its own, so it
  // needs a platform, though no display.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const Program& program = GetParam();
  for (const char* option : {"--no-such-option", "-x"}) {
    const testsupport::ProcessResult run = testsupport::RunProcess({program.path, option, "hive"});
    EXPECT_EQ(run.exitStatus, 2) << option;
    EXPECT_NE(run.err.find(std::string("unknown option '") + option + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(std::string("usage: ") + program.name), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << option;
  }
}

const Program kPrograms[] = {
#ifdef KEYLOOM_VIEWER
    {"keyloom", KEYLOOM_VIEWER, KEYLOOM_MAN_DIR "/keyloom.1"},
#endif
    {"keyloom-dump", KEYLOOM_DUMP, KEYLOOM_MAN_DIR "/keyloom-dump.1"},
};

std::string TestNameOf(const testing::TestParamInfo<Program>& program) {
  return std::string(program.param.name) == "keyloom" ? "Viewer" : "Dump";
}

INSTANTIATE_TEST_SUITE_P(Programs, CommandLine, testing::ValuesIn(kPrograms), TestNameOf);

// After "--" an option's name is a file name: --help there is a hive to open.
TEST(DumpCommandLine, HelpAfterDoubleDashIsAPath) {
  const testsupport::ProcessResult run = testsupport::RunProcess({KEYLOOM_DUMP, "--", "--help"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("keyloom-dump: --help: ", 0), 0u) << run.err;
}

}  // namespace
