// A folder's set read again in part without a window: which units are read
// again, and the report and find index in the new walk's order after.
#include <gtest/gtest.h>

#include <map>

#include "FindIndex.h"
#include "FolderRefresh.h"
#include "FolderUnits.h"
#include "TempFolder.h"
#include "UnitFolders.h"

namespace {

// Stamps the test sets by hand: a file is changed when its stamp is.
struct TStamps {
  std::map<std::string, int64_t> Of;
  TStampOf Fn() {
    return [this](const std::string& P) { return TFileStamp{Of.count(P) ? Of[P] : 0, 1, 1, 1}; };
  }
  std::vector<TFileStamp> For(const TFolderReport& R) {
    std::vector<TFileStamp> S;
    for (const TFolderUnit& U : R.Units) S.push_back(Fn()(U.Path));
    return S;
  }
};

std::vector<std::string> NamesOf(const TFolderReport& R) {
  std::vector<std::string> N;
  for (const TFolderUnit& U : R.Units) N.emplace_back(U.Ok ? R.Names.Text(U.UnitName) : "-");
  return N;
}

}  // namespace

TEST(FolderRefresh, OnlyChangedAndNewUnitsAreReadAndTheOrderIsTheNewWalks) {
  const testdata::TTempFolder F("refresh");
  F.Write("A.dcu", unitbuilder::FolderUnit("A", 7, {{"B", {{"Run", 1}}}}));
  F.Write("B.dcu", unitbuilder::FolderUnit("B", 7, {}, {{"Run", 1}}));
  F.Write("C.dcu", unitbuilder::FolderUnit("C", 7, {}));
  TFindIndex Index;
  TFolderReport R = ScanFolders({F.Root.string()}, {}, &Index);
  TStamps S;
  std::vector<TFileStamp> Stamps = S.For(R);

  // Nothing changed: nothing to do.
  EXPECT_TRUE(TFolderRefresh(F.Root.string(), R, Stamps, S.Fn()).Same());

  // B changed (its interface stamp too: A is now stale), C gone, AA new.
  F.Write("B.dcu", unitbuilder::FolderUnit("B", 7, {}, {{"Run", 2}}));
  S.Of[F.Path("B.dcu")] = 2;
  std::filesystem::remove(F.Root / "C.dcu");
  F.Write("AA.dcu", unitbuilder::FolderUnit("AA", 7, {}));
  TFolderRefresh Refresh(F.Root.string(), R, Stamps, S.Fn());
  ASSERT_FALSE(Refresh.Same());
  EXPECT_EQ(Refresh.ToRead(), 2u);  // AA and B; A kept as it was
  size_t Reads = 0;
  while (Refresh.ReadNext(R, Index)) ++Reads;
  EXPECT_EQ(Reads, 2u);
  EXPECT_EQ(Refresh.DoneReading(), 2u);
  Refresh.Finish(R, Index, 0, Stamps);

  EXPECT_EQ(NamesOf(R), (std::vector<std::string>{"A", "AA", "B"}));
  ASSERT_EQ(Stamps.size(), 3u);
  EXPECT_EQ(Stamps[2].Size, 2);
  ASSERT_EQ(Index.Size(), 3u);
  for (uint32_t I = 0; I < 3; ++I) EXPECT_EQ(Index.Path(I), R.Units[I].Path);
  EXPECT_EQ(Index.Find("C").Units.size(), 0u);
  bool Mismatch = false;
  for (const TFinding& Fi : R.Findings) Mismatch = Mismatch || Fi.Kind == TFindingKind::InterfaceMismatch;
  EXPECT_TRUE(Mismatch);  // the findings worked out again
}

TEST(FolderRefresh, LibraryUnitsStayAfterTheSets) {
  const testdata::TTempFolder F("refresh-lib");
  F.Write("set/A.dcu", unitbuilder::FolderUnit("A", 7, {{"Lib", {{"Run", 1}}}}));
  F.Write("lib/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
  TFindIndex Index = BuildFindIndex({F.Path("set")}, nullptr, 1, {F.Path("lib")});
  TFolderReport R = ScanFolders({F.Path("set")}, {}, nullptr, 1, {F.Path("lib")});
  TStamps S;
  std::vector<TFileStamp> Stamps = S.For(R);
  F.Write("set/B.dcu", unitbuilder::FolderUnit("B", 7, {}));
  TFolderRefresh Refresh(F.Path("set"), R, Stamps, S.Fn());
  while (Refresh.ReadNext(R, Index)) {
  }
  Refresh.Finish(R, Index, 1, Stamps);
  ASSERT_EQ(Index.Size(), 3u);
  EXPECT_EQ(Index.UnitName(2), "Lib");
  EXPECT_TRUE(Index.Library(2));
  EXPECT_FALSE(Index.Library(1));
  ASSERT_EQ(R.Library.size(), 1u);  // Lib stays a library unit
}
