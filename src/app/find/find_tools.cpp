#include "app/find/find_tools.h"

#include <QKeySequence>
#include <QList>
#include <QTreeWidgetItem>

#include <optional>

#include "app/find/find_window.h"
#include "values/value_details.h"

namespace ui {

FindTools::FindTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive, const tree::KeyIndex& index)
    : m_window(window), m_hive(hive), m_index(index) {
  const QString find = QStringLiteral("find");
  actions.Add({QStringLiteral("Find..."), QList<QKeySequence>{QKeySequence::Find}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenFind().ShowAndFocus(); }, find});
  actions.Add({QStringLiteral("Find Next"), QList<QKeySequence>{QKeySequence(Qt::Key_F3)}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenFind().FindAgain(search::Direction::kNext); }, find});
  actions.Add({QStringLiteral("Find Previous"), QList<QKeySequence>{QKeySequence(Qt::SHIFT | Qt::Key_F3)},
               ActionPlace::kWindow, [this](ActionTarget) { OpenFind().FindAgain(search::Direction::kPrevious); },
               find});
}

FindTools::~FindTools() = default;

FindWindow& FindTools::OpenFind() {
  if (!m_find) {
    m_find = std::make_unique<FindWindow>(m_hive, m_window.Model().Tree(), m_index, &m_window);
    m_find->SetStartPoint([this] { return StartPoint(); });
    m_find->SetMatchBeyond([this](const search::FindOptions& options, search::Direction direction,
                                  search::FindMatch from, std::optional<search::FindMatch> live) {
      return m_additions != nullptr ? m_additions->FindBeyond(options, direction, from, live) : std::nullopt;
    });
    connect(m_find.get(), &FindWindow::Found, this,
            [this](search::FindMatch match) { ShowMatch(match.item, match.value); });
  }
  return *m_find;
}

// The selected key, and the value of the current row where one is current.
search::FindMatch FindTools::StartPoint() const {
  const int32_t item = m_window.Tree().SelectedItemPosition();
  if (item < 0) return search::FindMatch{0, search::FindMatch::kBeforeKey};
  const ValueTableView& table = m_window.Table();
  const int32_t row = table.currentItem() != nullptr ? table.indexOfTopLevelItem(table.currentItem()) : -1;
  const auto recordOffset = m_index.Find(item);
  const auto value = row >= 0 && recordOffset ? values::ValueOfRow(m_hive, *recordOffset, row) : std::nullopt;
  return search::FindMatch{item, value ? value->valueIndex : search::FindMatch::kKeyItself};
}

void FindTools::ShowMatch(int32_t item, int32_t value) {
  if (!m_window.Tree().SelectItem(item)) return;
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
