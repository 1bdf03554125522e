#pragma once
// "About Keyloom": the version, the licence and the libraries Keyloom is
// built on, with the versions it was compiled against. GUI thread only.

#include <QString>

class QWidget;

namespace ui {

// The box's text: version, Apache License 2.0, then one line per library
// (Qt, Zydis, elfutils libdw, libunwind).
QString AboutText();

// Shows the box over parent, modal, and waits until it is closed.
void ShowAbout(QWidget& parent);

}  // namespace ui
