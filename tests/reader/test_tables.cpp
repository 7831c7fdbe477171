// Unit-level tables: fixups, code lines, line ranges, local variables, and
// the end check that a data block and a fixup table were read.
#include <gtest/gtest.h>

#include "ReaderTestUtil.h"

using readertest::Load;
using readertest::LoadError;
using unitbuilder::UnitBuilder;

namespace {

// Header and two source files; the top level is open for the test's tables.
UnitBuilder Start(int Version = 7) {
  UnitBuilder B(Version);
  B.Header().SourceFile("T.pas").SourceFile("T.inc");
  return B;
}

bool Contains(const std::string& S, const std::string& Part) { return S.find(Part) != std::string::npos; }

}  // namespace

TEST(Tables, EndCheckNeedsDataBlockAndFixups) {
  {
    UnitBuilder B = Start();
    B.TrivialFixups().Stop();  // no data block
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "): stop tag"));
  }
  {
    UnitBuilder B = Start();
    B.DataBlock(4).Stop();  // no fixups
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "): stop tag"));
  }
  {
    // An empty fixup table leaves Fixups at none: the end check fails, and a
    // second table is not reported as such.
    UnitBuilder B = Start();
    B.DataBlock(4).Fixups({}).Fixups({}).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "): stop tag"));
  }
  {
    UnitBuilder B = Start();
    B.DataBlock(4).DataBlock(4).TrivialFixups().Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "): 2nd Data block"));
  }
  {
    UnitBuilder B = Start();
    B.DataBlock(4).TrivialFixups().TrivialFixups().Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "): 2nd fixup"));
  }
  {
    // A data block running past the end of the file.
    UnitBuilder B = Start();
    B.Byte(0x6C).PackedUInt(1000).Fill(10);
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Wrong block size 3E8"));
  }
}

TEST(Tables, FixupOffsetsAreCheckedAgainstTheDataBlock) {
  {
    // Fixups before the data block: DataSize is still 0.
    UnitBuilder B = Start();
    B.Fixups({{4, 0, 0}}).DataBlock(8).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Fixup offset 0x4>Block size = 0x0"));
  }
  {
    // Running offset equal to DataSize passes; one more fails.
    UnitBuilder B = Start();
    B.DataBlock(0x10).Fixups({{8, 1, 0}, {8, 2, 0}}).Stop();
    auto U = Load(B.Finish());
    ASSERT_EQ(U->FixupCount, 2u);
    EXPECT_EQ(U->Fixups[1].FixupOfs, 0x10u);
    EXPECT_EQ(U->Fixups[1].FixupKind, 2u);
    UnitBuilder C = Start();
    C.DataBlock(0x10).Fixups({{8, 1, 0}, {9, 2, 0}}).Stop();
    EXPECT_TRUE(Contains(LoadError(C.Finish()), "Fixup offset 0x11>Block size = 0x10"));
  }
  {
    // A high word on the offset delta is refused.
    UnitBuilder B = Start();
    B.DataBlock(0x10).Byte(0x6D).PackedUInt(1).Packed9(0, 1).Byte(0).PackedUInt(0).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Fixup offset 0x0>Block size = 0x10"));
  }
  {
    // More entries announced than present: the scanner's error, no huge allocation.
    UnitBuilder B = Start();
    B.DataBlock(0).Byte(0x6D).PackedUInt(0x0FFFFFFF).PackedUInt(0).Byte(0).PackedUInt(0);
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Wrong block size 1"));
  }
}

TEST(Tables, FixupOffsetsKeep24Bits) {
  const uint32_t Big = 0x1000010;  // beyond 16 MiB
  UnitBuilder B = Start();
  B.DataBlock(Big, 0).Fixups({{Big, 1, 0}}).Stop();
  auto U = Load(B.Finish());
  EXPECT_EQ(U->Fixups[0].FixupOfs, 0x10u);
  EXPECT_EQ(U->DataSize, static_cast<int32_t>(Big));
}

