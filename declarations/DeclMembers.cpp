// The members of record-like types: fields, methods (with the parameters of
// the routine that implements them), properties and dispinterface
// properties.
#include "DeclBuilder.h"

void TOutlineBuilder::Members(TNameDecl* Chain, std::vector<TDeclMember>& Out) {
  size_t Count = 0;
  for (TDCURec* R = Chain; R; R = R->Next) Count += RecCast<TNameDecl>(R) != nullptr;
  Out.reserve(Count);
  for (TDCURec* R = Chain; R; R = R->Next) {
    auto* ND = RecCast<TNameDecl>(R);
    if (!ND) continue;
    const TRecKind Kind = ND->RecKind();
    if (Kind != TRecKind::LocalDecl && Kind != TRecKind::MethodDecl && Kind != TRecKind::DispPropDecl &&
        Kind != TRecKind::PropDecl)
      continue;
    std::string_view N = NameView(ND->GetName());
    if (IsCompilerName(N)) continue;
    TDeclMember& M = Out.emplace_back();  // made in place (room reserved)
    M.Name = DeclDisplayText(N);
    M.Offset = OffsetOf(U, ND->DefPos);
    if (NamesOnly) {
      M.Kind = Kind == TRecKind::MethodDecl ? MethodKind(static_cast<const TMethodDecl&>(*ND))
               : Kind == TRecKind::LocalDecl ? TMemberKind::Field
                                             : TMemberKind::Property;
      continue;
    }
    switch (Kind) {
      case TRecKind::MethodDecl: MethodMember(static_cast<const TMethodDecl&>(*ND), N, M); break;
      case TRecKind::DispPropDecl: DispPropMember(static_cast<const TDispPropDecl&>(*ND), M); break;
      case TRecKind::PropDecl: PropertyMember(static_cast<const TPropDecl&>(*ND), M); break;
      default:
        M.Kind = TMemberKind::Field;
        M.Type = TypeRef(static_cast<const TLocalDecl&>(*ND).TypeIndex);
    }
  }
}

TMemberKind TOutlineBuilder::MethodKind(const TMethodDecl& Me) {
  const uint8_t Tag = TagAt(Me.DefPos);
  return Tag == tagConstructor ? TMemberKind::Constructor
         : Tag == tagDestructor ? TMemberKind::Destructor
                                : TMemberKind::Method;
}

void TOutlineBuilder::MethodMember(const TMethodDecl& Me, std::string_view Name, TDeclMember& M) {
  M.Kind = MethodKind(Me);
  // A method's location names the routine that implements it; its
  // parameters are that routine's, less the object itself. Only a routine
  // named after the method ("TList.Get" for Get) is taken.
  if (Me.InInterface || Me.Ofs <= 0) return;
  auto* P = RecCast<TProcDecl>(U.GetDecl(static_cast<uint32_t>(Me.Ofs)));
  if (!P) return;
  std::string_view PN = NameView(P->GetName());
  if (PN.size() <= Name.size() + 1) return;
  const size_t Dot = PN.size() - Name.size() - 1;
  if (PN[Dot] == '.' && PN.substr(Dot + 1) == Name) M.Routine = ProcRoutine(P, true, 0);
}

void TOutlineBuilder::DispPropMember(const TDispPropDecl& P, TDeclMember& M) {
  M.Kind = TMemberKind::Property;
  M.Type = TypeRef(P.TypeIndex);
  M.DispId = P.Ofs;
  if ((P.IntfAttrs & 6) == 2) M.Access = "readonly";
  if ((P.IntfAttrs & 6) == 4) M.Access = "writeonly";
}

void TOutlineBuilder::PropertyMember(const TPropDecl& P, TDeclMember& M) {
  M.Kind = TMemberKind::Property;
  const TBaseDef* D = U.GetTypeDef(P.TypeIndex);
  auto* PT = RecCast<TProcTypeDef>(D);
  if (PT && DefName(D).empty()) {
    // An array property: its type lists the index parameters and the
    // element type.
    TDeclRoutine Ro = ProcTypeRoutine(PT, 0);
    M.IndexParams = std::move(Ro.Params);
    M.Type = Ro.IsFunction ? std::move(Ro.Result) : TypeRef(P.TypeIndex);
  } else if (P.TypeIndex != 0) {
    // 0: a property taken over from an ancestor names no type of its own.
    M.Type = TypeRef(P.TypeIndex);
  }
  if (P.ReadAccess) M.ReadAccess = DeclName(P.ReadAccess, true);
  if (P.WriteAccess) M.WriteAccess = DeclName(P.WriteAccess, true);
  if (P.StoredAccess) M.StoredAccess = DeclName(P.StoredAccess, true);
  if (P.IndexSpec != NoPropValue) M.Index = P.IndexSpec;
  if (P.DefaultValue != NoPropValue) M.Default = P.DefaultValue;
}
