// Find in folders of units: which unit declares a name, and which units use
// a unit. The index is built while the folder scan reads each unit (one unit
// in memory at a time) and answers queries without reading a unit again;
// only the listing lines of the hits are taken from their units when asked
// for (FillFindLines).
//
// What the index keeps per unit: its path, its name, the units it uses with
// the names it imports from each, and its declarations in the order of the
// declarations outline (sections, blocks, entries, each record-like type's
// members after it), each as a byte of kind and section and the distances
// of its name's number in the index's name pool and of its anchor (file
// offset) from those of the declaration before, both variable-length. A
// name's folded number leads to the units that declare it (three tables:
// declarations, members, imported names), so that a query reads the
// declarations of those units only. That keeps about five bytes per
// declaration; the listing lines themselves (some forty bytes each) are not
// kept.
//
// Patterns: letter case ignored (the ASCII letters, the rule of
// DCU_Fold.h); '*' stands for any run of characters, '?' for one character.
// Without a '.' a pattern matches the unit's own declarations (types,
// constants, variables, routines, ...); with one, the part before the last
// '.' matches a record-like type (record, object, class, interface) and the
// part after it one of its members ("TFoo.Bar", "TFoo.*", "*.Create"); an
// empty part counts as '*'. The whole pattern also matches unit names: the
// unit names of the set and the names its units use.
//
// Users: of a unit name, the units whose uses name it (interface or
// implementation); of a declaration, the units that import its name from a
// unit of its unit's name (the names a unit imports: the types and addresses
// listed under each used unit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DCU_TextRules.h"
#include "DeclOutline.h"
#include "UnitFolders.h"

class TUnit;

// A parsed find pattern (see above).
class TFindPattern {
 public:
  explicit TFindPattern(std::string_view Text);

  const std::string& Text() const { return Given; }
  bool Empty() const { return Given.empty(); }
  // The whole pattern against a name (declarations, unit names). Names are
  // folded here.
  bool Matches(std::string_view Name) const { return MatchesFolded(Whole, Name); }
  // A pattern with a '.' finds members.
  bool FindsMembers() const { return HasMember; }
  bool OwnerMatches(std::string_view Name) const { return MatchesFolded(Owner, Name); }
  bool MemberMatches(std::string_view Name) const { return MatchesFolded(Member, Name); }

  // The folded parts, for matching names that are folded already.
  const std::string& FoldedWhole() const { return Whole; }
  const std::string& FoldedOwner() const { return Owner; }
  const std::string& FoldedMember() const { return Member; }
  static bool HasWildcards(std::string_view Folded);

 private:
  static bool MatchesFolded(const std::string& Folded, std::string_view Name);
  std::string Given, Whole, Owner, Member;
  bool HasMember = false;
};

enum class TFindSection : uint8_t { Interface, Implementation };
// "interface", "implementation".
std::string_view FindSectionName(TFindSection S);

// What a hit declares: the kinds of the outline's entries, then those of
// its members.
enum class TFindKind : uint8_t {
  Type,
  Const,
  ResourceString,
  Var,
  ThreadVar,
  Procedure,
  Function,
  Label,
  Exports,
  Field,
  Method,
  Constructor,
  Destructor,
  Property,
};
// The outline's names: "type", "const", ..., "exports", "field", "method",
// "constructor", "destructor", "property".
std::string_view FindKindName(TFindKind K);
inline bool IsMemberKind(TFindKind K) { return K >= TFindKind::Field; }

// One declaration that matched.
struct TFindHit {
  uint32_t Unit = 0;     // the unit's number in the index (see TFindIndex::Add)
  std::string UnitName;  // UTF-8
  std::string Path;      // as walked
  TFindSection Section = TFindSection::Interface;
  TFindKind Kind = TFindKind::Type;
  std::string Name;      // UTF-8; a member's as "Owner.Member"
  // The declaration's anchor in the declarations outline: the file offset of
  // the tag byte its record began with (a view of the outline can show the
  // declaration by it).
  uint32_t Offset = 0;
  // Its place among the unit's declarations in outline order, members
  // counted; FillFindLines finds it again by it.
  uint32_t Ordinal = 0;
  // The declaration's line as the declarations listing writes it (without
  // the indentation): "TFoo = class(TBase)", "Run(A: Integer);", ... Empty
  // until FillFindLines has set it.
  std::string Line;
};

