// The hex and character dump of the Bytes view, drawing only the rows in sight (see HexView.h).
#include "HexView.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace {
// Columns of a row: 8 offset digits and two blanks, then sixteen "HH "
// groups with one more blank after the eighth, a blank, sixteen characters.
constexpr int OffsetColumns = 10;
constexpr int CharStart = OffsetColumns + THexView::BytesPerRow * 3 + 2;
constexpr int RowColumns = CharStart + THexView::BytesPerRow;
constexpr int Margin = 4;

const QColor FoundColor(255, 230, 120);

QChar Printable(uint8_t B) { return B >= 0x20 && B < 0x7F ? QChar(B) : QChar(u'.'); }
}  // namespace

THexView::THexView(QWidget* Parent) : QAbstractScrollArea(Parent) {
  QFont F = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  F.setStyleHint(QFont::TypeWriter);
  F.setBold(false);
  setFont(F);
  TakeFontMetrics();
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  UpdateScrollBars();
}

// The cell of a column is as wide as the widest digit, rounded up: each
// cell's text is drawn at its own cell, so a font whose advance is not a
// whole number of pixels does not drift away from the cells.
void THexView::TakeFontMetrics() {
  viewport()->setFont(font());
  const QFontMetricsF FM(font());
  qreal Widest = 1;
  for (const char C : {'0', '8', 'A', 'D', 'M', 'W'}) Widest = std::max(Widest, FM.horizontalAdvance(QLatin1Char(C)));
  FCharWidth = std::max(1, int(std::ceil(Widest)));
  FLineHeight = std::max(1, int(std::ceil(FM.height())));
  FAscent = int(std::ceil(FM.ascent()));
}

void THexView::changeEvent(QEvent* Event) {
  QAbstractScrollArea::changeEvent(Event);
  if (Event->type() == QEvent::FontChange) {
    TakeFontMetrics();
    UpdateScrollBars();
    viewport()->update();
  }
}

int64_t THexView::Find(const QByteArray& Pattern, int64_t From, bool Backward) const {
  if (Pattern.isEmpty() || FBytes.isEmpty()) return -1;
  if (Backward) return From < 0 ? -1 : FBytes.lastIndexOf(Pattern, qsizetype(std::min<int64_t>(From, FBytes.size() - 1)));
  return From >= FBytes.size() ? -1 : FBytes.indexOf(Pattern, qsizetype(std::max<int64_t>(From, 0)));
}

void THexView::SetFound(int64_t Offset, int64_t Size) {
  FFoundAt = Offset;
  FFoundSize = Size;
  viewport()->update();
}

void THexView::SetBytes(QByteArray Bytes) {
  FBytes = std::move(Bytes);
  FCurrent = FBytes.isEmpty() ? -1 : 0;
  verticalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
}

void THexView::SetMarks(std::vector<TMark> Marks) {
  std::stable_sort(Marks.begin(), Marks.end(),
                   [](const TMark& A, const TMark& B) { return A.Offset < B.Offset; });
  FMarks = std::move(Marks);
  viewport()->update();
}

const THexView::TMark* THexView::MarkAt(int64_t Offset) const {
  auto It = std::upper_bound(FMarks.begin(), FMarks.end(), Offset,
                             [](int64_t O, const TMark& M) { return O < M.Offset; });
  if (It == FMarks.begin()) return nullptr;
  --It;
  return Offset < It->Offset + std::max<int64_t>(1, It->Size) ? &*It : nullptr;
}

int64_t THexView::RowCount() const { return (FBytes.size() + BytesPerRow - 1) / BytesPerRow; }

int THexView::VisibleRows() const { return std::max(1, viewport()->height() / FLineHeight); }

int64_t THexView::TopRow() const { return verticalScrollBar()->value(); }

bool THexView::IsVisible(int64_t Offset) const {
  int64_t Row = Offset / BytesPerRow;
  return Row >= TopRow() && Row < TopRow() + VisibleRows();
}

int THexView::HexColumn(int I) const { return OffsetColumns + I * 3 + (I >= BytesPerRow / 2 ? 1 : 0); }
int THexView::CharColumn(int I) const { return CharStart + I; }
int THexView::Columns() const { return RowColumns; }
int THexView::ColumnX(int Column) const { return Margin - horizontalScrollBar()->value() + Column * FCharWidth; }

