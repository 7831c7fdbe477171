// Byte scanner: packed integers, names, block checks and error texts.
#include <gtest/gtest.h>

#include "ReaderTestUtil.h"

using namespace std::string_literals;
using readertest::ErrorOf;
using readertest::ScanWindow;

namespace {

struct PackedCase {
  std::vector<uint8_t> Bytes;
  uint32_t Unsigned;
  int32_t Signed;
};

// Every form once, at its limits and with the sign bit set.
const std::vector<PackedCase>& WorkedExamples() {
  static const std::vector<PackedCase> Cases = {
      {{0x00}, 0, 0},
      {{0x0A}, 5, 5},
      {{0xFE}, 127, -1},
      {{0x80}, 64, -64},
      {{0x01, 0x02}, 128, 128},
      {{0xB1, 0x04}, 300, 300},
      {{0x71, 0xFE}, 16284, -100},
      {{0x03, 0x35, 0x0C}, 100000, 100000},
      {{0x03, 0x00, 0x80}, 1048576, -1048576},
      {{0x07, 0xB8, 0x17, 0xFE}, 266435456, -2000000},
      {{0x0F, 0x78, 0x56, 0x34, 0x12}, 0x12345678, 0x12345678},
      {{0x0F, 0x00, 0x00, 0x00, 0x80}, 0x80000000u, INT32_MIN},
  };
  return Cases;
}

}  // namespace

TEST(Scanner, PackedIntegersWorkedExamples) {
  const std::vector<PackedCase>& Cases = WorkedExamples();
  for (const PackedCase& C : Cases) {
    SCOPED_TRACE(testing::PrintToString(C.Bytes));
    {
      ScanWindow W(7, C.Bytes);
      EXPECT_EQ(GetPackedUInt(), C.Unsigned);
      EXPECT_EQ(PackedHigh, 0);
      EXPECT_EQ(W.Offset(), C.Bytes.size());
    }
    {
      ScanWindow W(7, C.Bytes);
      EXPECT_EQ(GetPackedInt(), C.Signed);
      EXPECT_EQ(PackedHigh, C.Signed < 0 ? -1 : 0);
      EXPECT_EQ(W.Offset(), C.Bytes.size());
    }
  }
}

TEST(Scanner, PackedIntegersReadTheSameWithRoomAfterThem) {
  // Far from the window's end the short forms are read without the checks
  // per byte: the same values, and the position right after the form.
  for (const PackedCase& C : WorkedExamples()) {
    SCOPED_TRACE(testing::PrintToString(C.Bytes));
    std::vector<uint8_t> Bytes = C.Bytes;
    Bytes.insert(Bytes.end(), 8, 0xFF);
    {
      ScanWindow W(7, Bytes);
      EXPECT_EQ(GetPackedUInt(), C.Unsigned);
      EXPECT_EQ(PackedHigh, 0);
      EXPECT_EQ(W.Offset(), C.Bytes.size());
    }
    {
      ScanWindow W(7, Bytes);
      EXPECT_EQ(GetPackedInt(), C.Signed);
      EXPECT_EQ(PackedHigh, C.Signed < 0 ? -1 : 0);
      EXPECT_EQ(W.Offset(), C.Bytes.size());
    }
  }
}

TEST(Scanner, HighWordOnlyFromVersion4) {
  const std::vector<uint8_t> Bytes = {0x1F, 0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x00, 0x00};
  for (int V : {4, 7, 100}) {
    ScanWindow W(V, Bytes);
    EXPECT_EQ(GetPackedUInt(), 0x12345678u);
    EXPECT_EQ(PackedHigh, 1);
    EXPECT_EQ(W.Offset(), 9u);
  }
  for (int V : {2, 3}) {
    ScanWindow W(V, Bytes);
    EXPECT_EQ(GetPackedUInt(), 0x12345678u);
    EXPECT_EQ(PackedHigh, 0);
    EXPECT_EQ(W.Offset(), 5u);
  }
  {
    // The signed form takes the high word as stored, not as a sign extension.
    ScanWindow W(7, {0x2F, 0xFF, 0xFF, 0xFF, 0xFF, 0x05, 0x00, 0x00, 0x00});
    EXPECT_EQ(GetPackedInt(), -1);
    EXPECT_EQ(PackedHigh, 5);
  }
  {
    // A new read clears a high word left by the previous one.
    ScanWindow W(7, {0x1F, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0A});
    GetPackedUInt();
    EXPECT_EQ(PackedHigh, -1);
    EXPECT_EQ(GetPackedUInt(), 5u);
    EXPECT_EQ(PackedHigh, 0);
  }
}

