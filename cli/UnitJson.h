// One unit file as unitpeek-dump --json [--decls] gives it, for the command
// line and the page alike: its facts, or the error that stopped its load,
// with the declarations outline when asked for (of a damaged unit, what was
// read before the error, marked "partial") and the hint of a unit that did
// not load.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DeclOutline.h"
#include "JsonWriter.h"
#include "UnitLoad.h"

class TUsedTypes;

// One loaded unit's facts (and, when asked for, its declarations outline),
// or the raw text of the error that stopped its load.
struct TLoadResult {
  TUnitLoad Unit;
  std::optional<TDeclOutline> Decls;
  // The "decls" value written ahead in place of Decls (WriteDeclsAhead).
  std::optional<TJsonPieces> DeclsJson;
  // Decls holds what was read of a unit that did not load.
  bool Partial = false;
};

// Loads the unit at Path for its facts and, with WithDecls, its outline
// (the types of the units it uses from Used, when given).
TLoadResult LoadFacts(const std::string& Path, bool WithDecls, TUsedTypes* Used = nullptr);

// Writes the object of the file at Path as --json writes it: the facts,
// "decls", "hint" and "partial" as R has them. True when the unit loaded and
// its summary holds no error.
bool WriteUnitJson(TJsonWriter& J, const std::string& Path, const TLoadResult& R);

// Writes R's "decls" value as WriteUnitJson writes it in an array of units
// (--json over several files) and lets the outline go: what is the most of
// the writing can then be done on the thread that loaded the unit, the
// units placed in order on another. The outline of a large unit is kept,
// for WriteUnitJson to stream its JSON.
void WriteDeclsAhead(TLoadResult& R);
