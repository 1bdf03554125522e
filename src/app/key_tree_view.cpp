#include "app/key_tree_view.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleFactory>

namespace ui {

QString KeyNameOfLabel(const QString& label) {
  if (!label.endsWith(u')')) return label;
  const qsizetype counts = label.lastIndexOf(QStringLiteral(" ("));
  return counts < 0 ? label : label.left(counts);
}

void HideSelectionWithoutFocus(QAbstractItemView& view) {
  QPalette palette = view.palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Inactive, QPalette::Base));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Inactive, QPalette::Text));
  view.setPalette(palette);
}

KeyTreeView::KeyTreeView(KeyTreeModel& model, QWidget* parent) : QTreeView(parent), m_model(model) {
  setModel(&m_model);
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setItemsExpandable(true);
  setUniformRowHeights(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  HideSelectionWithoutFocus(*this);
  // The classic tree look: lines between items and +/- buttons. The desktop's
  // own style draws only arrows.
  if (QStyle* lines = QStyleFactory::create(QStringLiteral("Windows"))) {
    lines->setParent(this);
    setStyle(lines);
  }
}

int32_t KeyTreeView::SelectedItemPosition() const {
  // The selected item is the current one (see currentChanged and selectionCommand).
  return KeyTreeModel::ItemPosition(currentIndex());
}

bool KeyTreeView::SelectKeyPath(const QString& path) {
  QModelIndex at = m_model.index(0, 0);
  if (!at.isValid()) return false;
  for (const QString& name : path.split(u'/', Qt::SkipEmptyParts)) {
    QModelIndex found;
    for (int row = 0; row < m_model.rowCount(at) && !found.isValid(); ++row) {
      const QModelIndex child = m_model.index(row, 0, at);
      if (KeyNameOfLabel(child.data().toString()).compare(name, Qt::CaseInsensitive) == 0) {
        found = child;
      }
    }
    if (!found.isValid()) return false;
    expand(at);
    at = found;
  }
  setFocus(Qt::OtherFocusReason);
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
  scrollTo(at);
  return true;
}

bool KeyTreeView::SelectItem(int32_t position) {
  const QModelIndex key = m_model.IndexOf(position);
  if (!key.isValid()) return false;
  for (QModelIndex parent = key.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
  // A new current item lists its values (ShowKeyValues); the same one keeps its rows.
  selectionModel()->setCurrentIndex(key, QItemSelectionModel::ClearAndSelect);
  scrollTo(key, QAbstractItemView::PositionAtCenter);
  return true;
}

void KeyTreeView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    RaiseControlEvent();
    return;
  }
  m_raisedDuringPress = false;
  QTreeView::mousePressEvent(event);
  // A press that selected another item has raised the event already.
  if (event->button() == Qt::LeftButton && !m_raisedDuringPress) RaiseControlEvent();
}

void KeyTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    RaiseControlEvent();
    return;
  }
  m_raisedDuringPress = false;
  QTreeView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && !m_raisedDuringPress) RaiseControlEvent();
}

QItemSelectionModel::SelectionFlags KeyTreeView::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
  // A tree of keys always has its current item selected: Ctrl+click does not
  // deselect it.
  const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
  return command.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate : command;
}

void KeyTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  // The view may move its current item without selecting it (when it gains
  // the focus, say); the selected item is always the current one here.
  if (current.isValid() && !selectionModel()->isSelected(current)) {
    selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
  }
  RaiseControlEvent();
}

void KeyTreeView::RaiseControlEvent() {
  m_raisedDuringPress = true;
  Q_EMIT ControlEvent();
}

}  // namespace ui
