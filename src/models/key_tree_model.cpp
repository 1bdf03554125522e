#include "models/key_tree_model.h"

#include "tree/key_path.h"

#include <utility>

namespace ui {

KeyTreeModel::KeyTreeModel(QObject* parent) : QAbstractItemModel(parent) { m_tree.Finish(); }

void KeyTreeModel::ResetTree(tree::KeyTree tree) {
  beginResetModel();
  m_tree = std::move(tree);
  endResetModel();
}

int32_t KeyTreeModel::ItemPosition(const QModelIndex& index) {
  return index.isValid() ? static_cast<int32_t>(index.internalId()) : -1;
}

QModelIndex KeyTreeModel::IndexOf(int32_t position) const {
  if (position < 0 || position >= m_tree.Size()) return {};
  return createIndex(m_tree.Row(position), 0, static_cast<quintptr>(position));
}

QString KeyTreeModel::KeyName(int32_t position) const {
  const std::string_view name = tree::KeyNameOf(m_tree, position);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString KeyTreeModel::KeyPath(int32_t position) const {
  return QString::fromStdString(tree::KeyPathOf(m_tree, position));
}

QModelIndex KeyTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent)) return {};
  const int32_t position = m_tree.Child(ItemPosition(parent), row);
  return createIndex(row, column, static_cast<quintptr>(position));
}

QModelIndex KeyTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return IndexOf(m_tree.Parent(ItemPosition(child)));
}

int KeyTreeModel::rowCount(const QModelIndex& parent) const {
  // Only column 0 has children.
  if (parent.column() > 0) return 0;
  return m_tree.ChildCount(ItemPosition(parent));
}

int KeyTreeModel::columnCount(const QModelIndex& /*parent*/) const { return 1; }

bool KeyTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant KeyTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::ToolTipRole) return m_toolTip ? QVariant(m_toolTip(ItemPosition(index))) : QVariant();
  if (role != Qt::DisplayRole) return {};
  const std::string_view label = m_tree.Label(ItemPosition(index));
  return QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
}

Qt::ItemFlags KeyTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ui
