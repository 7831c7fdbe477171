// The summary writers: turn the facts of a loaded unit into the fixed-layout
// summary of its tab (or of the command line's text output). They read only
// the facts and write only through a TJX_RichSink, so they need no widgets;
// what they need of the user's locale comes from the platform layer
// (Platform.h). Text is UTF-8.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "DCU_Text.h"
#include "RichSink.h"
#include "UnitFacts.h"

class TUnit;

// Colour of comment lines, and of the error block.
inline constexpr TTextColor CommentColor(0, 128, 0);
inline constexpr TTextColor ErrorColor(255, 0, 0);

// An error raised while a summary is written (an invalid file stamp).
class ESummaryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 8-bit name or message bytes as display text: Windows-1252, with the bytes
// 0x00-0x1F and 0x7F in caret notation (^@ .. ^_, ^?).
// In UTF-8, as DisplayUtf8 (DCU_Text.h).
std::string DisplayText(std::string_view Bytes);

// Date and time text of a source-file stamp in the user's locale: short date,
// a blank and the long time (without a time-zone field); the time is left
// out when it is midnight. An invalid packed value raises ESummaryError.
// Under the C locale: "20 Sep 2005 16:15:40".
std::string FormatFileStamp(int Version, uint32_t Stamp);
std::string FormatFileStamp(const TSourceDate& Stamp);

void WriteLine(TJX_RichSink& View, bool Indented, const std::string& Text, TFontStyle Style,
               const TTextColor& Color = TTextColor());
void WriteComment(TJX_RichSink& View, bool Indented, const std::string& Text);
void WriteUnitHeader(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteDebugOptions(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteUsesList(const TUnitFacts& Unit, TJX_RichSink& View, const std::string& Header, uint8_t Kind);
void WriteUnitSummary(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteUnitSummary(const TUnit& Unit, TJX_RichSink& View);
void WriteErrorBlock(TJX_RichSink& View, const std::string& Message);
// The error block of a unit that did not load as WriteErrorBlock writes it
// in plain text: an empty line, "Error:", the message (bytes of the unit's
// message) as display text.
std::string ErrorBlockText(std::string_view Error);
// The plain text of a loaded unit's summary appended to Out (the lines a tab
// shows, indented lines by two blanks); on an invalid stamp, what was
// written and the error block. True when the whole summary was written.
bool AppendSummaryText(const TUnitFacts& Facts, std::string& Out);

// Case-insensitive, locale-aware order of names (under the C locale: code
// points of the lower-cased names). Negative, zero or positive.
int CompareNamesLocale(std::string_view A, std::string_view B);

// Result of loading one unit file and writing its summary.
struct TSummaryOutcome {
  bool Loaded = false;   // the unit object was constructed
  bool Written = false;  // the whole summary was written
  std::string Error;     // the message shown in the error block, if any
  // For a reader error: file offsets of the byte where reading stopped and
  // of the last tag byte (-1: not known).
  int64_t FailOffset = -1;
  int64_t DefOffset = -1;
};

// Loads the unit at Path, writes its summary into View and releases the unit;
// on an error writes the error block below whatever was written.
TSummaryOutcome LoadAndSummarize(const std::string& Path, TJX_RichSink& View);
