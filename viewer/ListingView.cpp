// The listing view: only the lines in sight laid out and drawn; caret,
// selection, links with Back, find (see ListingView.h).
#include "ListingView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>

namespace {
constexpr int Margin = 4;
constexpr size_t MaxHistory = 1000;
const QColor LinkColor(0, 0, 160);
const QColor MatchBackground(255, 236, 128);

bool IsWordChar(QChar C) { return C.isLetterOrNumber() || C == u'_' || C == u'@' || C == u'$'; }
}  // namespace

TListingView::TListingView(QWidget* Parent) : QAbstractScrollArea(Parent) {
  QFont F = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  F.setStyleHint(QFont::TypeWriter);
  F.setBold(false);
  setFont(F);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(true);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  FText.Finish();
  UpdateMetrics();
  UpdateScrollBars();
}

TListingView::~TListingView() = default;

// ---- text and metrics ---------------------------------------------------------

void TListingView::SetText(TListingText Text) {
  const bool HadHistory = !FHistory.empty();
  FHistory.clear();
  FPage = 0;
  TakeText(std::move(Text));
  if (HadHistory) emit historyChanged(false);
}

void TListingView::ReplaceText(TListingText Text, int64_t Page) {
  FPage = Page;
  TakeText(std::move(Text));
}

void TListingView::TakeText(TListingText Text) {
  FText = std::move(Text);
  FText.Finish();
  FCursor = FAnchorPos = 0;
  ClearLayouts();
  UpdateScrollBars();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  if (!FFind.isEmpty()) SetFindText(FFind);
  viewport()->update();
  emit cursorMoved(FCursor);
}

void TListingView::SetPlainText(const QString& Text) { SetText(TListingText::FromPlain(Text)); }

void TListingView::SetCommentColor(const QColor& C) {
  FCommentColor = C;
  ClearLayouts();
  viewport()->update();
}

void TListingView::UpdateMetrics() {
  const QFontMetrics FM(font());
  FLineHeight = std::max(1, FM.lineSpacing());
  FCharWidth = std::max(1, FM.horizontalAdvance(QLatin1Char('M')));
}

void TListingView::UpdateScrollBars() {
  const int Visible = VisibleLines();
  // Line numbers fit an int: a text of 4 G characters has fewer lines.
  const qsizetype Lines = FText.LineCount();
  verticalScrollBar()->setRange(0, static_cast<int>(std::max<qsizetype>(0, Lines - Visible)));
  verticalScrollBar()->setPageStep(Visible);
  verticalScrollBar()->setSingleStep(1);
  const qsizetype Width = 2 * Margin + (FText.LongestLine() + 1) * FCharWidth;
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::clamp<qsizetype>(Width - viewport()->width(), 0, INT32_MAX / 2)));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(FCharWidth);
}

void TListingView::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  UpdateScrollBars();
}

void TListingView::changeEvent(QEvent* Event) {
  QAbstractScrollArea::changeEvent(Event);
  if (Event->type() == QEvent::FontChange) {
    UpdateMetrics();
    ClearLayouts();
    UpdateScrollBars();
    viewport()->update();
  }
}

void TListingView::ClearLayouts() { FLayouts.clear(); }

int TListingView::X0() const { return Margin - horizontalScrollBar()->value(); }

// One line laid out: the runs' formats over the line's text, no wrapping.
QTextLayout* TListingView::LayoutOf(qsizetype Line) {
  if (auto It = FLayouts.constFind(Line); It != FLayouts.constEnd()) return It->get();
  // Enough for a few screens; scrolling far lays out again what comes.
  if (FLayouts.size() > 4 * (VisibleLines() + 1) + 64) FLayouts.clear();
  const qsizetype Start = FText.LineStart(Line);
  auto L = std::make_shared<QTextLayout>(FText.Line(Line).toString(), font());
  QList<QTextLayout::FormatRange> Formats;
  const auto [First, Last] = FText.LineRuns(Line);
  for (size_t I = First; I < Last; ++I) {
    const TListingRun& R = FText.Runs()[I];
    QTextCharFormat F;
    switch (R.Style) {
      case TRunStyle::Plain:
      case TRunStyle::Name: continue;
      case TRunStyle::Keyword: F.setFontWeight(QFont::Bold); break;
      case TRunStyle::Comment: F.setForeground(FCommentColor); break;
      case TRunStyle::Link:
      case TRunStyle::NameLink:
        if (R.Anchor == NoListingAnchor) continue;
        F.setForeground(LinkColor);
        F.setFontUnderline(true);
        break;
    }
    Formats.append({static_cast<int>(R.Start - Start), R.Len, F});
  }
  L->setFormats(Formats);
  QTextOption Option;
  Option.setWrapMode(QTextOption::NoWrap);
  L->setTextOption(Option);
  L->setCacheEnabled(true);
  L->beginLayout();
  QTextLine TL = L->createLine();
  if (TL.isValid()) TL.setPosition(QPointF(0, 0));
  L->endLayout();
  ++FLastPaintLayouts;
  FLayouts.insert(Line, L);
  return L.get();
}

