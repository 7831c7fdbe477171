// The code listing as plain text: a heading per routine, then offsets,
// bytes, instructions or data, labels and line markers.
#include "CodeText.h"

#include <cstring>

namespace {

constexpr size_t BytesPerLine = 8;

constexpr char Digits[] = "0123456789ABCDEF";

void AppendOffset(std::string& Out, uint32_t V) {
  char Buf[8];
  for (int I = 7; I >= 0; --I, V >>= 4) Buf[I] = Digits[V & 0xF];
  Out.append(Buf, 8);
}

// N bytes (at most BytesPerLine) in hexadecimal, padded to the column.
void AppendBytes(std::string& Out, const uint8_t* P, size_t N) {
  char Buf[BytesPerLine * 3 + 1];
  std::memset(Buf, ' ', sizeof Buf);
  for (size_t I = 0; I < N; ++I) {
    Buf[3 * I] = Digits[P[I] >> 4];
    Buf[3 * I + 1] = Digits[P[I] & 0xF];
  }
  Out.append(Buf, sizeof Buf);
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
