#pragma once
// TimelineWindow: the non-modal window titled "Timeline" that the main window
// owns: every key of the hive by its last-written time, newest first, in a
// table the user sorts by any column and narrows to a time range ("From",
// "To", whole seconds UTC, both included) and to paths containing a text.
// The line under the table says how many keys it shows. Enter or a
// double-click on a row announces its key (KeyChosen); "Save as CSV..." writes
// the rows shown.
//
// The check box "Artifacts" (off at first) adds a row per time the hive's
// artifacts decode (exporting::CollectArtifactEvents, for the hive's kind),
// at that time on its key, with a "Description" column; a row chosen selects
// its key. Ticking or unticking it collects the timeline again.
//
// The timeline (and the events) are collected (exporting::CollectTimeline,
// which sorts it) on a worker thread; the window shows at once and fills when that is done.
// The hive, tree and index must outlive the window, and so must the deleted
// records it was given until the next Collect; destroying the window stops and
// joins a running collection. GUI thread only.

#include <QDateTime>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "deleted/deleted_records.h"
#include "export/timeline.h"
#include "hive/hive_file.h"
#include "models/timeline_model.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace ui {

class TimelineWindow : public QWidget {
  Q_OBJECT

 public:
  // hiveFileName: the hive's file name without folders, which settles its
  // kind when the keys leave it open (artifacts::DetectHiveKind).
  TimelineWindow(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                 std::string hiveFileName, QWidget* owner);
  ~TimelineWindow() override;

  // Collects the timeline again, with the deleted keys of deletedRecords when
  // it is not null (the Deleted column is shown then), and the artifact
  // events when "Artifacts" is ticked.
  void Collect(const deleted::DeletedRecords* deletedRecords);
  bool Collecting() const { return m_worker.joinable(); }

  TimelineModel& Model() { return m_model; }
  QTableView& Table() const { return *m_table; }
  QCheckBox& FromEnabled() const { return *m_fromOn; }
  QCheckBox& ToEnabled() const { return *m_toOn; }
  QDateTimeEdit& From() const { return *m_from; }
  QDateTimeEdit& To() const { return *m_to; }
  QLineEdit& PathText() const { return *m_path; }
  QPushButton& SaveButton() const { return *m_save; }
  QCheckBox& Artifacts() const { return *m_artifacts; }
  QString Status() const;

 Q_SIGNALS:
  // Enter or a double-click on a row: the tree item of its key, or for a
  // deleted key the live key it was found under (-1 when none is known) and
  // the deleted key itself (its index in the records; -1 for a live key).
  void KeyChosen(int32_t item, int32_t deletedKey);
  // "Save as CSV...": the rows shown are to be written.
  void SaveRequested();

 private:
  // events: none when the artifacts were not asked for.
  void CollectionEnded(uint64_t collection, std::vector<exporting::TimelineEntry> entries,
                       std::optional<std::vector<exporting::ArtifactEvent>> events);
  void ApplyFilter();
  void ShowCount();
  void ChooseRow(int row);
  void SetTimeSpan();
  void StopWorker();

  const hive::HiveFile& m_hive;
  const tree::KeyTree& m_keys;
  const tree::KeyIndex& m_index;
  const std::string m_hiveFileName;
  const deleted::DeletedRecords* m_collectedDeleted = nullptr;

  TimelineModel m_model;
  QTableView* m_table = nullptr;
  QCheckBox* m_fromOn = nullptr;
  QCheckBox* m_toOn = nullptr;
  QDateTimeEdit* m_from = nullptr;
  QDateTimeEdit* m_to = nullptr;
  QLineEdit* m_path = nullptr;
  QCheckBox* m_artifacts = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_save = nullptr;

  std::atomic<bool> m_stop{false};
  uint64_t m_collection = 0;  // GUI thread only
  std::thread m_worker;
};

// A FILETIME as a QDateTime in UTC, to the millisecond, and a QDateTime's
// whole second as the FILETIME of its start.
QDateTime DateTimeOfFileTime(uint64_t fileTime);
uint64_t FileTimeOfSecond(const QDateTime& time);

}  // namespace ui
