// The outline's own texts: kind names, parameter lists and routine
// signatures, shared by the builder and the writers (see DeclOutline.h).
#include "DeclOutline.h"

#include "DCU_TextRules.h"

#include <memory>

namespace {

template <class TLine>
void ParamsTo(TLine& T, const TDeclList<TDeclParam>& Ps, std::string_view Open, std::string_view Close) {
  if (Ps.empty()) return;
  T.Plain(Open);
  for (size_t I = 0; I < Ps.size(); ++I) {
    if (I) T.Plain("; ");
    const TDeclParam& P = Ps[I];
    if (P.Mode != TParamMode::Value) {
      T.Keyword(ParamModeName(P.Mode));
      T.Plain(" ");
    }
    T.Plain(P.Name);
    if (!P.Type.Empty()) {
      T.Plain(": ");
      T.Append(P.Type);
    }
    if (!P.Default.empty()) {
      T.Plain(" = ");
      T.Plain(P.Default);
    }
  }
  T.Plain(Close);
}

template <class TLine>
void SignatureTo(TLine& T, const TDeclRoutine& R) {
  ParamsTo(T, R.Params, "(", ")");
  if (R.IsFunction) {
    T.Plain(": ");
    T.Append(R.Result);
  }
  if (R.OfObject) {
    T.Plain(" ");
    T.Keyword("of object");
  }
  if (R.CallConv) {
    T.Plain("; ");
    T.Keyword(CallConvName(R.CallConv));
  }
}

}  // namespace

void AppendParams(TDeclText& T, const TDeclList<TDeclParam>& Ps, std::string_view Open, std::string_view Close) {
  ParamsTo(T, Ps, Open, Close);
}
void AppendParams(TPlainLine& T, const TDeclList<TDeclParam>& Ps, std::string_view Open, std::string_view Close) {
  ParamsTo(T, Ps, Open, Close);
}
void WriteSignature(TDeclText& T, const TDeclRoutine& R) { SignatureTo(T, R); }
void WriteSignature(TPlainLine& T, const TDeclRoutine& R) { SignatureTo(T, R); }

TDeclOutline::TDeclOutline(const TDeclOutline& O) { *this = O; }

TDeclOutline& TDeclOutline::operator=(const TDeclOutline& O) {
  if (this == &O) return *this;
  TDeclOutline Copy;
  {
    const TDeclArenaScope OnTheHeap(nullptr);
    Copy.Interface = O.Interface;
    Copy.Implementation = O.Implementation;
  }
  Copy.UnitName = O.UnitName;
  Copy.Version = O.Version;
  Copy.InterfaceUses = O.InterfaceUses;
  Copy.ImplementationUses = O.ImplementationUses;
  Copy.Resources = O.Resources;
  return *this = std::move(Copy);
}

TDeclOutline& TDeclOutline::operator=(TDeclOutline&& O) noexcept {
  if (this == &O) return *this;
  Release();
  Memory = std::move(O.Memory);
  UnitName = std::move(O.UnitName);
  Version = O.Version;
  Interface = std::move(O.Interface);
  Implementation = std::move(O.Implementation);
  InterfaceUses = std::move(O.InterfaceUses);
  ImplementationUses = std::move(O.ImplementationUses);
  Resources = std::move(O.Resources);
  return *this;
}

TDeclOutline::~TDeclOutline() { Release(); }

void TDeclOutline::Release() noexcept {
  if (Memory) Memory->SetGoing();
  const TDeclArenaScope Scope(Memory ? Memory.get() : ActiveDeclArena);
  TDeclList<TDeclBlock>().swap(Interface.Blocks);
  TDeclList<TDeclBlock>().swap(Implementation.Blocks);
}

void TDeclOutline::DropAsBuilt() noexcept {
  if (Memory && Memory->BlockBytes() > 0) {
    // The sections' parts lie in the arena's blocks, which go next: the
    // lists are made anew in place, what they held left where it lies.
    std::construct_at(&Interface);
    std::construct_at(&Implementation);
  }
  *this = TDeclOutline();
}

size_t TDeclSection::EntryCount() const {
  size_t N = 0;
  for (const TDeclBlock& B : Blocks) N += B.Entries.size();
  return N;
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

std::string_view ParamModeName(TParamMode M) {
  switch (M) {
    case TParamMode::Value: return "value";
    case TParamMode::Var: return "var";
    case TParamMode::Const: return "const";
    case TParamMode::Out: return "out";
  }
  return "";
}
