// Root record classes (DCURecBase.h), import records and data declarations
// (DCUDecls.h).
#include "DCURecs.h"
#include "DCU_Cursor.h"

// ---------------------------------------------------------------------------
// Root classes

int32_t TDCURec::SetMemOfKind(int32_t Ofs, int32_t Size) {
  RaiseReadErrorFmt("Trying to set memory 0x%x[0x%x] to %s", {Ofs, Size, NameText(GetName())});
}

TPos TDCURec::GetName() const {
  return VisitRecord(*this, [](const auto& Own) { return Own.NameOfKind(); });
}

int32_t TDCURec::SetMem(int32_t Ofs, int32_t Size) {
  return VisitRecord(*this, [&](auto& Own) { return Own.SetMemOfKind(Ofs, Size); });
}

bool TNameDecl::IsVisible(uint8_t Selector) const {
  const TDCURec& R = *this;
  return VisitRecord(R, [&](const auto& Own) {
    if constexpr (std::is_base_of_v<TNameDecl, std::remove_cvref_t<decltype(Own)>>)
      return Own.IsVisibleOfKind(Selector);
    else
      return false;  // no kind of a TNameDecl
  });
}

void DestroyRecord(TDCURec* R) noexcept {
  if (!R) return;
  if (!R->FromArena) {
    VisitRecord(*R, [](auto& Own) { delete &Own; });
  } else if (HoldsHeapMemory(R->RecKind())) {
    VisitRecord(*R, [](auto& Own) {
      using TOwn = std::remove_reference_t<decltype(Own)>;
      Own.~TOwn();
    });
  }
}

void FreeChain(TDCURec* First) {
  while (First) {
    TDCURec* Next = First->Next;
    DestroyRecord(First);
    First = Next;
  }
}

TBaseDef::TBaseDef(TRecKind Kind, TPos Name, TPos DefPos, int32_t UnitIndex)
    : TDCURec(Kind), UnitIndex(UnitIndex), Name(Name), DefPos(DefPos) {}

TPos TBaseDef::NameOfKind() const { return Name ? Name : NoName; }

TNameDecl::TNameDecl(TRecKind Kind) : TDCURec(Kind), DefPos(TagMark) {
  TakeName();
  DeclIndex = ActiveUnit->AddDecl(this);
}

TNameDecl::TNameDecl(TRecKind Kind, TNoHead) : TDCURec(Kind), DefPos(TagMark) {}

TPos TNameDecl::NameOfKind() const { return DefPos ? DefPos + 1 : NoName; }

bool TNameDecl::IsVisibleOfKind(uint8_t) const { return true; }

TNameFDecl::TNameFDecl(TRecKind Kind) : TNameDecl(Kind) {
  Flags = GetPackedUInt();
  if (Flags & IsInterfaceFlag) Stamp = GetDWord();
}

bool TNameFDecl::IsVisibleOfKind(uint8_t Selector) const {
  const bool Intf = (Flags & IsInterfaceFlag) != 0;
  if (Selector == 0) return Intf;
  if (Selector == 1) return !Intf;
  return true;
}

// ---------------------------------------------------------------------------
// Import records

TImpDef::TImpDef(TRecKind RecordKind, char Kind, TPos Name, uint32_t Stamp, TPos DefPos, int32_t UnitIndex)
    : TBaseDef(RecordKind, Name, DefPos, UnitIndex), Kind(Kind), Stamp(Stamp) {}

TDLLImpRec::TDLLImpRec(TPos Name, uint32_t EntryIndex, TPos DefPos, int32_t UnitIndex)
    : TBaseDef(OwnKind, Name, DefPos, UnitIndex), EntryIndex(EntryIndex) {}

TImpTypeDefRec::TImpTypeDefRec(TPos Name, uint32_t Stamp, int32_t RTTISize, TPos DefPos, int32_t UnitIndex)
    : TImpDef(OwnKind, 'T', Name, Stamp, DefPos, UnitIndex), RTTISize(RTTISize) {
  OwnerUnit = this->UnitIndex;
  this->UnitIndex = -1;
  TypeName = this->Name;
  this->Name = nullptr;
}

