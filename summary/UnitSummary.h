// The summary writers: turn the facts of a loaded unit into the fixed-layout
// summary of its tab (or of the command line's text output). They read only
// the facts and write only through a TJX_RichSink, so they need no widgets.
#pragma once

#include <QString>
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
// The same text in UTF-8: DisplayUtf8 (DCU_Text.h).
QString DisplayText(std::string_view Bytes);

// Date and time text of a source-file stamp in the user's locale: short date,
// a blank and the long time (without a time-zone field); the time is left
// out when it is midnight. An invalid packed value raises ESummaryError.
QString FormatFileStamp(int Version, uint32_t Stamp);
QString FormatFileStamp(const TFileStamp& Stamp);

void WriteLine(TJX_RichSink& View, bool Indented, const QString& Text, TFontStyle Style,
               const TTextColor& Color = TTextColor());
void WriteComment(TJX_RichSink& View, bool Indented, const QString& Text);
void WriteUnitHeader(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteDebugOptions(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteUsesList(const TUnitFacts& Unit, TJX_RichSink& View, const QString& Header, uint8_t Kind);
void WriteUnitSummary(const TUnitFacts& Unit, TJX_RichSink& View);
void WriteUnitSummary(const TUnit& Unit, TJX_RichSink& View);
void WriteErrorBlock(TJX_RichSink& View, const QString& Message);

// Case-insensitive, locale-aware order of names (under the C locale: code
// points of the lower-cased names). Negative, zero or positive.
int CompareNamesLocale(const QString& A, const QString& B);

// Result of loading one unit file and writing its summary.
struct TSummaryOutcome {
  bool Loaded = false;   // the unit object was constructed
  bool Written = false;  // the whole summary was written
  QString Error;         // the message shown in the error block, if any
  // For a reader error: file offsets of the byte where reading stopped and
  // of the last tag byte (-1: not known).
  int64_t FailOffset = -1;
  int64_t DefOffset = -1;
};

// Loads the unit at Path, writes its summary into View and releases the unit;
// on an error writes the error block below whatever was written.
TSummaryOutcome LoadAndSummarize(const std::string& Path, TJX_RichSink& View);
