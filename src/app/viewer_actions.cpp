#include "app/viewer_actions.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/main_window.h"

namespace ui {
namespace {

const QString kHelpGroup = QStringLiteral("help");

void ShowOwned(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

QWidget& WidgetOf(MainWindow& window, ActionPlace place) {
  switch (place) {
    case ActionPlace::kKeyTree: return window.Tree();
    case ActionPlace::kValueTable: return window.Table();
    case ActionPlace::kWindow: break;
  }
  return window;
}

int32_t CurrentRowOf(const ValueTableView& table) {
  return table.currentItem() != nullptr ? table.indexOfTopLevelItem(table.currentItem()) : -1;
}

// The shortcut list: one line per action and shortcut, in the order of the table.
QWidget* MakeShortcutsWindow(const std::vector<ViewerActions::Entry>& entries, QWidget* owner) {
  auto* window = new QWidget(owner, Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
  auto* layout = new QVBoxLayout(window);
  auto* hint = new QLabel(QStringLiteral("Every action is also in the context menu of the key tree or the value "
                                         "table (right-click, or the Menu key)."),
                          window);
  hint->setWordWrap(true);
  layout->addWidget(hint);
  auto* list = new QTreeWidget(window);
  list->setObjectName(QStringLiteral("shortcutList"));
  list->setRootIsDecorated(false);
  list->setHeaderLabels({QStringLiteral("Action"), QStringLiteral("Shortcut"), QStringLiteral("Where")});
  for (const auto& entry : entries) {
    QStringList keys;
    for (const QKeySequence& keySequence : entry.action->shortcuts()) {
      keys << keySequence.toString(QKeySequence::NativeText);
    }
    QString text = entry.action->text();
    text.remove(u'&');
    new QTreeWidgetItem(list, {text, keys.join(QStringLiteral(", ")), PlaceText(entry.place)});
  }
  for (int column = 0; column < 3; ++column) list->resizeColumnToContents(column);
  layout->addWidget(list);
  window->resize(560, 420);
  return window;
}

}  // namespace

QString PlaceText(ActionPlace place) {
  switch (place) {
    case ActionPlace::kKeyTree: return QStringLiteral("Key tree");
    case ActionPlace::kValueTable: return QStringLiteral("Value table");
    case ActionPlace::kWindow: break;
  }
  return QStringLiteral("Main window");
}

ViewerActions::ViewerActions(MainWindow& window) : QObject(&window), m_window(window) {
  m_window.Tree().setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&m_window.Tree(), &QWidget::customContextMenuRequested, this, &ViewerActions::ShowTreeMenu);
  m_window.Table().setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&m_window.Table(), &QWidget::customContextMenuRequested, this, &ViewerActions::ShowTableMenu);
  Add({QStringLiteral("Keyboard Shortcuts"), {QKeySequence(Qt::Key_F1)}, ActionPlace::kWindow,
       [this](ActionTarget) { ShowShortcuts(); }, kHelpGroup});
}

QAction* ViewerActions::Add(NewAction wanted) {
  QWidget& widget = WidgetOf(m_window, wanted.place);
  auto* action = new QAction(wanted.text, this);
  action->setShortcuts(wanted.shortcuts);
  action->setShortcutContext(wanted.place == ActionPlace::kWindow ? Qt::WindowShortcut : Qt::WidgetShortcut);
  widget.addAction(action);
  if (wanted.trigger) {
    connect(action, &QAction::triggered, this, [this, trigger = wanted.trigger] { trigger(CurrentTarget()); });
  }
  // Keep each group together, the groups in the order they first appear, and
  // the shortcut list's own entry last.
  auto at = m_entries.end();
  bool groupSeen = false;
  for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
    if (entry->group != wanted.group) continue;
    at = entry + 1;
    groupSeen = true;
  }
  if (!groupSeen && !m_entries.empty() && m_entries.back().group == kHelpGroup) at = m_entries.end() - 1;
  m_entries.insert(at, Entry{action, wanted.place, wanted.group, std::move(wanted.trigger)});
  return action;
}

QAction* ViewerActions::AddMenuItem(QMenu& menu, const Entry& entry, ActionTarget target) {
  QAction* item = menu.addAction(entry.action->text());
  item->setShortcuts(entry.action->shortcuts());
  item->setShortcutContext(Qt::WidgetShortcut);
  item->setEnabled(entry.action->isEnabled());
  item->setCheckable(entry.action->isCheckable());
  item->setChecked(entry.action->isChecked());
  if (QMenu* submenu = entry.action->menu<QMenu*>()) item->setMenu(submenu);
  if (entry.action->isCheckable() || !entry.trigger) {
    connect(item, &QAction::triggered, entry.action, &QAction::trigger);
  } else {
    connect(item, &QAction::triggered, this, [trigger = entry.trigger, target] { trigger(target); });
  }
  return item;
}

ActionTarget ViewerActions::CurrentTarget() const {
  return {m_window.Tree().SelectedItemPosition(), CurrentRowOf(m_window.Table())};
}

QMenu* ViewerActions::ShowMenu(ActionPlace place, ActionTarget target, QPoint globalAt) {
  if (m_menu) m_menu->close();
  m_menu = new QMenu(&WidgetOf(m_window, place));
  m_menu->setAttribute(Qt::WA_DeleteOnClose);
  QString group;
  for (const ActionPlace wanted : {place, ActionPlace::kWindow}) {
    for (const Entry& entry : m_entries) {
      if (entry.place != wanted) continue;
      if (!m_menu->isEmpty() && entry.group != group) m_menu->addSeparator();
      group = entry.group;
      AddMenuItem(*m_menu, entry, target);
    }
  }
  m_menu->popup(globalAt);
  return m_menu;
}

void ViewerActions::ShowTreeMenu(QPoint at) {
  KeyTreeView& tree = m_window.Tree();
  const QModelIndex under = tree.indexAt(at);
  const int32_t item = under.isValid() ? KeyTreeModel::ItemPosition(under) : tree.SelectedItemPosition();
  ShowMenu(ActionPlace::kKeyTree, {item, -1}, tree.viewport()->mapToGlobal(at));
}

void ViewerActions::ShowTableMenu(QPoint at) {
  ValueTableView& table = m_window.Table();
  QTreeWidgetItem* under = table.itemAt(at);
  const int32_t row = under != nullptr ? table.indexOfTopLevelItem(under) : CurrentRowOf(table);
  ShowMenu(ActionPlace::kValueTable, {m_window.Tree().SelectedItemPosition(), row},
           table.viewport()->mapToGlobal(at));
}

QWidget* ViewerActions::ShowShortcuts() {
  if (!m_shortcuts) m_shortcuts = MakeShortcutsWindow(m_entries, &m_window);
  ShowOwned(m_shortcuts);
  return m_shortcuts;
}

}  // namespace ui
