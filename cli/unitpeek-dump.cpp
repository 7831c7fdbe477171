// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display. With --decls: what each unit declares, as a Pascal-like listing
// instead of the summary, or in the JSON as "decls" beside the facts.
//
// Exit status: 0 when every file loaded and its summary (or listing) was
// written, 1 when any did not, 2 on a usage error.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <iostream>
#include <optional>

#include "DCU_Unit.h"
#include "DeclJson.h"
#include "DeclListing.h"
#include "ReportCommand.h"
#include "UnitFacts.h"
#include "UnitJson.h"
#include "UnitSummary.h"

namespace {

std::string Utf8(const QString& S) { return S.toStdString(); }

// The command line's bytes of each positional argument the parser found, in
// its order. Paths stay in the local 8-bit encoding they were given in, also
// where that is no valid text: each argument is matched to the next raw
// argument that decodes to it.
std::vector<std::string> RawPositionals(const QStringList& Found, int argc, char** argv) {
  std::vector<std::string> Raw;
  int Next = 1;
  for (const QString& A : Found) {
    int I = Next;
    while (I < argc && QString::fromLocal8Bit(argv[I]) != A) ++I;
    if (I < argc) {
      Raw.emplace_back(argv[I]);
      Next = I + 1;
    } else {
      Raw.push_back(A.toLocal8Bit().toStdString());
    }
  }
  return Raw;
}

// One loaded unit's facts (and, when asked for, its declarations outline),
// or the raw text of the error that stopped its load.
struct TLoadResult {
  std::optional<TUnitFacts> Facts;
  std::optional<TDeclOutline> Decls;
  std::string Error;
};

TLoadResult LoadFacts(const std::string& Path, bool WithDecls) {
  TLoadResult R;
  try {
    TJXUnit Unit(Path);
    R.Facts = ExtractUnitFacts(Unit);
    // The listing and the JSON mark no runs: the texts alone are kept.
    if (WithDecls) R.Decls = BuildDeclOutline(Unit, TDeclOutlineOptions{.KeepSpans = false});
  } catch (const EDCUReadError& E) {
    // The whole text: a tag character in the message may be NUL.
    R.Error = E.Text();
  } catch (const std::exception& E) {
    R.Error = E.what();
  }
  return R;
}

// Text mode: the lines a tab would show. True when the summary was written.
bool PrintSummary(const std::string& Path) {
  TJX_RecordingSink Sink;
  TSummaryOutcome R = LoadAndSummarize(Path, Sink);
  std::cout << Utf8(Sink.PlainText());
  return R.Loaded && R.Written;
}

// Text mode with --decls: the declarations listing, or the error block.
// True when the unit loaded.
bool PrintDecls(const std::string& Path) {
  TLoadResult R = LoadFacts(Path, true);
  if (!R.Decls) {
    TJX_RecordingSink Sink;
    WriteErrorBlock(Sink, DisplayText(R.Error));
    std::cout << Utf8(Sink.PlainText());
    return false;
  }
  TDeclTextSink Listing;
  WriteDeclListing(*R.Decls, Listing);
  std::cout << Listing.Out;
  return true;
}

// Loads files one after another, with their declarations, on a thread of
// its own while the caller writes what it took: for --json --decls the
// writing costs about as much as the loading. Only this thread reads
// units (the reader keeps its state in globals). It runs at most one
// result ahead of the caller.
class TAheadLoader {
 public:
  explicit TAheadLoader(const std::vector<std::string>& Files) : Files(Files), Worker([this] { Run(); }) {}
  ~TAheadLoader() {
    {
      std::lock_guard<std::mutex> L(M);
      Stop = true;
    }
    Cv.notify_all();
    Worker.join();
  }
  TAheadLoader(const TAheadLoader&) = delete;
  TAheadLoader& operator=(const TAheadLoader&) = delete;

  // The result of the next file, in the order of Files.
  TLoadResult Take() {
    std::unique_lock<std::mutex> L(M);
    Cv.wait(L, [&] { return Ready.has_value(); });
    TLoadResult R = std::move(*Ready);
    Ready.reset();
    L.unlock();
    Cv.notify_all();
    return R;
  }

 private:
  void Run() {
    for (const std::string& Path : Files) {
      TLoadResult R = LoadFacts(Path, true);
      std::unique_lock<std::mutex> L(M);
      Cv.wait(L, [&] { return Stop || !Ready.has_value(); });
      if (Stop) return;
      Ready = std::move(R);
      L.unlock();
      Cv.notify_all();
    }
  }

