// Building the declarations outline from a loaded unit (see DeclOutline.h).
#include "DeclOutline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "DCU_Text.h"
#include "DCURecs.h"
#include "DCU_Unit.h"

namespace {

// Longest text an anonymous type is written out to inline; a longer one
// ends in "...". Keeps the outline linear in the unit's size whatever the
// nesting and sharing of anonymous types.
constexpr size_t InlineCap = 400;
// Deepest nesting of anonymous types written out inline.
constexpr int InlineDepth = 12;

std::string_view View(TPos Name) { return NameView(Name); }

// Whether every byte of S is printable ASCII (0x20..0x7E): such a name is
// its own display text. Eight bytes at a time: a byte below 0x20 or from
// 0x7F up sets its high bit in one of the two terms.
bool IsPlainAscii(std::string_view S) {
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  size_t I = 0;
  for (; I + 8 <= S.size(); I += 8) {
    uint64_t W;
    std::memcpy(&W, S.data() + I, 8);
    if ((((W - Ones * 0x20) & ~W) | W | (W + Ones)) & Highs) return false;
  }
  for (; I < S.size(); ++I)
    if (S[I] < 0x20 || S[I] >= 0x7F) return false;
  return true;
}
bool IsCompilerName(std::string_view N) { return N.empty() || N[0] == '.'; }
uint32_t OffsetOf(const TUnit& U, TPos P) { return P ? PosOffset(P, U.Image.get()) : 0; }
uint8_t TagAt(TPos P) { return P ? *P : 0; }

// Bytes as upper-case hexadecimal pairs, Sep between them.
std::string HexBytes(const uint8_t* P, size_t N, std::string_view Sep) {
  static const char* Digits = "0123456789ABCDEF";
  std::string S;
  S.reserve(N * (2 + Sep.size()));
  for (size_t I = 0; I < N; ++I) {
    if (I) S += Sep;
    const char Pair[2] = {Digits[P[I] >> 4], Digits[P[I] & 15]};
    S.append(Pair, 2);
  }
  return S;
}

std::string Unresolved(uint64_t N) { return "{#" + std::to_string(N) + "}"; }

// The part of a qualified name after its last dot ("TList.Get" -> "Get").
std::string_view LastPart(std::string_view N) {
  size_t Dot = N.rfind('.');
  return Dot == std::string_view::npos || Dot + 1 >= N.size() ? N : N.substr(Dot + 1);
}

// An ordinal value as a range of the kind Tag writes it: False/True, a
// character, or a number.
std::string OrdinalByKind(uint8_t Tag, int64_t V) {
  if (Tag == tagDefBool && (V == 0 || V == 1)) return V ? "True" : "False";
  if ((Tag == tagDefChar || Tag == tagDefWideChar) && V >= 0) {
    if (V >= 0x20 && V < 0x7F && V != '\'') return std::string("'") + static_cast<char>(V) + "'";
    return "#" + std::to_string(V);
  }
  return std::to_string(V);
}

// " of Type" after a keyword.
void Of(TDeclText& T, const TDeclText& Type) {
  T.Plain(" ");
  T.Keyword("of");
  T.Plain(" ");
  T.Append(Type);
}

class TBuilder {
 public:
  TBuilder(const TUnit& U, bool KeepSpans) : U(U), KeepSpans(KeepSpans) {}
  TDeclOutline Build();

 private:
  const TUnit& U;
  const bool KeepSpans;
  TDeclText NewText() const {
    TDeclText T;
    T.KeepSpans = KeepSpans;
    return T;
  }
  // Type number -> the shown type declaration that type references link
  // to: the first one whose name the definition carries, else the first one
  // naming it. (Which of several names for one type was declared first in
  // the source the file does not say: each of them shows the structure.)
  struct TOwner {
    int64_t Anchor;
    std::string Name;
  };
  std::unordered_map<uint32_t, TOwner> Owners;
  // The text of each type number once made, and which are being made (an
  // anonymous type met inside itself prints as its number).
  std::unordered_map<uint32_t, TDeclText> Texts;
  // "{#N}" for type numbers that resolve to nothing, or are met inside
  // themselves or too deep.
  std::unordered_map<uint32_t, TDeclText> Numbers;
  const TDeclText& NumberText(uint32_t N);
  std::vector<uint8_t> State;  // by type number: 0 not yet, 1 being made, 2 made
  TDeclText MakeTypeRef(uint32_t N, const TBaseDef* D, int Depth);

