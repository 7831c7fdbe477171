// The declarations outline as JSON (see DeclJson.h).
#include "DeclJson.h"

#include "DeclListing.h"

using nlohmann::json;

namespace {

json TypeJson(const TDeclText& T) { return T.Text; }

json ParamsJson(const std::vector<TDeclParam>& Ps) {
  json A = json::array();
  for (const TDeclParam& P : Ps)
    A.push_back({{"name", P.Name}, {"mode", P.Mode == TParamMode::Var ? "var" : "value"}, {"type", TypeJson(P.Type)}});
  return A;
}

void RoutineJson(json& J, const TDeclRoutine& R) {
  if (!R.Known) return;
  J["params"] = ParamsJson(R.Params);
  if (R.IsFunction) J["result"] = TypeJson(R.Result);
  J["callConv"] = DeclCallConvName(R.CallConv);
}

json MemberJson(const TDeclMember& M) {
  json J = {{"kind", MemberKindName(M.Kind)}, {"name", M.Name}, {"text", MemberLine(M).Text}, {"offset", M.Offset}};
  switch (M.Kind) {
    case TMemberKind::Field: J["type"] = TypeJson(M.Type); break;
    case TMemberKind::Property:
      J["type"] = TypeJson(M.Type);
      if (!M.IndexParams.empty()) J["params"] = ParamsJson(M.IndexParams);
      if (!M.ReadAccess.empty()) J["read"] = M.ReadAccess;
      if (!M.WriteAccess.empty()) J["write"] = M.WriteAccess;
      if (!M.StoredAccess.empty()) J["stored"] = M.StoredAccess;
      if (M.Index) J["index"] = *M.Index;
      if (M.Default) J["default"] = *M.Default;
      if (M.DispId) J["dispid"] = *M.DispId;
      break;
    default: RoutineJson(J, M.Routine); break;
  }
  return J;
}

json EntryJson(const TDeclEntry& E) {
  json J = {{"kind", DeclKindName(E.Kind)}, {"name", E.Name}, {"text", EntryLine(E).Text}, {"offset", E.Offset}};
  switch (E.Kind) {
    case TDeclKind::Type:
      J["typeKind"] = E.TypeKind;
      if (!E.Type.Unit.empty()) J["unit"] = E.Type.Unit;
      if (!E.Values.empty()) J["values"] = E.Values;
      if (!E.Members.empty() || E.TypeKind == "record" || E.TypeKind == "class" || E.TypeKind == "object" ||
          E.TypeKind == "interface" || E.TypeKind == "dispinterface") {
        json Ms = json::array();
        for (const TDeclMember& M : E.Members) Ms.push_back(MemberJson(M));
        J["members"] = std::move(Ms);
      }
      if (!E.Guid.empty()) J["guid"] = E.Guid;
      RoutineJson(J, E.Routine);
      break;
    case TDeclKind::Const:
    case TDeclKind::ResourceString:
    case TDeclKind::Var:
    case TDeclKind::ThreadVar:
      J["type"] = TypeJson(E.Type);
      if (!E.Type.Unit.empty()) J["typeUnit"] = E.Type.Unit;
      if (E.Typed) J["typed"] = true;
      if (E.OrdValue) J["value"] = *E.OrdValue;
      if (!E.ValueBytes.empty()) J["valueBytes"] = E.ValueBytes;
      if (E.Absolute) J["absolute"] = E.AbsoluteTarget;
      if (E.DataSize >= 0) J["dataSize"] = E.DataSize;
      break;
    case TDeclKind::Procedure:
    case TDeclKind::Function:
      RoutineJson(J, E.Routine);
      if (E.SystemProc) J["system"] = true;
      break;
    case TDeclKind::Exports:
      J["target"] = E.ExportTarget;
      if (E.ExportIndex) J["index"] = E.ExportIndex;
      break;
    case TDeclKind::Label: break;
  }
  return J;
}

json SectionJson(const TDeclSection& S) {
  json A = json::array();
  for (const TDeclBlock& B : S.Blocks)
    for (const TDeclEntry& E : B.Entries) A.push_back(EntryJson(E));
  return A;
}

}  // namespace

json DeclsJson(const TDeclOutline& O) {
  return {{"interface", SectionJson(O.Interface)}, {"implementation", SectionJson(O.Implementation)}};
}