  const std::vector<std::string>& Files;
  std::mutex M;
  std::condition_variable Cv;
  std::optional<TLoadResult> Ready;
  bool Stop = false;
  std::thread Worker;  // last: starts once the rest is made
};

// Writes Out to the standard output and empties it.
void WriteOut(std::string& Out) {
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  Out.clear();
}

// JSON mode: one object per file, with "decls" when asked for. A unit whose
// summary would fail (an invalid stamp) is "ok" with that error. Written a
// file at a time, the declarations of a large unit a megabyte at a time.
// True when every file loaded without an error.
bool PrintJson(const std::vector<std::string>& Files, bool WithDecls) {
  bool AllGood = true;
  std::cout.flush();
  std::string Out;
  TFileJsonArray Array(Out);
  std::optional<TAheadLoader> Loader;
  if (WithDecls) Loader.emplace(Files);
  for (const std::string& Path : Files) {
    TLoadResult R = Loader ? Loader->Take() : LoadFacts(Path, false);
    const std::string Error = DisplayUtf8(R.Facts ? R.Facts->SummaryError() : R.Error);
    Array.Add(Path, R.Facts ? &*R.Facts : nullptr, Error, R.Decls ? &*R.Decls : nullptr, WriteOut);
    AllGood = AllGood && R.Facts && Error.empty();
    WriteOut(Out);
  }
  Array.Finish();
  Out += '\n';
  WriteOut(Out);
  std::fflush(stdout);
  return AllGood;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("unitpeek-dump"));
  QCoreApplication::setApplicationVersion(QStringLiteral(UNITPEEK_VERSION));

  QCommandLineParser Parser;
  Parser.setApplicationDescription(QStringLiteral("Prints the summary of unit files (.dcu)."));
  Parser.addHelpOption();
  Parser.addVersionOption();
  QCommandLineOption JsonOpt(QStringLiteral("json"), QStringLiteral("Write one JSON array instead of text."));
  Parser.addOption(JsonOpt);
  QCommandLineOption DeclsOpt(QStringLiteral("decls"),
                              QStringLiteral("Print what each unit declares instead of the summary "
                                             "(with --json: add \"decls\" to each unit)."));
  Parser.addOption(DeclsOpt);
  QCommandLineOption ReportOpt(QStringLiteral("report"),
                               QStringLiteral("Report on folders of units (PATHs: unit files or folders)."));
  QCommandLineOption GraphOpt(QStringLiteral("graph"),
                              QStringLiteral("Print the uses graph of folders of units as Graphviz DOT."));
  Parser.addOption(ReportOpt);
  Parser.addOption(GraphOpt);
  Parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Unit files to read."),
                               QStringLiteral("FILE..."));
  if (!Parser.parse(QCoreApplication::arguments())) {
    std::cerr << "unitpeek-dump: " << Utf8(Parser.errorText()) << "\n" << Utf8(Parser.helpText());
    return 2;
  }
  if (Parser.isSet(QStringLiteral("help"))) {
    std::cout << Utf8(Parser.helpText());
    return 0;
  }
  if (Parser.isSet(QStringLiteral("version"))) {
    std::cout << "unitpeek-dump " << UNITPEEK_VERSION << "\n";
    return 0;
  }
  const std::vector<std::string> Files = RawPositionals(Parser.positionalArguments(), argc, argv);
  if (Files.empty()) {
    std::cerr << "unitpeek-dump: no FILE given\n" << Utf8(Parser.helpText());
    return 2;
  }
  if (Parser.isSet(ReportOpt) || Parser.isSet(GraphOpt)) {
    if (Parser.isSet(GraphOpt) && Parser.isSet(JsonOpt)) {
      std::cerr << "unitpeek-dump: --graph and --json exclude each other\n" << Utf8(Parser.helpText());
      return 2;
    }
    if (Parser.isSet(DeclsOpt)) {
      std::cerr << "unitpeek-dump: --decls goes with unit files, not with --report or --graph\n"
                << Utf8(Parser.helpText());
      return 2;
    }
    return RunReportCommand(Files, ReportFormat(Parser.isSet(GraphOpt), Parser.isSet(JsonOpt)), std::cout);
  }
  bool AllGood = true;
  const bool WithDecls = Parser.isSet(DeclsOpt);
  if (Parser.isSet(JsonOpt)) {
    AllGood = PrintJson(Files, WithDecls);
  } else {
    for (const std::string& Path : Files) {
      if (Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = (WithDecls ? PrintDecls(Path) : PrintSummary(Path)) && AllGood;
    }
  }
  std::cout.flush();
  return AllGood ? 0 : 1;
}
