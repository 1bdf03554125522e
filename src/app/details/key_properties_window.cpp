#include "app/details/key_properties_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "app/details/detail_form.h"
#include "app/window_look.h"

namespace ui {
namespace {

QString LastWrittenText(const hive::KeyDetails& details) {
  return QString::fromStdString(hive::FormatFileTime(details.lastWritten));
}

QString ClassNameText(const hive::KeyDetails& details) {
  switch (details.classNameState) {
    case hive::ClassNameState::kNone:
      return QStringLiteral("(none)");
    case hive::ClassNameState::kNotHeld:
      return QStringLiteral("(not in the file)");
    case hive::ClassNameState::kPresent:
      break;
  }
  return QString::fromStdString(details.className);
}

QString YesNo(bool yes) { return yes ? QStringLiteral("Yes") : QStringLiteral("No"); }

}  // namespace

QString KeyToolTip(const QString& path, const hive::KeyDetails& details) {
  if (!details.held) return path;
  QString tip = path + QStringLiteral("\nLast written: ") + LastWrittenText(details);
  if (details.classNameState == hive::ClassNameState::kPresent) {
    tip += QStringLiteral("\nClass: ") + QString::fromStdString(details.className);
  }
  return tip;
}

KeyPropertiesWindow::KeyPropertiesWindow(const QString& path, const hive::KeyDetails& details, QWidget* owner,
                                         const QString& deletedAt, const QString& hiveKind)
    : QDialog(owner) {
  setWindowTitle(QStringLiteral("Key Properties"));
  setAttribute(Qt::WA_DeleteOnClose);
  ApplyWindowLook(*this);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  AddDetailRow(*form, QStringLiteral("Path:"), path);
  if (!deletedAt.isEmpty()) AddDetailRow(*form, QStringLiteral("Deleted:"), deletedAt);
  if (!hiveKind.isEmpty()) AddDetailRow(*form, QStringLiteral("Hive kind:"), hiveKind);
  if (details.held) {
    AddDetailRow(*form, QStringLiteral("Last written:"), LastWrittenText(details));
    AddDetailRow(*form, QStringLiteral("Class name:"), ClassNameText(details));
    AddDetailRow(*form, QStringLiteral("Subkeys:"), QString::number(details.subkeyCount));
    AddDetailRow(*form, QStringLiteral("Volatile subkeys:"), QString::number(details.volatileSubkeyCount));
    AddDetailRow(*form, QStringLiteral("Values:"), QString::number(details.valueCount));
    AddDetailRow(*form, QStringLiteral("Volatile:"), YesNo(hive::IsVolatile(details)));
    AddDetailRow(*form, QStringLiteral("Symbolic link:"), YesNo(hive::IsSymbolicLink(details)));
    AddDetailRow(*form, QStringLiteral("Flags:"),
                 HexNumber(details.flags, 4));
  } else {
    AddDetailRow(*form, QStringLiteral("Key node:"), QStringLiteral("not held in the file"));
  }
  AddDetailRow(*form, QStringLiteral("Record offset:"),
               HexNumber(details.recordOffset, 8));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(std::max(sizeHint().width(), 420), sizeHint().height());
}

}  // namespace ui
