// Record classes of the unit reader: everything read from a unit file's
// declaration stream and import lists is an object of the tree rooted at
// TDCURec. Named declarations, import entries and type definitions.
//
// Records are light views into the unit's file image: names and value bytes
// stay in the image and are referred to by position (TPos). Constructors read
// their fields through the global scanner (DCU_In.h) at the current position
// and reach the unit being read through ActiveUnit.
//
// Ownership: every record belongs to exactly one chain (linked through Next)
// and the owner of the chain frees it with FreeChain. A procedure owns its
// parameter, local and embedded chains; a structured type definition owns its
// member chain; an enumeration owns the constants folded into it. Type
// definitions themselves are owned by the unit through its TypeTable.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "DCU_Unit.h"
#include "DCU_Arena.h"
#include "DCU_In.h"
#include "DCU_Tags.h"

// The one-character name "?" (length byte, then the text) that stands in for
// a record without a name position.
inline constexpr uint8_t NoNameText[2] = {1, '?'};
inline const TPos NoName = NoNameText;

// Flags bit of a declaration that belongs to the unit's interface.
inline constexpr uint32_t IsInterfaceFlag = 0x40;

// What a record is, answered by the record itself. The order follows the
// class tree depth first, so that every class stands for one closed range of
// kinds (its FirstKind to LastKind) and "is a" is two comparisons.
enum class TRecKind : uint8_t {
  BaseDef,  // a named placeholder in TypeTable
  ImpDef, ImpTypeDef, DLLImp,
  RangeDef, EnumDef, FloatDef, PtrDef, TextDef, FileDef, SetDef, ArrayDef, ShortStrDef, StringDef,
  VariantDef, ObjVMTDef, VoidDef, RecDef, ProcTypeDef, ObjDef, ClassDef, InterfaceDef,
  TypeDecl, VarDecl, AbsVarDecl, ThreadVarDecl, VarCDecl, TypePDecl, ResStrDef, ConstDecl, ProcDecl,
  LabelDecl, ExportDecl, SetDeftInfo, LocalDecl, MethodDecl, DispPropDecl, PropDecl, SysProcDecl,
};

// The range of kinds a class stands for (itself and the classes below it).
#define RECORD_KINDS(First, Last)                                   \
  static constexpr TRecKind FirstKind = TRecKind::First;            \
  static constexpr TRecKind LastKind = TRecKind::Last;

// ---------------------------------------------------------------------------
// Root classes

class TDCURec {
 public:
  RECORD_KINDS(BaseDef, SysProcDecl)
  TDCURec* Next = nullptr;

  // Position of the record's length-prefixed name.
  virtual TPos GetName() const = 0;
  // Offers the record the block [Ofs, Ofs + Size) of the data block; returns
  // the number of bytes left for the records after it in its chain. The
  // default: the record takes no memory and the offer is an error.
  virtual int32_t SetMem(int32_t Ofs, int32_t Size);
  // The record's own class; see RecCast.
  virtual TRecKind RecKind() const = 0;
  virtual ~TDCURec() = default;

  // Records created while a unit is read take their memory from the unit's
  // arena (DCU_Arena.h); delete still runs the destructor.
  static void* operator new(std::size_t Size) { return AllocateRecord(Size); }
  static void operator delete(void* P, std::size_t Size) noexcept { ReleaseRecord(P, Size); }

  TDCURec(const TDCURec&) = delete;
  TDCURec& operator=(const TDCURec&) = delete;

 protected:
  TDCURec() = default;
};

// True when R is a To (or of a class below it).
template <class To>
bool IsA(const TDCURec* R) {
  if (!R) return false;
  const TRecKind K = R->RecKind();
  return To::FirstKind <= K && K <= To::LastKind;
}

// The checked downcast of records: R as a To, or null when it is none.
template <class To, class From>
To* RecCast(From* R) {
  static_assert(std::is_base_of_v<From, To>);
  return IsA<To>(R) ? static_cast<To*>(R) : nullptr;
}
template <class To, class From>
const To* RecCast(const From* R) {
  static_assert(std::is_base_of_v<From, To>);
  return IsA<To>(R) ? static_cast<const To*>(R) : nullptr;
}

// Frees First and every record reached from it through Next, in chain order.
void FreeChain(TDCURec* First);

