// The text summary module (see SummaryModule.h): the summary writers with
// the recording sink, behind one C entry.
#include <exception>
#include <type_traits>

#include "RichSink.h"
#include "SummaryModule.h"
#include "UnitSummary.h"

extern "C" __attribute__((visibility("default"))) bool unitpeek_summary_text(const TUnitFacts& Facts,
                                                                             std::string& Out) {
  TJX_RecordingSink Sink;
  bool Written = false;
  try {
    WriteUnitSummary(Facts, Sink);
    Written = true;
  } catch (const std::exception& E) {  // an invalid stamp (ESummaryError)
    WriteErrorBlock(Sink, DisplayText(E.what()));
  }
  Out += Sink.PlainText().toStdString();
  return Written;
}

// The entry has the type the program calls it by.
static_assert(std::is_same_v<decltype(&unitpeek_summary_text), TSummaryTextFn>);
