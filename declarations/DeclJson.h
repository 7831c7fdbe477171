// The declarations outline as JSON: {"interface": [DECL...], "implementation":
// [DECL...]}, each DECL with its kind, name, one-line text and file offset,
// and what its kind has (type kind, values, members, parameters, ...).
#pragma once

#include <nlohmann/json.hpp>

#include "DeclOutline.h"

nlohmann::json DeclsJson(const TDeclOutline& O);
