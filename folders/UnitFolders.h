// Folders of units: the facts of every unit file under some paths, and what
// the set as a whole shows (files that do not load, one unit in several
// files, used units that are missing, mixed format versions, and units
// compiled against another version of a used unit's interface).
//
// Built on the reader and the unit facts, without Qt. Units are read one at
// a time (the reader's scanner and ActiveUnit are process-wide): each is
// loaded, its facts and stamps are taken and it is released at once, so
// memory grows with the facts only. Names are kept once per set in a name
// pool; a unit keeps numbers into it.
//
// The interface check: an interface declaration (a TNameFDecl with flags bit
// 0x40) carries a Stamp; a unit that imports it stores the same value beside
// the imported name (TImpDef::Stamp). Candidates for a used unit are the
// files of that name in the importer's own folder; if none, those of the
// importer's format version; if none, all. An imported name is compared only
// when some candidate has a stamped declaration of that name (letter case
// ignored), and it agrees when one of them has the importer's value. Names
// whose declaration carries no stamp (the runtime's built-in routines) are
// never compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DCU_Text.h"
#include "UnitFacts.h"

class TFindIndex;
class TUnit;

// The names of a set, each text kept once. A number stands for one exact
// text; Folded gives the number of its letter-case-folded text (lower-cased
// by the rule of DCU_Fold.h, the name index's), so two numbers name the same
// unit or declaration when their folded numbers are equal.
class TNamePool {
 public:
  TNamePool() = default;
  TNamePool(TNamePool&&) = default;
  TNamePool& operator=(TNamePool&&) = default;

  uint32_t Add(std::string_view Text);
  // The number of the letter-case-folded text of Text (Folded(Add(Text)),
  // without keeping Text itself).
  uint32_t AddFolded(std::string_view Text);
  // The number of Text when it is kept, else NotFound.
  static constexpr uint32_t NotFound = UINT32_MAX;
  uint32_t Lookup(std::string_view Text) const;
  // The same, with the text's hash (HashOf) known.
  uint32_t Lookup(std::string_view Text, uint32_t Hash) const;
  // The hash the pool files a text under, and that of the text of number Id.
  static uint32_t HashOf(std::string_view Text);
  uint32_t HashOf(uint32_t Id) const { return Hashes[Id]; }
  // Keeps bytes that are no name (a unit's list of names) once, as they are:
  // their number is for Text only (its Folded is itself).
  uint32_t KeepBytes(std::string_view Bytes) { return Insert(Bytes, HashOf(Bytes)); }
  std::string_view Text(uint32_t Id) const { return Texts[Id]; }
  uint32_t Folded(uint32_t Id) const { return FoldedIds[Id]; }
  size_t Size() const { return Texts.size(); }
  // The bytes the pool holds, roughly.
  size_t MemoryBytes() const;

 private:
  // The texts, packed into blocks that never move; an open-addressing index
  // of their numbers by hash.
  std::vector<std::unique_ptr<char[]>> Blocks;
  size_t BlockLeft = 0;
  char* BlockNext = nullptr;
  std::vector<std::string_view> Texts;
  std::vector<uint32_t> FoldedIds;
  std::vector<uint32_t> Hashes;  // by number
  struct TSlot {
    uint32_t Hash = 0;
    uint32_t Id = 0;  // number + 1; 0: free
  };
  std::vector<TSlot> Slots;
  std::string Scratch;

  // The slot holding Text's number, or the free one where it would go.
  size_t SlotOf(std::string_view Text, uint32_t Hash) const;
  uint32_t Insert(std::string_view Text, uint32_t Hash);
  // Keeps a text that is not there yet, at the free Slot its probe ended on.
  [[gnu::noinline]] uint32_t AddNew(std::string_view Text, uint32_t Hash, size_t Slot);
  void Grow();  // the index twice as large
  std::string_view Keep(std::string_view Text);
};

// A stamped name: an interface declaration of a unit, or a name a unit
// imports, with its 4-byte value.
struct TStampedName {
  uint32_t Name;  // number in the set's name pool
  uint32_t Stamp;
};

// A stamped declaration as one sortable number: folded name, then stamp.
inline uint64_t DeclKey(uint32_t FoldedName, uint32_t Stamp) { return uint64_t(FoldedName) << 32 | Stamp; }

// One used unit or DLL in file order (as the unit's facts list them), with
// the names imported from it (Imports[First .. First + Count) of its folder
// unit).
struct TFolderUse {
  uint32_t Name;
  uint8_t Kind;  // InterfaceUses 0, ImplementationUses 1, DllImports 2
  uint32_t First = 0;
  uint32_t Count = 0;
};

