// unitpeek-dump: prints the summary of unit files as plain text (the lines
// the viewer's tab would show) or as JSON, for scripts and machines without
// a display.
//
// Exit status: 0 when every file loaded and its summary was written, 1 when
// any did not, 2 on a usage error.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "DCU_Unit.h"
#include "DCURecs.h"
#include "UnitJson.h"
#include "UnitSummary.h"

using nlohmann::json;

namespace {

std::string Utf8(const QString& S) { return S.toStdString(); }

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
  // Paths stay as given, in the local 8-bit encoding of the command line.
  std::vector<std::string> Files;
  for (int I = 1; I < argc; ++I) {
    std::string A = argv[I];
    if (A == "--json") continue;
    if (A == "--") {
      for (++I; I < argc; ++I) Files.emplace_back(argv[I]);
      break;
    }
    Files.push_back(A);
  }
  if (Files.empty()) {
    std::cerr << "unitpeek-dump: no FILE given\n" << Utf8(Parser.helpText());
    return 2;
  }
  bool AsJson = Parser.isSet(JsonOpt);
  bool AllGood = true;
  json Out = json::array();
  for (const std::string& Path : Files) {
    TJX_RecordingSink Sink;
    json Facts;
    TSummaryOutcome R = LoadAndSummarize(Path, Sink, [&](const TUnit& U) {
      if (AsJson) Facts = UnitFacts(U);
    });
    AllGood = AllGood && R.Loaded && R.Written;
    if (AsJson) {
      json J;
      J["path"] = Path;
      J["ok"] = R.Loaded;
      J["error"] = R.Error.isEmpty() && R.Written ? json(nullptr) : json(Utf8(R.Error));
      if (R.Loaded) J.update(Facts);
      Out.push_back(J);
    } else {
      if (Files.size() > 1) std::cout << "==> " << Path << " <==\n";
      std::cout << Utf8(Sink.PlainText());
    }
  }
  if (AsJson) std::cout << Out.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  std::cout.flush();
  return AllGood ? 0 : 1;
}
