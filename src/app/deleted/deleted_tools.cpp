#include "app/deleted/deleted_tools.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/error_report.h"
#include "app/fault_hooks.h"
#include "deleted/deleted_value_data.h"
#include "deleted/scan_deleted.h"
#include "hive/value.h"
#include "models/deleted_key_items.h"
#include "values/show_key_values.h"
#include "values/value_row.h"

namespace ui {
namespace {

// Deleted items are italic, in this colour, and carry a crossed-out mark, so
// that they stand apart without relying on colour alone.
const QColor kDeletedColour(0xB0, 0x24, 0x24);

QIcon DeletedMark() {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kDeletedColour, 1.5));
  painter.setBrush(QColor(0xFF, 0xF0, 0xF0));
  painter.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
  painter.setPen(QPen(kDeletedColour, 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(5, 5), QPointF(11, 11));
  painter.drawLine(QPointF(11, 5), QPointF(5, 11));
  return QIcon(picture);
}

// "found in a free cell at 0x00012345"
QString FoundAtText(deleted::FoundIn foundIn, uint32_t recordOffset) {
  const std::string_view place = deleted::FoundInText(foundIn);
  return QStringLiteral("found %1 at 0x%2")
      .arg(QString::fromUtf8(place.data(), static_cast<qsizetype>(place.size())),
           QString::number(recordOffset, 16).toUpper().rightJustified(8, u'0'));
}

// True when a comes before b in Find's order of the live tree.
bool Before(search::FindMatch a, search::FindMatch b) {
  return a.item < b.item || (a.item == b.item && a.value < b.value);
}

}  // namespace

DeletedTools::DeletedTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive,
                           const tree::KeyIndex& index)
    : m_window(window), m_hive(hive), m_index(index), m_foreground(kDeletedColour), m_mark(DeletedMark()) {
  m_font = m_window.Tree().font();
  m_font.setItalic(true);
  m_window.Model().SetDeletedLook(m_font, m_foreground, m_mark);

  m_action = actions.Add({QStringLiteral("Show Deleted Keys and Values"),
                          {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)}, ActionPlace::kWindow, {},
                          QStringLiteral("deleted")});
  m_action->setCheckable(true);
  m_action->setChecked(false);
  connect(m_action, &QAction::toggled, this, &DeletedTools::SetShown);
  connect(&m_window.Tree(), &KeyTreeView::ControlEvent, this, &DeletedTools::ListDeletedRows);
}

DeletedTools::~DeletedTools() {
  m_stop.store(true);
  JoinWorker();
}

void DeletedTools::SetShown(bool shown) {
  if (shown == m_wanted) return;
  m_wanted = shown;
  m_action->setChecked(shown);
  if (!shown) {
    if (m_window.Model().DeletedItems() != nullptr) HideItems();
  } else if (m_records) {
    ShowItems();
  } else if (!Scanning()) {
    StartScan();
  }
}

const deleted::DeletedRecords* DeletedTools::ShownDeletedRecords() const {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  return items != nullptr ? &items->Records() : nullptr;
}

void DeletedTools::StartScan() {
  const tree::KeyTree& keys = m_window.Model().Tree();
  // The child tables are built on first use; build them here, before the
  // worker reads the tree beside the GUI thread.
  if (!keys.Empty()) keys.Child(tree::KeyTree::kNone, 0);
  m_stop.store(false);
  m_workerDone.store(false);
  m_window.Tree().viewport()->setCursor(Qt::BusyCursor);
  auto scan = [this, &keys] {
    PrepareThreadForFaults();
    m_scanned = deleted::ScanDeletedRecords(m_hive, keys, m_index, &m_stop);
    m_workerDone.store(true);
    QMetaObject::invokeMethod(this, [this] { ScanEnded(); }, Qt::QueuedConnection);
  };
  try {
    m_worker = std::thread(scan);
  } catch (const std::system_error&) {
    // No thread to spare: scan here, and show the result at once.
    m_scanned = deleted::ScanDeletedRecords(m_hive, keys, m_index, &m_stop);
    m_workerDone.store(true);
    ScanEnded();
  }
}

