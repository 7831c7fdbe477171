// The text a listing view shows: lines with marked runs (keywords, comments,
// the names the text defines, links), built run by run and line by line.
//
// The whole text is one string, lines ended by '\n', so that copying and
// finding need no joining. Only marked runs are kept (plain text lies between
// them); each is a few words, so a listing of a million lines costs its
// characters and little more. A Name run defines the place its anchor stands
// for; a Link run refers to the place of its anchor. Anchors are numbers the
// writer chooses (the declarations listing: the file offset of a
// declaration's tag byte).
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

enum class TRunStyle : uint8_t {
  Plain,
  Keyword,   // bold
  Comment,   // in the comment colour
  Name,      // a name the text defines: the place its anchor stands for
  Link,      // refers to the place of its anchor
  NameLink,  // a name the text defines that also leads elsewhere (a routine's code)
};

inline constexpr int64_t NoListingAnchor = -1;
// The anchor of a name the unit does not declare (a type or routine of a
// unit it uses): a link that the views hand to their FollowOutside.
inline constexpr int64_t OutsideAnchor = -2;

struct TListingRun {
  uint32_t Start = 0;  // position in the text
  uint16_t Len = 0;    // longer runs are kept as several
  TRunStyle Style = TRunStyle::Plain;
  int64_t Anchor = NoListingAnchor;

  uint32_t End() const { return Start + Len; }
  bool IsLink() const { return (Style == TRunStyle::Link || Style == TRunStyle::NameLink) && Anchor != NoListingAnchor; }
};

class TListingText {
 public:
  // A text of plain lines (split at '\n').
  static TListingText FromPlain(QStringView Text);

  // Appends a run to the current line; a '\n' in Text ends the line there.
  void Add(TRunStyle Style, QStringView Text, int64_t Anchor = NoListingAnchor);
  void AddUtf8(TRunStyle Style, std::string_view Text, int64_t Anchor = NoListingAnchor);
  void EndLine();
  // Makes the index of the anchors; the view calls it when it takes the text.
  void Finish();

  const QString& Text() const { return FText; }
  // Lines: every line ended by '\n', and the line after the last one (empty
  // when the text ends with a line break).
  qsizetype LineCount() const { return static_cast<qsizetype>(FLineStarts.size()); }
  qsizetype LineStart(qsizetype Line) const { return FLineStarts[static_cast<size_t>(Line)]; }
  qsizetype LineEnd(qsizetype Line) const;  // before its '\n'
  QStringView Line(qsizetype Line) const;
  qsizetype LineOf(qsizetype Pos) const;
  // Characters of the longest line.
  qsizetype LongestLine() const { return FLongest; }

  const std::vector<TListingRun>& Runs() const { return FRuns; }
  // The runs of a line: indices [first, last) into Runs().
  std::pair<size_t, size_t> LineRuns(qsizetype Line) const;
  // The run that holds the character at Pos, or null.
  const TListingRun* RunAt(qsizetype Pos) const;
  // The first Name or NameLink run carrying Anchor, or null.
  const TListingRun* Place(int64_t Anchor) const;

 private:
  void AddRun(TRunStyle Style, uint32_t Start, qsizetype Len, int64_t Anchor);
  void NoteLineEnd();

  QString FText;
  std::vector<uint32_t> FLineStarts{0};
  std::vector<TListingRun> FRuns;        // in text order, not overlapping
  std::vector<uint32_t> FByAnchor;       // indices of Name and NameLink runs, by anchor
  qsizetype FLongest = 0;
};