class TBaseDef : public TDCURec {
 public:
  RECORD_KINDS(BaseDef, InterfaceDef)
  TRecKind RecKind() const override { return TRecKind::BaseDef; }
  TBaseDef(TPos Name, TPos DefPos, int32_t UnitIndex);
  TPos GetName() const override;

  TPos Name = nullptr;    // null: none
  TPos DefPos = nullptr;  // tag byte the record began with; null: none
  int32_t UnitIndex = -1; // -1: the unit being read; else index into UsedUnits
  // Set by the unit for the entries that its TypeTable owns and frees (type
  // definitions and placeholders); import records there belong to their
  // used-unit entries.
  bool OwnedByTypeTable = false;
};

class TNameDecl : public TDCURec {
 public:
  RECORD_KINDS(TypeDecl, SysProcDecl)
  TPos GetName() const override;
  // Selector 0: is the declaration part of the unit's interface; 1: the
  // opposite question; anything else admits everything.
  virtual bool IsVisible(uint8_t Selector) const;

  TPos DefPos = nullptr;  // the tag byte; the name follows it
  int32_t DeclIndex = -1; // 1-based number in DeclTable; -1: not entered

 protected:
  // Reads the head: DefPos from TagMark, the name, and the DeclTable number.
  TNameDecl();
  // For records without a name in the file: DefPos from TagMark only.
  struct TNoHead {};
  explicit TNameDecl(TNoHead);
};

class TNameFDecl : public TNameDecl {
 public:
  RECORD_KINDS(TypeDecl, ProcDecl)
  bool IsVisible(uint8_t Selector) const override;

  uint32_t Flags = 0;
  uint32_t Stamp = 0;  // present in the file only when Flags has IsInterfaceFlag

 protected:
  // Reads the head of TNameDecl, then the flags and the optional stamp.
  TNameFDecl();
};

// ---------------------------------------------------------------------------
// Import records (created by the uses reader from values it read)

class TImpDef : public TBaseDef {
 public:
  RECORD_KINDS(ImpDef, ImpTypeDef)
  TRecKind RecKind() const override { return TRecKind::ImpDef; }
  TImpDef(char Kind, TPos Name, uint32_t Stamp, TPos DefPos, int32_t UnitIndex);

  char Kind = '?';  // '?' interface unit, 'U' implementation unit, 'D' DLL, 'T' type, 'A' address
  uint32_t Stamp = 0;
};

class TDLLImpRec : public TBaseDef {
 public:
  RECORD_KINDS(DLLImp, DLLImp)
  TRecKind RecKind() const override { return TRecKind::DLLImp; }
  TDLLImpRec(TPos Name, uint32_t EntryIndex, TPos DefPos, int32_t UnitIndex);

  uint32_t EntryIndex = 0;
};

// An imported type that brings a block of run-time type data with it. Its
// name and unit are kept in TypeName and OwnerUnit; the inherited ones are
// cleared, so GetName yields NoName.
class TImpTypeDefRec : public TImpDef {
 public:
  RECORD_KINDS(ImpTypeDef, ImpTypeDef)
  TRecKind RecKind() const override { return TRecKind::ImpTypeDef; }
  TImpTypeDefRec(TPos Name, uint32_t Stamp, int32_t RTTISize, TPos DefPos, int32_t UnitIndex);
  int32_t SetMem(int32_t Ofs, int32_t Size) override;

  int32_t RTTIOfs = -1;
  int32_t RTTISize = 0;
  int32_t OwnerUnit = -1;
  TPos TypeName = nullptr;
};

// ---------------------------------------------------------------------------
// Data declarations

class TTypeDecl : public TNameFDecl {
 public:
  RECORD_KINDS(TypeDecl, TypeDecl)
  TRecKind RecKind() const override { return TRecKind::TypeDecl; }
  TTypeDecl();
  bool IsVisible(uint8_t Selector) const override;
  // The association belongs to the type: forwarded to its definition.
  int32_t SetMem(int32_t Ofs, int32_t Size) override;

  uint32_t TypeIndex = 0;
};

class TVarDecl : public TNameFDecl {
 public:
  RECORD_KINDS(VarDecl, ResStrDef)
  TRecKind RecKind() const override { return TRecKind::VarDecl; }
  TVarDecl();

  uint32_t TypeIndex = 0;
  int32_t Ofs = 0;
};

