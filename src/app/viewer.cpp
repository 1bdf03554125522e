#include "app/viewer.h"

#include <QEventLoop>
#include <QGuiApplication>

#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include "app/command_line.h"
#include "app/cut_tree_notice.h"
#include "app/error_report.h"
#include "app/fault_hooks.h"
#include "app/hive_dialog.h"
#include "app/hive_path.h"
#include "app/user_settings.h"
#include "recovery/open_anyway.h"
#include "values/show_key_values.h"

namespace ui {

Viewer::Viewer(OpenOptions options)
    : m_options(options), m_starter([options](const QByteArray& path) {
        return StartViewerProcess(path, options.openAnyway);
      }) {}

Viewer::~Viewer() { StopLoader(); }

void Viewer::StopLoader() {
  if (!m_loader.joinable()) return;
  m_signals.stop.store(true);
  // The loader may fault on its way to the stop and wait for the user's answer.
  while (m_loadingDone.load() == 0) ServeFaultReports(std::chrono::milliseconds(10));
  m_loader.join();
}

bool Viewer::OpenHiveFile(const QByteArray& path) {
  m_hivePath = path;
  const std::string file = path.toStdString();
  const QString shownPath = DisplayPath(path);
  std::string reason;
  recovery::OpenReport report;
  m_hive = hive::OpenHive(file, &reason);
  if (!m_hive) {
    if (!recovery::OpensAnyway(file)) {
      ShowRejectedHive(shownPath, reason);
      return false;
    }
    if (!OpensAnywayWithoutAsking(shownPath, reason)) return false;
    m_hive = recovery::OpenHiveAnyway(file, &reason, &report);
    if (!m_hive) {  // the file changed since it was offered
      ShowRejectedHive(shownPath, reason);
      return false;
    }
  }
  m_windowTitle = MainWindowTitle(shownPath, QString::fromStdString(report.summary), m_options.nameInTitle);
  RememberRecentHive(path);
  return true;
}

bool Viewer::OpensAnywayWithoutAsking(const QString& shownPath, const std::string& reason) {
  if (m_options.openAnyway || OpensNewerHivesWithoutAsking()) return true;
  const RefusalAnswer answer = AskToOpenAnyway(shownPath, reason);
  if (answer == RefusalAnswer::kAlwaysOpenAnyway) SetOpensNewerHivesWithoutAsking(true);
  return answer != RefusalAnswer::kClose;
}

void Viewer::StartLoading() {
  m_loadingDone.store(0);
  try {
    m_loader = std::thread([this] { RunLoader(); });
  } catch (const std::system_error&) {
    // No thread to spare: load here; the ProgressWindow then closes in its first pass.
    RunLoader();
  }

  m_window = std::make_unique<MainWindow>();
  m_window->setWindowTitle(m_windowTitle);
  connect(&m_window->Tree(), &KeyTreeView::ControlEvent, this, &Viewer::ShowKeyValues);
  connect(m_window.get(), &MainWindow::Closed, this, &Viewer::CloseMainWindow);

  m_progress = std::make_unique<ProgressWindow>(m_signals.keysLoaded, m_loadingDone);
  connect(m_progress.get(), &ProgressWindow::LoadingSeen, this, &Viewer::FinishLoading);
  connect(m_progress.get(), &ProgressWindow::CloseRequested, this, &Viewer::AbandonLoading);
  m_progress->Start();
}

void Viewer::RunLoader() {
  PrepareThreadForFaults();
  m_outcome = tree::BuildKeyTree(m_loadingTree, m_index, *m_hive, m_signals);
  m_loadingDone.store(1);
}

void Viewer::FinishLoading() {
  if (m_loader.joinable()) m_loader.join();
  m_window->Model().ResetTree(std::move(m_loadingTree));
  m_actions = new ViewerActions(*m_window);
  m_tools = std::make_unique<ViewerTools>(*m_window, *m_actions, *m_hive, m_index);
  m_find = std::make_unique<FindTools>(*m_window, *m_actions, *m_hive, m_index);
  m_deleted = std::make_unique<DeletedTools>(*m_window, *m_actions, *m_hive, m_index);
  m_tools->SetAdditions(m_deleted.get());
  m_find->SetAdditions(m_deleted.get());
  m_export = std::make_unique<ExportTools>(*m_window, *m_actions, *m_hive, m_index, m_hivePath);
  // The Timeline lists the deleted keys while they are shown. The records are
  // kept for the session, and the export tools go before the deleted ones.
  m_export->SetDeletedRecordsProvider([this] { return m_deleted->ShownDeletedRecords(); });
  connect(m_deleted.get(), &DeletedTools::DeletedShownChanged, m_export.get(), &ExportTools::DeletedRecordsChanged);
  m_opener = std::make_unique<OpenTools>(*m_window, *m_actions, m_starter);
  m_artifacts = std::make_unique<ArtifactsTools>(*m_window, *m_actions, *m_hive, m_index, m_hivePath);
  // The artifacts decode the deleted records too while they are shown (kept
  // for the session; the artifact tools go before the deleted ones).
  connect(m_deleted.get(), &DeletedTools::DeletedShownChanged, m_artifacts.get(),
          [this] { m_artifacts->SetDeletedRecords(m_deleted->ShownDeletedRecords()); });
  m_tools->SetHiveKind(m_artifacts->HiveKindText());
  m_window->ShowAndActivate();
  const QString select = qEnvironmentVariable("KEYLOOM_SELECT");
  if (qEnvironmentVariableIsSet("KEYLOOM_SELECT") && !m_window->Tree().SelectKeyPath(select)) {
    std::fprintf(stderr, "keyloom: KEYLOOM_SELECT: no key %s\n", qPrintable(select));
  }
  if (m_outcome == tree::BuildOutcome::kTooLarge) ShowCutTreeNotice(*m_window, KeysLoaded());
  Q_EMIT MainWindowShown();
}

void Viewer::AbandonLoading() {
  StopLoader();
  hive::CloseHive(m_hive);
  Q_EMIT Ended(0);
}

void Viewer::CloseMainWindow() {
  m_artifacts.reset();
  m_export.reset();
  m_find.reset();
  m_tools.reset();
  m_deleted.reset();
  hive::CloseHive(m_hive);
  Q_EMIT Ended(0);
}

void Viewer::ShowKeyValues() {
  if (!m_hive) return;
  values::ShowKeyValues(*m_hive, m_index, m_window->Tree(), m_window->Table());
}

int RunViewer(const QByteArrayList& arguments) {
  const ViewerArguments parsed = ReadViewerArguments(arguments);
  if (parsed.request != ViewerArguments::Request::kRun) return AnswerViewerArguments(parsed);
  // Windows come and go during start-up; the run ends only by Ended.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  Viewer viewer({.openAnyway = parsed.openAnyway, .nameInTitle = parsed.nameInTitle});
  QByteArray path;
  if (parsed.hivePath) {
    path = *parsed.hivePath;
  } else {
    std::optional<QByteArray> chosen = AskForHivePath();
    if (!chosen) return 0;
    path = *chosen;
  }
  if (!viewer.OpenHiveFile(path)) return 1;

  QEventLoop loop;
  QObject::connect(&viewer, &Viewer::Ended, &loop, &QEventLoop::exit);
  viewer.StartLoading();
  return loop.exec();
}

}  // namespace ui
