// The JSON of a loaded unit's facts, as unitpeek-dump --json prints them:
// unit name, version, source files with their stamps, debugger options, uses
// lists and table statistics. Shared by the command line and the fuzz target.
#pragma once

#include <nlohmann/json.hpp>

#include "UnitFacts.h"

nlohmann::json UnitFactsJson(const TUnitFacts& U);
