#pragma once
// HexView: bytes as lines of 16, each with its offset, the bytes in
// hexadecimal and the printable ones as characters (others as "."). Only the
// lines on screen are painted, so data of any length shows at once.
//
// A drag (or a click, then a Shift+click) selects bytes, Ctrl+A all of them;
// Ctrl+C copies the selection as hexadecimal pairs separated by spaces. The
// view keeps its own copy of the data. GUI thread only.

#include <QAbstractScrollArea>
#include <QByteArray>

#include <cstdint>

namespace ui {

class HexView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kBytesPerLine = 16;

  explicit HexView(QWidget* parent = nullptr);

  void SetData(QByteArray bytes);
  const QByteArray& Data() const { return m_data; }

  // The selected bytes [first, first + count); count 0 when nothing is selected.
  qsizetype SelectionStart() const;
  qsizetype SelectionLength() const;
  void Select(qsizetype first, qsizetype count);
  // The selected bytes as HexPairs would write them.
  QString SelectedText() const;
  // The text of one line as painted: offset, hexadecimal, characters.
  QString LineText(qsizetype line) const;
  qsizetype LineCount() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The byte under a point of the viewport, or -1 (outside the hex and
  // character columns, or past the data).
  qsizetype ByteAt(QPoint point) const;
  int LineHeight() const;
  int CharWidth() const;
  void UpdateScrollBars();

  QByteArray m_data;
  qsizetype m_anchor = -1;  // where the selection started
  qsizetype m_cursor = -1;  // where it ends (inclusive)
};

}  // namespace ui
