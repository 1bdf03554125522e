#pragma once
// ArtifactRowsModel: the decoded rows of one artifact as a table: one column
// per column of the artifact, then "Key" (the source key's path), "Value"
// (the source value's name, "{default}" for the default value, empty for a
// row decoded from a key as a whole) and, when any row has one, "Problem".
//
// Cells show as the Timeline shows them: times in UTC to the second
// ("2012-04-06 18:54:34 UTC"), integers in decimal, booleans as Yes or No.
// The rows are shown in the decoder's order, or sorted by a column: times by
// time, integers by number, booleans false first, texts without regard to
// case, Key in the tree's order; empty cells first. Sorting is stable, both
// ways. The rows shown are those that hold the filter's text (without regard
// to case) in any cell, and, when the model is narrowed to a key, whose
// source key is that key or lies below it.
//
// Rows decoded from recovered deleted keys or values take the deleted look
// the key tree gives its deleted items (SetDeletedLook), and, saved as CSV, a
// column "deleted".
//
// GUI thread only. The artifact, the rows and the tree must outlive the model
// (until the next Reset).

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "artifacts/artifact.h"
#include "artifacts/hive_keys.h"

namespace ui {

class ArtifactRowsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ArtifactRowsModel(QObject* parent = nullptr);

  // Shows the rows of artifact (none: an empty table), in the decoder's order,
  // without filter or narrowing. keys are those the rows name (needed with rows).
  void Reset(const artifacts::Artifact* artifact, const std::vector<artifacts::ArtifactRow>* rows,
             const artifacts::HiveKeys* keys);
  // What Qt::FontRole, Qt::ForegroundRole and, in the first column,
  // Qt::DecorationRole give for a deleted row.
  void SetDeletedLook(QVariant font, QVariant foreground, QVariant decoration);
  const QVariant& DeletedFont() const { return m_deletedFont; }
  const QVariant& DeletedForeground() const { return m_deletedForeground; }

  void SetFilter(const QString& text);
  const QString& Filter() const { return m_filter; }
  // Shows only the rows from key and the keys below it (a recovered key's
  // too); kNoKey shows all.
  void SetNarrowing(artifacts::KeyId key);
  artifacts::KeyId Narrowing() const { return m_narrowing; }

  const artifacts::Artifact* Artifact() const { return m_artifact; }
  int32_t RowCount() const { return static_cast<int32_t>(m_texts.size()); }
  int32_t ShownCount() const { return static_cast<int32_t>(m_shown.size()); }
  // The decoded row shown in row; null outside the table.
  const artifacts::ArtifactRow* RowAt(int row) const;
  // The index into the decoded rows of the row shown in row (-1 outside the
  // table), and the table row that shows a decoded row (-1: not shown).
  int32_t DecodedIndexAt(int row) const;
  int ShownRowOf(int32_t decodedIndex) const;

  // Column numbers beyond the artifact's own columns.
  int KeyColumn() const;
  int ValueColumn() const { return KeyColumn() + 1; }
  int ProblemColumn() const { return m_hasProblems ? KeyColumn() + 2 : -1; }

  // For CSV: the column names (the artifact's, as --artifacts writes them,
  // then key, value, problem when shown and deleted when any row is) and one
  // shown row's fields (times in ISO 8601 UTC to 100 ns, booleans as true or
  // false).
  std::vector<std::string> CsvHeader() const;
  std::vector<std::string> CsvFields(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // A column of -1 puts back the decoder's order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  bool LessInColumn(int32_t a, int32_t b, int column) const;
  QVariant DeletedRowData(int column, int role) const;
  void SortRows();
  void ShowRows();

  const artifacts::Artifact* m_artifact = nullptr;
  const std::vector<artifacts::ArtifactRow>* m_rows = nullptr;
  const artifacts::HiveKeys* m_keys = nullptr;
  bool m_hasProblems = false;
  bool m_hasDeleted = false;
  QVariant m_deletedFont;
  QVariant m_deletedForeground;
  QVariant m_deletedDecoration;
  // Per decoded row, the text of each column as shown.
  std::vector<std::vector<QString>> m_texts;
  std::vector<int32_t> m_order;  // every row, in the sorted column's order
  std::vector<int32_t> m_shown;  // the part of m_order that is shown
  int m_sortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  QString m_filter;
  artifacts::KeyId m_narrowing = artifacts::kNoKey;
};

// A cell's text as the model shows it.
QString CellText(const artifacts::Cell& cell);
// A column name as a heading: "run_count" is "Run count".
QString ColumnHeading(std::string_view name);

}  // namespace ui
