// The declarations listing (see DeclListing.h).
#include "DeclListing.h"

namespace {

void Space(TDeclText& T) { T.Plain(" "); }

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

void WriteSection(TDeclSink& Sink, const TDeclSection& S) {
  for (const TDeclBlock& B : S.Blocks) {
    std::string_view Kw = BlockKeyword(B.Kind);
    int Indent = 0;
    if (!Kw.empty()) {
      Words(Sink, 0, TDeclRunKind::Keyword, Kw);
      Indent = 1;
    }
    for (const TDeclEntry& E : B.Entries) {
      TDeclText Head = EntryLine(E);
      if (!IsRecordLike(E)) {
        Line(Sink, Indent, Head, ";");
        continue;
      }
      Line(Sink, Indent, Head, {});
      if (!E.Guid.empty()) {
        TDeclText G;
        G.Plain("['" + E.Guid + "']");
        Line(Sink, Indent + 1, G, {});
      }
      for (const TDeclMember& M : E.Members) Line(Sink, Indent + 1, MemberLine(M), ";");
      TDeclText End;
      End.Keyword("end");
      Line(Sink, Indent, End, ";");
    }
    Sink.EndLine();
  }
}

}  // namespace

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

void AppendEntryLine(const TDeclEntry& E, TDeclText& T) {
  auto Name = [&] { T.Add(TDeclRunKind::NameDef, E.Name, E.Offset); };
  switch (E.Kind) {
    case TDeclKind::Type:
      Name();
      T.Plain(" = ");
      T.Append(E.Type);
      break;
    case TDeclKind::Const:
      Name();
      if (E.Typed) {
        T.Plain(": ");
        T.Append(E.Type);
        T.Plain(" = ");
        T.Comment(E.DataSize >= 0 ? "{" + std::to_string(E.DataSize) + " bytes in the data block}"
                                  : "{no value in the data block}");
      } else {
        T.Plain(" = ");
        T.Append(E.Value);
        T.Plain(" ");
        T.Comment("{ ");
        T.Append(E.Type);
        T.Comment(" }");
      }
      break;
    case TDeclKind::ResourceString:
      Name();
      T.Plain(" = ");
      T.Comment(E.DataSize >= 0 ? "{" + std::to_string(E.DataSize) + " bytes in the data block}"
                                : "{no value in the data block}");
      break;
    case TDeclKind::Var:
    case TDeclKind::ThreadVar:
      Name();
      T.Plain(": ");
      T.Append(E.Type);
      if (E.Absolute) {
        Space(T);
        T.Keyword("absolute");
        T.Plain(" " + E.AbsoluteTarget);
      }
      break;
    case TDeclKind::Procedure:
    case TDeclKind::Function:
      T.Keyword(E.Kind == TDeclKind::Function ? "function" : "procedure");
      Space(T);
      Name();
      WriteSignature(T, E.Routine);
      if (E.SystemProc) {
        Space(T);
        T.Comment("{system procedure}");
      }
      break;
    case TDeclKind::Label:
      Name();
      break;
    case TDeclKind::Exports:
      T.Plain(E.ExportTarget);
      if (E.ExportTarget != E.Name) {
        Space(T);
        T.Keyword("name");
        T.Plain(" '");
        T.Add(TDeclRunKind::NameDef, E.Name, E.Offset);
        T.Plain("'");
      }
      if (E.ExportIndex) {
        Space(T);
        T.Keyword("index");
        T.Plain(" " + std::to_string(E.ExportIndex));
      }
      break;
  }
}

void AppendMemberLine(const TDeclMember& M, TDeclText& T) {
  auto Name = [&] { T.Add(TDeclRunKind::NameDef, M.Name, M.Offset); };
  switch (M.Kind) {
    case TMemberKind::Field:
      Name();
      T.Plain(": ");
      T.Append(M.Type);
      break;
    case TMemberKind::Method:
    case TMemberKind::Constructor:
    case TMemberKind::Destructor:
      if (M.Kind == TMemberKind::Constructor) T.Keyword("constructor");
      else if (M.Kind == TMemberKind::Destructor) T.Keyword("destructor");
      else if (!M.Routine.Known) T.Keyword("method");
      else T.Keyword(M.Routine.IsFunction ? "function" : "procedure");
      Space(T);
      Name();
      WriteSignature(T, M.Routine);
      break;
    case TMemberKind::Property:
      T.Keyword("property");
      Space(T);
      Name();
      AppendParams(T, M.IndexParams, "[", "]");
      if (!M.Type.Empty()) {
        T.Plain(": ");
        T.Append(M.Type);
      }
      if (M.Index) {
        Space(T);
        T.Keyword("index");
        T.Plain(" " + std::to_string(*M.Index));
      }
      for (auto [Kw, V] : {std::pair<const char*, const std::string*>{"read", &M.ReadAccess},
                           {"write", &M.WriteAccess},
                           {"stored", &M.StoredAccess}}) {
        if (V->empty()) continue;
        Space(T);
        T.Keyword(Kw);
        T.Plain(" " + *V);
      }
      if (M.Default) {
        Space(T);
        T.Keyword("default");
        T.Plain(" " + std::to_string(*M.Default));
      }
      if (!M.Access.empty()) {
        Space(T);
        T.Keyword(M.Access);
      }
      if (M.DispId) {
        Space(T);
        T.Keyword("dispid");
        T.Plain(" " + std::to_string(*M.DispId));
      }
      break;
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
  WriteSection(Sink, O.Interface);
  Words(Sink, 0, TDeclRunKind::Keyword, "implementation");
  Sink.EndLine();
  WriteSection(Sink, O.Implementation);
  TDeclText End;
  End.Keyword("end");
  Line(Sink, 0, End, ".");
}
