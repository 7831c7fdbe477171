// The one JSON writer of the programs: the facts of `--json`, the
// declarations, the folder report. It streams: values go out as they are
// written, through a buffer of its own that is handed to a sink whenever it
// is full, so that a unit with a hundred thousand declarations never stands
// as a tree in memory.
//
// Two layouts, which may be mixed in one text. Pretty is the layout of
// nlohmann::json's dump(2): every array item and object member on a line of
// its own, indented by two blanks a level, "key": value, empty containers as
// [] and {}. Flat is the layout of dump(): no blank and no line break. A
// container written FlatItems puts its items on lines of their own, each
// item flat (a declaration, a unit of the folder report).
//
// Strings are escaped as nlohmann::json escapes them (\" \\ \b \f \n \r \t,
// other control characters as \u00xx) and must come out as UTF-8: bytes that
// are no valid UTF-8 (a path in another encoding) are each replaced by
// U+FFFD as its dump with error_handler_t::replace replaces them. Strings of
// plain ASCII take an inline path of eight bytes a step; the rest goes
// through one checked path (JsonWriter.cpp).
//
// Keys and values come in the order they are written; the writer keeps no
// order of its own. Qt-free.
#pragma once

#include <bit>
#include <charconv>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum class TJsonLayout : uint8_t { Pretty, Flat, FlatItems };

// A value written ahead (see TJsonWriter's constructor for a depth): the
// writer's buffers as they filled, taken over whole.
struct TJsonPiece {
  std::unique_ptr<char[]> Bytes;
  size_t Size = 0;
};
using TJsonPieces = std::vector<TJsonPiece>;

// A key known when the program is built: plain printable ASCII without '"'
// and '\\', so that it is copied as it stands. Anything else does not
// compile; keys made at run time go through TJsonWriter::TextKey.
class TJsonKey {
 public:
  template <size_t N>
  consteval TJsonKey(const char (&S)[N]) : Text(S), Size(N - 1) {
    for (size_t I = 0; I + 1 < N; ++I)
      if (S[I] < 0x20 || S[I] > 0x7E || S[I] == '"' || S[I] == '\\') throw "a key that needs escaping";
  }
  const char* Text;
  size_t Size;
};

class TJsonWriter {
 public:
  // Where the written bytes go, a buffer at a time.
  using TSink = std::function<void(std::string_view)>;

  // Layout is that of the outermost value; nested containers take their
  // parent's unless they are opened with one of their own.
  explicit TJsonWriter(TSink Sink, TJsonLayout Layout = TJsonLayout::Pretty);
  // Appends to Out; Out holds everything written once Flush has run.
  explicit TJsonWriter(std::string& Out, TJsonLayout Layout = TJsonLayout::Pretty);
  // Writes one value as a pretty text has it Depth containers deep (the
  // value of a member, or an item whose separator goes before it), its
  // lines indented for that place, where RawItem puts it later: a value
  // can so be written on one thread and placed on another. Pieces gets
  // what is written, a buffer at a time.
  TJsonWriter(TJsonPieces& Pieces, size_t Depth);
  ~TJsonWriter();  // flushes (a writer for a depth hands over its last buffer)
  TJsonWriter(const TJsonWriter&) = delete;
  TJsonWriter& operator=(const TJsonWriter&) = delete;

  // Hands what is buffered to the sink.
  void Flush();

  // Containers. A layout given here holds for this container and what it
  // holds; inside a flat container everything is flat.
  void BeginObject(TJsonLayout L) { Open('{', L); }
  void BeginObject() { Open('{', ChildLayout()); }
  void EndObject() { Close('}'); }
  void BeginArray(TJsonLayout L) { Open('[', L); }
  void BeginArray() { Open('[', ChildLayout()); }
  void EndArray() { Close(']'); }

  // A member's key; its value follows.
  void Key(TJsonKey K) {
    Commit(KeyAt(Room(K.Size + 8 + Indent()), K));
    AfterKey = true;
  }
  void TextKey(std::string_view K);

  // Values (array items, or after a key).
  void String(std::string_view V) {
    char* P = Room(StringRoom(V) + Indent());
    Commit(StringAt(ValueAt(P), V));
  }
  template <std::integral T>
  void Number(T V) {
    char* P = ValueAt(Room(24 + Indent()));
    Commit(std::to_chars(P, P + 24, V).ptr);
  }
  void Bool(bool V) { V ? Literal("true") : Literal("false"); }
  void Null() { Literal("null"); }

