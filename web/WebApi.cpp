// The page's entry points into the reader and its libraries: what the worker
// (web/page/worker.js) calls on the files it placed in the module's file
// system. Each writes its answer into one buffer, read by up_result and
// up_result_size until the next call; texts are UTF-8, listings JSON.
//
//   up_summary(path)      the summary text, as unitpeek-dump prints it
//   up_json(path)         unitpeek-dump --json --decls for the one file (of a
//                         damaged unit too, with what was read of it)
//   up_decls(path)        the declarations listing in runs (see DeclRuns)
//   up_pas(path)          the unit skeleton (unitpeek-dump --pas)
//   up_code_open(path)    keeps the unit for its Code view; the routines
//   up_code_routine(i)    routine i of the kept unit in runs (see CodeRuns)
//   up_code_text(path)    unitpeek-dump --code for the one file
//   up_report(path, json) unitpeek-dump --report [--json] for a folder
//   up_report_both(path)  both of them from one reading of the folder
//   up_scan_begin(path)   the same in steps: the folder walked, its number
//   up_scan_step(n)         of units; up to n more read, the number read;
//   up_scan_end()           both reports as up_report_both gives them
//   up_find(pattern, path) unitpeek-dump --find
//
// A unit that does not load answers with the error block; up_fail_offset
// and up_def_offset then give the places the reader's message names.
#include <emscripten/emscripten.h>

#include <memory>
#include <optional>
#include <sstream>

#include "CodeListing.h"
#include "DCU_Unit.h"
#include "CodeText.h"
#include "DeclListing.h"
#include "DeclSkeleton.h"
#include "FindCommand.h"
#include "FolderReportWriters.h"
#include "JsonWriter.h"
#include "ReportCommand.h"
#include "UnitFolders.h"
#include "UnitJson.h"
#include "UnitLoad.h"
#include "UnitSummary.h"
#include "WebCodeRuns.h"
#include "WebRunLines.h"

namespace {

std::string Result;
int64_t FailOffset = -1, DefOffset = -1;

// Each call is a run of its own, as unitpeek-dump with that one file or
// folder: the reader's messages name the unit only for the units after the
// first of a run.
void NewRun() {
  UnitConstructionCount = 0;
  FailOffset = DefOffset = -1;
}

void TakeFailure(const TUnitLoad& L) {
  FailOffset = L.FailOffset;
  DefOffset = L.DefOffset;
}

// The unit whose Code view is open, with its lister.
struct TKeptUnit {
  std::unique_ptr<TUnit> Unit;
  std::unique_ptr<TCodeLister> Lister;
  std::unique_ptr<TRoutineHeadings> Headings;
};
std::optional<TKeptUnit> Kept;

// A declarations listing as JSON: {"lines": [[KIND, ANCHOR, "TEXT", ...]...]}.
class TDeclRuns : public TDeclSink {
 public:
  explicit TDeclRuns(std::string& Out) : L(Out) { L.BeginLine(); }
  void Run(TDeclRunKind Kind, std::string_view Text, int64_t Anchor) override {
    L.Run(static_cast<int>(Kind), Anchor, Text);
  }
  void EndLine() override {
    L.EndLine();
    L.BeginLine();
  }
  void Finish() {
    L.EndLine();
    L.Finish();
  }

