// The declarations outline as JSON (see DeclJson.h).
#include "DeclJson.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

#include "DeclListing.h"

namespace {

// The output, written through a raw pointer into a buffer of its own that is
// appended to Out whenever it is full: a corpus run writes tens of megabytes
// of JSON in pieces of a few bytes, and appending each piece to a string
// costs a call and a capacity check.
class TOutBuf {
 public:
  TOutBuf(std::string& S, const std::function<void(std::string&)>& Flush)
      : S(S), FlushTo(Flush), Buf(std::make_unique_for_overwrite<char[]>(Cap)) {}

  // Room for N more bytes at the returned position; Commit says where the
  // written bytes end.
  char* Room(size_t N) {
    if (Cap - Used < N) Spill(N);
    return Buf.get() + Used;
  }
  void Commit(const char* End) { Used = static_cast<size_t>(End - Buf.get()); }

  void Put(char C) { *Room(1) = C, ++Used; }
  void Put(std::string_view V) {
    std::memcpy(Room(V.size()), V.data(), V.size());
    Used += V.size();
  }
  // A literal: its length is known where it is used, so the copy is inlined.
  template <size_t N>
  void Lit(const char (&L)[N]) {
    std::memcpy(Room(N - 1), L, N - 1);
    Used += N - 1;
  }
  void Num(int64_t V) {
    char* P = Room(24);
    Commit(std::to_chars(P, P + 24, V).ptr);
  }
  // V as a JSON string, quoted and escaped.
  void Str(std::string_view V) { Commit(StrAt(Room(StrRoom(V)), V)); }
  // The room Str needs for V, and its writing at P (where there is as much).
  static size_t StrRoom(std::string_view V) { return V.size() * 6 + 10; }
  static char* StrAt(char* P, std::string_view V);

  // Hands Out to the flush function when it holds a megabyte or more.
  void MaybeFlush() {
    if (FlushTo && S.size() + Used >= (1u << 20)) {
      Spill(0);
      FlushTo(S);
    }
  }
  void Finish() { Spill(0); }

 private:
  // Appends the buffer to Out and empties it; makes it at least N bytes.
  void Spill(size_t N) {
    S.append(Buf.get(), Used);
    Used = 0;
    if (N > Cap) {
      Cap = N;
      Buf = std::make_unique_for_overwrite<char[]>(Cap);
    }
  }
  std::string& S;
  const std::function<void(std::string&)>& FlushTo;
  size_t Cap = 64u << 10;
  size_t Used = 0;
  std::unique_ptr<char[]> Buf;
};

// Whether any of the 8 bytes in W is a control character, '"' or '\\' (the
// bytes a JSON string escapes); the tests of "Bit Twiddling Hacks".
bool NeedsEscape8(uint64_t W) {
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  auto HasZero = [](uint64_t X) { return (X - Ones) & ~X & Highs; };
  const uint64_t Below20 = (W - Ones * 0x20) & ~W & Highs;
  return (Below20 | HasZero(W ^ (Ones * '"')) | HasZero(W ^ (Ones * '\\'))) != 0;
}

// One byte as JSON string content (as nlohmann::json escapes it).
char* EscapeByte(char* P, char Ch) {
  auto U = static_cast<unsigned char>(Ch);
  if (U >= 0x20 && U != '"' && U != '\\') {
    *P++ = Ch;
  } else if (U >= 0x20) {
    *P++ = '\\';
    *P++ = Ch;
  } else {
    static const char* Hex = "0123456789abcdef";
    std::memcpy(P, "\\u00", 4);
    P[4] = Hex[U >> 4];
    P[5] = Hex[U & 15];
    P += 6;
  }
  return P;
}

char* TOutBuf::StrAt(char* P, std::string_view V) {
  *P++ = '"';
  // Eight bytes at a time; the last piece of fewer is padded with blanks
  // (its copy writes 8 bytes, within the room of 6 per byte and 10 more).
  for (size_t I = 0; I < V.size(); I += 8) {
    const size_t N = std::min<size_t>(8, V.size() - I);
    uint64_t W = 0x2020202020202020u;
    if (N == 8) std::memcpy(&W, V.data() + I, 8);
    else std::memcpy(&W, V.data() + I, N);
    if (!NeedsEscape8(W)) {
      std::memcpy(P, &W, 8);
      P += N;
    } else {
      for (size_t K = I; K < I + N; ++K) P = EscapeByte(P, V[K]);
    }
  }
  *P++ = '"';
  return P;
}

// The members of one JSON object written flat ({"a":1,"b":2}), in the order
// the caller gives them: nlohmann::json's sorted key order.
class TFlatObject {
 public:
  explicit TFlatObject(TOutBuf& B) : B(B) { B.Put('{'); }
  ~TFlatObject() { B.Put('}'); }
  TFlatObject(const TFlatObject&) = delete;
  TFlatObject& operator=(const TFlatObject&) = delete;

