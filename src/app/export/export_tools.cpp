#include "app/export/export_tools.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "export/json_export.h"
#include "export/timeline_writers.h"
#include "tree/key_path.h"

namespace ui {
namespace {

// A file name made of a key name: the characters a file name cannot hold become "_".
QString FileNameOfKey(QString name) {
  name.replace(u'/', u'_').replace(QChar(0), u'_');
  return name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") ? QStringLiteral("export") : name;
}

}  // namespace

ExportTools::ExportTools(MainWindow& window, ViewerActions& actions, const hive::HiveFile& hive,
                         const tree::KeyIndex& index, const QByteArray& hivePath)
    : m_window(window), m_hive(hive), m_index(index), m_hivePath(hivePath), m_lastFolder(QDir::homePath()) {
  const QString group = QStringLiteral("export");
  actions.Add({QStringLiteral("Export..."), {QKeySequence(Qt::CTRL | Qt::Key_E)}, ActionPlace::kKeyTree,
               [this](ActionTarget at) { ExportKey(at.item); }, group});
  actions.Add({QStringLiteral("Timeline"), {QKeySequence(Qt::CTRL | Qt::Key_T)}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenTimeline(); }, group});
}

ExportTools::~ExportTools() {
  delete m_job;
  m_timeline.reset();
}

QString ExportTools::DefaultRootName() const {
  return QString::fromStdString(exporting::DefaultRootName(m_hivePath.toStdString()));
}

const deleted::DeletedRecords* ExportTools::ShownDeletedRecords() const {
  return m_deletedRecords ? m_deletedRecords() : nullptr;
}

int64_t ExportTools::SubtreeSize(int32_t item) const {
  // In pre-order the subtree ends where the next sibling of the key, or of
  // its nearest ancestor that has one, begins.
  const tree::KeyTree& keys = m_window.Model().Tree();
  for (int32_t at = item; at != tree::KeyTree::kNone; at = keys.Parent(at)) {
    const int32_t parent = keys.Parent(at);
    if (keys.Row(at) + 1 < keys.ChildCount(parent)) return keys.Child(parent, keys.Row(at) + 1) - item;
  }
  return keys.Size() - item;
}

void ExportTools::ExportKey(int32_t item) {
  const tree::KeyTree& keys = m_window.Model().Tree();
  if (item < 0 || item >= keys.Size() || m_job) return;
  if (!exporting::CanExportValues(m_hive)) {
    // Keys without their values would not be the export the user asked for.
    QMessageBox::critical(&m_window, QStringLiteral("Keyloom"),
                          QStringLiteral("This hive cannot be exported: its file could not be mapped."));
    return;
  }
  const QString name = FileNameOfKey(QString::fromStdString(std::string(tree::KeyNameOf(keys, item))));
  const auto choice = AskForExportTarget(&m_window, QDir(m_lastFolder).filePath(name + QStringLiteral(".reg")),
                                         DefaultRootName());
  if (!choice) return;
  m_lastFolder = QFileInfo(choice->path).absolutePath();
  StartExport(item, *choice);
}

FileWriteJob* ExportTools::StartExport(int32_t item, const ExportChoice& choice) {
  const tree::KeyTree& keys = m_window.Model().Tree();
  if (item < 0 || item >= keys.Size() || m_job) return nullptr;
  FileWriteJob::Writer writer = [this, &keys, item, choice](exporting::OutputSink& sink,
                                                            exporting::ExportSignals& signals) {
    if (choice.format == ExportFormat::kJson) return exporting::WriteJsonExport(m_hive, keys, m_index, item, sink, &signals);
    return exporting::WriteRegExport(m_hive, keys, m_index, item, choice.reg, sink, &signals);
  };
  m_jobReadsDeleted = false;
  return StartJob(choice.path, SubtreeSize(item), std::move(writer));
}

FileWriteJob* ExportTools::StartJob(const QString& path, int64_t total, FileWriteJob::Writer writer) {
  m_job = new FileWriteJob(path, total, std::move(writer), &m_window);
  FileWriteJob* job = m_job;
  connect(job, &FileWriteJob::Finished, this, [job] { job->deleteLater(); });
  job->Start();
  return job;
}

TimelineWindow& ExportTools::OpenTimeline() {
  if (!m_timeline) {
    const std::string path = m_hivePath.toStdString();
    const size_t slash = path.rfind('/');
    std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    m_timeline = std::make_unique<TimelineWindow>(m_hive, m_window.Model().Tree(), m_index, std::move(fileName),
                                                  &m_window);
    connect(m_timeline.get(), &TimelineWindow::KeyChosen, this, &ExportTools::SelectKey);
    connect(m_timeline.get(), &TimelineWindow::SaveRequested, this, &ExportTools::SaveTimeline);
    m_timeline->Collect(ShownDeletedRecords());
  }
  m_timeline->show();
  m_timeline->raise();
  m_timeline->activateWindow();
  return *m_timeline;
}

void ExportTools::DeletedRecordsChanged() {
  // A timeline save may be reading the records that are going away.
  if (m_job && m_jobReadsDeleted) m_job->Stop();
  if (m_timeline) m_timeline->Collect(ShownDeletedRecords());
}

void ExportTools::SelectKey(int32_t item, int32_t deletedKey) {
  // A deleted key shown in the tree is selected itself; otherwise the live
  // key it was found under.
  const ui::DeletedKeyItems* shown = m_window.Model().DeletedItems();
  const int32_t deletedItem = shown != nullptr && deletedKey >= 0 ? shown->PositionOfKey(deletedKey) : -1;
  if (!m_window.Tree().SelectItem(deletedItem >= 0 ? deletedItem : item)) return;
  // The tree shows its selection only while it has the focus.
  m_window.activateWindow();
  m_window.Tree().setFocus(Qt::OtherFocusReason);
}

void ExportTools::SaveTimeline() {
  if (!m_timeline || m_job) return;
  const QString path = QFileDialog::getSaveFileName(m_timeline.get(), QStringLiteral("Save as CSV"),
                                                    QDir(m_lastFolder).filePath(QStringLiteral("timeline.csv")),
                                                    QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  m_lastFolder = QFileInfo(path).absolutePath();
  StartTimelineSave(path);
}

FileWriteJob* ExportTools::StartTimelineSave(const QString& path) {
  if (!m_timeline || m_job) return nullptr;
  const TimelineModel& model = m_timeline->Model();
  // The rows shown, in their order: a copy, so that the table may change meanwhile.
  std::vector<exporting::TimelineEntry> rows;
  rows.reserve(static_cast<size_t>(model.ShownCount()));
  for (int row = 0; row < model.ShownCount(); ++row) rows.push_back(*model.EntryAt(row));
  const tree::KeyTree* keys = model.Keys();
  const deleted::DeletedRecords* deletedRecords = model.DeletedRecords();
  // With the artifacts' times, the columns artifact and description too.
  std::optional<std::vector<exporting::ArtifactEvent>> events;
  if (model.Events() != nullptr) events = *model.Events();
  const auto total = static_cast<int64_t>(rows.size());
  FileWriteJob::Writer writer = [keys, deletedRecords, rows = std::move(rows), events = std::move(events)](
                                    exporting::OutputSink& sink, exporting::ExportSignals& signals) {
    return exporting::WriteTimeline(*keys, deletedRecords, rows, exporting::TimelineFormat::kCsv, sink, &signals,
                                    events ? &*events : nullptr);
  };
  FileWriteJob* job = StartJob(path, total, std::move(writer));
  m_jobReadsDeleted = deletedRecords != nullptr;
  return job;
}

}  // namespace ui
