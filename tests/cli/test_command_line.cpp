// The command line of unitpeek-dump read in process: options in any order,
// -- before files, repeated files and options, value options, what goes
// with what (every combination of the mode options), and the first line of
// each usage error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DumpCommandLine.h"

namespace {

TDumpCommandLine Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "unitpeek-dump");
  std::vector<const char*> Argv;
  for (const std::string& A : Args) Argv.push_back(A.c_str());
  return ParseDumpCommandLine(static_cast<int>(Argv.size()), Argv.data());
}

// The first line of standard error, without "unitpeek-dump: ".
std::string ErrorOf(const TDumpCommandLine& C) {
  const std::string First = C.Err.substr(0, C.Err.find('\n'));
  return First.rfind("unitpeek-dump: ", 0) == 0 ? First.substr(15) : "(no message) " + First;
}

std::string Describe(const TDumpOptions& O) {
  std::string S = std::string(O.Json ? "json " : "") + (O.Decls ? "decls " : "") + (O.Report ? "report " : "") +
                  (O.Graph ? "graph " : "") + (O.Code.Code ? "code " : "") + (O.Code.Decls ? "code-decls " : "") +
                  (O.HideRuntime ? "hide-runtime " : "") + "routine=" + O.Code.Routine +
                  " source-dir=" + O.Code.SourceDir + " find=" + (O.Find ? *O.Find : "(none)") + " files:";
  for (const std::string& F : O.Files) S += " [" + F + "]";
  return S;
}

std::string Describe(const TDumpCommandLine& C) {
  if (C.Options) return Describe(*C.Options);
  return "status " + std::to_string(C.Status) + ": " + ErrorOf(C);
}

void ExpectUsageError(const std::vector<std::string>& Args, const std::string& Message) {
  std::string Line;
  for (const std::string& A : Args) Line += " " + A;
  const TDumpCommandLine C = Parse(Args);
  EXPECT_FALSE(C.Options) << Line;
  EXPECT_EQ(C.Status, 2) << Line;
  EXPECT_EQ(ErrorOf(C), Message) << Line;
  // The error and a line pointing at --help, not the whole usage.
  EXPECT_EQ(C.Err, "unitpeek-dump: " + Message + "\nTry 'unitpeek-dump --help' for the options.\n") << Line;
  EXPECT_EQ(C.Out, "") << Line;
}

}  // namespace

TEST(DumpCommandLine, OptionsAndFilesInAnyOrderReadTheSame) {
  const std::string Want = Describe(Parse({"--json", "--decls", "a.dcu", "b.dcu"}));
  EXPECT_EQ(Want, "json decls code-decls routine= source-dir= find=(none) files: [a.dcu] [b.dcu]");
  for (const auto& Args : std::vector<std::vector<std::string>>{{"a.dcu", "b.dcu", "--decls", "--json"},
                                                                {"--decls", "a.dcu", "--json", "b.dcu"},
                                                                {"a.dcu", "--json", "b.dcu", "--decls"},
                                                                {"--json", "--decls", "--json", "a.dcu", "b.dcu"}})
    EXPECT_EQ(Describe(Parse(Args)), Want) << Args[0] << " " << Args[1];
  // A value option takes the next argument wherever it stands.
  EXPECT_EQ(Describe(Parse({".", "--find", "T*", "--json"})), Describe(Parse({"--json", "--find=T*", "."})));
}

TEST(DumpCommandLine, FilesKeepTheirOrderRepeatsAndEverythingAfterTheDoubleDash) {
  EXPECT_EQ(Describe(Parse({"b.dcu", "a.dcu", "b.dcu"})).substr(Describe(Parse({"b.dcu"})).find("files:")),
            "files: [b.dcu] [a.dcu] [b.dcu]");
  // After --, options and a second -- are files.
  EXPECT_EQ(Describe(Parse({"--json", "--", "--decls", "-x", "--", "-"})),
            "json routine= source-dir= find=(none) files: [--decls] [-x] [--] [-]");
  EXPECT_EQ(Describe(Parse({"a.dcu", "--", "--json"})), "routine= source-dir= find=(none) files: [a.dcu] [--json]");
  // A single dash is a file, as are bytes that are no valid text.
  EXPECT_EQ(Describe(Parse({"-", "\xFF\x01.dcu"})), "routine= source-dir= find=(none) files: [-] [\xFF\x01.dcu]");
  ExpectUsageError({"--json", "--"}, "no FILE given");
}