TEST(Scanner, BuilderWritesEveryFormReadBack) {
  // Non-minimal forms read back the same value; the builder's shortest form
  // and its signed forms agree with the reader at each form's limits.
  for (int Len = 1; Len <= 5; ++Len) {
    unitbuilder::UnitBuilder B;
    B.PackedUIntForm(42, Len).PackedIntForm(-42, Len);
    ScanWindow W(7, B.Bytes);
    EXPECT_EQ(GetPackedUInt(), 42u) << Len;
    EXPECT_EQ(GetPackedInt(), -42) << Len;
  }
  const std::vector<int32_t> Limits = {63, -64, 64, -65, 8191, -8192, 8192, 1048575, -1048576,
                                       134217727, -134217728, 134217728, INT32_MAX, INT32_MIN};
  unitbuilder::UnitBuilder B;
  for (int32_t V : Limits) B.PackedInt(V).PackedUInt(static_cast<uint32_t>(V));
  ScanWindow W(7, B.Bytes);
  for (int32_t V : Limits) {
    EXPECT_EQ(GetPackedInt(), V);
    EXPECT_EQ(GetPackedUInt(), static_cast<uint32_t>(V));
  }
}

TEST(Scanner, NamesBytesAndSkipPastByte) {
  {
    ScanWindow W(7, {0x00, 0x03, 'A', 'b', 'c', 0x41});
    TPos Empty = TakeName();
    EXPECT_EQ(Empty, W.Buf.data());
    EXPECT_EQ(W.Offset(), 1u);
    TPos N = TakeName();
    EXPECT_EQ(NameText(N), "Abc");
    EXPECT_EQ(NameView(Empty).size(), 0u);
    EXPECT_EQ(GetByte(), 0x41);
  }
  {
    ScanWindow W(7, {0x41, 0x42, 0x63, 0x44});
    EXPECT_EQ(SkipPastByte(0x63), W.Buf.data());
    EXPECT_EQ(GetByte(), 0x44);
  }
  {
    ScanWindow W(7, {0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(GetDWord(), 0x04030201u);
    TPos P = TakeBytes(1);
    EXPECT_EQ(*P, 0x05);
    EXPECT_EQ(W.Offset(), 5u);
    SkipBytes(0);  // a size of 0 always passes, also at the end
  }
}

TEST(Scanner, BlockErrorsAreDecoratedAndLeavePositionUnchanged) {
  {
    ScanWindow W(7, {0x2A, 0x11, 0x22, 0x33, 0x44});
    CurrentTag = GetTag();
    GetByte();
    EXPECT_EQ(ErrorOf([] { GetDWord(); }),
              "Error at 0x2(Def: 0x0, Tag=\"*\"(0x2A)): Wrong block size 4");
    EXPECT_EQ(W.Offset(), 2u);
    EXPECT_EQ(ErrorOf([] { SkipBytes(-1); }),
              "Error at 0x2(Def: 0x0, Tag=\"*\"(0x2A)): Negative block size -1");
    EXPECT_EQ(ErrorOf([] { TakeBytes(0x100); }),
              "Error at 0x2(Def: 0x0, Tag=\"*\"(0x2A)): Wrong block size 100");
    EXPECT_EQ(W.Offset(), 2u);
  }
  {
    // A name whose text runs past the end names its length.
    ScanWindow W(7, {0x05, 'a', 'b'});
    EXPECT_NE(ErrorOf([] { TakeName(); }).find("Wrong block size 5"), std::string::npos);
  }
  {
    // A packed integer cut short fails at its first missing byte.
    ScanWindow W(7, {0x07, 0x00});
    EXPECT_NE(ErrorOf([] { GetPackedUInt(); }).find("Error at 0x2(Def"), std::string::npos);
    EXPECT_NE(ErrorOf([] { GetPackedUInt(); }).find("Wrong block size 1"), std::string::npos);
  }
  {
    // SkipPastByte without the byte fails at the end of the window.
    ScanWindow W(7, {0x41, 0x42});
    EXPECT_NE(ErrorOf([] { SkipPastByte(0x63); }).find("Wrong block size 1"), std::string::npos);
  }
}

TEST(Scanner, ErrorTextForms) {
  // A NUL tag character is kept in the text.
  {
    ScanWindow W(7, {0x00});
    std::string T = ErrorOf([] { RaiseTagError("Bad"); });
    EXPECT_EQ(T, "Error at 0x0(Def: 0x0, Tag=\"\0\"(0x0)): Bad: wrong tag \"\0\"=0x0"s);
  }
  // Without a window: the short form.
  {
    TReadWindow Saved;
    PushWindow(Saved, nullptr, 0);
    auto First = readertest::Load(unitbuilder::MinimalUnit(6));
    TReadWindow Inner;
    PushWindow(Inner, nullptr, 0);
    EXPECT_EQ(ErrorOf([] { RaiseReadError("oops"); }), "Error: oops");
    PopWindow(Inner);
    PopWindow(Saved);
  }
  // FormatMsg: %x as unsigned 32-bit upper-case hex, %d signed, %s text or char.
  EXPECT_EQ(FormatMsg("%x|%x|%d|%d|%s|%s|%%", {255, -1, -5, 0xFFFFFFFFu, "ab", 'c'}),
            "FF|FFFFFFFF|-5|-1|ab|c|%");
}

TEST(Scanner, UnitPartNamesLaterUnits) {
  auto First = readertest::Load(unitbuilder::MinimalUnit(7));
  // The second unit of the run, whose unit name is still empty: the file
  // name without directory and extension stands in.
  auto Second = readertest::Load(unitbuilder::MinimalUnit(7), false, "/tmp/dir.x/Other.Unit.dcu");
  Second->UnitName.clear();
  ActiveUnit = Second.get();
  std::vector<uint8_t> Buf = {0x28};
  TReadWindow Saved;
  PushWindow(Saved, Buf.data(), 1);
  TagMark = Buf.data();
  CurrentTag = GetTag();
  std::string T = ErrorOf([] { RaiseReadError("m"); });
  PopWindow(Saved);
  EXPECT_EQ(T, "Error at 0x1 in Other.Unit (Def: 0x0, Tag=\"(\"(0x28)): m");
  EXPECT_EQ(ErrorOf([] { RaiseReadError("m"); }), "Error in Other.Unit : m");
  Second->UnitName = "Named";
  EXPECT_EQ(ErrorOf([] { RaiseReadError("m"); }), "Error in Named : m");
  ActiveUnit = First.get();
  EXPECT_EQ(ErrorOf([] { RaiseReadError("m"); }), "Error: m");
  // Backslash and colon paths lose their directory part too.
  Second->UnitName.clear();
  Second->FileName = "D:\\src\\Main.dcu";
  ActiveUnit = Second.get();
  EXPECT_EQ(ErrorOf([] { RaiseReadError("m"); }), "Error in Main : m");
}

TEST(Scanner, BareFileName) {
  EXPECT_EQ(BareFileName("D:\\src\\a/b/Main.pas"), "Main.pas");
  EXPECT_EQ(BareFileName("C:Main.pas"), "Main.pas");
  EXPECT_EQ(BareFileName("/usr/src/Unit1.pas"), "Unit1.pas");
  EXPECT_EQ(BareFileName("Main.pas"), "Main.pas");
  EXPECT_EQ(BareFileName("a/b\\c"), "c");
}

TEST(Scanner, NestedWindowStopsAtTheEnclosingEnd) {
  ScanWindow W(7, {0x02, 0x04, 0x06});
  TReadWindow Inner;
  // An 18-byte look from the second byte sees only the two bytes left.
  PushWindow(Inner, W.Buf.data() + 1, 18);
  EXPECT_EQ(GetPackedInt(), 2);
  EXPECT_EQ(GetPackedInt(), 3);
  EXPECT_NE(ErrorOf([] { GetByte(); }).find("Wrong block size 1"), std::string::npos);
  PopWindow(Inner);
  EXPECT_EQ(GetByte(), 0x02);
}

// The error object also carries where in the file the error happened,
// counted from the start of the file even inside a nested window.
TEST(Scanner, ErrorKnowsItsFileOffsets) {
  auto Unit = readertest::Load(unitbuilder::MinimalUnit(7));
  ActiveUnit = Unit.get();
  TPos Image = Unit->Image.get();
  TReadWindow Outer, Inner;
  PushWindow(Outer, Image, Unit->ImageSize);
  PushWindow(Inner, Image + 10, 3);
  TagMark = Image + 11;
  SkipBytes(2);
  int64_t At = -2, Def = -2;
  std::string Text;
  try {
    GetDWord();
  } catch (const EDCUReadError& E) {
    Text = E.Text();
    At = E.FileOffset;
    Def = E.DefOffset;
  }
  PopWindow(Inner);
  PopWindow(Outer);
  // The text keeps the offsets within the window.
  EXPECT_EQ(Text.substr(0, 25), "Error at 0x2(Def: 0x1, Ta");
  EXPECT_EQ(At, 12);
  EXPECT_EQ(Def, 11);
  // A block that is not part of the file, and no window at all: unknown.
  std::vector<uint8_t> Own = {1};
  PushWindow(Inner, Own.data(), 1);
  TagMark = Own.data();
  try {
    GetDWord();
  } catch (const EDCUReadError& E) {
    EXPECT_EQ(E.FileOffset, -1);
    EXPECT_EQ(E.DefOffset, -1);
  }
  PopWindow(Inner);
  try {
    RaiseReadError("m");
  } catch (const EDCUReadError& E) {
    EXPECT_EQ(E.FileOffset, -1);
  }
  // A file cut short fails at its end, in the outermost window.
  std::vector<uint8_t> Cut = unitbuilder::MinimalUnit(7);
  Cut.resize(20);
  try {
    readertest::Load(Cut);
    ADD_FAILURE() << "loaded";
  } catch (const EDCUReadError& E) {
    EXPECT_GE(E.FileOffset, 0);
    EXPECT_LE(E.FileOffset, 20);
    EXPECT_NE(E.Text().find(FormatMsg("Error at 0x%x", {static_cast<uint32_t>(E.FileOffset)})),
              std::string::npos);
  }
}
