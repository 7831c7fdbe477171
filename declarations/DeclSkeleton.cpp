// The unit skeleton (see DeclSkeleton.h): the interface, then the
// implementation's declarations in their order with a body for each
// routine, the interface's routines first.
#include "DeclSkeleton.h"

#include <map>
#include <string>
#include <utility>

namespace {

std::string Folded(std::string_view N) {
  std::string S(N);
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

bool IsRoutine(const TDeclEntry& E) { return E.Kind == TDeclKind::Procedure || E.Kind == TDeclKind::Function; }

// A text that names what a compiler would not find: a type or declaration
// number that resolves to nothing, a float the file gives by size only.
bool HasGap(const TDeclText& T) {
  std::string_view S(T.Text);
  return S.find("{#") != std::string_view::npos || S.find("{float,") != std::string_view::npos ||
         S.find("{void}") != std::string_view::npos;
}

class TSkeleton {
 public:
  TSkeleton(const TDeclOutline& O, TDeclSink& Sink) : O(O), Sink(Sink) { CountNames(); }
  void Write();

 private:
  void CountNames();
  void Line(int Indent, std::string_view Text);
  void Line(int Indent, const TDeclText& T, std::string_view Tail);
  void Comment(int Indent, std::string_view Text) { Line(Indent, "(* " + std::string(Text) + " *)"); }
  void Open(std::string_view Keyword);
  void Uses(const std::vector<std::string>& Units);
  void Declarations(const TDeclSection& S, bool Intf);
  void Forwards(const TDeclBlock& B);
  void Declaration(const TDeclEntry& E, bool Intf);
  void Data(const TDeclEntry& E);
  void RecordLike(const TDeclEntry& E);
  void Member(const TDeclMember& M);
  TDeclText Heading(const TDeclEntry& E, bool Defaults);
  void Body(const TDeclEntry& E);
  void Part(TUnitPart P);

  const TDeclOutline& O;
  TDeclSink& Sink;
  std::string_view Block;                // the keyword of the block open now
  std::map<std::string, int> RoutineNames;  // folded name -> how many routines have it
  std::map<std::string, std::string> Enums;  // first constant, folded -> the enumeration declared with it
};

void TSkeleton::CountNames() {
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries)
        if (IsRoutine(E)) ++RoutineNames[Folded(E.Name)];
}

void TSkeleton::Line(int Indent, std::string_view Text) {
  if (Indent) Sink.Run(TDeclRunKind::Plain, std::string(static_cast<size_t>(Indent) * 2, ' '), NoAnchor);
  Sink.Run(TDeclRunKind::Plain, Text, NoAnchor);
  Sink.EndLine();
}

void TSkeleton::Line(int Indent, const TDeclText& T, std::string_view Tail) {
  Line(Indent, std::string(T.Text) + std::string(Tail));
}

// Opens a block of Keyword ("type", "const", "var", ...) unless it is open.
void TSkeleton::Open(std::string_view Keyword) {
  if (Block == Keyword) return;
  if (!Block.empty()) Sink.EndLine();
  Block = Keyword;
  if (!Keyword.empty()) Line(0, Keyword);
}

void TSkeleton::Uses(const std::vector<std::string>& Units) {
  if (Units.empty()) return;
  std::string T = "uses";
  for (size_t I = 0; I < Units.size(); ++I) T += (I ? ", " : " ") + Units[I];
  Line(0, T + ";");
  Sink.EndLine();
}

void TSkeleton::Write() {
  Line(0, "unit " + O.UnitName + ";");
  Sink.EndLine();
  Line(0, "interface");
  Sink.EndLine();
  Uses(O.InterfaceUses);
  Declarations(O.Interface, true);
  Open({});
  Sink.EndLine();
  Line(0, "implementation");
  Sink.EndLine();
  Uses(O.ImplementationUses);
  for (const std::string& R : O.Resources) Line(0, "{$R " + R + "}");
  if (!O.Resources.empty()) Sink.EndLine();
  for (const TDeclBlock& B : O.Interface.Blocks)
    for (const TDeclEntry& E : B.Entries)
      if (IsRoutine(E)) Body(E);
  Declarations(O.Implementation, false);
  Open({});
  Part(TUnitPart::Initialization);
  Part(TUnitPart::Finalization);
  Line(0, "end.");
}

void TSkeleton::Declarations(const TDeclSection& S, bool Intf) {
  for (const TDeclBlock& B : S.Blocks) {
    if (B.Kind == TDeclKind::Type) Forwards(B);
    for (const TDeclEntry& E : B.Entries) {
      if (!IsRoutine(E)) Declaration(E, Intf);
      else if (Intf) Declaration(E, Intf);
      else Body(E);
    }
  }
}

// Classes and interfaces declared ahead in their block, so that any of them
// may name another whatever their order.
void TSkeleton::Forwards(const TDeclBlock& B) {
  for (const TDeclEntry& E : B.Entries)
    if ((E.TypeKind == TDeclTypeKind::Class || E.TypeKind == TDeclTypeKind::Interface ||
         E.TypeKind == TDeclTypeKind::DispInterface) &&
        IsPascalName(E.Name)) {
      Open("type");
      Line(1, E.Name + " = " + (E.TypeKind == TDeclTypeKind::Class ? "class" : std::string(DeclTypeKindName(E.TypeKind))) + ";");
    }
}

void TSkeleton::Declaration(const TDeclEntry& E, bool Intf) {
  const TDeclText Text = EntryLine(E);
  if (!IsPascalName(E.Name) || E.SystemProc || E.Kind == TDeclKind::Label || E.Kind == TDeclKind::Exports) {
    if (E.Kind != TDeclKind::Label && E.Kind != TDeclKind::Exports) Open({});
    Comment(1, std::string(Text.Text) + ";");
    return;
  }
  switch (E.Kind) {
    case TDeclKind::Type:
      Open("type");
      if (IsRecordLike(E)) return RecordLike(E);
      if (E.TypeKind == TDeclTypeKind::Enum && !E.Values().empty()) {
        // Several names of one enumeration: the file gives each its
        // constants; the first declares them, the others name it.
        auto [It, First] = Enums.try_emplace(Folded(E.Values().front()), E.Name);
        if (!First) return Line(1, E.Name + " = " + It->second + ";");
      }
      if (HasGap(E.Type)) return Comment(1, std::string(Text.Text) + ";");
      return Line(1, Text, ";");
    case TDeclKind::Procedure:
    case TDeclKind::Function:
      Open({});
      (void)Intf;
      return Line(0, Heading(E, true), ";");
    default: return Data(E);
  }
}

// Constants, resource strings and variables; a typed constant whose value
// is not decoded becomes a variable, so that what names it still compiles.
void TSkeleton::Data(const TDeclEntry& E) {
  const bool Undecoded = (E.Kind == TDeclKind::Const || E.Kind == TDeclKind::ResourceString) && E.Value().Empty();
  if (HasGap(E.Type) && E.Kind != TDeclKind::Const) {
    Open(DeclKindName(E.Kind));
    return Comment(1, std::string(EntryLine(E).Text) + ";");
  }
  if (E.Kind == TDeclKind::Const && E.Typed && Undecoded) {
    Open("var");
    return Line(1, E.Name + ": " + std::string(E.Type.Text) + ";  { the value is not decoded }");
  }
  Open(DeclKindName(E.Kind));
  if (Undecoded || (E.Kind == TDeclKind::Const && HasGap(E.Value())))
    return Comment(1, std::string(EntryLine(E).Text) + ";");
  Line(1, EntryLine(E), ";");
}

void TSkeleton::RecordLike(const TDeclEntry& E) {
  Line(1, EntryLine(E), {});
  if (!E.Guid().empty()) Line(2, "['" + std::string(E.Guid()) + "']");
  // A field after a method or property opens its section again, as a
  // compiler wants it.
  const bool ClassLike = E.TypeKind == TDeclTypeKind::Class || E.TypeKind == TDeclTypeKind::Object;
  ForEachVisibilityRun(E.Members, [&](TVisibility V, uint8_t, size_t First, size_t Last) {
    const std::string_view Name = V != TVisibility::None && V != TVisibility::Unknown ? VisibilityName(V) : "public";
    if (V != TVisibility::None && V != TVisibility::Unknown) Line(1, Name);
    bool AfterRoutine = false;
    for (size_t I = First; I < Last; ++I) {
      const bool Field = E.Members[I].Kind == TMemberKind::Field;
      if (Field && AfterRoutine && ClassLike) Line(1, Name);
      AfterRoutine = !Field;
      Member(E.Members[I]);
    }
  });
  Line(1, "end;");
}

void TSkeleton::Member(const TDeclMember& M) {
  const TDeclText T = MemberLine(M);
  const bool Routine = M.Kind != TMemberKind::Field && M.Kind != TMemberKind::Property;
  if (!IsPascalName(M.Name) || (Routine && !M.Routine().Known) || HasGap(T)) return Comment(2, std::string(T.Text) + ";");
  Line(2, T, ";");
}

TDeclText TSkeleton::Heading(const TDeclEntry& E, bool Defaults) {
  TDeclRoutine R = E.Routine();
  if (!Defaults)
    for (TDeclParam& P : R.Params) P.Default = TDeclString();
  TDeclText T;
  if (R.ClassMethod) T.Plain("class ");
  T.Plain(R.Head == TRoutineHead::Constructor  ? "constructor "
          : R.Head == TRoutineHead::Destructor ? "destructor "
          : E.Kind == TDeclKind::Function      ? "function "
                                               : "procedure ");
  T.Plain(E.Name);
  WriteSignature(T, R);
  if (RoutineNames[Folded(E.Name)] > 1) T.Plain("; overload");
  return T;
}

void TSkeleton::Body(const TDeclEntry& E) {
  if (E.Part != TUnitPart::None || E.Routine().Abstract) return;
  Open({});
  if (!IsPascalName(E.Name) || E.SystemProc || HasGap(EntryLine(E))) {
    Comment(0, std::string(EntryLine(E).Text) + ";");
    return Sink.EndLine();
  }
  const TDeclText H = Heading(E, false);
  if (!E.ExternalDll().empty()) {
    Line(0, H, "; external '" + std::string(E.ExternalDll()) + "' name '" + std::string(E.ExternalName()) + "';");
    return Sink.EndLine();
  }
  Line(0, H, ";");
  std::map<std::string, bool> Taken{{"result", true}};
  for (const TDeclParam& P : E.Routine().Params) Taken[Folded(P.Name)] = true;
  bool Any = false;
  for (const TDeclParam& L : E.Locals()) {
    if (!IsPascalName(L.Name) || HasGap(L.Type) || !Taken.emplace(Folded(L.Name), true).second) continue;
    if (!std::exchange(Any, true)) Line(0, "var");
    Line(1, L.Name + ": " + std::string(L.Type.Text) + ";");
  }
  Line(0, "begin");
  Line(0, "end;");
  Sink.EndLine();
}

void TSkeleton::Part(TUnitPart P) {
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries)
        if (E.Part == P) {
          Line(0, P == TUnitPart::Initialization ? "initialization" : "finalization");
          Sink.EndLine();
          return;
        }
}

}  // namespace

void WriteDeclSkeleton(const TDeclOutline& O, TDeclSink& Sink) { TSkeleton(O, Sink).Write(); }
