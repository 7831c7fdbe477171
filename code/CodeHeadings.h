// The heading of each routine of a code listing as the command line and the
// page write it: the line the declarations listing writes for the routine's
// declaration; nested routines under their qualified names; the unit's
// initialization and finalization as their sections begin; a routine the
// outline has no entry for (compiler-made, without a name) by its name.
// Needs the declarations (unitdecls), so it is a library of its own beside
// the listing (unitcodeheadings).
#pragma once

#include <string>

#include "CodeListing.h"
#include "CodeText.h"
#include "DeclEntryMaker.h"

class TUnit;

class TRoutineHeadings {
 public:
  // U must outlive the headings.
  explicit TRoutineHeadings(const TUnit& U);
  std::string operator()(const TCodeRoutineHead& H);
  // Text options whose Heading asks these headings (which must outlive them).
  TCodeTextOptions TextOptions();

 private:
  TDeclEntryMaker Maker;
};
