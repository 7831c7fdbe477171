// The comparison of two builds of a unit (UnitDiff.h) as text, in the manner
// of a diff, and as JSON.
#pragma once

#include <iosfwd>

#include "UnitDiff.h"

void WriteUnitDiffText(const TUnitDiff& D, std::ostream& Out);
void WriteUnitDiffJson(const TUnitDiff& D, std::ostream& Out);
