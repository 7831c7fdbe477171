// Type views (see TypeViews.h).
#include "TypeViews.h"

#include <algorithm>
#include <array>

#include "DCURecs.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DCU_Unit.h"

namespace {

std::string_view View(TPos Name) { return NameView(Name); }

// Names of different lengths differ: most of the names a type is looked
// up among are passed over at once.
bool NameIs(std::string_view A, std::string_view B) { return A.size() == B.size() && CompareNamesNoCase(A, B) == 0; }

// Types of the runtime units known by name: an imported type carries only its
// name, and these names mean one thing in every unit that uses them.
struct TKnownType {
  std::string_view Name;
  TShape Shape;
  int8_t Size;
  int64_t Lo, Hi;
  TFloatKind Float;
  int8_t MinVersion;  // the name means this from that format version on
};

constexpr int64_t I32Min = INT32_MIN, I32Max = INT32_MAX, U32Max = UINT32_MAX;
constexpr TFloatKind FX = TFloatKind::Extended;

constexpr std::array<TKnownType, 70> KnownTypes{{
    {"Integer", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"Longint", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"HRESULT", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"WPARAM", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"LPARAM", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"Shortint", TShape::Int, 1, -128, 127, FX, 0},
    {"Smallint", TShape::Int, 2, -32768, 32767, FX, 0},
    {"Byte", TShape::Int, 1, 0, 255, FX, 0},
    {"Word", TShape::Int, 2, 0, 65535, FX, 0},
    {"Cardinal", TShape::Int, 4, 0, U32Max, FX, 4},
    {"LongWord", TShape::Int, 4, 0, U32Max, FX, 4},
    {"DWORD", TShape::Int, 4, 0, U32Max, FX, 4},
    {"UINT", TShape::Int, 4, 0, U32Max, FX, 4},
    {"ULONG", TShape::Int, 4, 0, U32Max, FX, 4},
    {"THandle", TShape::Int, 4, 0, U32Max, FX, 5},
    {"Int64", TShape::Int, 8, INT64_MIN, INT64_MAX, FX, 4},
    {"Boolean", TShape::Bool, 1, 0, 1, FX, 0},
    {"ByteBool", TShape::Bool, 1, 0, 255, FX, 0},
    {"WordBool", TShape::Bool, 2, 0, 65535, FX, 0},
    {"LongBool", TShape::Bool, 4, I32Min, I32Max, FX, 0},
    {"BOOL", TShape::Bool, 4, I32Min, I32Max, FX, 0},
    {"Char", TShape::Char, 1, 0, 255, FX, 0},
    {"AnsiChar", TShape::Char, 1, 0, 255, FX, 0},
    {"WideChar", TShape::WideChar, 2, 0, 65535, FX, 0},
    {"String", TShape::LongStr, 4, 0, 0, FX, 0},
    {"AnsiString", TShape::LongStr, 4, 0, 0, FX, 0},
    {"WideString", TShape::WideStr, 4, 0, 0, FX, 0},
    {"ShortString", TShape::ShortStr, -1, 0, 0, FX, 0},
    {"PChar", TShape::PChar, 4, 0, 0, FX, 0},
    {"PAnsiChar", TShape::PChar, 4, 0, 0, FX, 0},
    {"PWideChar", TShape::PWideChar, 4, 0, 0, FX, 0},
    // The runtime's other names of the character pointers (Windows, ActiveX).
    {"POleStr", TShape::PWideChar, 4, 0, 0, FX, 0},
    {"LPWSTR", TShape::PWideChar, 4, 0, 0, FX, 0},
    {"LPCWSTR", TShape::PWideChar, 4, 0, 0, FX, 0},
    {"PWChar", TShape::PWideChar, 4, 0, 0, FX, 0},
    {"LPSTR", TShape::PChar, 4, 0, 0, FX, 0},
    {"LPCSTR", TShape::PChar, 4, 0, 0, FX, 0},
    {"Pointer", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PString", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PAnsiString", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PWideString", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PShortString", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PInteger", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PByte", TShape::Pointer, 4, 0, 0, FX, 0},
    {"PPointer", TShape::Pointer, 4, 0, 0, FX, 0},
    {"TClass", TShape::ClassRef, 4, 0, 0, FX, 0},
    {"TObject", TShape::Object, 4, 0, 0, FX, 0},
    {"Single", TShape::Float, 4, 0, 0, TFloatKind::Single, 0},
    {"Double", TShape::Float, 8, 0, 0, TFloatKind::Double, 0},
    {"Extended", TShape::Float, 10, 0, 0, TFloatKind::Extended, 0},
    {"Real48", TShape::Float, 6, 0, 0, TFloatKind::Real48, 0},
    {"Comp", TShape::Float, 8, 0, 0, TFloatKind::Comp, 0},
    {"Currency", TShape::Float, 8, 0, 0, TFloatKind::Currency, 0},
    {"TDateTime", TShape::Float, 8, 0, 0, TFloatKind::Double, 0},
    {"Real", TShape::Float, 8, 0, 0, TFloatKind::Double, 4},
    {"TGUID", TShape::Guid, 16, 0, 0, FX, 0},
    // The OpenGL unit's names of the C types of OpenGL.
    {"GLenum", TShape::Int, 4, 0, U32Max, FX, 4},
    {"GLbitfield", TShape::Int, 4, 0, U32Max, FX, 4},
    {"GLuint", TShape::Int, 4, 0, U32Max, FX, 4},
    {"GLint", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"GLsizei", TShape::Int, 4, I32Min, I32Max, FX, 0},
    {"GLboolean", TShape::Int, 1, 0, 255, FX, 0},
    {"GLbyte", TShape::Int, 1, -128, 127, FX, 0},
    {"GLubyte", TShape::Int, 1, 0, 255, FX, 0},
    {"GLshort", TShape::Int, 2, -32768, 32767, FX, 0},
    {"GLushort", TShape::Int, 2, 0, 65535, FX, 0},
    {"GLfloat", TShape::Float, 4, 0, 0, TFloatKind::Single, 0},
    {"GLclampf", TShape::Float, 4, 0, 0, TFloatKind::Single, 0},
    {"GLdouble", TShape::Float, 8, 0, 0, TFloatKind::Double, 0},
    {"GLclampd", TShape::Float, 8, 0, 0, TFloatKind::Double, 0},
}};

// The units whose type names KnownTypes gives.
// The units whose type names KnownTypes gives.
bool RuntimeUnit(std::string_view Unit) {
  return NameIs(Unit, "System") || NameIs(Unit, "SysInit") || NameIs(Unit, "Windows") || NameIs(Unit, "Types") ||
         NameIs(Unit, "ActiveX") || NameIs(Unit, "OpenGL");
}

// A type of the runtime by its name alone: the names of a GUID, Real (the
// six-byte format before version 4), the handle types of Windows and
// KnownTypes. Unknown when the name is none of them.
TView KnownView(std::string_view Unit, std::string_view Name, int32_t Version) {
  TView V;
  // The names of a GUID: the runtime's, which the COM units pass on, and
  // theirs.
  if (NameIs(Name, "TGUID") || NameIs(Name, "TIID") || NameIs(Name, "TCLSID") || NameIs(Name, "TFmtID")) {
    V.Shape = TShape::Guid;
    V.Size = 16;
    return V;
  }
  if (!RuntimeUnit(Unit)) return V;
  if (NameIs(Name, "Real") && !IsRelease4Up(Version)) {
    V.Shape = TShape::Float;
    V.Size = 6;
    V.Float = TFloatKind::Real48;
    return V;
  }
  // The handle types of Windows (HWND, HFONT, HDC, ...) are all
  // "type LongWord" from version 5 on.
  const bool Handle = Name.size() > 1 && Name[0] == 'H' &&
                      std::all_of(Name.begin(), Name.end(), [](char C) { return C >= 'A' && C <= 'Z'; }) &&
                      NameIs(Unit, "Windows") && Version >= 5;
  if (Handle) {
    V.Shape = TShape::Int;
    V.Size = 4;
    V.HasRange = true;
    V.Lo = 0;
    V.Hi = U32Max;
    return V;
  }
  for (const TKnownType& K : KnownTypes) {
    if (!NameIs(Name, K.Name) || Version < K.MinVersion) continue;
    V.Shape = K.Shape;
    V.Size = K.Shape == TShape::ShortStr ? 256 : K.Size;
    V.Float = K.Float;
    if (K.Shape == TShape::Int || K.Shape == TShape::Bool || K.Shape == TShape::Char || K.Shape == TShape::WideChar) {
      V.HasRange = true;
      V.Lo = K.Lo;
      V.Hi = K.Hi;
    }
    return V;
  }
  return V;
}

TShape CharShapeOf(const TView& V) {
  return V.Shape == TShape::Char || V.Shape == TShape::WideChar ? V.Shape : TShape::Unknown;
}

// The shape of a range type by its definition's tag.
TShape RangeShape(const TTypeDef* T) {
  if (RecCast<TEnumDef>(T)) return TShape::Enum;
  switch (*T->DefPos) {
    case tagDefBool: return TShape::Bool;
    case tagDefChar: return TShape::Char;
    case tagDefWideChar: return TShape::WideChar;
    default: return TShape::Int;
  }
}

// The shape of a type that is no range, float, pointer or string.
TShape OtherShape(const TTypeDef* T) {
  if (RecCast<TSetDef>(T)) return TShape::Set;
  if (RecCast<TShortStrDef>(T)) return TShape::ShortStr;
  if (RecCast<TArrayDef>(T)) return TShape::Array;
  if (RecCast<TProcTypeDef>(T)) return TShape::Proc;
  if (RecCast<TObjVMTDef>(T)) return TShape::ClassRef;
  if (RecCast<TClassDef>(T) || RecCast<TInterfaceDef>(T)) return TShape::Object;
  if (RecCast<TRecDef>(T))
    // The runtime's own TGUID: the string form is the one sources use.
    return T->Name && NameIs(View(T->Name), "TGUID") && T->Size == 16 ? TShape::Guid : TShape::Record;
  return TShape::Unknown;
}

// The names of an enumeration type (its own, or its base's for a subrange).
const TEnumNameList* EnumNames(const TUnit& U, const TBaseDef* D) {
  auto* E = RecCast<TEnumDef>(D);
  if (!E) return nullptr;
  if (E->NameList) return E->NameList;
  auto* B = RecCast<TEnumDef>(U.GetTypeDef(E->BaseType));
  return B && B != E ? B->NameList : nullptr;
}

std::string_view UsedUnitName(const TUnit& U, int32_t UnitNo) {
  if (UnitNo < 0 || static_cast<size_t>(UnitNo) >= U.UsedUnits.size()) return {};
  return View(U.UsedUnits[static_cast<size_t>(UnitNo)]->NamePos);
}

uint32_t ParentType(const TBaseDef* D) {
  if (auto* C = RecCast<TClassDef>(D)) return C->ParentType;
  if (auto* O = RecCast<TObjDef>(D)) return O->ParentType;
  return 0;
}

}  // namespace