TEST(DumpCommandLine, ValueOptionsTakeTheNextArgumentAsItIsAndTheLastOfRepeats) {
  EXPECT_EQ(*Parse({"--find", "--json", "."}).Options->Find, "--json");
  EXPECT_EQ(*Parse({"--find", "--", "."}).Options->Find, "--");
  EXPECT_EQ(*Parse({"--find=a=b", "."}).Options->Find, "a=b");
  EXPECT_EQ(*Parse({"--find", "One", "--find=Two", "."}).Options->Find, "Two");
  const TDumpCommandLine C = Parse({"--code", "--routine", "-Odd", "--routine", "Run*", "a.dcu"});
  ASSERT_TRUE(C.Options);
  EXPECT_EQ(C.Options->Code.Routine, "Run*");
  const std::string Here = std::filesystem::current_path().string();
  EXPECT_EQ(Parse({"--code", "--source-dir", Here, "a.dcu"}).Options->Code.SourceDir, Here);
  // Empty values are given, and refused by the checks.
  ExpectUsageError({"--find=", "."}, "--find needs a PATTERN");
  ExpectUsageError({"--find", "", "."}, "--find needs a PATTERN");
  ExpectUsageError({"--code", "--routine=", "a.dcu"}, "--routine needs a NAME");
  ExpectUsageError({"--code", "--source-dir=", "a.dcu"}, "--source-dir: no folder ");
  ExpectUsageError({"--code", "--source-dir", "/no/such/folder", "a.dcu"}, "--source-dir: no folder /no/such/folder");
}

TEST(DumpCommandLine, UnknownOptionsAndMisplacedValuesAreNamedAsBefore) {
  ExpectUsageError({"--no-such", "a.dcu"}, "Unknown option 'no-such'.");
  ExpectUsageError({"--foo=1", "--bar", "x"}, "Unknown options: foo, bar.");
  ExpectUsageError({"-json", "a.dcu"}, "Unknown options: j, s, o, n.");
  ExpectUsageError({"-hx"}, "Unknown option 'x'.");
  ExpectUsageError({"-5"}, "Unknown option '5'.");
  ExpectUsageError({"---x"}, "Unknown option '-x'.");
  ExpectUsageError({"-x=1"}, "Unknown options: x, =, 1.");
  ExpectUsageError({"--json=1", "a.dcu"}, "Unexpected value after '--json'.");
  ExpectUsageError({"-h=1"}, "Unexpected value after '-h'.");
  ExpectUsageError({"-xv=1"}, "Unexpected value after '-xv'.");
  ExpectUsageError({"--find"}, "Missing value after '--find'.");
  ExpectUsageError({"--code", "a.dcu", "--routine"}, "Missing value after '--routine'.");
  // A missing or unexpected value is told before unknown options.
  ExpectUsageError({"--foo", "--find"}, "Missing value after '--find'.");
  ExpectUsageError({"--foo", "--decls=no"}, "Unexpected value after '--decls'.");
  // Unknown options are errors also beside --help and --version.
  ExpectUsageError({"--help", "--foo"}, "Unknown option 'foo'.");
  ExpectUsageError({"--version", "-q"}, "Unknown option 'q'.");
}

