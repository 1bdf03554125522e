#pragma once
// ViewerTools: what the main window offers beyond its two views, each
// reached by the user's choice; the views, their layout and their texts stay
// as they are.
//  - KeyTree items: a tooltip with the key's path, last-written time and class
//    name; Key Properties (Alt+Enter);
//    Ctrl+C copies the key's path.
//  - ValueTable cells: a tooltip with the whole text when it does not fit;
//    Value Details (Enter or a double-click); Ctrl+C copies the row's four
//    column texts separated by tabs, Ctrl+Shift+C the value's data as text.
//
// The hive, the key index and the window must outlive the ViewerTools; destroy
// it before the hive is closed. GUI thread only.

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

#include "app/details/value_details_window.h"
#include "app/main_window.h"
#include "app/shown_additions.h"
#include "app/viewer_actions.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"
#include "values/value_details.h"

class QTreeWidgetItem;

namespace ui {

class ViewerTools : public QObject {
  Q_OBJECT

 public:
  // Adds its actions (Key Properties, Value Details, copy) to actions.
  ViewerTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive, const tree::KeyIndex& index);
  ~ViewerTools() override;

  // What another tool adds to the views (none by default); it must outlive
  // these tools or be unset first.
  void SetAdditions(ShownAdditions* additions) { m_additions = additions; }
  // The hive's kind, which the root key's Key Properties shows ("SYSTEM").
  void SetHiveKind(QString kind) { m_hiveKind = std::move(kind); }

  // Each returns the window it opened, or none when there was nothing to show.
  QWidget* OpenKeyProperties(int32_t itemPosition);
  QWidget* OpenValueDetails(int32_t row);

  void CopyKeyPath(int32_t itemPosition);
  void CopyRowTexts(int32_t row);
  void CopyRowData(int32_t row);

  // The tooltip of a KeyTree item, and of a ValueTable cell (empty when its
  // text fits in the cell).
  QString KeyToolTipOf(int32_t itemPosition) const;
  QString CellToolTipOf(const QTreeWidgetItem& row, int column) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddActions(ViewerActions& actions);
  int32_t CurrentRow() const;
  std::optional<values::RowValue> ValueOf(int32_t row);
  // The name, type, length and data of the value a row shows.
  std::optional<ValueDetails> DetailsOfRow(int32_t row);

  MainWindow& m_window;
  hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  ShownAdditions* m_additions = nullptr;
  QString m_hiveKind;
};

}  // namespace ui
