#pragma once
// ViewerActions: the one table of what the viewer offers beyond its two views.
// The main window has no menu bar, so every action is reached by its shortcut
// and from the context menus of the KeyTree and the ValueTable, and the
// Keyboard Shortcuts window (F1) lists them all. All three are built from
// this table, so they cannot drift apart.
//
// Each feature (properties and copy, Find, deleted records, export, opening
// hives, ...) lives in files of its own and adds its actions here; no class
// grows with every feature. GUI thread only; the window must outlive it.

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>



namespace ui {

class MainWindow;

enum class ActionPlace {
  kKeyTree,     // acts on a key: shortcut while the KeyTree has the focus; in the tree's menu
  kValueTable,  // acts on a value row: shortcut while the ValueTable has the focus; in the table's menu
  kWindow,      // acts on the window: shortcut anywhere in it; in both menus
};

// What an action acts on: the KeyTree item and the ValueTable row the context
// menu was opened on, or for a shortcut the selected item and current row.
struct ActionTarget {
  int32_t item = -1;
  int32_t row = -1;
};

struct NewAction {
  QString text;
  QList<QKeySequence> shortcuts;  // the first is the one menus and the shortcut list show
  ActionPlace place = ActionPlace::kWindow;
  std::function<void(ActionTarget)> trigger;  // may be empty (a checkable action connected by its owner)
  QString group;  // the actions of one group stand together in the menus, between separators
};

// Where an action is reached, in words, for the Keyboard Shortcuts window.
QString PlaceText(ActionPlace place);

class ViewerActions : public QObject {
  Q_OBJECT

 public:
  explicit ViewerActions(MainWindow& window);

  // Adds an action and its shortcuts; returns it, for setCheckable, setMenu or
  // setEnabled. The table owns it. A context menu shows an item of its own for
  // it that acts on the menu's target, checked, enabled and with a submenu as
  // the action is when the menu opens.
  QAction* Add(NewAction wanted);

  struct Entry {
    QAction* action;
    ActionPlace place;
    QString group;
    std::function<void(ActionTarget)> trigger;
  };
  const std::vector<Entry>& Entries() const { return m_entries; }

  // The target of a shortcut now: the selected item and the current row.
  ActionTarget CurrentTarget() const;

  // Builds a context menu of the actions for place (kKeyTree or kValueTable),
  // with the window's own actions after them, acting on target. Shown at the
  // global position, deleted when closed.
  QMenu* ShowMenu(ActionPlace place, ActionTarget target, QPoint globalAt);
  // The context menu last opened, while it is open.
  QMenu* ContextMenu() const { return m_menu; }

  // Opens (or raises) the Keyboard Shortcuts window.
  QWidget* ShowShortcuts();

 private:
  void ShowTreeMenu(QPoint at);
  void ShowTableMenu(QPoint at);
  QAction* AddMenuItem(QMenu& menu, const Entry& entry, ActionTarget target);

  MainWindow& m_window;
  std::vector<Entry> m_entries;
  QPointer<QMenu> m_menu;
  QPointer<QWidget> m_shortcuts;
};

}  // namespace ui