  // The name a definition carries, or empty when it is anonymous.
  std::string_view DefName(const TBaseDef* D) const;
  // The text of a type reference; valid as long as the builder.
  const TDeclText& TypeRef(uint32_t N, int Depth = 0);
  // The used unit an imported type number comes from, or empty.
  std::string UnitOf(uint32_t N) const;
  TDeclText Structure(uint32_t N, const TBaseDef* D, int Depth, std::string* Kind);
  std::string OrdinalText(uint32_t TypeN, int64_t V, bool* Named);
  TDeclText RangeText(const TRangeBaseDef* R, uint32_t BaseN, uint8_t Tag);
  void Params(TNameDecl* Chain, std::vector<TDeclParam>& Out, bool SkipSelf, int Depth);
  void SetResult(TDeclRoutine& R, uint32_t ResultType, int Depth);
  TDeclRoutine ProcRoutine(const TProcDecl* P, bool SkipSelf, int Depth);
  TDeclRoutine ProcTypeRoutine(const TProcTypeDef* P, int Depth);
  void Members(TNameDecl* Chain, std::vector<TDeclMember>& Out);
  TDeclText InlineMembers(TNameDecl* Chain, int Depth);
  std::string DeclName(uint32_t DeclNo, bool LastPartOnly);
  bool ToImplementation(const TNameDecl* D, std::string_view Name) const;
  // The block kind of the entry D makes (procedures and functions share
  // one), or none for a declaration the outline leaves out.
  std::optional<TDeclKind> EntryKind(const TNameDecl* D) const;
  void MakeEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E);
  void TypeEntry(const TTypeDecl* T, TDeclEntry& E);
};

std::string_view TBuilder::DefName(const TBaseDef* D) const {
  if (!D) return {};
  if (auto* I = RecCast<TImpTypeDefRec>(D)) return I->TypeName ? View(I->TypeName) : std::string_view();
  if (!D->Name) return {};
  std::string_view N = View(D->Name);
  return IsCompilerName(N) ? std::string_view() : N;
}

std::string TBuilder::UnitOf(uint32_t N) const {
  const TBaseDef* D = U.GetTypeDef(N);
  int32_t UnitNo = -1;
  if (auto* I = RecCast<TImpTypeDefRec>(D)) UnitNo = I->OwnerUnit;
  else if (RecCast<TImpDef>(D)) UnitNo = D->UnitIndex;
  if (UnitNo < 0 || static_cast<size_t>(UnitNo) >= U.UsedUnits.size()) return {};
  return DeclDisplayText(View(U.UsedUnits[static_cast<size_t>(UnitNo)]->NamePos));
}

const TDeclText& TBuilder::NumberText(uint32_t N) {
  auto [It, New] = Numbers.try_emplace(N, NewText());
  if (New) It->second.Comment(Unresolved(N));
  return It->second;
}

const TDeclText& TBuilder::TypeRef(uint32_t N, int Depth) {
  const TBaseDef* D = U.GetTypeDef(N);
  if (!D) return NumberText(N);
  if (State.size() <= N) State.resize(U.TypeTable.size() + 1);
  if (State[N] == 2) return Texts.find(N)->second;
  // Too deep a nesting of anonymous types is cut (and not kept: a shallower
  // use writes it out).
  if (State[N] == 1 || (Depth >= InlineDepth && DefName(D).empty())) return NumberText(N);
  State[N] = 1;
  TDeclText T = MakeTypeRef(N, D, Depth);
  State[N] = 2;
  return Texts.emplace(N, std::move(T)).first->second;
}

TDeclText TBuilder::MakeTypeRef(uint32_t N, const TBaseDef* D, int Depth) {
  TDeclText T = NewText();
  std::string_view Name = DefName(D);
  if (!Name.empty()) {
    auto A = Owners.find(N);
    if (A != Owners.end()) {
      T.Add(TDeclRunKind::TypeRef, A->second.Name, A->second.Anchor);
      return T;
    }
    T.Add(TDeclRunKind::TypeRef, DeclDisplayText(Name), NoAnchor);
    return T;
  }
  // Anonymous: written out by structure.
  T = Structure(N, D, Depth + 1, nullptr);
  if (T.Empty()) T.Comment(Unresolved(N));
  return T;
}

