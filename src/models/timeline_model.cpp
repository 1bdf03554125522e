#include "timeline_model.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "hive/key_details.h"
#include "search/text_match.h"
#include "tree/key_path.h"

namespace ui {
namespace {

// The value an entry is sorted by in column.
uint64_t SortKeyOf(const exporting::TimelineEntry& entry, int column) {
  switch (column) {
    case TimelineModel::kLastWritten:
      return entry.lastWritten;
    case TimelineModel::kPath:
      return entry.Deleted() ? (uint64_t{1} << 32) | static_cast<uint32_t>(entry.deletedKey)
                             : static_cast<uint32_t>(entry.item);
    case TimelineModel::kSubkeys:
      return entry.subkeys;
    case TimelineModel::kValues:
      return entry.values;
    default:
      return entry.Deleted() ? 1 : 0;
  }
}

}  // namespace

TimelineModel::TimelineModel(QObject* parent) : QAbstractTableModel(parent) {}

void TimelineModel::Reset(std::vector<exporting::TimelineEntry> entries, const tree::KeyTree& keys,
                          const deleted::DeletedRecords* deletedRecords,
                          std::optional<std::vector<exporting::ArtifactEvent>> events) {
  beginResetModel();
  m_entries = std::move(entries);
  m_keys = &keys;
  m_deleted = deletedRecords;
  m_events = std::move(events);
  m_eventRanks.clear();
  if (m_events) {
    std::vector<uint32_t> byText(m_events->size());
    for (size_t at = 0; at < byText.size(); ++at) byText[at] = static_cast<uint32_t>(at);
    std::stable_sort(byText.begin(), byText.end(), [this](uint32_t a, uint32_t b) {
      return (*m_events)[a].description < (*m_events)[b].description;
    });
    m_eventRanks.resize(byText.size());
    for (size_t place = 0; place < byText.size(); ++place) {
      m_eventRanks[byText[place]] = static_cast<uint32_t>(place + 1);
    }
  }
  SortEntries();
  FilterRows();
  endResetModel();
}

void TimelineModel::SetFilter(TimelineFilter filter) {
  beginResetModel();
  m_filter = std::move(filter);
  FilterRows();
  endResetModel();
}

void TimelineModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount()) return;
  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  m_sortColumn = column;
  m_sortOrder = order;
  SortEntries();
  FilterRows();
  // Rows are not followed across a sort: no persistent indexes are kept here.
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TimelineModel::SortEntries() {
  // Sorted as (key, entry) pairs side by side, not through the entries, so
  // that a million comparisons stay in the cache. A descending key is
  // inverted, so that ties keep the timeline's own order both ways.
  const uint64_t flip = m_sortOrder == Qt::DescendingOrder ? UINT64_MAX : 0;
  const int column = ColumnOf(m_sortColumn);
  std::vector<std::pair<uint64_t, int32_t>> keyed(m_entries.size());
  for (size_t at = 0; at < m_entries.size(); ++at) {
    const uint64_t key = column == kDescription ? DescriptionRank(m_entries[at]) : SortKeyOf(m_entries[at], column);
    keyed[at] = {key ^ flip, static_cast<int32_t>(at)};
  }
  std::sort(keyed.begin(), keyed.end());
  m_order.resize(keyed.size());
  for (size_t at = 0; at < keyed.size(); ++at) m_order[at] = keyed[at].second;
}

int TimelineModel::DescriptionColumn() const {
  if (!m_events) return -1;
  return m_deleted != nullptr ? kDeleted + 1 : kDeleted;
}

int TimelineModel::ColumnOf(int section) const {
  return section >= 0 && section == DescriptionColumn() ? kDescription : section;
}

uint64_t TimelineModel::DescriptionRank(const exporting::TimelineEntry& entry) const {
  const auto event = static_cast<size_t>(entry.event);
  return entry.IsEvent() && event < m_eventRanks.size() ? m_eventRanks[event] : 0;
}

