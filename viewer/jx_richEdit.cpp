#include "jx_richEdit.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

// ---------------------------------------------------------------------------
// Recording sink

QString TJX_RecordingSink::TLine::Text() const {
  QString S;
  for (const TPiece& P : Pieces) S += P.Text;
  return S;
}

TJX_RecordingSink::TJX_RecordingSink() { Doc.emplace_back(); }

void TJX_RecordingSink::Put(TLine& Line, const QString& Text) {
  if (Text.isEmpty()) return;
  if (Line.Pieces.empty()) Line.Indented = Indented;
  Line.Pieces.push_back(TPiece{Text, Bold, Color});
}

void TJX_RecordingSink::AddLine(const QString& Text, TFontStyle Style, const QColor& NewColor) {
  Bold = Style == TFontStyle::Bold;
  if (NewColor.isValid()) Color = NewColor;
  if (Doc.back().Empty()) {
    // Closed: the text goes into the empty last line, a new empty line follows.
    Put(Doc.back(), Text);
    Doc.emplace_back();
  } else {
    Doc.emplace_back();
    Put(Doc.back(), Text);
  }
}

void TJX_RecordingSink::AppendText(const QString& Text, TFontStyle Style) {
  Bold = Style == TFontStyle::Bold;
  Put(Doc.back(), Text);
}

std::vector<TJX_RecordingSink::TLine> TJX_RecordingSink::VisibleLines() const {
  std::vector<TLine> V = Doc;
  if (!V.empty() && V.back().Empty()) V.pop_back();
  return V;
}

QString TJX_RecordingSink::PlainText() const {
  QString S;
  for (const TLine& L : VisibleLines()) {
    QString T = L.Text();
    if (L.Indented && !T.isEmpty()) S += QStringLiteral("  ");
    S += T;
    S += QLatin1Char('\n');
  }
  return S;
}

// ---------------------------------------------------------------------------
// Qt rich text view

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
  if (Color.isValid()) CF.setForeground(Color);
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

void TJX_RichEditSink::AddLine(const QString& Text, TFontStyle Style, const QColor& NewColor) {
  Bold = Style == TFontStyle::Bold;
  if (NewColor.isValid()) Color = NewColor;
  bool Closed = View->document()->lastBlock().text().isEmpty();
  if (Closed)
    InsertAtEnd(Text, false, true);
  else
    InsertAtEnd(Text, true, false);
  // Keep the end of the text in view while the summary grows.
  if (QScrollBar* SB = View->verticalScrollBar()) SB->setValue(SB->maximum());
}

void TJX_RichEditSink::AppendText(const QString& Text, TFontStyle Style) {
  Bold = Style == TFontStyle::Bold;
  InsertAtEnd(Text, false, false);
}

void TJX_RichEditSink::ScrollToTop() {
  QTextCursor C(View->document());
  C.movePosition(QTextCursor::Start);
  View->setTextCursor(C);
  View->ensureCursorVisible();
  if (QScrollBar* SB = View->verticalScrollBar()) SB->setValue(SB->minimum());
}
