// The texts of the declarations outline: UTF-8 text with marked runs
// (keywords, comments, the names declarations define, type names), and the
// display text of the unit's 8-bit names.
//
// A run that names a declaration of the same unit carries its anchor: the
// file offset of the tag byte that declaration's record began with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "DeclString.h"

// What a piece of listing text is: the listing writer hands text to its sink
// in runs of one kind.
enum class TDeclRunKind : uint8_t {
  Plain,
  Keyword,  // reserved words: type, record, procedure, array, of, ...
  Comment,  // {...}: values shown as bytes, unresolved numbers, notes
  NameDef,  // the name an entry or member declares (anchor: its offset)
  TypeRef,  // a type name (anchor: the declaration it names, or none)
};

inline constexpr int64_t NoAnchor = -1;

// A marked stretch of a text. The anchor is kept in 32 bits (a unit file is
// below 2 GiB), so that a span takes 16 bytes.
struct TDeclSpan {
  uint32_t Start = 0;
  uint32_t Len = 0;
  TDeclRunKind Kind = TDeclRunKind::Plain;
  int32_t Anchor = NoAnchor;
};

// The marked runs of a text, in one pointer's room: a block on the heap
// (its count, its room, then the spans; none while there are no spans),
// and in the pointer's lowest bit whether the text keeps spans at all.
class TDeclSpans {
 public:
  TDeclSpans() = default;
  TDeclSpans(const TDeclSpans& S) : Bits(S.Bits & NotKept) {
    if (S.Head()) CopyBlock(S);
  }
  TDeclSpans(TDeclSpans&& S) noexcept : Bits(S.Bits) { S.Bits &= NotKept; }
  // Texts without spans (nearly all) are copied and moved inline.
  TDeclSpans& operator=(const TDeclSpans& S) {
    if (Head() || S.Head()) return Assign(S);
    Bits = S.Bits;
    return *this;
  }
  TDeclSpans& operator=(TDeclSpans&& S) noexcept {
    if (this != &S) {
      if (Head()) ReleaseDeclMemory(Head(), BlockSize(Head()->Room));
      Bits = S.Bits;
      S.Bits &= NotKept;
    }
    return *this;
  }
  ~TDeclSpans() {
    if (Head()) ReleaseDeclMemory(Head(), BlockSize(Head()->Room));
  }

  bool Kept() const { return !(Bits & NotKept); }
  void SetKept(bool Keep) { Bits = (Bits & ~NotKept) | (Keep ? 0 : NotKept); }

  size_t size() const { return Head() ? Head()->Size : 0; }
  bool empty() const { return size() == 0; }
  const TDeclSpan* begin() const { return Head() ? Items(Head()) : nullptr; }
  const TDeclSpan* end() const { return begin() + size(); }
  const TDeclSpan& operator[](size_t I) const { return begin()[I]; }
  void push_back(const TDeclSpan& S);

 private:
  struct THead {
    uint32_t Size = 0, Room = 0;
  };
  static constexpr uintptr_t NotKept = 1;
  static TDeclSpan* Items(THead* H) { return reinterpret_cast<TDeclSpan*>(H + 1); }
  static size_t BlockSize(uint32_t Room) { return sizeof(THead) + size_t(Room) * sizeof(TDeclSpan); }
  THead* Head() const { return reinterpret_cast<THead*>(Bits & ~NotKept); }
  // A block with room for Room spans holding the first Size of From.
  static THead* Block(uint32_t Room, const TDeclSpan* From, uint32_t Size);
  void CopyBlock(const TDeclSpans& S);
  TDeclSpans& Assign(const TDeclSpans& S);

  uintptr_t Bits = 0;
};

// A type or value as text, with its keywords, comments and type names marked.
struct TDeclText {
  TDeclString Text;
  TDeclSpans Spans;  // in text order, not overlapping

  bool Empty() const { return Text.empty(); }
  // False: the text alone is wanted; no spans are kept.
  bool KeepSpans() const { return Spans.Kept(); }
  void SetKeepSpans(bool Keep) { Spans.SetKept(Keep); }
  void Add(TDeclRunKind Kind, std::string_view S, int64_t Anchor = NoAnchor);
  // A name of the unit (its bytes) as display text (DeclDisplayText).
  void AddName(TDeclRunKind Kind, std::string_view Bytes, int64_t Anchor = NoAnchor);
  void Plain(std::string_view S) { Text += S; }
  void Keyword(std::string_view S) { Add(TDeclRunKind::Keyword, S); }
  void Comment(std::string_view S) { Add(TDeclRunKind::Comment, S); }
  void Append(const TDeclText& T);
};

// A line's text alone, for writers that mark no runs (the "text" of the
// JSON): what TDeclText with no spans holds, made in a buffer kept from one
// line to the next, the short pieces a line is made of (" ", "; ", names)
// copied inline. The line renderings (DeclListing.h) write either.
class TPlainLine {
 public:
  TPlainLine() : Buf(std::make_unique_for_overwrite<char[]>(Cap)) {}
  void Clear() { Used = 0; }
  std::string_view View() const { return {Buf.get(), Used}; }

  void Plain(std::string_view S) {
    if (Cap - Used < S.size()) Grow(S.size());
    CopyShort(Buf.get() + Used, S);
    Used += S.size();
  }
  void Keyword(std::string_view S) { Plain(S); }
  void Comment(std::string_view S) { Plain(S); }
  void Add(TDeclRunKind, std::string_view S, int64_t = NoAnchor) { Plain(S); }
  void Append(const TDeclText& T) { Plain(T.Text); }

 private:
  // Up to sixteen bytes as two overlapping words (or single bytes), no
  // call; longer ones by memcpy.
  static void CopyShort(char* P, std::string_view S) {
    const char* From = S.data();
    const size_t N = S.size();
    if (N > 16) {
      std::memcpy(P, From, N);
    } else if (N >= 8) {
      CopyEnds<uint64_t>(P, From, N);
    } else if (N >= 4) {
      CopyEnds<uint32_t>(P, From, N);
    } else if (N > 0) {
      P[0] = From[0];
      P[N / 2] = From[N / 2];
      P[N - 1] = From[N - 1];
    }
  }
  // N bytes (one to two words of W) as the first word and the last.
  template <class W>
  static void CopyEnds(char* P, const char* From, size_t N) {
    W A, B;
    std::memcpy(&A, From, sizeof A);
    std::memcpy(&B, From + N - sizeof B, sizeof B);
    std::memcpy(P, &A, sizeof A);
    std::memcpy(P + N - sizeof B, &B, sizeof B);
  }
  void Grow(size_t N);

  size_t Cap = 1024;
  size_t Used = 0;
  std::unique_ptr<char[]> Buf;
};

// A name of the unit as UTF-8 text: its bytes read as Windows-1252, control
// characters written as ^X (the rule of the summary).
std::string DeclDisplayText(std::string_view Bytes);
// The same as the outline keeps it.
TDeclString DeclDisplayName(std::string_view Bytes);
