// The declaration stream: one loop that reads a list of tagged items and
// hands each tag to the record, type definition or table that it opens.
#include <cstdint>

#include "DCU_Unit.h"
#include "DCURecs.h"

namespace {

// Keeps track of the nesting of declaration lists.
struct TDepthGuard {
  int32_t& Depth;
  explicit TDepthGuard(int32_t& D) : Depth(D) { ++Depth; }
  ~TDepthGuard() { --Depth; }
};

constexpr int32_t MaxDeclListDepth = 512;

// Items of the stream that the reader passes over.

// A name, then anything up to and including the stop tag; it takes a
// declaration number.
void SkipNamedItem(TUnit& Unit) {
  TakeName();
  SkipPastByte(tagStop);
  Unit.AddDecl(nullptr);
}

// A count, then five packed values an entry. Counted in 64 bits: a count that
// wrapped around in 32 bits would skip a few values and read on out of step.
void SkipFiveValueTable() {
  const uint64_t Count = uint64_t{GetPackedUInt()} * 5u;
  for (uint64_t I = 0; I < Count; ++I) GetPackedUInt();
}

// A count and a value, then per entry four values of which the third counts
// the values that follow the fourth.
void SkipNestedTable() {
  uint32_t N = GetPackedUInt();
  GetPackedUInt();
  for (uint32_t I = 0; I < N; ++I) {
    GetPackedUInt();
    GetPackedUInt();
    int32_t K = static_cast<int32_t>(GetPackedUInt());
    GetPackedUInt();
    for (int32_t J = 0; J < K; ++J) GetPackedUInt();
  }
}

// A byte, a packed value and two bytes.
void SkipFourFieldRecord() {
  GetByte();
  GetPackedUInt();
  GetByte();
  GetByte();
}

// The type definition that a tag from tagDefVoid to tagDefRangeV opens.
TBaseDef* NewTypeDef(uint8_t Tag) {
  switch (Tag) {
    case tagDefVoid: return new TVoidDef();
    case tagDefBool:
    case tagDefChar:
    case tagDefRange:
    case tagDefWideChar:
    case tagDefRangeV: return new TRangeDef();
    case tagDefEnum: return new TEnumDef();
    case tagDefPtr: return new TPtrDef();
    case tagDefClass: return new TClassDef();
    case tagDefObjVMT: return new TObjVMTDef();
    case tagDefProcType: return new TProcTypeDef();
    case tagDefFloat: return new TFloatDef();
    case tagDefSet: return new TSetDef();
    case tagDefShortStr: return new TShortStrDef();
    case tagDefArray: return new TArrayDef();
    case tagDefRecord: return new TRecDef();
    case tagDefObject: return new TObjDef();
    case tagDefFile: return new TFileDef();
    case tagDefText: return new TTextDef();
    case tagDefStringR:
    case tagDefStringU: return new TStringDef();
    case tagDefVariant: return new TVariantDef();
    case tagDefInterface: return new TInterfaceDef();
    default: return nullptr;
  }
}

}  // namespace

