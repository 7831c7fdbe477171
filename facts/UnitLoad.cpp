// TryLoadUnit: a unit loaded, its facts taken and released, or the error
// text (see UnitLoad.h).
#include "UnitLoad.h"

#include <exception>

#include "DCU_Unit.h"

TUnitLoad TryLoadUnit(const std::string& Path, const std::function<void(const TUnit&)>& Also) {
  TUnitLoad R;
  try {
    TUnit Unit(Path);
    TUnitFacts Facts = ExtractUnitFacts(Unit);
    if (Also) Also(Unit);
    R.Facts = std::move(Facts);
  } catch (const EDCUReadError& E) {
    R.Error = E.Text();
    R.FailOffset = E.FileOffset;
    R.DefOffset = E.DefOffset;
  } catch (const std::exception& E) {
    R.Error = E.what();
  }
  return R;
}
