#include "app/open/open_tools.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>
#include <QUrl>

#include "app/hive_dialog.h"
#include "app/hive_path.h"
#include "app/open/about_box.h"
#include "app/user_settings.h"

namespace ui {

QByteArrayList DroppedHives(const QMimeData& data) {
  QByteArrayList hives;
  for (const QUrl& url : data.urls()) {
    const QByteArray path = LocalFileOfUrl(url);
    if (!path.isEmpty() && IsFileOtherThanFolder(path)) hives << path;
  }
  return hives;
}

OpenTools::OpenTools(MainWindow& window, ViewerActions& actions, ViewerStarter start)
    : m_window(window), m_start(std::move(start)), m_ask(AskForHivePath), m_recentMenu(new QMenu(&window)) {
  // The views take no drops themselves, so a drop anywhere on the window comes here.
  m_window.setAcceptDrops(true);
  m_window.installEventFilter(this);
  connect(m_recentMenu, &QMenu::aboutToShow, this, &OpenTools::FillRecentMenu);
  AddActions(actions);
}

void OpenTools::AddActions(ViewerActions& actions) {
  const QString open = QStringLiteral("open");
  actions.Add({QStringLiteral("Open Hive..."), {QKeySequence::Open}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenHive(); }, open});
  actions.Add({QStringLiteral("Open Recent"), {}, ActionPlace::kWindow, {}, open})->setMenu(m_recentMenu.get());
  m_openNewer = actions.Add({QStringLiteral("Open Newer and Unsaved Hives Without Asking"), {},
                             ActionPlace::kWindow, {}, open});
  m_openNewer->setCheckable(true);
  m_openNewer->setChecked(OpensNewerHivesWithoutAsking());
  connect(m_openNewer, &QAction::toggled, this, &SetOpensNewerHivesWithoutAsking);
  actions.Add({QStringLiteral("About Keyloom"), {}, ActionPlace::kWindow,
               [this](ActionTarget) { ShowAbout(m_window); }, QStringLiteral("about")});
}

void OpenTools::FillRecentMenu() {
  m_recentMenu->clear();
  const QByteArrayList recent = RecentHives();
  for (const QByteArray& path : recent) {
    QString text = DisplayPath(path);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));  // not a mnemonic
    connect(m_recentMenu->addAction(text), &QAction::triggered, this, [this, path] { OpenHives({path}); });
  }
  if (recent.isEmpty()) m_recentMenu->addAction(QStringLiteral("No Recent Hives"))->setEnabled(false);
}

void OpenTools::OpenHive() {
  if (const std::optional<QByteArray> path = m_ask()) OpenHives({*path});
}

void OpenTools::OpenHives(const QByteArrayList& paths) {
  for (const QByteArray& path : paths) m_start(path);
}

bool OpenTools::eventFilter(QObject* watched, QEvent* event) {
  // Another viewer may have changed the setting while this window was in the background.
  if (watched == &m_window && event->type() == QEvent::WindowActivate) {
    const QSignalBlocker quiet(m_openNewer);
    m_openNewer->setChecked(OpensNewerHivesWithoutAsking());
  }
  const bool entering = event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove;
  if (watched != &m_window || !(entering || event->type() == QEvent::Drop)) {
    return QObject::eventFilter(watched, event);
  }
  auto* drop = static_cast<QDropEvent*>(event);
  const QByteArrayList hives = DroppedHives(*drop->mimeData());
  if (hives.isEmpty()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (event->type() == QEvent::Drop) OpenHives(hives);
  return true;
}

}  // namespace ui
