#include "app/artifacts/bookmarks_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/window_look.h"

namespace ui {

BookmarksWindow::BookmarksWindow(const std::vector<artifacts::Bookmark>& bookmarks, artifacts::HiveKind kind,
                                 QWidget* owner)
    : QWidget(owner, Qt::Window) {
  setWindowTitle(QStringLiteral("Bookmarks"));
  ApplyWindowLook(*this);
  const QString kindName = QString::fromUtf8(artifacts::HiveKindName(kind));
  auto* intro = new QLabel((bookmarks.empty() ? QStringLiteral("No well-known keys of a %1 hive are in this one.")
                                              : QStringLiteral("Well-known keys of a %1 hive:"))
                               .arg(kindName));
  m_list = new QTreeWidget;
  m_list->setObjectName(QStringLiteral("bookmarkList"));
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Description")});
  m_list->setTextElideMode(Qt::ElideMiddle);
  for (const artifacts::Bookmark& bookmark : bookmarks) {
    auto* item = new QTreeWidgetItem(m_list, {QString::fromStdString(bookmark.path),
                                              QString::fromStdString(bookmark.description)});
    item->setToolTip(0, item->text(0));
    item->setToolTip(1, item->text(1));
    m_keys.push_back(bookmark.key);
  }
  m_list->resizeColumnToContents(0);
  m_list->header()->resizeSection(0, std::min(m_list->header()->sectionSize(0), 420));
  if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
  m_list->installEventFilter(this);

  auto* close = new QPushButton(QStringLiteral("Close"));
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addWidget(m_list, 1);
  layout->addLayout(bottom);
  resize(760, 420);

  connect(m_list, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { Choose(m_list->indexOfTopLevelItem(item)); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void BookmarksWindow::Choose(int row) {
  if (row < 0 || row >= static_cast<int>(m_keys.size())) return;
  Q_EMIT KeyChosen(m_keys[static_cast<size_t>(row)]);
}

bool BookmarksWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_list && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Choose(m_list->currentItem() != nullptr ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace ui