// What a finding is about.
enum class TFindingKind : uint8_t {
  NotLoaded,          // a file (or folder entry) that did not load
  DuplicateUnit,      // one unit name (letter case ignored) in several files
  // The runtime units together: missing units that more than half of the
  // loaded files use (System, SysInit, Windows, ...), one finding for all.
  MissingRuntime,
  MissingUnit,        // any other used unit with no file of that name in the set
  MixedVersions,      // more than one format version in the set
  InterfaceMismatch,  // imported names whose stamp no candidate's declaration has
};
const char* FindingKindName(TFindingKind K);  // "not-loaded", "duplicate-unit", ...

// One unit file of a set: the unit's facts, and its names and stamps as the
// findings compare them.
struct TFolderUnit {
  std::string Path;   // as walked: the given path joined with the entry names
  bool Ok = false;
  std::string Error;  // the reader's error, raw 8-bit text; empty when Ok
  TUnitFacts Facts;   // meaningful when Ok
  uint32_t UnitName = 0;  // name pool number; meaningful when Ok
  std::vector<TFolderUse> Uses;
  // Imported names with their stamps ('T' and 'A' entries under used units,
  // the TypeName of imported types with run-time type data), by use.
  std::vector<TStampedName> Imports;
  // Stamped declarations: the TNameFDecls of DeclTable with Flags bit 0x40,
  // in DeclTable order. Their names, folded, each after its length (one
  // byte; 255 and four more bytes for a longer one), make one text of the
  // name pool (KeepBytes): a unit keeps them as one number, the same unit
  // in several folders keeps them once, and the names that no unit imports
  // (most of them) take no place in the pool's index. Their stamps beside,
  // in the same order. ComputeFindings looks the names up only for the
  // units that some unit imports from.
  uint32_t DeclNames = 0;  // meaningful when DeclStamps is not empty
  std::vector<uint32_t> DeclStamps;
  // Finding kinds that concern this file (bit 1 << TFindingKind), set by
  // ComputeFindings; MissingUnit marks a file that uses a missing unit.
  uint8_t Problems = 0;

  bool Has(TFindingKind K) const { return Problems & (1u << static_cast<unsigned>(K)); }
};

// An entry of a walked folder that could not be read, or a given path that
// does not exist: a not-loaded finding, not a unit.
struct TUnreadableEntry {
  std::string Path;
  std::string Error;
};

struct TFinding {
  explicit TFinding(TFindingKind K) : Kind(K) {}
  TFindingKind Kind;
  // not-loaded: the unit (Units index), or npos for an unreadable entry.
  // interface-mismatch: the importer.
  size_t File = static_cast<size_t>(-1);
  size_t Entry = static_cast<size_t>(-1);  // not-loaded: Unreadable index
  uint32_t Unit = 0;                       // duplicate, missing: the unit; mismatch: the used unit as the importer names it
  // duplicate: the files; missing (runtime too): the users; mismatch: the candidates (a
  // list that the findings on the same candidates share): see FilesOf.
  uint32_t FileList = 0;
  // mismatch: the imported names, the importer's spelling; missing runtime:
  // the runtime units, in name order, as first met.
  std::vector<uint32_t> Names;
  std::vector<std::pair<int32_t, size_t>> Versions;  // mixed: version and file count, ascending
};

// A unit that units of the set use, in no file of the set but found on the
// unit path (a library unit): apart from the missing ones.
struct TLibraryUnit {
  uint32_t Unit = 0;   // the name as first met (name pool number)
  std::string Path;    // its file on the unit path
  uint32_t FileList = 0;  // the users (see TFolderReport::FileLists)
};

struct TFolderReport {
  TNamePool Names;
  std::vector<TFolderUnit> Units;  // in walking order
  // The unit path: folders where the units used but not in the set are
  // looked for (set before the findings are computed), and those found
  // there, in the order of their folded names.
  std::vector<std::string> UnitPath;
  std::vector<TLibraryUnit> Library;
  std::vector<TUnreadableEntry> Unreadable;
  std::vector<TFinding> Findings;  // by kind in the order of TFindingKind
  std::vector<std::vector<uint32_t>> FileLists;  // Units indexes, see TFinding

  // True when every file loaded, no entry was unreadable and no interface
  // mismatch was found: the command line's exit status 0.
  bool Clean() const;
  // Path of a not-loaded finding, and its error text.
  const std::string& PathOf(const TFinding& F) const;
  const std::string& ErrorOf(const TFinding& F) const;
  // The files of a finding (Units indexes); empty for not-loaded and mixed-versions.
  const std::vector<uint32_t>& FilesOf(const TFinding& F) const { return FileLists[F.FileList]; }
};

// The files of a walk: unit files in walking order and the entries that could
// not be read.
struct TUnitFileList {
  std::vector<std::string> Files;
  std::vector<TUnreadableEntry> Unreadable;
};

