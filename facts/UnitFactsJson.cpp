// The JSON object of a unit file's facts (see UnitFactsJson.h).
#include "UnitFactsJson.h"

#include <cstdio>

#include "DCU_Text.h"
#include "DCU_Unit.h"

namespace {

void StampIso(TJsonWriter& J, const TSourceDate& S) {
  if (S.State != TSourceDate::Valid) return J.Null();
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
    StampIso(J, S.Date);
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
  if (!Decls) return WriteUnitFactsJson(J, Path, F, Error, std::span<const TUnitJsonMember>());
  const TUnitJsonMember Extra[] = {{"decls", Decls}};
  WriteUnitFactsJson(J, Path, F, Error, Extra);
}

void WriteUnitFactsJson(TJsonWriter& J, std::string_view Path, const TUnitFacts* F, std::string_view Error,
                        std::span<const TUnitJsonMember> Extra) {
  // The extra members whose keys come before Key, then Key itself.
  size_t Next = 0;
  auto KeyAt = [&](TJsonKey Key) {
    const std::string_view K(Key.Text, Key.Size);
    for (; Next < Extra.size() && std::string_view(Extra[Next].Key.Text, Extra[Next].Key.Size) < K; ++Next) {
      J.Key(Extra[Next].Key);
      Extra[Next].Write(J);
    }
    J.Key(Key);
  };
  J.BeginObject();
  if (F) {
    KeyAt("debugInfo");
    J.Bool(F->DebugInfo);
  }
  KeyAt("error");
  if (Error.empty()) J.Null();
  else J.String(DisplayUtf8(Error));
  if (F) {
    KeyAt("localSymbols");
    J.Bool(F->LocalSymbols);
  }
  KeyAt("ok");
  J.Bool(F != nullptr);
  KeyAt("path");
  J.String(Path);
  if (F) {
    KeyAt("sourceFiles");
    SourceFiles(J, *F);
    KeyAt("stats");
    Stats(J, F->Stats);
    KeyAt("unit");
    J.String(DisplayUtf8(F->UnitName));
    KeyAt("uses");
    Uses(J, *F);
    KeyAt("version");
    J.Number(F->Version);
  }
  for (; Next < Extra.size(); ++Next) {
    J.Key(Extra[Next].Key);
    Extra[Next].Write(J);
  }
  J.EndObject();
}
