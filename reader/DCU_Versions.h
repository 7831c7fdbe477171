// Version ranges of the unit file format that more than one rule depends on
// (the scanner's long packed form, the header, the declaration stream and
// the records). Versions 2 to 7 are the compiler releases; 100, 101 and 103
// are the further formats, which follow version 7 in number only.
#pragma once

#include <cstdint>

// Versions 4 to 7 and the further formats 100, 101 and 103.
constexpr bool IsRelease4Up(int32_t V) { return V > 3; }
// Version 7 itself, not the further formats that follow it in number.
inline bool IsRelease7(int32_t V) { return V >= 7 && V < 100; }
// The further formats 100, 101 and 103.
inline bool IsFurtherFormat(int32_t V) { return V >= 100; }
