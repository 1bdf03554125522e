#pragma once
// DeletedTools: "Show Deleted Keys and Values" (Ctrl+Shift+D), a checkable
// action, off at start.
//  - On: the deleted keys appear in the KeyTree (see DeletedKeyItems), set
//    apart by an italic font, another colour and a mark of their own; a
//    deleted key's recovered values fill the ValueTable when it is selected,
//    and a live key's deleted values follow its live rows, marked the same
//    way. Tooltips, Key Properties, Value Details and copy serve them too
//    (through ShownAdditions).
//  - Off: the tree, its labels and the rows are the live ones again; a
//    selected deleted item hands the selection to its nearest live ancestor.
// The first time it is turned on, the scan runs on a worker thread while the
// tree stays usable; the items appear when it is done. Its result is kept for
// the session.
//
// The hive, the key index and the window must outlive the tools; destroy them
// before the hive is closed (that stops and joins a running scan). GUI thread only.

#include <QAction>
#include <QBrush>
#include <QFont>
#include <QIcon>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/deleted/deleted_find.h"
#include "app/main_window.h"
#include "app/shown_additions.h"
#include "app/value_table_view.h"
#include "app/viewer_actions.h"
#include "deleted/deleted_records.h"
#include "hive/hive_file.h"
#include "tree/key_index.h"

namespace ui {

class DeletedTools : public QObject, public ShownAdditions {
  Q_OBJECT

 public:
  // The role of a ValueTable row's first column that holds the index of the
  // deleted value (into the records' values) the row shows.
  static constexpr int kDeletedValueRole = ValueTableView::kDeletedValueRole;

  // Adds its action to actions.
  DeletedTools(MainWindow& window, ViewerActions& actions, hive::HiveFile& hive, const tree::KeyIndex& index);
  ~DeletedTools() override;

  QAction& ShowAction() { return *m_action; }
  // What toggling the action does.
  void SetShown(bool shown);
  bool Scanning() const { return m_worker.joinable(); }
  // The records while they are shown in the views; none while the toggle is
  // off or the scan is still running.
  const deleted::DeletedRecords* ShownDeletedRecords() const;

  QString KeyToolTipOf(int32_t item) const override;
  std::optional<AddedKey> AddedKeyOf(int32_t item) const override;
  std::optional<AddedValue> AddedValueOf(int32_t row) const override;
  // The deleted items come after the live tree in Find's order: a search
  // from a live place that went round the tree's end (or found nothing)
  // looks in them first; one from a deleted place goes on among them, and
  // past their end to the live tree (or round to them again).
  std::optional<QString> FindBeyond(const search::FindOptions& options, search::Direction direction,
                                    search::FindMatch from, std::optional<search::FindMatch> live) override;

 Q_SIGNALS:
  // The deleted records appeared in the views (true) or left them (false).
  void DeletedShownChanged(bool shown);

 private:
  void StartScan();
  void ScanEnded();
  void JoinWorker();
  void ShowItems();
  void HideItems();
  // Adds the deleted values of the selected item to the ValueTable: after the
  // live rows, or in place of the table's rows for a deleted item.
  void ListDeletedRows();
  void AddDeletedRow(int32_t value, const std::string& text);
  const deleted::DeletedKey* KeyOfItem(int32_t item) const;
  // The deleted place selected now (the item, and the current row when it is
  // a deleted one), or none when a live key and row are selected.
  std::optional<DeletedStop> SelectedStop() const;
  // Selects the stop's item and row; returns where it is, for the Find window.
  QString ShowStop(const DeletedStop& stop);

  MainWindow& m_window;
  hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  QAction* m_action = nullptr;
  bool m_wanted = false;  // the toggle's state
  QFont m_font;
  QBrush m_foreground;
  QIcon m_mark;

  std::shared_ptr<const deleted::DeletedRecords> m_records;  // once scanned
  // The running scan: its result, its stop flag and the flag it sets last.
  deleted::DeletedRecords m_scanned;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_workerDone{true};
  std::thread m_worker;
};

}  // namespace ui
