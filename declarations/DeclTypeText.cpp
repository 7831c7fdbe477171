// Types as text: a reference names the type (linked to its declaration when
// the unit declares it) or writes an anonymous type out; a definition is
// written by its kind, one function per kind of record.
#include "DeclBuilder.h"

namespace {

// D as the class its kind says it is.
template <class To>
const To& As(const TBaseDef* D) {
  return *static_cast<const To*>(D);
}

// " of Type" after a keyword.
void Of(TDeclText& T, const TDeclText& Type) {
  T.Plain(" ");
  T.Keyword("of");
  T.Plain(" ");
  T.Append(Type);
}

}  // namespace

std::string_view TOutlineBuilder::DefName(const TBaseDef* D) const {
  if (!D) return {};
  if (auto* I = RecCast<TImpTypeDefRec>(D)) return I->TypeName ? NameView(I->TypeName) : std::string_view();
  if (!D->Name) return {};
  std::string_view N = NameView(D->Name);
  return IsCompilerName(N) ? std::string_view() : N;
}

std::string TOutlineBuilder::UnitOf(uint32_t N) const {
  const TBaseDef* D = U.GetTypeDef(N);
  int32_t UnitNo = -1;
  if (auto* I = RecCast<TImpTypeDefRec>(D)) UnitNo = I->OwnerUnit;
  else if (RecCast<TImpDef>(D)) UnitNo = D->UnitIndex;
  if (UnitNo < 0 || static_cast<size_t>(UnitNo) >= U.UsedUnits.size()) return {};
  return DeclDisplayText(NameView(U.UsedUnits[static_cast<size_t>(UnitNo)]->NamePos));
}

const TDeclText& TOutlineBuilder::NumberText(uint32_t N) {
  auto [It, New] = Numbers.try_emplace(N, NewText());
  if (New) It->second.Comment(Unresolved(N));
  return It->second;
}

const TDeclText& TOutlineBuilder::TypeRef(uint32_t N, int Depth) {
  const TBaseDef* D = U.GetTypeDef(N);
  if (!D) return NumberText(N);
  if (Made.size() <= N) {
    Made.resize(U.TypeTable.size() + 1);
    Making.resize(Made.size());
  }
  if (Made[N]) return *Made[N];
  // Too deep a nesting of anonymous types is cut (and not kept: a shallower
  // use writes it out).
  if (Making[N] || (Depth >= InlineDepth && DefName(D).empty())) return NumberText(N);
  Making[N] = 1;
  TDeclText T = MakeTypeRef(N, D, Depth);
  Making[N] = 0;
  Made[N] = &Texts.emplace(N, std::move(T)).first->second;
  return *Made[N];
}

TDeclText TOutlineBuilder::MakeTypeRef(uint32_t N, const TBaseDef* D, int Depth) {
  TDeclText T = NewText();
  std::string_view Name = DefName(D);
  if (!Name.empty()) {
    if (const TTypeDecl* Owner = OwnerOf(N)) {
      T.AddName(TDeclRunKind::TypeRef, NameView(Owner->GetName()), OffsetOf(U, Owner->DefPos));
      return T;
    }
    T.AddName(TDeclRunKind::TypeRef, Name, NoAnchor);
    return T;
  }
  // Anonymous: written out by structure.
  T = Structure(N, D, Depth + 1, nullptr);
  if (T.Empty()) T.Comment(Unresolved(N));
  return T;
}

TDeclText TOutlineBuilder::Structure(uint32_t N, const TBaseDef* D, int Depth, TDeclTypeKind* Kind) {
  TDeclText T = NewText();
  const TDeclTypeKind K = WriteStructure(T, D, TTypeSite{N, Depth, Kind == nullptr});
  if (Kind) *Kind = K;
  return T;
}

