// Import records and data declarations: the records that the used-unit
// lists make for the units and names they import, and the declarations of
// types, variables, constants, labels and exports of the declaration stream.
#pragma once

#include <cstdint>

#include "DCURecBase.h"

// Import records (created by the uses reader from values it read)

class TImpDef : public TBaseDef {
 public:
  UNITPEEK_RECORD_KIND(ImpDef)
  TImpDef(char Kind, TPos Name, uint32_t Stamp, TPos DefPos, int32_t UnitIndex)
      : TImpDef(OwnKind, Kind, Name, Stamp, DefPos, UnitIndex) {}

  char Kind = '?';  // '?' interface unit, 'U' implementation unit, 'D' DLL, 'T' type, 'A' address
  uint32_t Stamp = 0;

 protected:
  TImpDef(TRecKind RecordKind, char Kind, TPos Name, uint32_t Stamp, TPos DefPos, int32_t UnitIndex);
};

class TDLLImpRec : public TBaseDef {
 public:
  UNITPEEK_RECORD_KIND(DLLImp)
  TDLLImpRec(TPos Name, uint32_t EntryIndex, TPos DefPos, int32_t UnitIndex);

  uint32_t EntryIndex = 0;
};

// An imported type that brings a block of run-time type data with it. Its
// name and unit are kept in TypeName and OwnerUnit; the inherited ones are
// cleared, so GetName yields NoName.
class TImpTypeDefRec : public TImpDef {
 public:
  UNITPEEK_RECORD_KIND(ImpTypeDef)
  TImpTypeDefRec(TPos Name, uint32_t Stamp, int32_t RTTISize, TPos DefPos, int32_t UnitIndex);
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

  int32_t RTTIOfs = -1;
  int32_t RTTISize = 0;
  int32_t OwnerUnit = -1;
  TPos TypeName = nullptr;
};

// Data declarations

class TTypeDecl : public TNameFDecl {
 public:
  UNITPEEK_RECORD_KIND(TypeDecl)
  TTypeDecl();
  bool IsVisibleOfKind(uint8_t Selector) const;
  // The association belongs to the type: forwarded to its definition.
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

  uint32_t TypeIndex = 0;
};

class TVarDecl : public TNameFDecl {
 public:
  UNITPEEK_RECORD_KIND(VarDecl)
  TVarDecl() : TVarDecl(OwnKind) {}

  uint32_t TypeIndex = 0;
  int32_t Ofs = 0;

 protected:
  explicit TVarDecl(TRecKind Kind);
};

UNITPEEK_KIND_ONLY_CLASS(AbsVarDecl, TAbsVarDecl, TVarDecl)

UNITPEEK_KIND_ONLY_CLASS(ThreadVarDecl, TThreadVarDecl, TVarDecl)

// A typed constant: its value lives in a block of the data block that the
// fixup table attaches later through SetMem.
class TVarCDecl : public TVarDecl {
 public:
  UNITPEEK_RECORD_KIND(VarCDecl)
  TVarCDecl() : TVarCDecl(OwnKind) {}
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

  int32_t MemSize = -1;
  int32_t FileOfs = 0;

 protected:
  explicit TVarCDecl(TRecKind Kind);
};

class TTypePDecl : public TVarCDecl {
 public:
  UNITPEEK_RECORD_KIND(TypePDecl)
  TTypePDecl() : TVarCDecl(OwnKind) {}
  bool IsVisibleOfKind(uint8_t Selector) const;
};

UNITPEEK_KIND_ONLY_CLASS(ResStrDef, TResStrDef, TVarCDecl)

class TConstDeclBase : public TNameFDecl {
 public:
  uint32_t TypeIndex = 0;
  uint32_t AuxValue = 0;     // read only above version 4
  TPos ValueData = nullptr;  // raw value bytes; null for an ordinal
  int32_t ValueSize = 0;     // raw length, or the high half of an ordinal
  int32_t OrdValue = 0;      // low half of an ordinal; 0 for raw bytes

  // The ordinal value as one 64-bit number (meaningful when ValueData is null).
  int64_t OrdValue64() const {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(ValueSize)) << 32) |
                                static_cast<uint32_t>(OrdValue));
  }

 protected:
  explicit TConstDeclBase(TRecKind Kind);
  void ReadConstValue();
};

UNITPEEK_KIND_ONLY_CLASS(ConstDecl, TConstDecl, TConstDeclBase)

class TLabelDecl : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(LabelDecl)
  TLabelDecl();
  bool IsVisibleOfKind(uint8_t Selector) const;

  uint32_t CodeOfs = 0;
};

class TExportDecl : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(ExportDecl)
  TExportDecl();

  uint32_t ExportedDecl = 0;
  uint32_t ExportIndex = 0;
};

// A record without name and flags; not entered in DeclTable.
class TSetDeftInfo : public TNameDecl {
 public:
  UNITPEEK_RECORD_KIND(SetDeftInfo)
  TSetDeftInfo();
  TPos NameOfKind() const;

  uint32_t SourceDecl = 0;
  uint32_t TargetDecl = 0;
};
