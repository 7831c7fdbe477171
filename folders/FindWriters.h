// The answers of a find over folders of units (FindIndex.h) as text and as
// JSON, as unitpeek-dump --find prints them.
//
// Text: the hits grouped by unit, a head line "UNIT (PATH)" and a line per
// hit: "  SECTION KIND LINE", the declaration's listing line, where KIND is
// left out when the line starts with it (routines: "  interface function
// Twice(X: Integer): Integer;"); a member's line comes after its qualified
// name ("  interface field TFoo.Count: Count: Integer;"). Under a
// declaration of an interface, a line per unit that imports it: "    used
// in the interface of USER (PATH)" (or "implementation"). Then, for each
// unit name matched, "unit NAME (PATHS), used by N units" ("(not in the
// folders)" for a name that is only used) and a line per user: "  used in
// the interface of USER (PATH)". Groups are parted by an empty line.
//
// JSON: {"pattern": P, "declarations": [{"unit", "path", "section", "kind",
// "name", "offset", "line", "usedBy"}...], "units": [{"unit", "files":
// [PATH...], "usedBy": [{"unit", "path", "section"}...]}...], "notLoaded":
// [{"path", "error"}...]}, each declaration and unit on a line of its own;
// "offset" is the declaration's file offset (its anchor in the declarations
// outline), "name" a member's "Owner.Member".
#pragma once

#include <iosfwd>
#include <memory>
#include <string_view>
#include <vector>

#include "FindIndex.h"

class TJsonWriter;

class TFindTextWriter {
 public:
  explicit TFindTextWriter(std::ostream& Out) : Out(Out) {}
  // The hits of one unit (all of the same unit, at least one).
  void Hits(const TFindIndex& Index, const std::vector<TFindHit>& Hits);
  // A unit name matched and its users.
  void Unit(const TFindIndex& Index, const TFindUnitUsers& U);

 private:
  void Part();
  std::ostream& Out;
  bool Any = false;
};

// Written in this order: the hits unit by unit, then the units, then what
// was not loaded, which ends the object.
class TFindJsonWriter {
 public:
  TFindJsonWriter(std::ostream& Out, std::string_view Pattern);
  ~TFindJsonWriter();
  TFindJsonWriter(const TFindJsonWriter&) = delete;
  TFindJsonWriter& operator=(const TFindJsonWriter&) = delete;
  void Hits(const TFindIndex& Index, const std::vector<TFindHit>& Hits);
  void Units(const TFindIndex& Index, const std::vector<TFindUnitUsers>& Units);
  // The entries that could not be read, then the units of the index that
  // did not load.
  void NotLoaded(const TFindIndex& Index, const std::vector<TUnreadableEntry>& Unreadable);

 private:
  std::ostream& Out;
  std::unique_ptr<TJsonWriter> J;
};
