#include "app/window_look.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace ui {

QIcon KeyloomIcon() {
  // The PNGs rendered from data/icons/keyloom.svg, built into the program as
  // Qt resources: the same picture as the icon installed for the desktop.
  QIcon icon;
  for (const int size : kKeyloomIconSizes) {
    icon.addFile(QStringLiteral(":/icons/%1x%1/apps/keyloom.png").arg(size), QSize(size, size));
  }
  return icon;
}

void ApplyWindowLook(QWidget& window) {
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window.setPalette(palette);
  window.setAutoFillBackground(true);
  window.setCursor(Qt::ArrowCursor);
  window.setWindowIcon(KeyloomIcon());
}

QPoint CentredTopLeft(QSize outer, const QRect& screen) {
  const int left = screen.width() / 2 - std::min(outer.width(), screen.width()) / 2;
  const int top = screen.height() / 2 - std::min(outer.height(), screen.height()) / 2;
  return screen.topLeft() + QPoint(left, top);
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QWindow* handle = window.windowHandle();
  const QMargins frame = handle != nullptr ? handle->frameMargins() : QMargins();
  window.move(CentredTopLeft(window.size().grownBy(frame), screen->geometry()));
}

}  // namespace ui
