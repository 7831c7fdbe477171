// A read-only view of a listing (TListingText) that lays out and draws only
// the lines in sight, as the Bytes view does with its rows: a listing of a
// million lines opens and scrolls like a short one.
//
// - Keywords bold, comments in the comment colour, links underlined; a click
//   on a link (or Enter with the caret on it) goes to the place its anchor
//   names and records where the view stood, Back (Alt+Left) returns. A link
//   whose place is not in the text, and a NameLink, is handed on
//   (linkOutside).
// - A caret and a selection, moved with the mouse and the keys (Shift
//   extends); Ctrl+C copies the selection, Ctrl+A selects everything.
// - Find: the matches of a text (letter case ignored) are marked and
//   counted; FindNext goes to the next or previous one.
//
// Lines are laid out with QTextLayout when they come into sight and kept in
// a small cache; the scroll bar counts lines, and the width is that of the
// longest line in the fixed font.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ListingText.h"

class QTextLayout;

class TListingView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  // Matches counted at most; a text of one letter can match everywhere.
  static constexpr int MaxFindCount = 100000;

  explicit TListingView(QWidget* Parent = nullptr);
  ~TListingView() override;

  // Shows Text from its start; the history and the find marks of the old
  // text go (the find text stays and is looked for in the new one).
  void SetText(TListingText Text);
  // Shows Text as page Page of a listing shown a page at a time (the Code
  // view: a routine a page), keeping the history: Back to a place on another
  // page asks for that page first (PageWanted, which calls ReplaceText).
  void ReplaceText(TListingText Text, int64_t Page);
  int64_t Page() const { return FPage; }
  std::function<void(int64_t Page)> PageWanted;
  void SetPlainText(const QString& Text);
  const TListingText& Text() const { return FText; }
  const QString& PlainText() const { return FText.Text(); }
  void SetCommentColor(const QColor& C);

  // Caret and selection, as positions in the text. The selection runs from
  // the anchor position to the caret.
  qsizetype CursorPosition() const { return FCursor; }
  bool HasSelection() const { return FCursor != FAnchorPos; }
  QString SelectedText() const;
  void SetCursorPosition(qsizetype Pos, bool KeepAnchor = false);
  // Selects Len characters from Pos, the caret at their end.
  void Select(qsizetype Pos, qsizetype Len);
  void SelectAll();
  // Puts the selection on the clipboard; false when nothing is selected.
  bool Copy();
  qsizetype CurrentLine() const { return FText.LineOf(FCursor); }
  QString CurrentLineText() const { return FText.Line(CurrentLine()).toString(); }

  // Scrolling: the first line in sight, lines that fit into the viewport.
  qsizetype TopLine() const;
  void SetTopLine(qsizetype Line);
  int VisibleLines() const;
  bool IsLineVisible(qsizetype Line) const;
  bool IsPositionVisible(qsizetype Pos) const;
  // Selects Len characters from Pos and scrolls their line near the top,
  // two lines of context above it, the selection in sight across.
  void ScrollToPosition(qsizetype Pos, qsizetype Len);
  // Scrolls as little as needed to bring the caret into sight.
  void EnsureCursorVisible();
  // The caret's rectangle at Pos in viewport coordinates (a line high);
  // empty when its line is not in sight.
  QRect PositionRect(qsizetype Pos);
  // The position under a point of the viewport (the nearest character).
  qsizetype PositionAt(const QPoint& Point);

  // Goes to the place Anchor names and selects it; Record puts where the
  // view stood onto the Back history. False when the text has no such place.
  bool JumpTo(int64_t Anchor, bool Record = true);
  // Follows the link run R: to its place, or handed on (linkOutside).
  void ActivateLink(const TListingRun& R);
  // Records where the view stands now / a way back to somewhere else (the
  // view that a jump came from), to be taken by Back.
  void PushPlace();
  void PushReturn(std::function<void()> Return);
  bool Back();
  bool CanGoBack() const { return !FHistory.empty(); }

  // Marks and counts the matches of Text (empty: none), letter case
  // ignored; the count stops at MaxFindCount.
  int SetFindText(const QString& Text);
  const QString& FindText() const { return FFind; }
  int FindCount() const { return FFindCount; }
  // Selects the next match after the caret (Backward: before the
  // selection), from the other end when there is none and Wrap is set;
  // false: no match.
  bool FindNext(bool Backward = false, bool Wrap = true);
  // The matches marked in the line (positions in the text).
  std::vector<qsizetype> MatchesInLine(qsizetype Line) const;

  // For the tests: lines laid out by the last paint, and lines kept laid out.
  int LastPaintLayouts() const { return FLastPaintLayouts; }
  int LastPaintLines() const { return FLastPaintLines; }
  qsizetype LayoutCacheSize() const { return FLayouts.size(); }

 signals:
  void cursorMoved(qsizetype Pos);
  // A link whose place is not in the text (or a NameLink) was followed.
  void linkOutside(int64_t Anchor, const QString& Text);
  void historyChanged(bool CanGoBack);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  struct TPlace {
    int64_t Page = 0;
    qsizetype Cursor = 0;
    qsizetype Top = 0;
    int Across = 0;
    std::function<void()> Return;  // set: Back calls it instead
  };

  void UpdateMetrics();
  void UpdateScrollBars();
  QTextLayout* LayoutOf(qsizetype Line);
  void ClearLayouts();
  int X0() const;
  void MoveCaret(qsizetype Pos, bool KeepAnchor, bool Follow);
  void MoveByLines(qsizetype Lines, bool KeepAnchor);
  const TListingRun* LinkAt(const QPoint& Point);

  void TakeText(TListingText Text);

  TListingText FText;
  int64_t FPage = 0;
  QColor FCommentColor = QColor(0, 128, 0);
  qsizetype FCursor = 0;
  qsizetype FAnchorPos = 0;
  int FLineHeight = 16;
  int FCharWidth = 8;
  // Laid-out lines by line number; cleared when it grows past a few screens.
  QHash<qsizetype, std::shared_ptr<QTextLayout>> FLayouts;
  std::vector<TPlace> FHistory;
  QString FFind;
  int FFindCount = 0;
  bool FDragging = false;
  bool FPressOnLink = false;
  qsizetype FPressPos = -1;
  int FLastPaintLayouts = 0;
  int FLastPaintLines = 0;
};
