// A hex and character dump of a block of bytes: sixteen bytes a row, the
// offset in front, the bytes in hex and as characters. Only the rows in
// sight are drawn, so a file of any size scrolls as fast as a small one.
//
// Bytes can be marked with a background colour (the place where reading a
// file stopped, the tag byte of a declaration, the bytes of an instruction). One byte is current: arrow
// keys, page keys and clicks move it, and the view follows.
#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QString>
#include <cstdint>
#include <vector>

class THexView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  static constexpr int BytesPerRow = 16;

  // Size bytes from Offset (marks do not overlap).
  struct TMark {
    int64_t Offset = 0;
    QColor Background;
    QString Label;  // what the mark stands for, shown as the byte's tool tip
    int64_t Size = 1;
  };

  explicit THexView(QWidget* Parent = nullptr);

  void SetBytes(QByteArray Bytes);
  const QByteArray& Bytes() const { return FBytes; }

  void SetMarks(std::vector<TMark> Marks);
  const std::vector<TMark>& Marks() const { return FMarks; }

  // Makes Offset the current byte and scrolls its row into sight, a few rows
  // below the top when it was out of sight.
  void GoTo(int64_t Offset);
  int64_t Current() const { return FCurrent; }

  // The first row in sight.
  int64_t TopRow() const;
  // Rows that fit into the viewport (at least one).
  int VisibleRows() const;
  // Whether the row holding Offset is in sight.
  bool IsVisible(int64_t Offset) const;

  // The text of one row as drawn: offset, hex bytes, characters.
  QString RowText(int64_t Row) const;
  // Where a character column's cell starts in the viewport (x, scrolled);
  // the column of the first hex digit of byte I of a row, and of its character.
  int ColumnX(int Column) const;
  int HexColumn(int I) const;
  int CharColumn(int I) const;

  // The first place of Pattern from From on (Backward: at or before From);
  // -1 when there is none.
  int64_t Find(const QByteArray& Pattern, int64_t From, bool Backward = false) const;
  // The bytes found, shown with a background of their own (Size 0: none).
  void SetFound(int64_t Offset, int64_t Size);

 signals:
  void currentChanged(int64_t Offset);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  int64_t RowCount() const;
  void UpdateScrollBars();
  void SetCurrent(int64_t Offset, bool Follow);
  // The byte under a point of the viewport, or -1.
  int64_t OffsetAt(const QPoint& Pos) const;
  const TMark* MarkAt(int64_t Offset) const;
  int Columns() const;
  void TakeFontMetrics();

  QByteArray FBytes;
  std::vector<TMark> FMarks;  // sorted by offset
  int64_t FCurrent = -1;
  int FCharWidth = 8;
  int FLineHeight = 16;
  int FAscent = 12;
  int64_t FFoundAt = -1, FFoundSize = 0;
};
