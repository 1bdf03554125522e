#pragma once
// The viewer's command line: keyloom [OPTION]... [HIVE].
//
// --help (-h) and --version are answered before the QApplication exists, so
// they need no display; everything else is read by ReadViewerArguments after
// Qt has taken its own options (-platform, -style, ...) out of the arguments.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace ui {

// The whole text of --help: usage, options, keys, exit statuses.
extern const char kViewerHelp[];

// When the arguments (program name first, as main has them) ask for --help,
// -h or --version before any "--", writes the answer to stdout and returns
// true: the program then ends with status 0. Returns false otherwise.
// Needs no QApplication.
bool AnswerInformationRequest(int argc, const char* const* argv);

struct ViewerArguments {
  enum class Request { kRun, kHelp, kVersion, kUsageError };
  Request request = Request::kRun;
  // The hive to open, byte for byte as given; none when the file dialog is to ask for one.
  std::optional<QByteArray> hivePath;
  // --open-anyway: a hive the strict open refuses but the wider open accepts
  // opens the wider way without asking, in this run.
  bool openAnyway = false;
  // --name-in-title: the main window's title names the hive even when it
  // opened the strict way, as windows opened from another window do.
  bool nameInTitle = false;
  // For kUsageError: what is wrong, naming the argument.
  QString error;
};

// Reads the arguments left after Qt's (the program name left out), as the
// bytes main was given: at most one hive path; "--" ends the options, so the argument after it is the path
// even when it starts with "-"; any other argument that starts with "-"
// (except "-" itself) is an unknown option.
ViewerArguments ReadViewerArguments(const QByteArrayList& arguments);

// Answers a request other than kRun: the help or the version on stdout
// (returns 0), or the usage error on stderr, naming what is wrong (returns 2).
// Returns -1 for kRun, which the caller runs itself.
int AnswerViewerArguments(const ViewerArguments& parsed);

}  // namespace ui
