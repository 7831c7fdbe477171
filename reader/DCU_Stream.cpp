// The declaration stream: one loop that reads a list of tagged items and
// hands each tag to the record, type definition or table that it opens. The
// records come from one factory (NewDeclRec, by the rule of DCU_Stream.h),
// the type definitions from another (NewTypeDef).
#include "DCU_Stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "DCURecs.h"
#include "DCU_Unit.h"

namespace {

// Counts a declaration list in the nesting while it is read.
struct TDepthGuard {
  int32_t& Depth;
  explicit TDepthGuard(int32_t& D) : Depth(D) { ++Depth; }
  ~TDepthGuard() { --Depth; }
};

constexpr int32_t MaxDeclListDepth = 512;

// The embedded lists of a declaration list that wait for the next procedure,
// which takes them all; lists that no procedure took are released with the
// list.
class TPendingLists {
 public:
  TPendingLists() = default;
  ~TPendingLists() {
    if (First) FreeChain(First);
  }
  TPendingLists(const TPendingLists&) = delete;
  TPendingLists& operator=(const TPendingLists&) = delete;

  bool empty() const { return First == nullptr; }
  // A release 6 runtime unit stores several embedded lists before one
  // procedure: each further list joins the ones before it.
  void Append(TNameDecl* Chain) {
    if (!Chain) return;
    if (Last) Last->Next = Chain;
    else First = Chain;
    TDCURec* R = Chain;
    while (R->Next) R = R->Next;
    Last = static_cast<TNameDecl*>(R);
  }
  TNameDecl* Take() {
    Last = nullptr;
    return std::exchange(First, nullptr);
  }

 private:
  TNameDecl* First = nullptr;
  TNameDecl* Last = nullptr;
};

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

// The record of kind K (DeclRecKind) for the tag just read, read from the
// bytes after it; null for NoRecord. A procedure takes the embedded lists
// that wait for it.
TNameDecl* NewDeclRec(TRecKind K, TDeclScope Scope, TPendingLists& Pending, TProcDecl*& LastProc) {
  switch (K) {
    case TRecKind::VarDecl: return new TVarDecl();
    case TRecKind::AbsVarDecl: return new TAbsVarDecl();
    case TRecKind::LocalDecl: return new TLocalDecl(Scope);
    case TRecKind::ConstDecl: return new TConstDecl();
    case TRecKind::TypePDecl: return new TTypePDecl();
    case TRecKind::VarCDecl: return new TVarCDecl();
    case TRecKind::ProcDecl: return LastProc = new TProcDecl(Pending.Take());
    case TRecKind::SysProcDecl: return new TSysProcDecl();
    case TRecKind::TypeDecl: return new TTypeDecl();
    case TRecKind::LabelDecl: return new TLabelDecl();
    case TRecKind::MethodDecl: return new TMethodDecl(Scope);
    case TRecKind::DispPropDecl: return new TDispPropDecl(Scope);
    case TRecKind::PropDecl: return new TPropDecl();
    case TRecKind::ThreadVarDecl: return new TThreadVarDecl();
    case TRecKind::ResStrDef: return new TResStrDef();
    case TRecKind::ExportDecl: return new TExportDecl();
    case TRecKind::SetDeftInfo: return new TSetDeftInfo();
    default: return nullptr;
  }
}

// A type definition registers itself in TypeTable and joins no chain. One
// that fails took slot Before (if it got that far) and is gone now.
void ReadTypeDef(TUnit& Unit) {
  const int32_t Before = Unit.TypeCount;
  try {
    NewTypeDef(CurrentTag);
  } catch (...) {
    if (Unit.TypeCount > Before) Unit.TypeTable[static_cast<size_t>(Before)] = nullptr;
    throw;
  }
}

// An embedded list, which waits for the next procedure of the list.
void ReadEmbeddedList(TUnit& Unit, TPendingLists& Pending) {
  CurrentTag = GetTag();
  TNameDecl* Sub = nullptr;
  try {
    Unit.ReadDeclList(dsEmbedded, Sub);
  } catch (...) {
    Pending.Append(Sub);
    throw;
  }
  Pending.Append(Sub);
  if (CurrentTag != tagEmbeddedStop) RaiseTagError("Embedded Stop Tag");
}

// The flag byte 0xFE makes the last procedure read declaration number 1
// (the entry the header kept empty) in place of the last number given.
void ReadFirstProcFlag(TUnit& Unit, TProcDecl* LastProc) {
  const uint8_t F = GetByte();
  if (F == 0xFE && !Unit.DeclTable.empty()) {
    Unit.DeclTable[0] = LastProc;
    Unit.DeclTable.pop_back();
  }
}

// An item of a list of Scope that is no record, read as its action says.
// False when the tag ends the list instead.
bool ReadOtherItem(TUnit& Unit, TTagAction Action, TDeclScope Scope, TPendingLists& Pending,
                   TProcDecl* LastProc) {
  const int32_t V = Unit.Version;
  const bool ProcList = Scope == dsProcLocals || Scope == dsProcTypeParams;
  switch (Action) {
    case TTagAction::SkipDecl:
      if (!IsRelease7(V)) return false;
      SkipNamedItem(Unit);
      return true;
    case TTagAction::TypeDef: ReadTypeDef(Unit); return true;
    case TTagAction::Embedded: ReadEmbeddedList(Unit, Pending); return true;
    case TTagAction::EmbeddedStop: return ProcList && IsRelease4Up(V);
    case TTagAction::DataBlock:
      if (Scope != dsUnit) return false;
      Unit.ReadDataBlock();
      return true;
    case TTagAction::Fixups: Unit.ReadFixups(); return true;
    case TTagAction::CallConv: return true;
    case TTagAction::CodeLines: Unit.ReadCodeLines(); return true;
    case TTagAction::LineRanges: Unit.ReadLineRanges(); return true;
    case TTagAction::SkipFiveTable: SkipFiveValueTable(); return true;
    case TTagAction::SkipNestedTable: SkipNestedTable(); return true;
    case TTagAction::LocalVars: Unit.ReadLocalVars(); return true;
    case TTagAction::SkipRecord4:
      if (!IsRelease7(V) && V < 103) return false;
      SkipFourFieldRecord();
      return true;
    case TTagAction::FirstProcFlag:
      if (!IsRelease7(V) || Scope != dsUnit) return false;
      ReadFirstProcFlag(Unit, LastProc);
      return true;
    case TTagAction::EndList: return false;
    default: return false;  // the actions that open records never come here
  }
}

}  // namespace

