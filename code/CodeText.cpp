#include "CodeText.h"

#include <cstdio>

namespace {

constexpr size_t BytesPerLine = 8;

void AppendOffset(std::string& Out, uint32_t V) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%08X", V);
  Out += Buf;
}

void AppendBytes(std::string& Out, const uint8_t* P, size_t N) {
  static const char Digits[] = "0123456789ABCDEF";
  const size_t Start = Out.size();
  for (size_t I = 0; I < N; ++I) {
    if (I) Out += ' ';
    Out += Digits[P[I] >> 4];
    Out += Digits[P[I] & 0xF];
  }
  Out.append(BytesPerLine * 3 + 1 - (Out.size() - Start), ' ');
}

void AppendLineMarker(std::string& Out, const TCodeLine& L) {
  Out += "  ; ";
  if (!L.File.empty()) {
    Out += L.File;
    Out += ' ';
  }
  Out += std::to_string(L.Line);
  if (L.HasSource) {
    Out += ": ";
    Out += L.Source;
  }
  Out += '\n';
}

}  // namespace

std::string DefaultRoutineHeading(const TCodeRoutineHead& H) {
  switch (H.Role) {
    case TRoutineRole::Initialization: return H.QualifiedName + " (initialization)";
    case TRoutineRole::Finalization: return H.QualifiedName + " (finalization)";
    default: return H.QualifiedName;
  }
}

void WriteRoutineText(const TCodeRoutine& R, std::string& Out, const TCodeTextOptions& Options) {
  Out += Options.Heading ? Options.Heading(R.Head) : DefaultRoutineHeading(R.Head);
  Out += '\n';
  size_t L = 0, Lab = 0;
  for (const TCodeItem& It : R.Items) {
    // The item's label, then the markers at its first byte and any that
    // fall inside it.
    for (; Lab < R.Labels.size() && R.Labels[Lab].Offset <= It.Offset; ++Lab)
      if (R.Labels[Lab].Offset == It.Offset) {
        Out += R.Labels[Lab].Name;
        Out += ":\n";
      }
    for (; L < R.Lines.size() && R.Lines[L].Offset < It.Offset + It.Size; ++L) AppendLineMarker(Out, R.Lines[L]);
    Out += "  ";
    AppendOffset(Out, R.Head.Offset + It.Offset);
    Out += "  ";
    const uint8_t* P = R.Bytes.data() + It.Offset;
    const bool Whole = It.Offset + static_cast<size_t>(It.Size) <= R.Bytes.size();
    if (Options.Bytes && Whole) AppendBytes(Out, P, std::min<size_t>(It.Size, BytesPerLine));
    Out += R.ItemText(It);
    Out += '\n';
    if (Options.Bytes && Whole)
      for (size_t K = BytesPerLine; K < It.Size; K += BytesPerLine) {
        Out += "  ";
        AppendOffset(Out, R.Head.Offset + It.Offset + static_cast<uint32_t>(K));
        Out += "  ";
        AppendBytes(Out, P + K, std::min<size_t>(It.Size - K, BytesPerLine));
        while (!Out.empty() && Out.back() == ' ') Out.pop_back();
        Out += '\n';
      }
  }
  for (; L < R.Lines.size(); ++L) AppendLineMarker(Out, R.Lines[L]);
}
