// The Code view's texts for the page: the routines of a unit, a routine's
// listing in runs, and the whole listing as unitpeek-dump --code prints it.
#pragma once

#include <string>

#include "CodeHeadings.h"
#include "CodeListing.h"

// [{"name", "heading"?, "role", "decl", "owner", "offset", "size"}...] of
// every routine, in the lister's order; the heading is left to the listing.
void WriteRoutineHeads(const TCodeLister& Lister, std::string& Out);

// {"lines": [[ITEM_OFFSET, ITEM_SIZE, KIND, ANCHOR, "TEXT", ...]...]}: a
// line per line of the text listing, its runs (TCodeRunKind, anchor), the
// file offset and size of the item it belongs to (-1 and 0: none).
void WriteRoutineRuns(const TCodeRoutine& R, TRoutineHeadings& Headings, std::string& Out);

// What unitpeek-dump --code prints for the one loaded unit.
void WriteCodeText(const TUnit& U, std::string& Out);