TView TTypeViews::Imported(std::string_view Unit, std::string_view Name, int32_t Version, int Depth) const {
  TView V = KnownView(Unit, Name, Version);
  if (V.Shape != TShape::Unknown || !Used || Unit.empty() || Depth > MaxTypeDepth) return V;
  const TUnitTypes* T = Used->UnitTypes(Unit, Version);
  const TTypeFact* F = T ? T->Find(Name) : nullptr;
  return F ? FactView(*T, static_cast<int32_t>(F - T->Types.data()), Depth) : V;
}

TView TTypeViews::FactView(const TUnitTypes& Table, int32_t Index, int Depth) const {
  TView V;
  if (Index < 0 || static_cast<size_t>(Index) >= Table.Types.size()) return V;
  const TTypeFact& F = Table.Types[static_cast<size_t>(Index)];
  if (!F.Alias.Empty()) return Link(Table, F.Alias, Depth + 1);
  static_cast<TTypeBasics&>(V) = F;
  V.Table = &Table;
  V.Fact = &F;
  // A subrange of an enumeration (or Boolean) of another unit: its values
  // are the base's names.
  if (F.Shape == TShape::Int && !F.Base.Empty()) {
    const TShape B = Link(Table, F.Base, Depth + 1).Shape;
    if (B == TShape::Enum || B == TShape::Bool) V.Shape = B;
  }
  return V;
}

