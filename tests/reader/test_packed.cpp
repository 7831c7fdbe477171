// Every reader of packed integers agrees: the scanner's short path and its
// checked path (a form at the very end of the window), the cursor, the
// 64-bit reader of range bounds and the value decoders' reader, for every
// first byte, in a unit of release 3 (no high word) and of release 7, the
// signed and the unsigned form; and each moves past the same bytes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "DCU_Cursor.h"
#include "DeclValues.h"
#include "ReaderTestUtil.h"

using readertest::ScanWindow;

namespace {

struct TRead {
  int64_t Signed = 0, Unsigned = 0;  // with the high word above the low
  uint32_t Len = 0;
  bool operator==(const TRead&) const = default;
};

int64_t Wide(uint32_t Low, int32_t High) { return static_cast<int64_t>((uint64_t(uint32_t(High)) << 32) | Low); }

TRead ByScanner(int Version, std::vector<uint8_t> Bytes, bool Room, bool Cursor) {
  if (Room) Bytes.insert(Bytes.end(), 8, 0xEE);
  TRead R;
  ScanWindow W(Version, Bytes);
  if (Cursor) {
    TReadCursor C;
    const uint32_t U = C.PackedUInt();
    R.Unsigned = Wide(U, C.LastHigh());
  } else {
    const uint32_t U = GetPackedUInt();
    R.Unsigned = Wide(U, PackedHigh);
  }
  R.Len = W.Offset();
  ScanWindow W2(Version, Bytes);
  const int32_t S = Cursor ? TReadCursor().PackedInt() : GetPackedInt();
  R.Signed = Wide(static_cast<uint32_t>(S), PackedHigh);
  return R;
}

}  // namespace

TEST(Packed, EveryReaderAgreesOnEveryForm) {
  std::mt19937 Rng(7);
  for (int Version : {3, 7})
    for (int B0 = 0; B0 < 256; ++B0)
      for (int Trial = 0; Trial < 4; ++Trial) {
        std::vector<uint8_t> Bytes(9);
        Bytes[0] = static_cast<uint8_t>(B0);
        for (size_t I = 1; I < Bytes.size(); ++I) Bytes[I] = static_cast<uint8_t>(Rng());
        uint32_t Len = 0;
        const int64_t Bounds = PackedInt64At(Bytes.data(), Bytes.size(), Version, Len);
        ASSERT_GT(Len, 0u);
        Bytes.resize(Len);  // the form alone: the scanner's checked path
        SCOPED_TRACE(testing::PrintToString(Bytes) + " version " + std::to_string(Version));
        const TRead Checked = ByScanner(Version, Bytes, false, false);
        EXPECT_EQ(Checked.Len, Len);
        EXPECT_EQ(Checked.Signed, Bounds);
        EXPECT_EQ(ByScanner(Version, Bytes, true, false), Checked);
        EXPECT_EQ(ByScanner(Version, Bytes, true, true), Checked);
        EXPECT_EQ(ByScanner(Version, Bytes, false, true), Checked);
        for (bool Signed : {true, false}) {
          const uint8_t* P = Bytes.data();
          int64_t V = 0;
          ASSERT_TRUE(ReadPackedAt(P, Bytes.data() + Bytes.size(), Version, Signed, V));
          EXPECT_EQ(static_cast<uint32_t>(P - Bytes.data()), Len);
          // The value decoders keep an unsigned five-byte value without
          // its high word when there is none.
          EXPECT_EQ(V, Signed ? Checked.Signed : Checked.Unsigned);
        }
      }
}
