// TryLoadUnit: a unit loaded, its facts taken and released, or the error
// text; TryLoadUnitKept: a unit loaded and kept (see UnitLoad.h).
#include "UnitLoad.h"

#include <exception>

#include "DCU_Unit.h"

namespace {
void NoteFailure(TUnitLoad& R, const EDCUReadError& E) {
  R.Error = E.Text();
  R.FailOffset = E.FileOffset;
  R.DefOffset = E.DefOffset;
}
}  // namespace

TUnitLoad TryLoadUnit(const std::string& Path, const std::function<void(const TUnit&)>& Also) {
  TUnitLoad R;
  try {
    TUnit Unit(Path);
    TUnitFacts Facts = ExtractUnitFacts(Unit);
    if (Also) Also(Unit);
    R.Facts = std::move(Facts);
  } catch (const EDCUReadError& E) {
    NoteFailure(R, E);
  } catch (const std::exception& E) {
    R.Error = E.what();
  }
  return R;
}

std::unique_ptr<TUnit> TryLoadUnitKept(const std::string& Path, TUnitLoad& Failure) {
  Failure = {};
  try {
    return std::make_unique<TUnit>(Path);
  } catch (const EDCUReadError& E) {
    NoteFailure(Failure, E);
  } catch (const std::exception& E) {
    Failure.Error = E.what();
  }
  return nullptr;
}