// Inline here: it is called for every record of the top-level list.
inline void TUnit::NoteTopLevel(TNameDecl* R) {
  TTopLevelNotes& N = TopLevel;
  // Every record is indexed before any run is taken out of the chain: the
  // constants of a run are in the index as they were in the chain.
  if (auto* F = RecCast<TNameFDecl>(R); F && F->IsVisible(0)) N.Visible.push_back(F);
  TDCURec* const Prev = std::exchange(N.Prev, R);
  if (auto* C = RecCast<TConstDecl>(R)) {
    if (N.RunFirst && N.RunFirst->TypeIndex == C->TypeIndex) {
      ++N.RunLen;
    } else {
      N.RunFirst = C;
      N.RunBefore = Prev;
      N.RunLen = 1;
    }
    return;
  }
  if (auto* T = N.RunFirst ? RecCast<TTypeDecl>(R) : nullptr)
    N.Runs.push_back(TEnumRun{N.RunBefore, N.RunFirst, Prev, T, N.RunLen});
  N.RunFirst = nullptr;
  N.RunLen = 0;
}

// Items are read until a tag ends the list: records join the chain at Head
// in file order, the other items are read where they belong. On an error
// the records read so far stay in the chain, for the caller to release.
void TUnit::ReadDeclList(TDeclScope Scope, TNameDecl*& Head) {
  if (DeclListDepth >= MaxDeclListDepth) RaiseReadError("Declaration lists nested too deeply");
  TDepthGuard Guard(DeclListDepth);
  const std::array<TRecKind, 256>& Opens = DeclRecTable[Scope];
  const bool TopLevelList = &Head == &Decls;
  if (TopLevelList) {
    // Room for the names of most units at once; the largest grow the list.
    TopLevel = {};
    TopLevel.Visible.reserve(std::min(DeclTable.capacity(), size_t{1} << 16));
  }
  Head = nullptr;
  TNameDecl* Last = nullptr;
  TPendingLists Pending;
  TProcDecl* LastProc = nullptr;
  for (;;) {
    // A mark only where no embedded list waits: the lists belong to the item
    // that takes them.
    if (TopLevelList && Pending.empty()) MarkTopLevelItem();
    if (TNameDecl* New = NewDeclRec(Opens[CurrentTag], Scope, Pending, LastProc)) {
      if (Last) Last->Next = New;
      else Head = New;
      Last = New;
      if (TopLevelList) NoteTopLevel(New);
    } else if (!ReadOtherItem(*this, TagAction(CurrentTag), Scope, Pending, LastProc)) {
      break;
    }
    CurrentTag = GetTag();
  }
  if (!Pending.empty()) RaiseTagError("Unused embedded list");
}
