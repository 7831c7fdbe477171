// LoadAndSummarize and the summary of a live unit (see UnitSummary.h): the
// writers' parts that need the reader.
#include "DCU_Unit.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

void WriteUnitSummary(const TUnit& Unit, TJX_RichSink& View) { WriteUnitSummary(ExtractUnitFacts(Unit), View); }

TSummaryOutcome LoadAndSummarize(const std::string& Path, TJX_RichSink& View) {
  TSummaryOutcome R;
  const TUnitLoad L = TryLoadUnit(Path);
  if (!L.Facts) {
    R.Error = DisplayText(L.Error);
    R.FailOffset = L.FailOffset;
    R.DefOffset = L.DefOffset;
    WriteErrorBlock(View, R.Error);
    return R;
  }
  R.Loaded = true;
  try {
    WriteUnitSummary(*L.Facts, View);
    R.Written = true;
  } catch (const std::exception& E) {  // an invalid stamp (ESummaryError)
    R.Error = DisplayText(E.what());
    WriteErrorBlock(View, R.Error);
  }
  return R;
}
