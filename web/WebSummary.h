// The summary text of a unit for the page, as unitpeek-dump prints it under
// the C locale (the page knows no other): dates as "4 Apr 2005 01:10:32",
// used units in the order of their lower-cased names.
//
// Written from the facts without Qt, line for line as the summary writers
// (summary/UnitSummary.cpp) write through the recording sink. Once the
// summary library is Qt-free, WebSummaryText becomes a call of it; the
// browser tests hold this text against the command line's for every unit.
#pragma once

#include <string>
#include <string_view>

#include "UnitFacts.h"

// Appends the summary of a loaded unit to Out; on an invalid stamp, what
// was written and the error block. True when the whole summary was written.
bool WebSummaryText(const TUnitFacts& Facts, std::string& Out);

// The error block of a unit that did not load: an empty line, "Error:",
// the message as display text.
std::string WebErrorBlock(std::string_view Error);
