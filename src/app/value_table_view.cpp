#include "app/value_table_view.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

#include <array>

#include "app/key_tree_view.h"

namespace ui {
namespace {

struct Column {
  const char* heading;
  int width;
};
constexpr std::array<Column, ValueTableView::kColumnCount> kColumns{{
    {"Value", 80},
    {"Type", 100},
    {"Length", 60},
    {"Content", 356},
}};

// Paints the selection over the first column only, as a list without
// full-row selection does.
class FirstColumnSelection : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() > 0) option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
  }
};

}  // namespace

ValueTableView::ValueTableView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(kColumnCount);
  QStringList headings;
  for (const Column& column : kColumns) headings << column.heading;
  setHeaderLabels(headings);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  for (int i = 0; i < kColumnCount; ++i) setColumnWidth(i, kColumns[static_cast<size_t>(i)].width);

  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setItemDelegate(new FirstColumnSelection(this));
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  HideSelectionWithoutFocus(*this);
}

void ValueTableView::RemoveAllRows() { clear(); }

void ValueTableView::AddRow(std::string_view rowText) {
  auto* row = new QTreeWidgetItem;
  row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  int column = 0;
  size_t start = 0;
  while (column < kColumnCount) {
    const size_t end = rowText.find('\n', start);
    const std::string_view piece = rowText.substr(start, end == std::string_view::npos ? end : end - start);
    row->setText(column, QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
    if (end == std::string_view::npos) break;
    if (column == kColumnCount - 1) {
      // The pieces past the last column are not shown; the whole rest is kept for its tooltip.
      const std::string_view rest = rowText.substr(start);
      row->setData(column, Qt::UserRole, QString::fromUtf8(rest.data(), static_cast<qsizetype>(rest.size())));
    }
    ++column;
    start = end + 1;
  }
  addTopLevelItem(row);
}

}  // namespace ui
