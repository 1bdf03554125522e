#include "app/open/about_box.h"

#include <QMessageBox>

#include "app/window_look.h"
#include "faults/library_versions.h"
#include "keyloom_version.h"

namespace ui {

QString AboutText() {
  return QStringLiteral(
             "Keyloom %1\n"
             "A read-only viewer for Windows NT registry hive files.\n\n"
             "Licensed under the Apache License, Version 2.0.\n\n"
             "Built with:\n"
             "Qt %2\n%3")
      .arg(QString::fromLatin1(kKeyloomVersion), QStringLiteral(QT_VERSION_STR),
           QString::fromStdString(faults::LibraryVersions()));
}

void ShowAbout(QWidget& parent) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("About Keyloom"), AboutText(), QMessageBox::Ok, &parent);
  box.setWindowIcon(KeyloomIcon());
  box.setIconPixmap(KeyloomIcon().pixmap(64, 64));
  box.exec();
}

}  // namespace ui
