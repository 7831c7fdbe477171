// The JSON facts of a loaded unit (see UnitJson.h).
#include "UnitJson.h"

#include <QDateTime>
#include <QTimeZone>

#include "DCU_Unit.h"
#include "DCURecs.h"
#include "UnitSummary.h"

using nlohmann::json;

namespace {

std::string Utf8(const QString& S) { return S.toStdString(); }

const char* SourceKindName(uint8_t Kind) {
  switch (Kind) {
    case 0x71: return "object";
    case 0x72: return "resource";
    case 0x73: return "assembler";
    default: return "source";
  }
}

// ISO text of a stamp, or null when there is none or it is no valid date.
json StampIso(int Version, uint32_t Stamp) {
  if (IsNoStamp(Version, Stamp)) return nullptr;
  QDateTime DT;
  if (Version >= 100) {
    DT = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(Stamp));
  } else {
    QDate D(int(Stamp >> 25) + 1980, int((Stamp >> 21) & 0x0F), int((Stamp >> 16) & 0x1F));
    QTime T(int((Stamp >> 11) & 0x1F), int((Stamp >> 5) & 0x3F), int(Stamp & 0x1F) * 2);
    if (!D.isValid() || !T.isValid()) return nullptr;
    DT = QDateTime(D, T, Qt::UTC);
  }
  return Utf8(DT.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
}

}  // namespace

json UnitFacts(const TUnit& U) {
  json J;
  J["unit"] = Utf8(DisplayText(U.UnitName));
  J["version"] = U.Version;
  json Files = json::array();
  for (const TSourceFileRec* F = U.SourceFiles.get(); F; F = F->Next.get()) {
    Files.push_back({{"kind", SourceKindName(F->Kind())},
                     {"name", Utf8(DisplayText(NameView(F->NamePos())))},
                     {"stampRaw", F->FileTime},
                     {"stamp", StampIso(U.Version, F->FileTime)}});
  }
  J["sourceFiles"] = Files;
  J["debugInfo"] = !U.CodeLines.empty();
  J["localSymbols"] = !U.LocalVars.empty();
  json Uses = {{"interface", json::array()}, {"implementation", json::array()}, {"dlls", json::array()}};
  for (const auto& E : U.UsedUnits) {
    const char* Key = E->UseKind == InterfaceUses        ? "interface"
                      : E->UseKind == ImplementationUses ? "implementation"
                                                         : "dlls";
    Uses[Key].push_back(Utf8(DisplayText(NameView(E->NamePos))));
  }
  J["uses"] = Uses;
  size_t TopLevel = 0;
  for (const TDCURec* R = U.Decls; R; R = R->Next) ++TopLevel;
  J["stats"] = {{"declarations", U.DeclTable.size()}, {"types", U.TypeTable.size()},
                {"topLevelDecls", TopLevel},          {"nameIndex", U.NameIndex.size()},
                {"dataSize", U.DataSize},             {"fixups", U.FixupCount},
                {"codeLines", U.CodeLineCount},       {"lineRanges", U.LineRangeCount},
                {"localVars", U.LocalVarCount}};
  return J;
}
