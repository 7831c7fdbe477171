// Unit object: magic numbers, the two header layouts, the header tail,
// the stored length, file reading and construction from bytes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ReaderTestUtil.h"
#include "SampleUnits.h"

using readertest::Load;
using readertest::LoadError;
using unitbuilder::UnitBuilder;

namespace {

// Header with the given magic, a source file and the minimal tail of a unit.
std::vector<uint8_t> UnitWithMagic(uint32_t Magic, int Version) {
  UnitBuilder B(Version);
  B.Header().SourceFile("M.pas").DataBlock(0).TrivialFixups().Stop();
  for (int I = 0; I < 4; ++I) B.Bytes[I] = static_cast<uint8_t>(Magic >> (8 * I));
  return B.Finish();
}

}  // namespace

TEST(Header, EveryMagicNumberGivesItsVersion) {
  const std::vector<std::pair<uint32_t, int>> Table = {
      {0x50505348, 2},   {0x44518641, 3},   {0x4768A6D8, 4},   {0xF21F148B, 5},
      {0x0E0000DD, 6},   {0x0E8000DD, 6},   {0xFF0000DF, 7},   {0x0F0000DF, 7},
      {0xF21F148C, 100}, {0x0E0001DD, 101}, {0x0E1011DD, 101}, {0x0F1001DD, 103},
  };
  for (auto [Magic, V] : Table) {
    SCOPED_TRACE(Magic);
    auto U = Load(UnitWithMagic(Magic, V));
    EXPECT_EQ(U->Version, V);
    EXPECT_EQ(U->UnitName, "M");
  }
}

TEST(Header, BlockFixupKindsFollowTheVersion) {
  const std::vector<std::tuple<int, int, int>> Table = {
      {2, 3, 4}, {3, 5, 6}, {6, 5, 6}, {7, 6, 7}, {100, 5, 6}, {101, 5, 6}, {103, 6, 7}};
  for (auto [V, A, B] : Table) {
    auto U = Load(unitbuilder::MinimalUnit(V));
    EXPECT_EQ(BlockFixupKindA, A) << V;
    EXPECT_EQ(BlockFixupKindB, B) << V;
  }
}

TEST(Header, WrongMagicAndWrongSize) {
  std::vector<uint8_t> Bad = unitbuilder::MinimalUnit(7);
  Bad[0] = 0x78; Bad[1] = 0x56; Bad[2] = 0x34; Bad[3] = 0x12;
  // The error comes before the first tag: offset 0 and the NUL tag.
  EXPECT_EQ(LoadError(Bad), std::string("Error at 0x4(Def: 0x0, Tag=\"\0\"(0x0)): Wrong magic: 0x12345678", 61));

  std::vector<uint8_t> Long = unitbuilder::MinimalUnit(7);
  uint32_t Stored = static_cast<uint32_t>(Long.size());
  Long.push_back(0);
  char Expect[128];
  std::snprintf(Expect, sizeof Expect, "Wrong size: 0x%X<>0x%X", Stored + 1, Stored);
  std::string T = LoadError(Long);
  EXPECT_NE(T.find(Expect), std::string::npos) << T;
  EXPECT_EQ(T.rfind("Error at 0x8(", 0), 0u) << T;

  EXPECT_NE(LoadError({}).find("Wrong block size 4"), std::string::npos);
  EXPECT_NE(LoadError({0x48, 0x53}).find("Wrong block size 4"), std::string::npos);
}

TEST(Header, Version2HasTheShortHeader) {
  UnitBuilder B(2);
  B.Header();
  EXPECT_EQ(B.Size(), 13u);
  // A 0x96 right after the short header is not a header tag: it is taken as
  // the first tag and there is then no source file.
  UnitBuilder C(2);
  C.Header().Byte(0x96).PackedUInt(1).SourceFile("X.pas").DataBlock(0).TrivialFixups().Stop();
  EXPECT_NE(LoadError(C.Finish()).find("No source files"), std::string::npos);
  auto U = Load(unitbuilder::MinimalUnit(2, "Two"));
  EXPECT_EQ(U->UnitName, "Two");
  EXPECT_TRUE(U->DeclTable.empty());
}

TEST(Header, Version7ReservesDeclarationNumberOne) {
  for (int V : {7}) {
    auto U = Load(unitbuilder::MinimalUnit(V));
    ASSERT_EQ(U->DeclTable.size(), 1u);
    EXPECT_EQ(U->DeclTable[0], nullptr);
  }
  for (int V : {3, 6, 100, 103}) {
    auto U = Load(unitbuilder::MinimalUnit(V));
    EXPECT_TRUE(U->DeclTable.empty()) << V;
  }
}