  // A member in one step.
  void String(TJsonKey K, std::string_view V) {
    char* P = Room(K.Size + 8 + Indent() + StringRoom(V));
    Commit(StringAt(KeyAt(P, K), V));
  }
  template <std::integral T>
  void Number(TJsonKey K, T V) {
    char* P = KeyAt(Room(K.Size + 32 + Indent()), K);
    Commit(std::to_chars(P, P + 24, V).ptr);
  }
  void Bool(TJsonKey K, bool V) {
    Key(K);
    Bool(V);
  }
  void Null(TJsonKey K) {
    Key(K);
    Null();
  }
  // A member whose value is JSON text made beforehand (by Quote, numbers
  // and the punctuation of the flat layout): copied as it stands. The text
  // must be one flat JSON value; the writer does not look into it.
  void Raw(TJsonKey K, std::string_view Json) {
    char* P = KeyAt(Room(K.Size + 8 + Indent() + Json.size()), K);
    std::memcpy(P, Json.data(), Json.size());
    Commit(P + Json.size());
  }

  // An item whose flat JSON text was made beforehand (by TJsonFlat), or a
  // value a writer made for this place (of its depth): placed where the
  // open container puts an item (or after the key), copied as it stands.
  void RawItem(std::string_view Json) {
    char* P = ValueAt(Room(Json.size() + Indent()));
    std::memcpy(P, Json.data(), Json.size());
    Commit(P + Json.size());
  }

  // The same for a value written ahead in pieces (the buffers of a writer
  // made for its depth): large pieces go to the sink as they are, without
  // a copy into the buffer.
  void RawItem(const TJsonPieces& Pieces);
  // An item written straight into the writer's buffer, for items written
  // by the million (the instructions of a code listing): Make(P) writes at
  // most Size bytes of one flat JSON value at P and returns where it ends.
  // Placed where the open container puts an item, as RawItem places it.
  template <class TMake>
  void ItemInPlace(size_t Size, TMake&& Make) {
    char* P = ValueAt(Room(Size + Indent()));
    Commit(Make(P));
  }
  // V quoted and escaped at P, as String writes it; returns its end. P must
  // have QuotedRoom(V) bytes.
  static char* QuotedAt(char* P, std::string_view V) { return StringAt(P, V); }
  static size_t QuotedRoom(std::string_view V) { return StringRoom(V); }

  // V as a JSON string, quoted and escaped as String writes it, appended to
  // Out: a piece of a value given to Raw later.
  static void Quote(std::string& Out, std::string_view V) {
    const size_t At = Out.size();
    Out.resize(At + StringRoom(V));
    const char* End = StringAt(Out.data() + At, V);
    Out.resize(static_cast<size_t>(End - Out.data()));
  }

 private:
  struct TLevel {
    uint32_t Items = 0;
    TJsonLayout Layout = TJsonLayout::Pretty;
  };

  // Output buffer: Room(N) gives a place with N bytes free, Commit says
  // where the written bytes end.
  char* Room(size_t N) {
    if (Cap - Used < N) Spill(N);
    return Buf.get() + Used;
  }
  void Commit(const char* End) { Used = static_cast<size_t>(End - Buf.get()); }
  void Spill(size_t N);

  TJsonLayout ChildLayout() const {
    return Top.Layout == TJsonLayout::Pretty ? TJsonLayout::Pretty : TJsonLayout::Flat;
  }
  // Room for the separator and line break before an item.
  size_t Indent() const { return 2 * Outer.size() + 4; }
  void Open(char C, TJsonLayout L);
  void Close(char C);

  // The separator of a new item of the open container at P.
  char* ItemAt(char* P) {
    if (Top.Items++ > 0) *P++ = ',';
    if (Top.Layout != TJsonLayout::Flat && !Outer.empty()) P = LineAt(P, Outer.size());
    return P;
  }
  // A line break and the blanks of Level. Up to eight levels, sixteen
  // blanks are stored in one step whatever the level (the buffer has Slack
  // bytes past its end for them).
  char* LineAt(char* P, size_t Level) {
    *P++ = '\n';
    if (Level <= 8) std::memcpy(P, "                ", 16);
    else std::memset(P, ' ', 2 * Level);
    return P + 2 * Level;
  }
  // What goes before a value: nothing after a key, else a new item.
  char* ValueAt(char* P) {
    if (AfterKey) {
      AfterKey = false;
      return P;
    }
    return ItemAt(P);
  }
  // '"key": ' at P, after the separator; the value follows at once.
  char* KeyAt(char* P, TJsonKey K) {
    P = ItemAt(P);
    *P++ = '"';
    std::memcpy(P, K.Text, K.Size);
    P += K.Size;
    *P++ = '"';
    *P++ = ':';
    if (Top.Layout != TJsonLayout::Flat) *P++ = ' ';
    return P;
  }
  template <size_t N>
  void Literal(const char (&L)[N]) {
    char* P = ValueAt(Room(N + Indent()));
    std::memcpy(P, L, N - 1);
    Commit(P + N - 1);
  }

