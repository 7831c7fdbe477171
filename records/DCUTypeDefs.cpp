// Type definitions: the common head, the simple kinds and the structured
// kinds that own a member list.
#include <algorithm>
#include <cstddef>
#include <new>

#include "DCURecs.h"

namespace {

// Longest packed value: the flag byte, the low and the high dword.
constexpr uint32_t MaxPackedLen = 9;

}  // namespace

// ---------------------------------------------------------------------------
// Common head

TTypeDef::TTypeDef(TRecKind Kind) : TBaseDef(Kind, nullptr, TagMark, -1) {
  ReadTypeHead();
  ActiveUnit->AddTypeDef(this);
  RTTIOfs = -1;
}

void TTypeDef::ReadTypeHead() {
  RTTISize = static_cast<int32_t>(GetPackedUInt());
  Size = GetPackedInt();
  HeadV = GetPackedUInt();
}

int32_t TTypeDef::SetMemOfKind(int32_t Ofs, int32_t Len) {
  if (RTTIOfs != -1)
    RaiseReadErrorFmt("Trying to change RTTI(%s) memory to 0x%x[0x%x]", {NameText(GetName()), Ofs, Len});
  if (RTTISize < 0 || static_cast<uint32_t>(RTTISize) != static_cast<uint32_t>(Len))
    RaiseReadErrorFmt("RTTI %s: memory size mismatch (.[0x%x]<>0x%x[0x%x])",
                      {NameText(GetName()), RTTISize, Ofs, Len});
  RTTIOfs = Ofs;
  return 0;
}

// ---------------------------------------------------------------------------
// Ranges and enumerations

TRangeBaseDef::TRangeBaseDef(TRecKind Kind) : TTypeDef(Kind) {
  BaseType = GetPackedUInt();
  ReadBounds();
}

void TRangeBaseDef::ReadBounds() {
  BoundsPos = WinPos;
  const uint32_t Avail = WinLimit ? PosOffset(WinLimit, BoundsPos) : 0;
  BoundsLen = static_cast<uint8_t>(std::min<uint32_t>(Avail, 2 * MaxPackedLen));
  BoundsVersion = static_cast<uint8_t>(UnitVersion());
  GetPackedInt();
  GetPackedInt();
  RangeB = GetByte();
}

bool TRangeBaseDef::TryBounds(int64_t& Lo, int64_t& Hi) const {
  uint32_t LoLen = 0, HiLen = 0;
  Lo = Hi = 0;
  if (!BoundsPos) return false;
  Lo = PackedInt64At(BoundsPos, BoundsLen, BoundsVersion, LoLen);
  Hi = LoLen ? PackedInt64At(BoundsPos + LoLen, BoundsLen - LoLen, BoundsVersion, HiLen) : 0;
  return HiLen != 0;
}

void TRangeBaseDef::GetBounds(int64_t& Lo, int64_t& Hi) const {
  // The bytes were read the same way when the range was, so they hold both
  // values; the check only guards against a record changed since.
  if (!TryBounds(Lo, Hi)) throw EDCUReadError("Range bounds cut short");
}

TEnumDef::TEnumDef() : TRangeBaseDef(OwnKind, THeadOnly{}) {
  BaseType = GetPackedUInt();
  EnumNdx = GetPackedInt();
  ReadBounds();
}

TEnumDef::~TEnumDef() {
  if (!NameList) return;
  if (!NameList->empty()) FreeChain((*NameList)[0]);
  TEnumNameList::Free(NameList);
}

TEnumNameList* TEnumNameList::Make(uint32_t Count, bool InArena) {
  static_assert(sizeof(TEnumNameList) % alignof(TConstDecl*) == 0, "the items follow the head unpadded");
  static_assert(alignof(TEnumNameList) <= TRecordArena::RecordAlign);
  const std::size_t Bytes = sizeof(TEnumNameList) + std::size_t{Count} * sizeof(TConstDecl*);
  void* Mem = InArena ? ActiveRecordArena->Allocate(Bytes) : ::operator new(Bytes);
  auto* L = new (Mem) TEnumNameList(Count, !InArena);
  auto* Items = static_cast<std::byte*>(Mem) + sizeof(TEnumNameList);
  for (uint32_t I = 0; I < Count; ++I) new (Items + I * sizeof(TConstDecl*)) TConstDecl*(nullptr);
  return L;
}

void TEnumNameList::Free(TEnumNameList* L) noexcept {
  if (L && L->OnHeap) ::operator delete(L);
}