class TAbsVarDecl : public TVarDecl {
 public:
  RECORD_KINDS(AbsVarDecl, AbsVarDecl)
  TRecKind RecKind() const override { return TRecKind::AbsVarDecl; }
  TAbsVarDecl() = default;
};

class TThreadVarDecl : public TVarDecl {
 public:
  RECORD_KINDS(ThreadVarDecl, ThreadVarDecl)
  TRecKind RecKind() const override { return TRecKind::ThreadVarDecl; }
  TThreadVarDecl() = default;
};

// A typed constant: its value lives in a block of the data block that the
// fixup table attaches later through SetMem.
class TVarCDecl : public TVarDecl {
 public:
  RECORD_KINDS(VarCDecl, ResStrDef)
  TRecKind RecKind() const override { return TRecKind::VarCDecl; }
  TVarCDecl();
  int32_t SetMem(int32_t Ofs, int32_t Size) override;

  int32_t MemSize = -1;
  int32_t FileOfs = 0;
};

class TTypePDecl : public TVarCDecl {
 public:
  RECORD_KINDS(TypePDecl, TypePDecl)
  TRecKind RecKind() const override { return TRecKind::TypePDecl; }
  TTypePDecl() = default;
  bool IsVisible(uint8_t Selector) const override;
};

class TResStrDef : public TVarCDecl {
 public:
  RECORD_KINDS(ResStrDef, ResStrDef)
  TRecKind RecKind() const override { return TRecKind::ResStrDef; }
  TResStrDef() = default;
};

class TConstDeclBase : public TNameFDecl {
 public:
  RECORD_KINDS(ConstDecl, ConstDecl)
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
  TConstDeclBase();
  void ReadConstValue();
};

class TConstDecl : public TConstDeclBase {
 public:
  RECORD_KINDS(ConstDecl, ConstDecl)
  TRecKind RecKind() const override { return TRecKind::ConstDecl; }
  TConstDecl() = default;
};

class TLabelDecl : public TNameDecl {
 public:
  RECORD_KINDS(LabelDecl, LabelDecl)
  TRecKind RecKind() const override { return TRecKind::LabelDecl; }
  TLabelDecl();
  bool IsVisible(uint8_t Selector) const override;

  uint32_t CodeOfs = 0;
};

class TExportDecl : public TNameDecl {
 public:
  RECORD_KINDS(ExportDecl, ExportDecl)
  TRecKind RecKind() const override { return TRecKind::ExportDecl; }
  TExportDecl();

  uint32_t ExportedDecl = 0;
  uint32_t ExportIndex = 0;
};

// A record without name and flags; not entered in DeclTable.
class TSetDeftInfo : public TNameDecl {
 public:
  RECORD_KINDS(SetDeftInfo, SetDeftInfo)
  TRecKind RecKind() const override { return TRecKind::SetDeftInfo; }
  TSetDeftInfo();
  TPos GetName() const override;

  uint32_t SourceDecl = 0;
  uint32_t TargetDecl = 0;
};

// ---------------------------------------------------------------------------
// Procedures, locals, methods and properties

enum TCallConv : uint8_t { ccRegister = 0, ccCdecl = 1, ccPascal = 2, ccStdcall = 3, ccSafecall = 4 };

// "register", "cdecl", "pascal", "stdcall", "safecall"; empty for other values.
std::string_view CallConvName(uint8_t CC);

// Looks at CurrentTag: a convention tag (0x81..0x84) gives its convention and
// the next tag is read; anything else gives ccRegister and reads nothing.
TCallConv ReadCallConv();

// True for a stored procedure name that has no body part in the unit being read.
bool IsNoBodyName(TPos Name);

class TProcDecl : public TNameFDecl {
 public:
  RECORD_KINDS(ProcDecl, ProcDecl)
  TRecKind RecKind() const override { return TRecKind::ProcDecl; }
  // Takes ownership of the embedded chain (which may be null) at once, also
  // when reading fails.
  explicit TProcDecl(TNameDecl* EmbeddedChain);
  ~TProcDecl() override;
  bool IsVisible(uint8_t Selector) const override;
  int32_t SetMem(int32_t Ofs, int32_t Size) override;

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
  const TLocalVarRec* LocalVarSlice = nullptr;
  int32_t LocalVarSliceLen = 0;
};

