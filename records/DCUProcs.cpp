// Procedures, locals, methods, properties and system procedures.
#include "DCURecs.h"
#include "DCU_Cursor.h"

namespace {

bool IsMethodTag(uint8_t Tag) { return Tag == tagMethod || Tag == tagConstructor || Tag == tagDestructor; }

bool IsInterfaceScope(TDeclScope Scope) { return Scope == dsInterface || Scope == dsDispInterface; }

}  // namespace

TCallConv ReadCallConv() {
  if (CurrentTag >= tagCdecl && CurrentTag <= tagSafecall) {
    const auto CC = static_cast<TCallConv>(CurrentTag - 0x80);
    CurrentTag = GetTag();
    return CC;
  }
  return ccRegister;
}

bool IsNoBodyName(TPos Name) {
  const uint8_t Len = Name[0];
  if (Len == 0) return true;
  if (Len == 1 && Name[1] == '.') return true;
  const int32_t V = UnitVersion();
  if (V >= 6 && V < 100 && Len == 2 && Name[1] == '.' && Name[2] == '.') return true;
  if (IsFurtherFormat(V) && Name[1] == '.') return true;
  return false;
}

// The embedded chain belongs to the procedure from the start: when any part
// of reading fails (the head included) it is released with what was read.
TProcDecl::TProcDecl(TNameDecl* EmbeddedChain) try : TNameFDecl(OwnKind), Embedded(EmbeddedChain) {
  try {
    MemOfs = -1;
    const bool NoBody = IsNoBodyName(DefPos + 1);
    {
      TReadCursor In;
      ProcInfo = In.PackedUInt();
      CodeSize = In.PackedUInt();
      if (NoBody) return;
      if (UnitVersion() > 2) ProcFlags = In.PackedInt();
      ResultType = In.PackedUInt();
    }
    CurrentTag = GetTag();
    CallConv = ReadCallConv();
    ActiveUnit->ReadDeclList(dsProcLocals, Params);
    if (CurrentTag != tagStop) RaiseTagError("Stop Tag");
  } catch (...) {
    FreeChain(Params);
    Params = nullptr;
    throw;
  }
  // The leading value and var parameters stay in Params; the first record
  // of another kind starts Locals.
  TDCURec* Prev = nullptr;
  TDCURec* R = Params;
  while (R) {
    const uint8_t Tag = *static_cast<TNameDecl*>(R)->DefPos;
    if (Tag != tagValParam && Tag != tagVarParam) break;
    Prev = R;
    R = R->Next;
  }
  if (R) {
    Locals = static_cast<TNameDecl*>(R);
    if (Prev)
      Prev->Next = nullptr;
    else
      Params = nullptr;
  }
} catch (...) {
  FreeChain(EmbeddedChain);
}

TProcDecl::~TProcDecl() {
  FreeChain(Locals);
  FreeChain(Params);
  FreeChain(Embedded);
}

bool TProcDecl::IsVisibleOfKind(uint8_t Selector) const {
  if (Selector == 0) return (Flags & IsInterfaceFlag) != 0;
  return true;
}

int32_t TProcDecl::SetMemOfKind(int32_t O, int32_t S) {
  if (MemOfs != -1)
    RaiseReadErrorFmt("Trying to change procedure %s memory to 0x%x[0x%x]", {NameText(GetName()), O, S});
  if (static_cast<int32_t>(CodeSize) >= 0 && static_cast<uint32_t>(S) < CodeSize)
    RaiseReadErrorFmt("Procedure %s: memory size mismatch (.[0x%x]>0x%x[0x%x])",
                      {NameText(GetName()), CodeSize, O, S});
  MemOfs = O;
  return static_cast<int32_t>(static_cast<uint32_t>(S) - CodeSize);
}

TLocalDecl::TLocalDecl(TRecKind Kind, TDeclScope Scope) : TNameDecl(Kind) {
  const bool M = IsMethodTag(*DefPos);
  const bool Swap = M && UnitVersion() == 2;
  TReadCursor In;
  Flags = In.PackedUInt();
  if (Swap)
    Ofs = static_cast<int32_t>(In.PackedUInt());
  else
    TypeIndex = In.PackedUInt();
  IntfAttrs = IsInterfaceScope(Scope) ? static_cast<int32_t>(In.PackedUInt()) : -1;
  if (Swap)
    TypeIndex = In.PackedUInt();
  else
    Ofs = M ? static_cast<int32_t>(In.PackedUInt()) : In.PackedInt();
}

TMethodDecl::TMethodDecl(TDeclScope Scope) : TLocalDecl(OwnKind, Scope) {
  InInterface = IsInterfaceScope(Scope);
  const int32_t V = UnitVersion();
  if (!InInterface && (IsRelease7(V) || DefPos[1] == 0)) ImplHandle = GetPackedUInt();
}

TPropDecl::TPropDecl() : TNameDecl(OwnKind) {
  TReadCursor In;
  Flags = In.PackedInt();
  TypeIndex = In.PackedUInt();
  PropNdx = In.PackedInt();
  IndexSpec = In.PackedInt();
  ReadAccess = In.PackedUInt();
  WriteAccess = In.PackedUInt();
  StoredAccess = In.PackedUInt();
  DefaultValue = In.PackedInt();
}

TSysProcDecl::TSysProcDecl() : TNameDecl(OwnKind) {
  ProcId = GetPackedUInt();
  ProcArg = GetPackedInt();
}
