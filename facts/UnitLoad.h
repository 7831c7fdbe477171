// Loading a unit file for what is taken from it: the one place where a unit
// is constructed from a path and its failure turned into the error text.
// The unit lives only inside TryLoadUnit; what the callers keep (the facts,
// the declarations outline, the folder scan's stamps) outlives it. Only
// TryLoadUnitKept hands the unit itself over.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "UnitFacts.h"

class TUnit;

// The facts of a unit that loaded, or the error that stopped it.
struct TUnitLoad {
  std::optional<TUnitFacts> Facts;  // set when the unit loaded
  // The error's whole text as raw 8-bit bytes (a tag character in it may be
  // NUL); empty when the unit loaded.
  std::string Error;
  // For a reader error, the file offsets of the byte where reading stopped
  // and of the tag byte read last (-1: not known).
  int64_t FailOffset = -1;
  int64_t DefOffset = -1;
};

// Loads the unit at Path, takes its facts and releases it. Also, when given,
// is called with the loaded unit before it is released, to take more from it;
// an exception it raises fails the load as a reader error does.
TUnitLoad TryLoadUnit(const std::string& Path, const std::function<void(const TUnit&)>& Also = {});

// Loads the unit at Path and keeps it, for a view that reads from it on
// demand (the Code view disassembles a routine when it is shown). Null when
// it does not load, with the error and its offsets in Failure.
std::unique_ptr<TUnit> TryLoadUnitKept(const std::string& Path, TUnitLoad& Failure);

// The same, keeping what was read of a unit whose declarations stop at an
// error (TUnit::TKeepWhatWasRead): the unit is returned then too, with the
// error in Failure. Null, with the error in Failure, when nothing was kept.
std::unique_ptr<TUnit> TryLoadUnitPartial(const std::string& Path, TUnitLoad& Failure);

// The line that ends what was read of a damaged unit (listings of the
// declarations and of the code), before the error itself:
// "{reading stopped at 0x10CC: what follows in the file is not shown}\n".
std::string PartialStopLine(const TUnitLoad& Failure);
