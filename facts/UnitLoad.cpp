// TryLoadUnit: a unit loaded, its facts taken and released, or the error
// text; TryLoadUnitKept: a unit loaded and kept (see UnitLoad.h).
#include "UnitLoad.h"

#include <cstdio>
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

std::unique_ptr<TUnit> TryLoadUnitPartial(const std::string& Path, TUnitLoad& Failure) {
  Failure = {};
  try {
    auto U = std::make_unique<TUnit>(Path, TUnit::TKeepWhatWasRead{});
    if (U->ReadFailure) {
      try {
        std::rethrow_exception(U->ReadFailure);
      } catch (const EDCUReadError& E) {
        NoteFailure(Failure, E);
      } catch (const std::exception& E) {
        Failure.Error = E.what();
      } catch (...) {
        Failure.Error = "unknown error";
      }
    }
    return U;
  } catch (const EDCUReadError& E) {
    NoteFailure(Failure, E);
  } catch (const std::exception& E) {
    Failure.Error = E.what();
  }
  return nullptr;
}

std::string PartialStopLine(const TUnitLoad& Failure) {
  char At[32] = "an unknown place";
  if (Failure.FailOffset >= 0) std::snprintf(At, sizeof At, "0x%llX", static_cast<unsigned long long>(Failure.FailOffset));
  return std::string("{reading stopped at ") + At + ": what follows in the file is not shown}\n";
}
