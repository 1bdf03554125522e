#pragma once
// What every Keyloom window shares: the button-face background, the arrow
// cursor, Keyloom's icon, and the place where a new window opens.

#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// The sizes, in pixels, at which Keyloom's icon is built into the program
// (and installed into the hicolor icon theme).
inline constexpr int kKeyloomIconSizes[] = {16, 32, 48, 128, 256};

// Keyloom's own icon, the picture of data/icons/keyloom.svg at those sizes.
QIcon KeyloomIcon();

// Gives window the button-face background, the arrow cursor and Keyloom's icon.
void ApplyWindowLook(QWidget& window);

// Where a window of outer size (frame included) starts when centred on screen:
// each coordinate is screen size div 2 minus min(outer, screen size) div 2,
// so a window larger than the screen starts at the screen's edge.
QPoint CentredTopLeft(QSize outer, const QRect& screen);

// Moves the top-level window to the centre of its screen, counting the frame
// the window system has given it (none before the window is first shown).
void CentreOnScreen(QWidget& window);

}  // namespace ui