std::string TBuilder::OrdinalText(uint32_t TypeN, int64_t V, bool* Named) {
  if (Named) *Named = false;
  const TBaseDef* D = U.GetTypeDef(TypeN);
  if (auto* E = RecCast<TEnumDef>(D)) {
    if (E->NameList && V >= 0 && static_cast<uint64_t>(V) < E->NameList->size()) {
      if (Named) *Named = true;
      return DeclDisplayText(View((*E->NameList)[static_cast<size_t>(V)]->GetName()));
    }
    // A subrange of an enumeration takes its names from its base.
    if (E->BaseType != TypeN && !E->NameList) {
      auto* B = RecCast<TEnumDef>(U.GetTypeDef(E->BaseType));
      if (B && B->NameList && V >= 0 && static_cast<uint64_t>(V) < B->NameList->size()) {
        if (Named) *Named = true;
        return DeclDisplayText(View((*B->NameList)[static_cast<size_t>(V)]->GetName()));
      }
    }
  }
  return OrdinalByKind(RecCast<TRangeDef>(D) ? TagAt(D->DefPos) : 0, V);
}

TDeclText TBuilder::RangeText(const TRangeBaseDef* R, uint32_t BaseN, uint8_t Tag) {
  TDeclText T = NewText();
  int64_t Lo = 0, Hi = 0;
  try {
    R->GetBounds(Lo, Hi);
  } catch (const std::exception&) {
    T.Comment("{bounds unreadable}");
    return T;
  }
  // Values print by the base type when it is an enumeration or a boolean or
  // character range; otherwise by the range's own kind.
  auto One = [&](int64_t V) {
    bool Named = false;
    std::string S = BaseN ? OrdinalText(BaseN, V, &Named) : std::string();
    return Named ? S : OrdinalByKind(Tag, V);
  };
  T.Plain(One(Lo) + ".." + One(Hi));
  return T;
}

void TBuilder::Params(TNameDecl* Chain, std::vector<TDeclParam>& Out, bool SkipSelf, int Depth) {
  auto Param = [](TDCURec* R) -> const TLocalDecl* {
    auto* L = RecCast<TLocalDecl>(R);
    uint8_t Tag = L ? TagAt(L->DefPos) : 0;
    return Tag == tagValParam || Tag == tagVarParam ? L : nullptr;
  };
  size_t Count = 0;
  for (TDCURec* R = Chain; R; R = R->Next) Count += Param(R) != nullptr;
  Out.reserve(Count);
  bool First = true;
  for (TDCURec* R = Chain; R; R = R->Next) {
    const TLocalDecl* L = Param(R);
    if (!L) continue;
    uint8_t Tag = TagAt(L->DefPos);
    std::string_view N = View(L->GetName());
    bool WasFirst = First;
    First = false;
    if (IsCompilerName(N)) continue;
    if (SkipSelf && WasFirst && N == "Self") continue;
    TDeclParam& P = Out.emplace_back();
    P.Name = DeclDisplayText(N);
    P.Mode = Tag == tagVarParam ? TParamMode::Var : TParamMode::Value;
    P.Type = TypeRef(L->TypeIndex, Depth);
  }
}

// A result type that is none or void makes a procedure.
void TBuilder::SetResult(TDeclRoutine& R, uint32_t ResultType, int Depth) {
  if (ResultType == 0 || RecCast<TVoidDef>(U.GetTypeDef(ResultType))) return;
  R.IsFunction = true;
  R.Result = TypeRef(ResultType, Depth);
}