// ---- painting -------------------------------------------------------------------

void TListingView::paintEvent(QPaintEvent*) {
  QPainter P(viewport());
  FLastPaintLayouts = 0;
  FLastPaintLines = 0;
  const qsizetype Top = TopLine();
  const qsizetype Last = std::min(FText.LineCount(), Top + VisibleLines() + 1);
  const qsizetype SelA = std::min(FCursor, FAnchorPos), SelB = std::max(FCursor, FAnchorPos);
  const qsizetype CaretLine = CurrentLine();
  const QPalette& Pal = palette();
  const int X = X0();
  for (qsizetype Line = Top; Line < Last; ++Line) {
    const int Y = static_cast<int>(Line - Top) * FLineHeight;
    if (Line == CaretLine)
      P.fillRect(QRect(0, Y, viewport()->width(), FLineHeight), Pal.color(QPalette::AlternateBase));
    QTextLayout* L = LayoutOf(Line);
    ++FLastPaintLines;
    const qsizetype Start = FText.LineStart(Line), End = FText.LineEnd(Line);
    QList<QTextLayout::FormatRange> Marks;
    if (!FFind.isEmpty()) {
      QTextCharFormat M;
      M.setBackground(MatchBackground);
      for (qsizetype At : MatchesInLine(Line))
        Marks.append({static_cast<int>(At - Start), static_cast<int>(FFind.size()), M});
    }
    if (SelA < SelB && SelA <= End && SelB > Start) {
      QTextCharFormat S;
      S.setBackground(Pal.brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
      S.setForeground(Pal.brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText));
      const qsizetype A = std::max(SelA, Start), B = std::min(SelB, End);
      if (B > A) Marks.append({static_cast<int>(A - Start), static_cast<int>(B - A), S});
      // A selection that goes on past the line's end: a blank's width of it.
      if (SelB > End && Line + 1 < FText.LineCount()) {
        const qreal EndX = L->lineCount() ? L->lineAt(0).cursorToX(static_cast<int>(End - Start)) : 0;
        P.fillRect(QRectF(X + EndX, Y, FCharWidth / 2.0, FLineHeight), S.background());
      }
    }
    P.setPen(Pal.color(QPalette::Text));
    L->draw(&P, QPointF(X, Y), Marks);
    if (Line == CaretLine && hasFocus() && L->lineCount()) {
      const qreal CX = X + L->lineAt(0).cursorToX(static_cast<int>(FCursor - Start));
      P.fillRect(QRectF(CX, Y, 1, FLineHeight), Pal.color(QPalette::Text));
    }
  }
}

// ---- scrolling ------------------------------------------------------------------

int TListingView::VisibleLines() const { return std::max(1, viewport()->height() / FLineHeight); }

qsizetype TListingView::TopLine() const { return verticalScrollBar()->value(); }

void TListingView::SetTopLine(qsizetype Line) {
  verticalScrollBar()->setValue(static_cast<int>(std::clamp<qsizetype>(Line, 0, INT32_MAX)));
}

bool TListingView::IsLineVisible(qsizetype Line) const {
  return Line >= TopLine() && Line < TopLine() + VisibleLines();
}

bool TListingView::IsPositionVisible(qsizetype Pos) const {
  if (!IsLineVisible(FText.LineOf(Pos))) return false;
  const QRect R = const_cast<TListingView*>(this)->PositionRect(Pos);
  return R.left() >= 0 && R.left() <= viewport()->width();
}

QRect TListingView::PositionRect(qsizetype Pos) {
  Pos = std::clamp<qsizetype>(Pos, 0, FText.Text().size());
  const qsizetype Line = FText.LineOf(Pos);
  if (!IsLineVisible(Line)) return {};
  QTextLayout* L = LayoutOf(Line);
  const qreal CX = L->lineCount() ? L->lineAt(0).cursorToX(static_cast<int>(Pos - FText.LineStart(Line))) : 0;
  return QRect(X0() + static_cast<int>(CX), static_cast<int>(Line - TopLine()) * FLineHeight, 1, FLineHeight);
}

