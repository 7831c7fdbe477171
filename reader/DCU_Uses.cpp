// Source files and used units: the file list that names the unit, and the
// interface, implementation and DLL lists with the names imported from each.
#include "DCU_Unit.h"
#include "DCURecs.h"

TSourceFileRec::~TSourceFileRec() {
  std::unique_ptr<TSourceFileRec> P = std::move(Next);
  while (P) P = std::move(P->Next);
}

size_t TUnit::SourceFileCount() const {
  size_t N = 0;
  for (const TSourceFileRec* S = SourceFiles.get(); S; S = S->Next.get()) ++N;
  return N;
}

const TSourceFileRec* TUnit::SourceFileByNum(int64_t N) const {
  if (N < 0) return nullptr;
  const TSourceFileRec* S = SourceFiles.get();
  while (S && N > 0) {
    S = S->Next.get();
    --N;
  }
  return S;
}

void TUnit::ReadSourceFiles() {
  SourceFiles.reset();
  std::unique_ptr<TSourceFileRec>* Tail = &SourceFiles;
  while (CurrentTag == tagSrcFile || CurrentTag == tagResFile || CurrentTag == tagObjFile ||
         CurrentTag == tagAsmFile) {
    *Tail = std::make_unique<TSourceFileRec>();
    TSourceFileRec* E = Tail->get();
    Tail = &E->Next;
    E->TagPos = TagMark;
    TakeName();
    E->FileTime = GetDWord();
    E->Extra = GetPackedUInt();
    CurrentTag = GetTag();
  }
  if (!SourceFiles) RaiseReadError("No source files");
  std::string Name = BareFileName(NameView(SourceFiles->NamePos()));
  size_t Dot = Name.find('.');
  if (Dot != std::string::npos) Name.erase(Dot);
  UnitName = std::move(Name);
}

TUsedUnitRec::TUsedUnitRec() = default;

TUsedUnitRec::~TUsedUnitRec() {
  FreeChain(ImportChain);
  ImportChain = nullptr;
}

namespace {

// The names imported from the used unit or DLL of entry E (number Index in
// UsedUnits), up to the stop tag that ends the entry: each a record of E's
// import chain with a declaration number; an imported type also takes the
// next type number.
void ReadImports(TUnit& Unit, TUsedUnitRec& E, int32_t Index, uint8_t ListTag) {
  TDCURec* Last = nullptr;
  auto Link = [&](TDCURec* R) {
    if (Last) Last->Next = R;
    else E.ImportChain = R;
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
      Unit.TypeTable.push_back(R);
      Unit.AddDecl(R);
      Unit.TypeCount = static_cast<int32_t>(Unit.TypeTable.size());
    } else if (CurrentTag == tagImpAddr) {
      TPos N = TakeName();
      uint32_t Stamp = GetDWord();
      TBaseDef* R;
      if (ListTag == tagUsesDLL)
        R = new TDLLImpRec(N, Stamp, nullptr, Index);
      else
        R = new TImpDef('A', N, Stamp, nullptr, Index);
      Link(R);
      Unit.AddDecl(R);
    } else if (CurrentTag == tagStop) {
      CurrentTag = GetTag();
      return;
    } else {
      RaiseReadErrorFmt("Unexpected tag: 0x%x", {CurrentTag});
    }
  }
}

}  // namespace

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
    if (IsRelease7(Version)) GetDWord();
    E->UnitDef = std::make_unique<TImpDef>(Letter, Name, Value, nullptr, Index);
    AddDecl(E->UnitDef.get());
    ReadImports(*this, *E, Index, ListTag);
  }
  return CurrentTag;
}
