// The root classes of the records: TDCURec, which every record of a unit
// is, TBaseDef (what TypeTable holds: type definitions, imported types and
// the placeholders of names given before their definition), TNameDecl (a
// declaration of the declaration stream, named by the bytes after its tag)
// and TNameFDecl (one that also carries flags and an interface stamp).
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
//
// Records made while a unit is read live in the unit's arena (DCU_Arena.h),
// and what such a record owns is of the same arena. Releasing one does not
// give memory back (the arena's memory goes with the unit); it only needs to
// run the destructor when the record holds heap memory of its own (the
// interface pairs of a class; the name list of an enumeration when it was
// made outside the read), see DestroyRecord.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DCURecKinds.h"
#include "DCU_Arena.h"
#include "DCU_In.h"

// The one-character name "?" (length byte, then the text) that stands in for
// a record without a name position.
inline constexpr uint8_t NoNameText[2] = {1, '?'};
inline const TPos NoName = NoNameText;

// Flags bit of a declaration that belongs to the unit's interface.
inline constexpr uint32_t IsInterfaceFlag = 0x40;

class TDCURec {
 public:
  TDCURec* Next = nullptr;

  // Position of the record's length-prefixed name.
  TPos GetName() const;
  // Offers the record the block [Ofs, Ofs + Size) of the data block; returns
  // the number of bytes left for the records after it in its chain. The
  // default: the record takes no memory and the offer is an error.
  int32_t SetMem(int32_t Ofs, int32_t Size);
  // The kind of the record's own class (DCURecKinds.h); see RecCast.
  TRecKind RecKind() const { return KindOfRecord; }
  // True for a record of a unit's arena (made while the unit was read).
  bool InArena() const { return FromArena; }

  // Records created while a unit is read take their memory from the unit's
  // arena (DCU_Arena.h). A record is ended by DestroyRecord, which runs the
  // destructor of its own class.
  static void* operator new(std::size_t Size) { return AllocateRecord(Size); }
  static void operator delete(void* P, std::size_t Size) noexcept { ReleaseRecord(P, Size); }

  TDCURec(const TDCURec&) = delete;
  TDCURec& operator=(const TDCURec&) = delete;

  // What GetName and SetMem do for a record of this class. Records have no
  // table of virtual functions (a million records would carry a pointer
  // each): GetName, SetMem and TNameDecl::IsVisible find the class of a
  // record by its kind and call these, which a class below redefines.
  TPos NameOfKind() const = delete;
  int32_t SetMemOfKind(int32_t Ofs, int32_t Size);

 protected:
  // Every constructor of a record class passes the kind of its own records
  // (its OwnKind) down to here.
  explicit TDCURec(TRecKind Kind) : KindOfRecord(Kind) {}
  // Not virtual: DestroyRecord ends a record as its own class.
  ~TDCURec() = default;

 private:
  // A byte instead of a virtual call: "is a" and the casts read it directly.
  TRecKind KindOfRecord;
  // Made while a unit's arena was active, so from that arena (operator new
  // takes the memory of a record from the arena that is active then).
  bool FromArena = ActiveRecordArena != nullptr;

  friend void DestroyRecord(TDCURec* R) noexcept;
};

// Ends the record R (null: nothing). A heap record is deleted; a record of an
// arena is destroyed in place, and only when its class holds heap memory of
// its own: the rest of it, and every record it owns, is memory of the arena.
void DestroyRecord(TDCURec* R) noexcept;

// True when records of kind K may hold heap memory of their own (beside the
// chains of records they own), which their destructor gives back.
constexpr bool HoldsHeapMemory(TRecKind K) { return K == TRecKind::EnumDef || K == TRecKind::ClassDef; }

// Ends First and every record reached from it through Next, in chain order.
void FreeChain(TDCURec* First);

class TBaseDef : public TDCURec {
 public:
  UNITPEEK_RECORD_KIND(BaseDef)
  TBaseDef(TPos Name, TPos DefPos, int32_t UnitIndex) : TBaseDef(OwnKind, Name, DefPos, UnitIndex) {}
  TPos NameOfKind() const;

  // The small fields first: they fill the room after the kind byte.
  // Set by the unit for the entries that its TypeTable owns and frees (type
  // definitions and placeholders); import records there belong to their
  // used-unit entries.
  bool OwnedByTypeTable = false;
  int32_t UnitIndex = -1; // -1: the unit being read; else index into UsedUnits
  TPos Name = nullptr;    // null: none
  TPos DefPos = nullptr;  // tag byte the record began with; null: none

 protected:
  TBaseDef(TRecKind Kind, TPos Name, TPos DefPos, int32_t UnitIndex);
};

class TNameDecl : public TDCURec {
 public:
  TPos NameOfKind() const;
  // Selector 0: is the declaration part of the unit's interface; 1: the
  // opposite question; anything else admits everything.
  bool IsVisible(uint8_t Selector) const;
  bool IsVisibleOfKind(uint8_t Selector) const;

  int32_t DeclIndex = -1; // 1-based number in DeclTable; -1: not entered
  TPos DefPos = nullptr;  // the tag byte; the name follows it

 protected:
  // Reads the head: DefPos from TagMark, the name, and the DeclTable number.
  explicit TNameDecl(TRecKind Kind);
  // For records without a name in the file: DefPos from TagMark only.
  struct TNoHead {};
  TNameDecl(TRecKind Kind, TNoHead);
};

class TNameFDecl : public TNameDecl {
 public:
  bool IsVisibleOfKind(uint8_t Selector) const;

  uint32_t Flags = 0;
  uint32_t Stamp = 0;  // present in the file only when Flags has IsInterfaceFlag

 protected:
  // Reads the head of TNameDecl, then the flags and the optional stamp.
  explicit TNameFDecl(TRecKind Kind);
};
