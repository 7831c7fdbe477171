// The code listing as text through a sink of runs: a heading per routine,
// then offsets, bytes, instructions or data with their names marked, labels
// and line markers.
#include "CodeText.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace {

constexpr size_t BytesPerLine = 8;

constexpr char Digits[] = "0123456789ABCDEF";

void Offset(TCodeSink& Sink, uint32_t V, uint32_t ItemOffset) {
  char Buf[8];
  for (int I = 7; I >= 0; --I, V >>= 4) Buf[I] = Digits[V & 0xF];
  Sink.Run(TCodeRunKind::Offset, std::string_view(Buf, 8), ItemOffset);
}

// N bytes (at most BytesPerLine) in hexadecimal, padded to the column, or
// (Trim) without the blanks after them.
void Bytes(TCodeSink& Sink, const uint8_t* P, size_t N, bool Trim) {
  char Buf[BytesPerLine * 3 + 1];
  std::memset(Buf, ' ', sizeof Buf);
  for (size_t I = 0; I < N; ++I) {
    Buf[3 * I] = Digits[P[I] >> 4];
    Buf[3 * I + 1] = Digits[P[I] & 0xF];
  }
  if (!Trim) {
    Sink.Run(TCodeRunKind::Bytes, std::string_view(Buf, sizeof Buf), NoCodeAnchor);
  } else if (N) {
    Sink.Run(TCodeRunKind::Bytes, std::string_view(Buf, 3 * N - 1), NoCodeAnchor);
  }
}

void LineMarker(TCodeSink& Sink, const TCodeLine& L) {
  Sink.Run(TCodeRunKind::Plain, "  ", NoCodeAnchor);
  std::string M = "; ";
  if (!L.File.empty()) {
    M += L.File;
    M += ' ';
  }
  M += std::to_string(L.Line);
  if (L.HasSource) M += ": ";
  Sink.Run(TCodeRunKind::Marker, M, L.Line);
  if (L.HasSource && !L.Source.empty()) Sink.Run(TCodeRunKind::Source, L.Source, L.Line);
  Sink.EndLine();
}

// The names in item It's text: the spans from Next on (the items come in
// text order, and so do the spans), Next moved past them. As
// TCodeRoutine::ItemSpans, without its search.
std::span<const TCodeSpan> NextItemSpans(const TCodeRoutine& R, const TCodeItem& It, size_t& Next) {
  const size_t N = R.Spans.size();
  while (Next < N && R.Spans[Next].Start < It.TextStart) ++Next;
  const size_t First = Next;
  while (Next < N && R.Spans[Next].Start < It.TextStart + It.TextSize) ++Next;
  return {R.Spans.data() + First, Next - First};
}

// An item's text with its names.
void ItemText(TCodeSink& Sink, const TCodeRoutine& R, const TCodeItem& It, std::span<const TCodeSpan> Spans) {
  const std::string_view Text = R.ItemText(It);
  uint32_t At = 0;
  for (const TCodeSpan& S : Spans) {
    const uint32_t From = S.Start - It.TextStart;
    if (From < At || From + static_cast<size_t>(S.Len) > Text.size()) continue;
    if (From > At) Sink.Run(TCodeRunKind::Plain, Text.substr(At, From - At), NoCodeAnchor);
    Sink.Name(Text.substr(From, S.Len), S);
    At = From + S.Len;
  }
  if (At < Text.size()) Sink.Run(TCodeRunKind::Plain, Text.substr(At), NoCodeAnchor);
}

}  // namespace

TCodeRunKind CodeRunKindOf(TCodeRefKind K) {
  switch (K) {
    case TCodeRefKind::Label: return TCodeRunKind::LabelRef;
    case TCodeRefKind::Routine: return TCodeRunKind::RoutineRef;
    case TCodeRefKind::Decl: return TCodeRunKind::DeclRef;
    case TCodeRefKind::Import: return TCodeRunKind::ImportRef;
    case TCodeRefKind::Unresolved: return TCodeRunKind::Unresolved;
  }
  return TCodeRunKind::Unresolved;
}

int64_t CodeAnchorOf(const TCodeSpan& S) {
  switch (S.Kind) {
    case TCodeRefKind::Label: return S.Target;
    case TCodeRefKind::Routine:
    case TCodeRefKind::Decl: return S.DeclOffset == NoCodeDecl ? NoCodeAnchor : S.DeclOffset;
    default: return NoCodeAnchor;
  }
}

std::string DefaultRoutineHeading(const TCodeRoutineHead& H) {
  switch (H.Role) {
    case TRoutineRole::Initialization: return H.QualifiedName + " (initialization)";
    case TRoutineRole::Finalization: return H.QualifiedName + " (finalization)";
    default: return H.QualifiedName;
  }
}

void WriteRoutineListing(const TCodeRoutine& R, TCodeSink& Sink, const TCodeTextOptions& Options) {
  Sink.Run(TCodeRunKind::Heading, Options.Heading ? Options.Heading(R.Head) : DefaultRoutineHeading(R.Head),
           R.Head.DeclOffset);
  Sink.EndLine();
  size_t L = 0, Lab = 0, Sp = 0;
  for (size_t K = 0; K < R.Items.size(); ++K) {
    const TCodeItem& It = R.Items[K];
    Sink.BeginItem(R, K);
    // The item's label, then the markers at its first byte and any that
    // fall inside it.
    for (; Lab < R.Labels.size() && R.Labels[Lab].Offset <= It.Offset; ++Lab)
      if (R.Labels[Lab].Offset == It.Offset) {
        Sink.Run(TCodeRunKind::LabelDef, R.Labels[Lab].Name, It.Offset);
        Sink.Run(TCodeRunKind::Plain, ":", NoCodeAnchor);
        Sink.EndLine();
      }
    for (; L < R.Lines.size() && R.Lines[L].Offset < It.Offset + It.Size; ++L) LineMarker(Sink, R.Lines[L]);
    Sink.Run(TCodeRunKind::Plain, "  ", NoCodeAnchor);
    Offset(Sink, R.Head.Offset + It.Offset, It.Offset);
    Sink.Run(TCodeRunKind::Plain, "  ", NoCodeAnchor);
    const uint8_t* P = R.Bytes.data() + It.Offset;
    const bool Whole = It.Offset + static_cast<size_t>(It.Size) <= R.Bytes.size();
    if (Options.Bytes && Whole) Bytes(Sink, P, std::min<size_t>(It.Size, BytesPerLine), false);
    ItemText(Sink, R, It, NextItemSpans(R, It, Sp));
    Sink.EndLine();
    if (Options.Bytes && Whole)
      for (size_t B = BytesPerLine; B < It.Size; B += BytesPerLine) {
        Sink.Run(TCodeRunKind::Plain, "  ", NoCodeAnchor);
        Offset(Sink, R.Head.Offset + It.Offset + static_cast<uint32_t>(B), It.Offset);
        Sink.Run(TCodeRunKind::Plain, "  ", NoCodeAnchor);
        Bytes(Sink, P + B, std::min<size_t>(It.Size - B, BytesPerLine), true);
        Sink.EndLine();
      }
  }
  for (; L < R.Lines.size(); ++L) LineMarker(Sink, R.Lines[L]);
}

void WriteRoutineText(const TCodeRoutine& R, std::string& Out, const TCodeTextOptions& Options) {
  TCodeTextSink Sink(Out);
  WriteRoutineListing(R, Sink, Options);
}
