// The declarations listing (see DeclListing.h): the whole listing through a
// sink, and the one-line rendering of each kind of entry and member.
#include "DeclListing.h"

namespace {

template <class TLine>
void Space(TLine& T) {
  T.Plain(" ");
}

std::string HexByte(uint8_t B) {
  static const char* Digits = "0123456789ABCDEF";
  return {Digits[B >> 4], Digits[B & 15]};
}

std::string_view BlockKeyword(TDeclKind K) {
  switch (K) {
    case TDeclKind::Procedure:
    case TDeclKind::Function: return {};
    default: return DeclKindName(K);
  }
}

void Emit(TDeclSink& Sink, const TDeclText& T) {
  size_t At = 0;
  for (const TDeclSpan& S : T.Spans) {
    if (S.Start > At) Sink.Run(TDeclRunKind::Plain, std::string_view(T.Text).substr(At, S.Start - At), NoAnchor);
    Sink.Run(S.Kind, std::string_view(T.Text).substr(S.Start, S.Len), S.Anchor);
    At = S.Start + S.Len;
  }
  if (At < T.Text.size()) Sink.Run(TDeclRunKind::Plain, std::string_view(T.Text).substr(At), NoAnchor);
}

void Line(TDeclSink& Sink, int Indent, const TDeclText& T, std::string_view Tail) {
  if (Indent) Sink.Run(TDeclRunKind::Plain, std::string(static_cast<size_t>(Indent) * 2, ' '), NoAnchor);
  Emit(Sink, T);
  if (!Tail.empty()) Sink.Run(TDeclRunKind::Plain, Tail, NoAnchor);
  Sink.EndLine();
}

void Words(TDeclSink& Sink, int Indent, TDeclRunKind Kind, std::string_view S) {
  TDeclText T;
  T.Add(Kind, S);
  Line(Sink, Indent, T, {});
}

// A line no Pascal source can hold (a name the compiler made, "@Load",
// "#12") as a comment: (* ... *), since the text may hold braces.
void CommentLine(TDeclSink& Sink, int Indent, const TDeclText& T) {
  TDeclText C;
  C.Comment("(* " + std::string(T.Text) + "; *)");
  Line(Sink, Indent, C, {});
}

void WriteSection(TDeclSink& Sink, const TDeclSection& S) {
  for (const TDeclBlock& B : S.Blocks) {
    size_t Shown = 0;
    for (const TDeclEntry& E : B.Entries) Shown += E.Part == TUnitPart::None;
    if (!Shown) continue;
    std::string_view Kw = BlockKeyword(B.Kind);
    int Indent = 0;
    if (!Kw.empty()) {
      Words(Sink, 0, TDeclRunKind::Keyword, Kw);
      Indent = 1;
    }
    for (const TDeclEntry& E : B.Entries) {
      if (E.Part != TUnitPart::None) continue;
      TDeclText Head = EntryLine(E);
      if (!IsPascalName(E.Name) || (E.Kind == TDeclKind::Exports && !IsPascalName(E.ExportTarget()))) {
        CommentLine(Sink, Indent, Head);
        continue;
      }
      if (!IsRecordLike(E)) {
        Line(Sink, Indent, Head, ";");
        continue;
      }
      Line(Sink, Indent, Head, {});
      if (!E.Guid().empty()) {
        TDeclText G;
        G.Plain("['" + E.Guid() + "']");
        Line(Sink, Indent + 1, G, {});
      }
      // Members of classes and objects under their sections' keywords.
      ForEachVisibilityRun(E.Members, [&](TVisibility V, uint8_t Bits, size_t First, size_t Last) {
        if (V == TVisibility::Unknown)
          Words(Sink, Indent, TDeclRunKind::Comment, "{unknown visibility $" + HexByte(Bits) + "}");
        else if (V != TVisibility::None)
          Words(Sink, Indent, TDeclRunKind::Keyword, VisibilityName(V));
        for (size_t I = First; I < Last; ++I) Line(Sink, Indent + 1, MemberLine(E.Members[I]), ";");
      });
      TDeclText End;
      End.Keyword("end");
      Line(Sink, Indent, End, ";");
    }
    Sink.EndLine();
  }
}

template <class TLine>
void NameDef(TLine& T, std::string_view Name, uint32_t Offset) { T.Add(TDeclRunKind::NameDef, Name, Offset); }

// " Keyword Value" after a declaration's head ("index 3", "read FCount").
template <class TLine>
void Clause(TLine& T, std::string_view Keyword, std::string_view Value) {
  Space(T);
  T.Keyword(Keyword);
  T.Plain(" ");
  T.Plain(Value);
}

// A typed constant's or resource string's value: decoded, or what the file
// keeps of it.
template <class TLine>
void DataValue(TLine& T, const TDeclEntry& E) {
  if (!E.Value().Empty()) T.Append(E.Value());
  else if (E.DataSize >= 0) T.Comment("{" + std::to_string(E.DataSize) + " bytes in the data block, not decoded}");
  else T.Comment("{no value in the data block}");
}

template <class TLine>
void ConstLine(const TDeclEntry& E, TLine& T) {
  NameDef(T, E.Name, E.Offset);
  if (E.Typed) {
    T.Plain(": ");
    T.Append(E.Type);
    T.Plain(" = ");
    DataValue(T, E);
    return;
  }
  T.Plain(" = ");
  T.Append(E.Value());
  T.Plain(" ");
  T.Comment("{ ");
  T.Append(E.Type);
  T.Comment(" }");
}

template <class TLine>
void VarLine(const TDeclEntry& E, TLine& T) {
  NameDef(T, E.Name, E.Offset);
  T.Plain(": ");
  T.Append(E.Type);
  if (E.Absolute) Clause(T, "absolute", E.AbsoluteTarget());
}

template <class TLine>
void RoutineLine(const TDeclEntry& E, TLine& T) {
  const TDeclRoutine& R = E.Routine();
  if (R.ClassMethod) {
    T.Keyword("class");
    Space(T);
  }
  T.Keyword(R.Head == TRoutineHead::Constructor  ? "constructor"
            : R.Head == TRoutineHead::Destructor ? "destructor"
            : E.Kind == TDeclKind::Function      ? "function"
                                                 : "procedure");
  Space(T);
  NameDef(T, E.Name, E.Offset);
  WriteSignature(T, E.Routine());
  if (E.SystemProc) {
    Space(T);
    T.Comment("{system procedure}");
  }
}

template <class TLine>
void ExportsLine(const TDeclEntry& E, TLine& T) {
  T.Plain(E.ExportTarget());
  if (E.ExportTarget() != E.Name) {
    Space(T);
    T.Keyword("name");
    T.Plain(" '");
    NameDef(T, E.Name, E.Offset);
    T.Plain("'");
  }
  if (E.ExportIndex()) Clause(T, "index", std::to_string(E.ExportIndex()));
}

template <class TLine>
void MethodLine(const TDeclMember& M, TLine& T) {
  if (M.Directives.ClassMethod) {
    T.Keyword("class");
    Space(T);
  }
  if (M.Kind == TMemberKind::Constructor) T.Keyword("constructor");
  else if (M.Kind == TMemberKind::Destructor) T.Keyword("destructor");
  else if (!M.Routine().Known) T.Keyword("method");
  else T.Keyword(M.Routine().IsFunction ? "function" : "procedure");
  Space(T);
  NameDef(T, M.Name, M.Offset);
  WriteSignature(T, M.Routine());
  ForEachDirective(M.Directives, [&](std::string_view D) {
    T.Plain("; ");
    T.Keyword(D);
  });
}

template <class TLine>
void PropertyLine(const TDeclMember& M, TLine& T) {
  const TDeclPropertyParts& P = M.Property();
  T.Keyword("property");
  Space(T);
  NameDef(T, M.Name, M.Offset);
  AppendParams(T, P.IndexParams, "[", "]");
  if (!M.Type.Empty()) {
    T.Plain(": ");
    T.Append(M.Type);
  }
  if (P.Index) Clause(T, "index", std::to_string(*P.Index));
  if (!P.ReadAccess.empty()) Clause(T, "read", P.ReadAccess);
  if (!P.WriteAccess.empty()) Clause(T, "write", P.WriteAccess);
  if (!P.StoredAccess.empty()) Clause(T, "stored", P.StoredAccess);
  if (!P.Default.empty()) Clause(T, "default", P.Default);
  if (M.NoDefault) {
    Space(T);
    T.Keyword("nodefault");
  }
  if (M.DispAccess != TDispAccess::ReadWrite) {
    Space(T);
    T.Keyword(M.Access());
  }
  if (M.HasDispId) Clause(T, "dispid", std::to_string(M.DispIdNumber));
  if (M.DefaultProperty) {
    T.Plain("; ");
    T.Keyword("default");
  }
}

template <class TLine>
void EntryLineTo(const TDeclEntry& E, TLine& T) {
  switch (E.Kind) {
    case TDeclKind::Type:
      NameDef(T, E.Name, E.Offset);
      T.Plain(" = ");
      T.Append(E.Type);
      break;
    case TDeclKind::Const: ConstLine(E, T); break;
    case TDeclKind::ResourceString:
      NameDef(T, E.Name, E.Offset);
      T.Plain(" = ");
      DataValue(T, E);
      break;
    case TDeclKind::Var:
    case TDeclKind::ThreadVar: VarLine(E, T); break;
    case TDeclKind::Procedure:
    case TDeclKind::Function: RoutineLine(E, T); break;
    case TDeclKind::Label: NameDef(T, E.Name, E.Offset); break;
    case TDeclKind::Exports: ExportsLine(E, T); break;
  }
}

template <class TLine>
void MemberLineTo(const TDeclMember& M, TLine& T) {
  switch (M.Kind) {
    case TMemberKind::Field:
      NameDef(T, M.Name, M.Offset);
      T.Plain(": ");
      T.Append(M.Type);
      break;
    case TMemberKind::Method:
    case TMemberKind::Constructor:
    case TMemberKind::Destructor: MethodLine(M, T); break;
    case TMemberKind::Property: PropertyLine(M, T); break;
  }
}

}  // namespace