TEST(Header, LongHeaderTagsAndSkippedBytes) {
  {
    // Three 0x0F tags in a row, each with its dword, then 0x96 with two values.
    UnitBuilder B(100);
    B.DWord(unitbuilder::MagicOf(100)).DWord(0).DWord(0).DWord(0xABCD).Byte(0);
    for (int I = 0; I < 3; ++I) B.Byte(0x0F).DWord(0x0F0F0F0F);
    B.Byte(0x96).PackedUInt(7).PackedUInt(9);
    B.SourceFile("L.pas").DataBlock(0).TrivialFixups().Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->HeaderFlags, 0xABCDu);
    EXPECT_EQ(U->HeaderExtra1, 7u);
    EXPECT_EQ(U->HeaderExtra2, 9u);
    EXPECT_EQ(U->UnitName, "L");
  }
  {
    // Version 101, first tag neither 0x0F nor 0x96: three bytes follow it.
    UnitBuilder B(101);
    B.DWord(unitbuilder::MagicOf(101)).DWord(0).DWord(0).DWord(0).Byte(0);
    B.Byte(0x11).Raw({0x70, 0x70, 0x70});
    B.SourceFile("S.pas").DataBlock(0).TrivialFixups().Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->UnitName, "S");
    EXPECT_EQ(U->HeaderExtra1, 0u);
  }
  {
    // Version 103 starting with 0x96 directly: no bytes skipped.
    UnitBuilder B(103);
    B.DWord(unitbuilder::MagicOf(103)).DWord(0).DWord(0).DWord(0).Byte(0);
    B.Byte(0x96).PackedUInt(1).PackedUInt(2);
    B.SourceFile("T.pas").DataBlock(0).TrivialFixups().Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->HeaderExtra2, 2u);
  }
}

TEST(Header, ExtraTagCarriesOneValueUpToVersion3) {
  {
    UnitBuilder B(3);
    B.Header(0, true, 5).SourceFile("A.pas").DataBlock(0).TrivialFixups().Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->HeaderExtra1, 5u);
    EXPECT_EQ(U->HeaderExtra2, 0u);
  }
  for (int V : {4, 7}) {
    UnitBuilder B(V);
    B.Header(0, true, 5, 300).SourceFile("A.pas").DataBlock(0).TrivialFixups().Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->HeaderExtra1, 5u);
    EXPECT_EQ(U->HeaderExtra2, 300u);
  }
}

TEST(Header, MinimalUnitOfEveryVersionLoads) {
  for (int V : unitbuilder::AllVersions()) {
    auto U = Load(unitbuilder::MinimalUnit(V, "Min"));
    EXPECT_EQ(U->Version, V);
    EXPECT_EQ(U->UnitName, "Min");
    EXPECT_EQ(U->FileName, "test.dcu");
    EXPECT_EQ(U->ImageSize, static_cast<int32_t>(unitbuilder::MinimalUnit(V, "Min").size()));
  }
}

TEST(Header, FileReadingAndItsErrors) {
  namespace fs = std::filesystem;
  fs::path Dir = fs::temp_directory_path() / "unitpeek_header_test";
  fs::create_directories(Dir);
  fs::path P = Dir / "Disk.dcu";
  ASSERT_TRUE(unitbuilder::WriteUnitFile(P.string(), unitbuilder::MinimalUnit(6, "Disk")));
  UnitConstructionCount = 0;
  TJXUnit U(P.string());
  EXPECT_EQ(U.UnitName, "Disk");
  EXPECT_EQ(U.FileName, P.string());

  std::string Missing = (Dir / "none.dcu").string();
  try {
    TUnit M(Missing);
    ADD_FAILURE() << "missing file loaded";
  } catch (const EDCUReadError& E) {
    EXPECT_EQ(E.Text(), "Cannot read file \"" + Missing + "\": No such file or directory");
  }
  try {
    TUnit D(Dir.string());
    ADD_FAILURE() << "directory loaded";
  } catch (const EDCUReadError& E) {
    EXPECT_EQ(E.Text(), "Cannot read file \"" + Dir.string() + "\": Is a directory");
  }
  // A FIFO would block the read forever, a device never end: refused unread.
  const std::string Fifo = (Dir / "pipe.dcu").string();
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  for (const std::string& Special : {Fifo, std::string("/dev/zero")}) {
    try {
      TUnit S(Special);
      ADD_FAILURE() << Special << " loaded";
    } catch (const EDCUReadError& E) {
      EXPECT_EQ(E.Text(), "Cannot read file \"" + Special + "\": not a regular file");
    }
  }
  fs::remove_all(Dir);
}

TEST(Header, FirstUnitIsDecidedByConstructionOrder) {
  // Load the same bytes twice: the first load has no unit part, the second
  // names the unit file even if it reuses the first one's memory.
  std::vector<uint8_t> Bad = unitbuilder::MinimalUnit(7);
  Bad[0] = 0;
  EXPECT_EQ(LoadError(Bad, true, "C:\\x\\First.dcu").find("Error at 0x4(Def"), 0u);
  EXPECT_NE(LoadError(Bad, false, "C:\\x\\Second.dcu").find("Error at 0x4 in Second (Def: 0x0"),
            std::string::npos);
  EXPECT_NE(LoadError(Bad, false, "C:\\x\\Second.dcu").find("Error at 0x4 in Second (Def: 0x0"),
            std::string::npos);
}

// A unit whose file cannot be read does not stay the unit being read: an
// error raised afterwards must not reach into the object that never was.
TEST(Header, AFileThatCannotBeReadLeavesNoUnitBehind) {
  auto Loaded = readertest::Load(unitbuilder::MinimalUnit(7));
  EXPECT_EQ(ActiveUnit.get(), Loaded.get());
  try {
    TUnit Missing("/nonexistent/folder/unit.dcu");
    ADD_FAILURE() << "a missing file loaded";
  } catch (const EDCUReadError&) {
  }
  EXPECT_EQ(ActiveUnit.get(), nullptr);
  EXPECT_EQ(ScanFile, nullptr);
  EXPECT_EQ(readertest::ErrorOf([] { RaiseReadError("m"); }), "Error: m");
}
