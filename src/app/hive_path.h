#pragma once
// Hive paths as Linux has them: bytes. A file name need not be UTF-8 (names
// from archives and old volumes are in other code pages), and QString holds
// text only: Qt turns every byte that is not UTF-8 into U+FFFD on the way in,
// and that name no longer reaches open(). So a hive's path stays a QByteArray
// from the command line, a drop, the file dialog or the recent list all the
// way to open(), and becomes text only to be shown.
//
// GUI thread only (the file dialog's answer is resolved against the folders).

#include <QByteArray>
#include <QString>

class QUrl;

namespace ui {

// The path as text for titles and messages: bytes that are not UTF-8 show as
// U+FFFD.
QString DisplayPath(const QByteArray& path);

// The local file a URL names, byte for byte (file:///a%FF gives "/a\xFF");
// empty when the URL is not a local file or its path holds a NUL byte.
QByteArray LocalFileOfUrl(const QUrl& url);

// The path of the file the file dialog answered with chosen. Where a name
// Qt read from a folder is not UTF-8, chosen holds U+FFFD in its place; each
// such part is matched back to the folder entry it came from (the first
// entry, in the folder's order, that reads as that text). A path with no such
// part, or one that matches no entry, is chosen's UTF-8 bytes.
QByteArray PathOfChosenFile(const QString& chosen);

// The path made absolute (symbolic links and "." and ".." resolved) when the
// file exists; else the path as it is.
QByteArray AbsoluteHivePath(const QByteArray& path);

// Whether a file (of any kind but a folder) is at path.
bool IsFileOtherThanFolder(const QByteArray& path);

// Whether anything is at path.
bool PathExists(const QByteArray& path);

}  // namespace ui