// Parameter, local variable, result, local absolute variable or field; the
// kind is the tag byte at DefPos.
class TLocalDecl : public TNameDecl {
 public:
  RECORD_KINDS(LocalDecl, DispPropDecl)
  TRecKind RecKind() const override { return TRecKind::LocalDecl; }
  explicit TLocalDecl(TDeclScope Scope);

  uint32_t Flags = 0;
  uint32_t TypeIndex = 0;
  int32_t IntfAttrs = -1;  // interface member lists only
  int32_t Ofs = 0;
};

// Method, constructor or destructor (tag 0x2D, 0x2E, 0x2F at DefPos).
class TMethodDecl : public TLocalDecl {
 public:
  RECORD_KINDS(MethodDecl, MethodDecl)
  TRecKind RecKind() const override { return TRecKind::MethodDecl; }
  explicit TMethodDecl(TDeclScope Scope);

  bool InInterface = false;
  uint32_t ImplHandle = 0;
};

// Property of a dispatch interface; Ofs is its dispatch identifier.
class TDispPropDecl : public TLocalDecl {
 public:
  RECORD_KINDS(DispPropDecl, DispPropDecl)
  TRecKind RecKind() const override { return TRecKind::DispPropDecl; }
  explicit TDispPropDecl(TDeclScope Scope) : TLocalDecl(Scope) {}
};

inline constexpr int32_t NoPropValue = INT32_MIN;  // no index specifier / default

class TPropDecl : public TNameDecl {
 public:
  RECORD_KINDS(PropDecl, PropDecl)
  TRecKind RecKind() const override { return TRecKind::PropDecl; }
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
  RECORD_KINDS(SysProcDecl, SysProcDecl)
  TRecKind RecKind() const override { return TRecKind::SysProcDecl; }
  TSysProcDecl();

  uint32_t ProcId = 0;
  int32_t ProcArg = 0;
};

// ---------------------------------------------------------------------------
// Type definitions. Each constructor reads the head, registers the definition
// in TypeTable (AddTypeDef) and then reads the kind's own fields, so that an
// enclosing definition is numbered before the definitions nested in it.

class TTypeDef : public TBaseDef {
 public:
  RECORD_KINDS(RangeDef, InterfaceDef)
  TTypeDef();
  int32_t SetMem(int32_t Ofs, int32_t Size) override;

  int32_t RTTISize = 0;
  int32_t Size = 0;
  uint32_t HeadV = 0;
  int32_t RTTIOfs = -1;

 protected:
  void ReadTypeHead();
};

class TRangeBaseDef : public TTypeDef {
 public:
  RECORD_KINDS(RangeDef, EnumDef)
  // Re-reads both bounds from the image as 64-bit values (low 32 bits from
  // the packed value, high 32 bits from PackedHigh).
  void GetBounds(int64_t& Lo, int64_t& Hi) const;

  uint32_t BaseType = 0;
  TPos BoundsPos = nullptr;
  uint8_t RangeB = 0;
  // Bytes that may be read at BoundsPos: at most 18 (two 9-byte packed
  // values), never past the end of the window the bounds were read from.
  uint8_t BoundsLen = 0;

 protected:
  // Reads a range: base type, both bounds, the trailing byte.
  TRangeBaseDef();
  struct THeadOnly {};
  explicit TRangeBaseDef(THeadOnly) {}
  void ReadBounds();
};

// Boolean, character, integer, wide character or further ordinal range; the
// kind is the tag byte at DefPos.
class TRangeDef : public TRangeBaseDef {
 public:
  RECORD_KINDS(RangeDef, RangeDef)
  TRecKind RecKind() const override { return TRecKind::RangeDef; }
  TRangeDef() = default;
};

class TEnumDef : public TRangeBaseDef {
 public:
  RECORD_KINDS(EnumDef, EnumDef)
  TRecKind RecKind() const override { return TRecKind::EnumDef; }
  TEnumDef();
  ~TEnumDef() override;

  int32_t EnumNdx = 0;
  // Item i: the constant with ordinal value i; the items form one chain that
  // the enumeration owns. Null until the constants are folded in.
  std::unique_ptr<std::vector<TConstDecl*>> NameList;
};

class TFloatDef : public TTypeDef {
 public:
  RECORD_KINDS(FloatDef, FloatDef)
  TRecKind RecKind() const override { return TRecKind::FloatDef; }
  TFloatDef();
  uint8_t FloatB = 0;
};

