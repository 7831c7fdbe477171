// The unit object: one loaded unit file with its header, source files, used
// units, numbered tables, declaration chain and unit-level tables; the unit
// being read (ActiveUnit) and the other globals of a construction.
//
// A TUnit is constructed from a path or from a block of bytes; the
// constructor either returns a fully loaded unit or releases everything it
// built and passes the reader error on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DCU_Arena.h"
#include "DCU_In.h"
#include "DCU_Tags.h"
#include "DCU_Versions.h"

// Record classes (records/DCURecs.h).
class TDCURec;
class TBaseDef;
class TNameDecl;
class TImpDef;
class TConstDecl;
class TTypeDecl;

// Source, object, resource (or assembler) file entry. Kind and name are read
// from the image at TagPos: the tag byte, then the length-prefixed name.
struct TSourceFileRec {
  std::unique_ptr<TSourceFileRec> Next;
  TPos TagPos = nullptr;
  uint32_t FileTime = 0;  // 0xFFFFFFFF: none
  uint32_t Extra = 0;

  uint8_t Kind() const { return *TagPos; }
  TPos NamePos() const { return TagPos + 1; }
  ~TSourceFileRec();  // releases the rest of the chain without recursion
};

enum TUseKind : uint8_t { InterfaceUses = 0, ImplementationUses = 1, DllImports = 2 };

// One used unit or DLL with the names imported from it.
struct TUsedUnitRec {
  std::unique_ptr<TImpDef> UnitDef;
  TPos NamePos = nullptr;
  TDCURec* ImportChain = nullptr;  // owned, freed with FreeChain
  uint8_t UseKind = InterfaceUses;

  TUsedUnitRec();
  ~TUsedUnitRec();
  TUsedUnitRec(const TUsedUnitRec&) = delete;
  TUsedUnitRec& operator=(const TUsedUnitRec&) = delete;
};

struct TFixupRec {
  uint32_t FixupOfs : 24;  // offset in the data block
  uint32_t FixupKind : 8;
  uint32_t FixupDecl;      // declaration number, 0 = none
};
static_assert(sizeof(TFixupRec) == 8);

struct TCodeLineRec {
  uint32_t LineOfs;
  int32_t LineNum;
};

struct TLineRangeRec {
  uint32_t FirstLine;
  uint32_t LineCount;
  uint32_t LineBase;
  const TSourceFileRec* SrcFile;
};

struct TLocalVarRec {
  uint32_t VarDecl;  // declaration number, 0 = none
  uint32_t VarCodeOfs;
  int32_t VarLocation;
};

// One entry of the sorted name index: the name's text and its declaration.
// The text is a view of the name stored in the unit's Image (names are never
// copied), valid as long as the unit.
struct TNameIndexEntry {
  std::string_view Name;
  TNameDecl* Decl;
};

// The name index of a unit: its top-level declarations that belong to the
// interface, ordered by name (see SortNameIndex). The load only collects the
// declarations; nothing the load reports depends on their order, so they are
// put in order the first time the entries are asked for (begin, data, an
// element). The count is known at once. Like the rest of the reader, it is
// used from one thread at a time.
class TNameIndex {
 public:
  // Entries in the order of the index.
  const TNameIndexEntry* begin() const { return InOrder().data(); }
  const TNameIndexEntry* end() const { return begin() + size(); }
  const TNameIndexEntry* data() const { return begin(); }
  const TNameIndexEntry& operator[](size_t I) const { return InOrder()[I]; }
  size_t size() const { return Count; }
  bool empty() const { return Count == 0; }

  // Replaces the index with Decls, given in the order of adding.
  void Assign(std::vector<TNameDecl*> Decls);
  void clear();

 private:
  const std::vector<TNameIndexEntry>& InOrder() const {
    if (!Unsorted.empty()) Sort();
    return Sorted;
  }
  void Sort() const;
  size_t Count = 0;
  mutable std::vector<TNameDecl*> Unsorted;  // until the first look at the entries
  mutable std::vector<TNameIndexEntry> Sorted;
};

// Case-insensitive order of the name index (8-bit names, ASCII letters fold).
int CompareNamesNoCase(std::string_view A, std::string_view B);

// Puts entries given in the order they were added into the order of the name
// index: by CompareNamesNoCase, names that compare equal in the reverse of
// the order in which they were added.
void SortNameIndex(std::vector<TNameIndexEntry>& Entries);