TDeclRoutine TBuilder::ProcRoutine(const TProcDecl* P, bool SkipSelf, int Depth) {
  TDeclRoutine R;
  R.Known = true;
  Params(P->Params, R.Params, SkipSelf, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  return R;
}

TDeclRoutine TBuilder::ProcTypeRoutine(const TProcTypeDef* P, int Depth) {
  TDeclRoutine R;
  R.Known = true;
  Params(P->Fields, R.Params, false, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  R.OfObject = P->IsMethodPointer();
  return R;
}

// The name declaration number DeclNo stands for, or "{#N}".
std::string TBuilder::DeclName(uint32_t DeclNo, bool LastPartOnly) {
  const TDCURec* R = U.GetDecl(DeclNo);
  if (!R) return Unresolved(DeclNo);
  std::string_view N = View(R->GetName());
  if (auto* I = RecCast<TImpTypeDefRec>(R)) N = I->TypeName ? View(I->TypeName) : N;
  return DeclDisplayText(LastPartOnly ? LastPart(N) : N);
}

TDeclText TBuilder::InlineMembers(TNameDecl* Chain, int Depth) {
  TDeclText T = NewText();
  for (TDCURec* R = Chain; R; R = R->Next) {
    if (T.Text.size() > InlineCap) {
      T.Plain(" ...");
      break;
    }
    auto* L = RecCast<TLocalDecl>(R);
    if (!L || RecCast<TMethodDecl>(R)) continue;
    std::string_view N = View(L->GetName());
    if (IsCompilerName(N)) continue;
    T.Plain(" " + DeclDisplayText(N) + ": ");
    T.Append(TypeRef(L->TypeIndex, Depth));
    T.Plain(";");
  }
  return T;
}

TDeclText TBuilder::Structure(uint32_t N, const TBaseDef* D, int Depth, std::string* Kind) {
  TDeclText T = NewText();
  auto SetKind = [&](const char* K) {
    if (Kind) *Kind = K;
  };
  if (auto* E = RecCast<TEnumDef>(D)) {
    if (E->NameList) {
      SetKind("enum");
      T.Plain("(");
      for (size_t I = 0; I < E->NameList->size(); ++I) {
        if (I) T.Plain(", ");
        if (T.Text.size() > InlineCap && !Kind) {
          T.Plain("...");
          break;
        }
        T.Plain(DeclDisplayText(View((*E->NameList)[I]->GetName())));
      }
      T.Plain(")");
      return T;
    }
    SetKind("subrange");
    return RangeText(E, E->BaseType != N ? E->BaseType : 0, tagDefEnum);
  }
  if (auto* R = RecCast<TRangeDef>(D)) {
    SetKind("subrange");
    return RangeText(R, R->BaseType != N ? R->BaseType : 0, TagAt(R->DefPos));
  }
  if (auto* F = RecCast<TFloatDef>(D)) {
    SetKind("float");
    T.Comment("{float, " + std::to_string(F->Size) + " bytes}");
    return T;
  }
  if (auto* P = RecCast<TPtrDef>(D)) {
    SetKind("pointer");
    T.Plain("^");
    T.Append(TypeRef(P->BaseType, Depth));
    return T;
  }
  if (RecCast<TTextDef>(D)) {
    SetKind("file");
    T.Keyword("Text");
    return T;
  }
  if (auto* F = RecCast<TFileDef>(D)) {
    SetKind("file");
    T.Keyword("file");
    const TBaseDef* B = U.GetTypeDef(F->BaseType);
    if (F->BaseType != 0 && !RecCast<TVoidDef>(B)) {
      Of(T, TypeRef(F->BaseType, Depth));
    }
    return T;
  }
  if (auto* S = RecCast<TSetDef>(D)) {
    SetKind("set");
    T.Keyword("set");
    Of(T, TypeRef(S->BaseType, Depth));
    return T;
  }
  if (auto* S = RecCast<TShortStrDef>(D)) {
    SetKind("string");
    T.Keyword("string");
    T.Plain("[" + std::to_string(static_cast<int64_t>(S->Size) - 1) + "]");
    return T;
  }
  if (auto* S = RecCast<TStringDef>(D)) {
    // A string or dynamic-array definition: its element type is what the
    // file gives.
    SetKind(TagAt(S->DefPos) == tagDefStringU ? "string" : "array");
    T.Keyword("array");
    Of(T, TypeRef(S->ElemType, Depth));
    return T;
  }
  if (auto* A = RecCast<TArrayDef>(D)) {
    SetKind("array");
    T.Keyword("array");
    T.Plain("[");
    T.Append(TypeRef(A->IndexType, Depth));
    T.Plain("]");
    Of(T, TypeRef(A->ElemType, Depth));
    return T;
  }
  if (RecCast<TVariantDef>(D)) {
    SetKind("variant");
    T.Keyword("Variant");
    return T;
  }
  if (auto* C = RecCast<TObjVMTDef>(D)) {
    SetKind("classRef");
    T.Keyword("class");
    Of(T, TypeRef(C->ObjType, Depth));
    return T;
  }
  if (RecCast<TVoidDef>(D)) {
    SetKind("void");
    T.Comment("{void}");
    return T;
  }
  if (auto* P = RecCast<TProcTypeDef>(D)) {
    SetKind("procType");
    TDeclRoutine R = ProcTypeRoutine(P, Depth);
    T.Keyword(R.IsFunction ? "function" : "procedure");
    AppendParams(T, R.Params, "(", ")");
    if (R.IsFunction) {
      T.Plain(": ");
      T.Append(R.Result);
    }
    if (R.OfObject) T.Plain(" "), T.Keyword("of object");
    if (R.CallConv) T.Plain("; "), T.Keyword(DeclCallConvName(R.CallConv));
    return T;
  }
  // Record-like kinds: the head, and inline (anonymous) also the fields.
  auto Parent = [&](uint32_t ParentN, const std::vector<uint32_t>* Intfs) {
    bool Any = ParentN != 0 || (Intfs && !Intfs->empty());
    if (!Any) return;
    T.Plain("(");
    bool First = true;
    if (ParentN) {
      T.Append(TypeRef(ParentN, Depth));
      First = false;
    }
    if (Intfs)
      for (uint32_t I : *Intfs) {
        if (!First) T.Plain(", ");
        T.Append(TypeRef(I, Depth));
        First = false;
      }
    T.Plain(")");
  };
  const TRecBaseDef* RB = RecCast<TRecBaseDef>(D);
  if (RecCast<TRecDef>(D)) {
    SetKind("record");
    T.Keyword("record");
  } else if (auto* O = RecCast<TObjDef>(D)) {
    SetKind("object");
    T.Keyword("object");
    Parent(O->ParentType, nullptr);
  } else if (auto* C = RecCast<TClassDef>(D)) {
    SetKind("class");
    T.Keyword("class");
    std::vector<uint32_t> Intfs;
    for (size_t I = 0; I + 1 < C->IntfPairs.size(); I += 2) Intfs.push_back(C->IntfPairs[I]);
    Parent(C->ParentType, &Intfs);
  } else if (auto* I = RecCast<TInterfaceDef>(D)) {
    SetKind(I->IsDispInterface() ? "dispinterface" : "interface");
    T.Keyword(I->IsDispInterface() ? "dispinterface" : "interface");
    Parent(I->ParentType, nullptr);
  } else if (D && !RecCast<TTypeDef>(D)) {
    // A placeholder or import record without a name.
    SetKind("unknown");
    T.Comment(Unresolved(N));
    return T;
  } else {
    SetKind("unknown");
    T.Comment(Unresolved(N));
    return T;
  }
  if (!Kind && RB) {
    T.Append(InlineMembers(RB->Fields, Depth));
    T.Plain(" ");
    T.Keyword("end");
  }
  return T;
}

void TBuilder::Members(TNameDecl* Chain, std::vector<TDeclMember>& Out) {
  size_t Count = 0;
  for (TDCURec* R = Chain; R; R = R->Next) Count += RecCast<TNameDecl>(R) != nullptr;
  Out.reserve(Count);
  for (TDCURec* R = Chain; R; R = R->Next) {
    auto* ND = RecCast<TNameDecl>(R);
    if (!ND) continue;
    std::string_view N = View(ND->GetName());
    if (IsCompilerName(N)) continue;
    TDeclMember& M = Out.emplace_back();  // made in place (room reserved)
    M.Name = DeclDisplayText(N);
    M.Offset = OffsetOf(U, ND->DefPos);
    if (auto* Me = RecCast<TMethodDecl>(R)) {
      uint8_t Tag = TagAt(Me->DefPos);
      M.Kind = Tag == tagConstructor ? TMemberKind::Constructor
               : Tag == tagDestructor ? TMemberKind::Destructor
                                      : TMemberKind::Method;
      // A method's location names the routine that implements it; its
      // parameters are that routine's, less the object itself. Only a
      // routine named after the method is taken.
      if (!Me->InInterface && Me->Ofs > 0) {
        auto* P = RecCast<TProcDecl>(U.GetDecl(static_cast<uint32_t>(Me->Ofs)));
        if (P) {
          std::string_view PN = View(P->GetName());
          if (PN.size() > N.size() + 1 && PN.substr(PN.size() - N.size()) == N && PN[PN.size() - N.size() - 1] == '.')
            M.Routine = ProcRoutine(P, true, 0);
        }
      }
    } else if (auto* DP = RecCast<TDispPropDecl>(R)) {
      M.Kind = TMemberKind::Property;
      M.Type = TypeRef(DP->TypeIndex);
      M.DispId = DP->Ofs;
      if ((DP->IntfAttrs & 6) == 2) M.Access = "readonly";
      if ((DP->IntfAttrs & 6) == 4) M.Access = "writeonly";
    } else if (auto* L = RecCast<TLocalDecl>(R)) {
      M.Kind = TMemberKind::Field;
      M.Type = TypeRef(L->TypeIndex);
    } else if (auto* P = RecCast<TPropDecl>(R)) {
      M.Kind = TMemberKind::Property;
      const TBaseDef* D = U.GetTypeDef(P->TypeIndex);
      auto* PT = RecCast<TProcTypeDef>(D);
      if (PT && DefName(D).empty()) {
        // An array property: its type lists the index parameters and the
        // element type.
        TDeclRoutine Ro = ProcTypeRoutine(PT, 0);
        M.IndexParams = std::move(Ro.Params);
        M.Type = Ro.IsFunction ? std::move(Ro.Result) : TypeRef(P->TypeIndex);
      } else if (P->TypeIndex != 0) {
        // 0: a property taken over from an ancestor names no type of its own.
        M.Type = TypeRef(P->TypeIndex);
      }
      if (P->ReadAccess) M.ReadAccess = DeclName(P->ReadAccess, true);
      if (P->WriteAccess) M.WriteAccess = DeclName(P->WriteAccess, true);
      if (P->StoredAccess) M.StoredAccess = DeclName(P->StoredAccess, true);
      if (P->IndexSpec != NoPropValue) M.Index = P->IndexSpec;
      if (P->DefaultValue != NoPropValue) M.Default = P->DefaultValue;
    } else {
      Out.pop_back();
    }
  }
}

void TBuilder::TypeEntry(const TTypeDecl* T, TDeclEntry& E) {
  E.Kind = TDeclKind::Type;
  const TBaseDef* D = U.GetTypeDef(T->TypeIndex);
  // A name for an imported type, or for a number that resolves to nothing.
  if (!D || !RecCast<TTypeDef>(D)) {
    E.TypeKind = D ? "alias" : "unknown";
    E.Type = TypeRef(T->TypeIndex);
    E.TypeUnit = UnitOf(T->TypeIndex);
    return;
  }
  E.Type = Structure(T->TypeIndex, D, 0, &E.TypeKind);
  if (auto* En = RecCast<TEnumDef>(D); En && En->NameList)
    for (const TConstDecl* C : *En->NameList) E.Values.push_back(DeclDisplayText(View(C->GetName())));
  if (auto* RB = RecCast<TRecBaseDef>(D); RB && !RecCast<TProcTypeDef>(D)) {
    Members(RB->Fields, E.Members);
    if (auto* I = RecCast<TInterfaceDef>(D); I && I->GUID) {
      // {D1-D2-D3-D4a-D4b}: the first three little-endian, the rest in order.
      const uint8_t* B = I->GUID;
      const uint8_t D1[] = {B[3], B[2], B[1], B[0]}, D2[] = {B[5], B[4]}, D3[] = {B[7], B[6]};
      E.Guid = "{" + HexBytes(D1, 4, "") + "-" + HexBytes(D2, 2, "") + "-" + HexBytes(D3, 2, "") + "-" +
               HexBytes(B + 8, 2, "") + "-" + HexBytes(B + 10, 6, "") + "}";
    }
  }
  if (auto* PT = RecCast<TProcTypeDef>(D)) E.Routine = ProcTypeRoutine(PT, 0);
}

// Routines the compiler marks as interface that no interface section can
// declare: method bodies (qualified names), and the routines named after the
// unit and "Finalization" (names no declaration may take).
bool TBuilder::ToImplementation(const TNameDecl* D, std::string_view Name) const {
  if (!RecCast<TProcDecl>(D)) return false;
  if (Name.find('.') != std::string_view::npos) return true;
  return CompareNamesNoCase(Name, U.UnitName) == 0 || CompareNamesNoCase(Name, "Finalization") == 0;
}

std::optional<TDeclKind> TBuilder::EntryKind(const TNameDecl* D) const {
  if (IsCompilerName(View(D->GetName())) || RecCast<TTypePDecl>(D) || RecCast<TSetDeftInfo>(D)) return {};
  if (RecCast<TTypeDecl>(D)) return TDeclKind::Type;
  if (RecCast<TResStrDef>(D)) return TDeclKind::ResourceString;
  if (RecCast<TVarCDecl>(D)) return TDeclKind::Const;
  if (RecCast<TAbsVarDecl>(D)) return TDeclKind::Var;
  if (RecCast<TThreadVarDecl>(D)) return TDeclKind::ThreadVar;
  if (RecCast<TVarDecl>(D)) return TDeclKind::Var;
  if (RecCast<TConstDecl>(D)) return TDeclKind::Const;
  if (RecCast<TProcDecl>(D) || RecCast<TSysProcDecl>(D)) return TDeclKind::Procedure;
  if (RecCast<TLabelDecl>(D)) return TDeclKind::Label;
  if (RecCast<TExportDecl>(D)) return TDeclKind::Exports;
  return {};
}

void TBuilder::MakeEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E) {
  std::string_view N = View(D->GetName());
  E.Kind = Kind;
  E.Name = DeclDisplayText(N);
  E.Offset = OffsetOf(U, D->DefPos);
  E.Value.KeepSpans = KeepSpans;
  auto SetType = [&](uint32_t N) {
    E.Type = TypeRef(N);
    E.TypeUnit = UnitOf(N);
  };
  if (auto* T = RecCast<TTypeDecl>(D)) {
    TypeEntry(T, E);
  } else if (auto* RS = RecCast<TResStrDef>(D)) {
    SetType(RS->TypeIndex);
    E.DataSize = RS->MemSize;
  } else if (auto* TC = RecCast<TVarCDecl>(D)) {
    E.Typed = true;
    SetType(TC->TypeIndex);
    E.DataSize = TC->MemSize;
  } else if (auto* A = RecCast<TAbsVarDecl>(D)) {
    E.Absolute = true;
    SetType(A->TypeIndex);
    E.AbsoluteTarget = DeclName(static_cast<uint32_t>(A->Ofs), false);
  } else if (auto* TV = RecCast<TThreadVarDecl>(D)) {
    SetType(TV->TypeIndex);
  } else if (auto* V = RecCast<TVarDecl>(D)) {
    SetType(V->TypeIndex);
  } else if (auto* C = RecCast<TConstDecl>(D)) {
    SetType(C->TypeIndex);
    if (!C->ValueData) {
      E.OrdValue = C->OrdValue64();
      E.Value.Plain(OrdinalText(C->TypeIndex, *E.OrdValue, nullptr));
    } else {
      // Bytes whose meaning depends on the type: shown as they are.
      const int32_t Len = C->ValueSize;
      const size_t N = Len > 0 ? static_cast<size_t>(Len) : 0;
      E.ValueBytes = HexBytes(C->ValueData, N, "");
      std::string Shown = HexBytes(C->ValueData, std::min<size_t>(N, 32), " ");
      if (Len > 32) Shown += " ...";
      E.Value.Comment("{" + std::to_string(Len) + " bytes: " + Shown + "}");
    }
  } else if (auto* P = RecCast<TProcDecl>(D)) {
    bool Qualified = N.find('.') != std::string_view::npos;
    E.Routine = ProcRoutine(P, Qualified, 0);
    E.Kind = E.Routine.IsFunction ? TDeclKind::Function : TDeclKind::Procedure;
  } else if (RecCast<TSysProcDecl>(D)) {
    E.SystemProc = true;
  } else if (auto* X = RecCast<TExportDecl>(D)) {
    E.ExportTarget = DeclName(X->ExportedDecl, false);
    E.ExportIndex = X->ExportIndex;
  }
}

TDeclOutline TBuilder::Build() {
  TDeclOutline O;
  O.UnitName = DeclDisplayText(U.UnitName);
  O.Version = U.Version;
  // Owners first: a type may be used before its declaration.
  for (int Pass = 0; Pass < 2; ++Pass)
    for (TDCURec* R = U.Decls; R; R = R->Next) {
      auto* T = RecCast<TTypeDecl>(R);
      if (!T || IsCompilerName(View(T->GetName())) || Owners.count(T->TypeIndex)) continue;
      auto* D = RecCast<TTypeDef>(U.GetTypeDef(T->TypeIndex));
      if (!D || (Pass == 0 && DefName(D) != View(T->GetName()))) continue;
      Owners.emplace(T->TypeIndex, TOwner{OffsetOf(U, T->DefPos), DeclDisplayText(View(T->GetName()))});
    }
  // Where each entry goes first, so that each block is made with room for
  // its entries and each entry is made in place (an entry has many parts
  // to move). Consecutive entries of one kind in a section form a block.
  struct TPlace {
    TNameDecl* D;
    uint32_t Block;
    TDeclKind Kind;
    bool Intf;
  };
  std::vector<TPlace> Places;
  std::vector<size_t> Counts[2];  // entries by block: implementation, interface
  for (TDCURec* R = U.Decls; R; R = R->Next) {
    auto* D = RecCast<TNameDecl>(R);
    std::optional<TDeclKind> Kind = D ? EntryKind(D) : std::nullopt;
    if (!Kind) continue;
    bool Intf;
    if (auto* F = RecCast<TNameFDecl>(D))
      Intf = (F->Flags & IsInterfaceFlag) != 0 && !ToImplementation(D, View(D->GetName()));
    else
      Intf = RecCast<TSysProcDecl>(D) != nullptr;
    TDeclSection& S = Intf ? O.Interface : O.Implementation;
    std::vector<size_t>& C = Counts[Intf];
    if (S.Blocks.empty() || S.Blocks.back().Kind != *Kind) {
      S.Blocks.emplace_back().Kind = *Kind;
      C.push_back(0);
    }
    ++C.back();
    Places.push_back(TPlace{D, static_cast<uint32_t>(S.Blocks.size() - 1), *Kind, Intf});
  }
  for (int I = 0; I < 2; ++I) {
    TDeclSection& S = I ? O.Interface : O.Implementation;
    for (size_t B = 0; B < S.Blocks.size(); ++B) S.Blocks[B].Entries.reserve(Counts[I][B]);
  }
  for (const TPlace& P : Places) {
    TDeclSection& S = P.Intf ? O.Interface : O.Implementation;
    MakeEntry(P.D, P.Kind, S.Blocks[P.Block].Entries.emplace_back());
  }
  return O;
}

}  // namespace