TDeclTypeKind TOutlineBuilder::WriteStructure(TDeclText& T, const TBaseDef* D, const TTypeSite& S) {
  using K = TDeclTypeKind;
  switch (D ? D->RecKind() : TRecKind::BaseDef) {
    case TRecKind::EnumDef: return EnumType(T, As<TEnumDef>(D), S);
    case TRecKind::RangeDef: {
      const auto& R = As<TRangeDef>(D);
      RangeText(T, R, R.BaseType != S.N ? R.BaseType : 0, TagAt(R.DefPos));
      return K::Subrange;
    }
    case TRecKind::FloatDef: T.Comment("{float, " + std::to_string(As<TFloatDef>(D).Size) + " bytes}"); return K::Float;
    case TRecKind::PtrDef: {
      // A pointer to an anonymous array of the empty range 0..-1 is how a
      // dynamic array is stored.
      const uint32_t Base = As<TPtrDef>(D).BaseType;
      const TArrayDef* A = DefName(U.GetTypeDef(Base)).empty() ? OpenArrayOf(Base) : nullptr;
      if (A) return KeywordOf(T, "array", A->ElemType, S, K::Array);
      T.Plain("^");
      T.Append(TypeRef(Base, S.Depth));
      return K::Pointer;
    }
    case TRecKind::TextDef: T.Keyword("Text"); return K::File;
    case TRecKind::FileDef: return FileType(T, As<TFileDef>(D), S);
    case TRecKind::SetDef: return KeywordOf(T, "set", As<TSetDef>(D).BaseType, S, K::Set);
    case TRecKind::ShortStrDef:
      T.Keyword("string");
      T.Plain("[" + std::to_string(static_cast<int64_t>(As<TShortStrDef>(D).Size) - 1) + "]");
      return K::String;
    case TRecKind::StringDef: {
      // A string or dynamic-array definition: its element type is what the
      // file gives.
      const auto& Str = As<TStringDef>(D);
      return KeywordOf(T, "array", Str.ElemType, S, TagAt(Str.DefPos) == tagDefStringU ? K::String : K::Array);
    }
    case TRecKind::ArrayDef: return ArrayType(T, As<TArrayDef>(D), S);
    case TRecKind::VariantDef: T.Keyword("Variant"); return K::Variant;
    case TRecKind::ObjVMTDef: return KeywordOf(T, "class", As<TObjVMTDef>(D).ObjType, S, K::ClassRef);
    case TRecKind::VoidDef: T.Comment("{void}"); return K::Void;
    case TRecKind::ProcTypeDef: return ProcType(T, As<TProcTypeDef>(D), S);
    case TRecKind::RecDef: T.Keyword("record"); return RecordBody(T, As<TRecDef>(D), S, K::Record);
    case TRecKind::ObjDef: {
      const auto& O = As<TObjDef>(D);
      T.Keyword("object");
      ParentList(T, O.ParentType, {}, S.Depth);
      return RecordBody(T, O, S, K::Object);
    }
    case TRecKind::ClassDef: return ClassType(T, As<TClassDef>(D), S);
    case TRecKind::InterfaceDef: return InterfaceType(T, As<TInterfaceDef>(D), S);
    default:
      // A placeholder or import record without a name.
      T.Comment(Unresolved(S.N));
      return K::Unknown;
  }
}

TDeclTypeKind TOutlineBuilder::EnumType(TDeclText& T, const TEnumDef& E, const TTypeSite& S) {
  if (!E.NameList) {
    RangeText(T, E, E.BaseType != S.N ? E.BaseType : 0, tagDefEnum);
    return TDeclTypeKind::Subrange;
  }
  T.Plain("(");
  for (size_t I = 0; I < E.NameList->size(); ++I) {
    if (I) T.Plain(", ");
    if (T.Text.size() > InlineCap && S.Inline) {
      T.Plain("...");
      break;
    }
    T.AddName(TDeclRunKind::Plain, NameView((*E.NameList)[I]->GetName()));
  }
  T.Plain(")");
  return TDeclTypeKind::Enum;
}

