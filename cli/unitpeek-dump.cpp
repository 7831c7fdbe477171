// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display.
//
// Exit status: 0 when every file loaded and its summary was written, 1 when
// any did not, 2 on a usage error.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>
#include <optional>

#include "DCU_Unit.h"
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

// Text mode: the lines a tab would show. True when the summary was written.
bool PrintSummary(const std::string& Path) {
  TJX_RecordingSink Sink;
  TSummaryOutcome R = LoadAndSummarize(Path, Sink);
  std::cout << Utf8(Sink.PlainText());
  return R.Loaded && R.Written;
}

// JSON mode: one object per file. A unit whose summary would fail (an
// invalid stamp) is "ok" with that error. True when every file loaded
// without an error.
bool PrintJson(const std::vector<std::string>& Files) {
  bool AllGood = true;
  std::string Out;
  TFileJsonArray Array(Out);
  for (const std::string& Path : Files) {
    std::optional<TUnitFacts> Facts;
    std::string Error;
    try {
      TJXUnit Unit(Path);
      Facts = ExtractUnitFacts(Unit);
      Error = DisplayUtf8(Facts->SummaryError());
    } catch (const EDCUReadError& E) {
      // The whole text: a tag character in the message may be NUL.
      Error = DisplayUtf8(E.Text());
    } catch (const std::exception& E) {
      Error = DisplayUtf8(E.what());
    }
    Array.Add(Path, Facts ? &*Facts : nullptr, Error);
    AllGood = AllGood && Facts && Error.empty();
  }
  Array.Finish();
  Out += '\n';
  std::cout << Out;
  return AllGood;
}

// The files of a command line that holds nothing but files (none of them
// empty or beginning with '-') and --json, which is read as it stands; null for any
// other, which goes through the full parser.
std::optional<std::vector<std::string>> PlainJsonFiles(int argc, char** argv) {
  std::vector<std::string> Files;
  bool Json = false;
  for (int I = 1; I < argc; ++I) {
    const std::string_view A = argv[I];
    if (A == "--json") Json = true;
    else if (!A.empty() && A[0] != '-') Files.emplace_back(A);
    else return std::nullopt;
  }
  if (!Json || Files.empty()) return std::nullopt;
  return Files;
}

}  // namespace

int main(int argc, char** argv) {
  // JSON output needs neither the application object nor the parser: the
  // usual command line starts straight away.
  if (const auto Files = PlainJsonFiles(argc, argv)) {
    const bool AllGood = PrintJson(*Files);
    std::cout.flush();
    return AllGood ? 0 : 1;
  }
  QCoreApplication App(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("unitpeek-dump"));
  QCoreApplication::setApplicationVersion(QStringLiteral(UNITPEEK_VERSION));

  QCommandLineParser Parser;
  Parser.setApplicationDescription(QStringLiteral("Prints the summary of unit files (.dcu)."));
  Parser.addHelpOption();
  Parser.addVersionOption();
  QCommandLineOption JsonOpt(QStringLiteral("json"), QStringLiteral("Write one JSON array instead of text."));
  Parser.addOption(JsonOpt);
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
  bool AllGood = true;
  if (Parser.isSet(JsonOpt)) {
    AllGood = PrintJson(Files);
  } else {
    for (const std::string& Path : Files) {
      if (Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = PrintSummary(Path) && AllGood;
    }
  }
  std::cout.flush();
  return AllGood ? 0 : 1;
}
