// The parts of the unit object that create and walk records: used units,
// the declaration stream with its dispatch, the type table, memory
// association, the name index, enumeration folding and local-variable slices.
#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <typeinfo>

#include "DCU_Unit.h"

#include "DCURecs.h"

namespace {

// dynamic_cast with its answer kept per dynamic type. A unit has a million
// records of a few dozen classes, and the library's cast walks the class
// tree, comparing type names, on every call. The answer for a type_info
// address is fixed, so a small direct-mapped table of (type, answer) pairs
// decides most calls with one lookup; a type met for the first time (or
// pushed out of its slot) is answered by dynamic_cast itself. When the
// answer is yes the object is a To, so the downcast with static_cast is
// exact.
template <class To, class From>
To* CastTo(From* P) {
  static_assert(std::is_base_of_v<From, To>);
  if (!P) return nullptr;
  struct TSlot {
    const std::type_info* Type = nullptr;
    bool Is = false;
  };
  static TSlot Slots[64];
  const std::type_info* T = &typeid(*P);
  TSlot& S = Slots[(reinterpret_cast<uintptr_t>(T) >> 4) & 63];
  if (S.Type == T) return S.Is ? static_cast<To*>(P) : nullptr;
  To* R = dynamic_cast<To*>(P);
  S.Type = T;
  S.Is = R != nullptr;
  return R;
}

}  // namespace

TUsedUnitRec::TUsedUnitRec() = default;

TUsedUnitRec::~TUsedUnitRec() {
  FreeChain(ImportChain);
  ImportChain = nullptr;
}

void TUnit::ReleaseRecords() {
  NameIndex.clear();
  // Type definitions and placeholders belong to the unit; import records in
  // TypeTable belong to their used-unit entries.
  for (TBaseDef*& D : TypeTable) {
    if (D && !CastTo<TImpDef>(D) && !CastTo<TDLLImpRec>(D)) delete D;
    D = nullptr;
  }
  TypeTable.clear();
  UsedUnits.clear();
  DeclTable.clear();
  FreeChain(Decls);
  Decls = nullptr;
}

uint8_t TUnit::ReadUsedUnits(uint8_t ListTag) {
  uint8_t Kind = InterfaceUses;
  char Letter = '?';
  if (ListTag == tagUsesImpl) {
    Kind = ImplementationUses;
    Letter = 'U';
  } else if (ListTag == tagUsesDLL) {
    Kind = DllImports;
    Letter = 'D';
  }
  while (CurrentTag == ListTag) {
    TPos Name = TakeName();
    auto Entry = std::make_unique<TUsedUnitRec>();
    Entry->NamePos = Name;
    Entry->UseKind = Kind;
    int32_t Index = static_cast<int32_t>(UsedUnits.size());
    TUsedUnitRec* E = Entry.get();
    UsedUnits.push_back(std::move(Entry));
    uint32_t Value = GetDWord();
    if (Version >= 7 && Version < 100) GetDWord();
    E->UnitDef = std::make_unique<TImpDef>(Letter, Name, Value, nullptr, Index);
    AddDecl(E->UnitDef.get());
    TDCURec* Last = nullptr;
    auto Link = [&](TDCURec* R) {
      if (Last) Last->Next = R;
      else E->ImportChain = R;
      Last = R;
    };
    for (;;) {
      CurrentTag = GetTag();
      if ((CurrentTag == tagImpType || CurrentTag == tagImpTypeDef) && ListTag != tagUsesDLL) {
        TPos N = TakeName();
        uint32_t RTTISize = 0;
        if (CurrentTag == tagImpTypeDef) RTTISize = GetPackedUInt();
        uint32_t Stamp = GetDWord();
        TImpDef* R;
        if (CurrentTag == tagImpTypeDef)
          R = new TImpTypeDefRec(N, Stamp, static_cast<int32_t>(RTTISize), nullptr, Index);
        else
          R = new TImpDef('T', N, Stamp, nullptr, Index);
        Link(R);
        TypeTable.push_back(R);
        AddDecl(R);
        TypeCount = static_cast<int32_t>(TypeTable.size());
      } else if (CurrentTag == tagImpAddr) {
        TPos N = TakeName();
        uint32_t Stamp = GetDWord();
        TBaseDef* R;
        if (ListTag == tagUsesDLL)
          R = new TDLLImpRec(N, Stamp, nullptr, Index);
        else
          R = new TImpDef('A', N, Stamp, nullptr, Index);
        Link(R);
        AddDecl(R);
      } else if (CurrentTag == tagStop) {
        CurrentTag = GetTag();
        break;
      } else {
        RaiseReadErrorFmt("Unexpected tag: 0x%x", {CurrentTag});
      }
    }
  }
  return CurrentTag;
}

