#pragma once
// A command of keyloom-dump: what it prints instead of (or as) the key tree,
// the options that choose it and shape it, and its parts of --help.
//
// main.cpp offers every option to every command (an option may belong to
// several: --deleted is a command of its own and a modifier of --timeline).
// The command that runs is the one an option of its own chose; a command
// whose choosing option another chosen command takes as well steps aside for
// it; two chosen commands are a usage error; with none chosen the first of
// the list (the tree) runs.

#include <span>
#include <string_view>

#include "common.h"

namespace dump {

// What a command made of one option of the command line.
enum class Taken { kNotMine, kTaken, kUsageError };

// One option a command takes.
struct Option {
  std::string_view name;       // "--find"
  bool takesArgument = false;  // the next argument is its value
  // The value may be left out: the next argument is its value only when
  // another argument follows it (the hive comes last).
  bool argumentOptional = false;
};

class Command {
 public:
  // options: every option it takes, the one that chooses it first; they
  // must outlive the command.
  explicit Command(std::span<const Option> options) : m_options(options) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Its lines of the usage, the first starting with "keyloom-dump" (--help
  // puts "usage: " or an indent before it), each ending with a line feed.
  virtual std::string_view Usage() const = 0;
  // Where its usage stands among the commands' (smaller first; the options
  // follow the order of the list of commands).
  virtual int UsagePlace() const = 0;
  // Its options' lines of --help.
  virtual std::string_view OptionsHelp() const = 0;

  // Takes option (with its argument when it takes one, else nullptr);
  // kNotMine for an option it does not know.
  virtual Taken Take(std::string_view option, const char* argument) = 0;
  // Whether the command line chose it.
  virtual bool Chosen() const = 0;
  // False when the options it took do not go together (or were given
  // without choosing it): a usage error.
  virtual bool Valid() const = 0;

  // The option that chooses it.
  std::string_view ChoosingOption() const { return m_options.front().name; }
  // Whether option is one of its own, and one that takes the next argument.
  bool Knows(std::string_view option) const {
    for (const Option& own : m_options) {
      if (own.name == option) return true;
    }
    return false;
  }
  bool TakesArgument(std::string_view option) const {
    for (const Option& own : m_options) {
      if (own.name == option) return own.takesArgument;
    }
    return false;
  }
  bool ArgumentOptional(std::string_view option) const {
    for (const Option& own : m_options) {
      if (own.name == option) return own.argumentOptional;
    }
    return false;
  }

  // Prints from the opened hive to stdout; the exit status.
  virtual int Run(OpenedHive& opened) = 0;

 private:
  std::span<const Option> m_options;
};

// Every command, in the order --help lists their options; the first is the
// default. Each is a file of its own that defines `Command& <Name>Command()`:
// a new command is that file and one line here.
#define KEYLOOM_DUMP_COMMANDS(COMMAND) \
  COMMAND(Tree)                        \
  COMMAND(Find)                        \
  COMMAND(Deleted)                     \
  COMMAND(Export)                      \
  COMMAND(Timeline)                    \
  COMMAND(Artifacts)

#define KEYLOOM_DUMP_DECLARE_COMMAND(name) Command& name##Command();
KEYLOOM_DUMP_COMMANDS(KEYLOOM_DUMP_DECLARE_COMMAND)
#undef KEYLOOM_DUMP_DECLARE_COMMAND

}  // namespace dump
