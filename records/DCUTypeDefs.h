// Type definitions. Each constructor reads the head, registers the definition
// in TypeTable (AddTypeDef) and then reads the kind's own fields, so that an
// enclosing definition is numbered before the definitions nested in it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "DCUProcs.h"
#include "DCURecBase.h"
#include "DCU_Tags.h"

class TTypeDef : public TBaseDef {
 public:
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

  int32_t RTTISize = 0;
  int32_t Size = 0;
  uint32_t HeadV = 0;
  int32_t RTTIOfs = -1;

 protected:
  // Reads the head and registers the definition in TypeTable.
  explicit TTypeDef(TRecKind Kind);
  void ReadTypeHead();
};

class TRangeBaseDef : public TTypeDef {
 public:
  // Re-reads both bounds from the image as 64-bit values (low 32 bits from
  // the packed value, high 32 bits as PackedHigh holds them), by the rules
  // of the unit the range was read from, whichever unit is read now.
  void GetBounds(int64_t& Lo, int64_t& Hi) const;
  // The same without raising: false when the bounds cannot be read.
  bool TryBounds(int64_t& Lo, int64_t& Hi) const;

  // The small fields before the position: they share one word.
  uint32_t BaseType = 0;
  uint8_t RangeB = 0;
  // Bytes that may be read at BoundsPos: at most 18 (two 9-byte packed
  // values), never past the end of the window the bounds were read from.
  uint8_t BoundsLen = 0;
  // Format version of the unit the bounds were read from (the long packed
  // form carries a high dword from version 4 on).
  uint8_t BoundsVersion = 0;
  TPos BoundsPos = nullptr;

 protected:
  // Reads a range: base type, both bounds, the trailing byte.
  explicit TRangeBaseDef(TRecKind Kind);
  struct THeadOnly {};
  TRangeBaseDef(TRecKind Kind, THeadOnly) : TTypeDef(Kind) {}
  void ReadBounds();
};

// Boolean, character, integer, wide character or further ordinal range; the
// kind is the tag byte at DefPos.
UNITPEEK_KIND_ONLY_CLASS(RangeDef, TRangeDef, TRangeBaseDef)

// The constants of an enumeration in the order of their values. One block
// holds this head and the items after it. A list made while a unit is read
// is memory of the unit's arena, like the enumeration that owns it, and goes
// with the arena; any other list is heap memory, which Free gives back.
class TEnumNameList {
 public:
  // A list of Count items, all null; from the active arena when InArena.
  static TEnumNameList* Make(uint32_t Count, bool InArena);
  // Gives a heap list back; an arena's list stays until its arena goes.
  static void Free(TEnumNameList* L) noexcept;

  size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  TConstDecl* operator[](size_t I) const { return Items()[I]; }
  TConstDecl** begin() const { return Items(); }
  TConstDecl** end() const { return Items() + Count; }

 private:
  TEnumNameList(uint32_t Count, bool OnHeap) : Count(Count), OnHeap(OnHeap) {}
  TConstDecl** Items() const;
  uint32_t Count;
  bool OnHeap;
};

class TEnumDef : public TRangeBaseDef {
 public:
  UNITPEEK_RECORD_KIND(EnumDef)
  TEnumDef();
  ~TEnumDef();

  int32_t EnumNdx = 0;
  // Item i: the constant with ordinal value i; the items form one chain that
  // the enumeration owns. Null until the constants are folded in.
  TEnumNameList* NameList = nullptr;
};

class TFloatDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(FloatDef)
  TFloatDef();
  uint8_t FloatB = 0;
};

class TPtrDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(PtrDef)
  TPtrDef();
  uint32_t BaseType = 0;
};

UNITPEEK_KIND_ONLY_CLASS(TextDef, TTextDef, TTypeDef)

class TFileDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(FileDef)
  TFileDef();
  uint32_t BaseType = 0;
};

class TSetDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(SetDef)
  TSetDef();
  uint8_t BStart = 0;
  uint32_t BaseType = 0;
};

class TArrayDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(ArrayDef)
  TArrayDef() : TArrayDef(OwnKind) {}
  uint8_t B1 = 0;
  uint32_t IndexType = 0;
  uint32_t ElemType = 0;

 protected:
  explicit TArrayDef(TRecKind Kind);
};

UNITPEEK_KIND_ONLY_CLASS(ShortStrDef, TShortStrDef, TArrayDef)

UNITPEEK_KIND_ONLY_CLASS(StringDef, TStringDef, TArrayDef)

class TVariantDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(VariantDef)
  TVariantDef();
  uint8_t VariantB = 0;
};

class TObjVMTDef : public TTypeDef {
 public:
  UNITPEEK_RECORD_KIND(ObjVMTDef)
  TObjVMTDef();
  uint32_t ObjType = 0;
  uint32_t NDX1 = 0;
};

UNITPEEK_KIND_ONLY_CLASS(VoidDef, TVoidDef, TTypeDef)

// Structured types: definitions that own a member list.
class TRecBaseDef : public TTypeDef {
 public:
  ~TRecBaseDef();
  // Reads one member list into Fields; it must end with the stop tag.
  void ReadFields(TDeclScope Scope);

  TNameDecl* Fields = nullptr;  // owned

 protected:
  explicit TRecBaseDef(TRecKind Kind) : TTypeDef(Kind) {}
};

class TRecDef : public TRecBaseDef {
 public:
  UNITPEEK_RECORD_KIND(RecDef)
  TRecDef();
  uint8_t B2 = 0;
};

class TProcTypeDef : public TRecBaseDef {
 public:
  UNITPEEK_RECORD_KIND(ProcTypeDef)
  TProcTypeDef();
  // Bit 0x10 of NDX0: the procedural type is a method pointer.
  bool IsMethodPointer() const { return (NDX0 & 0x10) != 0; }

  uint32_t NDX0 = 0;
  uint32_t ResultType = 0;
  TPos ModifierPos = nullptr;
  uint32_t AddSz = 0;
  TCallConv CallConv = ccRegister;
};

class TObjDef : public TRecBaseDef {
 public:
  UNITPEEK_RECORD_KIND(ObjDef)
  TObjDef();
  uint8_t B03 = 0;
  uint32_t ParentType = 0;
  uint8_t BFE = 0;
  int32_t NDX1 = 0;
  uint8_t B00 = 0;
};

class TClassDef : public TRecBaseDef {
 public:
  UNITPEEK_RECORD_KIND(ClassDef)
  TClassDef();

  uint32_t ParentType = 0;
  uint32_t InstRTTISize = 0;
  int32_t InstSize = 0;
  uint32_t InstHeadV = 0;
  uint32_t Ndx2 = 0;
  uint32_t NdxFE = 0;
  uint8_t NDX00a = 0;
  uint8_t B04 = 0;
  int32_t IntfCount = 0;
  // Entry i is (interface type number, second value) at 2i and 2i + 1;
  // empty when IntfCount is 0 or less.
  std::vector<uint32_t> IntfPairs;
};

class TInterfaceDef : public TRecBaseDef {
 public:
  UNITPEEK_RECORD_KIND(InterfaceDef)
  TInterfaceDef();
  bool IsDispInterface() const { return (IntfB & 0x04) != 0; }

  uint32_t ParentType = 0;
  int32_t Ndx1 = 0;
  TPos GUID = nullptr;  // 16 bytes in the image
  uint8_t IntfB = 0;
};