void AppendEntryLine(const TDeclEntry& E, TDeclText& Out) { EntryLineTo(E, Out); }
void AppendEntryLine(const TDeclEntry& E, TPlainLine& Out) { EntryLineTo(E, Out); }
void AppendMemberLine(const TDeclMember& M, TDeclText& Out) { MemberLineTo(M, Out); }
void AppendMemberLine(const TDeclMember& M, TPlainLine& Out) { MemberLineTo(M, Out); }

TDeclText EntryLine(const TDeclEntry& E) {
  TDeclText T;
  AppendEntryLine(E, T);
  return T;
}

TDeclText MemberLine(const TDeclMember& M) {
  TDeclText T;
  AppendMemberLine(M, T);
  return T;
}

bool IsPascalName(std::string_view N) {
  bool Start = true;
  for (char C : N) {
    const bool Letter = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_' || (C & 0x80);
    const bool Digit = C >= '0' && C <= '9';
    if (C == '.' && !Start) Start = true;
    else if (Letter || (Digit && !Start)) Start = false;
    else return false;
  }
  return !N.empty() && !Start;
}

void WriteUses(TDeclSink& Sink, const std::vector<std::string>& Units) {
  if (Units.empty()) return;
  TDeclText T;
  T.Keyword("uses");
  for (size_t I = 0; I < Units.size(); ++I) T.Plain((I ? ", " : " ") + Units[I]);
  Line(Sink, 0, T, ";");
  Sink.EndLine();
}

