#pragma once
// ProgressWindow: "please wait..." and the running count of keys loaded while
// the loader thread builds the key tree.
//
// It runs on the GUI thread: a 100 ms timer runs one pass per tick. A pass
// shows the count when at least 500 ms have passed since the counter last
// changed, then closes the window if loading is done. Between passes the
// event loop serves the window's events.

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>

namespace ui {

// The system's millisecond tick count, cut to 32 bits (it wraps after 49 days).
uint32_t TickMilliseconds();

// True when the counter may change: now - lastUpdate, as a 32-bit difference
// read as a signed number, is at least 500. A tick count that wrapped around
// in between still counts; one that went backwards does not.
bool CounterDue(uint32_t now, uint32_t lastUpdate);

class ProgressWindow : public QWidget {
  Q_OBJECT

 public:
  // keysLoaded and loadingDone are written by the loader thread and must
  // outlive the window.
  ProgressWindow(const std::atomic<int32_t>& keysLoaded, const std::atomic<int32_t>& loadingDone);

  // Shows the window centred and starts the passes.
  void Start();

  QLabel& Message() { return m_message; }
  QLabel& Counter() { return m_counter; }

 Q_SIGNALS:
  // The window closed itself in the first pass that saw loading done.
  void LoadingSeen();
  // The user closed the window (close box, Alt+F4) before loading was seen done.
  void CloseRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RunPass();

  const std::atomic<int32_t>& m_keysLoaded;
  const std::atomic<int32_t>& m_loadingDone;
  QLabel m_message;
  QLabel m_counter;
  QTimer m_passes;
  uint32_t m_lastUpdate = 0;
  bool m_closingItself = false;
};

}  // namespace ui