// A unit of the set that uses a unit a pattern named.
struct TFindUser {
  uint32_t Unit = 0;     // the user's number in the index
  std::string UnitName;  // UTF-8
  std::string Path;
  bool Interface = false;  // used in the interface (else in the implementation only)
};

// A unit name that a pattern matched, with the units of the set that use it.
struct TFindUnitUsers {
  std::string Name;             // UTF-8, as first met
  std::vector<uint32_t> Files;  // the units of the set of that name (empty: only used)
  std::vector<TFindUser> Users; // in scan order
};

struct TFindResult {
  std::vector<TFindHit> Hits;  // by unit in scan order, each unit's in outline order; at most the limit
  size_t TotalHits = 0;        // all hits, also those past the limit
  std::vector<TFindUnitUsers> Units;  // unit names matched, ordered by folded name
  bool Found() const { return TotalHits > 0 || !Units.empty(); }
};

// What the index takes of one loaded unit (TFindIndex::Take), until it is added.
struct TFindUnit {
  uint32_t Name = 0;         // pool number of the unit's name
  uint32_t Declarations = 0;
  uint32_t Members = 0;      // of them, members of record-like types
  std::string Packed;        // the declarations, packed as above
  struct TUse {
    uint32_t Name;  // pool number
    bool Interface;
    uint32_t First = 0, Count = 0;  // its names in Imports
  };
  std::vector<TUse> Uses;    // used units in file order (DLLs left out)
  std::vector<uint32_t> Imports;  // pool numbers of the imported names, by use
};

// What TFindIndex::TakeUnit takes of a loaded unit for the index, as texts:
// taken on any thread, joined to the index in the order of the scan.
struct TFindTaken {
  TDeclOutline Outline;  // names only
  struct TUse {
    std::string Name;  // UTF-8
    bool Interface = false;
    std::vector<std::string> Imports;  // UTF-8
  };
  std::vector<TUse> Uses;  // DLLs left out
};

class TFindIndex {
 public:
  TFindIndex() = default;
  TFindIndex(TFindIndex&&) = default;
  TFindIndex& operator=(TFindIndex&&) = default;

  // Building, one unit after another in the order of the scan: Take while
  // the unit is loaded (it builds the unit's declarations outline), then Add
  // with what was taken, or with nothing and the error for a unit that did
  // not load. A unit's number is its place in that order, so an index built
  // with the folder scan numbers its units as the report's Units.
  TFindUnit Take(const TUnit& U);
  // Take in two steps, for reading on several threads: TakeUnit touches no
  // index (threads may call it at once), Join puts what it took into this
  // index's names as Take would.
  static TFindTaken TakeUnit(const TUnit& U);
  TFindUnit Join(TFindTaken&& T);
  void Add(std::string Path, std::optional<TFindUnit> Unit, std::string Error = {});
  // Lays out the tables that lead from names to units; Find calls it when
  // units were added since.
  void Finish();
  // Keeps the units Order names (numbers before the call, each at most
  // once), in that order, drops the others and lays the tables out again: a
  // set read again in part (the viewer's live folders) keeps its unchanged
  // units, adds the units read again, then puts them all in the walk's order.
  void Reorder(const std::vector<uint32_t>& Order);

  size_t Size() const { return Units.size(); }
  // The units from number First on are library units (from the unit path,
  // added after the set's).
  void SetLibraryFrom(uint32_t First) { LibraryFrom = First; }
  bool Library(uint32_t Unit) const { return Unit >= LibraryFrom; }
  bool Loaded(uint32_t Unit) const { return Units[Unit].Ok; }
  const std::string& Path(uint32_t Unit) const { return Units[Unit].Path; }
  const std::string& Error(uint32_t Unit) const { return Units[Unit].Error; }  // raw 8-bit text
  std::string UnitName(uint32_t Unit) const;  // UTF-8; empty when not loaded
  size_t Declarations() const { return DeclCount; }
  // The bytes the index holds (its tables and texts), roughly.
  size_t MemoryBytes() const;

