// The code listing as JSON: the value of a unit's "code" member, an array of
// routines, each
//   {"declOffset", "fixups": [{"kind", "offset", "target"}],
//    "items": [{"kind": "insn" | "data", "offset", "size", "text"}],
//    "labels": [{"name", "offset"}],
//    "lines": [{"file"?, "line", "offset", "source"?}],
//    "name", "offset", "pieceSize"?, "role", "size"}
// keys in alphabetical order. "offset" of a routine is the file offset of
// its first byte, "size" its code size as the file gives it; the offsets of
// items, fixups, labels and lines count from the routine's first byte.
// "pieceSize" only where the piece listed is shorter than "size" (cut at the
// end of its block); "file" only on lines of another source file than the
// unit's own (an include file); "source" only where the source line was
// found. "declOffset" is the file offset of the routine's declaration (the
// "offset" of its entry in "decls").
//
// Written routine by routine (TCodeLister::ForEach), so that a unit of a
// million instructions never stands whole in memory; the arrays of a
// routine put each element on a line of its own, flat.
#pragma once

#include <functional>

#include "CodeListing.h"
#include "JsonWriter.h"

// One routine's object as the next value of J.
void WriteRoutineJson(const TCodeRoutine& R, TJsonWriter& J);

// The "code" array of the routines Want takes (all when empty) as the next
// value of J. Returns how many were written.
size_t WriteCodeJson(const TCodeLister& L, TJsonWriter& J,
                     const std::function<bool(const TCodeRoutineHead&)>& Want = {});

// The unit's "source" member beside "code", written when a source file was
// found for the unit's own lines: {"matches", "path", "why"?}; "why" only
// when it does not match, and then the "lines" have no "source" texts for
// the unit's own file.
void WriteSourceCheckJson(const TSourceCheck& C, TJsonWriter& J);
