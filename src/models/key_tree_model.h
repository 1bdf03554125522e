#pragma once
// KeyTreeModel: the KeyTree as a one-column Qt item model.
//
// An index carries its item position as internal id, so index(), parent() and
// rowCount() are array look-ups in the KeyTree whatever the number of siblings;
// a label is turned into a QString only when a view asks for that row's data.
// Items can be selected but not edited, dragged or dropped.
//
// On the user's word the model also shows deleted keys (DeletedKeyItems):
// their positions follow the live tree's and each comes after its parent's
// live children, so live items keep their rows and positions whether deleted
// items are shown or not. Without them, the model shows the tree alone.
//
// GUI thread only. The model owns the tree it shows; a tree still being built
// by another thread is handed over only once it is finished.

#include <QAbstractItemModel>

#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "models/deleted_key_items.h"
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

  // Shows the deleted keys laid out by items (built on this model's tree)
  // after the live ones; none hides them again. Views see a layout change, not
  // a reset: their expanded items and selection of live items stay, and their
  // indexes of deleted items become invalid when these are hidden.
  void ShowDeletedItems(std::unique_ptr<DeletedKeyItems> items);
  // The deleted items shown, or none.
  const DeletedKeyItems* DeletedItems() const { return m_deleted.get(); }
  // True for the position of a deleted item being shown.
  bool IsDeletedItem(int32_t position) const { return m_deleted && m_deleted->Holds(position); }
  // What Qt::FontRole, Qt::ForegroundRole and Qt::DecorationRole give for a
  // deleted item (a QFont, a QBrush, a QIcon: the model needs only Qt Core).
  void SetDeletedLook(QVariant font, QVariant foreground, QVariant decoration);
  const QVariant& DeletedFont() const { return m_deletedFont; }
  const QVariant& DeletedForeground() const { return m_deletedForeground; }
  const QVariant& DeletedDecoration() const { return m_deletedDecoration; }

  // The item position that index stands for, or -1 for an invalid index.
  static int32_t ItemPosition(const QModelIndex& index);
  // The index of the item at position, or an invalid index when the tree has
  // no such item.
  QModelIndex IndexOf(int32_t position) const;

  // The key name of the item at position: its label without the
  // " (subkeys/values)" that every label below the top level ends with.
  // Deleted items: see DeletedKeyItems::Name and Path.
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
  // Children of parent (a position or tree::KeyTree::kNone) in the tree itself.
  int32_t LiveChildCount(int32_t parent) const;
  QVariant DeletedItemData(int32_t position, int role) const;

  tree::KeyTree m_tree;
  ToolTipProvider m_toolTip;
  std::unique_ptr<DeletedKeyItems> m_deleted;
  QVariant m_deletedFont;
  QVariant m_deletedForeground;
  QVariant m_deletedDecoration;
};

}  // namespace ui
