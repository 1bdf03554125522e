#include "app/error_report.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <thread>

#include "faults/error_report.h"
#include "faults/fault_trap.h"

namespace ui {
namespace {

// Faults of other threads travel as a FaultRecord through the request pipe;
// the answer comes back as one byte through the answer pipe.
int g_requestPipe[2] = {-1, -1};
int g_answerPipe[2] = {-1, -1};
std::thread::id g_guiThread;
QSocketNotifier* g_notifier = nullptr;
constexpr char kContinue = 'Y';

bool WriteAll(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t wrote = ::write(fd, bytes, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes += wrote;
    size -= static_cast<size_t>(wrote);
  }
  return true;
}

bool ReadAll(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

// On the faulting thread: hand the fault to the GUI thread and wait for the
// user's answer. Uses only write() and read(), which are safe here.
bool AskGuiThread(const faults::FaultRecord& record) {
  if (g_requestPipe[1] < 0) return true;  // nobody to ask: go on, as before the report
  char answer = 0;
  if (!WriteAll(g_requestPipe[1], &record, sizeof record)) return true;
  if (!ReadAll(g_answerPipe[0], &answer, 1)) return true;
  return answer == kContinue;
}

// On the GUI thread: answer one fault handed over by another thread.
void AnswerHandedOverFault() {
  faults::FaultRecord record;
  if (!ReadAll(g_requestPipe[0], &record, sizeof record)) return;
  if (!AskToContinue(record)) EndProgramAfterFault();
  WriteAll(g_answerPipe[1], &kContinue, 1);
}

}  // namespace

void StartErrorReports() {
  g_guiThread = std::this_thread::get_id();
  if (g_requestPipe[0] < 0 && (::pipe2(g_requestPipe, O_CLOEXEC) != 0 ||
                               ::pipe2(g_answerPipe, O_CLOEXEC) != 0)) {
    g_requestPipe[0] = g_requestPipe[1] = -1;
  }
  if (g_requestPipe[0] >= 0 && g_notifier == nullptr) {
    g_notifier = new QSocketNotifier(g_requestPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(g_notifier, &QSocketNotifier::activated, [] { AnswerHandedOverFault(); });
  }
  faults::SetFaultHandler(ShowErrorReport);
}

int ShowErrorReport() {
  // Taken first: a fault on another thread would overwrite the shared record.
  const faults::FaultRecord record = faults::LastFault();
  const bool onGuiThread = std::this_thread::get_id() == g_guiThread;
  const bool goOn = onGuiThread ? AskToContinue(record) : AskGuiThread(record);
  if (!goOn) EndProgramAfterFault();
  return 1;
}

bool AskToContinue(const faults::FaultRecord& record) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error!"),
                  QString::fromStdString(faults::FormatErrorReport(record)),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void ServeFaultReports(std::chrono::milliseconds timeout) {
  if (g_requestPipe[0] < 0) {
    std::this_thread::sleep_for(timeout);
    return;
  }
  pollfd request{g_requestPipe[0], POLLIN, 0};
  if (::poll(&request, 1, static_cast<int>(timeout.count())) == 1) AnswerHandedOverFault();
}

void EndProgramAfterFault() {
  faults::RemoveFaultTrap();
  ::_exit(0);
}

}  // namespace ui
