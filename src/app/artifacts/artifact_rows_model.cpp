#include "app/artifacts/artifact_rows_model.h"

#include <algorithm>
#include <utility>

#include "export/artifact_rows.h"
#include "hive/key_details.h"

namespace ui {
namespace {

const QString kDefaultValueName = QStringLiteral("{default}");

QString ValueText(const artifacts::ArtifactRow& row) {
  if (!row.fromValue) return {};
  return row.valueName.empty() ? kDefaultValueName : QString::fromStdString(row.valueName);
}

// Compares two cells of one column: empty cells first, then by the cell's
// own kind; cells of different kinds (a decoder's slip) by kind.
int CompareCells(const artifacts::Cell& a, const artifacts::Cell& b, const QString& textA, const QString& textB) {
  if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
  if (const auto* number = std::get_if<int64_t>(&a)) {
    const int64_t other = std::get<int64_t>(b);
    return *number < other ? -1 : (*number > other ? 1 : 0);
  }
  if (const auto* time = std::get_if<artifacts::FileTime>(&a)) {
    const uint64_t other = std::get<artifacts::FileTime>(b).value;
    return time->value < other ? -1 : (time->value > other ? 1 : 0);
  }
  if (const auto* flag = std::get_if<bool>(&a)) return static_cast<int>(*flag) - static_cast<int>(std::get<bool>(b));
  return textA.compare(textB, Qt::CaseInsensitive);
}

// The tree's order of keys: the live keys in pre-order, then the recovered
// ones in the records' order.
bool KeyBefore(artifacts::KeyId a, artifacts::KeyId b) {
  const bool deletedA = artifacts::IsDeletedKeyId(a);
  const bool deletedB = artifacts::IsDeletedKeyId(b);
  if (deletedA != deletedB) return deletedB;
  return deletedA ? artifacts::DeletedKeyIndex(a) < artifacts::DeletedKeyIndex(b) : a < b;
}

}  // namespace

QString CellText(const artifacts::Cell& cell) {
  if (const auto* text = std::get_if<std::string>(&cell)) return QString::fromStdString(*text);
  if (const auto* number = std::get_if<int64_t>(&cell)) return QString::number(*number);
  if (const auto* time = std::get_if<artifacts::FileTime>(&cell)) {
    return time->value == 0 ? QString() : QString::fromStdString(hive::FormatFileTime(time->value));
  }
  if (const auto* flag = std::get_if<bool>(&cell)) return *flag ? QStringLiteral("Yes") : QStringLiteral("No");
  return {};
}

QString ColumnHeading(std::string_view name) {
  QString heading = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  heading.replace(u'_', u' ');
  if (!heading.isEmpty()) heading[0] = heading[0].toUpper();
  return heading;
}

ArtifactRowsModel::ArtifactRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ArtifactRowsModel::Reset(const artifacts::Artifact* artifact, const std::vector<artifacts::ArtifactRow>* rows,
                              const artifacts::HiveKeys* keys) {
  beginResetModel();
  m_artifact = artifact;
  m_rows = artifact != nullptr && keys != nullptr ? rows : nullptr;
  m_keys = keys;
  m_filter.clear();
  m_narrowing = artifacts::kNoKey;
  m_sortColumn = -1;
  m_sortOrder = Qt::AscendingOrder;
  m_texts.clear();
  m_hasProblems = false;
  m_hasDeleted = false;
  const size_t columns = artifact != nullptr ? artifact->columns.size() : 0;
  if (m_rows != nullptr) {
    m_texts.reserve(m_rows->size());
    for (const artifacts::ArtifactRow& row : *m_rows) {
      std::vector<QString>& texts = m_texts.emplace_back();
      texts.reserve(columns + 3);
      for (size_t column = 0; column < columns; ++column) {
        texts.push_back(column < row.cells.size() ? CellText(row.cells[column]) : QString());
      }
      texts.push_back(QString::fromStdString(keys->Path(row.key)));
      texts.push_back(ValueText(row));
      texts.push_back(QString::fromStdString(row.problem));
      m_hasProblems = m_hasProblems || !row.problem.empty();
      m_hasDeleted = m_hasDeleted || row.deleted;
    }
  }
  SortRows();
  ShowRows();
  endResetModel();
}

void ArtifactRowsModel::SetDeletedLook(QVariant font, QVariant foreground, QVariant decoration) {
  m_deletedFont = std::move(font);
  m_deletedForeground = std::move(foreground);
  m_deletedDecoration = std::move(decoration);
  if (ShownCount() > 0) Q_EMIT dataChanged(index(0, 0), index(ShownCount() - 1, columnCount() - 1));
}

void ArtifactRowsModel::SetFilter(const QString& text) {
  beginResetModel();
  m_filter = text;
  ShowRows();
  endResetModel();
}

void ArtifactRowsModel::SetNarrowing(artifacts::KeyId key) {
  beginResetModel();
  m_narrowing = key;
  ShowRows();
  endResetModel();
}

const artifacts::ArtifactRow* ArtifactRowsModel::RowAt(int row) const {
  if (row < 0 || row >= ShownCount()) return nullptr;
  return &(*m_rows)[static_cast<size_t>(m_shown[static_cast<size_t>(row)])];
}

int32_t ArtifactRowsModel::DecodedIndexAt(int row) const {
  return row >= 0 && row < ShownCount() ? m_shown[static_cast<size_t>(row)] : -1;
}

int ArtifactRowsModel::ShownRowOf(int32_t decodedIndex) const {
  const auto at = std::find(m_shown.begin(), m_shown.end(), decodedIndex);
  return at != m_shown.end() ? static_cast<int>(at - m_shown.begin()) : -1;
}

int ArtifactRowsModel::KeyColumn() const {
  return m_artifact != nullptr ? static_cast<int>(m_artifact->columns.size()) : 0;
}

void ArtifactRowsModel::sort(int column, Qt::SortOrder order) {
  if (column >= columnCount()) return;
  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  m_sortColumn = column;
  m_sortOrder = order;
  SortRows();
  ShowRows();
  // Rows are not followed across a sort: no persistent indexes are kept here.
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool ArtifactRowsModel::LessInColumn(int32_t a, int32_t b, int column) const {
  const auto& rowA = (*m_rows)[static_cast<size_t>(a)];
  const auto& rowB = (*m_rows)[static_cast<size_t>(b)];
  const auto& textA = m_texts[static_cast<size_t>(a)][static_cast<size_t>(column)];
  const auto& textB = m_texts[static_cast<size_t>(b)][static_cast<size_t>(column)];
  if (column == KeyColumn()) return KeyBefore(rowA.key, rowB.key);
  if (column > KeyColumn()) return textA.compare(textB, Qt::CaseInsensitive) < 0;
  const auto at = static_cast<size_t>(column);
  const artifacts::Cell empty;
  return CompareCells(at < rowA.cells.size() ? rowA.cells[at] : empty, at < rowB.cells.size() ? rowB.cells[at] : empty,
                      textA, textB) < 0;
}

void ArtifactRowsModel::SortRows() {
  m_order.resize(m_texts.size());
  for (size_t at = 0; at < m_order.size(); ++at) m_order[at] = static_cast<int32_t>(at);
  if (m_sortColumn < 0) return;
  const int column = m_sortColumn;
  if (m_sortOrder == Qt::AscendingOrder) {
    std::stable_sort(m_order.begin(), m_order.end(),
                     [this, column](int32_t a, int32_t b) { return LessInColumn(a, b, column); });
  } else {
    std::stable_sort(m_order.begin(), m_order.end(),
                     [this, column](int32_t a, int32_t b) { return LessInColumn(b, a, column); });
  }
}

void ArtifactRowsModel::ShowRows() {
  m_shown.clear();
  for (const int32_t index : m_order) {
    const auto at = static_cast<size_t>(index);
    if (m_narrowing != artifacts::kNoKey && !m_keys->IsAtOrBelow((*m_rows)[at].key, m_narrowing)) continue;
    if (!m_filter.isEmpty()) {
      const auto& texts = m_texts[at];
      const auto holdsFilter = [this](const QString& text) { return text.contains(m_filter, Qt::CaseInsensitive); };
      const bool holds = std::any_of(texts.begin(), texts.end(), holdsFilter);
      if (!holds) continue;
    }
    m_shown.push_back(index);
  }
}

std::vector<std::string> ArtifactRowsModel::CsvHeader() const {
  std::vector<std::string> header;
  if (m_artifact == nullptr) return header;
  for (const artifacts::Column& column : m_artifact->columns) header.emplace_back(column.name);
  header.emplace_back("key");
  header.emplace_back("value");
  if (m_hasProblems) header.emplace_back("problem");
  if (m_hasDeleted) header.emplace_back("deleted");
  return header;
}

std::vector<std::string> ArtifactRowsModel::CsvFields(int row) const {
  std::vector<std::string> fields;
  const artifacts::ArtifactRow* decoded = RowAt(row);
  if (decoded == nullptr) return fields;
  for (size_t column = 0; column < m_artifact->columns.size(); ++column) {
    std::string& field = fields.emplace_back();
    if (column < decoded->cells.size()) exporting::AppendCellText(decoded->cells[column], field);
  }
  const auto& texts = m_texts[static_cast<size_t>(m_shown[static_cast<size_t>(row)])];
  fields.push_back(texts[static_cast<size_t>(KeyColumn())].toStdString());
  fields.push_back(texts[static_cast<size_t>(ValueColumn())].toStdString());
  if (m_hasProblems) fields.push_back(decoded->problem);
  if (m_hasDeleted) fields.emplace_back(decoded->deleted ? "true" : "false");
  return fields;
}

int ArtifactRowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ShownCount(); }

int ArtifactRowsModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || m_artifact == nullptr) return 0;
  return KeyColumn() + (m_hasProblems ? 3 : 2);
}

