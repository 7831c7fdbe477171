// The code listing as JSON (see CodeJson.h).
#include "CodeJson.h"

#include "CodeSourceCheck.h"

#include <charconv>
#include <concepts>
#include <cstring>

namespace {

// The arrays of a routine hold an element per instruction, fixup and line:
// each is written flat, straight into the writer's buffer, its keys as the
// literals they are.
template <size_t N>
char* Put(char* P, const char (&S)[N]) {
  std::memcpy(P, S, N - 1);
  return P + N - 1;
}
template <std::integral T>
char* Num(char* P, T V) {
  if (V >= 0 && V < 10) {  // most sizes
    *P = static_cast<char>('0' + V);
    return P + 1;
  }
  return std::to_chars(P, P + 24, V).ptr;
}
char* Quoted(char* P, std::string_view V) { return TJsonWriter::QuotedAt(P, V); }
size_t Room(std::string_view V) { return TJsonWriter::QuotedRoom(V); }

}  // namespace

void WriteRoutineJson(const TCodeRoutine& R, TJsonWriter& J) {
  const TCodeRoutineHead& H = R.Head;
  J.BeginObject();
  J.Number("declOffset", H.DeclOffset);
  J.Key("fixups");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeFixup& F : R.Fixups)
    J.ItemInPlace(64 + Room(F.KindName) + Room(F.Target), [&](char* P) {
      P = Quoted(Put(P, "{\"kind\":"), F.KindName);
      P = Num(Put(P, ",\"offset\":"), F.Offset);
      P = Quoted(Put(P, ",\"target\":"), F.Target);
      *P++ = '}';
      return P;
    });
  J.EndArray();
  J.Key("items");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeItem& It : R.Items) {
    const std::string_view Text = R.ItemText(It);
    J.ItemInPlace(96 + Room(Text), [&](char* P) {
      P = Put(P, It.Kind == TCodeItemKind::Insn ? "{\"kind\":\"insn\",\"offset\":" : "{\"kind\":\"data\",\"offset\":");
      P = Num(Put(Num(P, It.Offset), ",\"size\":"), It.Size);
      P = Quoted(Put(P, ",\"text\":"), Text);
      *P++ = '}';
      return P;
    });
  }
  J.EndArray();
  J.Key("labels");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeLabel& L : R.Labels)
    J.ItemInPlace(64 + Room(L.Name), [&](char* P) {
      P = Num(Put(Quoted(Put(P, "{\"name\":"), L.Name), ",\"offset\":"), L.Offset);
      *P++ = '}';
      return P;
    });
  J.EndArray();
  J.Key("lines");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeLine& L : R.Lines)
    J.ItemInPlace(96 + Room(L.File) + Room(L.Source), [&](char* P) {
      *P++ = '{';
      if (!L.File.empty()) P = Put(Quoted(Put(P, "\"file\":"), L.File), ",");
      P = Num(Put(P, "\"line\":"), L.Line);
      P = Num(Put(P, ",\"offset\":"), L.Offset);
      if (L.HasSource) P = Quoted(Put(P, ",\"source\":"), L.Source);
      *P++ = '}';
      return P;
    });
  J.EndArray();
  J.String("name", H.QualifiedName);
  J.Number("offset", H.Offset);
  if (H.PieceSize != H.Size) J.Number("pieceSize", H.PieceSize);
  J.String("role", RoutineRoleName(H.Role));
  J.Number("size", H.Size);
  J.EndObject();
}

size_t WriteCodeJson(const TCodeLister& L, TJsonWriter& J, const std::function<bool(const TCodeRoutineHead&)>& Want) {
  J.BeginArray();
  const size_t N = L.ForEach(Want, [&J](const TCodeRoutine& R) { WriteRoutineJson(R, J); });
  J.EndArray();
  return N;
}

void WriteSourceCheckJson(const TSourceCheck& C, TJsonWriter& J) {
  J.BeginObject();
  J.Bool("matches", C.Matches);
  J.String("path", C.Path);
  if (!C.Matches) J.String("why", C.Why);
  J.EndObject();
}