// Make List hold at least N slots; capacity grows to (3 * N) / 2 when short.
template <class T>
void GrowTo(std::vector<T>& List, int64_t N) {
  if (N <= 0 || static_cast<int64_t>(List.size()) >= N) return;
  if (static_cast<int64_t>(List.capacity()) < N) List.reserve(static_cast<size_t>((3 * N) / 2));
  List.resize(static_cast<size_t>(N));
}

// Text of the stored name at P (length byte, then the bytes), as raw 8-bit
// bytes. P may be null, which gives an empty text.
std::string NameText(TPos P);

// One loaded unit file. Its image, version and names are its TScanFile
// part, which the scanner reads while the unit is read.
class TUnit : public TScanFile {
  // Memory of the records read with this unit. Declared first, so that it
  // is released after every other member that may hold records (what the
  // TScanFile part holds is no record).
  TRecordArena RecordArena;

 public:
  // Loads the file at Path.
  explicit TUnit(const std::string& Path);
  // Loads a unit from bytes in memory; DisplayName stands for the path.
  TUnit(const std::string& DisplayName, std::span<const uint8_t> Bytes);
  // Loads the file at Path and, when reading its declarations stops at an
  // error, keeps what was read before it: the top-level declarations whole
  // before the one that failed, the tables read by then. The error is kept
  // in ReadFailure. An error before the declarations (the file, its header,
  // its used units) is raised as ever.
  struct TKeepWhatWasRead {};
  TUnit(const std::string& Path, TKeepWhatWasRead);
  TUnit(const std::string& DisplayName, std::span<const uint8_t> Bytes, TKeepWhatWasRead);
  // Set when the unit was kept after an error (see TKeepWhatWasRead).
  std::exception_ptr ReadFailure;
  virtual ~TUnit();
  TUnit(const TUnit&) = delete;
  TUnit& operator=(const TUnit&) = delete;

  uint32_t HeaderFlags = 0;
  uint32_t HeaderExtra1 = 0;
  uint32_t HeaderExtra2 = 0;
  std::unique_ptr<TSourceFileRec> SourceFiles;
  std::vector<std::unique_ptr<TUsedUnitRec>> UsedUnits;
  std::vector<TBaseDef*> TypeTable;   // type number N at index N - 1
  std::vector<TDCURec*> DeclTable;    // declaration number N at index N - 1
  TNameIndex NameIndex;
  TNameDecl* Decls = nullptr;         // owned chain of top-level declarations
  int32_t TypeCount = 0;
  TPos DataBlock = nullptr;
  int32_t DataSize = 0;
  uint32_t FixupCount = 0;
  std::vector<TFixupRec> Fixups;      // empty: none
  uint32_t CodeLineCount = 0;
  std::vector<TCodeLineRec> CodeLines;
  uint32_t LineRangeCount = 0;
  std::vector<TLineRangeRec> LineRanges;
  uint32_t LocalVarCount = 0;
  std::vector<TLocalVarRec> LocalVars;

  // The memory the unit's records were taken from.
  const TRecordArena& RecordMemory() const { return RecordArena; }

  // Numbered tables.
  int32_t AddDecl(TDCURec* R) {
    // The table has room for the declarations of most units from the start
    // (ReadHeader): growing it stays out of the records' constructors.
    if (DeclTable.size() == DeclTable.capacity()) [[unlikely]]
      return AddDeclGrowing(R);
    DeclTable.push_back(R);
    return static_cast<int32_t>(DeclTable.size());
  }
  TDCURec* GetDecl(int64_t N) const;
  TBaseDef* GetTypeDef(int64_t N) const;
  void NameType(int64_t N, TPos Name);
  void AddTypeDef(TBaseDef* D);
  // R, a record of the unit's arena, holds heap memory of its own
  // (HoldsHeapMemory): it is destroyed in place when the unit is released.
  void NoteHeapMemory(TDCURec* R) { ArenaRecordsWithHeapMemory.push_back(R); }
  void AssignDeclMem(int64_t N, int32_t Ofs, int32_t Len);

  // Declaration stream: reads the list that begins with CurrentTag into Head.
  void ReadDeclList(TDeclScope Scope, TNameDecl*& Head);

  // Source files and used units.
  void ReadSourceFiles();
  uint8_t ReadUsedUnits(uint8_t ListTag);
  const TSourceFileRec* SourceFileByNum(int64_t N) const;

  // Unit-level tables.
  void ReadDataBlock();
  void ReadFixups();
  void ReadCodeLines();
  void ReadLineRanges();
  void ReadLocalVars();

  // Finishing passes.
  void BuildNameIndex(TNameDecl* Chain);
  // The name index of the top-level chain (Decls) as BuildNameIndex makes
  // it, and the runs of constants that name an enumeration's values taken
  // out of the chain into that enumeration's list; from what the reading of
  // the chain noted (NoteTopLevel), without a walk over its records.
  void IndexNamesAndFoldEnums();
  void AttachLocalVars();

