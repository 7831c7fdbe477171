// unitpeek-dump --code: each unit's routines disassembled, as text (each
// routine headed by the line the declarations listing writes for it, then
// its offsets, bytes, instructions or data, labels and line markers) or in
// the JSON as "code" beside the facts. --routine NAME picks routines by
// name, --source-dir DIR says where the sources are looked for first.
#pragma once

#include <string>
#include <vector>

class QCommandLineParser;

struct TCodeCommandOptions {
  bool Code = false;      // --code
  std::string Routine;    // --routine: a name or pattern; empty: every routine
  std::string SourceDir;  // --source-dir: looked in before the unit's folder
  bool Decls = false;     // --decls too: the listing before the code, or "decls" beside "code"
};

// The options --code, --routine and --source-dir.
void AddCodeOptions(QCommandLineParser& Parser);
// Takes them from the parser; the text of a usage error, or empty.
// Report is whether --report or --graph was given.
std::string TakeCodeOptions(const QCommandLineParser& Parser, bool Report, TCodeCommandOptions& O);

// Writes the code of every file to standard output, as text or JSON.
// Returns the exit status: 0 when every file loaded (and, with JSON, its
// summary holds no error), 1 when any did not, or when --routine names no
// routine of any file.
int RunCodeCommand(const std::vector<std::string>& Files, const TCodeCommandOptions& O, bool Json);
