#include "app/artifacts/shellbag_folders.h"

#include <QHeaderView>

#include <unordered_map>

namespace ui {
namespace {

// The columns of the shellbags rows that the tree reads.
constexpr size_t kPathCell = 0;
constexpr size_t kNodeCell = 1;

constexpr int kRowRole = Qt::UserRole;

// Up to this many folders the tree opens whole; past it, the top two levels.
constexpr size_t kExpandAllUpTo = 5000;

std::string TextOf(const artifacts::ArtifactRow& row, size_t cell) {
  const auto* text = cell < row.cells.size() ? std::get_if<std::string>(&row.cells[cell]) : nullptr;
  return text != nullptr ? *text : std::string();
}

// The folder's own name: its path past its holder's path and the "\" after
// it. A name may hold "\" itself ("C:\"), so the path is not cut at its last one.
std::string OwnName(const std::string& path, const std::string& holderPath) {
  if (!holderPath.empty() && path.size() > holderPath.size() + 1 && path.compare(0, holderPath.size(), holderPath) == 0 &&
      path[holderPath.size()] == '\\') {
    return path.substr(holderPath.size() + 1);
  }
  return path;
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

std::vector<ShellBagFolder> ShellBagFolderParents(const std::vector<artifacts::ArtifactRow>& rows,
                                                  const artifacts::HiveKeys& keys) {
  std::vector<ShellBagFolder> folders(rows.size());
  // A folder's BagMRU subkey, by the row that names it: the key that holds
  // the values of the folders inside it.
  std::unordered_map<artifacts::KeyId, int32_t> rowOfSubkey;
  for (size_t at = 0; at < rows.size(); ++at) {
    const artifacts::ArtifactRow& row = rows[at];
    const auto holder = rowOfSubkey.find(row.key);
    ShellBagFolder& folder = folders[at];
    folder.parentRow = holder != rowOfSubkey.end() ? holder->second : -1;
    const std::string path = TextOf(row, kPathCell);
    const std::string holderPath =
        folder.parentRow >= 0 ? TextOf(rows[static_cast<size_t>(folder.parentRow)], kPathCell) : std::string();
    folder.name = OwnName(path, holderPath);
    if (folder.name.empty()) folder.name = row.valueName;  // listed, but no item names the folder
    // Only a row with a node has a subkey of its own.
    if (row.fromValue && !TextOf(row, kNodeCell).empty()) {
      const artifacts::KeyId subkey = keys.Child(row.key, row.valueName);
      if (subkey != artifacts::kNoKey) rowOfSubkey.emplace(subkey, static_cast<int32_t>(at));
    }
  }
  return folders;
}

ShellBagFolders::ShellBagFolders(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderLabels({QStringLiteral("Folders")});
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(true);
  // The top items' key paths are long: their ends tell them apart.
  setTextElideMode(Qt::ElideLeft);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const int32_t row = RowOf(item);
    if (!m_selecting && row >= 0) Q_EMIT FolderChosen(row);
  });
}

void ShellBagFolders::ShowRows(const std::vector<artifacts::ArtifactRow>* rows, const artifacts::HiveKeys* keys,
                               const QVariant& deletedFont, const QVariant& deletedForeground) {
  const QSignalBlocker quiet(this);
  clear();
  m_itemOfRow.clear();
  if (rows == nullptr || keys == nullptr) return;
  const std::vector<ShellBagFolder> folders = ShellBagFolderParents(*rows, *keys);
  std::unordered_map<artifacts::KeyId, QTreeWidgetItem*> topOfKey;
  m_itemOfRow.resize(rows->size(), nullptr);
  for (size_t at = 0; at < rows->size(); ++at) {
    const artifacts::ArtifactRow& row = (*rows)[at];
    QTreeWidgetItem* parent = nullptr;
    if (folders[at].parentRow >= 0) {
      parent = m_itemOfRow[static_cast<size_t>(folders[at].parentRow)];
    } else {
      QTreeWidgetItem*& top = topOfKey[row.key];
      if (top == nullptr) {
        top = new QTreeWidgetItem(this, {FromUtf8(keys->Path(row.key))});
        top->setData(0, kRowRole, -1);
        top->setToolTip(0, top->text(0));
      }
      parent = top;
    }
    auto* item = new QTreeWidgetItem(parent, {FromUtf8(folders[at].name)});
    item->setData(0, kRowRole, static_cast<int>(at));
    item->setToolTip(0, QStringLiteral("%1\n%2").arg(FromUtf8(TextOf(row, kPathCell)), FromUtf8(TextOf(row, kNodeCell))));
    if (row.deleted) {
      item->setData(0, Qt::FontRole, deletedFont);
      item->setData(0, Qt::ForegroundRole, deletedForeground);
    }
    m_itemOfRow[at] = item;
  }
  if (rows->size() <= kExpandAllUpTo) {
    expandAll();
  } else {
    expandToDepth(1);
  }
}

void ShellBagFolders::SelectRow(int32_t row) {
  QTreeWidgetItem* item = ItemOfRow(row);
  if (item == nullptr) return;
  m_selecting = true;
  setCurrentItem(item);
  scrollToItem(item);
  m_selecting = false;
}

int32_t ShellBagFolders::RowOf(const QTreeWidgetItem* item) {
  return item != nullptr ? item->data(0, kRowRole).toInt() : -1;
}

QTreeWidgetItem* ShellBagFolders::ItemOfRow(int32_t row) const {
  return row >= 0 && static_cast<size_t>(row) < m_itemOfRow.size() ? m_itemOfRow[static_cast<size_t>(row)] : nullptr;
}

}  // namespace ui
