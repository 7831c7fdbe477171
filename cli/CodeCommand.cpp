// unitpeek-dump --code (see CodeCommand.h): the units are read one at a time
// and their routines written one at a time, while the unit is loaded (the
// code lister reads it), so that memory stays bounded by one unit and one
// routine.
#include "CodeCommand.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "CodeHeadings.h"
#include "CodeJson.h"
#include "CodeListing.h"
#include "CodeSourceCheck.h"
#include "CodeText.h"
#include "DCU_Unit.h"
#include "DeclJson.h"
#include "DeclListing.h"
#include "JsonWriter.h"
#include "LoadErrorNote.h"
#include "LoadHint.h"
#include "UnitFactsJson.h"
#include "UnitLoad.h"
#include "UnitPath.h"
#include "UsedUnits.h"
#include "UnitSummary.h"

namespace {

void WriteOut(std::string_view Bytes) { std::fwrite(Bytes.data(), 1, Bytes.size(), stdout); }

TCodeOptions ListerOptions(const TCodeCommandOptions& O) {
  TCodeOptions L;
  L.SourceDir = O.SourceDir;
  return L;
}

std::function<bool(const TCodeRoutineHead&)> Wanted(const TCodeCommandOptions& O) {
  if (O.Routine.empty()) return {};
  return [&O](const TCodeRoutineHead& H) { return RoutinePatternMatches(H, O.Routine); };
}

// The declarations of the unit at Path, its used units at hand.
TDeclOutline OutlineOf(const TUnit& U, const std::string& Path, const TCodeCommandOptions& O) {
  const std::unique_ptr<TUsedTypes> Used = O.Library ? O.Library->For(UnitFolderOf(Path)) : nullptr;
  return BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .Used = Used.get()});
}

// Text: the listing when asked for, then the routines, a blank line
// between.
void WriteCodeText(const TUnit& U, const std::string& Path, const TCodeCommandOptions& O, size_t& Matched) {
  if (O.Decls) {
    TDeclTextSink Listing;
    WriteDeclListing(OutlineOf(U, Path, O), Listing);
    Listing.Out += '\n';
    WriteOut(Listing.Out);
  }
  const TCodeLister Lister(U, ListerOptions(O));
  if (Lister.Arch() != TCodeArch::X86_32)
    WriteOut("{the machine code of this format version is not known: its pieces are shown as data}\n\n");
  if (const TSourceCheck& C = Lister.SourceCheck(); C.Found && !C.Matches)
    WriteOut("{the source file " + C.Path + " is not the one this unit was compiled from: " + C.Why +
             " Its lines are shown by number only.}\n\n");
  TRoutineHeadings Headings(U);
  const TCodeTextOptions Text = Headings.TextOptions();
  std::string Out;
  bool First = true;
  Matched += Lister.ForEach(Wanted(O), [&](const TCodeRoutine& R) {
    Out.clear();
    if (!First) Out += '\n';
    First = false;
    WriteRoutineText(R, Out, Text);
    WriteOut(Out);
  });
}

// The listing of one file; of a damaged one, what was read before the error,
// the line that says where reading stopped, and the error block. True when
// the unit loaded.
bool PrintCodeText(const std::string& Path, const TCodeCommandOptions& O, size_t& Matched) {
  std::cout.flush();
  TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) { WriteCodeText(U, Path, O, Matched); });
  std::fflush(stdout);
  if (L.Facts) return true;
  TUnitLoad Again;
  if (std::unique_ptr<TUnit> U = TryLoadUnitPartial(Path, Again)) {
    WriteCodeText(*U, Path, O, Matched);
    std::fflush(stdout);
    std::cout << (Matched ? "\n" : "") << PartialStopLine(L);
  }
  std::cout << ErrorBlockText(L.Error);
  NoteLoadError(Path, L.Error);
  return false;
}

