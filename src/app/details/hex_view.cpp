#include "app/details/hex_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <span>

#include "values/value_details.h"

namespace ui {
namespace {

// Columns, in characters: "00000000  " then 16 x "XX " with one more space
// after the eighth, then " " and the 16 characters.
constexpr int kOffsetDigits = 8;
constexpr int kHexStart = kOffsetDigits + 2;
constexpr int kHexEnd = kHexStart + 3 * HexView::kBytesPerLine + 1;
constexpr int kCharStart = kHexEnd + 1;
constexpr int kLineChars = kCharStart + HexView::kBytesPerLine;
constexpr int kMargin = 4;

int HexColumnOf(int byteInLine) { return kHexStart + 3 * byteInLine + (byteInLine >= 8 ? 1 : 0); }

QChar PrintableOf(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 0x20 && value < 0x7F ? QChar(value) : QChar(u'.');
}

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void HexView::SetData(QByteArray bytes) {
  m_data = std::move(bytes);
  m_anchor = m_cursor = -1;
  verticalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
}

qsizetype HexView::LineCount() const { return (m_data.size() + kBytesPerLine - 1) / kBytesPerLine; }

qsizetype HexView::SelectionStart() const { return m_anchor < 0 ? 0 : std::min(m_anchor, m_cursor); }

qsizetype HexView::SelectionLength() const {
  return m_anchor < 0 ? 0 : std::max(m_anchor, m_cursor) - SelectionStart() + 1;
}

void HexView::Select(qsizetype first, qsizetype count) {
  first = std::clamp<qsizetype>(first, 0, m_data.size());
  count = std::clamp<qsizetype>(count, 0, m_data.size() - first);
  if (count == 0) {
    m_anchor = m_cursor = -1;
  } else {
    m_anchor = first;
    m_cursor = first + count - 1;
  }
  viewport()->update();
}

QString HexView::SelectedText() const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(m_data.constData());
  const std::string text = values::HexPairs(
      std::span<const uint8_t>(bytes + SelectionStart(), static_cast<size_t>(SelectionLength())));
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString HexView::LineText(qsizetype line) const {
  QString text(kLineChars, u' ');
  const qsizetype first = line * kBytesPerLine;
  const QString offset = QStringLiteral("%1").arg(first, kOffsetDigits, 16, QChar(u'0')).toUpper();
  text.replace(0, kOffsetDigits, offset);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < kBytesPerLine && first + i < m_data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(m_data[first + i]);
    text[HexColumnOf(i)] = QChar(kDigits[byte >> 4]);
    text[HexColumnOf(i) + 1] = QChar(kDigits[byte & 0xF]);
    text[kCharStart + i] = PrintableOf(m_data[first + i]);
  }
  return text;
}

QSize HexView::sizeHint() const {
  const int width = 2 * kMargin + (kLineChars + 1) * CharWidth() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
  return {width, 12 * LineHeight()};
}

int HexView::LineHeight() const { return fontMetrics().height(); }
int HexView::CharWidth() const { return fontMetrics().horizontalAdvance(QLatin1Char('0')); }

void HexView::UpdateScrollBars() {
  const int visibleLines = std::max(1, viewport()->height() / LineHeight());
  const qsizetype lines = LineCount();
  verticalScrollBar()->setRange(0, static_cast<int>(std::max<qsizetype>(0, lines - visibleLines)));
  verticalScrollBar()->setPageStep(visibleLines);
  verticalScrollBar()->setSingleStep(1);
  const int contentWidth = 2 * kMargin + kLineChars * CharWidth();
  horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(CharWidth());
}

void HexView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void HexView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
  painter.setFont(font());
  const int lineHeight = LineHeight();
  const int charWidth = CharWidth();
  const int left = kMargin - horizontalScrollBar()->value();
  const qsizetype firstLine = verticalScrollBar()->value();
  const qsizetype lastLine = std::min(LineCount(), firstLine + viewport()->height() / lineHeight + 1);
  const qsizetype selectionStart = SelectionStart();
  const qsizetype selectionEnd = selectionStart + SelectionLength();
  const QColor highlight = palette().color(QPalette::Highlight);
  const int ascent = fontMetrics().ascent();
  for (qsizetype line = firstLine; line < lastLine; ++line) {
    const int y = static_cast<int>(line - firstLine) * lineHeight;
    for (int i = 0; i < kBytesPerLine; ++i) {
      const qsizetype at = line * kBytesPerLine + i;
      if (at < selectionStart || at >= selectionEnd) continue;
      painter.fillRect(left + HexColumnOf(i) * charWidth, y, 2 * charWidth, lineHeight, highlight);
      painter.fillRect(left + (kCharStart + i) * charWidth, y, charWidth, lineHeight, highlight);
    }
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QString text = LineText(line);
    painter.drawText(left, y + ascent, text.left(kOffsetDigits));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(left + kHexStart * charWidth, y + ascent, text.mid(kHexStart));
  }
}

qsizetype HexView::ByteAt(QPoint point) const {
  const int column = (point.x() + horizontalScrollBar()->value() - kMargin) / CharWidth();
  const qsizetype line = verticalScrollBar()->value() + point.y() / LineHeight();
  int inLine = -1;
  if (column >= kHexStart && column < kHexEnd) {
    const int within = column - kHexStart - (column >= HexColumnOf(8) ? 1 : 0);
    inLine = std::clamp(within / 3, 0, kBytesPerLine - 1);
  } else if (column >= kCharStart && column < kLineChars) {
    inLine = column - kCharStart;
  }
  if (inLine < 0 || point.y() < 0) return -1;
  const qsizetype at = line * kBytesPerLine + inLine;
  return at < m_data.size() ? at : -1;
}

void HexView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const qsizetype at = ByteAt(event->position().toPoint());
  if (at < 0) {
    Select(0, 0);
    return;
  }
  if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0) m_anchor = at;
  m_cursor = at;
  viewport()->update();
}

void HexView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || m_anchor < 0) return;
  const qsizetype at = ByteAt(event->position().toPoint());
  if (at < 0) return;
  m_cursor = at;
  viewport()->update();
}

void HexView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) {
    Select(0, m_data.size());
  } else if (event->matches(QKeySequence::Copy)) {
    if (SelectionLength() > 0) QApplication::clipboard()->setText(SelectedText());
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}

}  // namespace ui
