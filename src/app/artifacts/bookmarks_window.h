#pragma once
// BookmarksWindow: the small non-modal window titled "Bookmarks" that the main
// window owns: the well-known keys of the hive's kind that this hive holds
// (artifacts::ExistingBookmarks), each with its path and what it is. Enter or
// a double-click on one announces its key (KeyChosen). GUI thread only.

#include <QWidget>

#include <cstdint>
#include <vector>

#include "artifacts/bookmarks.h"

class QTreeWidget;

namespace ui {

class BookmarksWindow : public QWidget {
  Q_OBJECT

 public:
  BookmarksWindow(const std::vector<artifacts::Bookmark>& bookmarks, artifacts::HiveKind kind, QWidget* owner);

  QTreeWidget& List() const { return *m_list; }

 Q_SIGNALS:
  // The KeyTree position of the bookmark chosen.
  void KeyChosen(int32_t key);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Choose(int row);

  std::vector<artifacts::KeyId> m_keys;  // per row
  QTreeWidget* m_list = nullptr;
};

}  // namespace ui
