// Routines as the outline holds them: the parameters, result and calling
// convention of a procedure, a method or a procedural type.
#include <utility>

#include "DeclBuilder.h"

void TOutlineBuilder::Params(TNameDecl* Chain, std::vector<TDeclParam>& Out, bool SkipSelf, int Depth) {
  auto Param = [](TDCURec* R) -> const TLocalDecl* {
    auto* L = RecCast<TLocalDecl>(R);
    uint8_t Tag = L ? TagAt(L->DefPos) : 0;
    return Tag == tagValParam || Tag == tagVarParam ? L : nullptr;
  };
  // The parameters shown: not those the compiler named, nor the object
  // itself of a method. Counted first, so that the list takes the room it
  // needs and no more.
  auto Shown = [&](TDCURec* R, bool& First) -> const TLocalDecl* {
    const TLocalDecl* L = Param(R);
    if (!L) return nullptr;
    const bool WasFirst = std::exchange(First, false);
    std::string_view N = NameView(L->GetName());
    return IsCompilerName(N) || (SkipSelf && WasFirst && N == "Self") ? nullptr : L;
  };
  size_t Count = 0;
  bool First = true;
  for (TDCURec* R = Chain; R; R = R->Next) Count += Shown(R, First) != nullptr;
  Out.reserve(Count);
  First = true;
  for (TDCURec* R = Chain; R; R = R->Next) {
    const TLocalDecl* L = Shown(R, First);
    if (!L) continue;
    uint8_t Tag = TagAt(L->DefPos);
    std::string_view N = NameView(L->GetName());
    TDeclParam& P = Out.emplace_back();
    P.Name = DeclDisplayName(N);
    P.Mode = Tag == tagVarParam ? TParamMode::Var : TParamMode::Value;
    P.Type = TypeRef(L->TypeIndex, Depth);
  }
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
  Params(P->Params, R.Params, SkipSelf, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  return R;
}

TDeclRoutine TOutlineBuilder::ProcTypeRoutine(const TProcTypeDef* P, int Depth) {
  TDeclRoutine R;
  R.Known = true;
  Params(P->Fields, R.Params, false, Depth);
  SetResult(R, P->ResultType, Depth);
  R.CallConv = P->CallConv;
  R.OfObject = P->IsMethodPointer();
  return R;
}