TEST(Tables, CodeLinesAreDeltaCoded) {
  UnitBuilder B = Start();
  B.DataBlock(0x20).TrivialFixups();
  B.Byte(0x90).PackedUInt(3);
  B.PackedInt(10).PackedUInt(0).PackedInt(5).PackedUInt(4).PackedInt(-3).PackedUInt(0x1C);
  B.Stop();
  auto U = Load(B.Finish());
  ASSERT_EQ(U->CodeLineCount, 3u);
  EXPECT_EQ(U->CodeLines[0].LineNum, 10);
  EXPECT_EQ(U->CodeLines[1].LineNum, 15);
  EXPECT_EQ(U->CodeLines[1].LineOfs, 4u);
  EXPECT_EQ(U->CodeLines[2].LineNum, 12);
  EXPECT_EQ(U->CodeLines[2].LineOfs, 0x20u);  // equal to DataSize passes

  UnitBuilder C = Start();
  C.DataBlock(0x20).TrivialFixups().Byte(0x90).PackedUInt(1).PackedInt(1).PackedUInt(0x21).Stop();
  EXPECT_TRUE(Contains(LoadError(C.Finish()), "Code line offset 0x21>Block size = 0x20"));

  UnitBuilder D = Start();
  D.DataBlock(0).TrivialFixups().Byte(0x90).PackedUInt(0).Byte(0x90).PackedUInt(0).Stop();
  auto U2 = Load(D.Finish());
  EXPECT_TRUE(U2->CodeLines.empty());  // count 0: none, and no "2nd" message

  UnitBuilder E = Start();
  E.DataBlock(0).TrivialFixups().Byte(0x90).PackedUInt(1).PackedInt(1).PackedUInt(0);
  E.Byte(0x90).PackedUInt(0).Stop();
  EXPECT_TRUE(Contains(LoadError(E.Finish()), "2nd Code Lines table"));
}

TEST(Tables, LineRangesNameSourceFiles) {
  UnitBuilder B = Start();
  B.DataBlock(0).TrivialFixups();
  B.Byte(0x91).PackedUInt(2);
  B.PackedUInt(1).PackedUInt(20).PackedUInt(0);
  B.PackedUInt(5).PackedUInt(7).PackedUInt(1);
  B.Stop();
  auto U = Load(B.Finish());
  ASSERT_EQ(U->LineRangeCount, 2u);
  EXPECT_EQ(U->LineRanges[0].LineBase, 0u);
  EXPECT_EQ(U->LineRanges[1].LineBase, 20u);
  EXPECT_EQ(U->LineRanges[1].FirstLine, 5u);
  EXPECT_EQ(U->LineRanges[0].SrcFile, U->SourceFiles.get());
  EXPECT_EQ(U->LineRanges[1].SrcFile, U->SourceFiles->Next.get());

  // The number of source files itself is one too many.
  UnitBuilder C = Start();
  C.DataBlock(0).TrivialFixups().Byte(0x91).PackedUInt(1).PackedUInt(1).PackedUInt(1).PackedUInt(2).Stop();
  EXPECT_TRUE(Contains(LoadError(C.Finish()), "Source file number 2 is out of range"));

  UnitBuilder D = Start();
  D.DataBlock(0).TrivialFixups().Byte(0x91).PackedUInt(1).PackedUInt(1).PackedUInt(1).PackedUInt(0);
  D.Byte(0x91).PackedUInt(1).PackedUInt(1).PackedUInt(1).PackedUInt(0).Stop();
  EXPECT_TRUE(Contains(LoadError(D.Finish()), "2nd Line Ranges table"));
}

TEST(Tables, LocalVarsAreKeptAsRead) {
  UnitBuilder B = Start();
  B.DataBlock(0).TrivialFixups();
  B.Byte(0x94).PackedUInt(2);
  B.PackedUInt(0).PackedUInt(4).PackedInt(-8);
  B.PackedUInt(3).PackedUInt(9).PackedInt(100000);
  B.Stop();
  auto U = Load(B.Finish());
  ASSERT_EQ(U->LocalVarCount, 2u);
  EXPECT_EQ(U->LocalVars[0].VarLocation, -8);
  EXPECT_EQ(U->LocalVars[1].VarDecl, 3u);
  EXPECT_EQ(U->LocalVars[1].VarCodeOfs, 9u);
  EXPECT_EQ(U->LocalVars[1].VarLocation, 100000);

  UnitBuilder C = Start();
  C.DataBlock(0).TrivialFixups();
  C.Byte(0x94).PackedUInt(1).PackedUInt(0).PackedUInt(0).PackedInt(0);
  C.Byte(0x94).PackedUInt(0).Stop();
  EXPECT_TRUE(Contains(LoadError(C.Finish()), "2nd Local Vars table"));
}

TEST(Tables, SourceFileByNumWalksTheChain) {
  auto U = Load(Start().DataBlock(0).TrivialFixups().Stop().Finish());
  EXPECT_EQ(U->SourceFileByNum(0), U->SourceFiles.get());
  EXPECT_NE(U->SourceFileByNum(1), nullptr);
  EXPECT_EQ(U->SourceFileByNum(2), nullptr);
  EXPECT_EQ(U->SourceFileByNum(-1), nullptr);
  EXPECT_EQ(U->SourceFileCount(), 2u);
}
