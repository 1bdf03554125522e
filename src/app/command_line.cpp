#include "app/command_line.h"

#include <cstdio>
#include <string_view>

#include "keyloom_version.h"

namespace ui {

const char kViewerHelp[] =
    "usage: keyloom [OPTION]... [HIVE]\n"
    "\n"
    "Shows the keys and values of a Windows NT registry hive file (\"regf\":\n"
    "NTUSER.DAT, UsrClass.dat, SYSTEM, SOFTWARE, SAM, ...), read-only: Keyloom\n"
    "never writes to the hive nor to its transaction logs. Without HIVE a file\n"
    "dialog asks for one.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "      --version    show the version and exit\n"
    "  --open-anyway    open a newer or unsaved hive without asking (see below)\n"
    "  --name-in-title  name the hive in the window title (windows opened from\n"
    "                   another window do)\n"
    "  --               end of options: the next argument is the hive\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
    "\n"
    "A file that is not a readable hive gets a message that says why. A hive\n"
    "of version 1.4 to 1.6, or one not saved cleanly, can still be opened with\n"
    "the message's \"Open anyway\" button: its transaction logs (HIVE.LOG,\n"
    ".LOG1, .LOG2 beside it) are then applied in memory. Its check box \"Always\n"
    "open newer and unsaved hives\" keeps that choice for later hives (the\n"
    "context menu's \"Open Newer and Unsaved Hives Without Asking\" turns it off).\n"
    "\n"
    "More hives: Ctrl+O (\"Open Hive...\"), \"Open Recent\" in the context menu,\n"
    "or files dropped on the main window open each in a window and a process\n"
    "of its own. The recent list and that choice are kept in\n"
    "~/.config/keyloom/keyloom.conf, the only file Keyloom writes.\n"
    "\n"
    "Keys in the main window:\n"
    "  Ctrl+O               open another hive in a window of its own\n"
    "  Ctrl+F               find keys, value names and data\n"
    "  F3, Shift+F3         the next, the previous match\n"
    "  Alt+Enter            Key Properties of the selected key\n"
    "  Enter, double-click  Value Details of the selected value\n"
    "  Ctrl+C               copy the key's path, or the value's row\n"
    "  Ctrl+Shift+C         copy the value's data\n"
    "  Ctrl+Shift+D         show deleted keys and values (and hide them again)\n"
    "Tooltips show a key's path and last-written time, and cut-off cells whole.\n"
    "\n"
    "Exit status:\n"
    "  0  the main window or the loading window was closed, or the dialog\n"
    "     cancelled\n"
    "  1  the hive was refused (and not opened anyway)\n"
    "  2  usage error\n";

namespace {

constexpr char kViewerUsageLine[] = "usage: keyloom [OPTION]... [HIVE]\n";

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

void PrintVersion() { std::printf("keyloom (Keyloom) %s\n", kKeyloomVersion); }

}  // namespace

bool AnswerInformationRequest(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (IsHelp(arg)) {
      std::fputs(kViewerHelp, stdout);
      return true;
    }
    if (arg == "--version") {
      PrintVersion();
      return true;
    }
  }
  return false;
}

ViewerArguments ReadViewerArguments(const QByteArrayList& arguments) {
  ViewerArguments result;
  bool optionsEnded = false;
  for (const QByteArray& arg : arguments) {
    const bool isOption = !optionsEnded && arg.startsWith('-') && arg.size() > 1;
    if (isOption && arg == "--") {
      optionsEnded = true;
    } else if (isOption && IsHelp(arg.toStdString())) {
      result.request = ViewerArguments::Request::kHelp;
      return result;
    } else if (isOption && arg == "--version") {
      result.request = ViewerArguments::Request::kVersion;
      return result;
    } else if (isOption && arg == "--open-anyway") {
      result.openAnyway = true;
    } else if (isOption && arg == "--name-in-title") {
      result.nameInTitle = true;
    } else if (isOption) {
      result.request = ViewerArguments::Request::kUsageError;
      result.error = QStringLiteral("unknown option '%1'").arg(QString::fromUtf8(arg));
      return result;
    } else if (result.hivePath) {
      result.request = ViewerArguments::Request::kUsageError;
      result.error = QStringLiteral("more than one hive given ('%1' and '%2')")
                         .arg(QString::fromUtf8(*result.hivePath), QString::fromUtf8(arg));
      return result;
    } else {
      result.hivePath = arg;
    }
  }
  return result;
}

int AnswerViewerArguments(const ViewerArguments& parsed) {
  switch (parsed.request) {
    case ViewerArguments::Request::kHelp: std::fputs(kViewerHelp, stdout); return 0;
    case ViewerArguments::Request::kVersion: PrintVersion(); return 0;
    case ViewerArguments::Request::kUsageError:
      std::fprintf(stderr, "keyloom: %s\n%sTry 'keyloom --help' for more.\n", qPrintable(parsed.error),
                   kViewerUsageLine);
      return 2;
    case ViewerArguments::Request::kRun: break;
  }
  return -1;
}

}  // namespace ui