class TPtrDef : public TTypeDef {
 public:
  RECORD_KINDS(PtrDef, PtrDef)
  TRecKind RecKind() const override { return TRecKind::PtrDef; }
  TPtrDef();
  uint32_t BaseType = 0;
};

class TTextDef : public TTypeDef {
 public:
  RECORD_KINDS(TextDef, TextDef)
  TRecKind RecKind() const override { return TRecKind::TextDef; }
  TTextDef() = default;
};

class TFileDef : public TTypeDef {
 public:
  RECORD_KINDS(FileDef, FileDef)
  TRecKind RecKind() const override { return TRecKind::FileDef; }
  TFileDef();
  uint32_t BaseType = 0;
};

class TSetDef : public TTypeDef {
 public:
  RECORD_KINDS(SetDef, SetDef)
  TRecKind RecKind() const override { return TRecKind::SetDef; }
  TSetDef();
  uint8_t BStart = 0;
  uint32_t BaseType = 0;
};

class TArrayDef : public TTypeDef {
 public:
  RECORD_KINDS(ArrayDef, StringDef)
  TRecKind RecKind() const override { return TRecKind::ArrayDef; }
  TArrayDef();
  uint8_t B1 = 0;
  uint32_t IndexType = 0;
  uint32_t ElemType = 0;
};

class TShortStrDef : public TArrayDef {
 public:
  RECORD_KINDS(ShortStrDef, ShortStrDef)
  TRecKind RecKind() const override { return TRecKind::ShortStrDef; }
  TShortStrDef() = default;
};

class TStringDef : public TArrayDef {
 public:
  RECORD_KINDS(StringDef, StringDef)
  TRecKind RecKind() const override { return TRecKind::StringDef; }
  TStringDef() = default;
};

class TVariantDef : public TTypeDef {
 public:
  RECORD_KINDS(VariantDef, VariantDef)
  TRecKind RecKind() const override { return TRecKind::VariantDef; }
  TVariantDef();
  uint8_t VariantB = 0;
};

class TObjVMTDef : public TTypeDef {
 public:
  RECORD_KINDS(ObjVMTDef, ObjVMTDef)
  TRecKind RecKind() const override { return TRecKind::ObjVMTDef; }
  TObjVMTDef();
  uint32_t ObjType = 0;
  uint32_t NDX1 = 0;
};

class TVoidDef : public TTypeDef {
 public:
  RECORD_KINDS(VoidDef, VoidDef)
  TRecKind RecKind() const override { return TRecKind::VoidDef; }
  TVoidDef() = default;
};

// Structured types: definitions that own a member list.
class TRecBaseDef : public TTypeDef {
 public:
  RECORD_KINDS(RecDef, InterfaceDef)
  ~TRecBaseDef() override;
  // Reads one member list into Fields; it must end with the stop tag.
  void ReadFields(TDeclScope Scope);

  TNameDecl* Fields = nullptr;  // owned

 protected:
  TRecBaseDef() = default;
};

class TRecDef : public TRecBaseDef {
 public:
  RECORD_KINDS(RecDef, RecDef)
  TRecKind RecKind() const override { return TRecKind::RecDef; }
  TRecDef();
  uint8_t B2 = 0;
};

class TProcTypeDef : public TRecBaseDef {
 public:
  RECORD_KINDS(ProcTypeDef, ProcTypeDef)
  TRecKind RecKind() const override { return TRecKind::ProcTypeDef; }
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
  RECORD_KINDS(ObjDef, ObjDef)
  TRecKind RecKind() const override { return TRecKind::ObjDef; }
  TObjDef();
  uint8_t B03 = 0;
  uint32_t ParentType = 0;
  uint8_t BFE = 0;
  int32_t NDX1 = 0;
  uint8_t B00 = 0;
};

class TClassDef : public TRecBaseDef {
 public:
  RECORD_KINDS(ClassDef, ClassDef)
  TRecKind RecKind() const override { return TRecKind::ClassDef; }
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
  RECORD_KINDS(InterfaceDef, InterfaceDef)
  TRecKind RecKind() const override { return TRecKind::InterfaceDef; }
  TInterfaceDef();
  bool IsDispInterface() const { return (IntfB & 0x04) != 0; }

  uint32_t ParentType = 0;
  int32_t Ndx1 = 0;
  TPos GUID = nullptr;  // 16 bytes in the image
  uint8_t IntfB = 0;
};
