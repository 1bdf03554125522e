#pragma once
// ShellBagFolders: the ShellBags rows as the folders Explorer showed, one
// tree item a row, each under the row of the folder that holds it (the row
// whose BagMRU subkey holds the row's value), below one top item per BagMRU
// key of the hive ("Local Settings\...\Shell\BagMRU"). An item is named by its
// folder's own name (the last part of its path); its tooltip holds the path
// and the BagMRU node. Rows from recovered deleted records take the rows'
// deleted look.
//
// Choosing an item (a click, or moving to it with the keys) announces its row
// (FolderChosen); SelectRow marks the item of a row chosen elsewhere.
//
// ShellBagFolderParents, the layout itself, is plain C++ for the tests.
//
// The rows and the keys they name must outlive what is shown. GUI thread only.

#include <QTreeWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "artifacts/artifact.h"
#include "artifacts/hive_keys.h"

namespace ui {

struct ShellBagFolder {
  // The row of the folder that holds this one, or -1 for a row straight
  // below its BagMRU key.
  int32_t parentRow = -1;
  std::string name;  // the folder's own name: its path past the holder's path
};

// For each ShellBags row (decoded in the decoder's order: a folder's row
// before the rows of the folders it holds), where it goes in the tree.
std::vector<ShellBagFolder> ShellBagFolderParents(const std::vector<artifacts::ArtifactRow>& rows,
                                                  const artifacts::HiveKeys& keys);

class ShellBagFolders : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ShellBagFolders(QWidget* parent = nullptr);

  // Shows the folders of rows (none: an empty tree). font and foreground are
  // the deleted rows' look.
  void ShowRows(const std::vector<artifacts::ArtifactRow>* rows, const artifacts::HiveKeys* keys,
                const QVariant& deletedFont, const QVariant& deletedForeground);
  // Makes the item of row (an index into the rows) current, without
  // announcing it; nothing for a row not shown here.
  void SelectRow(int32_t row);
  // The row of an item; -1 for a top item.
  static int32_t RowOf(const QTreeWidgetItem* item);
  // The item of row, or null.
  QTreeWidgetItem* ItemOfRow(int32_t row) const;

 Q_SIGNALS:
  void FolderChosen(int32_t row);

 private:
  std::vector<QTreeWidgetItem*> m_itemOfRow;
  bool m_selecting = false;
};

}  // namespace ui