TDeclTypeKind TOutlineBuilder::FileType(TDeclText& T, const TFileDef& F, const TTypeSite& S) {
  T.Keyword("file");
  if (F.BaseType != 0 && !RecCast<TVoidDef>(U.GetTypeDef(F.BaseType))) Of(T, TypeRef(F.BaseType, S.Depth));
  return TDeclTypeKind::File;
}

TDeclTypeKind TOutlineBuilder::ArrayType(TDeclText& T, const TArrayDef& A, const TTypeSite& S) {
  T.Keyword("array");
  T.Plain("[");
  T.Append(TypeRef(A.IndexType, S.Depth));
  T.Plain("]");
  Of(T, TypeRef(A.ElemType, S.Depth));
  return TDeclTypeKind::Array;
}

TDeclTypeKind TOutlineBuilder::KeywordOf(TDeclText& T, std::string_view Keyword, uint32_t BaseN,
                                         const TTypeSite& S, TDeclTypeKind Kind) {
  T.Keyword(Keyword);
  Of(T, TypeRef(BaseN, S.Depth));
  return Kind;
}

TDeclTypeKind TOutlineBuilder::ProcType(TDeclText& T, const TProcTypeDef& P, const TTypeSite& S) {
  TDeclRoutine R = ProcTypeRoutine(&P, S.Depth);
  T.Keyword(R.IsFunction ? "function" : "procedure");
  WriteSignature(T, R);
  return TDeclTypeKind::ProcType;
}

TDeclTypeKind TOutlineBuilder::ClassType(TDeclText& T, const TClassDef& C, const TTypeSite& S) {
  T.Keyword("class");
  ParentList(T, C.ParentType, C.IntfPairs, S.Depth);
  return RecordBody(T, C, S, TDeclTypeKind::Class);
}

TDeclTypeKind TOutlineBuilder::InterfaceType(TDeclText& T, const TInterfaceDef& I, const TTypeSite& S) {
  const bool Disp = I.IsDispInterface();
  T.Keyword(Disp ? "dispinterface" : "interface");
  ParentList(T, I.ParentType, {}, S.Depth);
  return RecordBody(T, I, S, Disp ? TDeclTypeKind::DispInterface : TDeclTypeKind::Interface);
}

void TOutlineBuilder::ParentList(TDeclText& T, uint32_t ParentN, const std::vector<uint32_t>& IntfPairs,
                                 int Depth) {
  if (ParentN == 0 && IntfPairs.size() < 2) return;
  T.Plain("(");
  bool First = true;
  if (ParentN) {
    T.Append(TypeRef(ParentN, Depth));
    First = false;
  }
  // The interfaces of a class: the first of each pair.
  for (size_t I = 0; I + 1 < IntfPairs.size(); I += 2) {
    if (!First) T.Plain(", ");
    T.Append(TypeRef(IntfPairs[I], Depth));
    First = false;
  }
  T.Plain(")");
}

TDeclTypeKind TOutlineBuilder::RecordBody(TDeclText& T, const TRecBaseDef& R, const TTypeSite& S,
                                          TDeclTypeKind Kind) {
  if (S.Inline) {
    T.Append(InlineMembers(R.Fields, S.Depth));
    T.Plain(" ");
    T.Keyword("end");
  }
  return Kind;
}

TDeclText TOutlineBuilder::InlineMembers(TNameDecl* Chain, int Depth) {
  TDeclText T = NewText();
  for (TDCURec* R = Chain; R; R = R->Next) {
    if (T.Text.size() > InlineCap) {
      T.Plain(" ...");
      break;
    }
    auto* L = RecCast<TLocalDecl>(R);
    if (!L || RecCast<TMethodDecl>(R)) continue;
    std::string_view N = NameView(L->GetName());
    if (IsCompilerName(N)) continue;
    T.Plain(" ");
    T.AddName(TDeclRunKind::Plain, N);
    T.Plain(": ");
    T.Append(TypeRef(L->TypeIndex, Depth));
    T.Plain(";");
  }
  return T;
}
