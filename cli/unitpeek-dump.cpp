// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display.
//
// Exit status: 0 when every file loaded and its summary was written, 1 when
// any did not, 2 on a usage error.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "DCU_Unit.h"
#include "ReportCommand.h"
#include "UnitFacts.h"
#include "UnitJson.h"
#include "UnitSummary.h"

using nlohmann::json;

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

// One loaded unit's facts, or the error that stopped its load.
struct TLoadResult {
  std::optional<TUnitFacts> Facts;
  QString Error;
};

TLoadResult LoadFacts(const std::string& Path) {
  TLoadResult R;
  try {
    TJXUnit Unit(Path);
    R.Facts = ExtractUnitFacts(Unit);
  } catch (const EDCUReadError& E) {
    // The whole text: a tag character in the message may be NUL.
    R.Error = DisplayText(E.Text());
  } catch (const std::exception& E) {
    R.Error = DisplayText(E.what());
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

// JSON mode: the unit's object. A unit whose summary would fail (an invalid
// stamp) is "ok" with that error.
json FileJson(const std::string& Path, bool& Good) {
  TLoadResult R = LoadFacts(Path);
  json J;
  J["path"] = Path;
  J["ok"] = R.Facts.has_value();
  QString Error = R.Error;
  if (R.Facts && Error.isEmpty()) Error = DisplayText(R.Facts->SummaryError());
  J["error"] = Error.isEmpty() ? json(nullptr) : json(Utf8(Error));
  if (R.Facts) J.update(UnitFactsJson(*R.Facts));
  Good = R.Facts && Error.isEmpty();
  return J;
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
    return RunReportCommand(Files, ReportFormat(Parser.isSet(GraphOpt), Parser.isSet(JsonOpt)), std::cout);
  }
  bool AllGood = true;
  if (Parser.isSet(JsonOpt)) {
    json Out = json::array();
    for (const std::string& Path : Files) {
      bool Good = false;
      Out.push_back(FileJson(Path, Good));
      AllGood = AllGood && Good;
    }
    std::cout << Out.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    for (const std::string& Path : Files) {
      if (Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      AllGood = PrintSummary(Path) && AllGood;
    }
  }
  std::cout.flush();
  return AllGood ? 0 : 1;
}
