#include "app/hive_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/hive_path.h"
#include "app/window_look.h"

namespace ui {
namespace {

// The entry of folder named name, compared without regard to case; empty when none.
QString FindEntry(const QDir& folder, QLatin1StringView name) {
  for (const QString& entry : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return folder.filePath(entry);
  }
  return {};
}

// volume/Windows/System32/config in whatever case the volume spells it.
QString ConfigFolderOf(const QString& volume) {
  QString at = volume;
  for (const char* name : {"Windows", "System32", "config"}) {
    at = FindEntry(QDir(at), QLatin1StringView(name));
    if (at.isEmpty()) return {};
  }
  return at;
}

}  // namespace

QStringList WindowsVolumeMounts() {
  QStringList mounts{QStringLiteral("/mnt")};
  const QString user = qEnvironmentVariable("USER");
  if (!user.isEmpty()) {
    mounts << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
  }
  return mounts;
}

QString DefaultHiveFolder(const QStringList& mounts) {
  for (const QString& mount : mounts) {
    const QDir folder(mount);
    if (!folder.exists()) continue;
    QString config = ConfigFolderOf(mount);
    if (!config.isEmpty()) return config;
    for (const QString& volume : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
      config = ConfigFolderOf(folder.filePath(volume));
      if (!config.isEmpty()) return config;
    }
  }
  return QDir::currentPath();
}

std::optional<QByteArray> AskForHivePath() {
  QFileDialog dialog(nullptr, QStringLiteral("Select RegistryFile"),
                     DefaultHiveFolder(WindowsVolumeMounts()), QStringLiteral("*"));
  dialog.setWindowIcon(KeyloomIcon());
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The file need not exist: a typed name is handed to OpenHive, which says what is wrong.
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().constFirst();
  if (path.isEmpty()) return std::nullopt;
  return PathOfChosenFile(path);
}

QString RejectedHiveText(const QString& path, const std::string& reason) {
  return QStringLiteral("Keyloom cannot show this file:\n\n%1\n\nThe file %2.")
      .arg(path, QString::fromStdString(reason));
}

void ShowRejectedHive(const QString& path, const std::string& reason) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Keyloom"), RejectedHiveText(path, reason),
                  QMessageBox::Ok);
  box.setWindowIcon(KeyloomIcon());
  box.exec();
}

QString OpenAnywayText(const QString& path, const std::string& reason) {
  return RejectedHiveText(path, reason) +
         QStringLiteral("\n\nOpen anyway reads it all the same: a newer format version, and a hive "
                        "not saved cleanly with its transaction logs applied in memory. The file "
                        "itself is never changed.");
}

RefusalAnswer AskToOpenAnyway(const QString& path, const std::string& reason) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Keyloom"), OpenAnywayText(path, reason));
  box.setWindowIcon(KeyloomIcon());
  QPushButton* openAnyway = box.addButton(QStringLiteral("Open anyway"), QMessageBox::AcceptRole);
  QPushButton* close = box.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
  box.setDefaultButton(close);
  box.setEscapeButton(close);
  box.setCheckBox(new QCheckBox(QStringLiteral("Always open newer and unsaved hives")));
  box.exec();
  if (box.clickedButton() != openAnyway) return RefusalAnswer::kClose;
  return box.checkBox()->isChecked() ? RefusalAnswer::kAlwaysOpenAnyway : RefusalAnswer::kOpenAnyway;
}

}  // namespace ui
