// The command line of unitpeek-dump (see DumpCommandLine.h). A first pass
// over the arguments finds what CLI11 would read otherwise than the program
// always has (unknown short options run together, a value option's value
// that starts with a dash or is empty, a flag given a value) and writes the
// value options as CLI11 reads them; CLI11 then parses the arguments.
#include "DumpCommandLine.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "Platform.h"
#include "UnitPath.h"

namespace {

constexpr std::array<std::string_view, 11> FlagNames = {"help",  "help-all", "version",      "json", "decls", "report",
                                                         "graph", "code",     "hide-runtime", "pas",  "diff"};
constexpr std::array<std::string_view, 6> ValueNames = {"find", "routine", "source-dir", "out", "jobs", "unit-path"};
constexpr std::string_view ShortFlags = "hv";

template <size_t N>
bool IsOneOf(std::string_view Name, const std::array<std::string_view, N>& Names) {
  for (std::string_view N2 : Names)
    if (Name == N2) return true;
  return false;
}

// The arguments as CLI11 is to read them, or the first line of a usage error.
struct TPrepared {
  std::vector<std::string> Args;  // without the program name
  std::string Error;
};

// Value options become "--name=VALUE", or "--name" and "" for an empty
// value (CLI11 would take the next argument for "--name="). The errors are
// reported as the program always has: a missing or unexpected value at
// once, unknown options (named without their dashes, each letter of a
// short group alone) when the rest is sound.
// -hv: short options run together; "=" after one is a value (an error).
bool PrepareShort(std::string_view A, TPrepared& P, std::vector<std::string>& Unknown) {
  for (size_t C = 1; C < A.size(); ++C) {
    if (ShortFlags.find(A[C]) == std::string_view::npos) {
      Unknown.emplace_back(1, A[C]);
    } else if (C + 1 < A.size() && A[C + 1] == '=') {
      P.Error = "Unexpected value after '" + std::string(A.substr(0, C + 1)) + "'.";
      return false;
    }
  }
  P.Args.emplace_back(A);
  return true;
}

// A long option at argv[I] (its value may be the next argument: I moves past it).
bool PrepareLong(int& I, int argc, const char* const* argv, TPrepared& P, std::vector<std::string>& Unknown) {
  const std::string_view A = argv[I];
  const size_t Eq = A.find('=');
  const std::string_view Name = A.substr(2, Eq == std::string_view::npos ? std::string_view::npos : Eq - 2);
  if (IsOneOf(Name, ValueNames)) {
    std::string Value;
    if (Eq != std::string_view::npos) {
      Value = A.substr(Eq + 1);
    } else if (I + 1 < argc) {
      Value = argv[++I];
    } else {
      P.Error = "Missing value after '" + std::string(A) + "'.";
      return false;
    }
    if (Value.empty()) {
      P.Args.push_back("--" + std::string(Name));
      P.Args.emplace_back();
    } else {
      P.Args.push_back("--" + std::string(Name) + "=" + Value);
    }
  } else if (IsOneOf(Name, FlagNames)) {
    if (Eq != std::string_view::npos) {
      P.Error = "Unexpected value after '" + std::string(A.substr(0, Eq)) + "'.";
      return false;
    }
    P.Args.emplace_back(A);
  } else {
    Unknown.emplace_back(Name);
  }
  return true;
}

std::string UnknownOptionsError(const std::vector<std::string>& Unknown) {
  if (Unknown.empty()) return {};
  if (Unknown.size() == 1) return "Unknown option '" + Unknown[0] + "'.";
  std::string E = "Unknown options: ";
  for (size_t I = 0; I < Unknown.size(); ++I) E += (I ? ", " : "") + Unknown[I];
  return E + ".";
}

TPrepared Prepare(int argc, const char* const* argv) {
  TPrepared P;
  std::vector<std::string> Unknown;
  bool Files = false;  // after --
  for (int I = 1; I < argc; ++I) {
    const std::string_view A = argv[I];
    if (Files || A.size() < 2 || A[0] != '-') {
      P.Args.emplace_back(A);
      continue;
    }
    if (A == "--") {
      Files = true;
      P.Args.emplace_back(A);
      continue;
    }
    if (!(A[1] != '-' ? PrepareShort(A, P, Unknown) : PrepareLong(I, argc, argv, P, Unknown))) return P;
  }
  P.Error = UnknownOptionsError(Unknown);
  return P;
}

TDumpCommandLine UsageError(const std::string& Program, const std::string& Text) {
  TDumpCommandLine C;
  C.Status = 2;
  C.Err = "unitpeek-dump: " + Text + "\nTry '" + Program + " --help' for the options.\n";
  return C;
}

// --code and its options: the text of a usage error, or empty.
std::string TakeCodeOptions(const std::optional<std::string>& Routine, const std::optional<std::string>& SourceDir,
                            bool Report, TCodeCommandOptions& O) {
  if (!O.Code && (Routine || SourceDir)) return "--routine and --source-dir go with --code";
  if (!O.Code) return {};
  if (Report) return "--code goes with unit files, not with --report or --graph";
  O.Routine = Routine.value_or("");
  if (Routine && O.Routine.empty()) return "--routine needs a NAME";
  if (SourceDir) {
    std::error_code Ec;
    if (!std::filesystem::is_directory(PathFromUtf8(*SourceDir), Ec)) return "--source-dir: no folder " + *SourceDir;
    O.SourceDir = *SourceDir;
  }
  return {};
}

// --pas goes alone; --out only with it; without --out, one FILE.
std::string TakePasOptions(const std::optional<std::string>& Out, TDumpOptions& O) {
  if (Out && !O.Pas) return "--out goes with --pas";
  if (!O.Pas) return {};
  if (O.Json || O.Decls || O.Report || O.Graph || O.Code.Code || O.Find)
    return "--pas goes alone or with --out, not with --json, --decls, --code, --report, --graph or --find";
  if (!Out && O.Files.size() > 1) return "--pas without --out writes one FILE only";
  if (Out) {
    std::error_code Ec;
    if (!std::filesystem::is_directory(*Out, Ec)) return "--out: no folder " + *Out;
    O.PasDir = *Out;
  }
  return {};
}

// --diff takes two FILEs and no other mode; --jobs a number, with the folder modes.
std::string TakeDiffAndJobs(const std::optional<std::string>& Jobs, TDumpOptions& O) {
  if (O.Diff && (O.Decls || O.Report || O.Graph || O.Code.Code || O.Find || O.Pas))
    return "--diff goes alone or with --json";
  if (O.Diff && O.Files.size() != 2) return "--diff compares two FILEs";
  if (!Jobs) return {};
  if (!O.Report && !O.Graph && !O.Find) return "--jobs goes with --report, --graph or --find";
  char* End = nullptr;
  const unsigned long N = std::strtoul(Jobs->c_str(), &End, 10);
  if (Jobs->empty() || *End || N < 1 || N > 256) return "--jobs takes a number from 1 to 256";
  O.Jobs = static_cast<unsigned>(N);
  return {};
}

}  // namespace

