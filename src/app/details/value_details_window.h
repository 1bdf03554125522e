#pragma once
// Value Details: one value's name, type (as Windows names it), length and
// data, in a non-modal window titled "Value Details" (Escape or Close closes
// it). The data shows in the form that suits its type (the text, each string
// of a REG_MULTI_SZ on its own line, a number in hexadecimal and decimal) and,
// for every type, in a HexView. All of it can be selected and copied.

#include <QByteArray>
#include <QDialog>
#include <QString>

#include <cstdint>

#include "hive/hive_file.h"
#include "hive/value.h"

class QPlainTextEdit;

namespace ui {

class HexView;

struct ValueDetails {
  QString name;
  uint32_t type = 0;
  uint32_t length = 0;  // the stored data length
  QByteArray data;      // the data bytes the hive gives (TakeValueData)
  QString deletedAt;    // for a deleted value: where its record was found (a row "Deleted:")
};

// The details of the value record that GetValue fetched (type as it
// returned); reads the name and data through the hive's read position.
ValueDetails ReadValueDetails(hive::HiveFile& hive, hive::ValueRecord& value, uint32_t type);

class ValueDetailsWindow : public QDialog {
  Q_OBJECT

 public:
  // The text field shows text decoded from the first 2 x kShownTextChars
  // bytes of the data at most (and says so); the hex view holds all of it.
  static constexpr qsizetype kShownTextChars = 1 << 18;

  // Deletes itself when closed.
  ValueDetailsWindow(const ValueDetails& details, QWidget* owner);

  // The text field (the text, the strings, or the number); none for types
  // that have only the hex view.
  QPlainTextEdit* DataText() const { return m_text; }
  HexView& Hex() const { return *m_hex; }

 private:
  QPlainTextEdit* m_text = nullptr;
  HexView* m_hex = nullptr;
};

}  // namespace ui
