// The read cursor against the scanner: the same reads over the same windows
// give the same values, high parts, positions and errors, whether the values
// lie well inside the window, run into its end or take the long forms.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "DCU_Cursor.h"
#include "ReaderTestUtil.h"

namespace {

enum class TOp { Byte, UInt, Int };

struct TTrace {
  std::vector<int64_t> Values;
  std::vector<int32_t> Highs;
  std::string Error;
  int64_t ErrorOffset = -2;
  TPos End = nullptr;
  int32_t HighAtEnd = 0;
};

// Runs Ops over the window [Data, Data + Size), by the scanner or by a cursor.
TTrace Run(const std::vector<TOp>& Ops, TPos Data, int64_t Size, bool ByCursor) {
  TTrace T;
  TReadWindow Saved;
  PushWindow(Saved, Data, Size);
  PackedHigh = 7;  // what the reads before left
  try {
    if (ByCursor) {
      TReadCursor In;
      for (TOp Op : Ops) {
        if (Op == TOp::Byte) T.Values.push_back(In.Byte());
        if (Op == TOp::UInt) T.Values.push_back(In.PackedUInt());
        if (Op == TOp::Int) T.Values.push_back(In.PackedInt());
        T.Highs.push_back(In.LastHigh());
      }
    } else {
      for (TOp Op : Ops) {
        if (Op == TOp::Byte) T.Values.push_back(GetByte());
        if (Op == TOp::UInt) T.Values.push_back(GetPackedUInt());
        if (Op == TOp::Int) T.Values.push_back(GetPackedInt());
        T.Highs.push_back(PackedHigh);
      }
    }
  } catch (const EDCUReadError& E) {
    T.Error = E.Text();
    T.ErrorOffset = E.FileOffset;
  }
  T.End = WinPos;
  T.HighAtEnd = PackedHigh;
  PopWindow(Saved);
  return T;
}

// Bytes that favour the packed forms' length bits, the five-byte form and
// sign bits among them.
std::vector<uint8_t> RandomBytes(std::mt19937& Rng, size_t N) {
  std::vector<uint8_t> B(N);
  for (auto& X : B) {
    const unsigned R = Rng() % 8;
    X = R < 2 ? static_cast<uint8_t>(Rng()) & 0xFE : R < 4 ? static_cast<uint8_t>((Rng() & 0xF0) | 0x0F)
        : R < 5 ? 0xFF : static_cast<uint8_t>(Rng());
  }
  return B;
}

void ExpectSameRuns(int Version, unsigned Seed) {
  std::mt19937 Rng(Seed);
  auto Unit = readertest::Load(unitbuilder::MinimalUnit(Version));
  ActiveUnit = Unit.get();  // the long packed form depends on the version
  for (int Round = 0; Round < 3000; ++Round) {
    const auto Bytes = RandomBytes(Rng, 40);
    // A window anywhere in the bytes, often shorter than a value: reads
    // past its end meet bytes that are there but not to be read.
    const size_t From = Rng() % 8;
    const int64_t Size = static_cast<int64_t>(Rng() % 28);
    std::vector<TOp> Ops(1 + Rng() % 12);
    for (TOp& Op : Ops) Op = static_cast<TOp>(Rng() % 3);
    const TTrace A = Run(Ops, Bytes.data() + From, Size, false);
    const TTrace B = Run(Ops, Bytes.data() + From, Size, true);
    SCOPED_TRACE("version " + std::to_string(Version) + ", round " + std::to_string(Round));
    ASSERT_EQ(A.Values, B.Values);
    ASSERT_EQ(A.Highs, B.Highs);
    ASSERT_EQ(A.Error, B.Error);
    ASSERT_EQ(A.ErrorOffset, B.ErrorOffset);
    ASSERT_EQ(A.End, B.End);
    ASSERT_EQ(A.HighAtEnd, B.HighAtEnd);
  }
  ActiveUnit = nullptr;
}

TEST(ReadCursor, ReadsAsTheScannerDoesInEveryVersion) {
  unsigned Seed = 1;
  for (int Version : {2, 3, 7, 100, 103}) ExpectSameRuns(Version, Seed++);
}

// The caller's own error after Sync names the cursor's position; a cursor
// that goes without an error leaves the scanner where it stopped.
TEST(ReadCursor, SyncAndScopeEndGiveThePositionBack) {
  const std::vector<uint8_t> Bytes = {0x04, 0x06, 0x0D, 0x00, 0x02, 0x08, 0x00, 0x00, 0x00};
  TReadWindow Saved;
  PushWindow(Saved, Bytes.data(), static_cast<int64_t>(Bytes.size()));
  TagMark = Bytes.data();
  std::string Text;
  {
    TReadCursor In;
    EXPECT_EQ(In.PackedUInt(), 2u);
    EXPECT_EQ(In.PackedInt(), 3);
    EXPECT_EQ(In.PackedUInt(), 3u);  // two-byte form
    EXPECT_EQ(WinPos, Bytes.data());  // not yet written back
    try {
      In.Sync();
      RaiseReadError("stop here");
    } catch (const EDCUReadError& E) {
      Text = E.Text();
    }
  }
  EXPECT_EQ(Text.substr(0, 12), "Error at 0x4");
  EXPECT_EQ(WinPos, Bytes.data() + 4);
  {
    TReadCursor In;
    EXPECT_EQ(In.Byte(), 0x02);
    EXPECT_EQ(In.PackedUInt(), 4u);
  }
  EXPECT_EQ(WinPos, Bytes.data() + 6);
  EXPECT_EQ(PackedHigh, 0);
  PopWindow(Saved);
}

}  // namespace
