// Two builds of a unit compared: what differs in the summary facts
// (version, source files and their stamps, used units), in the declarations
// of the interface and of the implementation (added, removed, changed), and
// in the code, routine by routine. Plain strings, taken once from both units,
// so that the writers (UnitDiffWriters.h) and any view read the same facts.
//
// Declarations are matched by section, kind and name (a routine's overloads
// by their order); a declaration changed is one whose line in the listing
// differs (signature, type, value), or one of whose members was added,
// removed or changed. Routines are matched by qualified name: the same when
// their bytes agree once the fields the fixup table fills are masked and the
// fixups name the same targets; else the lines of their listings that
// differ, as a diff.
#pragma once

#include <string>
#include <vector>

class TUsedUnits;

struct TDiffFact {
  std::string What;           // "version", "source Unit.pas", "uses (interface)", ...
  std::string Before, After;  // UTF-8; empty: none
};

enum class TDiffKind : unsigned char { Added, Removed, Changed };
const char* DiffKindName(TDiffKind K);  // "added", "removed", "changed"

struct TDiffDecl {
  TDiffKind Kind = TDiffKind::Changed;
  std::string Section;        // "interface", "implementation"
  std::string What;           // "type", "procedure", ..., or "member" for a member of a type
  std::string Name;           // a member's as "Owner.Member"
  std::string Before, After;  // the listing's lines; empty for the side that has none
};

struct TDiffRoutine {
  TDiffKind Kind = TDiffKind::Changed;
  std::string Name;                // qualified
  std::vector<std::string> Lines;  // changed: "-old", "+new" and " same" lines of the listings
};

struct TUnitDiff {
  std::string PathA, PathB;
  std::string ErrorA, ErrorB;  // a unit that did not load (raw 8-bit text); then nothing else is compared
  std::vector<TDiffFact> Facts;
  std::vector<TDiffDecl> Decls;
  std::vector<TDiffRoutine> Code;

  bool Loaded() const { return ErrorA.empty() && ErrorB.empty(); }
  bool Same() const { return Loaded() && Facts.empty() && Decls.empty() && Code.empty(); }
};

// Loads both units (one after the other) and compares them; Library, when
// given, has the units they use (their values are read with them), looked
// up beside each unit, then beside the other one, then on its unit path.
TUnitDiff CompareUnitFiles(const std::string& PathA, const std::string& PathB, TUsedUnits* Library = nullptr);