qsizetype TListingView::PositionAt(const QPoint& Point) {
  if (FText.LineCount() == 0) return 0;
  const qsizetype Line =
      std::clamp<qsizetype>(TopLine() + (Point.y() < 0 ? -1 : Point.y() / FLineHeight), 0, FText.LineCount() - 1);
  QTextLayout* L = LayoutOf(Line);
  const int Col = L->lineCount() ? L->lineAt(0).xToCursor(Point.x() - X0()) : 0;
  return FText.LineStart(Line) + Col;
}

void TListingView::EnsureCursorVisible() {
  const qsizetype Line = CurrentLine();
  if (Line < TopLine()) SetTopLine(Line);
  else if (Line >= TopLine() + VisibleLines()) SetTopLine(Line - VisibleLines() + 1);
  QTextLayout* L = LayoutOf(Line);
  if (!L->lineCount()) return;
  const int CX = Margin + static_cast<int>(L->lineAt(0).cursorToX(static_cast<int>(FCursor - FText.LineStart(Line))));
  QScrollBar* H = horizontalScrollBar();
  const int W = viewport()->width();
  if (CX < H->value() + Margin) H->setValue(CX - Margin);
  else if (CX > H->value() + W - 2 * FCharWidth) H->setValue(CX - W + 2 * FCharWidth);
}

void TListingView::ScrollToPosition(qsizetype Pos, qsizetype Len) {
  Select(Pos, Len);
  const qsizetype Line = FText.LineOf(FAnchorPos);
  SetTopLine(std::max<qsizetype>(0, Line - 2));
  // Across: the start of the lines, unless the selection's end would be out
  // of sight; then its start with a little room before it.
  QTextLayout* L = LayoutOf(Line);
  if (!L->lineCount()) return;
  const qsizetype Start = FText.LineStart(Line);
  const qreal A = L->lineAt(0).cursorToX(static_cast<int>(FAnchorPos - Start));
  const qreal B = L->lineAt(0).cursorToX(static_cast<int>(std::min(FCursor, FText.LineEnd(Line)) - Start));
  const int W = viewport()->width();
  horizontalScrollBar()->setValue(B + 2 * Margin < W ? 0 : static_cast<int>(A) - 8 * FCharWidth);
}

// ---- caret and selection ----------------------------------------------------------

void TListingView::MoveCaret(qsizetype Pos, bool KeepAnchor, bool Follow) {
  Pos = std::clamp<qsizetype>(Pos, 0, FText.Text().size());
  const bool Moved = Pos != FCursor || (!KeepAnchor && FAnchorPos != Pos);
  FCursor = Pos;
  if (!KeepAnchor) FAnchorPos = Pos;
  if (Follow) EnsureCursorVisible();
  viewport()->update();
  if (Moved) emit cursorMoved(FCursor);
}

void TListingView::SetCursorPosition(qsizetype Pos, bool KeepAnchor) { MoveCaret(Pos, KeepAnchor, false); }

void TListingView::Select(qsizetype Pos, qsizetype Len) {
  const qsizetype Size = FText.Text().size();
  FAnchorPos = std::clamp<qsizetype>(Pos, 0, Size);
  MoveCaret(std::clamp<qsizetype>(Pos + Len, 0, Size), true, false);
}

void TListingView::SelectAll() {
  FAnchorPos = 0;
  MoveCaret(FText.Text().size(), true, false);
}

QString TListingView::SelectedText() const {
  const qsizetype A = std::min(FCursor, FAnchorPos), B = std::max(FCursor, FAnchorPos);
  return FText.Text().mid(A, B - A);
}

bool TListingView::Copy() {
  if (!HasSelection()) return false;
  QApplication::clipboard()->setText(SelectedText());
  return true;
}

void TListingView::MoveByLines(qsizetype Lines, bool KeepAnchor) {
  const qsizetype Line = CurrentLine();
  const qsizetype Col = FCursor - FText.LineStart(Line);
  const qsizetype To = std::clamp<qsizetype>(Line + Lines, 0, FText.LineCount() - 1);
  const qsizetype Len = FText.LineEnd(To) - FText.LineStart(To);
  // A page moves the view with the caret.
  if (std::abs(Lines) > 1) SetTopLine(TopLine() + (To - Line));
  MoveCaret(FText.LineStart(To) + std::min(Col, Len), KeepAnchor, true);
}

// ---- links and history --------------------------------------------------------------

