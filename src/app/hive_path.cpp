#include "app/hive_path.h"

#include <QByteArrayList>
#include <QUrl>

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace ui {
namespace {

// The entry of folder that reads as name, byte for byte; empty when none does.
QByteArray EntryReadingAs(const QByteArray& folder, const QString& name) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.isEmpty() ? "/" : folder.constData()), closedir);
  if (!dir) return {};
  while (const dirent* entry = readdir(dir.get())) {
    if (QString::fromUtf8(entry->d_name) == name) return QByteArray(entry->d_name);
  }
  return {};
}

}  // namespace

QString DisplayPath(const QByteArray& path) { return QString::fromUtf8(path); }

QByteArray LocalFileOfUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // Fully encoded, the path keeps each byte that is not UTF-8 as %XX.
  QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  // open() would stop at a NUL (%00) and open another file than the one named.
  return path.contains('\0') ? QByteArray() : path;
}

QByteArray PathOfChosenFile(const QString& chosen) {
  if (!chosen.contains(QChar::ReplacementCharacter)) return chosen.toUtf8();
  const QStringList parts = chosen.split(QLatin1Char('/'));
  QByteArray path = parts.constFirst().toUtf8();
  for (qsizetype i = 1; i < parts.size(); ++i) {
    QByteArray part = parts[i].contains(QChar::ReplacementCharacter) ? EntryReadingAs(path, parts[i]) : QByteArray();
    if (part.isEmpty()) part = parts[i].toUtf8();
    path += '/' + part;
  }
  return path;
}

QByteArray AbsoluteHivePath(const QByteArray& path) {
  const std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.constData(), nullptr), std::free);
  return resolved ? QByteArray(resolved.get()) : path;
}

bool IsFileOtherThanFolder(const QByteArray& path) {
  struct stat status {};
  return stat(path.constData(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool PathExists(const QByteArray& path) {
  struct stat status {};
  return stat(path.constData(), &status) == 0;
}

}  // namespace ui