  // Keys are plain words: no escapes.
  template <size_t N>
  void Key(const char (&K)[N]) {
    B.Commit(KeyAt(B.Room(N + 3), K));
  }
  template <size_t N>
  void Str(const char (&K)[N], std::string_view V) {
    char* P = B.Room(N + 3 + TOutBuf::StrRoom(V));
    B.Commit(TOutBuf::StrAt(KeyAt(P, K), V));
  }
  template <size_t N>
  void Num(const char (&K)[N], int64_t V) {
    Key(K);
    B.Num(V);
  }
  template <size_t N>
  void True(const char (&K)[N]) {
    Key(K);
    B.Lit("true");
  }

 private:
  // ',"key":' at P (without the comma for the first key).
  template <size_t N>
  char* KeyAt(char* P, const char (&K)[N]) {
    if (!First) *P++ = ',';
    First = false;
    *P++ = '"';
    std::memcpy(P, K, N - 1);
    P += N - 1;
    *P++ = '"';
    *P++ = ':';
    return P;
  }
  TOutBuf& B;
  bool First = true;
};

class TWriter {
 public:
  explicit TWriter(TOutBuf& B) : B(B) { Line.KeepSpans = false; }
  void Entry(const TDeclEntry& E);

 private:
  void Params(const std::vector<TDeclParam>& Ps);
  void CallConv(TFlatObject& J, const TDeclRoutine& R);
  void ParamsAndResult(TFlatObject& J, const TDeclRoutine& R);
  void Member(const TDeclMember& M);
  // The "text" of an entry or member: its one-line rendering.
  template <class T, class F>
  void Text(TFlatObject& J, const T& Item, F Render) {
    Line.Text.clear();
    Render(Item, Line);
    J.Str("text", Line.Text);
  }

