#include "value_details_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <span>
#include <string>

#include "detail_form.h"
#include "hex_view.h"
#include "values/value_details.h"
#include "window_look.h"

namespace ui {
namespace {

std::span<const uint8_t> BytesOf(const QByteArray& data) {
  return {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())};
}

// The data in the form its type suits, or an empty text for the hex view alone.
QString DataFormText(const ValueDetails& details) {
  const auto bytes = BytesOf(details.data);
  switch (values::DataFormOf(details.type)) {
    case values::DataForm::kText:
    case values::DataForm::kStrings:
      return QString::fromStdString(values::DataAsText(details.type, bytes));
    case values::DataForm::kNumber:
      if (auto number = values::NumberText(details.type, bytes)) return QString::fromStdString(*number);
      return {};
    case values::DataForm::kBytes:
      return {};
  }
  return {};
}

QString LengthText(const ValueDetails& details) {
  QString text = QString::number(details.length) + (details.length == 1 ? " byte" : " bytes");
  if (details.data.size() < static_cast<qsizetype>(details.length)) {
    text += QStringLiteral(" (the file holds %1 of them)").arg(details.data.size());
  }
  return text;
}

}  // namespace

ValueDetailsWindow::ValueDetailsWindow(const ValueDetails& details, QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Value Details"));
  setAttribute(Qt::WA_DeleteOnClose);
  ApplyWindowLook(*this);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  AddDetailRow(*form, QStringLiteral("Name:"), details.name);
  AddDetailRow(*form, QStringLiteral("Type:"), QString::fromStdString(values::RegistryTypeName(details.type)));
  AddDetailRow(*form, QStringLiteral("Length:"), LengthText(details));
  layout->addLayout(form);

  const values::DataForm dataForm = values::DataFormOf(details.type);
  QString text = DataFormText(details);
  if (dataForm != values::DataForm::kBytes && !(dataForm == values::DataForm::kNumber && text.isEmpty())) {
    QString caption = dataForm == values::DataForm::kStrings
                          ? QStringLiteral("Strings (%1):").arg(values::SplitMultiString(BytesOf(details.data)).size())
                          : dataForm == values::DataForm::kNumber ? QStringLiteral("Number:") : QStringLiteral("Text:");
    if (text.size() > kShownTextChars) {
      text.truncate(kShownTextChars);
      caption += QStringLiteral(" (the first %1 characters)").arg(kShownTextChars);
    }
    layout->addWidget(new QLabel(caption));
    m_text = new QPlainTextEdit(text);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (dataForm == values::DataForm::kNumber) {
      m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
      m_text->setMaximumHeight(m_text->fontMetrics().height() * 2 + 12);
    }
    layout->addWidget(m_text, dataForm == values::DataForm::kNumber ? 0 : 1);
  }

  layout->addWidget(new QLabel(QStringLiteral("Data:")));
  m_hex = new HexView;
  m_hex->SetData(details.data);
  layout->addWidget(m_hex, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(m_hex->sizeHint().width() + 24, 440);
}

}  // namespace ui
