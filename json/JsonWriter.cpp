// The JSON writer's buffer, containers and the checked path of strings:
// escapes and the UTF-8 check (see JsonWriter.h).
#include "JsonWriter.h"

#include <algorithm>

namespace {

// One ASCII byte as string content: as it stands, or its escape.
char* EscapedAsciiAt(char* P, unsigned char C) {
  static constexpr char Short[] = "btn\0fr";  // 0x08 .. 0x0D; 0x0B has none
  if (C == '"' || C == '\\') {
    *P++ = '\\';
    *P++ = static_cast<char>(C);
  } else if (C >= 0x20) {
    *P++ = static_cast<char>(C);
  } else if (C >= 0x08 && C <= 0x0D && Short[C - 0x08]) {
    *P++ = '\\';
    *P++ = Short[C - 0x08];
  } else {
    static constexpr char Hex[] = "0123456789abcdef";
    std::memcpy(P, "\\u00", 4);
    P[4] = Hex[C >> 4];
    P[5] = Hex[C & 15];
    P += 6;
  }
  return P;
}

// The bytes that may follow the lead byte Lead as the second byte of a
// well-formed sequence (the others take 0x80 .. 0xBF), and how many bytes
// follow it; 0 for a byte that cannot begin a sequence.
struct TLead {
  unsigned char Low = 0x80, High = 0xBF;
  int Follow = 0;
};

TLead LeadOf(unsigned char C) {
  if (C >= 0xC2 && C <= 0xDF) return {0x80, 0xBF, 1};
  if (C == 0xE0) return {0xA0, 0xBF, 2};
  if (C == 0xED) return {0x80, 0x9F, 2};  // no surrogates
  if (C >= 0xE1 && C <= 0xEF) return {0x80, 0xBF, 2};
  if (C == 0xF0) return {0x90, 0xBF, 3};  // no overlong forms
  if (C == 0xF4) return {0x80, 0x8F, 3};  // nothing above U+10FFFF
  if (C >= 0xF1 && C <= 0xF3) return {0x80, 0xBF, 3};
  return {};
}

constexpr char Replacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The sequence that begins at V[I] (a byte 0x80 or above) at P: copied when
// it is well-formed, else one U+FFFD for the bytes up to the one that breaks
// it, which is read again as the start of what follows (a lead byte that
// begins nothing is replaced alone; a sequence cut off by the end, once).
// Returns where reading goes on.
size_t SequenceAt(char*& P, std::string_view V, size_t I) {
  const TLead L = LeadOf(static_cast<unsigned char>(V[I]));
  size_t K = I + 1;
  for (int N = 0; N < L.Follow; ++N, ++K) {
    if (K >= V.size()) break;
    const auto C = static_cast<unsigned char>(V[K]);
    if (C < (N == 0 ? L.Low : 0x80) || C > (N == 0 ? L.High : 0xBF)) break;
  }
  if (L.Follow > 0 && K == I + 1 + static_cast<size_t>(L.Follow)) {
    std::memcpy(P, V.data() + I, K - I);
    P += K - I;
    return K;
  }
  std::memcpy(P, Replacement, 3);
  P += 3;
  return L.Follow > 0 ? K : I + 1;
}

}  // namespace

TJsonWriter::TJsonWriter(TSink S, TJsonLayout Layout)
    : Sink(std::move(S)), Buf(std::make_unique_for_overwrite<char[]>(Cap + Slack)) {
  Top.Layout = Layout;
  Outer.reserve(16);
}

TJsonWriter::TJsonWriter(std::string& Out, TJsonLayout Layout)
    : TJsonWriter([&Out](std::string_view Bytes) { Out.append(Bytes); }, Layout) {}

TJsonWriter::TJsonWriter(TJsonPieces& Pieces, size_t Depth) : TJsonWriter([](std::string_view) {}) {
  Keep = &Pieces;
  Outer.assign(Depth, TLevel{});
  AfterKey = true;  // the value begins at once: its separator is the placer's
}

TJsonWriter::~TJsonWriter() {
  if (Keep) {
    if (Used > 0) Keep->push_back({std::move(Buf), Used});
    return;
  }
  Flush();
}

void TJsonWriter::Flush() { Spill(0); }

void TJsonWriter::Spill(size_t N) {
  if (Keep && Used > 0) {
    Keep->push_back({std::move(Buf), Used});
    Cap = std::max(Cap, N);
    Buf = std::make_unique_for_overwrite<char[]>(Cap + Slack);
    Used = 0;
    return;
  }
  if (Used > 0) Sink(std::string_view(Buf.get(), Used));
  Used = 0;
  if (N > Cap) {
    Cap = N;
    Buf = std::make_unique_for_overwrite<char[]>(Cap + Slack);
  }
}

void TJsonWriter::RawItem(const TJsonPieces& Pieces) {
  Commit(ValueAt(Room(Indent())));
  for (const TJsonPiece& Piece : Pieces) {
    if (Piece.Size >= Cap / 2) {
      Spill(0);
      Sink(std::string_view(Piece.Bytes.get(), Piece.Size));
      continue;
    }
    char* P = Room(Piece.Size);
    std::memcpy(P, Piece.Bytes.get(), Piece.Size);
    Commit(P + Piece.Size);
  }
}

void TJsonWriter::Open(char C, TJsonLayout L) {
  char* P = ValueAt(Room(Indent() + 1));
  *P++ = C;
  Commit(P);
  Outer.push_back(Top);
  Top = {0, Top.Layout == TJsonLayout::Pretty ? L : TJsonLayout::Flat};
}

void TJsonWriter::Close(char C) {
  char* P = Room(Indent() + 1);
  if (Top.Items > 0 && Top.Layout != TJsonLayout::Flat) P = LineAt(P, Outer.size() - 1);
  *P++ = C;
  Commit(P);
  Top = Outer.back();
  Outer.pop_back();
}

void TJsonWriter::TextKey(std::string_view K) {
  char* P = StringAt(ItemAt(Room(StringRoom(K) + Indent() + 2)), K);
  *P++ = ':';
  if (Top.Layout != TJsonLayout::Flat) *P++ = ' ';
  Commit(P);
  AfterKey = true;
}

// The rest of V from From on, and the closing quote: plain stretches of
// eight bytes copied as they are, the bytes between escaped or checked.
char* TJsonWriter::StringRestAt(char* P, std::string_view V, size_t From) {
  const size_t N = V.size();
  for (size_t I = From; I < N;) {
    uint64_t W;
    if (I + 8 <= N && (std::memcpy(&W, V.data() + I, 8), PlainWord(W))) {
      std::memcpy(P, &W, 8);
      P += 8;
      I += 8;
    } else if (const auto C = static_cast<unsigned char>(V[I]); C < 0x80) {
      P = EscapedAsciiAt(P, C);
      ++I;
    } else {
      I = SequenceAt(P, V, I);
    }
  }
  *P++ = '"';
  return P;
}
