// The JSON object of one unit file, as `--json` prints it for each file and
// the folder report for each unit: "path", "ok", "error" and, for a unit that
// loaded, "unit", "version", "sourceFiles" (kind, name, ISO stamp and raw
// stamp), "debugInfo", "localSymbols", "uses" ("interface",
// "implementation", "dlls", in file order) and "stats" (the counts of the
// unit's tables). Keys in alphabetical order; names as DisplayUtf8 shows
// them. Written in the layout of the container it stands in.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "JsonWriter.h"
#include "UnitFacts.h"

// Writes the object of the file at Path. Facts is null when the unit did not
// load; Error is the raw 8-bit text of its error, or of the error its summary
// raises, empty when there is none ("error": null). Decls, when given, writes
// the value of the member "decls" (the declarations outline).
void WriteUnitFactsJson(TJsonWriter& J, std::string_view Path, const TUnitFacts* Facts, std::string_view Error,
                        const std::function<void(TJsonWriter&)>& Decls = {});

// A member of a unit's object besides its facts ("code", "decls"): its key
// and the writer of its value.
struct TUnitJsonMember {
  TJsonKey Key;
  std::function<void(TJsonWriter&)> Write;
};

// The same with further members: each written among the facts in the order
// of the keys (Extra in key order, keys none of the facts' own); a unit that
// did not load has them too ("decls" and "partial" of what was read of a
// damaged unit).
void WriteUnitFactsJson(TJsonWriter& J, std::string_view Path, const TUnitFacts* Facts, std::string_view Error,
                        std::span<const TUnitJsonMember> Extra);