  // The room a string needs: six bytes a byte (\u00xx) and the quotes, with
  // eight to spare for the last step of the inline path.
  static size_t StringRoom(std::string_view V) { return 6 * V.size() + 10; }
  static bool PlainWord(uint64_t W);
  static bool PlainBlock(const char* S);
  static char* StringAt(char* P, std::string_view V);
  static char* StringRestAt(char* P, std::string_view V, size_t From);

  friend class TJsonFlat;

  TSink Sink;
  static constexpr size_t Slack = 16;
  size_t Cap = 64u << 10;
  size_t Used = 0;
  std::unique_ptr<char[]> Buf;
  TJsonPieces* Keep = nullptr;  // takes the full buffers instead of the sink
  TLevel Top;                   // the container open now (or the outermost value)
  std::vector<TLevel> Outer;    // the containers around it
  bool AfterKey = false;
};

// One flat JSON value made in a buffer of its own, for values written by
// the hundred thousand (the declarations of a unit, each an item of a
// FlatItems array, handed to TJsonWriter::RawItem when done): no layout and
// no levels are kept, keys are copied as the literals they are, strings are
// escaped as TJsonWriter escapes them. The caller keeps the containers
// balanced. A comma goes before each member and item but the first of its
// container: right after '{', '[' or a key none is due (one flag says so).
class TJsonFlat {
 public:
  TJsonFlat() : Buf(std::make_unique_for_overwrite<char[]>(Cap)) {}
  // Starts a new value; the buffer is kept.
  void Clear() {
    Used = 0;
    NoComma = true;
  }
  std::string_view Text() const { return {Buf.get(), Used}; }

