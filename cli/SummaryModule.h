// The text summary of unitpeek-dump, the one mode that needs Qt (stamps as
// dates of the user's locale, used units in the locale's order). It is a
// module of its own, loaded only when a summary is printed as text, so that
// every other mode starts without loading Qt. The module is private to the
// program (built from the same sources in the same build), so C++ types
// cross between them.
//
// The module is looked for in the program's private library folder,
// UNITPEEK_SUMMARY_MODULE_DIR relative to the program's folder (where
// `make install` and the Debian package put it), then beside the program
// (the build folder).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "UnitFacts.h"

// The module's file name.
inline constexpr const char* SummaryModuleName = "unitpeek-dump-summary.so";

// The module's entry: appends the summary text of a loaded unit to Out (the
// lines a tab shows, indented lines by two blanks); on an invalid stamp,
// what was written and the error block. True when the whole summary was
// written.
using TSummaryTextFn = bool (*)(const TUnitFacts& Facts, std::string& Out);
inline constexpr const char* SummaryTextSymbol = "unitpeek_summary_text";

// The loaded module.
class TSummaryModule {
 public:
  // Loads the module, or says in Error why it could not be.
  static std::unique_ptr<TSummaryModule> Load(std::string& Error);

  bool Write(const TUnitFacts& Facts, std::string& Out) const { return Text(Facts, Out); }

 private:
  explicit TSummaryModule(TSummaryTextFn Text) : Text(Text) {}
  TSummaryTextFn Text;
};

// The error block of a unit that did not load as the summary writes it
// (WriteErrorBlock, UnitSummary.h) in plain text: an empty line, "Error:",
// the message as display text.
std::string ErrorBlockText(std::string_view Error);
