#include "app/table_enter.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QKeyEvent>

#include <utility>

namespace ui {
namespace {

class EnterFilter : public QObject {
 public:
  EnterFilter(QAbstractItemView& table, std::function<void(int)> choose)
      : QObject(&table), m_table(table), m_choose(std::move(choose)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &m_table && event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_choose(m_table.currentIndex().row());
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QAbstractItemView& m_table;
  std::function<void(int)> m_choose;
};

}  // namespace

void ChooseRowOnEnter(QAbstractItemView& table, std::function<void(int row)> choose) {
  table.installEventFilter(new EnterFilter(table, std::move(choose)));
}

}  // namespace ui
