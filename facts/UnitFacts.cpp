// The facts of a loaded unit (see UnitFacts.h): source kinds by tag, and
// ExtractUnitFacts (the stamps are taken apart in SourceDate.cpp).
#include "UnitFacts.h"

#include "DCU_Unit.h"
#include "DCURecs.h"

TSourceKind SourceKindOfTag(uint8_t Tag) {
  switch (Tag) {
    case tagObjFile: return TSourceKind::Object;
    case tagResFile: return TSourceKind::Resource;
    case tagAsmFile: return TSourceKind::Assembler;
    default: return TSourceKind::Source;
  }
}

const char* SourceKindName(TSourceKind Kind) {
  switch (Kind) {
    case TSourceKind::Object: return "object";
    case TSourceKind::Resource: return "resource";
    case TSourceKind::Assembler: return "assembler";
    default: return "source";
  }
}

std::string TUnitFacts::SummaryError() const {
  for (const TSourceFileFacts& F : SourceFiles)
    if (F.Date.State == TSourceDate::BadDate || F.Date.State == TSourceDate::BadTime) return F.Date.ErrorText();
  return {};
}

TUnitFacts ExtractUnitFacts(const TUnit& U) {
  TUnitFacts F;
  F.UnitName = U.UnitName;
  F.Version = U.Version;
  for (const TSourceFileRec* S = U.SourceFiles.get(); S; S = S->Next.get())
    F.SourceFiles.push_back({SourceKindOfTag(S->Kind()), std::string(NameView(S->NamePos())), S->FileTime,
                             IsNoStamp(U.Version, S->FileTime) ? TSourceDate() : DecodeSourceDate(U.Version, S->FileTime)});
  F.DebugInfo = !U.CodeLines.empty();
  F.LocalSymbols = !U.LocalVars.empty();
  F.UsedUnits.reserve(U.UsedUnits.size());
  for (const auto& E : U.UsedUnits) F.UsedUnits.push_back({std::string(NameView(E->NamePos)), E->UseKind});
  TUnitStats& St = F.Stats;
  for (const TDCURec* R = U.Decls; R; R = R->Next) ++St.TopLevelDecls;
  St.Declarations = U.DeclTable.size();
  St.Types = U.TypeTable.size();
  St.NameIndex = U.NameIndex.size();
  St.DataSize = U.DataSize;
  St.Fixups = U.FixupCount;
  St.CodeLines = U.CodeLineCount;
  St.LineRanges = U.LineRangeCount;
  St.LocalVars = U.LocalVarCount;
  return F;
}
