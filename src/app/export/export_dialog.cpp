#include "app/export/export_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace ui {
namespace {

const QString kRegFilter = QStringLiteral("Registry file (*.reg)");
const QString kJsonFilter = QStringLiteral("JSON (*.json)");

struct RegRow {
  QLineEdit* rootName = nullptr;
  QComboBox* encoding = nullptr;
};

// Adds the .reg options under the file type row of Qt's own file dialog,
// whose layout is a grid of label and field columns.
RegRow AddRegRow(QFileDialog& dialog, const QString& defaultRootName) {
  RegRow row;
  row.rootName = new QLineEdit(defaultRootName);
  row.rootName->setObjectName(QStringLiteral("rootName"));
  row.rootName->setPlaceholderText(defaultRootName);
  row.rootName->setToolTip(QStringLiteral("The key the .reg file names the exported keys under"));
  row.encoding = new QComboBox;
  row.encoding->setObjectName(QStringLiteral("encoding"));
  row.encoding->addItem(QStringLiteral("UTF-16 (regedit)"));
  row.encoding->addItem(QStringLiteral("UTF-8"));
  auto* fields = new QHBoxLayout;
  fields->addWidget(row.rootName, 1);
  fields->addWidget(row.encoding);
  auto* label = new QLabel(QStringLiteral("&Root name:"));
  label->setBuddy(row.rootName);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    const int at = grid->rowCount();
    grid->addWidget(label, at, 0);
    grid->addLayout(fields, at, 1, 1, grid->columnCount() > 2 ? 2 : 1);
  }
  return row;
}

ExportFormat FormatOf(const QString& path, const QString& filter) {
  const QString suffix = QFileInfo(path).suffix();
  if (suffix.compare(QStringLiteral("json"), Qt::CaseInsensitive) == 0) return ExportFormat::kJson;
  if (suffix.compare(QStringLiteral("reg"), Qt::CaseInsensitive) == 0) return ExportFormat::kReg;
  return filter == kJsonFilter ? ExportFormat::kJson : ExportFormat::kReg;
}

}  // namespace

std::optional<ExportChoice> AskForExportTarget(QWidget* owner, const QString& suggestedPath,
                                               const QString& defaultRootName) {
  QFileDialog dialog(owner, QStringLiteral("Export Key"));
  // Qt's own dialog, whose layout takes the root name row.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({kRegFilter, kJsonFilter});
  dialog.setDefaultSuffix(QStringLiteral("reg"));
  dialog.setDirectory(QFileInfo(suggestedPath).absolutePath());
  dialog.selectFile(QFileInfo(suggestedPath).fileName());
  const RegRow reg = AddRegRow(dialog, defaultRootName);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, reg](const QString& filter) {
    const bool json = filter == kJsonFilter;
    dialog.setDefaultSuffix(json ? QStringLiteral("json") : QStringLiteral("reg"));
    reg.rootName->setEnabled(!json);
    reg.encoding->setEnabled(!json);
    // The typed name follows the type, when it has the other type's suffix.
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString from = json ? QStringLiteral(".reg") : QStringLiteral(".json");
    if (name != nullptr && name->text().endsWith(from, Qt::CaseInsensitive)) {
      name->setText(name->text().chopped(from.size()) + (json ? QStringLiteral(".json") : QStringLiteral(".reg")));
    }
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  ExportChoice choice;
  choice.path = dialog.selectedFiles().constFirst();
  choice.format = FormatOf(choice.path, dialog.selectedNameFilter());
  const QString rootName = reg.rootName->text().trimmed();
  choice.reg.rootName = (rootName.isEmpty() ? defaultRootName : rootName).toStdString();
  choice.reg.encoding = reg.encoding->currentIndex() == 1 ? exporting::RegEncoding::kUtf8 : exporting::RegEncoding::kUtf16Le;
  return choice;
}

}  // namespace ui
