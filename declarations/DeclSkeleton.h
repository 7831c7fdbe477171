// The unit skeleton: an outline (DeclOutline.h) written as Pascal source that
// a compiler takes: the interface as the listing writes it, the
// implementation with every routine's heading and an empty body (its local
// variables as a var block where the unit keeps them), external routines
// bound to their DLL entries, and the unit's initialization and
// finalization as sections. What no source can say (names the compiler
// made, values not decoded, methods whose parameters the file does not
// give) stands in comments.
#pragma once

#include "DeclListing.h"

void WriteDeclSkeleton(const TDeclOutline& O, TDeclSink& Sink);
