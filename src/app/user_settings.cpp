#include "app/user_settings.h"

#include <QSettings>
#include <QVariantList>

#include <algorithm>

#include "app/hive_path.h"

namespace ui {
namespace {

// Paths are stored as byte arrays: a file name need not be text.
constexpr char kRecentHivesKey[] = "recentHives";
constexpr char kOpenNewerKey[] = "openNewerAndUnsavedHivesWithoutAsking";

QSettings UserSettings() { return QSettings(QStringLiteral("keyloom"), QStringLiteral("keyloom")); }

QByteArrayList StoredRecentHives(const QSettings& settings) {
  QByteArrayList recent;
  for (const QVariant& entry : settings.value(kRecentHivesKey).toList()) recent << entry.toByteArray();
  return recent;
}

}  // namespace

QByteArrayList WithRecentHive(QByteArrayList recent, const QByteArray& path) {
  recent.removeAll(path);
  recent.prepend(path);
  if (recent.size() > kRecentHiveCount) recent.resize(kRecentHiveCount);
  return recent;
}

QByteArrayList RecentHives() {
  QByteArrayList recent = StoredRecentHives(UserSettings());
  recent.removeIf([](const QByteArray& path) { return !PathExists(path); });
  return recent;
}

void RememberRecentHive(const QByteArray& path) {
  QSettings settings = UserSettings();
  QVariantList stored;
  for (const QByteArray& entry : WithRecentHive(StoredRecentHives(settings), AbsoluteHivePath(path))) {
    stored << entry;
  }
  settings.setValue(kRecentHivesKey, stored);
}

bool OpensNewerHivesWithoutAsking() { return UserSettings().value(kOpenNewerKey, false).toBool(); }

void SetOpensNewerHivesWithoutAsking(bool on) { UserSettings().setValue(kOpenNewerKey, on); }

}  // namespace ui
