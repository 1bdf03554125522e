#pragma once
// The program end: every road out of Keyloom goes through here.

namespace ui {

// Puts back the fault handling of before start-up, flushes the standard
// streams and ends the process with status. Files still open are closed by
// the process's end. Call it after the QApplication is gone.
[[noreturn]] void ProgramEnd(int status);

}  // namespace ui
