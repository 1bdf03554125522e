#include "app/artifacts/artifacts_tools.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <utility>

#include "app/artifacts/csv_records.h"
#include "artifacts/artifact_table.h"
#include "artifacts/bookmarks.h"
#include "artifacts/go_to_key.h"
#include "hive/in_place.h"
#include "values/listed_values.h"

namespace ui {
namespace {

const QString kDecodedIdleText = QStringLiteral("Decoded Artifact");

QString TitleOf(const artifacts::Artifact& artifact) {
  return QString::fromUtf8(artifact.title.data(), static_cast<qsizetype>(artifact.title.size()));
}

std::string FileNameOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return path.mid(slash + 1).toStdString();
}

void ShowOwned(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace

ArtifactsTools::ArtifactsTools(MainWindow& window, ViewerActions& actions, const hive::HiveFile& hive,
                               const tree::KeyIndex& index, const QByteArray& hivePath)
    : m_window(window),
      m_hive(hive),
      m_index(index),
      m_keys(hive, window.Model().Tree(), index),
      m_fileName(FileNameOf(hivePath)),
      m_lastFolder(QDir::homePath()) {
  // Both read the root's subkeys, which also builds the tree's child tables
  // here, before any worker reads the tree.
  m_kind = artifacts::DetectHiveKind(m_keys, m_fileName);
  m_controlSet = m_kind == artifacts::HiveKind::kSystem ? artifacts::CurrentControlSet(m_keys) : artifacts::kNoKey;
  m_liveDecoding = std::make_unique<ArtifactDecoding>(hive, window.Model().Tree(), index, m_kind, m_controlSet);
  connect(m_liveDecoding.get(), &ArtifactDecoding::Done, this, [this] { DecodingDone(m_liveDecoding.get()); });
  AddActions(actions);
  connect(&m_window.Tree(), &KeyTreeView::ControlEvent, this,
          [this] { OfferDecodedFor(m_window.Tree().SelectedItemPosition(), false); });
  // The tree's context menu names the artifacts of the key it was opened on.
  m_window.Tree().installEventFilter(this);
  m_window.Tree().viewport()->installEventFilter(this);
  if (qEnvironmentVariableIsSet("KEYLOOM_ARTIFACT")) {
    QTimer::singleShot(0, this, [this] {
      const QByteArray id = qgetenv("KEYLOOM_ARTIFACT");
      if (!OpenArtifact(id.toStdString())) {
        std::fprintf(stderr, "keyloom: KEYLOOM_ARTIFACT: no artifact %s\n", id.constData());
      }
    });
  }
}

ArtifactsTools::~ArtifactsTools() {
  m_window.Tree().removeEventFilter(this);
  m_window.Tree().viewport()->removeEventFilter(this);
  m_decodedAction->setMenu(static_cast<QMenu*>(nullptr));
  delete m_decodedMenu;
  delete m_job;
}

void ArtifactsTools::AddActions(ViewerActions& actions) {
  const QString group = QStringLiteral("artifacts");
  actions.Add({QStringLiteral("Artifacts"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenArtifacts(); }, group});
  m_decodedAction = actions.Add({kDecodedIdleText, {QKeySequence(Qt::CTRL | Qt::Key_D)}, ActionPlace::kKeyTree,
                                 [this](ActionTarget at) { OpenDecoded(at.item); }, group});
  actions.Add({QStringLiteral("Bookmarks"), {QKeySequence(Qt::CTRL | Qt::Key_B)}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenBookmarks(); }, group});
  actions.Add({QStringLiteral("Go to Key..."), {QKeySequence(Qt::CTRL | Qt::Key_L)}, ActionPlace::kWindow,
               [this](ActionTarget) { OpenGoToKey(); }, group});
}

QString ArtifactsTools::HiveKindText() const { return QString::fromUtf8(artifacts::HiveKindName(m_kind)); }

ArtifactsWindow& ArtifactsTools::OpenArtifacts() {
  if (!m_artifacts) {
    m_artifacts = std::make_unique<ArtifactsWindow>(m_kind, artifacts::ArtifactsFor(m_kind), &m_window);
    const KeyTreeModel& tree = m_window.Model();
    m_artifacts->Model().SetDeletedLook(tree.DeletedFont(), tree.DeletedForeground(), tree.DeletedDecoration());
    connect(m_artifacts.get(), &ArtifactsWindow::RowChosen, this, &ArtifactsTools::SelectSource);
    connect(m_artifacts.get(), &ArtifactsWindow::SaveRequested, this, &ArtifactsTools::SaveArtifactRows);
    if (const DecodedHive* decoded = Current().Result()) m_artifacts->ShowDecoded(*decoded);
    Current().Start();
  }
  ShowOwned(*m_artifacts);
  return *m_artifacts;
}

bool ArtifactsTools::OpenArtifact(std::string_view id) {
  const std::vector<const artifacts::Artifact*> all = artifacts::ArtifactsFor(m_kind);
  for (size_t at = 0; at < all.size(); ++at) {
    if (all[at]->id != id) continue;
    OpenArtifacts().ShowArtifact(static_cast<int>(at));
    return true;
  }
  return false;
}

ArtifactDecoding& ArtifactsTools::Current() const {
  return m_deletedShown && m_deletedDecoding ? *m_deletedDecoding : *m_liveDecoding;
}

void ArtifactsTools::SetDeletedRecords(const deleted::DeletedRecords* records) {
  const bool wasDecoding = Current().Started();
  m_deletedShown = records != nullptr;
  if (records != nullptr && (!m_deletedDecoding || m_deletedDecoding->DeletedRecords() != records)) {
    // A decoding is stopped and joined as it goes.
    m_deletedDecoding = std::make_unique<ArtifactDecoding>(m_hive, m_window.Model().Tree(), m_index, m_kind,
                                                           m_controlSet, records);
    connect(m_deletedDecoding.get(), &ArtifactDecoding::Done, this,
            [this, decoding = m_deletedDecoding.get()] { DecodingDone(decoding); });
  }
  // What was decoded before is decoded again over the records now shown.
  if (wasDecoding || m_artifacts) Current().Start();
  ShowCurrentDecoding();
  OfferDecodedFor(m_window.Tree().SelectedItemPosition(), false);
}

void ArtifactsTools::ShowCurrentDecoding() {
  if (!m_artifacts) return;
  if (const DecodedHive* decoded = Current().Result()) {
    m_artifacts->ShowDecoded(*decoded);
  } else {
    m_artifacts->ShowDecoding();
  }
}

void ArtifactsTools::DecodingDone(const ArtifactDecoding* from) {
  // The other decoding's result waits until its records are shown (again).
  if (from != &Current()) return;
  ShowCurrentDecoding();
  OfferDecodedFor(m_window.Tree().SelectedItemPosition(), false);
  const int32_t pending = std::exchange(m_pendingDecoded, -1);
  if (pending >= 0) OpenDecoded(pending);
}

artifacts::KeyId ArtifactsTools::KeyOfItem(int32_t item) const {
  const KeyTreeModel& model = m_window.Model();
  if (item >= 0 && item < model.Tree().Size()) return item;
  const DeletedKeyItems* items = model.DeletedItems();
  if (items == nullptr || !items->Holds(item) || Current().DeletedRecords() == nullptr) return artifacts::kNoKey;
  const int32_t key = items->KeyOf(item);
  return key == deleted::kUnknown ? artifacts::kNoKey : artifacts::DeletedKeyId(static_cast<size_t>(key));
}

int32_t ArtifactsTools::ItemOfKey(artifacts::KeyId key) const {
  if (!artifacts::IsDeletedKeyId(key)) return key;
  const DeletedKeyItems* items = m_window.Model().DeletedItems();
  if (items == nullptr) return -1;
  return items->PositionOfKey(static_cast<int32_t>(artifacts::DeletedKeyIndex(key)));
}

std::vector<const artifacts::Artifact*> ArtifactsTools::ArtifactsFrom(int32_t item) const {
  std::vector<const artifacts::Artifact*> found;
  const DecodedHive* decoded = Current().Result();
  const artifacts::KeyId key = KeyOfItem(item);
  if (decoded == nullptr || key == artifacts::kNoKey) return found;
  const auto at = decoded->bySourceKey.find(key);
  if (at == decoded->bySourceKey.end()) return found;
  for (const int32_t index : at->second) found.push_back(decoded->artifacts[static_cast<size_t>(index)].artifact);
  return found;
}

void ArtifactsTools::OpenDecoded(int32_t item, size_t which) {
  const artifacts::KeyId key = KeyOfItem(item);
  if (key == artifacts::kNoKey) return;
  if (!Current().Finished()) {
    m_pendingDecoded = item;
    Current().Start();
    return;
  }
  const auto at = Current().Result()->bySourceKey.find(key);
  if (at == Current().Result()->bySourceKey.end() || which >= at->second.size()) return;
  OpenArtifacts().ShowArtifact(at->second[which], key);
}

void ArtifactsTools::OfferDecodedFor(int32_t item, bool forMenu) {
  // Until the decoding is done it is not known which keys are sources: the
  // action stays on, and waits for the decoding when chosen.
  const std::vector<const artifacts::Artifact*> found = ArtifactsFrom(item);
  m_decodedAction->setEnabled(!Current().Finished() ? KeyOfItem(item) != artifacts::kNoKey : !found.empty());
  if (!forMenu) return;
  if (m_decodedMenu) m_decodedMenu->clear();
  m_decodedAction->setMenu(static_cast<QMenu*>(nullptr));
  if (found.size() == 1) {
    m_decodedAction->setText(QStringLiteral("Decoded: %1").arg(TitleOf(*found.front())));
  } else if (found.size() > 1) {
    m_decodedAction->setText(QStringLiteral("Decoded"));
    if (!m_decodedMenu) m_decodedMenu = new QMenu(&m_window);
    for (size_t which = 0; which < found.size(); ++which) {
      connect(m_decodedMenu->addAction(TitleOf(*found[which])), &QAction::triggered, this,
              [this, item, which] { OpenDecoded(item, which); });
    }
    m_decodedAction->setMenu(m_decodedMenu.data());
  }
  // The menu has made its own item of the action by the next pass of the
  // event loop; the action itself goes back to the selected key.
  QTimer::singleShot(0, this, [this] {
    m_decodedAction->setMenu(static_cast<QMenu*>(nullptr));
    m_decodedAction->setText(kDecodedIdleText);
    OfferDecodedFor(m_window.Tree().SelectedItemPosition(), false);
  });
}

bool ArtifactsTools::eventFilter(QObject* watched, QEvent* event) {
  KeyTreeView& tree = m_window.Tree();
  if (event->type() == QEvent::ContextMenu && (watched == &tree || watched == tree.viewport())) {
    // The menu acts on the item under the pointer, else the selected one (as
    // the action table's menu does).
    const QModelIndex under = tree.indexAt(static_cast<QContextMenuEvent*>(event)->pos());
    const int32_t item = under.isValid() ? KeyTreeModel::ItemPosition(under) : tree.SelectedItemPosition();
    Current().Start();
    OfferDecodedFor(item, true);
  }
  return QObject::eventFilter(watched, event);
}

BookmarksWindow& ArtifactsTools::OpenBookmarks() {
  if (!m_bookmarks) {
    m_bookmarks = std::make_unique<BookmarksWindow>(artifacts::ExistingBookmarks(m_keys, m_kind, m_controlSet), m_kind,
                                                    &m_window);
    connect(m_bookmarks.get(), &BookmarksWindow::KeyChosen, this, &ArtifactsTools::SelectKey);
  }
  ShowOwned(*m_bookmarks);
  return *m_bookmarks;
}

GoToKeyDialog& ArtifactsTools::OpenGoToKey() {
  if (!m_goTo) {
    m_goTo = std::make_unique<GoToKeyDialog>(&m_window);
    connect(m_goTo.get(), &GoToKeyDialog::GoRequested, this,
            [this](const QString& path) { m_goTo->ShowMissing(GoToPath(path)); });
  }
  m_goTo->ShowAndFocus();
  return *m_goTo;
}

QString ArtifactsTools::GoToPath(const QString& path) {
  const artifacts::ResolvedPath resolved =
      artifacts::ResolveKeyPath(m_keys, path.toStdString(), m_controlSet, m_fileName);
  if (resolved.key == artifacts::kNoKey || !m_window.Tree().SelectItem(resolved.key)) return path;
  // The tree has the focus when its window is next active; the dialog stays
  // in front while something was not found.
  m_window.Tree().setFocus(Qt::OtherFocusReason);
  return QString::fromStdString(resolved.missing);
}

void ArtifactsTools::SelectKey(int32_t item) {
  if (!m_window.Tree().SelectItem(item)) return;
  // The tree shows its selection only while it has the focus.
  m_window.activateWindow();
  m_window.Tree().setFocus(Qt::OtherFocusReason);
}

int32_t ArtifactsTools::RowOfValue(int32_t key, const QString& valueName) const {
  const std::optional<uint32_t> offset = m_index.Find(key);
  hive::KeyNode node;
  if (!offset || !hive::ReadKeyNodeInPlace(m_hive, *offset, node)) return -1;
  const std::string wanted = valueName.toStdString();
  int32_t found = -1;
  std::string name;
  values::VisitListedValuesInPlace(m_hive, node, [&](int32_t row, int32_t, uint32_t, const hive::ValueRecord& record) {
    name.clear();
    if (!hive::IsDefaultValue(record)) hive::AppendValueNameInPlace(m_hive, record, name);
    if (hive::IsDefaultValue(record) ? !wanted.empty() : !artifacts::HiveKeys::SameName(name, wanted)) return false;
    found = row;
    return true;
  });
  return found;
}

int32_t ArtifactsTools::RowOfDeletedValue(const QString& valueName) const {
  const ValueTableView& table = m_window.Table();
  const QString name = valueName.isEmpty() ? QString::fromUtf8(hive::kDefaultValueName.data(), static_cast<qsizetype>(hive::kDefaultValueName.size())) : valueName;
  for (int row = 0; row < table.topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = table.topLevelItem(row);
    if (!item->data(0, ValueTableView::kDeletedValueRole).isValid()) continue;
    if (item->text(0).compare(name, Qt::CaseInsensitive) == 0) return row;
  }
  return -1;
}

void ArtifactsTools::SelectSource(int32_t key, bool fromValue, const QString& valueName, bool deleted) {
  if (!m_window.Tree().SelectItem(ItemOfKey(key))) return;
  m_window.activateWindow();
  ValueTableView& table = m_window.Table();
  // A deleted row from a value is from a recovered value, listed after the live ones.
  int32_t row = -1;
  if (fromValue) row = deleted ? RowOfDeletedValue(valueName) : RowOfValue(key, valueName);
  QTreeWidgetItem* rowItem = row >= 0 ? table.topLevelItem(row) : nullptr;
  if (rowItem == nullptr) {
    table.setCurrentItem(nullptr);
    table.clearSelection();
    m_window.Tree().setFocus(Qt::OtherFocusReason);
    return;
  }
  // The value's row has the focus, so that its selection shows and Enter opens its details.
  table.setCurrentItem(rowItem);
  table.scrollToItem(rowItem);
  table.setFocus(Qt::OtherFocusReason);
}

void ArtifactsTools::SaveArtifactRows() {
  if (!m_artifacts || m_job) return;
  const artifacts::Artifact* artifact = m_artifacts->Model().Artifact();
  if (artifact == nullptr) return;
  const QString name = QString::fromUtf8(artifact->id.data(), static_cast<qsizetype>(artifact->id.size()));
  const QString path = QFileDialog::getSaveFileName(m_artifacts.get(), QStringLiteral("Save as CSV"),
                                                    QDir(m_lastFolder).filePath(name + QStringLiteral(".csv")),
                                                    QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  m_lastFolder = QFileInfo(path).absolutePath();
  StartArtifactRowsSave(path);
}

FileWriteJob* ArtifactsTools::StartArtifactRowsSave(const QString& path) {
  if (!m_artifacts || m_job || m_artifacts->Model().Artifact() == nullptr) return nullptr;
  const ArtifactRowsModel& model = m_artifacts->Model();
  // The rows shown, in their order, as text: the table may change meanwhile.
  CsvRecord header = model.CsvHeader();
  std::vector<CsvRecord> records;
  records.reserve(static_cast<size_t>(model.ShownCount()));
  for (int row = 0; row < model.ShownCount(); ++row) records.push_back(model.CsvFields(row));
  const auto total = static_cast<int64_t>(records.size());
  FileWriteJob::Writer writer = [header = std::move(header), records = std::move(records)](
                                    exporting::OutputSink& sink, exporting::ExportSignals& signals) {
    return WriteCsvRecords(header, records, sink, &signals);
  };
  m_job = new FileWriteJob(path, total, std::move(writer), &m_window);
  FileWriteJob* job = m_job;
  connect(job, &FileWriteJob::Finished, this, [job] { job->deleteLater(); });
  job->Start();
  return job;
}

}  // namespace ui
