#include "app/details/value_details_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <span>
#include <string>
#include <vector>

#include "app/details/detail_form.h"
#include "app/details/hex_view.h"
#include "app/window_look.h"
#include "values/value_details.h"

namespace ui {
namespace {

std::span<const uint8_t> BytesOf(const QByteArray& data) {
  return {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())};
}

// The data in the form its type suits: a caption and a text, both empty for
// the hex view alone. Text and strings are decoded from the first
// 2 x kShownTextChars bytes at most (one character per UTF-16 unit), so that
// data of any length opens at once.
struct DataFormView {
  QString caption;
  QString text;
};

DataFormView ViewOfDataForm(const ValueDetails& details) {
  auto bytes = BytesOf(details.data);
  const auto shownBytes = static_cast<size_t>(2 * ValueDetailsWindow::kShownTextChars);
  const bool cut = bytes.size() > shownBytes;
  if (cut) bytes = bytes.first(shownBytes);
  const QString part = cut ? QStringLiteral(" (from the first %1 bytes)").arg(shownBytes) : QString();
  switch (values::DataFormOf(details.type)) {
    case values::DataForm::kText:
      return {QStringLiteral("Text%1:").arg(part), QString::fromStdString(values::DataAsText(details.type, bytes))};
    case values::DataForm::kStrings: {
      const std::vector<std::string> strings = values::SplitMultiString(bytes);
      QStringList lines;
      lines.reserve(static_cast<qsizetype>(strings.size()));
      for (const std::string& line : strings) lines << QString::fromStdString(line);
      return {QStringLiteral("%1 strings%2:").arg(strings.size()).arg(part), lines.join(u'\n')};
    }
    case values::DataForm::kNumber:
      if (auto number = values::NumberText(details.type, bytes)) {
        return {QStringLiteral("Number:"), QString::fromStdString(*number)};
      }
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

ValueDetails ReadValueDetails(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type) {
  ValueDetails details;
  details.name = QString::fromStdString(hive::GetValueName(hive, value));
  details.type = type;
  details.length = hive::GetValueDataLength(hive, value);
  std::vector<uint8_t> bytes;
  const auto data = hive::TakeValueData(hive, value, bytes);
  details.data = QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
  return details;
}

ValueDetailsWindow::ValueDetailsWindow(const ValueDetails& details, QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Value Details"));
  setAttribute(Qt::WA_DeleteOnClose);
  ApplyWindowLook(*this);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  AddDetailRow(*form, QStringLiteral("Name:"), details.name);
  if (!details.deletedAt.isEmpty()) AddDetailRow(*form, QStringLiteral("Deleted:"), details.deletedAt);
  AddDetailRow(*form, QStringLiteral("Type:"), QString::fromStdString(values::RegistryTypeName(details.type)));
  AddDetailRow(*form, QStringLiteral("Length:"), LengthText(details));
  layout->addLayout(form);

  const values::DataForm dataForm = values::DataFormOf(details.type);
  const DataFormView view = ViewOfDataForm(details);
  if (!view.caption.isEmpty()) {
    layout->addWidget(new QLabel(view.caption));
    m_text = new QPlainTextEdit(view.text);
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
