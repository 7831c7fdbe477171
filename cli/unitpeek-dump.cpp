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

#include "DCU32.h"
#include "DCURecs.h"
#include "UnitSummary.h"

using nlohmann::json;

namespace {

std::string Utf8(const QString& S) { return S.toStdString(); }

const char* SourceKindName(uint8_t Kind) {
  switch (Kind) {
    case 0x71: return "object";
    case 0x72: return "resource";
    case 0x73: return "assembler";
    default: return "source";
  }
}

// ISO text of a stamp, or null when there is none or it is no valid date.
json StampIso(int Version, uint32_t Stamp) {
  if (IsNoStamp(Version, Stamp)) return nullptr;
  QDateTime DT;
  if (Version >= 100) {
    DT = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(Stamp));
  } else {
    QDate D(int(Stamp >> 25) + 1980, int((Stamp >> 21) & 0x0F), int((Stamp >> 16) & 0x1F));
    QTime T(int((Stamp >> 11) & 0x1F), int((Stamp >> 5) & 0x3F), int(Stamp & 0x1F) * 2);
    if (!D.isValid() || !T.isValid()) return nullptr;
    DT = QDateTime(D, T, Qt::UTC);
  }
  return Utf8(DT.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
}

json UnitFacts(const TUnit& U) {
  json J;
  J["unit"] = Utf8(DisplayText(U.UnitName));
  J["version"] = U.Version;
  json Files = json::array();
  for (const TSourceFileRec* F = U.SourceFiles.get(); F; F = F->Next.get()) {
    Files.push_back({{"kind", SourceKindName(F->Kind())},
                     {"name", Utf8(DisplayText(NameView(F->NamePos())))},
                     {"stampRaw", F->FileTime},
                     {"stamp", StampIso(U.Version, F->FileTime)}});
  }
  J["sourceFiles"] = Files;
  J["debugInfo"] = !U.CodeLines.empty();
  J["localSymbols"] = !U.LocalVars.empty();
  json Uses = {{"interface", json::array()}, {"implementation", json::array()}, {"dlls", json::array()}};
  for (const auto& E : U.UsedUnits) {
    const char* Key = E->UseKind == InterfaceUses        ? "interface"
                      : E->UseKind == ImplementationUses ? "implementation"
                                                         : "dlls";
    Uses[Key].push_back(Utf8(DisplayText(NameView(E->NamePos))));
  }
  J["uses"] = Uses;
  size_t TopLevel = 0;
  for (const TDCURec* R = U.Decls; R; R = R->Next) ++TopLevel;
  J["stats"] = {{"declarations", U.DeclTable.size()}, {"types", U.TypeTable.size()},
                {"topLevelDecls", TopLevel},          {"nameIndex", U.NameIndex.size()},
                {"dataSize", U.DataSize},             {"fixups", U.FixupCount},
                {"codeLines", U.CodeLineCount},       {"lineRanges", U.LineRangeCount},
                {"localVars", U.LocalVarCount}};
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
