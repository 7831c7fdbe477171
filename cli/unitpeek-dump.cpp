// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display. With --decls: what each unit declares, as a Pascal-like listing
// instead of the summary, or in the JSON as "decls" beside the facts. With
// --code: each unit's routines disassembled (CodeCommand.h); --report,
// --graph and --find: folders of units (ReportCommand.h, FindCommand.h).
//
// Exit status: 0 when every file loaded and its summary (or listing) was
// written, 1 when any did not, 2 on a usage error (--find: FindCommand.h).
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "CodeCommand.h"
#include "DCU_Text.h"
#include "DeclJson.h"
#include "DeclListing.h"
#include "DeclSkeleton.h"
#include "DumpCommandLine.h"
#include "FindCommand.h"
#include "JsonWriter.h"
#include "ParallelScan.h"
#include "Platform.h"
#include "ReportCommand.h"
#include "RunHeap.h"
#include "UnitDiffWriters.h"
#include "UnitFactsJson.h"
#include "UnitJson.h"
#include "DCU_Unit.h"
#include "LoadErrorNote.h"
#include "LoadHint.h"
#include "UnitLoad.h"
#include "UnitPath.h"
#include "UsedUnits.h"
#include "UnitSummary.h"

namespace {

// The unit at Path as LoadFacts takes it, the units it uses at hand in
// Library (beside it and on the unit path).
TLoadResult LoadFacts(const std::string& Path, bool WithDecls, TUsedUnits* Library) {
  const std::unique_ptr<TUsedTypes> Used = WithDecls && Library ? Library->For(UnitFolderOf(Path)) : nullptr;
  return LoadFacts(Path, WithDecls, Used.get());
}

// Text mode: the lines a tab would show. True when the summary was written.
bool PrintSummary(const std::string& Path) {
  const TUnitLoad L = TryLoadUnit(Path);
  std::string Out;
  const bool Written = L.Facts ? AppendSummaryText(*L.Facts, Out) : (Out = ErrorBlockText(L.Error), false);
  std::cout << Out;
  if (!L.Facts) NoteLoadError(Path, L.Error);
  return Written;
}

// Text mode with --decls: the declarations listing, or the error block; of
// a damaged unit, the declarations read before the error, a line that says
// where reading stopped, and the error block. True when the unit loaded.
bool PrintDecls(const std::string& Path, TUsedUnits& Library) {
  TLoadResult R = LoadFacts(Path, true, &Library);
  if (R.Decls) {
    TDeclTextSink Listing;
    WriteDeclListing(*R.Decls, Listing);
    std::cout << Listing.Out;
  }
  if (R.Partial) std::cout << PartialStopLine(R.Unit);
  if (!R.Decls || R.Partial) {
    std::cout << ErrorBlockText(R.Unit.Error);
    NoteLoadError(Path, R.Unit.Error);
    return false;
  }
  return true;
}

// --diff: two builds of a unit compared; the status as diff(1) gives it:
// 0 the same, 1 different, 2 a unit did not load.
int RunDiffCommand(const std::string& A, const std::string& B, bool Json, TUsedUnits& Library) {
  const TUnitDiff D = CompareUnitFiles(A, B, &Library);
  if (Json) WriteUnitDiffJson(D, std::cout);
  else WriteUnitDiffText(D, std::cout);
  std::cout.flush();
  for (const auto& [Path, Error] : {std::pair{&A, &D.ErrorA}, {&B, &D.ErrorB}})
    if (!Error->empty()) std::cerr << "unitpeek-dump: " << *Path << ": " << DisplayUtf8(*Error) << "\n";
  return !D.Loaded() ? 2 : D.Same() ? 0 : 1;
}

// --pas: each unit's skeleton, to standard output or as DIR/UnitName.pas
// (never over a file that exists). True when every unit loaded.
bool PrintSkeletons(const std::vector<std::string>& Files, const std::optional<std::string>& Dir,
                    TUsedUnits& Library) {
  bool AllGood = true;
  for (const std::string& Path : Files) {
    TLoadResult R = LoadFacts(Path, true, &Library);
    if (!R.Decls) {
      std::cerr << Path << ": " << R.Unit.Error << "\n";
      AllGood = false;
      continue;
    }
    TDeclTextSink Pas;
    WriteDeclSkeleton(*R.Decls, Pas);
    if (!Dir) {
      std::cout << Pas.Out;
      continue;
    }
    const std::filesystem::path Target = std::filesystem::path(*Dir) / (R.Decls->UnitName + ".pas");
    std::error_code Ec;
    if (std::filesystem::exists(Target, Ec)) {
      std::cerr << Target.string() << ": exists already; not written\n";
      continue;
    }
    std::ofstream F(Target, std::ios::binary);
    F << Pas.Out;
    F.close();
    if (!F) {
      std::cerr << Target.string() << ": cannot be written\n";
      AllGood = false;
    }
  }
  return AllGood;
}

void WriteOut(std::string_view Bytes) { std::fwrite(Bytes.data(), 1, Bytes.size(), stdout); }

// JSON mode: one object per file, with "decls" when asked for. A unit whose
// summary would fail (an invalid stamp) is "ok" with that error. Written a
// file at a time (a large unit's declarations as the writer's buffer fills).
// True when every file loaded without an error.
//
// With the declarations, whose outline and writing cost three times the
// loading, the files are loaded, outlined and their declarations written
// ahead, a few at most, on every core where units may be read on several
// threads at once (the writing thread among them), elsewhere on one thread
// beside the writer, which then puts the units out in order; each result
// goes back to the thread that made it, to be freed there.
bool PrintJson(const std::vector<std::string>& Files, bool WithDecls, TUsedUnits& Library, unsigned Jobs) {
  bool AllGood = true;
  std::cout.flush();
  std::optional<TOrderedReader<TLoadResult>> Ahead;
  if (WithDecls) {
    const bool Several = ReadingJobs(Jobs) > 1;
    const auto LoadAndWrite = [&](size_t I) {
      TLoadResult R = LoadFacts(Files[I], true, &Library);
      WriteDeclsAhead(R);
      return R;
    };
    Ahead.emplace(Files.size(), Several ? Jobs : 1, LoadAndWrite, 32, Several, &GiveThreadHeapLargePages);
  }
  TJsonWriter J(WriteOut);
  J.BeginArray();
  for (size_t I = 0; I < Files.size(); ++I) {
    const std::string& Path = Files[I];
    TLoadResult R = Ahead ? Ahead->Take(I) : LoadFacts(Path, false, nullptr);
    if (!R.Unit.Facts) NoteLoadError(Path, R.Unit.Error);
    AllGood = WriteUnitJson(J, Path, R) && AllGood;
    J.Flush();
    if (Ahead) Ahead->GiveBack(I, std::move(R));
  }
  J.EndArray();
  J.Flush();
  WriteOut("\n");
  std::fflush(stdout);
  return AllGood;
}

// Runs what the options ask for; returns the exit status.
int Run(const TDumpOptions& O) {
  const unsigned Jobs = O.Jobs ? O.Jobs : DefaultJobs();
  TUsedUnits Library(O.UnitPath);
  if (O.Find || O.Report || O.Graph || (O.Json && O.Decls)) AllowHeapsForThreads(ReadingJobs(Jobs));
  if (O.Find) return RunFindCommand(*O.Find, O.Files, O.Json, std::cout, std::cerr, Jobs, O.UnitPath);
  if (O.Report || O.Graph)
    return RunReportCommand(O.Files, ReportFormat(O.Graph, O.Json), std::cout, {.HideRuntime = O.HideRuntime}, Jobs,
                            O.UnitPath);
  if (O.Code.Code) {
    TCodeCommandOptions Code = O.Code;
    Code.Library = &Library;
    return RunCodeCommand(O.Files, Code, O.Json);
  }
  if (O.Pas) return PrintSkeletons(O.Files, O.PasDir, Library) ? 0 : 1;
  if (O.Diff) return RunDiffCommand(O.Files[0], O.Files[1], O.Json, Library);
  bool AllGood = true;
  if (O.Json) {
    AllGood = PrintJson(O.Files, O.Decls, Library, Jobs);
  } else {
    for (const std::string& Path : O.Files) {
      if (O.Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = (O.Decls ? PrintDecls(Path, Library) : PrintSummary(Path)) && AllGood;
    }
  }
  std::cout.flush();
  return AllGood ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  SetUpRunHeap();
  SetUpUserLocale();
  SetUpStandardOutput();
  std::vector<std::string> Args = ProgramArguments(argc, argv);
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  const TDumpCommandLine C = ParseDumpCommandLine(static_cast<int>(Args.size()), Argv.data());
  if (!C.Options) {
    std::cout << C.Out;
    std::cerr << C.Err;
    return C.Status;
  }
  return Run(*C.Options);
}