TConstDecl** TEnumNameList::Items() const {
  auto* Mem = reinterpret_cast<std::byte*>(const_cast<TEnumNameList*>(this)) + sizeof(TEnumNameList);
  return std::launder(reinterpret_cast<TConstDecl**>(Mem));
}

// ---------------------------------------------------------------------------
// Other simple kinds

TFloatDef::TFloatDef() : TTypeDef(OwnKind) { FloatB = GetByte(); }

TPtrDef::TPtrDef() : TTypeDef(OwnKind) { BaseType = GetPackedUInt(); }

TFileDef::TFileDef() : TTypeDef(OwnKind) { BaseType = GetPackedUInt(); }

TSetDef::TSetDef() : TTypeDef(OwnKind) {
  BStart = GetByte();
  BaseType = GetPackedUInt();
}

TArrayDef::TArrayDef(TRecKind Kind) : TTypeDef(Kind) {
  B1 = GetByte();
  IndexType = GetPackedUInt();
  ElemType = GetPackedUInt();
}

TVariantDef::TVariantDef() : TTypeDef(OwnKind) {
  if (UnitVersion() > 2) VariantB = GetByte();
}

TObjVMTDef::TObjVMTDef() : TTypeDef(OwnKind) {
  ObjType = GetPackedUInt();
  NDX1 = GetPackedUInt();
}

// ---------------------------------------------------------------------------
// Structured kinds. A member list that fails part-way is released by the
// TRecBaseDef destructor, which also runs when a derived constructor throws.

TRecBaseDef::~TRecBaseDef() { FreeChain(Fields); }

void TRecBaseDef::ReadFields(TDeclScope Scope) {
  CurrentTag = GetTag();
  ActiveUnit->ReadDeclList(Scope, Fields);
  if (CurrentTag != tagStop) RaiseTagError("Stop Tag");
}

TRecDef::TRecDef() : TRecBaseDef(OwnKind) {
  B2 = GetByte();
  ReadFields(dsRecord);
}

TProcTypeDef::TProcTypeDef() : TRecBaseDef(OwnKind) {
  if (UnitVersion() > 2) NDX0 = GetPackedUInt();
  ResultType = GetPackedUInt();
  AddSz = 0;
  ModifierPos = WinPos;
  CurrentTag = GetTag();
  for (;;) {
    if (CurrentTag == tagEmbedded) {
      ReadFields(dsProcTypeParams);
      break;
    }
    if (CurrentTag == tagStop) break;
    const TCallConv CC = ReadCallConv();
    if (CC != ccRegister)
      CallConv = CC;
    else
      CurrentTag = GetTag();
    ++AddSz;
  }
}

TObjDef::TObjDef() : TRecBaseDef(OwnKind) {
  B03 = GetByte();
  ParentType = GetPackedUInt();
  BFE = GetByte();
  NDX1 = GetPackedInt();
  B00 = GetByte();
  ReadFields(dsRecord);
}

TClassDef::TClassDef() : TRecBaseDef(OwnKind) {
  ParentType = GetPackedUInt();
  InstRTTISize = GetPackedUInt();
  InstSize = GetPackedInt();
  InstHeadV = GetPackedUInt();
  Ndx2 = GetPackedUInt();
  NdxFE = GetPackedUInt();
  NDX00a = static_cast<uint8_t>(GetPackedUInt());
  B04 = GetByte();
  if (UnitVersion() > 2) {
    IntfCount = GetPackedInt();
    if (IntfCount > 0) {
      // Each value takes at least one byte: never reserve more than the
      // bytes left could hold, so a huge count fails on reading, not on
      // allocating.
      const uint64_t Want = 2 * static_cast<uint64_t>(IntfCount);
      const uint64_t Left = WinLimit ? PosOffset(WinLimit, WinPos) : 0;
      IntfPairs.reserve(static_cast<size_t>(std::min(Want, Left)));
      for (uint64_t I = 0; I < Want; ++I) IntfPairs.push_back(GetPackedUInt());
    }
  }
  ReadFields(dsClass);
  // Only now: a class that failed is destroyed where it failed.
  if (InArena() && IntfPairs.capacity() > 0) ActiveUnit->NoteHeapMemory(this);
}

TInterfaceDef::TInterfaceDef() : TRecBaseDef(OwnKind) {
  ParentType = GetPackedUInt();
  Ndx1 = GetPackedInt();
  GUID = TakeBytes(16);
  IntfB = GetByte();
  ReadFields(IsDispInterface() ? dsDispInterface : dsInterface);
}