void TDeclText::Add(TDeclRunKind Kind, std::string_view S, int64_t Anchor) {
  if (S.empty()) return;
  if (Kind != TDeclRunKind::Plain && KeepSpans)
    Spans.push_back(TDeclSpan{static_cast<uint32_t>(Text.size()), static_cast<uint32_t>(S.size()), Kind, Anchor});
  Text += S;
}

void TDeclText::Append(const TDeclText& T) {
  const auto Shift = static_cast<uint32_t>(Text.size());
  Text += T.Text;
  if (KeepSpans)
    for (TDeclSpan S : T.Spans) {
      S.Start += Shift;
      Spans.push_back(S);
    }
}

void AppendParams(TDeclText& T, const std::vector<TDeclParam>& Ps, std::string_view Open, std::string_view Close) {
  if (Ps.empty()) return;
  T.Plain(Open);
  for (size_t I = 0; I < Ps.size(); ++I) {
    if (I) T.Plain("; ");
    if (Ps[I].Mode == TParamMode::Var) {
      T.Keyword("var");
      T.Plain(" ");
    }
    T.Plain(Ps[I].Name);
    T.Plain(": ");
    T.Append(Ps[I].Type);
  }
  T.Plain(Close);
}

size_t TDeclSection::EntryCount() const {
  size_t N = 0;
  for (const TDeclBlock& B : Blocks) N += B.Entries.size();
  return N;
}

