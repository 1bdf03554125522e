#pragma once
// The save dialog of "Export...": a QFileDialog titled "Export Key" with the
// filters "Registry file (*.reg)" and "JSON (*.json)", and below them the
// root name a .reg file names its keys under (its default shown and put
// back when the field is emptied) and the .reg file's encoding.

#include <QString>

#include <optional>

#include "export/reg_export.h"

class QWidget;

namespace ui {

enum class ExportFormat { kReg, kJson };

struct ExportChoice {
  QString path;
  ExportFormat format = ExportFormat::kReg;
  exporting::RegOptions reg;
};

// Asks where to export; none when the user cancels. suggestedPath names the
// folder and file the dialog starts with; defaultRootName is the .reg root
// name it offers.
std::optional<ExportChoice> AskForExportTarget(QWidget* owner, const QString& suggestedPath,
                                               const QString& defaultRootName);

}  // namespace ui
