// unitpeek-dump --code: each unit's routines disassembled, as text (each
// routine headed by the line the declarations listing writes for it, then
// its offsets, bytes, instructions or data, labels and line markers) or in
// the JSON as "code" beside the facts. --routine NAME picks routines by
// name, --source-dir DIR says where the sources are looked for first.
#pragma once

#include <string>
#include <vector>

class TUsedUnits;

struct TCodeCommandOptions {
  bool Code = false;      // --code
  std::string Routine;    // --routine: a name or pattern; empty: every routine
  std::string SourceDir;  // --source-dir: looked in before the unit's folder
  bool Decls = false;     // --decls too: the listing before the code, or "decls" beside "code"
  TUsedUnits* Library = nullptr;  // the units used, for the declarations' values
};

// Writes the code of every file to standard output, as text or JSON.
// Returns the exit status: 0 when every file loaded (and, with JSON, its
// summary holds no error), 1 when any did not, or when --routine names no
// routine of any file.
int RunCodeCommand(const std::vector<std::string>& Files, const TCodeCommandOptions& O, bool Json);
