// keyloom [OPTION]... [HIVE]: the registry hive viewer. Without HIVE a file
// dialog asks for one. --help and --version are answered before anything of
// Qt starts, so they need no display.
#include <QApplication>
#include <QByteArrayList>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/fault_hooks.h"
#include "app/program_end.h"
#include "app/viewer.h"
#include "keyloom_version.h"

int main(int argc, char** argv) {
  if (ui::AnswerInformationRequest(argc, argv)) return 0;
  ui::InstallFaultInterception();
  int status = 0;
  {
    QApplication application(argc, argv);
    // Lets the desktop match the windows with their desktop entry (its icon,
    // its name), which the component id names.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kKeyloomAppId));
    // The program's own first step: from here on every fault is reported.
    ui::StartErrorReports();
    // QApplication has taken its own options (-platform, ...) out of argv. The
    // rest stay bytes: a hive's file name need not be text.
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i) arguments << QByteArray(argv[i]);
    status = ui::RunViewer(arguments);
  }
  ui::ProgramEnd(status);
}
