// Routines as the outline holds them: the parameters, result and calling
// convention of a procedure, a method or a procedural type.
#include <algorithm>
#include <utility>

#include "DeclBuilder.h"
#include "JsonWriter.h"

namespace {

const TLocalDecl* ParamOf(TDCURec* R) {
  auto* L = RecCast<TLocalDecl>(R);
  uint8_t Tag = L ? TagAt(L->DefPos) : 0;
  return Tag == tagValParam || Tag == tagVarParam ? L : nullptr;
}

// The flag word of a parameter: without this bit the routine may not
// change it (const); with the other, a var parameter is written only (out).
constexpr uint32_t ParamWritable = 0x02;
constexpr uint32_t ParamOutOnly = 0x80;

TParamMode ModeOf(const TLocalDecl& L) {
  if (TagAt(L.DefPos) == tagVarParam && (L.Flags & ParamOutOnly)) return TParamMode::Out;
  if (!(L.Flags & ParamWritable)) return TParamMode::Const;
  return TagAt(L.DefPos) == tagVarParam ? TParamMode::Var : TParamMode::Value;
}

// A default value of a routine's parameters: a nameless constant; they
// follow the parameters, one for each of the last parameters in order.
const TConstDecl* DefaultAt(TDCURec* R) {
  auto* C = RecCast<TConstDecl>(R);
  return C && NameView(C->GetName()) == "." ? C : nullptr;
}

}  // namespace

bool TOutlineBuilder::IsOpenRange(uint32_t IndexType) const {
  auto* R = RecCast<TRangeBaseDef>(U.GetTypeDef(IndexType));
  if (!R) return false;
  int64_t Lo = 0, Hi = 0;
  return R->TryBounds(Lo, Hi) && Lo == 0 && Hi == -1;
}

const TArrayDef* TOutlineBuilder::OpenArrayOf(uint32_t TypeN) const {
  auto* A = RecCast<TArrayDef>(U.GetTypeDef(TypeN));
  return A && A->RecKind() == TRecKind::ArrayDef && IsOpenRange(A->IndexType) ? A : nullptr;
}

TDeclText TOutlineBuilder::ParamType(uint32_t TypeN, int Depth) {
  const TBaseDef* D = U.GetTypeDef(TypeN);
  if (RecCast<TVoidDef>(D)) return NewText();  // untyped
  const TArrayDef* A = DefName(D).empty() ? OpenArrayOf(TypeN) : nullptr;
  if (!A) return TypeRef(TypeN, Depth);
  TDeclText T = NewText();
  T.Keyword("array");
  T.Plain(" ");
  T.Keyword("of");
  T.Plain(" ");
  std::string_view Elem = DefName(U.GetTypeDef(A->ElemType));
  if (Elem.size() == 7 && CompareNamesNoCase(Elem, "TVarRec") == 0) T.Keyword("const");
  else T.Append(TypeRef(A->ElemType, Depth));
  return T;
}

void TOutlineBuilder::Params(TNameDecl* Chain, TNameDecl* After, TDeclList<TDeclParam>& Out, bool SkipSelf,
                             int Depth) {
  // The parameters shown: not those the compiler named, nor the object
  // itself of a method. Counted first, with the defaults after them, then
  // taken (a routine has no list of its own to keep them in meanwhile).
  const auto Shown = [SkipSelf](const TLocalDecl& L, bool First) {
    std::string_view N = NameView(L.GetName());
    return !IsCompilerName(N) && !(SkipSelf && First && N == "Self");
  };
  TDCURec* Rest = After;
  size_t Count = 0;
  bool First = true;
  for (TDCURec* R = Chain; R; R = R->Next) {
    const TLocalDecl* L = ParamOf(R);
    if (!L) {
      Rest = R;
      break;
    }
    Count += Shown(*L, std::exchange(First, false));
  }
  size_t Defaults = 0;
  for (TDCURec* R = Rest; DefaultAt(R); R = R->Next) ++Defaults;
  const size_t FirstDefault = Count - std::min(Count, Defaults);
  TDCURec* Default = Rest;  // the next default to use
  Out.reserve(Count);
  size_t I = 0;
  First = true;
  for (TDCURec* R = Chain; I < Count; R = R->Next) {
    const TLocalDecl* L = ParamOf(R);
    if (!Shown(*L, std::exchange(First, false))) continue;
    TDeclParam& P = Out.emplace_back();
    P.Name = DeclDisplayName(NameView(L->GetName()));
    P.Mode = ModeOf(*L);
    P.Type = ParamType(L->TypeIndex, Depth);
    if (I++ >= FirstDefault) {
      ParamDefault(*DefaultAt(Default), P);
      Default = Default->Next;
    }
  }
}

void TOutlineBuilder::ParamDefault(const TConstDecl& C, TDeclParam& P) {
  TValue V = ::ConstValue(U, C, Used);
  // nil of a class, interface or procedural type comes as the number 0.
  const TBaseDef* D = U.GetTypeDef(C.TypeIndex);
  if (V.Kind == TValueKind::Ordinal && V.Int == 0 &&
      (RecCast<TClassDef>(D) || RecCast<TInterfaceDef>(D) || RecCast<TProcTypeDef>(D) || RecCast<TObjVMTDef>(D))) {
    V = TValue();
    V.Kind = TValueKind::Nil;
  }
  P.Default = PascalText(V);
  std::string Json;
  if (ValueJson(V, Json)) {
    P.DefaultJson = Json;
    return;
  }
  // Not decoded: the text the listing shows, as a string.
  TJsonFlat F;
  F.String(P.Default);
  P.DefaultJson = F.Text();
}

bool TOutlineBuilder::ReturnsValue(uint32_t ResultType) const {
  return ResultType != 0 && !RecCast<TVoidDef>(U.GetTypeDef(ResultType));
}

void TOutlineBuilder::SetResult(TDeclRoutine& R, uint32_t ResultType, int Depth) {
  if (!ReturnsValue(ResultType)) return;
  R.IsFunction = true;
  R.Result = TypeRef(ResultType, Depth);
}

TDeclRoutine TOutlineBuilder::ProcRoutine(const TProcDecl* P, bool SkipSelf, int Depth) {
  TDeclRoutine R;
  R.Known = true;
  Params(P->Params, P->Locals, R.Params, SkipSelf, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  return R;
}

TDeclRoutine TOutlineBuilder::ProcTypeRoutine(const TProcTypeDef* P, int Depth) {
  TDeclRoutine R;
  R.Known = true;
  Params(P->Fields, nullptr, R.Params, false, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  R.OfObject = P->IsMethodPointer();
  return R;
}
