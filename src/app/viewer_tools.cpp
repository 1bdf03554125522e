#include "viewer_tools.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QShortcut>
#include <QStyleOptionViewItem>
#include <QTextDocument>
#include <QToolTip>

#include <span>
#include <vector>

#include "find_window.h"
#include "hive/key_details.h"
#include "hive/value.h"
#include "key_properties_window.h"
#include "value_details_window.h"

namespace ui {
namespace {

// A tooltip shows at most this much of a text, in lines of at most this many
// characters (longer lines are broken for the tooltip only).
constexpr qsizetype kToolTipChars = 4000;
constexpr qsizetype kToolTipLineChars = 120;

QString PlainToolTip(QString text) {
  if (text.size() > kToolTipChars) text = text.left(kToolTipChars) + QStringLiteral("\u2026");
  QString broken;
  qsizetype lineLength = 0;
  for (const QChar c : text) {
    if (c == u'\n') {
      lineLength = 0;
    } else if (++lineLength > kToolTipLineChars) {
      broken += u'\n';
      lineLength = 1;
    }
    broken += c;
  }
  // Kept as plain text, line feeds and tabs as they are.
  return Qt::convertFromPlainText(broken, Qt::WhiteSpacePre);
}

void AddShortcut(QWidget& widget, const QKeySequence& keys, Qt::ShortcutContext context,
                 std::function<void()> act) {
  auto* shortcut = new QShortcut(keys, &widget);
  shortcut->setContext(context);
  QObject::connect(shortcut, &QShortcut::activated, &widget, std::move(act));
}

void ShowOwned(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

ViewerTools::ViewerTools(MainWindow& window, hive::HiveFile& hive, const tree::KeyIndex& index)
    : m_window(window), m_hive(hive), m_index(index) {
  m_window.Model().SetToolTipProvider([this](int32_t position) { return PlainToolTip(KeyToolTipOf(position)); });
  m_window.Table().viewport()->installEventFilter(this);
  m_window.Tree().setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&m_window.Tree(), &QWidget::customContextMenuRequested, this, &ViewerTools::ShowTreeMenu);
  connect(&m_window.Table(), &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    OpenValueDetails(m_window.Table().indexOfTopLevelItem(item));
  });
  InstallShortcuts();
}

ViewerTools::~ViewerTools() {
  // The model outlives the ViewerTools; its tooltips must not call back here.
  m_window.Model().SetToolTipProvider({});
}

void ViewerTools::InstallShortcuts() {
  KeyTreeView& tree = m_window.Tree();
  ValueTableView& table = m_window.Table();
  for (const Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
    AddShortcut(tree, QKeySequence(Qt::ALT | enter), Qt::WidgetShortcut,
                [this] { OpenKeyProperties(m_window.Tree().SelectedItemPosition()); });
    AddShortcut(table, QKeySequence(enter), Qt::WidgetShortcut, [this] { OpenValueDetails(CurrentRow()); });
  }
  AddShortcut(tree, QKeySequence::Copy, Qt::WidgetShortcut,
              [this] { CopyKeyPath(m_window.Tree().SelectedItemPosition()); });
  AddShortcut(table, QKeySequence::Copy, Qt::WidgetShortcut, [this] { CopyRowTexts(CurrentRow()); });
  AddShortcut(table, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), Qt::WidgetShortcut,
              [this] { CopyRowData(CurrentRow()); });
  AddShortcut(m_window, QKeySequence::Find, Qt::WindowShortcut, [this] { OpenFind().ShowAndFocus(); });
  AddShortcut(m_window, QKeySequence(Qt::Key_F3), Qt::WindowShortcut,
              [this] { OpenFind().FindAgain(search::Direction::kNext); });
  AddShortcut(m_window, QKeySequence(Qt::SHIFT | Qt::Key_F3), Qt::WindowShortcut,
              [this] { OpenFind().FindAgain(search::Direction::kPrevious); });
}

