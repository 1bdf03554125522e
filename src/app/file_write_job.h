#pragma once
// FileWriteJob: one file the user asked for (an export, a timeline), written
// by a core writer on a worker thread into a PendingFile beside its target
// and renamed into place only when complete.
//
// A progress dialog with "Cancel" appears when the writing takes longer than
// a moment. A cancel, or a failure (the folder cannot be written, the disk
// is full), leaves no file behind; a failure shows a message box that names
// the file and the reason. GUI thread only, apart from the worker it runs;
// destroying the job stops the writer and joins the worker, leaving no file.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/pending_file.h"
#include "export/export_walk.h"
#include "export/output_sink.h"

class QProgressDialog;
class QWidget;

namespace ui {

class FileWriteJob : public QObject {
  Q_OBJECT

 public:
  // Runs on the worker thread; the writer counts in signals.keysWritten and
  // stops when signals.stop is set.
  using Writer = std::function<exporting::ExportOutcome(exporting::OutputSink&, exporting::ExportSignals&)>;

  // total: the count of keys (or rows) the writer will report, for the bar.
  FileWriteJob(const QString& target, int64_t total, Writer writer, QWidget* owner);
  ~FileWriteJob() override;

  // Starts the writer; when the temporary file cannot be made, reports the
  // failure at once.
  void Start();
  // Stops the writer; the job ends as cancelled.
  void Cancel();
  // Cancels and waits until the writer has stopped.
  void Stop();
  bool Running() const { return m_worker.joinable(); }
  const QString& Target() const { return m_target; }

 Q_SIGNALS:
  // The job is over: written is true when the target now holds the whole
  // file; message says why it was not (empty after a cancel).
  void Finished(bool written, const QString& message);

 private:
  void WorkerEnded(exporting::ExportOutcome outcome);
  void End(bool written, const QString& message);
  void ShowProgress();

  QString m_target;
  int64_t m_total;
  Writer m_writer;
  QWidget* m_owner;
  std::unique_ptr<PendingFile> m_file;
  exporting::ExportSignals m_signals;
  std::thread m_worker;
  QTimer m_progressTimer;
  QPointer<QProgressDialog> m_progress;
  int m_ticks = 0;
  bool m_cancelled = false;
};

}  // namespace ui
