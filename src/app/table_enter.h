#pragma once
// Enter (or Return) on a table's current row: the tables of the Artifacts
// and Timeline windows choose the row's key with it, as a double-click does.

#include <functional>

class QAbstractItemView;

namespace ui {

// Calls choose with the table's current row (-1 when none) on Enter or Return
// and swallows the key. The filter belongs to the table and goes with it.
void ChooseRowOnEnter(QAbstractItemView& table, std::function<void(int row)> choose);

}  // namespace ui
