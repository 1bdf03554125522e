#include "app/export/timeline_window.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <memory>
#include <system_error>
#include <utility>

#include "app/fault_hooks.h"
#include "app/table_enter.h"
#include "app/window_look.h"
#include "artifacts/hive_keys.h"
#include "artifacts/hive_kind.h"
#include "export/artifact_rows.h"
#include "hive/in_place.h"

namespace ui {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerMillisecond = 10'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

QDateTimeEdit* MakeTimeEdit() {
  auto* edit = new QDateTimeEdit;
  edit->setTimeSpec(Qt::UTC);
  edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  edit->setMinimumDateTime(DateTimeOfFileTime(0));
  edit->setCalendarPopup(true);
  return edit;
}

}  // namespace

QDateTime DateTimeOfFileTime(uint64_t fileTime) {
  const auto milliseconds = static_cast<qint64>(fileTime / kTicksPerMillisecond) - kSecondsFrom1601To1970 * 1000;
  return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC);
}

uint64_t FileTimeOfSecond(const QDateTime& time) {
  const qint64 seconds = time.toSecsSinceEpoch() + kSecondsFrom1601To1970;
  return seconds <= 0 ? 0 : static_cast<uint64_t>(seconds) * kTicksPerSecond;
}

TimelineWindow::TimelineWindow(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                               std::string hiveFileName, QWidget* owner)
    : QWidget(owner, Qt::Window), m_hive(hive), m_keys(keys), m_index(index), m_hiveFileName(std::move(hiveFileName)) {
  setWindowTitle(QStringLiteral("Timeline"));
  ApplyWindowLook(*this);

  m_fromOn = new QCheckBox(QStringLiteral("&From:"));
  m_from = MakeTimeEdit();
  m_toOn = new QCheckBox(QStringLiteral("&To:"));
  m_to = MakeTimeEdit();
  auto* pathLabel = new QLabel(QStringLiteral("&Path contains:"));
  m_path = new QLineEdit;
  m_path->setClearButtonEnabled(true);
  pathLabel->setBuddy(m_path);
  auto* filters = new QHBoxLayout;
  for (QWidget* widget : std::initializer_list<QWidget*>{m_fromOn, m_from, m_toOn, m_to, pathLabel}) {
    filters->addWidget(widget);
  }
  filters->addWidget(m_path, 1);
  m_artifacts = new QCheckBox(QStringLiteral("&Artifacts"));
  m_artifacts->setToolTip(
      QStringLiteral("Also list the times the hive's artifacts decode (a last run, a last logon, ...)"));
  filters->addWidget(m_artifacts);

  m_table = new QTableView;
  m_table->setModel(&m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setWordWrap(false);
  // A long path keeps its first keys and the key itself in sight.
  m_table->setTextElideMode(Qt::ElideMiddle);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
  m_table->horizontalHeader()->setSortIndicator(TimelineModel::kLastWritten, Qt::DescendingOrder);
  m_table->setSortingEnabled(true);
  ChooseRowOnEnter(*m_table, [this](int row) { ChooseRow(row); });

  m_status = new QLabel;
  m_status->setTextFormat(Qt::PlainText);
  m_save = new QPushButton(QStringLiteral("&Save as CSV..."));
  auto* close = new QPushButton(QStringLiteral("Close"));
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_status, 1);
  bottom->addWidget(m_save);
  bottom->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(m_table, 1);
  layout->addLayout(bottom);
  resize(900, 520);

  for (QCheckBox* box : {m_fromOn, m_toOn}) connect(box, &QCheckBox::toggled, this, &TimelineWindow::ApplyFilter);
  // Changing a time turns its bound on.
  connect(m_from, &QDateTimeEdit::dateTimeChanged, this, [this] { m_fromOn->isChecked() ? ApplyFilter() : m_fromOn->setChecked(true); });
  connect(m_to, &QDateTimeEdit::dateTimeChanged, this, [this] { m_toOn->isChecked() ? ApplyFilter() : m_toOn->setChecked(true); });
  connect(m_path, &QLineEdit::textChanged, this, &TimelineWindow::ApplyFilter);
  connect(m_artifacts, &QCheckBox::toggled, this, [this] { Collect(m_collectedDeleted); });
  connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& at) { ChooseRow(at.row()); });
  connect(m_save, &QPushButton::clicked, this, &TimelineWindow::SaveRequested);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

TimelineWindow::~TimelineWindow() { StopWorker(); }

void TimelineWindow::StopWorker() {
  m_stop.store(true);
  if (m_worker.joinable()) m_worker.join();
}

