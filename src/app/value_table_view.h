#pragma once
// ValueTableView: the ValueTable control, a report view with the columns
// "Value" 80, "Type" 100, "Length" 60 and "Content" 356 pixels wide, filled
// by ShowKeyValues through the values::ValueTable interface.
//
// Single selection; a selected row highlights its first column only, and only
// while the view has the focus. No grid, no check boxes, no column dragging.

#include <QTreeWidget>

#include <string_view>

#include "values/show_key_values.h"

namespace ui {

class ValueTableView : public QTreeWidget, public values::ValueTable {
  Q_OBJECT

 public:
  static constexpr int kColumnCount = 4;
  // The role of a row's first column that holds, for a row showing a
  // recovered deleted value, the value's index in the deleted records.
  static constexpr int kDeletedValueRole = Qt::UserRole + 1;

  explicit ValueTableView(QWidget* parent);

  void RemoveAllRows() override;
  // Cuts rowText at every line feed; the pieces fill the four columns in
  // order and pieces beyond the fourth are dropped. When there are such
  // pieces, the Content column's Qt::UserRole holds the whole row text from
  // its piece on.
  void AddRow(std::string_view rowText) override;
};

}  // namespace ui
