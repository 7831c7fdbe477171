// The summary sink over a Qt rich text view (see jx_richEdit.h).
#include "jx_richEdit.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace {
constexpr qreal IndentPoints = 24.0;

// Points to device pixels of the view (the document lays out in pixels).
qreal PointsToPixels(const QTextEdit* View, qreal Points) {
  return Points * View->logicalDpiY() / 72.0;
}
}  // namespace

void TJX_RichEditSink::InsertAtEnd(const QString& Text, bool NewBlockBefore, bool NewBlockAfter) {
  QTextCursor C(View->document());
  C.movePosition(QTextCursor::End);
  QTextCharFormat CF;
  CF.setFontWeight(Bold ? QFont::Bold : QFont::Normal);
  if (Color.IsValid()) CF.setForeground(QColor(Color.R, Color.G, Color.B));
  QTextBlockFormat BF;
  qreal Step = PointsToPixels(View, IndentPoints);
  // First line at 24 points, wrapped continuation lines a further 24 in.
  BF.setLeftMargin(Indented ? 2 * Step : 0);
  BF.setTextIndent(Indented ? -Step : 0);
  C.beginEditBlock();
  if (NewBlockBefore) C.insertBlock(BF, CF);
  if (!Text.isEmpty()) {
    C.setBlockFormat(BF);
    C.insertText(Text, CF);
  }
  if (NewBlockAfter) C.insertBlock(QTextBlockFormat(), CF);
  C.endEditBlock();
}

void TJX_RichEditSink::AddLine(const std::string& Text, TFontStyle Style, const TTextColor& NewColor) {
  Bold = Style == TFontStyle::Bold;
  if (NewColor.IsValid()) Color = NewColor;
  bool Closed = View->document()->lastBlock().text().isEmpty();
  if (Closed)
    InsertAtEnd(QString::fromStdString(Text), false, true);
  else
    InsertAtEnd(QString::fromStdString(Text), true, false);
  // Keep the end of the text in view while the summary grows.
  if (QScrollBar* SB = View->verticalScrollBar()) SB->setValue(SB->maximum());
}

void TJX_RichEditSink::AppendText(const std::string& Text, TFontStyle Style) {
  Bold = Style == TFontStyle::Bold;
  InsertAtEnd(QString::fromStdString(Text), false, false);
}

void TJX_RichEditSink::ScrollToTop() {
  QTextCursor C(View->document());
  C.movePosition(QTextCursor::Start);
  View->setTextCursor(C);
  View->ensureCursorVisible();
  if (QScrollBar* SB = View->verticalScrollBar()) SB->setValue(SB->minimum());
}
