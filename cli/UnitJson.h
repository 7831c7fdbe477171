// The JSON facts of a loaded unit, as unitpeek-dump --json prints them: unit
// name, version, source files with their stamps, debugger options, uses
// lists and table statistics. Shared by the command line and the fuzz target.
#pragma once

#include <nlohmann/json.hpp>

class TUnit;

nlohmann::json UnitFacts(const TUnit& U);