QString ViewerTools::KeyToolTipOf(int32_t itemPosition) const {
  if (m_additions != nullptr && m_window.Model().IsDeletedItem(itemPosition)) {
    return m_additions->KeyToolTipOf(itemPosition);
  }
  const QString path = m_window.Model().KeyPath(itemPosition);
  const auto recordOffset = m_index.Find(itemPosition);
  if (path.isEmpty() || !recordOffset) return path;
  return KeyToolTip(path, hive::ReadKeyDetails(m_hive, *recordOffset));
}

QString ViewerTools::CellToolTipOf(const QTreeWidgetItem& row, int column) const {
  const ValueTableView& table = m_window.Table();
  const QString text = row.text(column);
  // The row text past the Content column's own piece is not shown at all.
  const QString whole = row.data(column, Qt::UserRole).isValid() ? row.data(column, Qt::UserRole).toString() : text;
  QStyleOptionViewItem option;
  option.initFrom(table.viewport());
  option.font = table.font();
  option.fontMetrics = QFontMetrics(table.font());
  option.features = QStyleOptionViewItem::HasDisplay;
  option.text = text;
  QRect cell = table.visualItemRect(&row);
  cell.setLeft(table.header()->sectionViewportPosition(column));
  cell.setWidth(table.header()->sectionSize(column));
  option.rect = cell;
  const QRect textRect = table.style()->subElementRect(QStyle::SE_ItemViewItemText, &option, &table);
  const int margin = table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, &table) + 1;
  const bool fits = whole == text && option.fontMetrics.horizontalAdvance(text) <= textRect.width() - 2 * margin;
  return fits ? QString() : whole;
}

bool ViewerTools::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ToolTip || watched != m_window.Table().viewport()) {
    return QObject::eventFilter(watched, event);
  }
  auto* help = static_cast<QHelpEvent*>(event);
  const ValueTableView& table = m_window.Table();
  const QTreeWidgetItem* row = table.itemAt(help->pos());
  const int column = table.header()->logicalIndexAt(help->pos().x());
  const QString tip = row != nullptr && column >= 0 ? CellToolTipOf(*row, column) : QString();
  if (tip.isEmpty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(help->globalPos(), PlainToolTip(tip), table.viewport());
  }
  return true;
}

void ViewerTools::ShowTreeMenu(QPoint at) {
  KeyTreeView& tree = m_window.Tree();
  const QModelIndex under = tree.indexAt(at);
  const int32_t position =
      under.isValid() ? KeyTreeModel::ItemPosition(under) : tree.SelectedItemPosition();
  if (position < 0) return;
  if (m_menu) m_menu->close();
  m_menu = new QMenu(&tree);
  m_menu->setAttribute(Qt::WA_DeleteOnClose);
  m_menu->addAction(QStringLiteral("Key Properties"), this, [this, position] { OpenKeyProperties(position); })
      ->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
  m_menu->addAction(QStringLiteral("Copy Path"), this, [this, position] { CopyKeyPath(position); })
      ->setShortcut(QKeySequence::Copy);
  m_menu->addSeparator();
  m_menu->addAction(QStringLiteral("Find..."), this, [this] { OpenFind().ShowAndFocus(); })->setShortcut(QKeySequence::Find);
  m_menu->popup(tree.viewport()->mapToGlobal(at));
}

QWidget* ViewerTools::OpenKeyProperties(int32_t itemPosition) {
  const auto recordOffset = m_index.Find(itemPosition);
  if (!recordOffset) return m_additions != nullptr ? m_additions->OpenKeyProperties(itemPosition) : nullptr;
  auto* window = new KeyPropertiesWindow(m_window.Model().KeyPath(itemPosition),
                                         hive::ReadKeyDetails(m_hive, *recordOffset), &m_window);
  ShowOwned(window);
  return window;
}

int32_t ViewerTools::CurrentRow() const {
  const ValueTableView& table = m_window.Table();
  return table.currentItem() != nullptr ? table.indexOfTopLevelItem(table.currentItem()) : -1;
}

