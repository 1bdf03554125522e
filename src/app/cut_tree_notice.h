#pragma once
// The notice shown over the main window when the key tree was cut short: the
// hive's subkey lists name keys over and over, beyond what its size allows,
// and the walk ended on its budget (tree::BuildOutcome::kTooLarge).
//
// GUI thread only.

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace ui {

// "The hive's subkey lists repeat, so the key tree was cut after N keys." and
// what the tree then shows.
QString CutTreeNoticeText(int32_t keysShown);

// Opens the notice, window-modal over parent, which owns it; it is deleted
// when closed. Returns at once: the tree stays usable behind it once read.
QMessageBox* ShowCutTreeNotice(QWidget& parent, int32_t keysShown);

}  // namespace ui
