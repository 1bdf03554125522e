#pragma once
// ArtifactsWindow: the non-modal window titled "Artifacts" that the main
// window owns. On the left the artifacts of the hive's kind, each as
// "TITLE (ROWS)", those without rows greyed; on the right the chosen
// artifact's rows (ArtifactRowsModel) in a table the user sorts by any column
// and narrows to the rows that hold a text. It may also show only the rows
// from one key and the keys below it (a bar above the table says so, with
// "Show All Rows"). The line under the table says how many rows it shows, or
// "Decoding..." until the rows are there. ShellBags has the folders beside
// its rows as well (ShellBagFolders): the folder chosen there is the row
// chosen in the table, and the other way round. Enter or a double-click on a row
// announces its source (RowChosen); "Save as CSV..." asks for the rows shown
// to be written (SaveRequested).
//
// The decoding is the owner's (ArtifactDecoding); the window shows what it is
// given. The tree and the decoded rows must outlive the window. GUI thread only.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "app/artifacts/artifact_decoding.h"
#include "app/artifacts/artifact_rows_model.h"
#include "app/artifacts/shellbag_folders.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace ui {

class ArtifactsWindow : public QWidget {
  Q_OBJECT

 public:
  // artifacts: those of the hive's kind, in the table's order.
  ArtifactsWindow(artifacts::HiveKind kind, const std::vector<const artifacts::Artifact*>& artifacts,
                  QWidget* owner);

  // The rows are there (or will never be: decoded.unmapped). Keeps decoded.
  void ShowDecoded(const DecodedHive& decoded);
  // Another decoding is on its way: no rows, "Decoding..." until ShowDecoded.
  // The artifact shown and the narrowing stay.
  void ShowDecoding();
  bool Decoded() const { return m_decoded != nullptr; }

  // Shows the artifact at index of the list (its rows once decoded), only the
  // rows from narrowTo and below it unless that is kNoKey. Clears the filter.
  void ShowArtifact(int index, artifacts::KeyId narrowTo = artifacts::kNoKey);
  // The index of the artifact shown; -1 for none.
  int ShownArtifact() const { return m_shown; }

  ArtifactRowsModel& Model() { return m_model; }
  const ArtifactRowsModel& Model() const { return m_model; }
  QListWidget& List() const { return *m_list; }
  QTableView& Table() const { return *m_table; }
  // The folders of ShellBags; hidden for every other artifact.
  ShellBagFolders& Folders() const { return *m_folders; }
  QLineEdit& FilterText() const { return *m_filter; }
  QPushButton& SaveButton() const { return *m_save; }
  QPushButton& ShowAllButton() const { return *m_showAll; }
  QString NarrowingText() const;
  QString Status() const;

 Q_SIGNALS:
  // Enter or a double-click on a row: its source key (a KeyTree position, or
  // a recovered key's id), when fromValue the name of its value ("" for the
  // default value), and whether the row comes from a recovered record.
  void RowChosen(int32_t key, bool fromValue, const QString& valueName, bool deleted);
  void SaveRequested();

 private:
  void ListArtifacts();
  void ShowRows();
  // The decoded artifact shown; none before its decoding is done.
  const DecodedArtifact* ShownDecoded() const;
  void FitColumns();
  void ShowCount();
  void ChooseRow(int row);
  void ShowFolders(const DecodedArtifact* decoded);
  // The folder chosen: its row current in the table, the filter cleared
  // when the filter hid it.
  void ShowFolderRow(int32_t decodedIndex);

  std::vector<const artifacts::Artifact*> m_artifacts;
  const DecodedHive* m_decoded = nullptr;
  int m_shown = -1;
  artifacts::KeyId m_narrowTo = artifacts::kNoKey;

  ArtifactRowsModel m_model;
  QListWidget* m_list = nullptr;
  QWidget* m_narrowBar = nullptr;
  QLabel* m_narrowText = nullptr;
  QPushButton* m_showAll = nullptr;
  QLineEdit* m_filter = nullptr;
  QTableView* m_table = nullptr;
  ShellBagFolders* m_folders = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_save = nullptr;
};

}  // namespace ui
