#include "app/artifacts/go_to_key_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "app/window_look.h"

namespace ui {

GoToKeyDialog::GoToKeyDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Go to Key"));
  ApplyWindowLook(*this);
  auto* label = new QLabel(QStringLiteral("&Key path:"));
  m_path = new QLineEdit;
  m_path->setPlaceholderText(QStringLiteral("HKLM\\SYSTEM\\CurrentControlSet\\Services"));
  m_path->setClearButtonEnabled(true);
  label->setBuddy(m_path);
  m_status = new QLabel;
  m_status->setTextFormat(Qt::PlainText);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_status->setWordWrap(true);

  auto* buttons = new QDialogButtonBox;
  m_go = buttons->addButton(QStringLiteral("Go"), QDialogButtonBox::AcceptRole);
  m_go->setDefault(true);
  buttons->addButton(QDialogButtonBox::Close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(m_path);
  layout->addWidget(m_status);
  layout->addWidget(buttons);
  resize(560, sizeHint().height());

  // Go keeps the dialog open until the answer says the whole path was found.
  connect(buttons, &QDialogButtonBox::accepted, this, &GoToKeyDialog::Go);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_path, &QLineEdit::textChanged, m_status, &QLabel::clear);
}

void GoToKeyDialog::ShowAndFocus() {
  show();
  raise();
  activateWindow();
  m_path->setFocus(Qt::OtherFocusReason);
  m_path->selectAll();
}

QString PathOfPastedText(QString text) {
  text = text.trimmed();
  // A path copied with its quotes, or a key line of a .reg file.
  for (const auto& [open, close] : {std::pair{u'"', u'"'}, std::pair{u'[', u']'}}) {
    if (text.size() >= 2 && text.front() == open && text.back() == close) text = text.mid(1, text.size() - 2).trimmed();
  }
  return text;
}

void GoToKeyDialog::Go() {
  const QString path = PathOfPastedText(m_path->text());
  if (!path.isEmpty()) Q_EMIT GoRequested(path);
}

void GoToKeyDialog::ShowMissing(const QString& missing) {
  if (missing.isEmpty()) {
    m_status->clear();
    accept();
    return;
  }
  m_status->setText(QStringLiteral("Not found: %1").arg(missing));
}

QString GoToKeyDialog::Status() const { return m_status->text(); }

}  // namespace ui
