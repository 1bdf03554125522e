#pragma once
// ExportTools: the main window's "Export..." (Ctrl+E, on a key: the key and
// its subtree as a .reg or JSON file) and "Timeline" (Ctrl+T: the
// TimelineWindow, whose rows go to the main window's tree when chosen and to
// a CSV file by "Save as CSV...").
//
// Files are written by a FileWriteJob: on a worker thread, under a temporary
// name beside the target, renamed into place when complete. The hive, the
// key index and the window must outlive the ExportTools; destroy it before
// the hive is closed (it stops a running write and collection). GUI thread only.

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "app/export/export_dialog.h"
#include "app/file_write_job.h"
#include "app/export/timeline_window.h"
#include "app/main_window.h"
#include "app/viewer_actions.h"
#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"

namespace ui {

class ExportTools : public QObject {
  Q_OBJECT

 public:
  // Adds "Export..." (a key's action) and "Timeline" (the window's) to actions.
  ExportTools(MainWindow& window, ViewerActions& actions, const hive::HiveFile& hive, const tree::KeyIndex& index,
              const QByteArray& hivePath);
  ~ExportTools() override;

  // The deleted records the viewer shows, or null while it shows none. The
  // Timeline lists their keys; call DeletedRecordsChanged when that changes.
  using DeletedRecordsProvider = std::function<const deleted::DeletedRecords*()>;
  // The records it gave before must stay valid until DeletedRecordsChanged returns.
  void SetDeletedRecordsProvider(DeletedRecordsProvider provider) { m_deletedRecords = std::move(provider); }

  // Asks where to export the key at the tree position, then writes it.
  void ExportKey(int32_t item);
  // Writes the key at the tree position and its subtree as choice says.
  FileWriteJob* StartExport(int32_t item, const ExportChoice& choice);
  // The .reg root name offered for this hive (from its file's name).
  QString DefaultRootName() const;

  // Opens (or raises) the Timeline window; the first time, collects the timeline.
  TimelineWindow& OpenTimeline();
  TimelineWindow* Timeline() const { return m_timeline.get(); }
  // Asks where to save the Timeline's rows as CSV, then writes them.
  void SaveTimeline();
  // Writes the rows the Timeline shows, as CSV, to path.
  FileWriteJob* StartTimelineSave(const QString& path);

  // The write running now, if any.
  FileWriteJob* RunningJob() const { return m_job; }

 public Q_SLOTS:
  // The deleted records shown changed (the user's toggle): an open Timeline
  // collects again.
  void DeletedRecordsChanged();

 private:
  FileWriteJob* StartJob(const QString& path, int64_t total, FileWriteJob::Writer writer);
  const deleted::DeletedRecords* ShownDeletedRecords() const;
  int64_t SubtreeSize(int32_t item) const;
  void SelectKey(int32_t item, int32_t deletedKey);

  MainWindow& m_window;
  const hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  QByteArray m_hivePath;
  QString m_lastFolder;
  DeletedRecordsProvider m_deletedRecords;
  QPointer<FileWriteJob> m_job;
  bool m_jobReadsDeleted = false;  // the running job is a timeline save
  std::unique_ptr<TimelineWindow> m_timeline;
};

}  // namespace ui