TView TTypeViews::Link(const TUnitTypes& Table, const TTypeLink& L, int Depth) const {
  if (Depth > MaxTypeDepth) return {};
  if (L.Index >= 0) return FactView(Table, L.Index, Depth);
  return Imported(L.Unit, L.Name, Table.Version, Depth + 1);
}

TView TTypeViews::Of(uint32_t N, int Depth) const {
  const TBaseDef* D = U.GetTypeDef(N);
  if (!D || Depth > MaxTypeDepth) return {};
  if (auto* I = RecCast<TImpTypeDefRec>(D)) return Imported(UsedUnitName(U, I->OwnerUnit), View(I->TypeName), U.Version, Depth);
  if (auto* I = RecCast<TImpDef>(D))
    return I->Kind == 'T' ? Imported(UsedUnitName(U, I->UnitIndex), View(I->Name), U.Version, Depth) : TView();
  return OwnView(D, Depth);
}

TView TTypeViews::OwnView(const TBaseDef* D, int Depth) const {
  TView V;
  auto* T = RecCast<TTypeDef>(D);
  if (!T) return V;
  V.Def = T;
  V.Size = T->Size;
  if (auto* R = RecCast<TRangeBaseDef>(T)) {
    V.HasRange = R->TryBounds(V.Lo, V.Hi);
    V.Shape = RangeShape(T);
    // A subrange of an enumeration (bsNone..bsSingle) or of Boolean: its
    // values are the base's names.
    if (V.Shape == TShape::Int && R->BaseType && U.GetTypeDef(R->BaseType) != D) {
      const TShape B = Of(R->BaseType, Depth + 1).Shape;
      if (B == TShape::Enum || B == TShape::Bool) V.Shape = B;
    }
  } else if (auto* F = RecCast<TFloatDef>(T)) {
    V.Shape = F->FloatB <= 5 ? TShape::Float : TShape::Unknown;
    V.Float = F->FloatB <= 5 ? static_cast<TFloatKind>(F->FloatB) : TFloatKind::Extended;
  } else if (auto* P = RecCast<TPtrDef>(T)) {
    const TShape C = CharShapeOf(Of(P->BaseType, Depth + 1));
    V.Shape = C == TShape::Char ? TShape::PChar : C == TShape::WideChar ? TShape::PWideChar : TShape::Pointer;
  } else if (auto* S = RecCast<TStringDef>(T)) {
    if (*T->DefPos == tagDefStringU)
      V.Shape = TShape::WideStr;
    else
      V.Shape = CharShapeOf(Of(S->ElemType, Depth + 1)) == TShape::Char ? TShape::LongStr : TShape::DynArray;
  } else {
    V.Shape = OtherShape(T);
  }
  return V;
}

