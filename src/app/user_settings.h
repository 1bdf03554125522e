#pragma once
// What Keyloom keeps for the user between runs, in the user's own settings
// (QSettings, organisation and application "keyloom": ~/.config/keyloom/
// keyloom.conf, or under $XDG_CONFIG_HOME): the hives opened last and the
// choice to open newer and unsaved hives without asking. This is the only
// file Keyloom writes; nothing is ever written beside a hive.
//
// Every viewer process reads and writes the same file; each read sees what
// the others wrote. GUI thread only.

#include <QByteArray>
#include <QByteArrayList>

namespace ui {

// How many hives the recent list keeps.
inline constexpr qsizetype kRecentHiveCount = 10;

// The list with path put first: newest first, each path once, at most
// kRecentHiveCount long. Pure: reads and writes nothing.
QByteArrayList WithRecentHive(QByteArrayList recent, const QByteArray& path);

// The hives opened last (absolute paths, newest first), leaving out those
// that no longer exist.
QByteArrayList RecentHives();

// Puts the hive at path (made absolute) first in the recent list.
void RememberRecentHive(const QByteArray& path);

// Whether hives that the strict open refuses but the wider open accepts
// open the wider way without the refusal box. Off until the user turns it on.
bool OpensNewerHivesWithoutAsking();
void SetOpensNewerHivesWithoutAsking(bool on);

}  // namespace ui
