#include "app/find/find_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "app/error_report.h"
#include "app/fault_hooks.h"
#include "app/window_look.h"

namespace ui {
namespace {

QCheckBox* AddCheckBox(QLayout& layout, const QString& text, bool checked) {
  auto* box = new QCheckBox(text);
  box->setChecked(checked);
  layout.addWidget(box);
  return box;
}

}  // namespace

FindWindow::FindWindow(const hive::HiveFile& hive, const tree::KeyTree& keys, const tree::KeyIndex& index,
                       QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_hive(hive),
      m_keys(keys),
      m_index(index) {
  setWindowTitle(QStringLiteral("Find"));
  setModal(false);
  ApplyWindowLook(*this);

  auto* textRow = new QHBoxLayout;
  auto* textLabel = new QLabel(QStringLiteral("Fi&nd what:"));
  m_text = new QLineEdit;
  m_text->setMinimumWidth(260);
  textLabel->setBuddy(m_text);
  textRow->addWidget(textLabel);
  textRow->addWidget(m_text, 1);

  auto* options = new QHBoxLayout;
  m_matchCase = AddCheckBox(*options, QStringLiteral("Match &case"), false);
  m_wholeName = AddCheckBox(*options, QStringLiteral("&Whole name only"), false);
  options->addStretch(1);

  auto* lookIn = new QGroupBox(QStringLiteral("Look in"));
  auto* lookInRow = new QHBoxLayout(lookIn);
  m_inKeyNames = AddCheckBox(*lookInRow, QStringLiteral("&Key names"), true);
  m_inValueNames = AddCheckBox(*lookInRow, QStringLiteral("&Value names"), true);
  m_inValueData = AddCheckBox(*lookInRow, QStringLiteral("Value &data"), true);
  lookInRow->addStretch(1);

  m_status = new QLabel;
  m_status->setTextFormat(Qt::PlainText);
  m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_status->setWordWrap(true);
  // Room for a path of three lines, so that the window keeps its size.
  m_status->setFixedHeight(m_status->fontMetrics().lineSpacing() * 3 + 4);

  auto* left = new QVBoxLayout;
  left->addLayout(textRow);
  left->addLayout(options);
  left->addWidget(lookIn);
  left->addWidget(m_status);

  m_next = new QPushButton(QStringLiteral("Find &Next"));
  m_next->setDefault(true);
  m_previous = new QPushButton(QStringLiteral("Find &Previous"));
  m_cancel = new QPushButton(QStringLiteral("Cancel"));
  m_cancel->setEnabled(false);
  auto* close = new QPushButton(QStringLiteral("Close"));
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {m_next, m_previous, m_cancel, close}) buttons->addWidget(button);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);

  connect(m_next, &QPushButton::clicked, this, [this] { FindAgain(search::Direction::kNext); });
  connect(m_previous, &QPushButton::clicked, this, [this] { FindAgain(search::Direction::kPrevious); });
  connect(m_cancel, &QPushButton::clicked, this, &FindWindow::Cancel);
  connect(close, &QPushButton::clicked, this, &FindWindow::reject);
  auto* again = new QShortcut(QKeySequence(Qt::Key_F3), this);
  connect(again, &QShortcut::activated, this, [this] { FindAgain(search::Direction::kNext); });
  auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
  connect(back, &QShortcut::activated, this, [this] { FindAgain(search::Direction::kPrevious); });

  m_progress.setInterval(100);
  connect(&m_progress, &QTimer::timeout, this, &FindWindow::ShowProgress);
}

FindWindow::~FindWindow() { Cancel(); }

void FindWindow::ShowFirstTime() {
  if (m_placed || parentWidget() == nullptr) return;
  m_placed = true;
  // At the owner's lower right, where it hides the least of the two views.
  adjustSize();
  const QRect owner = parentWidget()->frameGeometry();
  move(std::max(owner.left(), owner.right() - width() - 24), std::max(owner.top(), owner.bottom() - height() - 24));
}

void FindWindow::ShowAndFocus() {
  ShowFirstTime();
  show();
  raise();
  activateWindow();
  m_text->setFocus(Qt::ShortcutFocusReason);
  m_text->selectAll();
}