TView TTypeViews::SetBase(const TView& T) const {
  if (T.Fact) return Link(*T.Table, T.Fact->Base);
  auto* S = RecCast<TSetDef>(T.Def);
  return S ? Of(S->BaseType) : TView();
}

int64_t TTypeViews::SetFirst(const TView& T) const {
  if (T.Fact) return T.Fact->SetFirst;
  auto* S = RecCast<TSetDef>(T.Def);
  return S ? int64_t(S->BStart) * 8 : 0;
}

TView TTypeViews::ArrayIndex(const TView& T) const {
  if (T.Fact) return Link(*T.Table, T.Fact->Index);
  auto* A = RecCast<TArrayDef>(T.Def);
  return A ? Of(A->IndexType) : TView();
}

TView TTypeViews::ArrayElem(const TView& T) const {
  if (T.Fact) return Link(*T.Table, T.Fact->Elem);
  auto* A = RecCast<TArrayDef>(T.Def);
  return A ? Of(A->ElemType) : TView();
}

std::vector<TFieldView> TTypeViews::Fields(const TView& T) const {
  std::vector<TFieldView> Out;
  if (T.Fact) {
    for (const TFieldFact& F : T.Fact->Fields) Out.push_back({F.Name, F.Ofs, Link(*T.Table, F.Type)});
    return Out;
  }
  auto* D = RecCast<TRecBaseDef>(T.Def);
  for (TDCURec* F = D ? D->Fields : nullptr; F; F = F->Next) {
    auto* L = RecCast<TLocalDecl>(F);
    if (L && *L->DefPos == tagField) Out.push_back({View(L->GetName()), L->Ofs, Of(L->TypeIndex)});
  }
  return Out;
}

