#include "models/key_tree_model.h"

#include "tree/key_path.h"

#include <utility>

namespace ui {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

KeyTreeModel::KeyTreeModel(QObject* parent) : QAbstractItemModel(parent) { m_tree.Finish(); }

void KeyTreeModel::ResetTree(tree::KeyTree tree) {
  beginResetModel();
  m_deleted.reset();
  m_tree = std::move(tree);
  endResetModel();
}

void KeyTreeModel::ShowDeletedItems(std::unique_ptr<DeletedKeyItems> items) {
  Q_EMIT layoutAboutToBeChanged();
  // Live items keep their rows; only indexes of deleted items change, and
  // none of them stays (new deleted items get indexes of their own).
  if (m_deleted) {
    for (const QModelIndex& index : persistentIndexList()) {
      if (m_deleted->Holds(ItemPosition(index))) changePersistentIndex(index, {});
    }
  }
  m_deleted = std::move(items);
  Q_EMIT layoutChanged();
}

void KeyTreeModel::SetDeletedLook(QVariant font, QVariant foreground, QVariant decoration) {
  m_deletedFont = std::move(font);
  m_deletedForeground = std::move(foreground);
  m_deletedDecoration = std::move(decoration);
}

int32_t KeyTreeModel::ItemPosition(const QModelIndex& index) {
  return index.isValid() ? static_cast<int32_t>(index.internalId()) : -1;
}

QModelIndex KeyTreeModel::IndexOf(int32_t position) const {
  if (IsDeletedItem(position)) {
    const int32_t row = LiveChildCount(m_deleted->Parent(position)) + m_deleted->AddedRow(position);
    return createIndex(row, 0, static_cast<quintptr>(position));
  }
  if (position < 0 || position >= m_tree.Size()) return {};
  return createIndex(m_tree.Row(position), 0, static_cast<quintptr>(position));
}

QString KeyTreeModel::KeyName(int32_t position) const {
  if (IsDeletedItem(position)) return QString::fromStdString(m_deleted->Name(position));
  return FromUtf8(tree::KeyNameOf(m_tree, position));
}

QString KeyTreeModel::KeyPath(int32_t position) const {
  if (IsDeletedItem(position)) return QString::fromStdString(m_deleted->Path(m_tree, position));
  return QString::fromStdString(tree::KeyPathOf(m_tree, position));
}

int32_t KeyTreeModel::LiveChildCount(int32_t parent) const {
  return parent == tree::KeyTree::kNone || parent < m_tree.Size() ? m_tree.ChildCount(parent) : 0;
}

QModelIndex KeyTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent)) return {};
  const int32_t parentPosition = ItemPosition(parent);
  const int32_t live = LiveChildCount(parentPosition);
  const int32_t position =
      row < live ? m_tree.Child(parentPosition, row) : m_deleted->Child(parentPosition, row - live);
  return createIndex(row, column, static_cast<quintptr>(position));
}

QModelIndex KeyTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  const int32_t position = ItemPosition(child);
  return IndexOf(IsDeletedItem(position) ? m_deleted->Parent(position) : m_tree.Parent(position));
}

int KeyTreeModel::rowCount(const QModelIndex& parent) const {
  // Only column 0 has children.
  if (parent.column() > 0) return 0;
  const int32_t position = ItemPosition(parent);
  return LiveChildCount(position) + (m_deleted ? m_deleted->ChildCount(position) : 0);
}

int KeyTreeModel::columnCount(const QModelIndex& /*parent*/) const { return 1; }

bool KeyTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant KeyTreeModel::DeletedItemData(int32_t position, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(m_deleted->Label(position));
    case Qt::FontRole:
      return m_deletedFont;
    case Qt::ForegroundRole:
      return m_deletedForeground;
    case Qt::DecorationRole:
      return m_deletedDecoration;
    default:
      return {};
  }
}

QVariant KeyTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int32_t position = ItemPosition(index);
  if (role == Qt::ToolTipRole) return m_toolTip ? QVariant(m_toolTip(position)) : QVariant();
  if (IsDeletedItem(position)) return DeletedItemData(position, role);
  if (role != Qt::DisplayRole) return {};
  return FromUtf8(m_tree.Label(position));
}

Qt::ItemFlags KeyTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ui
