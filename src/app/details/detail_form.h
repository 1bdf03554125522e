#pragma once
// A row of a details window: a caption and a text the user can select and copy.

#include <QFormLayout>
#include <QLabel>
#include <QString>

namespace ui {

// "0x" and the number in upper-case hexadecimal, padded with zeros to digits.
inline QString HexNumber(quint64 number, int digits) {
  return QStringLiteral("0x") + QString::number(number, 16).toUpper().rightJustified(digits, u'0');
}

inline QLabel* AddDetailRow(QFormLayout& form, const QString& caption, const QString& text) {
  auto* value = new QLabel(text);
  value->setTextFormat(Qt::PlainText);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  value->setWordWrap(false);
  form.addRow(caption, value);
  return value;
}

}  // namespace ui
