// The declarations outline as JSON (see DeclJson.h).
#include "DeclJson.h"

#include "DCU_TextRules.h"
#include "DeclListing.h"

namespace {

// Each declaration is made as one flat text and handed to the section's
// array whole.
class TWriter {
 public:
  explicit TWriter(TJsonWriter& Out) : Out(Out) {}
  void Entry(const TDeclEntry& E) {
    J.Clear();
    EntryValue(E);
    Out.RawItem(J.Text());
  }

 private:
  void Params(const TDeclList<TDeclParam>& Ps);
  void CallConv(const TDeclRoutine& R);
  void ParamsAndResult(const TDeclRoutine& R);
  void Member(const TDeclMember& M);
  void Directives(const TDeclDirectives& D);
  void EntryValue(const TDeclEntry& E);
  // The "text" of an entry or member: its one-line rendering.
  void Text(const TDeclEntry& E) {
    Line.Clear();
    AppendEntryLine(E, Line);
    J.String("text", Line.View());
  }
  void Text(const TDeclMember& M) {
    Line.Clear();
    AppendMemberLine(M, Line);
    J.String("text", Line.View());
  }

  TJsonWriter& Out;
  TJsonFlat J;
  TPlainLine Line;
};

void TWriter::Params(const TDeclList<TDeclParam>& Ps) {
  J.BeginArray();
  for (const TDeclParam& P : Ps) {
    J.BeginObject();
    if (!P.Default.empty()) J.Raw("default", P.DefaultJson);
    J.String("mode", ParamModeName(P.Mode));
    J.String("name", P.Name);
    J.String("type", P.Type.Text);
    J.EndObject();
  }
  J.EndArray();
}

// The keys of a routine, interleaved in sorted order with the others by the
// callers: "callConv" comes before, "params" and "result" after "offset".
void TWriter::CallConv(const TDeclRoutine& R) {
  if (R.Known) J.String("callConv", CallConvName(R.CallConv));
}
void TWriter::ParamsAndResult(const TDeclRoutine& R) {
  if (!R.Known) return;
  J.Key("params");
  Params(R.Params);
  if (R.IsFunction) J.String("result", R.Result.Text);
}

void TWriter::Member(const TDeclMember& M) {
  const bool Prop = M.Kind == TMemberKind::Property;
  const bool Routine = !Prop && M.Kind != TMemberKind::Field;
  const TDeclPropertyParts& P = M.Property();
  J.BeginObject();
  if (Routine) CallConv(M.Routine());
  if (Routine && M.Directives.ClassMethod) J.True("classMethod");
  if (Prop && !P.Default.empty()) J.Raw("default", P.DefaultJson);
  if (Prop && M.DefaultProperty) J.True("defaultProperty");
  if (Routine) Directives(M.Directives);
  if (Prop && M.HasDispId) J.Number("dispid", M.DispIdNumber);
  if (Prop && P.Index) J.Number("index", *P.Index);
  J.String("kind", MemberKindName(M.Kind));
  J.String("name", M.Name);
  if (Prop && M.NoDefault) J.True("nodefault");
  J.Number("offset", M.Offset);
  if (Routine) ParamsAndResult(M.Routine());
  if (Prop && !P.IndexParams.empty()) {
    J.Key("params");
    Params(P.IndexParams);
  }
  if (Prop && !P.ReadAccess.empty()) J.String("read", P.ReadAccess);
  if (Prop && !P.StoredAccess.empty()) J.String("stored", P.StoredAccess);
  Text(M);
  if (!Routine) J.String("type", M.Type.Text);
  if (M.Visibility != TVisibility::None)
    J.String("visibility", M.Visibility == TVisibility::Unknown ? "unknown" : VisibilityName(M.Visibility));
  if (Prop && !P.WriteAccess.empty()) J.String("write", P.WriteAccess);
  J.EndObject();
}

// "directives": [...] in source order, when there is any.
void TWriter::Directives(const TDeclDirectives& D) {
  bool Any = false;
  ForEachDirective(D, [&](std::string_view Word) {
    if (!Any) {
      J.Key("directives");
      J.BeginArray();
      Any = true;
    }
    J.String(Word);
  });
  if (Any) J.EndArray();
}

void TWriter::EntryValue(const TDeclEntry& E) {
  const bool Type = E.Kind == TDeclKind::Type;
  const bool Data = E.Kind == TDeclKind::Const || E.Kind == TDeclKind::ResourceString ||
                    E.Kind == TDeclKind::Var || E.Kind == TDeclKind::ThreadVar;
  const bool Routine = E.Kind == TDeclKind::Procedure || E.Kind == TDeclKind::Function;
  const bool Exports = E.Kind == TDeclKind::Exports;
  J.BeginObject();
  if (Data && E.Absolute) J.String("absolute", E.AbsoluteTarget());
  if (Type || Routine) CallConv(E.Routine());
  if (Routine && E.Routine().ClassMethod) J.True("classMethod");
  if (Data && E.DataSize >= 0) J.Number("dataSize", E.DataSize);
  if (Type && !E.Guid().empty()) J.String("guid", E.Guid());
  if (Routine && E.Routine().Head != TRoutineHead::Plain)
    J.String("head", E.Routine().Head == TRoutineHead::Constructor ? "constructor" : "destructor");
  if (Exports && E.ExportIndex()) J.Number("index", E.ExportIndex());
  J.String("kind", DeclKindName(E.Kind));
  if (IsRecordLike(E)) {
    J.Key("members");
    J.BeginArray();
    for (const TDeclMember& M : E.Members) Member(M);
    J.EndArray();
  }
  J.String("name", E.Name);
  J.Number("offset", E.Offset);
  if (Type || Routine) ParamsAndResult(E.Routine());
  if (Routine && E.SystemProc) J.True("system");
  if (Exports) J.String("target", E.ExportTarget());
  Text(E);
  if (Data) J.String("type", E.Type.Text);
  if (Type) J.String("typeKind", DeclTypeKindName(E.TypeKind));
  if (Data && !E.TypeUnit().empty()) J.String("typeUnit", E.TypeUnit());
  if (Data && E.Typed) J.True("typed");
  if (Type && !E.TypeUnit().empty()) J.String("unit", E.TypeUnit());
  if (Data && (E.ValueForm == TDeclValueForm::Json || E.ValueForm == TDeclValueForm::Float))
    J.Raw("value", E.ValueJson());
  if (Data && E.ValueForm == TDeclValueForm::Bytes) J.String("valueBytes", E.ValueJson());
  if (Data && E.ValueForm == TDeclValueForm::Float) J.String("valueText", E.Value().Text);
  if (Type && !E.Values().empty()) {
    J.Key("values");
    J.BeginArray();
    for (const TDeclString& V : E.Values()) J.String(V);
    J.EndArray();
  }
  J.EndObject();
}

// The declarations of a section, one a line, each flat.
void Section(TJsonWriter& J, const TDeclSection& S) {
  TWriter W(J);
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TDeclBlock& Bl : S.Blocks)
    for (const TDeclEntry& E : Bl.Entries) W.Entry(E);
  J.EndArray();
}

}  // namespace

void WriteDeclsJson(const TDeclOutline& O, TJsonWriter& J) {
  J.BeginObject();
  J.Key("implementation");
  Section(J, O.Implementation);
  J.Key("interface");
  Section(J, O.Interface);
  J.EndObject();
}
