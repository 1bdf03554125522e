#pragma once
// MainWindow: "Keyloom", the KeyTree on the left and the ValueTable on the
// right, laid out by hand on every resize: 40 per cent of the client width for
// the KeyTree, 60 per cent for the ValueTable, both the full height.
//
// Created hidden with a client area of 1000 by 400; resizable, with minimise
// and maximise boxes. Tab and Shift+Tab move the focus between the two views.

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include "app/key_tree_view.h"
#include "app/value_table_view.h"
#include "models/key_tree_model.h"

namespace ui {

struct ClientLayout {
  QRect keyTree;
  QRect valueTable;
};

// The two views' geometry for a client area: the KeyTree at 0,0, (W*4) div 10
// wide; the ValueTable right of it, (W*6) div 10 wide; both H high. When W is
// not a multiple of 5 a strip at the right stays uncovered.
ClientLayout LayOutClient(QSize client);

// The window title: "Keyloom", or for a hive opened anyway, what was done:
// "Keyloom - SYSTEM (version 1.5; 12 log entries applied)", the hive's file
// name and the open's summary (recovery::OpenReport::summary). With withName,
// a hive opened the strict way is named too: "Keyloom - SYSTEM".
QString MainWindowTitle(const QString& hivePath, const QString& openSummary, bool withName = false);

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow();

  KeyTreeModel& Model() { return m_model; }
  KeyTreeView& Tree() { return m_tree; }
  ValueTableView& Table() { return m_table; }

  // Centres the window on its screen, shows it in its normal state and activates it.
  void ShowAndActivate();

 Q_SIGNALS:
  // The user closed the window.
  void Closed();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  KeyTreeModel m_model;
  KeyTreeView m_tree;
  ValueTableView m_table;
};

}  // namespace ui
