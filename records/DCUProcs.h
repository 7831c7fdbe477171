// Procedures and what belongs to them: calling conventions, parameters and
// locals, methods and properties of structured types, system procedures.
#pragma once

#include <cstdint>
#include <string_view>

#include "DCURecBase.h"
#include "DCU_Tags.h"
#include "DCU_Unit.h"

enum TCallConv : uint8_t { ccRegister = 0, ccCdecl = 1, ccPascal = 2, ccStdcall = 3, ccSafecall = 4 };


// Looks at CurrentTag: a convention tag (0x81..0x84) gives its convention and
// the next tag is read; anything else gives ccRegister and reads nothing.
TCallConv ReadCallConv();

// True for a stored procedure name that has no body part in the unit being read.
bool IsNoBodyName(TPos Name);

class TProcDecl : public TNameFDecl {
 public:
  UNITPEEK_RECORD_KIND(ProcDecl)
  // Takes ownership of the embedded chain (which may be null) at once, also
  // when reading fails.
  explicit TProcDecl(TNameDecl* EmbeddedChain);
  ~TProcDecl();
  bool IsVisibleOfKind(uint8_t Selector) const;
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

  int32_t MemOfs = -1;
  int32_t BlockOfs = 0;
  uint32_t CodeSize = 0;
  uint32_t ProcInfo = 0;
  int32_t ProcFlags = 0;
  uint32_t ResultType = 0;
  TNameDecl* Params = nullptr;    // owned
  TNameDecl* Locals = nullptr;    // owned
  TNameDecl* Embedded = nullptr;  // owned
  TCallConv CallConv = ccRegister;
  int32_t LocalVarSliceLen = 0;  // beside the one-byte CallConv: they share a word
  const TLocalVarRec* LocalVarSlice = nullptr;
};

// Parameter, local variable, result, local absolute variable or field; the
// kind is the tag byte at DefPos.
class TLocalDecl : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(LocalDecl)
  explicit TLocalDecl(TDeclScope Scope) : TLocalDecl(OwnKind, Scope) {}

  uint32_t Flags = 0;
  uint32_t TypeIndex = 0;
  int32_t IntfAttrs = -1;  // interface member lists only
  int32_t Ofs = 0;

 protected:
  TLocalDecl(TRecKind Kind, TDeclScope Scope);
};

// Method, constructor or destructor (tag 0x2D, 0x2E, 0x2F at DefPos).
class TMethodDecl : public TLocalDecl {
 public:
  UNITPEEK_RECORD_KIND(MethodDecl)
  explicit TMethodDecl(TDeclScope Scope);

  bool InInterface = false;
  uint32_t ImplHandle = 0;
};

// Property of a dispatch interface; Ofs is its dispatch identifier.
UNITPEEK_KIND_ONLY_CLASS(DispPropDecl, TDispPropDecl, TLocalDecl)

inline constexpr int32_t NoPropValue = INT32_MIN;  // no index specifier / default

class TPropDecl : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(PropDecl)
  TPropDecl();

  int32_t Flags = 0;
  uint32_t TypeIndex = 0;
  int32_t PropNdx = 0;
  int32_t IndexSpec = NoPropValue;
  uint32_t ReadAccess = 0;
  uint32_t WriteAccess = 0;
  uint32_t StoredAccess = 0;
  int32_t DefaultValue = NoPropValue;
};

class TSysProcDecl : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(SysProcDecl)
  TSysProcDecl();

  uint32_t ProcId = 0;
  int32_t ProcArg = 0;
};