void THexView::UpdateScrollBars() {
  // Rows fit into an int up to 32 GB of bytes, far beyond any unit file.
  const int64_t Rows = RowCount();
  const int Visible = VisibleRows();
  verticalScrollBar()->setRange(0, static_cast<int>(std::max<int64_t>(0, Rows - Visible)));
  verticalScrollBar()->setPageStep(Visible);
  verticalScrollBar()->setSingleStep(1);
  const int Width = 2 * Margin + Columns() * FCharWidth;
  horizontalScrollBar()->setRange(0, std::max(0, Width - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(FCharWidth);
}

void THexView::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  UpdateScrollBars();
}

QString THexView::RowText(int64_t Row) const {
  QString T(Columns(), QLatin1Char(' '));
  const int64_t Start = Row * BytesPerRow;
  if (Row < 0 || Start >= FBytes.size()) return {};
  const QString Ofs = QStringLiteral("%1").arg(static_cast<qulonglong>(Start), 8, 16, QLatin1Char('0')).toUpper();
  T.replace(0, Ofs.size(), Ofs);
  static const char Digits[] = "0123456789ABCDEF";
  const int N = static_cast<int>(std::min<int64_t>(BytesPerRow, FBytes.size() - Start));
  for (int I = 0; I < N; ++I) {
    const auto B = static_cast<uint8_t>(FBytes.at(static_cast<qsizetype>(Start + I)));
    T[HexColumn(I)] = QLatin1Char(Digits[B >> 4]);
    T[HexColumn(I) + 1] = QLatin1Char(Digits[B & 15]);
    T[CharColumn(I)] = Printable(B);
  }
  T.truncate(CharColumn(N));
  return T;
}

void THexView::paintEvent(QPaintEvent*) {
  QPainter P(viewport());
  const int X0 = Margin - horizontalScrollBar()->value();
  const int64_t Top = TopRow();
  const int64_t Last = std::min(RowCount(), Top + VisibleRows() + 1);
  const QPalette& Pal = palette();
  for (int64_t Row = Top; Row < Last; ++Row) {
    const int Y = static_cast<int>(Row - Top) * FLineHeight;
    const int64_t Start = Row * BytesPerRow;
    const int N = static_cast<int>(std::min<int64_t>(BytesPerRow, FBytes.size() - Start));
    // Backgrounds first: marks, then the current byte framed on top.
    for (int I = 0; I < N; ++I) {
      const int64_t Ofs = Start + I;
      const TMark* M = MarkAt(Ofs);
      const bool Cur = Ofs == FCurrent;
      const bool Found = Ofs >= FFoundAt && Ofs < FFoundAt + FFoundSize;
      if (!M && !Cur && !Found) continue;
      const QRect Hex(X0 + HexColumn(I) * FCharWidth - FCharWidth / 2, Y, 3 * FCharWidth, FLineHeight);
      const QRect Chr(X0 + CharColumn(I) * FCharWidth, Y, FCharWidth, FLineHeight);
      if (M || Found) {
        const QColor Back = Found ? FoundColor : M->Background;
        P.fillRect(Hex, Back);
        P.fillRect(Chr, Back);
      }
      if (Cur) {
        QColor C = Pal.color(hasFocus() ? QPalette::Highlight : QPalette::Mid);
        P.setPen(QPen(C, 2));
        P.drawRect(Hex.adjusted(1, 1, -1, -1));
        P.drawRect(Chr.adjusted(1, 1, -1, -1));
      }
    }
    // The offset in a quieter colour, then the bytes and characters, each
    // at its own column.
    const QString Text = RowText(Row);
    P.setPen(Pal.color(QPalette::PlaceholderText));
    for (int C = 0; C < 8; ++C) P.drawText(X0 + C * FCharWidth, Y + FAscent, Text.mid(C, 1));
    P.setPen(Pal.color(QPalette::Text));
    for (int I = 0; I < N; ++I) {
      P.drawText(X0 + HexColumn(I) * FCharWidth, Y + FAscent, Text.mid(HexColumn(I), 1));
      P.drawText(X0 + (HexColumn(I) + 1) * FCharWidth, Y + FAscent, Text.mid(HexColumn(I) + 1, 1));
      P.drawText(X0 + CharColumn(I) * FCharWidth, Y + FAscent, Text.mid(CharColumn(I), 1));
    }
  }
}

void THexView::GoTo(int64_t Offset) {
  if (FBytes.isEmpty()) return;
  Offset = std::clamp<int64_t>(Offset, 0, FBytes.size() - 1);
  const bool WasVisible = IsVisible(Offset);
  SetCurrent(Offset, false);
  if (!WasVisible) {
    const int64_t Row = Offset / BytesPerRow;
    // A few rows of context above the byte.
    const int64_t Above = std::min<int64_t>(4, VisibleRows() / 3);
    verticalScrollBar()->setValue(static_cast<int>(std::max<int64_t>(0, Row - Above)));
  }
  viewport()->update();
}

void THexView::SetCurrent(int64_t Offset, bool Follow) {
  if (FBytes.isEmpty()) return;
  Offset = std::clamp<int64_t>(Offset, 0, FBytes.size() - 1);
  if (Follow) {
    const int64_t Row = Offset / BytesPerRow;
    if (Row < TopRow()) verticalScrollBar()->setValue(static_cast<int>(Row));
    else if (Row >= TopRow() + VisibleRows())
      verticalScrollBar()->setValue(static_cast<int>(Row - VisibleRows() + 1));
  }
  if (Offset == FCurrent) return;
  FCurrent = Offset;
  viewport()->update();
  emit currentChanged(FCurrent);
}

void THexView::keyPressEvent(QKeyEvent* Event) {
  if (FBytes.isEmpty() || FCurrent < 0) {
    QAbstractScrollArea::keyPressEvent(Event);
    return;
  }
  const int64_t Page = static_cast<int64_t>(VisibleRows()) * BytesPerRow;
  const bool Ctrl = Event->modifiers() & Qt::ControlModifier;
  int64_t To = FCurrent;
  switch (Event->key()) {
    case Qt::Key_Left: To -= 1; break;
    case Qt::Key_Right: To += 1; break;
    case Qt::Key_Up: To -= BytesPerRow; break;
    case Qt::Key_Down: To += BytesPerRow; break;
    case Qt::Key_PageUp: To -= Page; break;
    case Qt::Key_PageDown: To += Page; break;
    case Qt::Key_Home: To = Ctrl ? 0 : FCurrent - FCurrent % BytesPerRow; break;
    case Qt::Key_End: To = Ctrl ? FBytes.size() - 1 : FCurrent - FCurrent % BytesPerRow + BytesPerRow - 1; break;
    default: QAbstractScrollArea::keyPressEvent(Event); return;
  }
  // A move that would leave the file stops at its first or last byte, or
  // stays in its column when a whole row or page does not fit.
  if (To < 0) To = (Event->key() == Qt::Key_Up || Event->key() == Qt::Key_PageUp) ? FCurrent % BytesPerRow : 0;
  SetCurrent(To, true);
  Event->accept();
}

int64_t THexView::OffsetAt(const QPoint& Pos) const {
  const int X = Pos.x() - Margin + horizontalScrollBar()->value();
  const int64_t Row = TopRow() + Pos.y() / FLineHeight;
  const int Col = X / FCharWidth;
  int I = -1;
  if (Col >= CharStart && Col < CharStart + BytesPerRow) I = Col - CharStart;
  else
    for (int K = 0; K < BytesPerRow; ++K)
      if (Col >= HexColumn(K) && Col < HexColumn(K) + 2) I = K;
  if (I < 0) return -1;
  const int64_t Ofs = Row * BytesPerRow + I;
  return Ofs < FBytes.size() ? Ofs : -1;
}

void THexView::mousePressEvent(QMouseEvent* Event) {
  const int64_t Ofs = OffsetAt(Event->position().toPoint());
  if (Ofs >= 0) SetCurrent(Ofs, true);
  QAbstractScrollArea::mousePressEvent(Event);
}

bool THexView::viewportEvent(QEvent* Event) {
  if (Event->type() == QEvent::ToolTip) {
    auto* Help = static_cast<QHelpEvent*>(Event);
    const int64_t Ofs = OffsetAt(Help->pos());
    if (Ofs >= 0) {
      QString Tip = QStringLiteral("0x%1 (%2)").arg(QString::number(Ofs, 16).toUpper()).arg(Ofs);
      if (const TMark* M = MarkAt(Ofs)) Tip += QStringLiteral("\n") + M->Label;
      QToolTip::showText(Help->globalPos(), Tip, viewport());
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QAbstractScrollArea::viewportEvent(Event);
}
