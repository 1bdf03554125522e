// keyloom-dump: prints the key tree of a hive as indented text, for scripts and
// tests, or instead what one of its commands prints (command.h; one file per
// command). This file reads the command line, answers --help and --version,
// opens the hive, builds its key tree and hands over to the command chosen.
//
// The options and exit statuses are those of --help, which is put together
// from the commands' parts and the texts below.
//
// --open-anyway opens the hive the wider way (recovery/open_anyway.h): newer
// versions, and hives not saved cleanly with their transaction logs applied in
// memory. Each thing it did beyond the strict open is one line on stderr.

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "keyloom_version.h"

namespace {

using dump::Command;

constexpr std::string_view kDescription =
    "Prints the key tree of a Windows NT registry hive file as indented text: one\n"
    "line per key in pre-order, two spaces per level, the key's name and its\n"
    "subkey and value counts as \"name (subkeys/values)\", with backslashes and\n"
    "control characters escaped (\\\\ \\n \\r \\t \\xHH). Reads the hive only: it\n"
    "never writes to the hive nor to its transaction logs.\n";

// The options of every command: the opening, after the default command's own.
constexpr std::string_view kOpenOptions =
    "  --open-anyway    open a hive that the strict open refuses only for its\n"
    "                   version (1.4 to 1.6), its sequence numbers (not saved\n"
    "                   cleanly) or its clustering factor, with its transaction\n"
    "                   logs (HIVE.LOG, HIVE.LOG1, HIVE.LOG2) applied in memory;\n"
    "                   one line on stderr for each thing done beyond the\n"
    "                   strict open\n";

constexpr std::string_view kInformationOptions =
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               end of options: the next argument is the hive\n";

constexpr std::string_view kExitStatus =
    "Exit status:\n"
    "  0  success (with --find: something matched; with --deleted: also when\n"
    "     nothing was recovered)\n"
    "  1  the hive cannot be read (the reason goes to stderr), or the output\n"
    "     cannot be written\n"
    "  2  usage error\n"
    "  3  --find: nothing matched\n";

std::vector<Command*> AllCommands() {
#define KEYLOOM_DUMP_LIST_COMMAND(name) &dump::name##Command(),
  return {KEYLOOM_DUMP_COMMANDS(KEYLOOM_DUMP_LIST_COMMAND)};
#undef KEYLOOM_DUMP_LIST_COMMAND
}

// The whole text of --help: the commands' usage lines, the description, the
// options (the default command's, the opening, the other commands', then
// --help and its kind) and the exit statuses. Its lines up to the first
// empty line are the usage that a usage error prints.
std::string Help(const std::vector<Command*>& commands) {
  std::vector<const Command*> byUsage(commands.begin(), commands.end());
  std::stable_sort(byUsage.begin(), byUsage.end(),
                   [](const Command* a, const Command* b) { return a->UsagePlace() < b->UsagePlace(); });
  std::string help;
  for (const Command* command : byUsage) {
    help += help.empty() ? "usage: " : "       ";
    help += command->Usage();
  }
  help += "       keyloom-dump --help | --version\n\n";
  help += kDescription;
  help += "\nOptions:\n";
  help += commands.front()->OptionsHelp();
  help += kOpenOptions;
  for (size_t i = 1; i < commands.size(); ++i) help += commands[i]->OptionsHelp();
  help += kInformationOptions;
  help += '\n';
  help += kExitStatus;
  return help;
}

int Usage(std::string_view help) {
  const std::string_view usage = help.substr(0, help.find("\n\n") + 1);
  std::fwrite(usage.data(), 1, usage.size(), stderr);
  return 2;
}

int UnknownOption(std::string_view help, std::string_view option) {
  std::fprintf(stderr, "keyloom-dump: unknown option '%.*s'\n", static_cast<int>(option.size()), option.data());
  return Usage(help);
}

bool TakesArgument(const std::vector<Command*>& commands, std::string_view option) {
  return std::any_of(commands.begin(), commands.end(),
                     [option](const Command* command) { return command->TakesArgument(option); });
}

// Whether the option at argv[i] takes argv[i + 1] as its value: always for an
// option that takes one, but for one whose value may be left out only when
// another argument (the hive) follows that one.
bool TakesNextArgument(const std::vector<Command*>& commands, int argc, int i, std::string_view option) {
  if (!TakesArgument(commands, option)) return false;
  const bool optional = std::any_of(commands.begin(), commands.end(),
                                    [option](const Command* command) { return command->ArgumentOptional(option); });
  return !optional || i + 2 < argc;
}

// --help or --version among the options (before any "--"; the argument of
// an option that takes one is not an option): their text on stdout, true.
bool AnswerInformationRequest(int argc, char** argv, const std::vector<Command*>& commands,
                              std::string_view help) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (TakesNextArgument(commands, argc, i, arg)) {
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      std::fwrite(help.data(), 1, help.size(), stdout);
      return true;
    } else if (arg == "--version") {
      std::printf("keyloom-dump (Keyloom) %s\n", kKeyloomVersion);
      return true;
    }
  }
  return false;
}

// The command the options chose (the default when none did); nullptr when
// they chose more than one.
Command* ChosenCommand(const std::vector<Command*>& commands) {
  std::vector<Command*> chosen;
  for (Command* command : commands) {
    if (command->Chosen()) chosen.push_back(command);
  }
  std::vector<Command*> running;
  for (Command* command : chosen) {
    const bool stepsAside = std::any_of(chosen.begin(), chosen.end(), [command](const Command* other) {
      return other != command && other->Knows(command->ChoosingOption());
    });
    if (!stepsAside) running.push_back(command);
  }
  if (running.size() > 1) return nullptr;
  return running.empty() ? commands.front() : running.front();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<Command*> commands = AllCommands();
  const std::string help = Help(commands);
  if (AnswerInformationRequest(argc, argv, commands, help)) return std::ferror(stdout) != 0 ? 1 : 0;
  bool openAnyway = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool known = std::any_of(commands.begin(), commands.end(),
                                   [arg](const Command* command) { return command->Knows(arg); });
    const bool takesArgument = TakesNextArgument(commands, argc, i, arg);
    if (known && (!takesArgument || i + 1 < argc)) {
      const char* argument = takesArgument ? argv[++i] : nullptr;
      for (Command* command : commands) {
        if (command->Take(arg, argument) == dump::Taken::kUsageError) return Usage(help);
      }
    } else if (arg == "--open-anyway") {
      openAnyway = true;
    } else if (arg == "--") {
      if (i + 1 != argc - 1 || path != nullptr) return Usage(help);
      path = argv[++i];
    } else if (arg.starts_with("-") && arg.size() > 1) {
      return UnknownOption(help, arg);
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      return Usage(help);
    }
  }
  if (path == nullptr) return Usage(help);
  Command* command = ChosenCommand(commands);
  if (command == nullptr) return Usage(help);
  for (const Command* each : commands) {
    if (!each->Valid()) return Usage(help);
  }
  dump::OpenedHive opened;
  if (!dump::OpenAndBuildTree(path, openAnyway, opened)) return 1;
  const int status = command->Run(opened);
  hive::CloseHive(opened.hive);
  return status;
}
