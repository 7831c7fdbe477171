// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display. With --decls: what each unit declares, as a Pascal-like listing
// instead of the summary, or in the JSON as "decls" beside the facts. With
// --report, --graph and --find: folders of units (ReportCommand.h,
// FindCommand.h).
//
// Exit status: 0 when every file loaded and its summary (or listing) was
// written, 1 when any did not, 2 on a usage error (--find: FindCommand.h).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

#include "DeclJson.h"
#include "DeclListing.h"
#include "FindCommand.h"
#include "JsonWriter.h"
#include "ReportCommand.h"
#include "UnitFactsJson.h"
#include "UnitLoad.h"
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
  TUnitLoad Unit;
  std::optional<TDeclOutline> Decls;
};

TLoadResult LoadFacts(const std::string& Path, bool WithDecls) {
  TLoadResult R;
  std::function<void(const TUnit&)> TakeDecls;
  // The listing and the JSON mark no runs: the texts alone are kept.
  if (WithDecls)
    TakeDecls = [&R](const TUnit& U) { R.Decls = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false}); };
  R.Unit = TryLoadUnit(Path, TakeDecls);
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
    WriteErrorBlock(Sink, DisplayText(R.Unit.Error));
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

void WriteOut(std::string_view Bytes) { std::fwrite(Bytes.data(), 1, Bytes.size(), stdout); }

// JSON mode: one object per file, with "decls" when asked for. A unit whose
// summary would fail (an invalid stamp) is "ok" with that error. Written a
// file at a time (a large unit's declarations as the writer's buffer fills).
// True when every file loaded without an error.
bool PrintJson(const std::vector<std::string>& Files, bool WithDecls) {
  bool AllGood = true;
  std::cout.flush();
  std::optional<TAheadLoader> Loader;
  if (WithDecls) Loader.emplace(Files);
  TJsonWriter J(WriteOut);
  J.BeginArray();
  for (const std::string& Path : Files) {
    const TLoadResult R = Loader ? Loader->Take() : LoadFacts(Path, false);
    const TUnitFacts* Facts = R.Unit.Facts ? &*R.Unit.Facts : nullptr;
    const std::string Error = Facts ? Facts->SummaryError() : R.Unit.Error;
    std::function<void(TJsonWriter&)> Decls;
    if (R.Decls) Decls = [&R](TJsonWriter& W) { WriteDeclsJson(*R.Decls, W); };
    WriteUnitFactsJson(J, Path, Facts, Error, Decls);
    AllGood = AllGood && Facts && Error.empty();
    J.Flush();
  }
  J.EndArray();
  J.Flush();
  WriteOut("\n");
  std::fflush(stdout);
  return AllGood;
}

// What the command line asks for.
struct TDumpOptions {
  bool Json = false, Decls = false, Report = false, Graph = false;
  bool HideRuntime = false;
  std::optional<std::string> Find;  // --find's pattern
  std::vector<std::string> Files;  // the FILE arguments' bytes as given
};

void AddOptions(QCommandLineParser& Parser) {
  Parser.setApplicationDescription(QStringLiteral("Prints the summary of unit files (.dcu)."));
  Parser.addHelpOption();
  Parser.addVersionOption();
  Parser.addOption({QStringLiteral("json"), QStringLiteral("Write one JSON array instead of text.")});
  Parser.addOption({QStringLiteral("decls"), QStringLiteral("Print what each unit declares instead of the summary "
                                                            "(with --json: add \"decls\" to each unit).")});
  Parser.addOption({QStringLiteral("report"),
                    QStringLiteral("Report on folders of units (PATHs: unit files or folders).")});
  Parser.addOption({QStringLiteral("graph"),
                    QStringLiteral("Print the uses graph of folders of units as Graphviz DOT.")});
  Parser.addOption({QStringLiteral("hide-runtime"),
                    QStringLiteral("With --graph: leave out the units outside the folders that more than half of "
                                   "their units use.")});
  Parser.addOption({QStringLiteral("find"),
                    QStringLiteral("Find declarations and units by name in folders of units (PATHs as for --report; "
                                   "* and ? wildcards, Class.Member for members)."),
                    QStringLiteral("PATTERN")});
  Parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Unit files to read."),
                               QStringLiteral("FILE..."));
}

int UsageError(const QCommandLineParser& Parser, const std::string& Text) {
  std::cerr << "unitpeek-dump: " << Text << "\n" << Utf8(Parser.helpText());
  return 2;
}

// The options of the command line, or the exit status when there is nothing
// to run: 0 after --help or --version, 2 on a usage error.
std::variant<TDumpOptions, int> ParseOptions(int argc, char** argv) {
  QCommandLineParser Parser;
  AddOptions(Parser);
  if (!Parser.parse(QCoreApplication::arguments())) return UsageError(Parser, Utf8(Parser.errorText()));
  if (Parser.isSet(QStringLiteral("help"))) {
    std::cout << Utf8(Parser.helpText());
    return 0;
  }
  if (Parser.isSet(QStringLiteral("version"))) {
    std::cout << "unitpeek-dump " << UNITPEEK_VERSION << "\n";
    return 0;
  }
  TDumpOptions O;
  O.Json = Parser.isSet(QStringLiteral("json"));
  O.Decls = Parser.isSet(QStringLiteral("decls"));
  O.Report = Parser.isSet(QStringLiteral("report"));
  O.Graph = Parser.isSet(QStringLiteral("graph"));
  O.HideRuntime = Parser.isSet(QStringLiteral("hide-runtime"));
  if (Parser.isSet(QStringLiteral("find"))) O.Find = Utf8(Parser.value(QStringLiteral("find")));
  O.Files = RawPositionals(Parser.positionalArguments(), argc, argv);
  if (O.Files.empty()) return UsageError(Parser, "no FILE given");
  if (O.Graph && O.Json) return UsageError(Parser, "--graph and --json exclude each other");
  if ((O.Report || O.Graph) && O.Decls)
    return UsageError(Parser, "--decls goes with unit files, not with --report or --graph");
  if (O.HideRuntime && !O.Graph) return UsageError(Parser, "--hide-runtime goes with --graph");
  if (O.Find && (O.Report || O.Graph || O.Decls))
    return UsageError(Parser, "--find goes alone or with --json, not with --report, --graph or --decls");
  if (O.Find && O.Find->empty()) return UsageError(Parser, "--find needs a PATTERN");
  return O;
}

// Runs what the options ask for; returns the exit status.
int Run(const TDumpOptions& O) {
  if (O.Find) return RunFindCommand(*O.Find, O.Files, O.Json, std::cout, std::cerr);
  if (O.Report || O.Graph)
    return RunReportCommand(O.Files, ReportFormat(O.Graph, O.Json), std::cout, {.HideRuntime = O.HideRuntime});
  bool AllGood = true;
  if (O.Json) {
    AllGood = PrintJson(O.Files, O.Decls);
  } else {
    for (const std::string& Path : O.Files) {
      if (O.Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = (O.Decls ? PrintDecls(Path) : PrintSummary(Path)) && AllGood;
    }
  }
  std::cout.flush();
  return AllGood ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("unitpeek-dump"));
  QCoreApplication::setApplicationVersion(QStringLiteral(UNITPEEK_VERSION));
  const std::variant<TDumpOptions, int> Parsed = ParseOptions(argc, argv);
  if (const int* Status = std::get_if<int>(&Parsed)) return *Status;
  return Run(std::get<TDumpOptions>(Parsed));
}
