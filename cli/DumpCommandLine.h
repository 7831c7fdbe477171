// The command line of unitpeek-dump: its options, read one way for every
// mode (CLI11), and the checks of what goes with what.
//
// The rules are those the program has always had: long options as --name or
// --name=VALUE, a value option takes the next argument whatever it looks
// like (--find --json searches for "--json"), -h and -v may be run together
// (-hv), options and FILEs in any order, repeated options count once (a
// repeated value option keeps its last value), and every argument after --
// is a FILE. The first line of a usage error says what was wrong ("Unknown
// option 'foo'.", "Missing value after '--find'.", "no FILE given", ...);
// the usage text follows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CodeCommand.h"

// What the command line asks for.
struct TDumpOptions {
  bool Json = false, Decls = false, Report = false, Graph = false;
  TCodeCommandOptions Code;
  bool HideRuntime = false;
  unsigned Jobs = 0;                // --jobs: threads for folders (0: one per core)
  bool Pas = false;                 // --pas: the units' skeletons
  bool Diff = false;                // --diff: two units compared
  std::optional<std::string> PasDir;  // --out: where they go (else standard output)
  std::optional<std::string> Find;  // --find's pattern
  std::vector<std::string> UnitPath;  // --unit-path: the folders, in order
  std::vector<std::string> Files;   // the FILE arguments' bytes as given
};

// The options to run, or what to print and the exit status when there is
// nothing to run: 0 after --help or --version (the text on standard
// output), 2 on a usage error (the message and the usage on standard error).
struct TDumpCommandLine {
  std::optional<TDumpOptions> Options;
  int Status = 0;
  std::string Out, Err;
};

TDumpCommandLine ParseDumpCommandLine(int argc, const char* const* argv);

// The text of --help; Program is the name the program was called by.
std::string DumpHelpText(const std::string& Program);
