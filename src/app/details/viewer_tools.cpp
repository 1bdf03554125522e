#include "app/details/viewer_tools.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyleOptionViewItem>
#include <QTextDocument>
#include <QToolTip>

#include <span>
#include <vector>

#include "app/details/key_properties_window.h"
#include "app/details/value_details_window.h"
#include "hive/key_details.h"
#include "hive/value.h"

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

void ShowOwned(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

ViewerTools::ViewerTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive,
                         const tree::KeyIndex& index)
    : m_window(window), m_hive(hive), m_index(index) {
  m_window.Model().SetToolTipProvider([this](int32_t position) { return PlainToolTip(KeyToolTipOf(position)); });
  m_window.Table().viewport()->installEventFilter(this);
  connect(&m_window.Table(), &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    OpenValueDetails(m_window.Table().indexOfTopLevelItem(item));
  });
  AddActions(actions);
}

ViewerTools::~ViewerTools() {
  // The model outlives the ViewerTools; its tooltips must not call back here.
  m_window.Model().SetToolTipProvider({});
}

void ViewerTools::AddActions(ViewerActions& actions) {
  const auto keys = [](std::initializer_list<QKeySequence> list) { return QList<QKeySequence>(list); };
  const QString key = QStringLiteral("key");
  const QString value = QStringLiteral("value");
  actions.Add({QStringLiteral("Key Properties"), keys({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}),
               ActionPlace::kKeyTree, [this](ActionTarget at) { OpenKeyProperties(at.item); }, key});
  actions.Add({QStringLiteral("Copy Path"), keys({QKeySequence::Copy}), ActionPlace::kKeyTree,
               [this](ActionTarget at) { CopyKeyPath(at.item); }, key});
  actions.Add({QStringLiteral("Value Details"), keys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}),
               ActionPlace::kValueTable, [this](ActionTarget at) { OpenValueDetails(at.row); }, value});
  actions.Add({QStringLiteral("Copy"), keys({QKeySequence::Copy}), ActionPlace::kValueTable,
               [this](ActionTarget at) { CopyRowTexts(at.row); }, value});
  actions.Add({QStringLiteral("Copy Data"), keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}),
               ActionPlace::kValueTable, [this](ActionTarget at) { CopyRowData(at.row); }, value});
}

QString ViewerTools::KeyToolTipOf(int32_t itemPosition) const {
  if (m_additions != nullptr && m_window.Model().IsDeletedItem(itemPosition)) {
    const std::optional<AddedKey> added = m_additions->AddedKeyOf(itemPosition);
    if (!added) return m_additions->KeyToolTipOf(itemPosition);
    return KeyToolTip(m_window.Model().KeyPath(itemPosition), hive::ReadKeyDetails(m_hive, added->recordOffset)) +
           QStringLiteral("\nDeleted: ") + added->foundAt;
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
  // A marked row has a font of its own.
  option.font = row.data(column, Qt::FontRole).isValid() ? row.font(column) : table.font();
  option.fontMetrics = QFontMetrics(option.font);
  option.features = QStyleOptionViewItem::HasDisplay;
  option.text = text;
  if (!row.icon(column).isNull()) {
    // A marked row's icon takes its room from the text.
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.icon = row.icon(column);
    const int side = table.style()->pixelMetric(QStyle::PM_SmallIconSize, &option, &table);
    option.decorationSize = table.iconSize().isValid() ? table.iconSize() : QSize(side, side);
  }
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

QWidget* ViewerTools::OpenKeyProperties(int32_t itemPosition) {
  std::optional<uint32_t> recordOffset = m_index.Find(itemPosition);
  QString foundAt;  // only for a key the additions show
  if (!recordOffset && m_additions != nullptr) {
    if (const std::optional<AddedKey> added = m_additions->AddedKeyOf(itemPosition)) {
      recordOffset = added->recordOffset;
      foundAt = added->foundAt;
    }
  }
  if (!recordOffset) return nullptr;
  auto* window = new KeyPropertiesWindow(m_window.Model().KeyPath(itemPosition),
                                         hive::ReadKeyDetails(m_hive, *recordOffset), &m_window, foundAt,
                                         itemPosition == 0 ? m_hiveKind : QString());
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
    if (auto added = m_additions->AddedValueOf(row)) {
      ValueDetails details = ReadValueDetails(m_hive, added->record, added->type);
      details.deletedAt = added->foundAt;
      return details;
    }
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

}  // namespace ui