bool TListingView::JumpTo(int64_t Anchor, bool Record) {
  const TListingRun* R = FText.Place(Anchor);
  if (!R) return false;
  if (Record) PushPlace();
  ScrollToPosition(R->Start, R->Len);
  return true;
}

void TListingView::ActivateLink(const TListingRun& R) {
  if (R.Style != TRunStyle::NameLink && JumpTo(R.Anchor)) return;
  emit linkOutside(R.Anchor, FText.Text().mid(R.Start, R.Len));
}

void TListingView::PushPlace() {
  if (FHistory.size() >= MaxHistory) FHistory.erase(FHistory.begin());
  FHistory.push_back({FPage, FCursor, TopLine(), horizontalScrollBar()->value(), {}});
  emit historyChanged(true);
}

void TListingView::PushReturn(std::function<void()> Return) {
  if (FHistory.size() >= MaxHistory) FHistory.erase(FHistory.begin());
  FHistory.push_back({FPage, FCursor, TopLine(), horizontalScrollBar()->value(), std::move(Return)});
  emit historyChanged(true);
}

bool TListingView::Back() {
  if (FHistory.empty()) return false;
  TPlace P = std::move(FHistory.back());
  FHistory.pop_back();
  emit historyChanged(!FHistory.empty());
  if (P.Return) {
    P.Return();
    return true;
  }
  if (P.Page != FPage && PageWanted) PageWanted(P.Page);
  if (P.Page != FPage) return true;  // the page is gone
  MoveCaret(P.Cursor, false, false);
  SetTopLine(P.Top);
  horizontalScrollBar()->setValue(P.Across);
  return true;
}

const TListingRun* TListingView::LinkAt(const QPoint& Point) {
  if (FText.LineCount() == 0 || Point.y() < 0) return nullptr;
  const qsizetype Line = TopLine() + Point.y() / FLineHeight;
  if (Line >= FText.LineCount()) return nullptr;
  QTextLayout* L = LayoutOf(Line);
  if (!L->lineCount()) return nullptr;
  const QTextLine TL = L->lineAt(0);
  const qreal X = Point.x() - X0();
  if (X < 0 || X >= TL.naturalTextWidth()) return nullptr;
  const int Col = TL.xToCursor(X, QTextLine::CursorOnCharacter);
  const TListingRun* R = FText.RunAt(FText.LineStart(Line) + Col);
  return R && R->IsLink() ? R : nullptr;
}

// ---- find ---------------------------------------------------------------------------

int TListingView::SetFindText(const QString& Text) {
  FFind = Text;
  FFindCount = 0;
  if (!Text.isEmpty()) {
    const QString& T = FText.Text();
    for (qsizetype At = T.indexOf(Text, 0, Qt::CaseInsensitive); At >= 0 && FFindCount < MaxFindCount;
         At = T.indexOf(Text, At + Text.size(), Qt::CaseInsensitive))
      ++FFindCount;
  }
  viewport()->update();
  return FFindCount;
}

std::vector<qsizetype> TListingView::MatchesInLine(qsizetype Line) const {
  std::vector<qsizetype> At;
  if (FFind.isEmpty() || Line < 0 || Line >= FText.LineCount()) return At;
  const QStringView L = FText.Line(Line);
  for (qsizetype I = L.indexOf(FFind, 0, Qt::CaseInsensitive); I >= 0;
       I = L.indexOf(FFind, I + FFind.size(), Qt::CaseInsensitive))
    At.push_back(FText.LineStart(Line) + I);
  return At;
}

bool TListingView::FindNext(bool Backward, bool Wrap) {
  if (FFind.isEmpty() || FFindCount == 0) return false;
  const QString& T = FText.Text();
  qsizetype At;
  if (Backward) {
    const qsizetype From = std::min(FCursor, FAnchorPos) - 1;
    At = From >= 0 ? T.lastIndexOf(FFind, From, Qt::CaseInsensitive) : -1;
    if (At < 0 && Wrap) At = T.lastIndexOf(FFind, -1, Qt::CaseInsensitive);
  } else {
    At = T.indexOf(FFind, std::max(FCursor, FAnchorPos), Qt::CaseInsensitive);
    if (At < 0 && Wrap) At = T.indexOf(FFind, 0, Qt::CaseInsensitive);
  }
  if (At < 0) return false;
  const qsizetype Line = FText.LineOf(At);
  Select(At, FFind.size());
  if (!IsLineVisible(Line)) SetTopLine(std::max<qsizetype>(0, Line - VisibleLines() / 3));
  EnsureCursorVisible();
  return true;
}