std::vector<bool> TimelineModel::LivePathsMatching() const {
  std::vector<bool> matching(static_cast<size_t>(m_keys->Size()), false);
  search::TextMatcher matcher(m_filter.pathContains, false, false);
  std::string path;
  // Ancestors of the item being visited: (item, where its children's paths
  // end before their own name). A top-level item's children start afresh.
  std::vector<std::pair<int32_t, size_t>> open;
  for (int32_t item = 0; item < m_keys->Size(); ++item) {
    const int32_t parent = m_keys->Parent(item);
    while (!open.empty() && open.back().first != parent) open.pop_back();
    if (open.empty() && parent != tree::KeyTree::kNone) {
      path = tree::KeyPathOf(*m_keys, item);  // not reached in a pre-order tree
    } else {
      path.resize(open.empty() ? 0 : open.back().second);
      if (!path.empty()) path += '\\';
      path += tree::KeyNameOf(*m_keys, item);
    }
    open.emplace_back(item, parent == tree::KeyTree::kNone ? 0 : path.size());
    matching[static_cast<size_t>(item)] = matcher.Matches(path);
  }
  return matching;
}

void TimelineModel::FilterRows() {
  m_rows.clear();
  const bool byPath = !m_filter.pathContains.empty() && m_keys != nullptr;
  const std::vector<bool> livePaths = byPath ? LivePathsMatching() : std::vector<bool>{};
  search::TextMatcher matcher(m_filter.pathContains, false, false);
  for (const int32_t index : m_order) {
    const exporting::TimelineEntry& entry = m_entries[static_cast<size_t>(index)];
    if (entry.lastWritten < m_filter.from || entry.lastWritten > m_filter.to) continue;
    if (byPath) {
      const bool matches = entry.Deleted() ? matcher.Matches(exporting::TimelinePath(*m_keys, m_deleted, entry))
                                           : entry.item >= 0 && entry.item < m_keys->Size() &&
                                                 livePaths[static_cast<size_t>(entry.item)];
      if (!matches) continue;
    }
    m_rows.push_back(index);
  }
}

const exporting::TimelineEntry* TimelineModel::EntryAt(int row) const {
  if (row < 0 || row >= ShownCount()) return nullptr;
  return &m_entries[static_cast<size_t>(m_rows[static_cast<size_t>(row)])];
}

std::string TimelineModel::PathAt(int row) const {
  const exporting::TimelineEntry* entry = EntryAt(row);
  return entry != nullptr && m_keys != nullptr ? exporting::TimelinePath(*m_keys, m_deleted, *entry) : std::string();
}

std::optional<std::pair<uint64_t, uint64_t>> TimelineModel::TimeSpan() const {
  if (m_entries.empty()) return std::nullopt;
  const auto [earliest, latest] = std::minmax_element(
      m_entries.begin(), m_entries.end(),
      [](const exporting::TimelineEntry& a, const exporting::TimelineEntry& b) { return a.lastWritten < b.lastWritten; });
  return std::pair{earliest->lastWritten, latest->lastWritten};
}

int TimelineModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ShownCount(); }

int TimelineModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return (m_deleted != nullptr ? kDeleted + 1 : kDeleted) + (m_events ? 1 : 0);
}

QVariant TimelineModel::data(const QModelIndex& index, int role) const {
  const exporting::TimelineEntry* entry = index.isValid() ? EntryAt(index.row()) : nullptr;
  if (entry == nullptr) return {};
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() == kSubkeys || index.column() == kValues;
    return QVariant::fromValue(Qt::Alignment(number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }
  const int column = ColumnOf(index.column());
  if (role == Qt::ToolTipRole && column == kPath) return QString::fromStdString(PathAt(index.row()));
  if ((role == Qt::DisplayRole || role == Qt::ToolTipRole) && column == kDescription) {
    const auto event = static_cast<size_t>(entry->event);
    return entry->IsEvent() && event < m_events->size() ? QString::fromStdString((*m_events)[event].description)
                                                        : QString();
  }
  if (role != Qt::DisplayRole) return {};
  switch (column) {
    case kLastWritten:
      return QString::fromStdString(hive::FormatFileTime(entry->lastWritten));
    case kPath:
      return QString::fromStdString(PathAt(index.row()));
    case kSubkeys:
      return QString::number(entry->subkeys);
    case kValues:
      return QString::number(entry->values);
    case kDeleted:
      return entry->Deleted() ? QStringLiteral("Yes") : QStringLiteral("No");
    default:
      return {};
  }
}

QVariant TimelineModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  switch (ColumnOf(section)) {
    case kLastWritten:
      return QStringLiteral("Last written");
    case kPath:
      return QStringLiteral("Path");
    case kSubkeys:
      return QStringLiteral("Subkeys");
    case kValues:
      return QStringLiteral("Values");
    case kDeleted:
      return QStringLiteral("Deleted");
    case kDescription:
      return QStringLiteral("Description");
    default:
      return {};
  }
}

}  // namespace ui