  // The declarations a pattern matches: Each is called with the hits of
  // each unit that has any, in scan order; it returns false to stop.
  // Returns the number of hits handed out.
  size_t FindDecls(const TFindPattern& P, const std::function<bool(std::vector<TFindHit>&)>& Each) const;
  // The unit names the whole pattern matches, and their users.
  std::vector<TFindUnitUsers> FindUnits(const TFindPattern& P) const;
  // The units that import a hit's name from its unit, in scan order; none
  // for members and the implementation's declarations.
  std::vector<TFindUser> UsersOf(const TFindHit& Hit) const;
  // Both; at most MaxHits hits are kept (TotalHits counts them all).
  TFindResult Find(const TFindPattern& P, size_t MaxHits = SIZE_MAX) const;
  TFindResult Find(std::string_view Pattern, size_t MaxHits = SIZE_MAX) const { return Find(TFindPattern(Pattern), MaxHits); }

 private:
  uint32_t LibraryFrom = UINT32_MAX;
  struct TIndexedUnit {
    std::string Path;
    std::string Error;
    bool Ok = false;
    uint32_t Name = 0;
    uint32_t Declarations = 0;
    uint32_t Members = 0;
    std::string Packed;
    std::vector<TFindUnit::TUse> Uses;
    std::vector<uint32_t> Imports;
  };
  // Units by folded name number: Start[N] .. Start[N + 1] in Bytes hold the
  // unit numbers, each as its distance from the one before (variable-length).
  struct TPostings {
    std::vector<uint32_t> Start;
    std::string Bytes;
    std::vector<uint32_t> UnitsOf(uint32_t Folded) const;
    // Marks the units of every name Match flags in Read.
    void Mark(const std::vector<uint8_t>& Match, std::vector<uint8_t>& Read) const;
    // The bytes of the lists of the names Match flags (the work of Mark).
    size_t Cost(const std::vector<uint8_t>& Match) const;
  };
  // Folded name numbers that a folded pattern matches, as flags by number.
  std::vector<uint8_t> MatchingNames(const std::string& Folded) const;
  // A pattern's names: declarations, and members with their owners.
  struct TMatch {
    std::vector<uint8_t> Decl, Member, Owner;
    bool Members = false;
    // Every name matches (a pattern of stars): every declaration of a unit
    // is a hit, or every one but the members.
    bool AllDecls = false, AllMembers = false;
  };
  TMatch Match(const TFindPattern& P) const;
  // The units that may hold hits: all that the tables lead to (or all, when
  // that is nearly every unit anyway) and those added since Finish.
  std::vector<uint8_t> Candidates(const TMatch& M) const;
  // A hit as read from a unit's packed declarations.
  struct TRawHit {
    uint32_t Ordinal, Name, Owner, Offset;
    TFindKind Kind;
    TFindSection Section;
  };
  // Counts the declarations of U that M matches; the first Keep of them
  // (in order) go to Out.
  size_t UnitHits(const TIndexedUnit& U, const TMatch& M, std::vector<TRawHit>& Out, size_t Keep = SIZE_MAX) const;
  TFindHit MakeHit(uint32_t Unit, const TRawHit& R) const;
  std::vector<TFindUnitUsers> FindUnits(const std::vector<uint8_t>& Match) const;

  TNamePool Names;
  std::vector<TIndexedUnit> Units;
  size_t DeclCount = 0;
  TPostings DeclsOf, MembersOf, ImportsOf;
  size_t Finished = 0;     // units in the tables
  size_t PackedBytes = 0;  // of the units in the tables
};

// Sets Line of every hit by loading each unit of the hits again, one at a
// time (hits of one unit together, as FindDecls hands them out). A unit that
// no longer loads leaves its hits' lines empty and gives false with the
// error (raw 8-bit text) in Error; a hit whose declaration is no longer at
// its place (the file changed since the scan) keeps an empty line.
bool FillFindLines(std::vector<TFindHit>& Hits, std::string* Error = nullptr);

// Walks Paths as the folder scan does (FindUnitFiles) and builds the index
// alone, without the report's facts: the command line's --find. The entries
// that could not be read go to Unreadable. The unit files directly in the
// folders of UnitPath that the walk did not reach come after the set's, as
// library units.
TFindIndex BuildFindIndex(const std::vector<std::string>& Paths, std::vector<TUnreadableEntry>* Unreadable = nullptr,
                          unsigned Jobs = 1, const std::vector<std::string>& UnitPath = {});

// The unit files (".dcu" in any letter case) directly in the folders of
// UnitPath, each folder's in name order, without those in Known.
std::vector<std::string> LibraryUnitFiles(const std::vector<std::string>& UnitPath,
                                          const std::vector<std::string>& Known);