  TOutBuf& B;
  TDeclText Line;
};

void TWriter::Params(const std::vector<TDeclParam>& Ps) {
  B.Put('[');
  for (size_t I = 0; I < Ps.size(); ++I) {
    if (I) B.Put(',');
    // {"mode":"value","name":N,"type":T}
    if (Ps[I].Mode == TParamMode::Var) B.Lit("{\"mode\":\"var\"");
    else B.Lit("{\"mode\":\"value\"");
    B.Lit(",\"name\":");
    B.Str(Ps[I].Name);
    B.Lit(",\"type\":");
    B.Str(Ps[I].Type.Text);
    B.Put('}');
  }
  B.Put(']');
}

// The keys of a routine, interleaved in sorted order with the others by the
// callers: "callConv" comes before, "params" and "result" after "offset".
void TWriter::CallConv(TFlatObject& J, const TDeclRoutine& R) {
  if (R.Known) J.Str("callConv", DeclCallConvName(R.CallConv));
}
void TWriter::ParamsAndResult(TFlatObject& J, const TDeclRoutine& R) {
  if (!R.Known) return;
  J.Key("params");
  Params(R.Params);
  if (R.IsFunction) J.Str("result", R.Result.Text);
}

void TWriter::Member(const TDeclMember& M) {
  const bool Prop = M.Kind == TMemberKind::Property;
  const bool Routine = !Prop && M.Kind != TMemberKind::Field;
  TFlatObject J(B);
  if (Routine) CallConv(J, M.Routine);
  if (Prop && M.Default) J.Num("default", *M.Default);
  if (Prop && M.DispId) J.Num("dispid", *M.DispId);
  if (Prop && M.Index) J.Num("index", *M.Index);
  J.Str("kind", MemberKindName(M.Kind));
  J.Str("name", M.Name);
  J.Num("offset", M.Offset);
  if (Routine) ParamsAndResult(J, M.Routine);
  if (Prop && !M.IndexParams.empty()) {
    J.Key("params");
    Params(M.IndexParams);
  }
  if (Prop && !M.ReadAccess.empty()) J.Str("read", M.ReadAccess);
  if (Prop && !M.StoredAccess.empty()) J.Str("stored", M.StoredAccess);
  Text(J, M, AppendMemberLine);
  if (!Routine) J.Str("type", M.Type.Text);
  if (Prop && !M.WriteAccess.empty()) J.Str("write", M.WriteAccess);
}

void TWriter::Entry(const TDeclEntry& E) {
  const bool Type = E.Kind == TDeclKind::Type;
  const bool Data = E.Kind == TDeclKind::Const || E.Kind == TDeclKind::ResourceString ||
                    E.Kind == TDeclKind::Var || E.Kind == TDeclKind::ThreadVar;
  const bool Routine = E.Kind == TDeclKind::Procedure || E.Kind == TDeclKind::Function;
  const bool Exports = E.Kind == TDeclKind::Exports;
  TFlatObject J(B);
  if (Data && E.Absolute) J.Str("absolute", E.AbsoluteTarget);
  if (Type || Routine) CallConv(J, E.Routine);
  if (Data && E.DataSize >= 0) J.Num("dataSize", E.DataSize);
  if (Type && !E.Guid.empty()) J.Str("guid", E.Guid);
  if (Exports && E.ExportIndex) J.Num("index", E.ExportIndex);
  J.Str("kind", DeclKindName(E.Kind));
  if (IsRecordLike(E)) {
    J.Key("members");
    B.Put('[');
    for (size_t I = 0; I < E.Members.size(); ++I) {
      if (I) B.Put(',');
      Member(E.Members[I]);
    }
    B.Put(']');
  }
  J.Str("name", E.Name);
  J.Num("offset", E.Offset);
  if (Type || Routine) ParamsAndResult(J, E.Routine);
  if (Routine && E.SystemProc) J.True("system");
  if (Exports) J.Str("target", E.ExportTarget);
  Text(J, E, AppendEntryLine);
  if (Data) J.Str("type", E.Type.Text);
  if (Type) J.Str("typeKind", DeclTypeKindName(E.TypeKind));
  if (Data && !E.TypeUnit.empty()) J.Str("typeUnit", E.TypeUnit);
  if (Data && E.Typed) J.True("typed");
  if (Type && !E.TypeUnit.empty()) J.Str("unit", E.TypeUnit);
  if (Data && E.OrdValue) J.Num("value", *E.OrdValue);
  if (Data && !E.ValueBytes.empty()) J.Str("valueBytes", E.ValueBytes);
  if (Type && !E.Values.empty()) {
    J.Key("values");
    B.Put('[');
    for (size_t I = 0; I < E.Values.size(); ++I) {
      if (I) B.Put(',');
      B.Str(E.Values[I]);
    }
    B.Put(']');
  }
}

// A line break and the indentation of Level (two blanks each).
void NewLine(TOutBuf& B, int Level) {
  B.Put('\n');
  for (int I = 0; I < Level; ++I) B.Lit("  ");
}

// "[" DECL, one a line, "]" at Level (an empty section as "[]").
void Section(TOutBuf& B, const TDeclSection& S, int Level) {
  TWriter W(B);
  B.Put('[');
  bool First = true;
  for (const TDeclBlock& Bl : S.Blocks)
    for (const TDeclEntry& E : Bl.Entries) {
      if (!First) B.Put(',');
      First = false;
      NewLine(B, Level + 1);
      W.Entry(E);
      B.MaybeFlush();
    }
  if (!First) NewLine(B, Level);
  B.Put(']');
}

}  // namespace

void WriteDeclsJson(const TDeclOutline& O, std::string& Out, int Level,
                    const std::function<void(std::string&)>& Flush) {
  TOutBuf B(Out, Flush);
  B.Put('{');
  NewLine(B, Level + 1);
  B.Lit("\"implementation\": ");
  Section(B, O.Implementation, Level + 1);
  B.Put(',');
  NewLine(B, Level + 1);
  B.Lit("\"interface\": ");
  Section(B, O.Interface, Level + 1);
  NewLine(B, Level);
  B.Put('}');
  B.Finish();
}

nlohmann::json DeclsJson(const TDeclOutline& O) {
  std::string S;
  WriteDeclsJson(O, S);
  return nlohmann::json::parse(S);
}
