#include "app/main_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QResizeEvent>

#include "app/window_look.h"

namespace ui {

ClientLayout LayOutClient(QSize client) {
  const int split = client.width() * 4 / 10;
  return {QRect(0, 0, split, client.height()),
          QRect(split, 0, client.width() * 6 / 10, client.height())};
}

QString MainWindowTitle(const QString& hivePath, const QString& openSummary, bool withName) {
  const QString name = QFileInfo(hivePath).fileName();
  if (!openSummary.isEmpty()) return QStringLiteral("Keyloom - %1 (%2)").arg(name, openSummary);
  return withName ? QStringLiteral("Keyloom - %1").arg(name) : QStringLiteral("Keyloom");
}

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_model(this),
      m_tree(m_model, this),
      m_table(this) {
  setWindowTitle("Keyloom");
  ApplyWindowLook(*this);
  resize(1000, 400);
  const ClientLayout layout = LayOutClient(size());
  m_tree.setGeometry(layout.keyTree);
  m_table.setGeometry(layout.valueTable);
  setTabOrder(&m_tree, &m_table);
}

void MainWindow::ShowAndActivate() {
  CentreOnScreen(*this);
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  const ClientLayout layout = LayOutClient(event->size());
  m_tree.setGeometry(layout.keyTree);
  m_table.setGeometry(layout.valueTable);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  Q_EMIT Closed();
}

}  // namespace ui
