// The text of a listing view: lines, marked runs, the index of anchors (see ListingText.h).
#include "ListingText.h"

#include <QLatin1StringView>
#include <algorithm>
#include <limits>

namespace {
// Positions are kept in 32 bits: text past them is left out.
constexpr qsizetype MaxText = std::numeric_limits<uint32_t>::max() - 1;
constexpr qsizetype MaxRun = std::numeric_limits<uint16_t>::max();

bool IsAscii(std::string_view S) {
  for (char C : S)
    if (static_cast<unsigned char>(C) >= 0x80) return false;
  return true;
}
}  // namespace

TListingText TListingText::FromPlain(QStringView Text) {
  TListingText T;
  T.Add(TRunStyle::Plain, Text);
  return T;
}

void TListingText::NoteLineEnd() {
  FLongest = std::max<qsizetype>(FLongest, FText.size() - FLineStarts.back());
}

void TListingText::EndLine() {
  if (FText.size() >= MaxText) return;
  NoteLineEnd();
  FText += QLatin1Char('\n');
  FLineStarts.push_back(static_cast<uint32_t>(FText.size()));
}

void TListingText::AddRun(TRunStyle Style, uint32_t Start, qsizetype Len, int64_t Anchor) {
  if (Style == TRunStyle::Plain) return;
  for (qsizetype Done = 0; Done < Len; Done += MaxRun) {
    const auto N = static_cast<uint16_t>(std::min(MaxRun, Len - Done));
    FRuns.push_back({static_cast<uint32_t>(Start + Done), N, Style, Anchor});
  }
}

void TListingText::Add(TRunStyle Style, QStringView Text, int64_t Anchor) {
  while (!Text.isEmpty()) {
    const qsizetype Break = Text.indexOf(u'\n');
    const QStringView Part = Break < 0 ? Text : Text.left(Break);
    if (FText.size() + Part.size() > MaxText) {
      return;
    }
    const auto Start = static_cast<uint32_t>(FText.size());
    FText += Part;
    AddRun(Style, Start, Part.size(), Anchor);
    if (Break < 0) return;
    EndLine();
    Text = Text.mid(Break + 1);
  }
}

void TListingText::AddUtf8(TRunStyle Style, std::string_view Text, int64_t Anchor) {
  // Nearly all text is ASCII, which goes in without a QString of its own.
  if (IsAscii(Text) && Text.find('\n') == std::string_view::npos) {
    const auto Len = static_cast<qsizetype>(Text.size());
    if (FText.size() + Len > MaxText) {
      return;
    }
    const auto Start = static_cast<uint32_t>(FText.size());
    FText += QLatin1StringView(Text.data(), Len);
    AddRun(Style, Start, Len, Anchor);
    return;
  }
  Add(Style, QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size())), Anchor);
}

void TListingText::Finish() {
  NoteLineEnd();
  FByAnchor.clear();
  for (size_t I = 0; I < FRuns.size(); ++I) {
    const TListingRun& R = FRuns[I];
    if ((R.Style == TRunStyle::Name || R.Style == TRunStyle::NameLink) && R.Anchor != NoListingAnchor)
      FByAnchor.push_back(static_cast<uint32_t>(I));
  }
  // Stable: of several runs with one anchor the first in the text is its place.
  std::stable_sort(FByAnchor.begin(), FByAnchor.end(),
                   [this](uint32_t A, uint32_t B) { return FRuns[A].Anchor < FRuns[B].Anchor; });
}

qsizetype TListingText::LineEnd(qsizetype Line) const {
  return Line + 1 < LineCount() ? LineStart(Line + 1) - 1 : FText.size();
}

QStringView TListingText::Line(qsizetype Line) const {
  if (Line < 0 || Line >= LineCount()) return {};
  return QStringView(FText).mid(LineStart(Line), LineEnd(Line) - LineStart(Line));
}

qsizetype TListingText::LineOf(qsizetype Pos) const {
  if (Pos <= 0) return 0;
  auto It = std::upper_bound(FLineStarts.begin(), FLineStarts.end(), static_cast<uint64_t>(Pos),
                             [](uint64_t P, uint32_t S) { return P < S; });
  return static_cast<qsizetype>(It - FLineStarts.begin()) - 1;
}

std::pair<size_t, size_t> TListingText::LineRuns(qsizetype Line) const {
  const auto Start = static_cast<uint64_t>(LineStart(Line)), End = static_cast<uint64_t>(LineEnd(Line));
  auto First = std::lower_bound(FRuns.begin(), FRuns.end(), Start,
                                [](const TListingRun& R, uint64_t P) { return R.Start < P; });
  auto Last = std::lower_bound(First, FRuns.end(), End, [](const TListingRun& R, uint64_t P) { return R.Start < P; });
  return {static_cast<size_t>(First - FRuns.begin()), static_cast<size_t>(Last - FRuns.begin())};
}

const TListingRun* TListingText::RunAt(qsizetype Pos) const {
  if (Pos < 0) return nullptr;
  auto It = std::upper_bound(FRuns.begin(), FRuns.end(), static_cast<uint64_t>(Pos),
                             [](uint64_t P, const TListingRun& R) { return P < R.Start; });
  if (It == FRuns.begin()) return nullptr;
  --It;
  return static_cast<uint64_t>(Pos) < It->End() ? &*It : nullptr;
}

const TListingRun* TListingText::Place(int64_t Anchor) const {
  auto It = std::lower_bound(FByAnchor.begin(), FByAnchor.end(), Anchor,
                             [this](uint32_t I, int64_t A) { return FRuns[I].Anchor < A; });
  return It != FByAnchor.end() && FRuns[*It].Anchor == Anchor ? &FRuns[*It] : nullptr;
}