std::string DumpHelpText(const std::string& Program) {
  return "Usage: " + Program + " [options] FILE...\n" + R"(Prints the summary of unit files (.dcu).

Options:
  -h, --help          Displays help on commandline options.
  --help-all          Displays help on commandline options (as --help).
  -v, --version       Displays version information.
  --json              Write one JSON array instead of text.
  --decls             Print what each unit declares instead of the summary
                      (with --json: add "decls" to each unit).
  --report            Report on folders of units (PATHs: unit files or
                      folders).
  --graph             Print the uses graph of folders of units as Graphviz DOT.
  --code              Print each unit's routines disassembled instead of the
                      summary (with --json: add "code" to each unit; with
                      --decls: the listing, then the code).
  --routine <NAME>    With --code: only the routines of this name (qualified or
                      bare, any letter case; * and ? as wildcards).
  --source-dir <DIR>  With --code: look for the units' sources in DIR first
                      (else beside each unit).
  --hide-runtime      With --graph: leave out the units outside the folders
                      that more than half of their units use.
  --find <PATTERN>    Find declarations and units by name in folders of units
                      (PATHs as for --report; * and ? wildcards, Class.Member
                      for members).
  --unit-path <DIRS>  Folders to find the units that the units use in (their
                      library folders), after each unit's own folder: the
                      values of types declared there are read as the
                      compiler read them, and the folder modes tell such
                      units apart from missing ones. Folders separated by
                      ':' (';' on Windows); may be given more than once.
  --jobs <N>          With --report, --graph or --find: read the units on N
                      threads (default: one per core); the output is the same.
  --diff              Compare two builds of a unit (two FILEs): the facts, the
                      declarations and the code routine by routine (exit
                      status 0 the same, 1 different, 2 trouble).
  --pas               Write each unit's skeleton: Pascal source that a
                      compiler takes (the interface, every routine with an
                      empty body).
  --out <DIR>         With --pas: one file per unit in DIR, named as the unit
                      names itself (UnitName.pas), never over a file that
                      exists; without it, one FILE only, to standard output.

Arguments:
  FILE                Unit files to read.
)";
}