 private:
  TJsonRunLines L;
};

// The folder scan under way (up_scan_begin .. up_scan_end).
std::unique_ptr<TFolderScanner> Scanning;

// Both reports of a folder into Result, parted by a NUL; 0 when it is clean.
int AnswerReports(const TFolderReport& Report) {
  std::ostringstream Out;
  WriteReportText(Report, Out);
  Out << '\0';
  WriteReportJson(Report, Out);
  Result = Out.str();
  return Report.Clean() ? 0 : 1;
}

int Answer(const TUnitLoad& L) {
  TakeFailure(L);
  if (L.Facts) return 0;
  Result = ErrorBlockText(L.Error);
  return 1;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* up_result() { return Result.data(); }
EMSCRIPTEN_KEEPALIVE size_t up_result_size() { return Result.size(); }
EMSCRIPTEN_KEEPALIVE double up_fail_offset() { return static_cast<double>(FailOffset); }
EMSCRIPTEN_KEEPALIVE double up_def_offset() { return static_cast<double>(DefOffset); }

// 0: the whole summary written; 1: the unit did not load, or a stamp is bad.
EMSCRIPTEN_KEEPALIVE int up_summary(const char* Path) {
  NewRun();
  Result.clear();
  const TUnitLoad L = TryLoadUnit(Path);
  if (Answer(L)) return 1;
  return AppendSummaryText(*L.Facts, Result) ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE int up_json(const char* Path) {
  NewRun();
  Result.clear();
  const TLoadResult R = LoadFacts(Path, true);
  TakeFailure(R.Unit);
  bool Good = false;
  {
    TJsonWriter J(Result);
    J.BeginArray();
    Good = WriteUnitJson(J, Path, R);
    J.EndArray();
  }
  Result += '\n';
  return Good ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE int up_decls(const char* Path) {
  NewRun();
  Result.clear();
  std::optional<TDeclOutline> Decls;
  const TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) { Decls = BuildDeclOutline(U); });
  if (Answer(L)) return 1;
  TDeclRuns Runs(Result);
  WriteDeclListing(*Decls, Runs);
  Runs.Finish();
  return 0;
}

EMSCRIPTEN_KEEPALIVE int up_pas(const char* Path) {
  NewRun();
  Result.clear();
  std::optional<TDeclOutline> Decls;
  const TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) {
    Decls = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
  });
  if (Answer(L)) return 1;
  TDeclTextSink Pas;
  WriteDeclSkeleton(*Decls, Pas);
  Result = std::move(Pas.Out);
  return 0;
}

EMSCRIPTEN_KEEPALIVE int up_code_open(const char* Path) {
  NewRun();
  Result.clear();
  Kept.reset();
  TUnitLoad Failure;
  std::unique_ptr<TUnit> U = TryLoadUnitKept(Path, Failure);
  if (!U) {
    TakeFailure(Failure);
    Result = ErrorBlockText(Failure.Error);
    return 1;
  }
  Kept.emplace();
  Kept->Lister = std::make_unique<TCodeLister>(*U);
  Kept->Headings = std::make_unique<TRoutineHeadings>(*U);
  Kept->Unit = std::move(U);
  WriteRoutineHeads(*Kept->Lister, Result);
  return 0;
}

EMSCRIPTEN_KEEPALIVE int up_code_routine(int Index) {
  NewRun();
  Result.clear();
  if (!Kept || Index < 0 || static_cast<size_t>(Index) >= Kept->Lister->RoutineCount()) return 1;
  WriteRoutineRuns(Kept->Lister->Routine(static_cast<size_t>(Index)), *Kept->Headings, Result);
  return 0;
}

EMSCRIPTEN_KEEPALIVE void up_code_close() { Kept.reset(); }

EMSCRIPTEN_KEEPALIVE int up_code_text(const char* Path) {
  NewRun();
  Result.clear();
  const TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) { WriteCodeText(U, Result); });
  if (L.Facts) return 0;
  Result += ErrorBlockText(L.Error);
  TakeFailure(L);
  return 1;
}

EMSCRIPTEN_KEEPALIVE int up_report(const char* Path, int Json) {
  NewRun();
  std::ostringstream Out;
  const int Status = RunReportCommand({Path}, Json ? TReportFormat::Json : TReportFormat::Text, Out);
  Result = Out.str();
  return Status;
}

// The folder's report as text and as JSON from one scan, parted by a NUL.
EMSCRIPTEN_KEEPALIVE int up_report_both(const char* Path) {
  NewRun();
  return AnswerReports(ScanFolders({Path}));
}

// The scan of up_report_both in steps, each a call of its own: the page
// shows its progress, and the engine, which compiles a function better
// only for its next call, runs the later units in better code.
EMSCRIPTEN_KEEPALIVE int up_scan_begin(const char* Path) {
  NewRun();
  Scanning = std::make_unique<TFolderScanner>(std::vector<std::string>{Path});
  return static_cast<int>(Scanning->Total());
}

EMSCRIPTEN_KEEPALIVE int up_scan_step(int Count) {
  if (!Scanning) return -1;
  for (int K = 0; K < Count && Scanning->ReadNext(); ++K) {
  }
  return static_cast<int>(Scanning->Done());
}

EMSCRIPTEN_KEEPALIVE int up_scan_end() {
  if (!Scanning) return -1;
  TFolderReport Report = Scanning->Finish();
  Scanning.reset();
  return AnswerReports(Report);
}

EMSCRIPTEN_KEEPALIVE int up_find(const char* Pattern, const char* Path, int Json) {
  NewRun();
  std::ostringstream Out, Err;
  const int Status = RunFindCommand(Pattern, {Path}, Json != 0, Out, Err);
  Result = Out.str();
  return Status;
}

}  // extern "C"
