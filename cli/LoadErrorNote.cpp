// Load errors on standard error (see LoadErrorNote.h).
#include "LoadErrorNote.h"

#include <iostream>

#include "DCU_Text.h"
#include "LoadHint.h"

void NoteLoadError(const std::string& Path, const std::string& Error) {
  std::cout.flush();
  std::cerr << "unitpeek-dump: " << Path << ": " << DisplayUtf8(Error) << "\n";
  std::string Hint = LoadErrorHint(Path, Error);
  // The command line reads folders too, in other modes.
  if (Error.size() >= 14 && Error.compare(Error.size() - 14, 14, "Is a directory") == 0)
    Hint += (Hint.empty() ? "" : " ") + std::string("Use --report or --find for folders.");
  if (!Hint.empty()) std::cerr << "  " << Hint << "\n";
}