namespace {

// The values of the value options as given.
struct TValues {
  std::optional<std::string> Find, Routine, SourceDir, Out, Jobs;
  std::vector<std::string> UnitPaths;
};

// Named by its file name, not by the whole path it was called by (on
// Windows without its ".exe", as the user types it).
std::string ProgramName(int argc, const char* const* argv) {
  std::filesystem::path Called = argc > 0 ? std::filesystem::path(argv[0]).filename() : std::filesystem::path();
  if (Called.extension() == ".exe" || Called.extension() == ".EXE") Called.replace_extension();
  const std::string Program = Called.string();
  return Program.empty() ? "unitpeek-dump" : Program;
}

void AddOptions(CLI::App& App, TDumpOptions& O, TValues& V, bool& Help, bool& HelpAll, bool& Version) {
  App.set_help_flag();  // the usage text is the program's own
  App.allow_windows_style_options(false);  // on Windows too, "/x" is a path, not an option
  App.add_flag("-h,--help", Help);
  App.add_flag("--help-all", HelpAll);
  App.add_flag("-v,--version", Version);
  App.add_flag("--json", O.Json);
  App.add_flag("--decls", O.Decls);
  App.add_flag("--report", O.Report);
  App.add_flag("--graph", O.Graph);
  App.add_flag("--code", O.Code.Code);
  App.add_flag("--hide-runtime", O.HideRuntime);
  App.add_flag("--pas", O.Pas);
  App.add_flag("--diff", O.Diff);
  App.add_option("--out", V.Out)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  App.add_option("--unit-path", V.UnitPaths)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  App.add_option("--jobs", V.Jobs)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  App.add_option("--find", V.Find)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  App.add_option("--routine", V.Routine)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  App.add_option("--source-dir", V.SourceDir)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  App.add_option("FILE", O.Files);
}

// What goes with what: the text of a usage error, or empty.
std::string TakeModes(const TValues& V, TDumpOptions& O) {
  O.Find = V.Find;
  for (const std::string& List : V.UnitPaths)
    for (std::string& Folder : SplitUnitPath(List)) O.UnitPath.push_back(std::move(Folder));
  if (O.Files.empty()) return "no FILE given";
  if (O.Graph && O.Json) return "--graph and --json exclude each other";
  if ((O.Report || O.Graph) && O.Decls) return "--decls goes with unit files, not with --report or --graph";
  if (std::string E = TakeCodeOptions(V.Routine, V.SourceDir, O.Report || O.Graph, O.Code); !E.empty()) return E;
  O.Code.Decls = O.Decls;
  if (O.HideRuntime && !O.Graph) return "--hide-runtime goes with --graph";
  if (O.Find && (O.Report || O.Graph || O.Decls || O.Code.Code))
    return "--find goes alone or with --json, not with --report, --graph, --decls or --code";
  if (O.Find && O.Find->empty()) return "--find needs a PATTERN";
  if (std::string E = TakePasOptions(V.Out, O); !E.empty()) return E;
  return TakeDiffAndJobs(V.Jobs, O);
}

}  // namespace

TDumpCommandLine ParseDumpCommandLine(int argc, const char* const* argv) {
  const std::string Program = ProgramName(argc, argv);
  TPrepared P = Prepare(argc, argv);
  if (!P.Error.empty()) return UsageError(Program, P.Error);

  TDumpOptions O;
  TValues V;
  bool Help = false, HelpAll = false, Version = false;
  CLI::App App;
  AddOptions(App, O, V, Help, HelpAll, Version);
  std::vector<const char*> Argv{Program.c_str()};
  for (const std::string& A : P.Args) Argv.push_back(A.c_str());
  try {
    App.parse(static_cast<int>(Argv.size()), Argv.data());
  } catch (const CLI::ParseError& E) {
    return UsageError(Program, E.what());
  }
  if (Help || HelpAll) return TDumpCommandLine{.Options = {}, .Status = 0, .Out = DumpHelpText(Program), .Err = {}};
  if (Version) {
    return TDumpCommandLine{.Options = {}, .Status = 0, .Out = "unitpeek-dump " UNITPEEK_VERSION "\n", .Err = {}};
  }
  if (std::string E = TakeModes(V, O); !E.empty()) return UsageError(Program, E);
  TDumpCommandLine C;
  C.Options = std::move(O);
  return C;
}