void TUnit::NameTypeSlot(size_t Slot, TPos Name) {
  TBaseDef*& P = TypeTable[Slot];
  if (!P)
    P = new TBaseDef(Name, nullptr, -1);
  else if (!P->Name)
    P->Name = Name;
}

void TUnit::AddTypeDef(TBaseDef* D) {
  int32_t N = TypeCount;
  GrowTo(TypeTable, static_cast<int64_t>(N) + 1);
  TBaseDef* P = TypeTable[static_cast<size_t>(N)];
  if (P) {
    if (P->DefPos) RaiseReadErrorFmt("Type def #%x override", {N + 1});
    if (D->UnitIndex != P->UnitIndex) RaiseReadErrorFmt("Type def #%x unit mismatch", {N + 1});
    D->Name = P->GetName();
    // Only a plain placeholder belongs to the table; anything else has an owner.
    if (typeid(*P) == typeid(TBaseDef)) delete P;
  }
  TypeTable[static_cast<size_t>(N)] = D;
  TypeCount = N + 1;
}

void TUnit::AssignDeclMem(int64_t N, int32_t Ofs, int32_t Len) {
  if (N <= 0 || N > static_cast<int64_t>(DeclTable.size()))
    RaiseReadErrorFmt("Undefined Fixup Declaration: #%x", {N});
  TDCURec* R = DeclTable[static_cast<size_t>(N - 1)];
  int32_t Used = 0;
  while (R) {
    if (auto* P = CastTo<TProcDecl>(R)) P->BlockOfs = Used;
    int32_t Left = R->SetMem(static_cast<int32_t>(static_cast<uint32_t>(Ofs) + static_cast<uint32_t>(Used)),
                             static_cast<int32_t>(static_cast<uint32_t>(Len) - static_cast<uint32_t>(Used)));
    if (Left <= 0) break;
    Used = static_cast<int32_t>(static_cast<uint32_t>(Len) - static_cast<uint32_t>(Left));
    R = R->Next;
  }
}

