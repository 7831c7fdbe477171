// The Code view's texts for the page: the routines of a unit, a routine's
// listing in runs, and the whole listing as unitpeek-dump --code prints it.
#pragma once

#include <string>

#include "CodeListing.h"
#include "DeclEntryMaker.h"

// The heading of each routine as the command line writes it: the line the
// declarations listing writes for its declaration (nested routines under
// their qualified names), initialization and finalization by their names,
// a routine the outline has no entry for by its name.
class TWebRoutineHeadings {
 public:
  explicit TWebRoutineHeadings(const TUnit& U);
  std::string operator()(const TCodeRoutineHead& H);

 private:
  TDeclEntryMaker Maker;
};

// [{"name", "heading"?, "role", "decl", "owner", "offset", "size"}...] of
// every routine, in the lister's order; the heading is left to the listing.
void WriteRoutineHeads(const TCodeLister& Lister, std::string& Out);

// {"lines": [[ITEM_OFFSET, ITEM_SIZE, KIND, ANCHOR, "TEXT", ...]...]}: a
// line per line of the text listing, its runs (TCodeRunKind, anchor), the
// file offset and size of the item it belongs to (-1 and 0: none).
void WriteRoutineRuns(const TCodeRoutine& R, TWebRoutineHeadings& Headings, std::string& Out);

// What unitpeek-dump --code prints for the one loaded unit.
void WriteCodeText(const TUnit& U, std::string& Out);
