#include "app/artifacts/artifacts_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "app/table_enter.h"
#include "app/window_look.h"
#include "artifacts/artifact_table.h"

namespace ui {
namespace {

// A column never starts wider than this, however long its texts.
constexpr int kMaxColumnWidth = 360;

QTableView* MakeTable(ArtifactRowsModel& model) {
  auto* table = new QTableView;
  table->setModel(&model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->setTextElideMode(Qt::ElideMiddle);
  table->verticalHeader()->hide();
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  // The decoder's order until the user sorts.
  table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table->setSortingEnabled(true);
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace

ArtifactsWindow::ArtifactsWindow(artifacts::HiveKind kind, const std::vector<const artifacts::Artifact*>& artifacts,
                                 QWidget* owner)
    : QWidget(owner, Qt::Window), m_artifacts(artifacts) {
  setWindowTitle(QStringLiteral("Artifacts"));
  ApplyWindowLook(*this);

  auto* kindLabel = new QLabel(QStringLiteral("Hive kind: %1").arg(QString::fromUtf8(artifacts::HiveKindName(kind))));
  m_list = new QListWidget;
  m_list->setObjectName(QStringLiteral("artifactList"));
  auto* left = new QWidget;
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(kindLabel);
  leftLayout->addWidget(m_list, 1);

  m_narrowText = new QLabel;
  m_narrowText->setTextFormat(Qt::PlainText);
  m_showAll = new QPushButton(QStringLiteral("Show &All Rows"));
  m_narrowBar = new QWidget;
  auto* narrowLayout = new QHBoxLayout(m_narrowBar);
  narrowLayout->setContentsMargins(0, 0, 0, 0);
  narrowLayout->addWidget(m_narrowText, 1);
  narrowLayout->addWidget(m_showAll);
  m_narrowBar->hide();

  auto* filterLabel = new QLabel(QStringLiteral("&Filter:"));
  m_filter = new QLineEdit;
  m_filter->setClearButtonEnabled(true);
  m_filter->setPlaceholderText(QStringLiteral("rows that hold this text in any column"));
  filterLabel->setBuddy(m_filter);
  auto* filterLayout = new QHBoxLayout;
  filterLayout->addWidget(filterLabel);
  filterLayout->addWidget(m_filter, 1);

  m_table = MakeTable(m_model);
  ChooseRowOnEnter(*m_table, [this](int row) { ChooseRow(row); });
  m_folders = new ShellBagFolders;
  m_folders->hide();
  auto* rowsSplitter = new QSplitter;
  rowsSplitter->addWidget(m_folders);
  rowsSplitter->addWidget(m_table);
  rowsSplitter->setStretchFactor(1, 1);
  rowsSplitter->setSizes({280, 700});

  m_status = new QLabel;
  m_status->setTextFormat(Qt::PlainText);
  m_save = new QPushButton(QStringLiteral("&Save as CSV..."));
  m_save->setEnabled(false);
  auto* close = new QPushButton(QStringLiteral("Close"));
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(m_status, 1);
  bottom->addWidget(m_save);
  bottom->addWidget(close);

  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(m_narrowBar);
  rightLayout->addLayout(filterLayout);
  rightLayout->addWidget(rowsSplitter, 1);

  auto* splitter = new QSplitter;
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addLayout(bottom);
  resize(1180, 560);

  ListArtifacts();
  // The list as wide as its longest entry with a count, within reason.
  int listWidth = 0;
  for (const artifacts::Artifact* artifact : m_artifacts) {
    const QString entry = QString::fromUtf8(artifact->title.data(), static_cast<qsizetype>(artifact->title.size())) +
                          QStringLiteral(" (00,000)");
    listWidth = std::max(listWidth, m_list->fontMetrics().horizontalAdvance(entry));
  }
  listWidth = std::clamp(listWidth + m_list->verticalScrollBar()->sizeHint().width() + 16, 160, 320);
  splitter->setSizes({listWidth, width() - listWidth});
  m_status->setText(m_artifacts.empty() ? QStringLiteral("No artifacts are decoded from a hive of this kind.")
                                        : QStringLiteral("Decoding..."));

  connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
    // The user's choice of another artifact shows all its rows.
    if (row != m_shown) ShowArtifact(row);
  });
  connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
    m_model.SetFilter(text);
    ShowCount();
  });
  connect(m_showAll, &QPushButton::clicked, this, [this] {
    m_narrowTo = artifacts::kNoKey;
    m_model.SetNarrowing(artifacts::kNoKey);
    m_narrowBar->hide();
    ShowCount();
  });
  connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& at) { ChooseRow(at.row()); });
  connect(m_save, &QPushButton::clicked, this, &ArtifactsWindow::SaveRequested);
  connect(m_folders, &ShellBagFolders::FolderChosen, this, &ArtifactsWindow::ShowFolderRow);
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& at) { m_folders->SelectRow(m_model.DecodedIndexAt(at.row())); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void ArtifactsWindow::ListArtifacts() {
  const QSignalBlocker quiet(m_list);
  m_list->clear();
  for (size_t at = 0; at < m_artifacts.size(); ++at) {
    const QString title = QString::fromUtf8(m_artifacts[at]->title.data(),
                                            static_cast<qsizetype>(m_artifacts[at]->title.size()));
    auto* item = new QListWidgetItem(m_list);
    if (m_decoded == nullptr || m_decoded->unmapped || at >= m_decoded->artifacts.size()) {
      item->setText(title);
      continue;
    }
    const size_t rows = m_decoded->artifacts[at].rows.size();
    item->setText(QStringLiteral("%1 (%2)").arg(title, QLocale::system().toString(static_cast<qulonglong>(rows))));
    if (rows == 0) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
  }
  if (m_shown >= 0) m_list->setCurrentRow(m_shown);
}

void ArtifactsWindow::ShowDecoded(const DecodedHive& decoded) {
  m_decoded = &decoded;
  // A recovered key narrowed to is gone from rows decoded without the records.
  if (artifacts::IsDeletedKeyId(m_narrowTo) && decoded.keys->Deleted() == nullptr) m_narrowTo = artifacts::kNoKey;
  ListArtifacts();
  if (decoded.unmapped) {
    m_status->setText(QStringLiteral("This hive's artifacts cannot be decoded here: its file could not be mapped."));
    return;
  }
  if (m_shown < 0 && !m_artifacts.empty()) m_shown = 0;
  ShowArtifact(m_shown, m_narrowTo);
}

void ArtifactsWindow::ShowDecoding() {
  m_decoded = nullptr;
  ListArtifacts();
  ShowRows();
  m_status->setText(QStringLiteral("Decoding..."));
}

void ArtifactsWindow::ShowArtifact(int index, artifacts::KeyId narrowTo) {
  if (index < 0 || index >= static_cast<int>(m_artifacts.size())) return;
  m_shown = index;
  m_narrowTo = narrowTo;
  {
    const QSignalBlocker quiet(m_list);
    m_list->setCurrentRow(index);
  }
  const QSignalBlocker quiet(m_filter);
  m_filter->clear();
  ShowRows();
}

const DecodedArtifact* ArtifactsWindow::ShownDecoded() const {
  const bool ready =
      m_decoded != nullptr && !m_decoded->unmapped && m_shown < static_cast<int>(m_decoded->artifacts.size());
  return ready ? &m_decoded->artifacts[static_cast<size_t>(m_shown)] : nullptr;
}

void ArtifactsWindow::ShowRows() {
  const DecodedArtifact* decoded = ShownDecoded();
  if (decoded != nullptr) {
    m_model.Reset(decoded->artifact, &decoded->rows, m_decoded->keys);
  } else {
    m_model.Reset(nullptr, nullptr, nullptr);
  }
  m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  if (decoded != nullptr && m_narrowTo != artifacts::kNoKey) {
    m_model.SetNarrowing(m_narrowTo);
    m_narrowText->setText(QStringLiteral("Rows from %1 and the keys below it")
                              .arg(QString::fromStdString(m_decoded->keys->Path(m_narrowTo))));
  }
  m_narrowBar->setVisible(decoded != nullptr && m_narrowTo != artifacts::kNoKey);
  m_save->setEnabled(decoded != nullptr);
  ShowFolders(decoded);
  FitColumns();
  if (decoded != nullptr) ShowCount();
}

void ArtifactsWindow::ShowFolders(const DecodedArtifact* decoded) {
  const bool shellBags = decoded != nullptr && decoded->artifact->id == "shellbags";
  m_folders->ShowRows(shellBags ? &decoded->rows : nullptr, shellBags ? m_decoded->keys : nullptr,
                      m_model.DeletedFont(), m_model.DeletedForeground());
  m_folders->setVisible(shellBags);
}

void ArtifactsWindow::ShowFolderRow(int32_t decodedIndex) {
  int row = m_model.ShownRowOf(decodedIndex);
  if (row < 0 && !m_filter->text().isEmpty()) {
    m_filter->clear();
    row = m_model.ShownRowOf(decodedIndex);
  }
  if (row < 0) return;  // outside the narrowing
  const QModelIndex at = m_model.index(row, 0);
  m_table->setCurrentIndex(at);
  m_table->scrollTo(at);
}

void ArtifactsWindow::FitColumns() {
  QHeaderView& header = *m_table->horizontalHeader();
  for (int column = 0; column < m_model.columnCount(); ++column) {
    m_table->resizeColumnToContents(column);
    header.resizeSection(column, std::min(header.sectionSize(column), kMaxColumnWidth));
  }
}

void ArtifactsWindow::ShowCount() {
  const QLocale locale = QLocale::system();
  QString status = QStringLiteral("%1 of %2 rows shown")
                       .arg(locale.toString(m_model.ShownCount()), locale.toString(m_model.RowCount()));
  const DecodedArtifact* decoded = ShownDecoded();
  if (decoded != nullptr && artifacts::StoppedAtRowLimit(decoded->rows)) {
    status += QStringLiteral("; decoding stopped early, as the last row says");
  }
  m_status->setText(status);
}

QString ArtifactsWindow::NarrowingText() const { return m_narrowBar->isHidden() ? QString() : m_narrowText->text(); }

QString ArtifactsWindow::Status() const { return m_status->text(); }

void ArtifactsWindow::ChooseRow(int row) {
  const artifacts::ArtifactRow* decoded = m_model.RowAt(row);
  if (decoded == nullptr || decoded->key == artifacts::kNoKey) return;
  Q_EMIT RowChosen(decoded->key, decoded->fromValue, QString::fromStdString(decoded->valueName), decoded->deleted);
}

}  // namespace ui