  // Number of source-file entries (for summaries).
  size_t SourceFileCount() const;

 private:
  template <class TTakeImage>
  void Construct(const std::string& Name, TTakeImage TakeImage);
  void Load();
  // Keeping what was read: the tables as they stood before the top-level
  // item being read, and what it released; ForgetFailedItem clears what the
  // item that failed left in the tables.
  bool KeepPartial = false;
  struct TItemMark {
    size_t Decls = 0;
    int32_t Types = 0;
  } ItemMark;
  TReleasedRecordLog ItemReleases;
  void MarkTopLevelItem();
  bool ForgetFailedItem();
  void ReadHeader();
  void ReadHeaderTail();
  std::exception_ptr ReadTopLevel();
  void RunFinishingPasses(std::exception_ptr& Failure);
  void ReleaseAll();
  void ReleaseRecords();
  void NameTypeSlot(size_t Slot, TPos Name);
  void OwnTypeEntry(TBaseDef* D);
  int32_t AddDeclGrowing(TDCURec* R);
  int32_t DeclListDepth = 0;
  // Notes of the top-level chain taken as each record joins it (while the
  // record is still in the cache), for IndexNamesAndFoldEnums: the names the
  // index takes, and each run of constants of one type followed by a type
  // declaration, which names an enumeration's values when the type is an
  // enumeration of as many values.
  struct TEnumRun {
    TDCURec* Before;  // the record before the run; null: the run starts the chain
    TConstDecl* First;
    TDCURec* Last;
    TTypeDecl* Type;
    uint32_t Len;
  };
  struct TTopLevelNotes {
    std::vector<TNameDecl*> Visible;
    std::vector<TEnumRun> Runs;
    TConstDecl* RunFirst = nullptr;
    TDCURec* RunBefore = nullptr;
    uint32_t RunLen = 0;
    TDCURec* Prev = nullptr;
  };
  TTopLevelNotes TopLevel;
  void NoteTopLevel(TNameDecl* R);
  // The records of the arena that the release must destroy in place; the
  // other records of the arena are released with it, unvisited.
  std::vector<TDCURec*> ArenaRecordsWithHeapMemory;
  // Entries of TypeTable that it owns and that are no records of the arena
  // (made after the load): the release deletes them.
  size_t HeapTypeEntries = 0;
};

// The unit object that the programs construct; it adds nothing to TUnit.
class TJXUnit : public TUnit {
 public:
  using TUnit::TUnit;
};

// The unit whose file is being read: the scanner's ScanFile, which only a
// unit ever is, seen as the unit. Every construction sets it at its start;
// it keeps referring to that unit afterwards and is cleared when the unit is
// released or its construction fails. Reads and assignments go to ScanFile,
// so that the scanner and the records always agree on the unit.
struct TActiveUnit {
  TUnit* get() const { return static_cast<TUnit*>(ScanFile); }
  operator TUnit*() const { return get(); }
  TUnit* operator->() const { return get(); }
  TUnit& operator*() const { return *get(); }
  TActiveUnit& operator=(TUnit* U) {
    ScanFile = U;
    return *this;
  }
};
inline TActiveUnit ActiveUnit;
// The first unit constructed in the run on this thread; cleared when it is
// released.
extern constinit thread_local TUnit* FirstUnit;
// Number of units whose construction has started in this run on this
// thread; the unit whose construction was number 1 is the first unit (its
// error texts have no unit part). A caller that reads one run's units on
// several threads sets it before each unit to the number of the units before
// it in the run (see TUnitNumbering), so that each unit has the number it
// would have had on one thread.
extern constinit thread_local uint32_t UnitConstructionCount;
// Fixup kinds that open a declaration's block in the data block (by version).
extern constinit thread_local uint8_t BlockFixupKindA;
extern constinit thread_local uint8_t BlockFixupKindB;

// Reading another unit on a thread while one is loaded there (a unit that
// the loaded one uses, read for its facts): for as long as it lives, what
// the other unit's construction changes of the globals above is undone when
// it ends. The unit read aside does not count among the run's units (no
// number, never the first unit), and the loaded unit is again the one being
// read afterwards.
class TReadAside {
 public:
  TReadAside();
  ~TReadAside();
  TReadAside(const TReadAside&) = delete;
  TReadAside& operator=(const TReadAside&) = delete;

 private:
  TUnit* Active;
  TUnit* First;
  uint32_t Count;
  uint8_t KindA, KindB;
};