namespace {

// Keeps track of the nesting of declaration lists.
struct TDepthGuard {
  int32_t& Depth;
  explicit TDepthGuard(int32_t& D) : Depth(D) { ++Depth; }
  ~TDepthGuard() { --Depth; }
};

constexpr int32_t MaxDeclListDepth = 512;

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
          if (V >= 7 && V < 100) {
            TakeName();
            SkipPastByte(tagStop);
            AddDecl(nullptr);
          } else {
            End = true;
          }
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
          if (!(ProcList && V > 3)) End = true;
          break;
        case TTagAction::DataBlock:
          if (Scope == dsUnit) ReadDataBlock();
          else End = true;
          break;
        case TTagAction::Fixups: ReadFixups(); break;
        case TTagAction::CallConv: break;
        case TTagAction::CodeLines: ReadCodeLines(); break;
        case TTagAction::LineRanges: ReadLineRanges(); break;
        case TTagAction::SkipFiveTable: {
          // Five values an entry, counted in 64 bits: a count that wrapped
          // around in 32 bits would skip a few values and read on out of step.
          const uint64_t Count = uint64_t{GetPackedUInt()} * 5u;
          for (uint64_t I = 0; I < Count; ++I) GetPackedUInt();
          break;
        }
        case TTagAction::SkipNestedTable: {
          uint32_t N = GetPackedUInt();
          GetPackedUInt();
          for (uint32_t I = 0; I < N; ++I) {
            GetPackedUInt();
            GetPackedUInt();
            int32_t K = static_cast<int32_t>(GetPackedUInt());
            GetPackedUInt();
            for (int32_t J = 0; J < K; ++J) GetPackedUInt();
          }
          break;
        }
        case TTagAction::LocalVars: ReadLocalVars(); break;
        case TTagAction::SetDeftInfo: New = new TSetDeftInfo(); break;
        case TTagAction::SkipRecord4:
          if ((V >= 7 && V < 100) || V >= 103) {
            GetByte();
            GetPackedUInt();
            GetByte();
            GetByte();
          } else {
            End = true;
          }
          break;
        case TTagAction::FirstProcFlag:
          if (V >= 7 && V < 100 && Scope == dsUnit) {
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

void TUnit::BuildNameIndex(TNameDecl* Chain) {
  NameIndex.clear();
  std::vector<TNameIndexEntry> Added;
  for (TDCURec* R = Chain; R; R = R->Next) {
    auto* D = CastTo<TNameDecl>(R);
    if (!D) throw EDCUReadError("Invalid class typecast");
    auto* F = CastTo<TNameFDecl>(D);
    if (F && F->IsVisible(0)) Added.push_back(TNameIndexEntry{NameView(F->GetName()), F});
  }
  // A new entry goes before the entries equal to it: equal names end up in
  // the reverse of the order in which they were added.
  SortNameIndex(Added);
  NameIndex = std::move(Added);
}

void TUnit::FoldEnumConsts(TNameDecl*& Head) {
  TConstDecl* RunFirst = nullptr;
  TDCURec* RunPrev = nullptr;  // record before the run; null: the run starts the chain
  uint32_t RunLen = 0;
  TDCURec* Prev = nullptr;
  for (TDCURec* R = Head; R; Prev = R, R = R->Next) {
    if (auto* C = CastTo<TConstDecl>(R)) {
      if (RunFirst && RunFirst->TypeIndex == C->TypeIndex) {
        ++RunLen;
      } else {
        RunFirst = C;
        RunPrev = Prev;
        RunLen = 1;
      }
      continue;
    }
    auto* T = RunFirst ? CastTo<TTypeDecl>(R) : nullptr;
    auto* D = T ? CastTo<TEnumDef>(GetTypeDef(T->TypeIndex)) : nullptr;
    if (D && !D->NameList) {
      int64_t Lo = 0, Hi = 0;
      D->GetBounds(Lo, Hi);
      if (static_cast<uint32_t>(Lo) == 0 && static_cast<uint32_t>(Hi) + 1u == RunLen) {
        auto List = std::make_unique<std::vector<TConstDecl*>>();
        List->reserve(RunLen);
        if (RunPrev) RunPrev->Next = R;
        else Head = static_cast<TNameDecl*>(R);
        Prev->Next = nullptr;  // the run's last constant
        for (TDCURec* C = RunFirst; C; C = C->Next) List->push_back(static_cast<TConstDecl*>(C));
        D->NameList = std::move(List);
      }
    }
    RunFirst = nullptr;
    RunLen = 0;
  }
}

void TUnit::AttachLocalVars() {
  if (LocalVars.empty()) return;
  TProcDecl* Cur = nullptr;
  size_t S = 0;
  bool Skip = false;
  auto Close = [&](size_t K) {
    if (!Cur) return;
    Cur->LocalVarSlice = &LocalVars[S];
    Cur->LocalVarSliceLen = static_cast<int32_t>(K - S);
  };
  for (size_t I = 0; I < LocalVars.size(); ++I) {
    if (Skip) {
      Skip = false;
      continue;
    }
    uint32_t N = LocalVars[I].VarDecl;
    auto* P = N ? CastTo<TProcDecl>(GetDecl(N)) : nullptr;
    if (P) {
      Close(I);
      Cur = P;
      S = I;
      Skip = true;
    }
  }
  Close(LocalVars.size());
}

