// The declarations JSON of an outline as text and as a value, for the tests
// that read it back.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "DeclJson.h"

// The outline's JSON object written alone, pretty.
inline std::string DeclsJsonText(const TDeclOutline& O) {
  std::string Out;
  {
    TJsonWriter J(Out);
    WriteDeclsJson(O, J);
  }
  return Out;
}

// The same parsed (parse throws on text that is no JSON or no UTF-8).
inline nlohmann::json DeclsJson(const TDeclOutline& O) { return nlohmann::json::parse(DeclsJsonText(O)); }