void TUnit::ReadDeclList(TDeclScope Scope, TNameDecl*& Head) {
  if (DeclListDepth >= MaxDeclListDepth) RaiseReadError("Declaration lists nested too deeply");
  TDepthGuard Guard(DeclListDepth);
  Head = nullptr;
  TNameDecl* Last = nullptr;
  TNameDecl* Pending = nullptr;  // embedded list waiting for the next procedure
  TNameDecl* PendingLast = nullptr;
  TProcDecl* LastProc = nullptr;
  auto AppendPending = [&](TNameDecl* Chain) {
    if (!Chain) return;
    if (PendingLast) PendingLast->Next = Chain;
    else Pending = Chain;
    TDCURec* R = Chain;
    while (R->Next) R = R->Next;
    PendingLast = static_cast<TNameDecl*>(R);
  };
  const int32_t V = Version;
  const bool ProcList = Scope == dsProcLocals || Scope == dsProcTypeParams;
  try {
    for (;;) {
      TNameDecl* New = nullptr;
      bool End = false;
      switch (TagAction(CurrentTag)) {
        case TTagAction::EndList: End = true; break;
        case TTagAction::Local:
          if (ProcList) New = new TLocalDecl(Scope);
          else New = new TVarDecl();
          break;
        case TTagAction::Param: New = new TLocalDecl(Scope); break;
        case TTagAction::Absolute:
          if (Scope == dsUnit) New = new TAbsVarDecl();
          else New = new TLocalDecl(Scope);
          break;
        case TTagAction::Const: New = new TConstDecl(); break;
        case TTagAction::TypeP: New = new TTypePDecl(); break;
        case TTagAction::TypedConst: New = new TVarCDecl(); break;
        case TTagAction::Proc: {
          TNameDecl* Emb = Pending;
          Pending = PendingLast = nullptr;
          auto* P = new TProcDecl(Emb);
          LastProc = P;
          New = P;
          break;
        }
        case TTagAction::SysProc: New = new TSysProcDecl(); break;
        case TTagAction::Type: New = new TTypeDecl(); break;
        case TTagAction::Label: New = new TLabelDecl(); break;
        case TTagAction::Method: New = new TMethodDecl(Scope); break;
        case TTagAction::Property:
          if (Scope == dsDispInterface) New = new TDispPropDecl(Scope);
          else New = new TPropDecl();
          break;
        case TTagAction::ThreadVar: New = new TThreadVarDecl(); break;
        case TTagAction::ResString: New = new TResStrDef(); break;
        case TTagAction::SkipDecl:
          if (IsRelease7(V)) SkipNamedItem(*this);
          else End = true;
          break;
        case TTagAction::TypeDef: {
          int32_t Before = TypeCount;
          try {
            NewTypeDef(CurrentTag);  // registers itself in TypeTable
          } catch (...) {
            // The definition that failed took slot Before (if it got that
            // far) and is gone now.
            if (TypeCount > Before) TypeTable[static_cast<size_t>(Before)] = nullptr;
            throw;
          }
          break;
        }
        case TTagAction::Export: New = new TExportDecl(); break;
        case TTagAction::Embedded: {
          // A release 6 runtime unit stores several embedded lists before one
          // procedure: each further list joins the pending one.
          CurrentTag = GetTag();
          TNameDecl* Sub = nullptr;
          try {
            ReadDeclList(dsEmbedded, Sub);
          } catch (...) {
            AppendPending(Sub);
            throw;
          }
          AppendPending(Sub);
          if (CurrentTag != tagEmbeddedStop) RaiseTagError("Embedded Stop Tag");
          break;
        }
        case TTagAction::EmbeddedStop:
          if (!(ProcList && IsRelease4Up(V))) End = true;
          break;
        case TTagAction::DataBlock:
          if (Scope == dsUnit) ReadDataBlock();
          else End = true;
          break;
        case TTagAction::Fixups: ReadFixups(); break;
        case TTagAction::CallConv: break;
        case TTagAction::CodeLines: ReadCodeLines(); break;
        case TTagAction::LineRanges: ReadLineRanges(); break;
        case TTagAction::SkipFiveTable: SkipFiveValueTable(); break;
        case TTagAction::SkipNestedTable: SkipNestedTable(); break;
        case TTagAction::LocalVars: ReadLocalVars(); break;
        case TTagAction::SetDeftInfo: New = new TSetDeftInfo(); break;
        case TTagAction::SkipRecord4:
          if (IsRelease7(V) || V >= 103) SkipFourFieldRecord();
          else End = true;
          break;
        case TTagAction::FirstProcFlag:
          if (IsRelease7(V) && Scope == dsUnit) {
            uint8_t F = GetByte();
            if (F == 0xFE && !DeclTable.empty()) {
              DeclTable[0] = LastProc;
              DeclTable.pop_back();
            }
          } else {
            End = true;
          }
          break;
      }
      if (End) break;
      if (New) {
        if (Last) Last->Next = New;
        else Head = New;
        Last = New;
      }
      CurrentTag = GetTag();
    }
  } catch (...) {
    FreeChain(Pending);
    throw;
  }
  if (Pending) {
    FreeChain(Pending);
    RaiseTagError("Unused embedded list");
  }
}