void DeletedTools::JoinWorker() {
  if (!m_worker.joinable()) return;
  // The worker may fault on its way and wait for the user's answer.
  while (!m_workerDone.load()) ServeFaultReports(std::chrono::milliseconds(10));
  m_worker.join();
}

void DeletedTools::ScanEnded() {
  JoinWorker();
  m_window.Tree().viewport()->unsetCursor();
  m_records = std::make_shared<const deleted::DeletedRecords>(std::move(m_scanned));
  if (m_wanted) ShowItems();
}

void DeletedTools::ShowItems() {
  KeyTreeModel& model = m_window.Model();
  model.ShowDeletedItems(std::make_unique<DeletedKeyItems>(model.Tree(), m_records));
  ListDeletedRows();
  Q_EMIT DeletedShownChanged(true);
}

void DeletedTools::HideItems() {
  KeyTreeModel& model = m_window.Model();
  KeyTreeView& tree = m_window.Tree();
  const DeletedKeyItems& items = *model.DeletedItems();
  const int32_t selected = tree.SelectedItemPosition();
  int32_t live = selected;
  while (items.Holds(live)) live = items.Parent(live);
  if (live != selected) {
    // The top-level item of keys without a known parent has no live
    // ancestor: the hive's root item takes the selection.
    const QModelIndex at = model.IndexOf(live == tree::KeyTree::kNone ? 0 : live);
    tree.selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    tree.scrollTo(at);
  }
  model.ShowDeletedItems(nullptr);
  // The live rows alone again.
  values::ShowKeyValues(m_hive, m_index, tree, m_window.Table());
  Q_EMIT DeletedShownChanged(false);
}

void DeletedTools::ListDeletedRows() {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  if (!m_wanted || items == nullptr) return;
  const int32_t item = m_window.Tree().SelectedItemPosition();
  if (items->Holds(item)) m_window.Table().RemoveAllRows();
  // The same bound as a live listing's (see values::ShowKeyValues): many
  // recovered records may name one large data cell.
  const uint64_t budget = 4 * static_cast<uint64_t>(m_hive.Size()) + values::kListingSlack;
  uint64_t listed = 0;
  for (const int32_t value : items->ValuesOf(item)) {
    const deleted::DeletedValue& record = m_records->values[static_cast<size_t>(value)];
    hive::ValueRecord fetched;
    if (!deleted::ReadDeletedValueRecord(m_hive, record, fetched)) continue;
    if (listed + values::LeastRowBytes(fetched, record.type) > budget) return;
    const std::string text = deleted::FormatDeletedValueRow(m_hive, record);
    listed += text.size();
    if (listed > budget) return;
    AddDeletedRow(value, text);
  }
}

void DeletedTools::AddDeletedRow(int32_t value, const std::string& text) {
  ValueTableView& table = m_window.Table();
  table.AddRow(text);
  QTreeWidgetItem* row = table.topLevelItem(table.topLevelItemCount() - 1);
  for (int column = 0; column < ValueTableView::kColumnCount; ++column) {
    row->setFont(column, m_font);
    row->setForeground(column, m_foreground);
  }
  row->setIcon(0, m_mark);
  row->setData(0, kDeletedValueRole, value);
}

const deleted::DeletedKey* DeletedTools::KeyOfItem(int32_t item) const {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  const int32_t key = items != nullptr ? items->KeyOf(item) : deleted::kUnknown;
  return key != deleted::kUnknown ? &items->Records().keys[static_cast<size_t>(key)] : nullptr;
}

QString DeletedTools::KeyToolTipOf(int32_t item) const {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  if (items == nullptr || !items->Holds(item)) return {};
  if (KeyOfItem(item) != nullptr) return {};  // a key's tooltip is the details tools'
  if (item == items->GroupPosition()) {
    return QStringLiteral("Deleted keys whose parent is not known.\n"
                          "%1 deleted keys and %2 deleted values found in all.")
        .arg(items->Records().keys.size())
        .arg(items->Records().values.size());
  }
  return QStringLiteral("Deleted values that no key's value list names.");
}

