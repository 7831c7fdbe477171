// Helpers shared by the reader tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DCU_Unit.h"
#include "DCU_In.h"
#include "UnitBuilder.h"

namespace readertest {

// Loads bytes as a unit; the unit is the first one of the run when First is set.
inline std::unique_ptr<TUnit> Load(const std::vector<uint8_t>& Bytes, bool First = true,
                                   const std::string& Name = "test.dcu") {
  if (First) UnitConstructionCount = 0;
  return std::make_unique<TUnit>(Name, Bytes);
}

// The full text of the reader error that loading Bytes raises ("" if none).
inline std::string LoadError(const std::vector<uint8_t>& Bytes, bool First = true,
                             const std::string& Name = "test.dcu") {
  try {
    Load(Bytes, First, Name);
  } catch (const EDCUReadError& E) {
    return E.Text();
  }
  return "";
}

// The full text of the reader error that F raises ("" if none).
inline std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EDCUReadError& E) {
    return E.Text();
  }
  return "";
}

// A read window over Bytes, read as by a loaded unit of Version (which the
// packed-integer rules consult through ActiveUnit). The owning unit is the
// first of the run, so error texts carry no unit part.
class ScanWindow {
 public:
  ScanWindow(int Version, std::vector<uint8_t> Bytes) : Buf(std::move(Bytes)) {
    Unit = Load(unitbuilder::MinimalUnit(Version));
    ActiveUnit = Unit.get();
    PushWindow(Saved, Buf.data(), static_cast<int64_t>(Buf.size()));
    TagMark = Buf.data();
    CurrentTag = 0;
  }
  ~ScanWindow() { PopWindow(Saved); }
  uint32_t Offset() const { return PosOffset(WinPos, Buf.data()); }

  std::unique_ptr<TUnit> Unit;
  std::vector<uint8_t> Buf;
  TReadWindow Saved;
};

}  // namespace readertest
