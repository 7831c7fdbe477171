// The bundled sample units: one complete unit per format version, made with
// the synthetic unit-file builder. The sample generator writes them to disk;
// tests, fuzz seeds and benchmarks take them from here in memory.
#pragma once

#include <cstdint>
#include <vector>

namespace unitbuilder {

// The format versions a unit can have, in ascending order.
const std::vector<int>& AllVersions();

// Packed file date and time of the versions below 100 (seconds rounded down
// to even).
uint32_t PackedStamp(int Year, int Month, int Day, int Hour, int Minute, int Second);

// The sample unit "Demo" of a version: three source files (Demo.pas,
// Demo.res as $R, DemoAsm.obj as $L) stamped 2004-03-05 10:20:30,
// 2004-03-05 and 2004-02-01 11:00; interface uses SysUtils and Classes (with
// an imported type), implementation uses Windows, the DLL kernel32.dll with
// one import; a type, a constant, a variable, a typed constant and two
// procedures with parameters and locals; a 0x40-byte data block that the
// fixup table hands to the typed constant and the procedures; code lines,
// line ranges and local variables, so its debugger options read On.
std::vector<uint8_t> DemoUnit(int Version);

// A version 7 unit that loads but whose summary fails: its source file is
// stamped with month 0.
std::vector<uint8_t> BadStampUnit();

}  // namespace unitbuilder