void TimelineWindow::Collect(const deleted::DeletedRecords* deletedRecords) {
  StopWorker();
  // The records shown so far may be gone: none are referred to until the new ones come.
  m_model.Reset({}, m_keys, nullptr);
  m_collectedDeleted = deletedRecords;
  m_save->setEnabled(false);
  if (!hive::IsMappedInPlace(m_hive)) {
    // The key nodes are read in place, beside the GUI thread's reads.
    m_status->setText(QStringLiteral("This hive has no timeline here: its file could not be mapped."));
    return;
  }
  m_stop.store(false);
  const uint64_t collection = ++m_collection;
  const bool withArtifacts = m_artifacts->isChecked();
  auto run = [this, collection, deletedRecords, withArtifacts] {
    PrepareThreadForFaults();
    auto entries = std::make_shared<std::vector<exporting::TimelineEntry>>(
        exporting::CollectTimeline(m_hive, m_keys, m_index, deletedRecords, &m_stop));
    auto events = std::make_shared<std::optional<std::vector<exporting::ArtifactEvent>>>();
    if (withArtifacts && !m_stop.load()) {
      // The live keys only, read in place as the timeline's are.
      const artifacts::HiveKeys keys(m_hive, m_keys, m_index);
      const artifacts::HiveKind kind = artifacts::DetectHiveKind(keys, m_hiveFileName);
      *events = exporting::CollectArtifactEvents({keys, kind, artifacts::CurrentControlSet(keys)});
      exporting::AddArtifactEvents(*entries, **events);
    }
    QMetaObject::invokeMethod(
        this,
        [this, collection, entries, events] { CollectionEnded(collection, std::move(*entries), std::move(*events)); },
        Qt::QueuedConnection);
  };
  m_status->setText(QStringLiteral("Collecting the keys..."));
  try {
    m_worker = std::thread(run);
  } catch (const std::system_error&) {
    m_status->setText(QStringLiteral("No thread to collect the keys on."));
  }
}

void TimelineWindow::CollectionEnded(uint64_t collection, std::vector<exporting::TimelineEntry> entries,
                                     std::optional<std::vector<exporting::ArtifactEvent>> events) {
  if (collection != m_collection) return;
  if (m_worker.joinable()) m_worker.join();
  m_model.Reset(std::move(entries), m_keys, m_collectedDeleted, std::move(events));
  SetTimeSpan();
  ApplyFilter();
  m_save->setEnabled(true);
  QHeaderView& header = *m_table->horizontalHeader();
  header.resizeSection(TimelineModel::kLastWritten, m_table->fontMetrics().horizontalAdvance(
                                                        QStringLiteral("0000-00-00 00:00:00 UTC")) + 24);
  const int countWidth = m_table->fontMetrics().horizontalAdvance(QStringLiteral("Subkeys")) + 32;
  for (const int column : {TimelineModel::kSubkeys, TimelineModel::kValues, TimelineModel::kDeleted}) {
    header.resizeSection(column, countWidth);
  }
  header.setSectionResizeMode(TimelineModel::kPath, QHeaderView::Stretch);
  if (const int description = m_model.DescriptionColumn(); description >= 0) {
    header.resizeSection(description, m_table->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);
  }
}

void TimelineWindow::SetTimeSpan() {
  const auto span = m_model.TimeSpan();
  if (!span) return;
  // Only the bounds the user has not set yet follow the hive.
  if (!m_fromOn->isChecked()) {
    const QSignalBlocker quiet(m_from);
    m_from->setDateTime(DateTimeOfFileTime(span->first));
  }
  if (!m_toOn->isChecked()) {
    const QSignalBlocker quiet(m_to);
    m_to->setDateTime(DateTimeOfFileTime(span->second));
  }
}

void TimelineWindow::ApplyFilter() {
  TimelineFilter filter;
  if (m_fromOn->isChecked()) filter.from = FileTimeOfSecond(m_from->dateTime());
  // The whole last second is in the range.
  if (m_toOn->isChecked()) filter.to = FileTimeOfSecond(m_to->dateTime()) + (kTicksPerSecond - 1);
  filter.pathContains = m_path->text().toStdString();
  m_model.SetFilter(std::move(filter));
  ShowCount();
}

void TimelineWindow::ShowCount() {
  const QLocale locale = QLocale::system();
  // With the artifacts' times, not every row is a key.
  const QString format =
      m_model.Events() != nullptr ? QStringLiteral("%1 of %2 rows shown") : QStringLiteral("%1 of %2 keys shown");
  QString text = format.arg(locale.toString(m_model.ShownCount()), locale.toString(m_model.EntryCount()));
  m_status->setText(text);
}

QString TimelineWindow::Status() const { return m_status->text(); }

void TimelineWindow::ChooseRow(int row) {
  const exporting::TimelineEntry* entry = m_model.EntryAt(row);
  if (entry == nullptr) return;
  int32_t item = entry->item;
  const deleted::DeletedRecords* records = m_model.DeletedRecords();
  // A deleted key: the live key it was found under, through its deleted parents.
  int32_t key = entry->deletedKey;
  for (size_t steps = 0; item < 0 && key >= 0 && records != nullptr && static_cast<size_t>(key) < records->keys.size() &&
                         steps <= records->keys.size();
       ++steps) {
    const deleted::DeletedKey& deletedKey = records->keys[static_cast<size_t>(key)];
    item = deletedKey.liveParentItem;
    key = deletedKey.deletedParent;
  }
  if (item >= 0 || entry->deletedKey >= 0) Q_EMIT KeyChosen(item, entry->deletedKey);
}

}  // namespace ui