// ---- keys and mouse -------------------------------------------------------------------

void TListingView::keyPressEvent(QKeyEvent* Event) {
  if (Event == QKeySequence::Copy) {
    Copy();
    return;
  }
  if (Event == QKeySequence::SelectAll) {
    SelectAll();
    return;
  }
  const Qt::KeyboardModifiers Mods = Event->modifiers();
  const bool Shift = Mods & Qt::ShiftModifier, Ctrl = Mods & Qt::ControlModifier;
  if ((Mods & Qt::AltModifier) && Event->key() == Qt::Key_Left) {
    Back();
    return;
  }
  const qsizetype Line = CurrentLine();
  switch (Event->key()) {
    case Qt::Key_Up: MoveByLines(-1, Shift); break;
    case Qt::Key_Down: MoveByLines(1, Shift); break;
    case Qt::Key_PageUp: MoveByLines(-VisibleLines(), Shift); break;
    case Qt::Key_PageDown: MoveByLines(VisibleLines(), Shift); break;
    case Qt::Key_Left: MoveCaret(FCursor - 1, Shift, true); break;
    case Qt::Key_Right: MoveCaret(FCursor + 1, Shift, true); break;
    case Qt::Key_Home: MoveCaret(Ctrl ? 0 : FText.LineStart(Line), Shift, true); break;
    case Qt::Key_End: MoveCaret(Ctrl ? FText.Text().size() : FText.LineEnd(Line), Shift, true); break;
    case Qt::Key_F3: FindNext(Shift); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      const TListingRun* R = FText.RunAt(FCursor);
      if (!R || !R->IsLink()) R = FText.RunAt(FCursor - 1);
      if (R && R->IsLink()) ActivateLink(*R);
      break;
    }
    default: QAbstractScrollArea::keyPressEvent(Event); return;
  }
  Event->accept();
}

void TListingView::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(Event);
    return;
  }
  const QPoint Pt = Event->position().toPoint();
  const bool Shift = Event->modifiers() & Qt::ShiftModifier;
  FPressPos = PositionAt(Pt);
  FPressOnLink = !Shift && LinkAt(Pt);
  FDragging = true;
  MoveCaret(FPressPos, Shift, false);
  Event->accept();
}

void TListingView::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint Pt = Event->position().toPoint();
  if (FDragging && (Event->buttons() & Qt::LeftButton)) {
    const qsizetype Pos = PositionAt(Pt);
    if (Pos != FPressPos) FPressOnLink = false;
    MoveCaret(Pos, true, true);
    return;
  }
  viewport()->setCursor(LinkAt(Pt) ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

void TListingView::mouseReleaseEvent(QMouseEvent* Event) {
  FDragging = false;
  if (Event->button() == Qt::LeftButton && FPressOnLink && !HasSelection()) {
    FPressOnLink = false;
    if (const TListingRun* R = LinkAt(Event->position().toPoint())) {
      const TListingRun Run = *R;  // following may replace the text
      ActivateLink(Run);
    }
    Event->accept();
    return;
  }
  FPressOnLink = false;
  Event->accept();
}

void TListingView::mouseDoubleClickEvent(QMouseEvent* Event) {
  const qsizetype Pos = PositionAt(Event->position().toPoint());
  const qsizetype Line = FText.LineOf(Pos);
  const QString& T = FText.Text();
  qsizetype A = Pos, B = Pos;
  while (A > FText.LineStart(Line) && IsWordChar(T[A - 1])) --A;
  while (B < FText.LineEnd(Line) && IsWordChar(T[B])) ++B;
  FDragging = false;
  Select(A, B - A);
}

void TListingView::contextMenuEvent(QContextMenuEvent* Event) {
  QMenu Menu(this);
  QAction* CopyAction = Menu.addAction(tr("Copy"), this, [this] { Copy(); });
  CopyAction->setShortcut(QKeySequence::Copy);
  CopyAction->setEnabled(HasSelection());
  QAction* All = Menu.addAction(tr("Select All"), this, [this] { SelectAll(); });
  All->setShortcut(QKeySequence::SelectAll);
  Menu.exec(Event->globalPos());
}

void TListingView::focusInEvent(QFocusEvent* Event) {
  QAbstractScrollArea::focusInEvent(Event);
  viewport()->update();
}

void TListingView::focusOutEvent(QFocusEvent* Event) {
  QAbstractScrollArea::focusOutEvent(Event);
  viewport()->update();
}