search::FindOptions FindWindow::Options() const {
  search::FindOptions options;
  options.text = m_text->text().toStdString();
  options.matchCase = m_matchCase->isChecked();
  options.wholeName = m_wholeName->isChecked();
  options.where = 0;
  if (m_inKeyNames->isChecked()) options.where |= static_cast<uint8_t>(search::Where::kKeyNames);
  if (m_inValueNames->isChecked()) options.where |= static_cast<uint8_t>(search::Where::kValueNames);
  if (m_inValueData->isChecked()) options.where |= static_cast<uint8_t>(search::Where::kValueData);
  return options;
}

void FindWindow::FindAgain(search::Direction direction) {
  if (Searching()) return;
  if (m_text->text().isEmpty()) {
    ShowAndFocus();
    return;
  }
  if (!isVisible()) {
    // Searching again from the main window: the result shows here, and the
    // keyboard stays where it was.
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    ShowFirstTime();
    show();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
  }
  StartSearch(direction);
}

void FindWindow::StartSearch(search::Direction direction) {
  m_running = Options();
  if (!search::HiveSearchable(m_hive)) {
    SetStatus(QStringLiteral("This hive cannot be searched: its file could not be mapped."));
    return;
  }
  if (m_running.where == 0) {
    SetStatus(QStringLiteral("Choose where to look."));
    return;
  }
  const search::FindMatch from = m_startPoint ? m_startPoint() : search::FindMatch{0, search::FindMatch::kBeforeKey};
  m_runningFrom = from;
  m_runningDirection = direction;
  m_signals.keysSearched.store(0);
  m_signals.stop.store(false);
  m_workerDone.store(false);
  const uint64_t search = ++m_searchNumber;
  auto run = [this, from, direction, search] {
    PrepareThreadForFaults();
    const auto match = search::FindNextMatch(m_hive, m_keys, m_index, m_running, from, direction, m_signals);
    m_workerDone.store(true);
    QMetaObject::invokeMethod(this, [this, match, search] { SearchEnded(search, match); }, Qt::QueuedConnection);
  };
  try {
    m_worker = std::thread(run);
  } catch (const std::system_error&) {
    SetStatus(QStringLiteral("No thread to search on."));
    m_workerDone.store(true);
    return;
  }
  SetSearching(true);
  ShowProgress();
}

void FindWindow::ShowProgress() {
  SetStatus(QStringLiteral("Searching... %1 keys searched")
                        .arg(QLocale::system().toString(m_signals.keysSearched.load())));
}

void FindWindow::SetSearching(bool searching) {
  m_cancel->setEnabled(searching);
  m_next->setEnabled(!searching);
  m_previous->setEnabled(!searching);
  if (searching) {
    m_progress.start();
  } else {
    m_progress.stop();
  }
}

void FindWindow::JoinWorker() {
  if (!m_worker.joinable()) return;
  // The worker may fault on its way and wait for the user's answer.
  while (!m_workerDone.load()) ServeFaultReports(std::chrono::milliseconds(10));
  m_worker.join();
}

void FindWindow::SearchEnded(uint64_t search, std::optional<search::FindMatch> match) {
  // A cancelled search's result is dropped.
  if (search != m_searchNumber || !m_worker.joinable()) return;
  JoinWorker();
  SetSearching(false);
  if (m_signals.stop.load()) {
    SetStatus(QStringLiteral("Cancelled."));
    return;
  }
  if (m_beyond) {
    if (const auto where = m_beyond(m_running, m_runningDirection, m_runningFrom, match)) {
      ShowFound(*where);
      return;
    }
  }
  if (!match) {
    SetStatus(QStringLiteral("Not found"));
  } else {
    SetStatus({});
    Q_EMIT Found(*match);
  }
}

void FindWindow::Cancel() {
  if (!m_worker.joinable()) return;
  m_signals.stop.store(true);
  JoinWorker();
  SetSearching(false);
  SetStatus(QStringLiteral("Cancelled after %1 keys")
                        .arg(QLocale::system().toString(m_signals.keysSearched.load())));
}

void FindWindow::ShowFound(const QString& where) { SetStatus(QStringLiteral("Found: ") + where); }

void FindWindow::SetStatus(const QString& text) {
  m_statusText = text;
  // A key path may break after each backslash.
  QString breakable = text;
  breakable.replace(u'\\', QStringLiteral("\\\u200B"));
  m_status->setText(breakable);
}

QString FindWindow::Status() const { return m_statusText; }

void FindWindow::reject() {
  if (Searching()) {
    Cancel();
    return;
  }
  QDialog::reject();
}

}  // namespace ui
