#pragma once
// KeyTreeView: the KeyTree control, a tree view over KeyTreeModel.
//
// It raises ControlEvent for every left or right click, single or double, in
// its area (on an item or on empty space) and for every change of its
// selected item, by mouse or keyboard. A left click that selects a new item
// raises it once, not twice. A right click raises it without changing the
// selection. The selection is shown only while the view has the focus.

#include <QTreeView>

#include <cstdint>

#include "models/key_tree_model.h"
#include "values/show_key_values.h"

namespace ui {

class KeyTreeView : public QTreeView, public values::KeySelection {
  Q_OBJECT

 public:
  KeyTreeView(KeyTreeModel& model, QWidget* parent);

  // The item position of the selected item, which is always the current
  // item, or -1 when there is none.
  int32_t SelectedItemPosition() const override;

  // Selects the key at path, key names below the top-level item separated by
  // "/" ("" is the top-level item itself), compared without regard to case;
  // expands its parents and scrolls it into view. False when no such key.
  bool SelectKeyPath(const QString& path);
  // Selects the item at position, expands its parents and scrolls it to the
  // middle of the view. False when the tree has no such item.
  bool SelectItem(int32_t position);

 Q_SIGNALS:
  void ControlEvent();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;

 private:
  void RaiseControlEvent();

  KeyTreeModel& m_model;
  // Set when the event was raised while a mouse event was being handled, so
  // that one click raises it once.
  bool m_raisedDuringPress = false;
};

// The key name in a KeyTree label: the label without its " (subkeys/values)" ending.
QString KeyNameOfLabel(const QString& label);

// Makes the selection of view invisible while the view has no focus.
void HideSelectionWithoutFocus(QAbstractItemView& view);

}  // namespace ui