void WriteResources(TDeclSink& Sink, const std::vector<std::string>& Files) {
  for (const std::string& F : Files) {
    TDeclText T;
    T.Comment("{$R " + F + "}");
    Line(Sink, 0, T, {});
  }
  if (!Files.empty()) Sink.EndLine();
}

void WriteUnitParts(TDeclSink& Sink, const TDeclSection& S, TUnitPart Part) {
  for (const TDeclBlock& B : S.Blocks)
    for (const TDeclEntry& E : B.Entries)
      if (E.Part == Part) {
        TDeclText T;
        T.Add(TDeclRunKind::Keyword, Part == TUnitPart::Initialization ? "initialization" : "finalization");
        Line(Sink, 0, T, {});
        Sink.EndLine();
        return;
      }
}

void WriteDeclListing(const TDeclOutline& O, TDeclSink& Sink) {
  TDeclText Head;
  Head.Keyword("unit");
  Head.Plain(" " + O.UnitName + ";");
  Line(Sink, 0, Head, {});
  Sink.EndLine();
  Words(Sink, 0, TDeclRunKind::Keyword, "interface");
  Sink.EndLine();
  WriteUses(Sink, O.InterfaceUses);
  WriteSection(Sink, O.Interface);
  Words(Sink, 0, TDeclRunKind::Keyword, "implementation");
  Sink.EndLine();
  WriteUses(Sink, O.ImplementationUses);
  WriteResources(Sink, O.Resources);
  WriteSection(Sink, O.Implementation);
  for (TUnitPart Part : {TUnitPart::Initialization, TUnitPart::Finalization}) {
    WriteUnitParts(Sink, O.Interface, Part);
    WriteUnitParts(Sink, O.Implementation, Part);
  }
  TDeclText End;
  End.Keyword("end");
  Line(Sink, 0, End, ".");
}