QVariant ArtifactRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= ShownCount() || index.column() >= columnCount()) return {};
  const auto& texts = m_texts[static_cast<size_t>(m_shown[static_cast<size_t>(index.row())])];
  const QString& text = texts[static_cast<size_t>(index.column())];
  switch (role) {
    case Qt::DisplayRole:
      return text;
    case Qt::ToolTipRole:
      return text.isEmpty() ? QVariant() : QVariant(text);
    case Qt::TextAlignmentRole: {
      const auto column = static_cast<size_t>(index.column());
      const bool number =
          index.column() < KeyColumn() && m_artifact->columns[column].type == artifacts::ColumnType::kInteger;
      return QVariant::fromValue(Qt::Alignment(number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    case Qt::FontRole:
    case Qt::ForegroundRole:
    case Qt::DecorationRole:
      return RowAt(index.row())->deleted ? DeletedRowData(index.column(), role) : QVariant();
    default:
      return {};
  }
}

QVariant ArtifactRowsModel::DeletedRowData(int column, int role) const {
  if (role == Qt::FontRole) return m_deletedFont;
  if (role == Qt::ForegroundRole) return m_deletedForeground;
  return column == 0 ? m_deletedDecoration : QVariant();
}

QVariant ArtifactRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (section < KeyColumn()) return ColumnHeading(m_artifact->columns[static_cast<size_t>(section)].name);
  if (section == KeyColumn()) return QStringLiteral("Key");
  if (section == ValueColumn()) return QStringLiteral("Value");
  return QStringLiteral("Problem");
}

}  // namespace ui