// The object of a file that did not load: of a damaged one, with "code" of
// the routines read before the error and "partial".
void WritePartialCodeJson(TJsonWriter& J, const std::string& Path, const TCodeCommandOptions& O,
                          const std::string& Error, size_t& Matched) {
  NoteLoadError(Path, Error);
  const std::string Hint = LoadErrorHint(Path, Error);
  const TUnitJsonMember HintMember{"hint", [&Hint](TJsonWriter& W) { W.String(Hint); }};
  TUnitLoad Again;
  std::unique_ptr<TUnit> U = TryLoadUnitPartial(Path, Again);
  if (!U) return WriteUnitFactsJson(J, Path, nullptr, Error, std::span(&HintMember, Hint.empty() ? 0 : 1));
  const TCodeLister Lister(*U, ListerOptions(O));
  std::optional<TDeclOutline> Outline;
  if (O.Decls) Outline = OutlineOf(*U, Path, O);
  std::vector<TUnitJsonMember> Extra;
  Extra.push_back({"code", [&](TJsonWriter& W) { Matched += WriteCodeJson(Lister, W, Wanted(O)); }});
  if (Outline) Extra.push_back({"decls", [&](TJsonWriter& W) { WriteDeclsJson(*Outline, W); }});
  if (!Hint.empty()) Extra.push_back(HintMember);
  Extra.push_back({"partial", [](TJsonWriter& W) { W.Bool(true); }});
  WriteUnitFactsJson(J, Path, nullptr, Error, Extra);
}

// JSON: one object per file, "code" (and "decls") among the facts, written
// while the unit is loaded. True when every file loaded without an error.
bool PrintCodeJson(const std::vector<std::string>& Files, const TCodeCommandOptions& O, size_t& Matched) {
  bool AllGood = true;
  std::cout.flush();
  TJsonWriter J(WriteOut);
  J.BeginArray();
  for (const std::string& Path : Files) {
    bool Written = false;
    std::string SummaryError;
    TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) {
      const TUnitFacts Facts = ExtractUnitFacts(U);
      SummaryError = Facts.SummaryError();
      std::optional<TDeclOutline> Outline;
      if (O.Decls) Outline = OutlineOf(U, Path, O);
      const TCodeLister Lister(U, ListerOptions(O));
      std::vector<TUnitJsonMember> Extra;
      Extra.push_back({"code", [&](TJsonWriter& W) { Matched += WriteCodeJson(Lister, W, Wanted(O)); }});
      if (Outline) Extra.push_back({"decls", [&](TJsonWriter& W) { WriteDeclsJson(*Outline, W); }});
      if (Lister.SourceCheck().Found)
        Extra.push_back({"source", [&](TJsonWriter& W) { WriteSourceCheckJson(Lister.SourceCheck(), W); }});
      // From here the object is on its way out: a failure after this point
      // cannot be written as the unit's error.
      Written = true;
      WriteUnitFactsJson(J, Path, &Facts, SummaryError, Extra);
    });
    if (!Written) WritePartialCodeJson(J, Path, O, L.Error, Matched);
    AllGood = AllGood && L.Facts && SummaryError.empty();
    J.Flush();
  }
  J.EndArray();
  J.Flush();
  WriteOut("\n");
  std::fflush(stdout);
  return AllGood;
}

}  // namespace

int RunCodeCommand(const std::vector<std::string>& Files, const TCodeCommandOptions& O, bool Json) {
  bool AllGood = true;
  size_t Matched = 0;
  if (Json) {
    AllGood = PrintCodeJson(Files, O, Matched);
  } else {
    for (const std::string& Path : Files) {
      if (Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = PrintCodeText(Path, O, Matched) && AllGood;
    }
  }
  std::cout.flush();
  if (!O.Routine.empty() && Matched == 0) {
    std::cerr << "unitpeek-dump: no routine matches " << O.Routine << "\n";
    return 1;
  }
  return AllGood ? 0 : 1;
}