  void BeginObject() { Put('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Put('['); }
  void EndArray() { Close(']'); }
  void Key(TJsonKey K) {
    Commit(KeyAt(Room(K.Size + 4), K));
    NoComma = true;  // the value follows
  }

  void String(std::string_view V) {
    char* P = ItemAt(Room(TJsonWriter::StringRoom(V) + 1));
    Commit(TJsonWriter::StringAt(P, V));
  }
  void String(TJsonKey K, std::string_view V) {
    Commit(TJsonWriter::StringAt(KeyAt(Room(K.Size + 4 + TJsonWriter::StringRoom(V)), K), V));
  }
  template <std::integral T>
  void Number(TJsonKey K, T V) {
    char* P = KeyAt(Room(K.Size + 28), K);
    Commit(std::to_chars(P, P + 24, V).ptr);
  }
  void True(TJsonKey K) {
    char* P = KeyAt(Room(K.Size + 8), K);
    std::memcpy(P, "true", 4);
    Commit(P + 4);
  }
  // A member whose value is flat JSON text made beforehand.
  void Raw(TJsonKey K, std::string_view Json) {
    char* P = KeyAt(Room(K.Size + 4 + Json.size()), K);
    std::memcpy(P, Json.data(), Json.size());
    Commit(P + Json.size());
  }

 private:
  char* Room(size_t N) {
    if (Cap - Used < N) Grow(N);
    return Buf.get() + Used;
  }
  void Grow(size_t N) {
    while (Cap - Used < N) Cap *= 2;
    auto New = std::make_unique_for_overwrite<char[]>(Cap);
    std::memcpy(New.get(), Buf.get(), Used);
    Buf = std::move(New);
  }
  void Commit(char* End) { Used = static_cast<size_t>(End - Buf.get()); }
  char* ItemAt(char* P) {
    if (!NoComma) *P++ = ',';
    NoComma = false;
    return P;
  }
  char* KeyAt(char* P, TJsonKey K) {
    P = ItemAt(P);
    *P++ = '"';
    std::memcpy(P, K.Text, K.Size);
    P += K.Size;
    *P++ = '"';
    *P++ = ':';
    return P;
  }
  void Put(char C) {
    char* P = ItemAt(Room(2));
    *P++ = C;
    Commit(P);
    NoComma = true;  // the container's first item follows
  }
  void Close(char C) {
    char* P = Room(1);
    *P++ = C;
    Commit(P);
    NoComma = false;
  }

  size_t Cap = 4096;
  size_t Used = 0;
  std::unique_ptr<char[]> Buf;
  bool NoComma = true;  // at the start of the value, of a container, or after a key
};

// Whether the eight bytes of W are all ASCII other than the control
// characters below 0x20, '"' and '\\': bytes a JSON string holds as they are.
// With SSE2 the comparisons of PlainBlock on the low half of a register.
inline bool TJsonWriter::PlainWord(uint64_t W) {
#if defined(__SSE2__) && defined(__x86_64__)
  const __m128i X = _mm_cvtsi64_si128(static_cast<long long>(W));
  const __m128i Bad = _mm_or_si128(_mm_cmplt_epi8(X, _mm_set1_epi8(0x20)),
                                   _mm_or_si128(_mm_cmpeq_epi8(X, _mm_set1_epi8('"')),
                                                _mm_cmpeq_epi8(X, _mm_set1_epi8('\\'))));
  return (_mm_movemask_epi8(Bad) & 0xFF) == 0;
#else
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  auto HasZero = [](uint64_t X) { return (X - Ones) & ~X & Highs; };
  const uint64_t Below20 = (W - Ones * 0x20) & ~W;
  return ((Below20 | HasZero(W ^ (Ones * '"')) | HasZero(W ^ (Ones * '\\')) | W) & Highs) == 0;
#endif
}

// Whether the sixteen bytes at S are all plain (as PlainWord says of
// eight): one signed comparison finds both the control characters and the
// bytes from 0x80 up.
inline bool TJsonWriter::PlainBlock(const char* S) {
#if defined(__SSE2__)
  const __m128i X = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
  const __m128i Bad = _mm_or_si128(_mm_cmplt_epi8(X, _mm_set1_epi8(0x20)),
                                   _mm_or_si128(_mm_cmpeq_epi8(X, _mm_set1_epi8('"')),
                                                _mm_cmpeq_epi8(X, _mm_set1_epi8('\\'))));
  return _mm_movemask_epi8(Bad) == 0;
#else
  uint64_t A, B;
  std::memcpy(&A, S, 8);
  std::memcpy(&B, S + 8, 8);
  return PlainWord(A) && PlainWord(B);
#endif
}

// V quoted at P. A text of sixteen bytes or more sixteen bytes a step, its
// rest as its last sixteen bytes again, written whole over what is written
// already. A shorter one as its first eight bytes and its last eight (a
// text of eight to fifteen), or as one word of its few bytes padded with
// blanks, written whole (within the room StringRoom gives) before P moves
// on by its length. The first piece that is not plain sends the rest to the
// checked path.
inline char* TJsonWriter::StringAt(char* P, std::string_view V) {
  *P++ = '"';
  const char* S = V.data();
  const size_t N = V.size();
  if (N >= 16) {
    size_t I = 0;
    for (; I + 16 <= N; I += 16) {
      if (!PlainBlock(S + I)) return StringRestAt(P, V, I);
      std::memcpy(P, S + I, 16);
      P += 16;
    }
    if (const size_t Left = N - I; Left > 0) {
      // The last sixteen bytes: those before I were found plain already.
      if (!PlainBlock(S + N - 16)) return StringRestAt(P, V, I);
      std::memcpy(P - (16 - Left), S + N - 16, 16);
      P += Left;
    }
    *P++ = '"';
    return P;
  }
  uint64_t W;
  if (N >= 8) {
    std::memcpy(&W, S, 8);
    if (!PlainWord(W)) return StringRestAt(P, V, 0);
    std::memcpy(P, &W, 8);
    // The last eight bytes, over the first ones again.
    std::memcpy(&W, S + N - 8, 8);
    if (!PlainWord(W)) return StringRestAt(P + 8, V, 8);
    std::memcpy(P + N - 8, &W, 8);
  } else if (N > 0) {
    // Fewer than eight in all: read in two overlapping pieces (or three
    // single bytes), the bytes after them blanks.
    if constexpr (std::endian::native != std::endian::little) {
      W = 0x2020202020202020u;
      std::memcpy(&W, S, N);
    } else if (N >= 4) {
      uint32_t Lo, Hi;
      std::memcpy(&Lo, S, 4);
      std::memcpy(&Hi, S + N - 4, 4);
      W = uint64_t(Lo) | (uint64_t(Hi) << (8 * (N - 4)));
    } else {
      W = uint64_t(static_cast<unsigned char>(S[0])) | uint64_t(static_cast<unsigned char>(S[N / 2])) << (8 * (N / 2)) |
          uint64_t(static_cast<unsigned char>(S[N - 1])) << (8 * (N - 1));
    }
    if constexpr (std::endian::native == std::endian::little) W |= 0x2020202020202020u << (8 * N);
    if (!PlainWord(W)) return StringRestAt(P, V, 0);
    std::memcpy(P, &W, 8);
  }
  P += N;
  *P++ = '"';
  return P;
}
