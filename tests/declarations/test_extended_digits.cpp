// The shortest text of Extended values from their bits: the same text on
// every platform, whatever its long double is; where long double is the
// 80-bit format, the text std::to_chars writes for the same value.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "DeclValues.h"
#include "ExtendedDigits.h"

namespace {

std::string FromBits(uint64_t M, unsigned E) { return ShortestExtendedText(M, E, false); }

TEST(ExtendedDigits, TextsOfKnownValuesWhateverTheLongDouble) {
  // 14.01 and 0.1 need only their few digits, though the 80-bit value is
  // not the double's nor a 128-bit format's nearest to them.
  EXPECT_EQ(FromBits(0xE028F5C28F5C28F6u, 0x4002), "14.01");
  EXPECT_EQ(FromBits(0xCCCCCCCCCCCCCCCDu, 0x3FFB), "0.1");
  EXPECT_EQ(FromBits(0xAAAAAAAAAAAAAAABu, 0x3FFD), "0.33333333333333333334");
  EXPECT_EQ(FromBits(0xA000000000000000u, 0x4008), "640");
  EXPECT_EQ(ShortestExtendedText(0xA000000000000000u, 0x4008, true), "-640");
  EXPECT_EQ(ShortestExtendedText(0, 0, true), "-0");
  // The ends of the range: the largest finite value, the smallest normal,
  // the largest denormal and the smallest denormal.
  EXPECT_EQ(FromBits(0xFFFFFFFFFFFFFFFFu, 0x7FFE), "1.189731495357231765e+4932");
  EXPECT_EQ(FromBits(uint64_t(1) << 63, 1), "3.3621031431120935063e-4932");
  EXPECT_EQ(FromBits(0x7FFFFFFFFFFFFFFFu, 0), "3.362103143112093506e-4932");
  EXPECT_EQ(FromBits(1, 0), "4e-4951");
  // A power of two has a narrower gap below it: 2^-29's shortest digits,
  // exactly half-way between two texts of 20 digits, end in the even one.
  EXPECT_EQ(FromBits(uint64_t(1) << 63, 0x3FE2), "1.8626451492309570312e-09");
  // A whole number in the fixed form is written exactly, not as its
  // shortest digits with zeros after them.
  EXPECT_EQ(FromBits(uint64_t(1) << 63, 0x4043), "295147905179352825856");
  EXPECT_EQ(FromBits(0x8000000000124800u, 0x4043), "295147905179391164416");
  // An unnormal (integer bit clear) is the number its bits give: 0.5.
  EXPECT_EQ(FromBits(0x4000000000000000u, 0x3FFF), "0.5");
}

TEST(ExtendedDigits, DeclarationTextOfAnExtendedComesFromItsBits) {
  const uint8_t E1401[10] = {0xF6, 0x28, 0x5C, 0x8F, 0xC2, 0xF5, 0x28, 0xE0, 0x02, 0x40};
  EXPECT_EQ(FloatText(TFloatKind::Extended, E1401, 10), "14.01");
  const uint8_t Big[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0x43, 0x40};  // 2^68
  EXPECT_EQ(FloatText(TFloatKind::Extended, Big, 10), "295147905179352825856.0");
  const uint8_t Tiny[10] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0x80};
  EXPECT_EQ(FloatText(TFloatKind::Extended, Tiny, 10), "-4E-4951");
}

// Where long double is the 80-bit format, its std::to_chars is the measure:
// random patterns of every kind (normal, denormal, unnormal, powers of two,
// short significands, near the ends of the range) give the same text.
TEST(ExtendedDigits, SameTextAsToCharsOfAnX87LongDouble) {
  if constexpr (std::numeric_limits<long double>::digits != 64) {
    GTEST_SKIP() << "long double is not the 80-bit format here";
  } else {
    std::mt19937_64 Random(42);
    int Differ = 0;
    for (int I = 0; I < 6000; ++I) {
      uint64_t M = Random();
      const unsigned Kinds[4] = {static_cast<unsigned>(16383 + int(Random() % 160) - 80),
                                 static_cast<unsigned>(Random() % 3), static_cast<unsigned>(0x7FFE - Random() % 3),
                                 static_cast<unsigned>(Random() % 0x7FFF)};
      const unsigned E = Kinds[I % 4];
      if (I % 7 == 0) M >>= Random() % 64;
      if (I % 11 == 0) M = uint64_t(1) << 63;
      if (I % 13 == 0) M = (uint64_t(1) << 63) | ((Random() % 1000) << 11);
      const bool Neg = (Random() & 1) != 0;
      const int Exp = (E == 0 ? 1 : static_cast<int>(E)) - 16383 - 63;
      const long double V = M == 0 ? 0.0L : std::ldexp(static_cast<long double>(M), Exp);
      char Buf[128];
      const auto R = std::to_chars(Buf, Buf + sizeof Buf, Neg ? -V : V);
      const std::string Want(Buf, R.ptr), Got = ShortestExtendedText(M, E, Neg);
      if (Want != Got && ++Differ <= 5) ADD_FAILURE() << std::hex << M << " " << E << ": " << Want << " vs " << Got;
    }
    EXPECT_EQ(Differ, 0);
  }
}

}  // namespace
