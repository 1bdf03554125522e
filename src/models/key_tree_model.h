#pragma once
// KeyTreeModel: the KeyTree as a one-column Qt item model.
//
// An index carries its item position as internal id, so index(), parent() and
// rowCount() are array look-ups in the KeyTree whatever the number of siblings;
// a label is turned into a QString only when a view asks for that row's data.
// Items can be selected but not edited, dragged or dropped.
//
// GUI thread only. The model owns the tree it shows; a tree still being built
// by another thread is handed over only once it is finished.

#include <QAbstractItemModel>

#include <cstdint>
#include <functional>
#include <utility>

#include "tree/key_tree.h"

namespace ui {

class KeyTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // Starts with an empty tree.
  explicit KeyTreeModel(QObject* parent = nullptr);

  // Shows tree (finished with KeyTree::Finish) in place of the current one;
  // views see a model reset.
  void ResetTree(tree::KeyTree tree);
  const tree::KeyTree& Tree() const { return m_tree; }

  // The item position that index stands for, or -1 for an invalid index.
  static int32_t ItemPosition(const QModelIndex& index);
  // The index of the item at position, or an invalid index when the tree has
  // no such item.
  QModelIndex IndexOf(int32_t position) const;

  // The key name of the item at position: its label without the
  // " (subkeys/values)" that every label below the top level ends with.
  QString KeyName(int32_t position) const;
  // The key's path: the key names below the top-level item down to the key,
  // joined by "\"; a top-level item's path is its own name. Empty for a
  // position the tree does not hold.
  QString KeyPath(int32_t position) const;

  // What Qt::ToolTipRole gives for an item: provider(item position). Without
  // a provider, items have no tooltip. The provider is called on the GUI thread.
  using ToolTipProvider = std::function<QString(int32_t position)>;
  void SetToolTipProvider(ToolTipProvider provider) { m_toolTip = std::move(provider); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  tree::KeyTree m_tree;
  ToolTipProvider m_toolTip;
};

}  // namespace ui
