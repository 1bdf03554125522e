#include "open_tools.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "hive_dialog.h"
#include "hive_path.h"

namespace ui {

QByteArrayList DroppedHives(const QMimeData& data) {
  QByteArrayList hives;
  for (const QUrl& url : data.urls()) {
    const QByteArray path = LocalFileOfUrl(url);
    if (!path.isEmpty() && IsFileOtherThanFolder(path)) hives << path;
  }
  return hives;
}

OpenTools::OpenTools(MainWindow& window, ViewerStarter start) : m_window(window), m_start(std::move(start)) {
  // The views take no drops themselves, so a drop anywhere on the window comes here.
  m_window.setAcceptDrops(true);
  m_window.installEventFilter(this);
}

void OpenTools::OpenHive() {
  if (const std::optional<QByteArray> path = AskForHivePath()) OpenHives({*path});
}

void OpenTools::OpenHives(const QByteArrayList& paths) {
  for (const QByteArray& path : paths) m_start(path);
}

bool OpenTools::eventFilter(QObject* watched, QEvent* event) {
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