std::optional<std::string_view> TTypeViews::EnumName(const TView& T, int64_t V) const {
  if (V < 0) return std::nullopt;
  if (T.Fact) {
    // A subrange of another unit's enumeration: the names of its base.
    TView E = T;
    for (int Step = 0; E.Fact && E.Fact->EnumNames.empty() && !E.Fact->Base.Empty() && Step < MaxTypeDepth; ++Step)
      E = Link(*E.Table, E.Fact->Base);
    if (!E.Fact || static_cast<uint64_t>(V) >= E.Fact->EnumNames.size()) return std::nullopt;
    return E.Fact->EnumNames[static_cast<size_t>(V)];
  }
  // A subrange of an enumeration: the names of the base (through a few
  // subranges of subranges at most).
  const TBaseDef* D = T.Def;
  for (int Step = 0; D && !RecCast<TEnumDef>(D) && Step < MaxTypeDepth; ++Step) {
    auto* R = RecCast<TRangeBaseDef>(D);
    if (!R || !R->BaseType) return std::nullopt;
    const TView B = Of(R->BaseType);
    if (B.Fact) return EnumName(B, V);
    D = B.Def;
  }
  const TEnumNameList* Names = EnumNames(U, D);
  if (!Names || static_cast<uint64_t>(V) >= Names->size()) return std::nullopt;
  return View((*Names)[static_cast<size_t>(V)]->GetName());
}

TView TTypeViews::InheritedPropType(const TView& Class, std::string_view Name, int Depth) const {
  TView C = Class;
  // Ancestors through their parent types; a chain that loops is cut.
  for (int Step = 0; Step < 256 && Depth <= MaxTypeDepth; ++Step) {
    if (C.Fact) {
      const TTypeFact& F = *C.Fact;
      C = Link(*C.Table, F.Parent, Depth++);
      if (!C.Fact && !C.Def) return {};
    } else {
      const TBaseDef* D = C.Def;
      C = D ? Of(ParentType(D)) : TView();
      if (!C.Fact && !C.Def) return {};
    }
    if (C.Fact) {
      for (const TPropFact& P : C.Fact->Props)
        if (NameIs(P.Name, Name)) {
          if (!P.Type.Empty()) return Link(*C.Table, P.Type, Depth);
          break;  // a redeclaration passes on to its own ancestor
        }
      continue;
    }
    auto* R = RecCast<TRecBaseDef>(C.Def);
    for (TDCURec* M = R ? R->Fields : nullptr; M; M = M->Next) {
      auto* P = RecCast<TPropDecl>(M);
      if (!P || !NameIs(View(P->GetName()), Name)) continue;
      if (P->TypeIndex != 0) return Of(P->TypeIndex);
      break;
    }
  }
  return {};
}
