#pragma once
// Choosing the hive: the file dialog, its default folder, and the message that
// says why a chosen file cannot be shown.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace ui {

// Folders where Windows volumes are mounted: /mnt, /media/$USER and
// /run/media/$USER.
QStringList WindowsVolumeMounts();

// The first folder Windows/System32/config (each name matched without regard
// to case) on a volume mounted in one of mounts (the mount folder itself or a
// folder right inside it, in name order); the current directory when none has one.
QString DefaultHiveFolder(const QStringList& mounts);

// Shows the file dialog "Select RegistryFile" (filter "*") in the default
// folder and returns the chosen path, byte for byte (PathOfChosenFile), or
// none when the user cancels. A typed name of a file that does not exist is
// returned as it is.
std::optional<QByteArray> AskForHivePath();

// The message for a file OpenHive refused, reason being its sentence.
QString RejectedHiveText(const QString& path, const std::string& reason);

// Shows that message in a message box and waits until the user closes it.
void ShowRejectedHive(const QString& path, const std::string& reason);

// What the user chose for a file that OpenHive refused but the wider open
// (recovery::OpenHiveAnyway) would accept: kAlwaysOpenAnyway is "Open anyway"
// with the box "Always open newer and unsaved hives" ticked.
enum class RefusalAnswer { kClose, kOpenAnyway, kAlwaysOpenAnyway };

// The message for such a file: the refusal's message, then what "Open anyway" does.
QString OpenAnywayText(const QString& path, const std::string& reason);

// Shows that message with the buttons "Open anyway" and "Close" and the check
// box "Always open newer and unsaved hives" (not ticked), and waits for the
// answer. Close is the default; Escape and closing the box answer Close.
RefusalAnswer AskToOpenAnyway(const QString& path, const std::string& reason);

}  // namespace ui
