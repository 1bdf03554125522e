#include "app/file_write_job.h"

#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <system_error>
#include <utility>

#include "app/fault_hooks.h"
#include "app/window_look.h"

namespace ui {
namespace {

// The progress dialog shows only for a write that takes longer than this.
constexpr int kProgressDelayMs = 400;

QString ReasonOf(exporting::ExportOutcome outcome, const PendingFile& file) {
  if (outcome == exporting::ExportOutcome::kNoKey) return QStringLiteral("The key is no longer in the hive");
  if (outcome == exporting::ExportOutcome::kTooLarge) {
    return QStringLiteral("The hive is damaged: its values name more data than the file holds");
  }
  const std::string reason = file.Error();
  return reason.empty() ? QStringLiteral("The data could not be written") : QString::fromStdString(reason);
}

}  // namespace

FileWriteJob::FileWriteJob(const QString& target, int64_t total, Writer writer, QWidget* owner)
    : QObject(owner), m_target(target), m_total(std::max<int64_t>(total, 1)), m_writer(std::move(writer)), m_owner(owner) {
  m_progressTimer.setInterval(100);
  connect(&m_progressTimer, &QTimer::timeout, this, &FileWriteJob::ShowProgress);
}

FileWriteJob::~FileWriteJob() {
  m_signals.stop.store(true);
  if (m_worker.joinable()) m_worker.join();
  delete m_progress;
}

void FileWriteJob::Start() {
  m_file = std::make_unique<PendingFile>(m_target.toStdString());
  if (m_file->Failed()) {
    End(false, QString::fromStdString(FileNotWrittenText(m_target.toStdString(), m_file->Error())));
    return;
  }
  auto run = [this] {
    PrepareThreadForFaults();
    const exporting::ExportOutcome outcome = m_writer(m_file->Sink(), m_signals);
    QMetaObject::invokeMethod(this, [this, outcome] { WorkerEnded(outcome); }, Qt::QueuedConnection);
  };
  try {
    m_worker = std::thread(run);
  } catch (const std::system_error&) {
    End(false, QString::fromStdString(FileNotWrittenText(m_target.toStdString(), "No thread to write it on")));
    return;
  }
  m_progressTimer.start();
}

void FileWriteJob::ShowProgress() {
  const int percent = static_cast<int>(std::clamp<int64_t>(m_signals.keysWritten.load() * 100 / m_total, 0, 100));
  if (m_progress) {
    m_progress->setValue(percent);
    return;
  }
  if (m_progressTimer.interval() * ++m_ticks < kProgressDelayMs) return;
  m_progress = new QProgressDialog(QStringLiteral("Writing %1...").arg(m_target), QStringLiteral("Cancel"), 0, 100, m_owner);
  m_progress->setWindowTitle(QStringLiteral("Keyloom"));
  m_progress->setWindowModality(Qt::WindowModal);
  m_progress->setAutoClose(false);
  m_progress->setAutoReset(false);
  m_progress->setMinimumDuration(0);
  connect(m_progress, &QProgressDialog::canceled, this, &FileWriteJob::Cancel);
  m_progress->setValue(percent);
  m_progress->show();
}

void FileWriteJob::Cancel() {
  m_cancelled = true;
  m_signals.stop.store(true);
}

void FileWriteJob::Stop() {
  Cancel();
  if (m_worker.joinable()) m_worker.join();
}

void FileWriteJob::WorkerEnded(exporting::ExportOutcome outcome) {
  if (m_worker.joinable()) m_worker.join();
  if (outcome == exporting::ExportOutcome::kComplete && !m_cancelled && m_file->Commit()) {
    End(true, {});
    return;
  }
  // Whatever went wrong, no part of the file stays.
  m_file->Abandon();
  if (m_cancelled || outcome == exporting::ExportOutcome::kStopped) {
    End(false, {});
    return;
  }
  End(false, QString::fromStdString(FileNotWrittenText(m_target.toStdString(), ReasonOf(outcome, *m_file).toStdString())));
}

void FileWriteJob::End(bool written, const QString& message) {
  m_progressTimer.stop();
  delete m_progress;
  if (!message.isEmpty()) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Keyloom"), message, QMessageBox::Ok, m_owner);
    box.setWindowIcon(KeyloomIcon());
    box.exec();
  }
  Q_EMIT Finished(written, message);
}

}  // namespace ui
