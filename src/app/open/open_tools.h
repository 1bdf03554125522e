#pragma once
// OpenTools: opening more hives from a main window, each in a viewer process
// of its own (so a fault answered No in one window never ends another), and
// the About box.
//  - "Open Hive..." (Ctrl+O): the file dialog "Select RegistryFile", then the
//    chosen hive opens in a new viewer.
//  - Files dropped on the main window (local file URLs) open one new viewer
//    each; a drop of anything else is refused without a word.
//  - "Open Recent": the recent list (RecentHives), read afresh each time it opens.
//  - "Open Newer and Unsaved Hives Without Asking": the user's setting
//    (OpensNewerHivesWithoutAsking), checkable.
//  - "About Keyloom".
// Each is an action of the viewer's table (ViewerActions), reached from both
// context menus; the ones above About are one group. This window's own hive
// and state are never touched. GUI thread only.

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

#include "app/main_window.h"
#include "app/viewer_actions.h"
#include "app/viewer_start.h"

class QAction;
class QMenu;
class QMimeData;

namespace ui {

// The local files of a drop, byte for byte, in the drop's order, folders left
// out; empty when it holds none.
QByteArrayList DroppedHives(const QMimeData& data);

class OpenTools : public QObject {
  Q_OBJECT

 public:
  // start opens each hive; window and actions must outlive the OpenTools.
  OpenTools(MainWindow& window, ViewerActions& actions, ViewerStarter start);

  // Asks for a hive with the file dialog and starts a viewer on it; nothing
  // when the dialog is cancelled.
  void OpenHive();
  // Puts ask in place of the file dialog (AskForHivePath), for tests.
  void SetHiveAsker(std::function<std::optional<QByteArray>()> ask) { m_ask = std::move(ask); }
  // Starts a viewer on each path.
  void OpenHives(const QByteArrayList& paths);

  // The "Open Recent" submenu, "Open Newer and Unsaved Hives Without Asking".
  QMenu& RecentMenu() { return *m_recentMenu; }
  QAction& OpenNewerAction() { return *m_openNewer; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddActions(ViewerActions& actions);
  // Lists the recent hives afresh: another viewer may have opened one since.
  void FillRecentMenu();

  MainWindow& m_window;
  ViewerStarter m_start;
  std::function<std::optional<QByteArray>()> m_ask;
  QPointer<QMenu> m_recentMenu;
  QAction* m_openNewer = nullptr;
};

}  // namespace ui
