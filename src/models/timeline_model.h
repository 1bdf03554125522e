#pragma once
// TimelineModel: the timeline of a hive as a table: "Last written" (UTC, to
// the second), "Path", "Subkeys", "Values", "Deleted" when the timeline
// holds deleted keys, and "Description" (last) when it holds artifact events
// (exporting::AddArtifactEvents): an event's row shows its time, its key's
// path and counts, and its description; a key's row leaves that cell empty.
// The Description column sorts by its text, the keys' rows first.
//
// It keeps the entries as the core collected them (newest first, ties in
// pre-order) and shows them through a permutation: every entry in the order
// of the sorted column, and the rows shown, the part of that order that
// passes the filter (a time range and a text the path contains). Sorting is
// stable: entries that tie on the sorted column keep the timeline's order.
// The Path column sorts in the tree's order (a key right after its parent,
// as the key tree lists it), deleted keys after the live ones.
//
// A path is made only when a view asks for a row, or, for a path filter,
// once for every key per filter, in pre-order from its parent's path.
//
// GUI thread only. The tree and the deleted records must outlive the entries
// that refer to them (until the next Reset).

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "deleted/deleted_records.h"
#include "export/timeline.h"
#include "tree/key_tree.h"

namespace ui {

struct TimelineFilter {
  // FILETIMEs, both ends included.
  uint64_t from = 0;
  uint64_t to = UINT64_MAX;
  // UTF-8, matched without regard to case; empty matches every path.
  std::string pathContains;
};

class TimelineModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // kDescription is the column's meaning; DescriptionColumn gives its section.
  enum Column { kLastWritten, kPath, kSubkeys, kValues, kDeleted, kDescription };

  explicit TimelineModel(QObject* parent = nullptr);

  // Shows entries (from exporting::CollectTimeline over keys and
  // deletedRecords) with the current sort and filter. The Deleted column is
  // there when deletedRecords is not null, the Description column when events
  // is (the events the entries refer to, exporting::AddArtifactEvents).
  void Reset(std::vector<exporting::TimelineEntry> entries, const tree::KeyTree& keys,
             const deleted::DeletedRecords* deletedRecords,
             std::optional<std::vector<exporting::ArtifactEvent>> events = std::nullopt);

  void SetFilter(TimelineFilter filter);
  const TimelineFilter& Filter() const { return m_filter; }

  int32_t EntryCount() const { return static_cast<int32_t>(m_entries.size()); }
  int32_t ShownCount() const { return static_cast<int32_t>(m_rows.size()); }
  // The entry shown in row, or null for a row outside the table.
  const exporting::TimelineEntry* EntryAt(int row) const;
  // The path of the entry shown in row (as exporting::TimelinePath gives it).
  std::string PathAt(int row) const;
  const tree::KeyTree* Keys() const { return m_keys; }
  const deleted::DeletedRecords* DeletedRecords() const { return m_deleted; }
  // The artifact events the entries refer to, or null when none were added.
  const std::vector<exporting::ArtifactEvent>* Events() const { return m_events ? &*m_events : nullptr; }
  // The Description column's section, or -1 when there are no events.
  int DescriptionColumn() const;
  // The earliest and latest last-written times of all entries; none when there are none.
  std::optional<std::pair<uint64_t, uint64_t>> TimeSpan() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  void SortEntries();
  void FilterRows();
  // Per live tree item: whether its path holds the filter's text.
  std::vector<bool> LivePathsMatching() const;
  // What the section shows: kDescription for the Description column's.
  int ColumnOf(int section) const;
  // The entry's place in the Description column's order.
  uint64_t DescriptionRank(const exporting::TimelineEntry& entry) const;

  std::vector<exporting::TimelineEntry> m_entries;
  const tree::KeyTree* m_keys = nullptr;
  const deleted::DeletedRecords* m_deleted = nullptr;
  std::optional<std::vector<exporting::ArtifactEvent>> m_events;
  std::vector<uint32_t> m_eventRanks;  // per event: its description's place among them, from 1
  std::vector<int32_t> m_order;  // every entry, in the sorted column's order
  std::vector<int32_t> m_rows;   // the shown part of m_order
  int m_sortColumn = kLastWritten;
  Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
  TimelineFilter m_filter;
};

}  // namespace ui