int32_t TImpTypeDefRec::SetMemOfKind(int32_t Ofs, int32_t Size) {
  if (RTTIOfs != -1)
    RaiseReadErrorFmt("Trying to change ImpRTTI(%s) memory to 0x%x[0x%x]", {NameText(GetName()), Ofs, Size});
  if (Size != RTTISize)
    RaiseReadErrorFmt("ImpRTTI %s: memory size mismatch (.[0x%x]<>0x%x[0x%x])",
                      {NameText(GetName()), RTTISize, Ofs, Size});
  RTTIOfs = Ofs;
  return 0;
}

// ---------------------------------------------------------------------------
// Data declarations

TTypeDecl::TTypeDecl() : TNameFDecl(OwnKind) {
  TypeIndex = GetPackedUInt();
  ActiveUnit->NameType(TypeIndex, DefPos + 1);
}

bool TTypeDecl::IsVisibleOfKind(uint8_t Selector) const {
  const TPos N = GetName();
  if (N[0] > 0 && N[1] == '.') return false;
  return TNameFDecl::IsVisibleOfKind(Selector);
}

int32_t TTypeDecl::SetMemOfKind(int32_t Ofs, int32_t Size) {
  TBaseDef* D = ActiveUnit ? ActiveUnit->GetTypeDef(TypeIndex) : nullptr;
  return D ? D->SetMem(Ofs, Size) : 0;
}

TVarDecl::TVarDecl(TRecKind Kind) : TNameFDecl(Kind) {
  TReadCursor In;
  TypeIndex = In.PackedUInt();
  Ofs = static_cast<int32_t>(In.PackedUInt());
}

TVarCDecl::TVarCDecl(TRecKind Kind) : TVarDecl(Kind) {
  MemSize = -1;
  FileOfs = Ofs;
  Ofs = -1;
}

int32_t TVarCDecl::SetMemOfKind(int32_t O, int32_t S) {
  if (MemSize != -1)
    RaiseReadErrorFmt("Trying to change typed const %s memory to 0x%x[0x%x]", {NameText(GetName()), O, S});
  if (Ofs == -1)
    Ofs = O;
  else if (Ofs != O)
    RaiseReadErrorFmt("typed const %s: memory ofs mismatch (0x%x<>0x%x)", {NameText(GetName()), Ofs, O});
  MemSize = S;
  return 0;
}

bool TTypePDecl::IsVisibleOfKind(uint8_t) const { return false; }

TConstDeclBase::TConstDeclBase(TRecKind Kind) : TNameFDecl(Kind) {
  TypeIndex = GetPackedUInt();
  if (UnitVersion() > 4) AuxValue = GetPackedUInt();
  ReadConstValue();
}

void TConstDeclBase::ReadConstValue() {
  const uint32_t N = GetPackedUInt();
  ValueSize = static_cast<int32_t>(N);
  if (N == 0) {
    ValueData = nullptr;
    OrdValue = GetPackedInt();
    ValueSize = PackedHigh;
  } else {
    ValueData = WinPos;
    // A size beyond the signed range can never fit the image: let the
    // scanner report it as a block that does not fit.
    SkipBytes(static_cast<int32_t>(N > 0x7FFFFFFFu ? 0x7FFFFFFFu : N));
    OrdValue = 0;
  }
}

TLabelDecl::TLabelDecl() : TNameDecl(OwnKind) { CodeOfs = GetPackedUInt(); }

bool TLabelDecl::IsVisibleOfKind(uint8_t Selector) const { return Selector != 0; }

TExportDecl::TExportDecl() : TNameDecl(OwnKind) {
  ExportedDecl = GetPackedUInt();
  ExportIndex = GetPackedUInt();
}

TSetDeftInfo::TSetDeftInfo() : TNameDecl(OwnKind, TNoHead{}) {
  DeclIndex = -1;
  SourceDecl = GetPackedUInt();
  TargetDecl = GetPackedUInt();
}

TPos TSetDeftInfo::NameOfKind() const { return NoName; }
