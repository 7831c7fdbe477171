// unitpeek-dump --find PATTERN [--json] PATH...: the declarations that a
// name pattern matches across folders of units, and the units that use the
// units it names (FindIndex.h has the pattern rules).
//
// The text and the JSON are those of FindWriters.h.
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
