// The facts of a loaded unit (see UnitFacts.h): source-file stamps taken
// apart, source kinds by tag, and ExtractUnitFacts.
#include "UnitFacts.h"

#include <chrono>

#include "DCU_Unit.h"
#include "DCURecs.h"

const char* TFileStamp::ErrorText() const {
  switch (State) {
    case BadDate: return "Invalid argument to date encode";
    case BadTime: return "Invalid argument to time encode";
    default: return "";
  }
}

bool IsNoStamp(int Version, uint32_t Stamp) {
  // The compilers write 0 for an entry whose time they did not record.
  return Stamp == 0xFFFFFFFFu || (!IsFurtherFormat(Version) && Stamp == 0);
}

TFileStamp DecodeFileStamp(int Version, uint32_t Stamp) {
  using namespace std::chrono;
  TFileStamp S;
  if (IsFurtherFormat(Version)) {
    const sys_seconds T{seconds{Stamp}};
    const sys_days Day = floor<days>(T);
    const year_month_day D{Day};
    const hh_mm_ss<seconds> Time{T - Day};
    S = {TFileStamp::Valid, int(D.year()), int(unsigned(D.month())), int(unsigned(D.day())),
         int(Time.hours().count()), int(Time.minutes().count()), int(Time.seconds().count())};
    return S;
  }
  S.Second = int(Stamp & 0x1F) * 2;
  S.Minute = int((Stamp >> 5) & 0x3F);
  S.Hour = int((Stamp >> 11) & 0x1F);
  S.Day = int((Stamp >> 16) & 0x1F);
  S.Month = int((Stamp >> 21) & 0x0F);
  S.Year = int(Stamp >> 25) + 1980;
  if (!year_month_day{year{S.Year}, month{unsigned(S.Month)}, day{unsigned(S.Day)}}.ok())
    S.State = TFileStamp::BadDate;
  else if (S.Hour > 23 || S.Minute > 59 || S.Second > 59)
    S.State = TFileStamp::BadTime;
  else
    S.State = TFileStamp::Valid;
  return S;
}

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
    if (F.Stamp.State == TFileStamp::BadDate || F.Stamp.State == TFileStamp::BadTime) return F.Stamp.ErrorText();
  return {};
}

TUnitFacts ExtractUnitFacts(const TUnit& U) {
  TUnitFacts F;
  F.UnitName = U.UnitName;
  F.Version = U.Version;
  for (const TSourceFileRec* S = U.SourceFiles.get(); S; S = S->Next.get())
    F.SourceFiles.push_back({SourceKindOfTag(S->Kind()), std::string(NameView(S->NamePos())), S->FileTime,
                             IsNoStamp(U.Version, S->FileTime) ? TFileStamp() : DecodeFileStamp(U.Version, S->FileTime)});
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
