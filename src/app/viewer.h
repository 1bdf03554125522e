#pragma once
// Viewer: one run of Keyloom from the open hive to the end.
//
// OpenHiveFile opens the hive. StartLoading sets LoadingDone to 0, starts the
// loader thread (BuildKeyTree into a KeyTree of plain data), creates the main
// window hidden and opens the ProgressWindow. When the ProgressWindow has seen
// loading done and closed, the loader is joined, the tree goes to the model and
// the main window is shown; when the walk was cut short on its budget, a
// notice over it says so (ShowCutTreeNotice). From then on every control
// event of the KeyTree lists the selected key's values.
//
// The run ends with Ended(status):
//  - the main window is closed: the hive is closed, status 0;
//  - the ProgressWindow is closed while loading: the loader stops between two
//    keys and is joined, the hive is closed, status 0; the main window is
//    never shown.
//
// GUI thread only, apart from the loader thread it runs itself.

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "app/artifacts/artifacts_tools.h"
#include "app/deleted/deleted_tools.h"
#include "app/export/export_tools.h"
#include "app/details/viewer_tools.h"
#include "app/find/find_tools.h"
#include "app/main_window.h"
#include "app/open/open_tools.h"
#include "app/progress_window.h"
#include "app/viewer_actions.h"
#include "app/viewer_start.h"
#include "hive/hive_file.h"
#include "tree/build_key_tree.h"
#include "tree/key_index.h"
#include "tree/key_tree.h"

namespace ui {

// How this run opens its hive (the command line's --open-anyway and
// --name-in-title).
struct OpenOptions {
  // A hive the wider open accepts opens that way without the refusal box.
  bool openAnyway = false;
  // The title names the hive even when it opened the strict way.
  bool nameInTitle = false;
};

class Viewer : public QObject {
  Q_OBJECT

 public:
  // Starts with the empty KeyIndex. Other hives are opened (Ctrl+O, drops,
  // Open Recent) with StartViewerProcess, handing on options.openAnyway.
  explicit Viewer(OpenOptions options = {});
  ~Viewer() override;

  // Opens the hive at path, byte for byte. When it is refused, shows a message
  // box naming the file (DisplayPath) and the reason, and returns false once
  // the user has closed it. When the wider open would accept the file, the box
  // offers "Open anyway" as well: that opens it the wider way
  // (recovery::OpenHiveAnyway), and the main window's title then says what was
  // done. The box is not shown, and the file opens the wider way, when the
  // options or the user's settings say so (OpensNewerHivesWithoutAsking); the
  // box's "Always open newer and unsaved hives" turns that setting on.
  // A hive that opens goes first in the recent list.
  bool OpenHiveFile(const QByteArray& path);

  // Puts starter in place of StartViewerProcess for the other hives this
  // window opens. Call it before the main window is shown.
  void SetViewerStarter(ViewerStarter starter) { m_starter = std::move(starter); }

  // The steps from LoadingDone := 0 up to the ProgressWindow. Needs an open hive.
  void StartLoading();

  bool HiveIsOpen() const { return m_hive != nullptr; }
  MainWindow* Window() { return m_window.get(); }
  // Tooltips, Key Properties, Value Details and copy; none before the main window is shown.
  ViewerTools* Tools() { return m_tools.get(); }
  // Find; none before the main window is shown.
  FindTools* Finder() { return m_find.get(); }
  // Export and the Timeline; none before the main window is shown.
  ExportTools* Export() { return m_export.get(); }
  // Opening other hives and About; none before the main window is shown.
  OpenTools* Opener() { return m_opener.get(); }
  // The shortcuts and context menus of every tool; none before the main window is shown.
  ViewerActions* Actions() { return m_actions; }
  // The deleted keys and values; none before the main window is shown.
  DeletedTools* Deleted() { return m_deleted.get(); }
  // Artifacts, Bookmarks and Go to Key; none before the main window is shown.
  ArtifactsTools* Artifacts() { return m_artifacts.get(); }
  ProgressWindow* Progress() { return m_progress.get(); }
  int32_t KeysLoaded() const { return m_signals.keysLoaded.load(); }

 Q_SIGNALS:
  // The main window has been shown (after loading).
  void MainWindowShown();
  void Ended(int status);

 private:
  void RunLoader();
  // Sets the stop flag and joins the loader, answering its fault reports meanwhile.
  void StopLoader();
  void FinishLoading();
  void AbandonLoading();
  void CloseMainWindow();
  void ShowKeyValues();

  bool OpensAnywayWithoutAsking(const QString& shownPath, const std::string& reason);

  OpenOptions m_options;
  ViewerStarter m_starter;
  std::unique_ptr<hive::HiveFile> m_hive;
  QByteArray m_hivePath;
  QString m_windowTitle = QStringLiteral("Keyloom");
  tree::KeyIndex m_index;
  // Written by the loader thread only, until it has been joined.
  tree::KeyTree m_loadingTree;
  tree::BuildSignals m_signals;
  tree::BuildOutcome m_outcome = tree::BuildOutcome::kNoRoot;
  std::atomic<int32_t> m_loadingDone{0};
  std::thread m_loader;
  std::unique_ptr<MainWindow> m_window;
  std::unique_ptr<ProgressWindow> m_progress;
  ViewerActions* m_actions = nullptr;  // owned by the main window
  // Goes before the hive is closed: it may stop a scan that reads the hive.
  std::unique_ptr<DeletedTools> m_deleted;
  std::unique_ptr<OpenTools> m_opener;
  std::unique_ptr<ViewerTools> m_tools;
  // Goes before the hive is closed: it may stop a search that reads the hive.
  std::unique_ptr<FindTools> m_find;
  std::unique_ptr<ExportTools> m_export;
  // Goes before the hive is closed: it may stop a decoding that reads the hive.
  std::unique_ptr<ArtifactsTools> m_artifacts;
};

// Runs Keyloom with its command-line arguments as bytes (the program name
// left out; see ReadViewerArguments): none asks for the hive with the file
// dialog, one is the hive's path; --help and --version print their text.
// Returns the exit status: 0 when the user closed a window or cancelled the
// dialog (or after --help, --version), 1 when the hive was refused, 2 on a
// usage error (an unknown option, two hives).
//
// KEYLOOM_SELECT, a testing aid: when set to a key path ("Software/Microsoft",
// key names below the root key), that key is selected once the main window
// is shown.
int RunViewer(const QByteArrayList& arguments);

}  // namespace ui
