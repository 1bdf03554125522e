#pragma once
// FindTools: Find in the main window. Ctrl+F opens the Find window, F3 and
// Shift+F3 search again from the selected key and row; a match found selects
// its key and the value's row. Keys and values another tool adds to the views
// (the deleted ones) are searched through ShownAdditions.
//
// The hive, the key index and the window must outlive the FindTools; destroy
// them before the hive is closed (that stops a running search). GUI thread
// only.

#include <QObject>

#include <cstdint>
#include <memory>

#include "app/main_window.h"
#include "app/shown_additions.h"
#include "app/viewer_actions.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"

namespace ui {

class FindWindow;

class FindTools : public QObject {
  Q_OBJECT

 public:
  // Adds its actions (Find..., Find Next, Find Previous) to actions.
  FindTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive, const tree::KeyIndex& index);
  ~FindTools() override;

  // What another tool adds to the views (none by default); it must outlive
  // these tools or be unset first.
  void SetAdditions(ShownAdditions* additions) { m_additions = additions; }

  // The Find window, made the first time.
  FindWindow& OpenFind();
  FindWindow* Find() const { return m_find.get(); }

 private:
  search::FindMatch StartPoint() const;
  void ShowMatch(int32_t item, int32_t value);

  MainWindow& m_window;
  hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  ShownAdditions* m_additions = nullptr;
  std::unique_ptr<FindWindow> m_find;
};

}  // namespace ui
