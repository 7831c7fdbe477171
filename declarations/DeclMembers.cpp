// The members of record-like types: fields, methods (with the parameters of
// the routine that implements them), properties and dispinterface
// properties.
#include "DeclBuilder.h"

namespace {

// The property Name as the nearest ancestor of Owner that the unit holds
// and that declares or redeclares it has it; null when the unit holds none
// (an ancestor from another unit ends the search).
const TPropDecl* NearestDeclaration(const TUnit& U, const TRecBaseDef& Owner, std::string_view Name) {
  const TRecBaseDef* C = &Owner;
  // Ancestors through their parent type numbers; a chain that loops is cut.
  for (int Step = 0; Step < 256; ++Step) {
    uint32_t Parent = 0;
    if (auto* Cl = RecCast<TClassDef>(C)) Parent = Cl->ParentType;
    else if (auto* O = RecCast<TObjDef>(C)) Parent = O->ParentType;
    C = RecCast<TRecBaseDef>(U.GetTypeDef(Parent));
    if (!C) return nullptr;
    for (TDCURec* R = C->Fields; R; R = R->Next)
      if (auto* P = RecCast<TPropDecl>(R)) {
        const std::string_view N = NameView(P->GetName());
        if (N.size() == Name.size() && CompareNamesNoCase(N, Name) == 0) return P;
      }
  }
  return nullptr;
}

}  // namespace

void TOutlineBuilder::Members(const TRecBaseDef& Owner, TDeclList<TDeclMember>& Out) {
  TNameDecl* Chain = Owner.Fields;
  // Only members of classes and objects stand in sections and have
  // directives; of the others only a property can be the default one.
  const bool ClassLike = RecCast<TClassDef>(&Owner) || RecCast<TObjDef>(&Owner);
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
    M.Name = DeclDisplayName(N);
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
      case TRecKind::PropDecl: PropertyMember(static_cast<const TPropDecl&>(*ND), Owner, M); break;
      default:
        M.Kind = TMemberKind::Field;
        M.Type = TypeRef(static_cast<const TLocalDecl&>(*ND).TypeIndex);
    }
    if (ClassLike || Kind == TRecKind::PropDecl) MemberFacts(*ND, Owner, M);
  }
}

void TOutlineBuilder::MemberFacts(const TNameDecl& D, const TRecBaseDef& Owner, TDeclMember& M) {
  const TMemberFacts F = ::MemberFacts(U, D, &Owner);
  M.Visibility = F.Visibility;
  if (F.Visibility == TVisibility::Unknown) M.VisibilityBits = static_cast<uint8_t>(F.Flags & 0x0E);
  if (M.Kind == TMemberKind::Property) {
    M.DefaultProperty = F.DefaultProperty;
    return;
  }
  if (M.Kind == TMemberKind::Field) return;
  TDeclDirectives& Di = M.Directives;
  Di.Binding = F.Binding;
  Di.ClassMethod = F.ClassMethod;
  Di.Override = F.Override;
  Di.Abstract = F.Abstract;
  Di.Overload = F.Overload;
  Di.Message = F.Message;
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
  if (PN[Dot] == '.' && PN.substr(Dot + 1) == Name) M.SetRoutine() = ProcRoutine(P, true, 0);
}

void TOutlineBuilder::DispPropMember(const TDispPropDecl& P, TDeclMember& M) {
  M.Kind = TMemberKind::Property;
  M.Type = TypeRef(P.TypeIndex);
  M.HasDispId = true;
  M.DispIdNumber = P.Ofs;
  if ((P.IntfAttrs & 6) == 2) M.DispAccess = TDispAccess::ReadOnly;
  if ((P.IntfAttrs & 6) == 4) M.DispAccess = TDispAccess::WriteOnly;
}

void TOutlineBuilder::PropertyMember(const TPropDecl& P, const TRecBaseDef& Owner, TDeclMember& M) {
  M.Kind = TMemberKind::Property;
  TDeclPropertyParts& Parts = M.SetProperty();
  const TBaseDef* D = U.GetTypeDef(P.TypeIndex);
  auto* PT = RecCast<TProcTypeDef>(D);
  if (PT && DefName(D).empty()) {
    // An array property: its type lists the index parameters and the
    // element type.
    TDeclRoutine Ro = ProcTypeRoutine(PT, 0);
    Parts.IndexParams = std::move(Ro.Params);
    M.Type = Ro.IsFunction ? std::move(Ro.Result) : TypeRef(P.TypeIndex);
  } else if (P.TypeIndex != 0) {
    // 0: a property taken over from an ancestor names no type of its own.
    M.Type = TypeRef(P.TypeIndex);
  }
  if (P.ReadAccess) Parts.ReadAccess = DeclName(P.ReadAccess, true);
  if (P.WriteAccess) Parts.WriteAccess = DeclName(P.WriteAccess, true);
  if (P.StoredAccess) Parts.StoredAccess = DeclName(P.StoredAccess, true);
  if (P.IndexSpec != NoPropValue) Parts.Index = P.IndexSpec;
  if (std::optional<TValue> D = PropDefaultValue(U, P, &Owner, Used)) {
    Parts.Default = PascalText(*D);
    std::string Json;
    Parts.DefaultJson = ValueJson(*D, Json) ? Json : std::to_string(P.DefaultValue);
  } else if (P.TypeIndex == 0) {
    // A property taken over keeps its ancestor's default in the file
    // unless the redeclaration says nodefault; an ancestor of the unit
    // tells which.
    const TPropDecl* A = NearestDeclaration(U, Owner, NameView(P.GetName()));
    M.NoDefault = A && A->DefaultValue != NoPropValue;
  }
}