// Whether std::filesystem's lexically_normal gives Path back as it is: not
// empty, no doubled or trailing separator, no "." and no ".." but a leading
// run of them in a relative path. (A false answer only means the path is
// normalised the long way.)
bool IsLexicallyNormal(std::string_view Path);

// Walks Paths: a path to a file is taken as it is (whatever its name); a
// folder is walked recursively for regular files whose name ends in ".dcu" in
// any letter case, entries in name order. Symbolic links to folders met while
// walking are not followed (a given path that is one is); symbolic links to
// files are. A path that does not exist, a folder that cannot be opened and
// an entry whose kind cannot be told are reported as unreadable. A file
// reached twice under the same path is listed once.
TUnitFileList FindUnitFiles(const std::vector<std::string>& Paths);

// Loads the unit at Path, takes its facts and stamps (names into Pool) and
// releases it. A unit that does not load gives Ok false and its error.
// Also, when given, is called with the loaded unit last, to take more from it.
TFolderUnit ReadFolderUnit(const std::string& Path, TNamePool& Pool,
                           const std::function<void(const TUnit&)>& Also = {});

// The same in two steps, for reading on several threads: LoadFolderUnit
// reads the unit and keeps its names as texts (it touches no pool, so that
// threads may call it at once); JoinFolderUnit, called in the order of the
// scan, puts the names into the pool as ReadFolderUnit would.
struct TFolderUnitTaken {
  TFolderUnit Unit;                  // its names' numbers not yet set
  std::string Texts;                 // the imported names, one after another
  std::vector<uint32_t> ImportEnds;  // where each ends in Texts
  std::string DeclNames;             // the stamped declarations' names, as TFolderUnit::DeclNames holds them
};
TFolderUnitTaken LoadFolderUnit(const std::string& Path, const std::function<void(const TUnit&)>& Also = {});
TFolderUnit JoinFolderUnit(TFolderUnitTaken&& T, TNamePool& Pool);

// Fills Report.Findings and every unit's Problems from its Units and
// Unreadable, and Report.Library from its UnitPath: a used unit found there
// is a library unit, not a missing one. The interface check runs on Jobs
// threads (the findings are those of one).
void ComputeFindings(TFolderReport& Report, unsigned Jobs = 1);

// Reading a walked set one unit at a time, for callers that show progress or
// may stop early (the viewer): ReadNext reads one unit, Finish computes the
// findings of the units read so far. With a find index (FindIndex.h), each
// unit read is also added to it while it is loaded, under its number in the
// report's Units, and Finish finishes the index too; the index must outlive
// the scan.
// With Jobs above 1 the units are read ahead on that many threads while
// ReadNext takes them in order, and the findings are worked out on as many
// (the report and index those of one thread).
template <class TResult>
class TOrderedReader;
struct TFolderRead;

class TFolderScanner {
 public:
  explicit TFolderScanner(const std::vector<std::string>& Paths, TFindIndex* Index = nullptr, unsigned Jobs = 1,
                          std::vector<std::string> UnitPath = {});
  ~TFolderScanner();
  TFolderScanner(const TFolderScanner&) = delete;
  TFolderScanner& operator=(const TFolderScanner&) = delete;
  size_t Total() const { return Files.size(); }
  size_t Done() const { return Next; }
  bool AtEnd() const { return Next >= Files.size(); }
  // The path that ReadNext reads next (empty at the end).
  const std::string& NextPath() const;
  // Reads the next unit; false when there was none left.
  bool ReadNext();
  // The report of the units read so far, with its findings; the scanner is
  // empty afterwards.
  TFolderReport Finish();
  // The units read so far (no findings yet), and their names.
  const std::vector<TFolderUnit>& UnitsRead() const { return Report.Units; }
  const TNamePool& Names() const { return Report.Names; }

 private:
  std::vector<std::string> Files;
  size_t Next = 0;
  TFolderReport Report;
  TFindIndex* Index = nullptr;
  unsigned Jobs = 1;
  std::unique_ptr<TOrderedReader<TFolderRead>> Ahead;
  // What a unit read gives: joined to the report and the index (R keeps
  // what is left, to be freed where it was read).
  void Join(TFolderRead& R);
};

// Walks Paths, reads every unit and computes the findings. Progress, when
// given, is called before each unit with the number done, the total and the
// path; it returns false to stop (the report then holds the units read).
// Index, when given, is built as TFolderScanner builds it. Jobs above 1
// reads the units on that many threads (ParallelScan.h), with the report
// and index of one; Progress is then called as each unit's turn comes.
TFolderReport ScanFolders(
    const std::vector<std::string>& Paths,
    const std::function<bool(size_t Done, size_t Total, const std::string& Path)>& Progress = {},
    TFindIndex* Index = nullptr, unsigned Jobs = 1, std::vector<std::string> UnitPath = {});

