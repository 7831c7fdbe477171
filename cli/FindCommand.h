// unitpeek-dump --find PATTERN [--json] PATH...: the declarations that a
// name pattern matches across folders of units, and the units that use the
// units it names (FindIndex.h has the pattern rules).
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
// "name", "offset", "line"}...], "units": [{"unit", "files": [PATH...],
// "usedBy": [{"unit", "path", "section"}...]}...], "notLoaded": [{"path",
// "error"}...]}; "offset" is the declaration's file offset (its anchor in the
// declarations outline), "name" a member's "Owner.Member".
//
// Files that do not load and folder entries that cannot be read are named
// on standard error ("notLoaded" in the JSON) and searched no further; they
// do not change the exit status. Exit status: 0 when something was found, 1
// when nothing was, 2 when a given PATH itself cannot be read (it does not
// exist, or is a folder that cannot be opened).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// UnitPath: the unit files directly in these folders are searched too, as
// library units ("(PATH, library)" in the text, "library": true after
// "path" in the JSON).
int RunFindCommand(const std::string& Pattern, const std::vector<std::string>& Paths, bool Json, std::ostream& Out,
                   std::ostream& Err, unsigned Jobs = 1, const std::vector<std::string>& UnitPath = {});
