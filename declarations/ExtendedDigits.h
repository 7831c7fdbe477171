// The shortest decimal text of an 80-bit Extended value, worked out from its
// bits with exact integer arithmetic, so that every platform writes the same
// text whatever its long double is (the x87's 80-bit format, a 128-bit
// format, or the same as double).
#pragma once

#include <cstdint>
#include <string>

// The fewest significant digits that read back, rounded to the nearest
// Extended (ties to even), to the value of the finite Extended with the
// 64-bit significand Mantissa (the integer bit included) and the biased
// exponent Exponent (0..0x7FFE; the sign apart); of several such, the
// nearest to the value. Written as std::to_chars writes its shortest form:
// fixed or scientific ("1.5e+20", "2.5e-07"), whichever is shorter, fixed
// when they are as long; "-" first when Negative. Denormal and unnormal
// forms stand for the number their bits give (Mantissa * 2^(E - 16446),
// E being Exponent or 1 for 0).
std::string ShortestExtendedText(uint64_t Mantissa, unsigned Exponent, bool Negative);