TEST(DumpCommandLine, HelpAndVersionGoToStandardOutputWithStatusZero) {
  for (const auto& Args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"--help-all"}, {"-hv"}, {"-vh", "a.dcu"}, {"--version", "--help", "--graph", "--json"}}) {
    const TDumpCommandLine C = Parse(Args);
    EXPECT_FALSE(C.Options);
    EXPECT_EQ(C.Status, 0);
    EXPECT_EQ(C.Out, DumpHelpText("unitpeek-dump")) << Args[0];
    EXPECT_EQ(C.Err, "");
  }
  for (const auto& Args : std::vector<std::vector<std::string>>{{"--version"}, {"-v", "--json"}, {"a.dcu", "-v"}}) {
    const TDumpCommandLine C = Parse(Args);
    EXPECT_EQ(C.Status, 0);
    EXPECT_EQ(C.Out, "unitpeek-dump " UNITPEEK_VERSION "\n");
  }
  // The usage names the program by the file name it was called by, and
  // lists every option once.
  const char* const Called[] = {"/usr/local/bin/unitpeek-dump", "--help"};
  EXPECT_EQ(ParseDumpCommandLine(2, Called).Out.rfind("Usage: unitpeek-dump [options] FILE...\n", 0), 0u);
  const char* const BadCall[] = {"../build/cli/dump", "--nope"};
  EXPECT_EQ(ParseDumpCommandLine(2, BadCall).Err, "unitpeek-dump: Unknown option 'nope'.\nTry 'dump --help' for the options.\n");
  const std::string Help = DumpHelpText("./dump");
  EXPECT_EQ(Help.rfind("Usage: ./dump [options] FILE...\n", 0), 0u);
  for (const char* O : {"--help", "--help-all", "--version", "--json", "--decls", "--report", "--graph", "--code",
                        "--routine <NAME>", "--source-dir <DIR>", "--hide-runtime", "--find <PATTERN>"})
    EXPECT_NE(Help.find(std::string(" ") + O + " "), std::string::npos) << O;
}

// Every combination of the mode options, each before and after the file:
// sound combinations run, the others are usage errors. What goes with what,
// as the manual page has it: --graph not with --json; --decls and --code
// with unit files, not with --report or --graph; --routine and --source-dir
// with --code; --hide-runtime with --graph; --find alone or with --json.
TEST(DumpCommandLine, EveryCombinationOfModesIsRunOrAUsageError) {
  const std::string Here = std::filesystem::current_path().string();
  const std::vector<std::vector<std::string>> Opts = {{"--json"},        {"--decls"},         {"--report"},
                                                      {"--graph"},       {"--code"},          {"--hide-runtime"},
                                                      {"--find", "T*"},  {"--routine", "R*"}, {"--source-dir", Here}};
  enum { Json, Decls, Report, Graph, Code, Hide, Find, Routine, SourceDir };
  int Sound = 0;
  for (unsigned Set = 0; Set < (1u << Opts.size()); ++Set) {
    auto Has = [&](int I) { return (Set >> I & 1) != 0; };
    const bool Bad = (Has(Graph) && Has(Json)) || ((Has(Report) || Has(Graph)) && (Has(Decls) || Has(Code))) ||
                     ((Has(Routine) || Has(SourceDir)) && !Has(Code)) || (Has(Hide) && !Has(Graph)) ||
                     (Has(Find) && (Has(Report) || Has(Graph) || Has(Decls) || Has(Code)));
    std::vector<std::string> Before, After{"u.dcu"};
    for (size_t I = 0; I < Opts.size(); ++I) {
      if (!Has(static_cast<int>(I))) continue;
      Before.insert(Before.end(), Opts[I].begin(), Opts[I].end());
      After.insert(After.begin() + 1, Opts[I].begin(), Opts[I].end());  // reversed, after the file
    }
    Before.push_back("u.dcu");
    const TDumpCommandLine A = Parse(Before), B = Parse(After);
    EXPECT_EQ(A.Status, Bad ? 2 : 0) << Set << ": " << Describe(A);
    EXPECT_EQ(A.Options.has_value(), !Bad) << Set;
    EXPECT_EQ(Describe(A), Describe(B)) << Set;
    if (Bad) {
      EXPECT_EQ(ErrorOf(A).find("(no message)"), std::string::npos) << Set;
    } else {
      ++Sound;
      EXPECT_EQ(A.Options->Json, Has(Json));
      EXPECT_EQ(A.Options->Find.has_value(), Has(Find));
      EXPECT_EQ(A.Options->Code.Code, Has(Code));
    }
    // Without a file every combination is a usage error.
    Before.pop_back();
    if (!Before.empty()) {
      EXPECT_EQ(Parse(Before).Status, 2) << Set;
    }
  }
  EXPECT_EQ(Sound, 28);
}
