// The JSON object of a unit file's facts (see UnitFactsJson.h).
#include "UnitFactsJson.h"

#include <cstdio>

#include "DCU_Text.h"
#include "DCU_Unit.h"

namespace {

void StampIso(TJsonWriter& J, const TFileStamp& S) {
  if (S.State != TFileStamp::Valid) return J.Null();
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02dT%02d:%02d:%02d", S.Year, S.Month, S.Day, S.Hour, S.Minute,
                S.Second);
  J.String(Buf);
}

void SourceFiles(TJsonWriter& J, const TUnitFacts& F) {
  J.BeginArray();
  for (const TSourceFileFacts& S : F.SourceFiles) {
    J.BeginObject();
    J.String("kind", SourceKindName(S.Kind));
    J.String("name", DisplayUtf8(S.Name));
    J.Key("stamp");
    StampIso(J, S.Stamp);
    J.Number("stampRaw", S.RawStamp);
    J.EndObject();
  }
  J.EndArray();
}

void Stats(TJsonWriter& J, const TUnitStats& St) {
  J.BeginObject();
  J.Number("codeLines", St.CodeLines);
  J.Number("dataSize", St.DataSize);
  J.Number("declarations", St.Declarations);
  J.Number("fixups", St.Fixups);
  J.Number("lineRanges", St.LineRanges);
  J.Number("localVars", St.LocalVars);
  J.Number("nameIndex", St.NameIndex);
  J.Number("topLevelDecls", St.TopLevelDecls);
  J.Number("types", St.Types);
  J.EndObject();
}

void UsesList(TJsonWriter& J, const TUnitFacts& F, uint8_t Kind) {
  J.BeginArray();
  for (const TUsedUnitFacts& E : F.UsedUnits)
    if (E.UseKind == Kind) J.String(DisplayUtf8(E.Name));
  J.EndArray();
}

void Uses(TJsonWriter& J, const TUnitFacts& F) {
  J.BeginObject();
  J.Key("dlls");
  UsesList(J, F, DllImports);
  J.Key("implementation");
  UsesList(J, F, ImplementationUses);
  J.Key("interface");
  UsesList(J, F, InterfaceUses);
  J.EndObject();
}

}  // namespace

void WriteUnitFactsJson(TJsonWriter& J, std::string_view Path, const TUnitFacts* F, std::string_view Error,
                        const std::function<void(TJsonWriter&)>& Decls) {
  J.BeginObject();
  if (F) J.Bool("debugInfo", F->DebugInfo);
  if (F && Decls) {
    J.Key("decls");
    Decls(J);
  }
  if (Error.empty()) J.Null("error");
  else J.String("error", DisplayUtf8(Error));
  if (F) J.Bool("localSymbols", F->LocalSymbols);
  J.Bool("ok", F != nullptr);
  J.String("path", Path);
  if (F) {
    J.Key("sourceFiles");
    SourceFiles(J, *F);
    J.Key("stats");
    Stats(J, F->Stats);
    J.String("unit", DisplayUtf8(F->UnitName));
    J.Key("uses");
    Uses(J, *F);
    J.Number("version", F->Version);
  }
  J.EndObject();
}
