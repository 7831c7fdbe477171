// Two builds of a unit compared: a unit against itself differs in nothing;
// a changed version and used unit, a declaration added, removed and
// changed, and a routine's code changed by one byte each show as that and
// nothing else; the real pairs of the corpus differ in the interface names
// their sources' interface sections differ in.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "CodeListing.h"
#include "DCU_Unit.h"
#include "FolderUnits.h"
#include "SampleUnits.h"
#include "SourceInterface.h"
#include "TempFolder.h"
#include "TestData.h"
#include "UnitBuilder.h"
#include "UnitDiff.h"
#include "UnitDiffWriters.h"

namespace fs = std::filesystem;

namespace {

class Diff : public ::testing::Test {
 protected:
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const { return Temp.Write(Name, Bytes); }
  const testdata::TTempFolder Temp{"diff"};
};

using unitbuilder::FolderUnit;

}  // namespace

TEST_F(Diff, AUnitAgainstItselfDiffersInNothing) {
  const std::string A = Write("A.dcu", unitbuilder::DemoUnit(7));
  const TUnitDiff D = CompareUnitFiles(A, A);
  EXPECT_TRUE(D.Same());
  std::ostringstream Out;
  WriteUnitDiffText(D, Out);
  EXPECT_NE(Out.str().find("No difference"), std::string::npos);
}

TEST_F(Diff, EachKindOfChangeShowsAsItself) {
  const std::string A = Write("A.dcu", FolderUnit("Lib", 6, {{"Base"}}, {{"Keep", 1}, {"Gone", 2}, {"Moved", 3}}));
  const std::string B = Write("B.dcu", FolderUnit("Lib", 7, {{"Base"}, {"More"}}, {{"Keep", 1}, {"Moved", 3}, {"New", 4}}));
  const TUnitDiff D = CompareUnitFiles(A, B);
  ASSERT_TRUE(D.Loaded());
  std::set<std::string> Facts;
  for (const TDiffFact& F : D.Facts) Facts.insert(F.What + ": " + F.Before + " -> " + F.After);
  EXPECT_TRUE(Facts.count("version: 6 -> 7")) << testing::PrintToString(Facts);
  EXPECT_TRUE(Facts.count("uses (interface): Base -> Base, More")) << testing::PrintToString(Facts);
  std::set<std::string> Decls;
  for (const TDiffDecl& X : D.Decls) Decls.insert(std::string(DiffKindName(X.Kind)) + " " + X.Name);
  EXPECT_TRUE(Decls.count("removed Gone")) << testing::PrintToString(Decls);
  EXPECT_TRUE(Decls.count("added New")) << testing::PrintToString(Decls);
  EXPECT_FALSE(Decls.count("changed Keep")) << testing::PrintToString(Decls);
}

TEST_F(Diff, OneByteOfARoutineChangesThatRoutineOnly) {
  std::vector<uint8_t> Bytes = unitbuilder::DemoUnit(7);
  uint32_t At = 0;
  std::string Name;
  {
    TUnit U("Demo.dcu", std::span<const uint8_t>(Bytes));
    const TCodeLister L(U);
    ASSERT_GT(L.RoutineCount(), 0u);
    const TCodeRoutine R = L.Routine(0);
    Name = R.Head.QualifiedName;
    // A byte no fixup fills.
    for (At = 0; At < R.Bytes.size(); ++At) {
      bool Fixed = false;
      for (const TCodeFixup& F : R.Fixups) Fixed |= At >= F.Offset && At < F.Offset + F.Size;
      if (!Fixed) break;
    }
    ASSERT_LT(At, R.Bytes.size());
    At += R.Head.Offset;
  }
  const std::string A = Write("A.dcu", Bytes);
  Bytes[At] ^= 0x01;
  const std::string B = Write("B.dcu", Bytes);
  const TUnitDiff D = CompareUnitFiles(A, B);
  ASSERT_TRUE(D.Loaded());
  EXPECT_TRUE(D.Facts.empty());
  EXPECT_TRUE(D.Decls.empty());
  ASSERT_EQ(D.Code.size(), 1u);
  EXPECT_EQ(D.Code[0].Name, Name);
  EXPECT_EQ(D.Code[0].Kind, TDiffKind::Changed);
  EXPECT_FALSE(D.Code[0].Lines.empty());
}

TEST_F(Diff, AUnitThatDoesNotLoadIsTrouble) {
  const std::string A = Write("A.dcu", unitbuilder::DemoUnit(7));
  const std::string B = Write("B.dcu", {1, 2, 3});
  const TUnitDiff D = CompareUnitFiles(A, B);
  EXPECT_FALSE(D.Loaded());
  EXPECT_FALSE(D.ErrorB.empty());
  EXPECT_FALSE(D.Same());
}

// The real pairs: the names that one interface section declares at the top
// level and the other does not are the declarations the comparison finds
// added and removed in the interface (routines and types; the parser takes
// every branch of a conditional, so names inside one are left aside).
TEST(DiffCorpus, RealPairsDifferInTheNamesTheirSourcesDifferIn) {
  const fs::path Units = testdata::CorpusDir() / "v3", Src = testdata::CorpusSourceDir() / "v3";
  const fs::path A = Units / "vrodic-DPE__GIFIMAGE.dcu", B = Units / "vrodic-DPE__GIFIMAGE_2.dcu";
  if (!fs::exists(A) || !fs::exists(B) || !fs::exists(Src / "vrodic-DPE__GIFIMAGE.pas"))
    GTEST_SKIP() << "no GIFIMAGE pair under " << Units << " with its sources; skipped";
  std::set<std::string> Conditional;  // in a conditional branch of either source
  auto Names = [&](const fs::path& P) {
    const std::vector<uint8_t> Bytes = testdata::ReadFileBytes(P);
    srcintf::TSourceParser Parser(srcintf::Tokenize(std::string(Bytes.begin(), Bytes.end())));
    Parser.Run();
    std::set<std::string> Out;
    for (const srcintf::TSrcDecl& D : Parser.Decls) {
      Out.insert(D.Name);
      if (D.Cond) Conditional.insert(D.Name);
    }
    return Out;
  };
  const std::set<std::string> SrcA = Names(Src / "vrodic-DPE__GIFIMAGE.pas"), SrcB = Names(Src / "vrodic-DPE__GIFIMAGE_2.pas");
  const TUnitDiff D = CompareUnitFiles(A.string(), B.string());
  ASSERT_TRUE(D.Loaded());
  std::set<std::string> Added, Removed;
  for (const TDiffDecl& X : D.Decls)
    if (X.Section == "interface" && X.What != "member")
      if (X.Kind != TDiffKind::Changed) (X.Kind == TDiffKind::Added ? Added : Removed).insert(X.Name);
  Added.erase("");
  Removed.erase("");
  for (const std::string& N : Conditional) Added.erase(N), Removed.erase(N);
  std::set<std::string> SrcAdded, SrcRemoved;
  for (const std::string& N : SrcB)
    if (!SrcA.count(N) && !Conditional.count(N)) SrcAdded.insert(N);
  for (const std::string& N : SrcA)
    if (!SrcB.count(N) && !Conditional.count(N)) SrcRemoved.insert(N);
  EXPECT_FALSE(SrcRemoved.empty());
  EXPECT_EQ(Added, SrcAdded);
  EXPECT_EQ(Removed, SrcRemoved);
}
