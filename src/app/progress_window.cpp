#include "app/progress_window.h"

#include <QCloseEvent>

#include <chrono>

#include "app/window_look.h"

namespace ui {
namespace {

constexpr int kPassMilliseconds = 100;
constexpr int32_t kCounterMilliseconds = 500;

void PlaceLabel(QLabel& label, int y) {
  label.setGeometry(5, y, 190, 20);
  label.setAlignment(Qt::AlignCenter);
}

}  // namespace

uint32_t TickMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool CounterDue(uint32_t now, uint32_t lastUpdate) {
  return static_cast<int32_t>(now - lastUpdate) >= kCounterMilliseconds;
}

ProgressWindow::ProgressWindow(const std::atomic<int32_t>& keysLoaded,
                               const std::atomic<int32_t>& loadingDone)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_keysLoaded(keysLoaded),
      m_loadingDone(loadingDone),
      m_message("please wait...", this),
      m_counter("Keys loaded: 0", this) {
  setWindowTitle("Loading...");
  ApplyWindowLook(*this);
  setFixedSize(200, 80);
  PlaceLabel(m_message, 10);
  PlaceLabel(m_counter, 40);
  m_passes.setInterval(kPassMilliseconds);
  connect(&m_passes, &QTimer::timeout, this, &ProgressWindow::RunPass);
}

void ProgressWindow::Start() {
  CentreOnScreen(*this);
  show();
  m_lastUpdate = TickMilliseconds();
  m_passes.start();
}

void ProgressWindow::RunPass() {
  if (CounterDue(TickMilliseconds(), m_lastUpdate)) {
    m_counter.setText(QStringLiteral("Keys loaded: %1").arg(m_keysLoaded.load()));
    m_lastUpdate = TickMilliseconds();
  }
  if (m_loadingDone.load() == 0) return;
  m_passes.stop();
  m_closingItself = true;
  close();
  Q_EMIT LoadingSeen();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (m_closingItself) return;
  m_passes.stop();
  Q_EMIT CloseRequested();
}

}  // namespace ui