TDeclOutline BuildDeclOutline(const TUnit& U) { return BuildDeclOutline(U, TDeclOutlineOptions()); }

TDeclOutline BuildDeclOutline(const TUnit& U, const TDeclOutlineOptions& Options) {
  return TBuilder(U, Options.KeepSpans).Build();
}

// Plain names (nearly all) are checked eight bytes at a time.
std::string DeclDisplayText(std::string_view Bytes) {
  return IsPlainAscii(Bytes) ? std::string(Bytes) : DisplayUtf8(Bytes);
}

std::string_view DeclKindName(TDeclKind K) {
  switch (K) {
    case TDeclKind::Type: return "type";
    case TDeclKind::Const: return "const";
    case TDeclKind::ResourceString: return "resourcestring";
    case TDeclKind::Var: return "var";
    case TDeclKind::ThreadVar: return "threadvar";
    case TDeclKind::Procedure: return "procedure";
    case TDeclKind::Function: return "function";
    case TDeclKind::Label: return "label";
    case TDeclKind::Exports: return "exports";
  }
  return "";
}

std::string_view MemberKindName(TMemberKind K) {
  switch (K) {
    case TMemberKind::Field: return "field";
    case TMemberKind::Method: return "method";
    case TMemberKind::Constructor: return "constructor";
    case TMemberKind::Destructor: return "destructor";
    case TMemberKind::Property: return "property";
  }
  return "";
}

std::string_view DeclCallConvName(uint8_t CC) {
  static const char* Names[] = {"register", "cdecl", "pascal", "stdcall", "safecall"};
  return CC < 5 ? Names[CC] : "";
}
