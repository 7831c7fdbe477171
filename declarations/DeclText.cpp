// Texts with marked runs, and the display text of names (see DeclText.h).
#include "DeclText.h"

#include <cstring>

#include "DCU_Text.h"

TDeclSpans::THead* TDeclSpans::Block(uint32_t Room, const TDeclSpan* From, uint32_t Size) {
  // The spans follow the head without padding; the block's address (aligned
  // for any object, DeclMemory.h) leaves the lowest bit free for the flag.
  static_assert(sizeof(THead) % alignof(TDeclSpan) == 0 && __STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 2);
  auto* H = static_cast<THead*>(AllocateDeclMemory(BlockSize(Room)));
  H->Size = Size;
  H->Room = Room;
  if (Size) std::memcpy(static_cast<void*>(Items(H)), From, size_t(Size) * sizeof(TDeclSpan));
  return H;
}

void TDeclSpans::CopyBlock(const TDeclSpans& S) {
  const auto N = static_cast<uint32_t>(S.size());
  Bits |= reinterpret_cast<uintptr_t>(Block(N, S.begin(), N));
}

TDeclSpans& TDeclSpans::Assign(const TDeclSpans& S) {
  if (this != &S) *this = TDeclSpans(S);
  return *this;
}

void TDeclSpans::push_back(const TDeclSpan& S) {
  THead* H = Head();
  if (!H || H->Size == H->Room) {
    const uint32_t Size = H ? H->Size : 0;
    THead* Grown = Block(Size ? Size * 2 : 2, H ? Items(H) : nullptr, Size);
    if (H) ReleaseDeclMemory(H, BlockSize(H->Room));
    Bits = (Bits & NotKept) | reinterpret_cast<uintptr_t>(Grown);
    H = Grown;
  }
  Items(H)[H->Size++] = S;
}

void TDeclText::Add(TDeclRunKind Kind, std::string_view S, int64_t Anchor) {
  if (S.empty()) return;
  if (Kind != TDeclRunKind::Plain && KeepSpans())
    Spans.push_back(
        TDeclSpan{static_cast<uint32_t>(Text.size()), static_cast<uint32_t>(S.size()), Kind, static_cast<int32_t>(Anchor)});
  Text += S;
}

void TDeclText::Append(const TDeclText& T) {
  const auto Shift = static_cast<uint32_t>(Text.size());
  Text += T.Text;
  if (KeepSpans())
    for (TDeclSpan S : T.Spans) {
      S.Start += Shift;
      Spans.push_back(S);
    }
}

void TPlainLine::Grow(size_t N) {
  while (Cap - Used < N) Cap *= 2;
  auto New = std::make_unique_for_overwrite<char[]>(Cap);
  std::memcpy(New.get(), Buf.get(), Used);
  Buf = std::move(New);
}

void TDeclText::AddName(TDeclRunKind Kind, std::string_view Bytes, int64_t Anchor) {
  if (IsPlainAscii(Bytes)) Add(Kind, Bytes, Anchor);
  else Add(Kind, DisplayUtf8(Bytes), Anchor);
}

// Plain names (nearly all) are copied at once.
std::string DeclDisplayText(std::string_view Bytes) {
  return IsPlainAscii(Bytes) ? std::string(Bytes) : DisplayUtf8(Bytes);
}

TDeclString DeclDisplayName(std::string_view Bytes) {
  return IsPlainAscii(Bytes) ? TDeclString(Bytes) : TDeclString(DisplayUtf8(Bytes));
}
