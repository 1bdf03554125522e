#pragma once
// ArtifactsTools: what the viewer offers on the hive's artifacts, each reached
// by the user's choice:
//  - "Artifacts" (Ctrl+Shift+A): the ArtifactsWindow over every artifact of
//    the hive's kind. A row chosen there selects its source key in the tree
//    and its value's row in the ValueTable; "Save as CSV..." writes the rows
//    shown.
//  - "Decoded: TITLE" (Ctrl+D, on a key): the Artifacts window on the artifact
//    whose rows come from that key or from keys below it, showing only those
//    rows. The tree's context menu names the artifact (a submenu when there
//    are several); on a key that is the source of none the entry is disabled.
//  - "Bookmarks" (Ctrl+B): the BookmarksWindow; a bookmark chosen selects its key.
//  - "Go to Key..." (Ctrl+L): the GoToKeyDialog; a path selects the deepest
//    key of it that exists, "CurrentControlSet" read as the current control set.
//
// The artifacts are decoded once, on a worker thread (ArtifactDecoding),
// when first needed: by the window, by Ctrl+D, or by the tree's context menu.
// The result is kept until the tools go. While the deleted keys and values
// are shown (SetDeletedRecords), the artifacts are those decoded over the
// live and the recovered records together, once, on the first need after
// the records came: rows from recovered records take the tree's deleted look,
// and a deleted key in the tree offers its artifacts as a live one does.
//
// KEYLOOM_ARTIFACT, a testing aid: when set to an artifact's id ("userassist"),
// the Artifacts window opens on that artifact once the main window is shown.
//
// The hive, the key index, the window and the deleted records given must
// outlive the tools; destroy them before the hive is closed (they stop the
// decoding). GUI thread only.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/artifacts/artifact_decoding.h"
#include "app/artifacts/artifacts_window.h"
#include "app/artifacts/bookmarks_window.h"
#include "app/artifacts/go_to_key_dialog.h"
#include "artifacts/hive_keys.h"
#include "app/file_write_job.h"
#include "hive/hive_file.h"
#include "app/main_window.h"
#include "tree/key_index.h"
#include "app/viewer_actions.h"

class QAction;
class QMenu;

namespace ui {

class ArtifactsTools : public QObject {
  Q_OBJECT

 public:
  // Adds its four actions to actions. hivePath's file name settles the hive's
  // kind where its keys leave it open, and is a name Go to Key accepts.
  ArtifactsTools(MainWindow& window, ViewerActions& actions, const hive::HiveFile& hive, const tree::KeyIndex& index,
                 const QByteArray& hivePath);
  ~ArtifactsTools() override;

  artifacts::HiveKind Kind() const { return m_kind; }
  // "SYSTEM", "NTUSER", ... (artifacts::HiveKindName).
  QString HiveKindText() const;

  // Opens (or raises) the Artifacts window; the first time, starts the decoding.
  ArtifactsWindow& OpenArtifacts();
  ArtifactsWindow* Artifacts() const { return m_artifacts.get(); }
  // The Artifacts window on the artifact with this id; false when the
  // hive's kind has no such artifact.
  bool OpenArtifact(std::string_view id);
  // The decoding whose rows are shown: with the deleted records while they
  // are shown, else the live one.
  const ArtifactDecoding& Decoding() const { return Current(); }

  // The deleted records shown in the tree (none: hidden). The records must
  // stay alive and unchanged for the tools' life.
  void SetDeletedRecords(const deleted::DeletedRecords* records);

  // The artifacts with rows from the key at item or from keys below it (see
  // DecodedHive::bySourceKey); empty until the decoding is done.
  std::vector<const artifacts::Artifact*> ArtifactsFrom(int32_t item) const;
  // The Artifacts window on the which-th of ArtifactsFrom(item), showing only
  // the rows from that key and below. Before the decoding is done, starts it
  // and does this when it is. Nothing when the key is the source of none.
  void OpenDecoded(int32_t item, size_t which = 0);
  QAction* DecodedAction() const { return m_decodedAction; }

  // Opens (or raises) the Bookmarks window.
  BookmarksWindow& OpenBookmarks();
  BookmarksWindow* Bookmarks() const { return m_bookmarks.get(); }

  // Opens (or raises) the Go to Key dialog.
  GoToKeyDialog& OpenGoToKey();
  GoToKeyDialog* GoToKey() const { return m_goTo.get(); }
  // Selects the deepest key of path that exists (the root at least) and
  // returns the part of path below it that does not exist ("" when none).
  QString GoToPath(const QString& path);

  // Asks where to save the rows the Artifacts window shows, then writes them.
  void SaveArtifactRows();
  // Writes the rows the Artifacts window shows, as CSV, to path.
  FileWriteJob* StartArtifactRowsSave(const QString& path);
  FileWriteJob* RunningJob() const { return m_job; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddActions(ViewerActions& actions);
  ArtifactDecoding& Current() const;
  void DecodingDone(const ArtifactDecoding* from);
  void ShowCurrentDecoding();
  // The key an item of the tree shows, as the decoded rows name it: a live
  // key's position, a deleted key's id while the deleted rows are decoded;
  // kNoKey for any other item.
  artifacts::KeyId KeyOfItem(int32_t item) const;
  // The tree's item of a key the rows name, or -1.
  int32_t ItemOfKey(artifacts::KeyId key) const;
  // The ValueTable's row of a recovered value of the selected key, by name, or -1.
  int32_t RowOfDeletedValue(const QString& valueName) const;
  // Sets the enabled state of the Decoded action (and, for a context menu,
  // its text and submenu) for the key at item.
  void OfferDecodedFor(int32_t item, bool forMenu);
  void SelectKey(int32_t item);
  void SelectSource(int32_t key, bool fromValue, const QString& valueName, bool deleted);
  int32_t RowOfValue(int32_t key, const QString& valueName) const;

  MainWindow& m_window;
  const hive::HiveFile& m_hive;
  const tree::KeyIndex& m_index;
  artifacts::HiveKeys m_keys;  // the GUI thread's
  std::string m_fileName;
  artifacts::HiveKind m_kind = artifacts::HiveKind::kOther;
  artifacts::KeyId m_controlSet = artifacts::kNoKey;
  QAction* m_decodedAction = nullptr;  // owned by the action table
  QPointer<QMenu> m_decodedMenu;  // made when a key first has several artifacts
  int32_t m_pendingDecoded = -1;  // Ctrl+D on this item waits for the decoding
  QString m_lastFolder;
  QPointer<FileWriteJob> m_job;
  // Before the windows, which show their results: they go after them.
  std::unique_ptr<ArtifactDecoding> m_liveDecoding;
  std::unique_ptr<ArtifactDecoding> m_deletedDecoding;  // once deleted records were shown
  bool m_deletedShown = false;
  std::unique_ptr<ArtifactsWindow> m_artifacts;
  std::unique_ptr<BookmarksWindow> m_bookmarks;
  std::unique_ptr<GoToKeyDialog> m_goTo;
};

}  // namespace ui
