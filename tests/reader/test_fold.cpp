// The letter-case rule of names (DCU_Fold.h): the word fold of the name
// index is the byte fold eight times, and the upper- and lower-case folds
// call the same pairs of bytes equal.
#include <gtest/gtest.h>

#include <cstring>

#include "DCU_Fold.h"
#include "DCU_Unit.h"

TEST(Fold, TheWordFoldIsTheByteFoldAtEveryPlace) {
  for (int B = 0; B < 256; ++B)
    for (int At = 0; At < 8; ++At) {
      unsigned char Bytes[8] = {'a', 'Z', '_', 0x80, 'q', '@', 0xE0, '{'};
      Bytes[At] = static_cast<unsigned char>(B);
      uint64_t W;
      std::memcpy(&W, Bytes, 8);
      const uint64_t F = FoldUpperWord(W);
      unsigned char Folded[8];
      std::memcpy(Folded, &F, 8);
      for (int K = 0; K < 8; ++K) ASSERT_EQ(Folded[K], FoldUpper(Bytes[K])) << B << " at " << At;
    }
}

TEST(Fold, BothDirectionsCallTheSameBytesEqual) {
  int Equal = 0;
  for (int A = 0; A < 256; ++A)
    for (int B = 0; B < 256; ++B) {
      const auto CA = static_cast<unsigned char>(A), CB = static_cast<unsigned char>(B);
      const bool Upper = FoldUpper(CA) == FoldUpper(CB);
      ASSERT_EQ(Upper, FoldLower(CA) == FoldLower(CB)) << A << " " << B;
      Equal += Upper && A != B;
    }
  EXPECT_EQ(Equal, 2 * 26);  // only the ASCII letters pair up: 0xC0 and 0xE0 do not
  EXPECT_EQ(CompareNamesNoCase("TStream\xE9", "tstream\xE9"), 0);
  EXPECT_NE(CompareNamesNoCase("TStream\xC9", "tstream\xE9"), 0);
}
