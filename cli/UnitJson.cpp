// The JSON of a unit's facts (see UnitJson.h).
#include "UnitJson.h"

#include <cstdio>

#include "DCU_Unit.h"
#include "UnitSummary.h"

using nlohmann::json;

namespace {

std::string DisplayUtf8(std::string_view Bytes) { return DisplayText(Bytes).toStdString(); }

// ISO text of a stamp, or null when there is none or it is no valid date.
json StampIso(const TFileStamp& S) {
  if (S.State != TFileStamp::Valid) return nullptr;
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02dT%02d:%02d:%02d", S.Year, S.Month, S.Day, S.Hour, S.Minute,
                S.Second);
  return Buf;
}

}  // namespace

json UnitFactsJson(const TUnitFacts& U) {
  json J;
  J["unit"] = DisplayUtf8(U.UnitName);
  J["version"] = U.Version;
  json Files = json::array();
  for (const TSourceFileFacts& F : U.SourceFiles) {
    Files.push_back({{"kind", SourceKindName(F.Kind)},
                     {"name", DisplayUtf8(F.Name)},
                     {"stampRaw", F.RawStamp},
                     {"stamp", StampIso(F.Stamp)}});
  }
  J["sourceFiles"] = Files;
  J["debugInfo"] = U.DebugInfo;
  J["localSymbols"] = U.LocalSymbols;
  json Uses = {{"interface", json::array()}, {"implementation", json::array()}, {"dlls", json::array()}};
  for (const TUsedUnitFacts& E : U.UsedUnits) {
    const char* Key = E.UseKind == InterfaceUses        ? "interface"
                      : E.UseKind == ImplementationUses ? "implementation"
                                                        : "dlls";
    Uses[Key].push_back(DisplayUtf8(E.Name));
  }
  J["uses"] = Uses;
  const TUnitStats& S = U.Stats;
  J["stats"] = {{"declarations", S.Declarations}, {"types", S.Types},
                {"topLevelDecls", S.TopLevelDecls}, {"nameIndex", S.NameIndex},
                {"dataSize", S.DataSize},           {"fixups", S.Fixups},
                {"codeLines", S.CodeLines},         {"lineRanges", S.LineRanges},
                {"localVars", S.LocalVars}};
  return J;
}
