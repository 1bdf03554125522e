#include "window_look.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace ui {
namespace {

// A small key tree woven on a loom: warp threads behind, a tree of nodes in front.
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  QPainterPath frame;
  frame.addRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  painter.fillPath(frame, QColor(0x1f, 0x4e, 0x5f));

  painter.setPen(QPen(QColor(0x6f, 0xa8, 0xb8), 1.0));
  for (int x = 6; x <= 26; x += 4) painter.drawLine(QPointF(x, 4), QPointF(x, 28));

  const QColor thread(0xf2, 0xb1, 0x34);
  painter.setPen(QPen(thread, 2.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(9, 8), QPointF(9, 24));
  painter.drawLine(QPointF(9, 16), QPointF(20, 16));
  painter.drawLine(QPointF(9, 24), QPointF(20, 24));
  painter.drawLine(QPointF(9, 8), QPointF(20, 8));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xfa, 0xf3, 0xe0));
  for (const QPointF centre : {QPointF(9, 8), QPointF(22, 8), QPointF(22, 16), QPointF(22, 24)}) {
    painter.drawEllipse(centre, 3.2, 3.2);
  }
  return pixmap;
}

}  // namespace

QIcon KeyloomIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
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