std::optional<values::RowValue> ViewerTools::ValueOf(int32_t row) {
  const auto recordOffset = m_index.Find(m_window.Tree().SelectedItemPosition());
  if (!recordOffset || row < 0 || row >= m_window.Table().topLevelItemCount()) return std::nullopt;
  return values::ValueOfRow(m_hive, *recordOffset, row);
}

std::optional<ValueDetails> ViewerTools::DetailsOfRow(int32_t row) {
  if (m_additions != nullptr) {
    if (auto added = m_additions->ValueOfRow(row)) return added;
  }
  auto value = ValueOf(row);
  if (!value) return std::nullopt;
  return ReadValueDetails(m_hive, value->record, value->type);
}

QWidget* ViewerTools::OpenValueDetails(int32_t row) {
  const auto details = DetailsOfRow(row);
  if (!details) return nullptr;
  auto* window = new ValueDetailsWindow(*details, &m_window);
  ShowOwned(window);
  return window;
}

void ViewerTools::CopyKeyPath(int32_t itemPosition) {
  const QString path = m_window.Model().KeyPath(itemPosition);
  if (!path.isEmpty()) QApplication::clipboard()->setText(path);
}

void ViewerTools::CopyRowTexts(int32_t row) {
  const QTreeWidgetItem* item = m_window.Table().topLevelItem(row);
  if (item == nullptr) return;
  QStringList texts;
  for (int column = 0; column < ValueTableView::kColumnCount; ++column) texts << item->text(column);
  QApplication::clipboard()->setText(texts.join(u'\t'));
}

void ViewerTools::CopyRowData(int32_t row) {
  const auto details = DetailsOfRow(row);
  if (!details) return;
  const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(details->data.constData()),
                                      static_cast<size_t>(details->data.size()));
  QApplication::clipboard()->setText(QString::fromStdString(values::DataAsText(details->type, data)));
}

FindWindow& ViewerTools::OpenFind() {
  if (!m_find) {
    m_find = std::make_unique<FindWindow>(m_hive, m_window.Model().Tree(), m_index, &m_window);
    m_find->SetStartPoint([this] {
      const int32_t item = m_window.Tree().SelectedItemPosition();
      if (item < 0) return search::FindMatch{0, search::FindMatch::kBeforeKey};
      const int32_t row = CurrentRow();
      const auto recordOffset = m_index.Find(item);
      const auto value = row >= 0 && recordOffset ? values::ValueOfRow(m_hive, *recordOffset, row) : std::nullopt;
      return search::FindMatch{item, value ? value->valueIndex : search::FindMatch::kKeyItself};
    });
    connect(m_find.get(), &FindWindow::Found, this,
            [this](search::FindMatch match) { ShowMatch(match.item, match.value); });
  }
  return *m_find;
}

void ViewerTools::ShowMatch(int32_t item, int32_t value) {
  KeyTreeView& tree = m_window.Tree();
  const QModelIndex key = m_window.Model().IndexOf(item);
  if (!key.isValid()) return;
  for (QModelIndex parent = key.parent(); parent.isValid(); parent = parent.parent()) tree.expand(parent);
  // A new current item lists its values (ShowKeyValues); the same one keeps its rows.
  tree.selectionModel()->setCurrentIndex(key, QItemSelectionModel::ClearAndSelect);
  tree.scrollTo(key, QAbstractItemView::PositionAtCenter);
  ValueTableView& table = m_window.Table();
  const auto recordOffset = m_index.Find(item);
  const int32_t row = value >= 0 && recordOffset ? values::RowOfValue(m_hive, *recordOffset, value) : -1;
  QTreeWidgetItem* rowItem = row >= 0 ? table.topLevelItem(row) : nullptr;
  if (rowItem != nullptr) {
    table.setCurrentItem(rowItem);
    table.scrollToItem(rowItem);
  } else {
    table.setCurrentItem(nullptr);
    table.clearSelection();
  }
  QString where = m_window.Model().KeyPath(item);
  if (rowItem != nullptr) where += QStringLiteral(" = ") + rowItem->text(0);
  m_find->ShowFound(where);
}

}  // namespace ui