std::optional<AddedKey> DeletedTools::AddedKeyOf(int32_t item) const {
  const deleted::DeletedKey* key = KeyOfItem(item);
  if (key == nullptr) return std::nullopt;
  return AddedKey{key->recordOffset, FoundAtText(key->foundIn, key->recordOffset)};
}

std::optional<AddedValue> DeletedTools::AddedValueOf(int32_t row) const {
  const QTreeWidgetItem* item = m_window.Table().topLevelItem(row);
  if (item == nullptr || !m_records || !item->data(0, kDeletedValueRole).isValid()) return std::nullopt;
  const deleted::DeletedValue& record = m_records->values[item->data(0, kDeletedValueRole).toUInt()];
  AddedValue added;
  if (!deleted::ReadDeletedValueRecord(m_hive, record, added.record)) return std::nullopt;
  added.type = record.type;
  added.foundAt = FoundAtText(record.foundIn, record.recordOffset);
  if (record.dataMayBeOverwritten) {
    added.foundAt += QStringLiteral("; its data cell is in use again, so the data may have been overwritten");
  }
  return added;
}

std::optional<DeletedStop> DeletedTools::SelectedStop() const {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  const QTreeWidgetItem* row = m_window.Table().currentItem();
  const int32_t item = m_window.Tree().SelectedItemPosition();
  if (row != nullptr && row->data(0, kDeletedValueRole).isValid()) {
    return DeletedStop{item, row->data(0, kDeletedValueRole).toInt()};
  }
  if (items->Holds(item)) return DeletedStop{item, -1};
  return std::nullopt;
}

std::optional<QString> DeletedTools::FindBeyond(const search::FindOptions& options, search::Direction direction,
                                                search::FindMatch from, std::optional<search::FindMatch> live) {
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  if (!m_wanted || items == nullptr) return std::nullopt;
  const std::vector<DeletedStop> stops = DeletedFindOrder(*items);
  const bool next = direction == search::Direction::kNext;
  const auto size = static_cast<int64_t>(stops.size());
  const int64_t first = next ? 0 : size - 1;
  std::optional<size_t> found;
  if (const auto selected = SelectedStop()) {
    const auto at = std::find(stops.begin(), stops.end(), *selected);
    // A deleted item without a place of its own (the two items that hold no
    // key) starts before every deleted place.
    const int64_t start = at == stops.end() ? first : (at - stops.begin()) + (next ? 1 : -1);
    found = FindDeletedStop(m_hive, *items, stops, options, direction, start);
    // Past the deleted items the search goes on in the live tree, whose
    // match counts from its start (or end); round to here when it has none.
    if (!found && !live) found = FindDeletedStop(m_hive, *items, stops, options, direction, first);
  } else {
    const bool wentRound = !live || (next ? !Before(from, *live) : !Before(*live, from));
    if (wentRound) found = FindDeletedStop(m_hive, *items, stops, options, direction, first);
  }
  if (!found) return std::nullopt;
  return ShowStop(stops[*found]);
}

QString DeletedTools::ShowStop(const DeletedStop& stop) {
  KeyTreeModel& model = m_window.Model();
  KeyTreeView& tree = m_window.Tree();
  const QModelIndex key = model.IndexOf(stop.item);
  for (QModelIndex parent = key.parent(); parent.isValid(); parent = parent.parent()) tree.expand(parent);
  // A new current item lists its rows; the same one keeps them.
  tree.selectionModel()->setCurrentIndex(key, QItemSelectionModel::ClearAndSelect);
  tree.scrollTo(key, QAbstractItemView::PositionAtCenter);
  ValueTableView& table = m_window.Table();
  table.setCurrentItem(nullptr);
  table.clearSelection();
  QString where = model.KeyPath(stop.item);
  for (int row = 0; stop.value >= 0 && row < table.topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = table.topLevelItem(row);
    if (item->data(0, kDeletedValueRole) != QVariant(stop.value)) continue;
    table.setCurrentItem(item);
    table.scrollToItem(item);
    where += QStringLiteral(" = ") + item->text(0);
    break;
  }
  return where;
}

}  // namespace ui
