// The find index: patterns (wildcards, letter case, members), the index
// built with the folder scan and alone, its hits and listing lines, the
// users of units and of declarations, and the corpus when it is there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "FindIndex.h"
#include "FolderUnits.h"
#include "TestData.h"
#include "UnitBuilder.h"
#include "UnitFolders.h"
#include "UnitLoad.h"

namespace fs = std::filesystem;
using unitbuilder::TUseSpec;

namespace {

using TStrings = std::vector<std::string>;

// A folder of its own under the temporary folder, removed with the object.
class TFolder {
 public:
  TFolder() {
    static int Counter = 0;
    Root = fs::temp_directory_path() / ("unitpeek-find-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
    fs::create_directories(Root);
  }
  ~TFolder() {
    std::error_code E;
    fs::remove_all(Root, E);
  }
  std::string Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const {
    fs::create_directories((Root / Rel).parent_path());
    unitbuilder::WriteUnitFile((Root / Rel).string(), Bytes);
    return (Root / Rel).string();
  }
  std::string Path() const { return Root.string(); }
  fs::path Root;
};

TStrings UsersOf(const std::vector<TFindUser>& Users) {
  TStrings N;
  for (const TFindUser& U : Users) N.push_back(U.UnitName + (U.Interface ? ":interface" : ":implementation"));
  return N;
}

}  // namespace

TEST(FindPattern, WildcardsLetterCaseAndMembers) {
  // Wildcards over folded text.
  EXPECT_TRUE(WildcardMatch("t*", "tfoo"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("*foo*", "tfoobar"));
  EXPECT_TRUE(WildcardMatch("t?o", "too"));
  EXPECT_FALSE(WildcardMatch("t?o", "to"));
  EXPECT_FALSE(WildcardMatch("t?o", "tooo"));
  EXPECT_TRUE(WildcardMatch("a*b*c", "axxbyybzc"));
  EXPECT_FALSE(WildcardMatch("a*b*c", "axxbyyb"));
  EXPECT_TRUE(WildcardMatch("*ab", "aab"));  // the star gives back what it took
  EXPECT_FALSE(WildcardMatch("foo", "foobar"));
  // '?' takes one UTF-8 character, not one byte.
  EXPECT_TRUE(WildcardMatch("gr?n", "gr\xC3\xBCn"));
  EXPECT_FALSE(WildcardMatch("gr??n", "gr\xC3\xBCn"));
  EXPECT_TRUE(WildcardMatch("*\xC3\xBCn", "gr\xC3\xBCn"));

  const TFindPattern Plain("TFoo*");
  EXPECT_TRUE(Plain.Matches("tfoobar"));
  EXPECT_TRUE(Plain.Matches("TFOO"));
  EXPECT_FALSE(Plain.FindsMembers());

  const TFindPattern Member("TFoo.c?unt");
  ASSERT_TRUE(Member.FindsMembers());
  EXPECT_TRUE(Member.OwnerMatches("TFOO"));
  EXPECT_TRUE(Member.MemberMatches("Count"));
  EXPECT_FALSE(Member.MemberMatches("Counter"));
  EXPECT_TRUE(Member.Matches("tfoo.count"));  // a method body's name is the whole pattern

  // The last '.' parts owner and member; an empty part counts as '*'.
  const TFindPattern Dotted("A.B.C");
  EXPECT_TRUE(Dotted.OwnerMatches("a.b"));
  EXPECT_TRUE(Dotted.MemberMatches("C"));
  const TFindPattern Ends("TFoo.");
  EXPECT_TRUE(Ends.MemberMatches("Anything"));
  const TFindPattern Starts(".Create");
  EXPECT_TRUE(Starts.OwnerMatches("TAnything"));
  EXPECT_TRUE(TFindPattern("").Empty());
}

TEST(FindIndex, UnitUsersAndDeclarationUsersOnSyntheticUnits) {
  // Lib declares Run and Shared; App imports Run in its interface, Tool
  // imports Shared in its implementation; Other declares a Run of its own
  // that nobody imports.
  TFolder F;
  F.Write("a/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}, {"Shared", 2}}));
  F.Write("a/App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}));
  F.Write("b/Tool.dcu", unitbuilder::FolderUnit("Tool", 7, {{"System"}, {"lib", {{"SHARED", 2}}, 0x65}}));
  F.Write("b/Other.dcu", unitbuilder::FolderUnit("Other", 7, {}, {{"Run", 3}}));
  F.Write("b/Broken.dcu", {1, 2, 3});

  std::vector<TUnreadableEntry> Unreadable;
  const TFindIndex Index = BuildFindIndex({F.Path(), (F.Root / "none").string()}, &Unreadable);
  ASSERT_EQ(Index.Size(), 5u);  // walking order: a/App, a/Lib, b/Broken, b/Other, b/Tool
  EXPECT_EQ(Index.UnitName(0), "App");
  EXPECT_FALSE(Index.Loaded(2));
  EXPECT_FALSE(Index.Error(2).empty());
  ASSERT_EQ(Unreadable.size(), 1u);

  // A declaration in two units; letter case ignored.
  TFindResult R = Index.Find("rUN");
  ASSERT_EQ(R.Hits.size(), 2u);
  EXPECT_EQ(R.TotalHits, 2u);
  EXPECT_EQ(R.Hits[0].UnitName, "Lib");
  EXPECT_EQ(R.Hits[0].Path, (F.Root / "a/Lib.dcu").string());
  EXPECT_EQ(R.Hits[0].Kind, TFindKind::Var);
  EXPECT_EQ(R.Hits[0].Section, TFindSection::Interface);
  EXPECT_EQ(R.Hits[1].UnitName, "Other");
  EXPECT_TRUE(R.Units.empty());
  EXPECT_EQ(UsersOf(Index.UsersOf(R.Hits[0])), TStrings({"App:interface"}));
  EXPECT_TRUE(Index.UsersOf(R.Hits[1]).empty());  // App imports Run from Lib, not from Other
  EXPECT_EQ(UsersOf(Index.UsersOf(Index.Find("shared").Hits.at(0))), TStrings({"Tool:implementation"}));

  // Listing lines come from the units, read again.
  std::string Error;
  ASSERT_TRUE(FillFindLines(R.Hits, &Error)) << Error;
  EXPECT_EQ(R.Hits[0].Line.rfind("Run: ", 0), 0u) << R.Hits[0].Line;
  EXPECT_EQ(R.Hits[0].Line.back(), ';');

  // A unit name: its files and users; a name only used (System) too.
  R = Index.Find("LIB");
  EXPECT_EQ(R.TotalHits, 0u);
  ASSERT_EQ(R.Units.size(), 1u);
  EXPECT_EQ(R.Units[0].Name, "Lib");
  EXPECT_EQ(R.Units[0].Files, std::vector<uint32_t>({1}));
  EXPECT_EQ(UsersOf(R.Units[0].Users), TStrings({"App:interface", "Tool:implementation"}));
  R = Index.Find("sys*");
  ASSERT_EQ(R.Units.size(), 1u);
  EXPECT_TRUE(R.Units[0].Files.empty());
  EXPECT_EQ(UsersOf(R.Units[0].Users), TStrings({"Tool:interface"}));

  // Wildcards over units and declarations together; nothing found.
  R = Index.Find("*");
  EXPECT_EQ(R.TotalHits, 3u);
  EXPECT_EQ(R.Units.size(), 5u);  // App, Lib, Other, System, Tool
  EXPECT_EQ(R.Units.front().Name, "App");
  EXPECT_EQ(Index.Find("*", 1).Hits.size(), 1u);
  EXPECT_EQ(Index.Find("*", 1).TotalHits, 3u);
  EXPECT_FALSE(Index.Find("Nothing*").Found());
  EXPECT_FALSE(Index.Find("").Found());
}

TEST(FindIndex, BuiltWithTheFolderScanNumbersUnitsAsTheReport) {
  TFolder F;
  F.Write("Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
  F.Write("Bad.dcu", {0});
  F.Write("App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}, {{"Main", 5}}));
  TFindIndex Index;
  const TFolderReport R = ScanFolders({F.Path()}, {}, &Index);
  ASSERT_EQ(Index.Size(), R.Units.size());
  for (uint32_t I = 0; I < R.Units.size(); ++I) {
    EXPECT_EQ(Index.Path(I), R.Units[I].Path);
    EXPECT_EQ(Index.Loaded(I), R.Units[I].Ok);
  }
  const TFindResult Found = Index.Find("run");
  ASSERT_EQ(Found.Hits.size(), 1u);
  EXPECT_EQ(R.Units[Found.Hits[0].Unit].Path, (F.Root / "Lib.dcu").string());
  EXPECT_EQ(Index.Declarations(), 2u);
}

TEST(FindIndex, MembersByOwnerAndNameWithTheirListingLines) {
  TFolder F;
  F.Write("Shapes.dcu", unitbuilder::MembersUnit("Shapes", "TShape"));
  F.Write("Things.dcu", unitbuilder::MembersUnit("Things", "TThing", {{"Shapes", {{"Current", 7}}}}));
  const TFindIndex Index = BuildFindIndex({F.Path()});
  ASSERT_TRUE(Index.Loaded(0) && Index.Loaded(1)) << Index.Error(0) << Index.Error(1);

  // Without a '.': declarations only, members not.
  TFindResult R = Index.Find("count");
  EXPECT_EQ(R.TotalHits, 0u);
  // Owner.Member: the one member; the method body of the same name (an
  // entry of the implementation) too.
  R = Index.Find("tshape.GETCOUNT");
  ASSERT_EQ(R.Hits.size(), 2u);
  EXPECT_EQ(R.Hits[0].Name, "TShape.GetCount");
  EXPECT_EQ(R.Hits[0].Kind, TFindKind::Method);
  EXPECT_EQ(R.Hits[0].Section, TFindSection::Interface);
  EXPECT_EQ(R.Hits[1].Name, "TShape.GetCount");
  EXPECT_EQ(R.Hits[1].Kind, TFindKind::Function);
  EXPECT_EQ(R.Hits[1].Section, TFindSection::Implementation);
  EXPECT_NE(R.Hits[0].Offset, R.Hits[1].Offset);

  // A member name under any owner: the class's property and the record's field, in both units.
  R = Index.Find("*.Count");
  std::vector<std::pair<std::string, TFindKind>> Got;
  for (const TFindHit& H : R.Hits) Got.emplace_back(H.UnitName + ":" + H.Name, H.Kind);
  EXPECT_EQ(Got, (std::vector<std::pair<std::string, TFindKind>>{{"Shapes:TShape.Count", TFindKind::Property},
                                                                  {"Shapes:TPoint.Count", TFindKind::Field},
                                                                  {"Things:TThing.Count", TFindKind::Property},
                                                                  {"Things:TPoint.Count", TFindKind::Field}}));
  // Wildcards on both sides; '?' for one character.
  EXPECT_EQ(Index.Find("T?ing.*").TotalHits, 0u);  // one character, not two
  R = Index.Find("T?hing.*");
  ASSERT_EQ(R.Hits.size(), 4u + 1u);  // FCount, GetCount, Create, Count; the body TThing.GetCount
  EXPECT_EQ(R.Hits[2].Kind, TFindKind::Constructor);
  EXPECT_EQ(Index.Find("TPoint.").TotalHits, 4u);  // an empty member part is '*'

  // The listing lines, as the listing writes them.
  R = Index.Find("Shapes*");
  EXPECT_EQ(R.TotalHits, 0u);
  R = Index.Find("TShape*");
  ASSERT_TRUE(FillFindLines(R.Hits));
  TStrings Lines;
  for (const TFindHit& H : R.Hits) Lines.push_back(H.Line);
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_EQ(Lines[0], "TShape = class");
  EXPECT_EQ(Lines[1].rfind("function TShape.GetCount", 0), 0u) << Lines[1];
  R = Index.Find("TShape.*");
  ASSERT_TRUE(FillFindLines(R.Hits));
  ASSERT_GE(R.Hits.size(), 4u);
  EXPECT_EQ(R.Hits[0].Line, "FCount: Integer;");
  EXPECT_EQ(R.Hits[2].Line.rfind("constructor Create", 0), 0u) << R.Hits[2].Line;

  // Users of a declaration: Things imports Current from Shapes.
  R = Index.Find("current");
  ASSERT_EQ(R.Hits.size(), 2u);
  EXPECT_EQ(UsersOf(Index.UsersOf(R.Hits[0])), TStrings({"Things:interface"}));
  EXPECT_TRUE(Index.UsersOf(R.Hits[1]).empty());
  // Members and the implementation's declarations have none.
  EXPECT_TRUE(Index.UsersOf(Index.Find("TShape.FCount").Hits.at(0)).empty());
  EXPECT_TRUE(Index.UsersOf(Index.Find("Helper").Hits.at(0)).empty());
}

// Past the hits asked for, the rest are counted: for patterns every name
// matches, from each unit's counts; the total is that of the hits in full.
TEST(FindIndex, HitsPastTheOnesAskedForAreCountedAsTheyAre) {
  TFolder F;
  F.Write("Shapes.dcu", unitbuilder::MembersUnit("Shapes", "TShape"));
  F.Write("Things.dcu", unitbuilder::MembersUnit("Things", "TThing", {{"Shapes", {{"Current", 7}}}}));
  F.Write("Third.dcu", unitbuilder::MembersUnit("Third", "TThird"));
  const TFindIndex Index = BuildFindIndex({F.Path()});
  for (const char* P : {"*", "**", "*.*", "*.", "T*", "*.Count", "tshape.*"}) {
    SCOPED_TRACE(P);
    const TFindResult Full = Index.Find(P);
    ASSERT_EQ(Full.TotalHits, Full.Hits.size());
    size_t Each = 0;
    Index.FindDecls(TFindPattern(P), [&](std::vector<TFindHit>& Hits) {
      Each += Hits.size();
      return true;
    });
    EXPECT_EQ(Each, Full.TotalHits);
    for (size_t Max : {0, 1, 3}) {
      const TFindResult Some = Index.Find(P, Max);
      EXPECT_EQ(Some.TotalHits, Full.TotalHits);
      ASSERT_EQ(Some.Hits.size(), std::min(Max, Full.Hits.size()));
      for (size_t K = 0; K < Some.Hits.size(); ++K) {
        EXPECT_EQ(Some.Hits[K].Name, Full.Hits[K].Name);
        EXPECT_EQ(Some.Hits[K].Unit, Full.Hits[K].Unit);
        EXPECT_EQ(Some.Hits[K].Offset, Full.Hits[K].Offset);
      }
    }
  }
  // Members are no hits of a pattern without a '.'.
  EXPECT_LT(Index.Find("*").TotalHits, Index.Declarations());
}

TEST(FindIndex, LinesOfAFileChangedSinceTheScanStayEmpty) {
  TFolder F;
  const std::string Path = F.Write("Shapes.dcu", unitbuilder::MembersUnit("Shapes", "TShape"));
  const TFindIndex Index = BuildFindIndex({F.Path()});
  TFindResult R = Index.Find("TShape.*");
  ASSERT_FALSE(R.Hits.empty());
  // Another unit in its place: the hits' declarations are not there.
  F.Write("Shapes.dcu", unitbuilder::MembersUnit("Shapes", "TOther"));
  EXPECT_TRUE(FillFindLines(R.Hits));
  for (const TFindHit& H : R.Hits) EXPECT_EQ(H.Line, "") << H.Name;
  // A file that no longer loads: false, with its error.
  F.Write("Shapes.dcu", {1, 2, 3});
  std::string Error;
  EXPECT_FALSE(FillFindLines(R.Hits, &Error));
  EXPECT_FALSE(Error.empty());
}

TEST(FindIndex, UnitsAddedAfterFinishAreFoundToo) {
  TFolder F;
  const std::string A = F.Write("A.dcu", unitbuilder::FolderUnit("A", 7, {}, {{"Alpha", 1}}));
  const std::string B = F.Write("B.dcu", unitbuilder::FolderUnit("B", 7, {{"A", {{"Alpha", 1}}}}, {{"Beta", 2}}));
  TFindIndex Index;
  TFolderScanner S({A}, &Index);
  while (S.ReadNext()) {
  }
  S.Finish();
  // B read by hand after the tables were laid out.
  std::optional<TFindUnit> Taken;
  TUnitLoad L = TryLoadUnit(B, [&](const TUnit& U) { Taken = Index.Take(U); });
  ASSERT_TRUE(L.Facts.has_value());
  Index.Add(B, std::move(Taken));
  EXPECT_EQ(Index.Find("beta").TotalHits, 1u);
  const TFindResult Alpha = Index.Find("alpha");
  ASSERT_EQ(Alpha.TotalHits, 1u);
  EXPECT_EQ(UsersOf(Index.UsersOf(Alpha.Hits[0])), TStrings({"B:interface"}));
  Index.Finish();
  EXPECT_EQ(Index.Find("b*").Hits.size(), 1u);
}

TEST(FindIndexCorpus, TheDpeFormUnitAloneDeclaresItsFormAndNineUnitsUseIt) {
  const fs::path V3 = testdata::CorpusDir() / "v3";
  if (!fs::is_directory(V3)) GTEST_SKIP() << "no corpus folder " << V3 << "; skipped";
  const TFindIndex Index = BuildFindIndex({V3.string()});
  const std::string Form = (V3 / "vrodic-DPE__DPEMFORM.dcu").string();

  // The form's class and its variable: in the form unit alone.
  TFindResult R = Index.Find("TDPEMain");
  ASSERT_EQ(R.Hits.size(), 1u);
  EXPECT_EQ(R.Hits[0].Path, Form);
  EXPECT_EQ(R.Hits[0].UnitName, "dpemform");
  EXPECT_EQ(R.Hits[0].Kind, TFindKind::Type);
  R = Index.Find("dpemain");
  ASSERT_EQ(R.Hits.size(), 1u);
  EXPECT_EQ(R.Hits[0].Kind, TFindKind::Var);
  ASSERT_TRUE(FillFindLines(R.Hits));
  EXPECT_EQ(R.Hits[0].Line, "DPEMain: TDPEMain;");
  // The nine files that import the variable from it.
  TStrings Users;
  for (const TFindUser& U : Index.UsersOf(R.Hits[0])) Users.push_back(fs::path(U.Path).filename().string());
  EXPECT_EQ(Users, TStrings({"vrodic-DPE__ABLENDUN.dcu", "vrodic-DPE__ADCLRUN.dcu", "vrodic-DPE__ADCLRUN_2.dcu",
                             "vrodic-DPE__CCUN.dcu", "vrodic-DPE__CONUN.dcu", "vrodic-DPE__FS_UN.dcu",
                             "vrodic-DPE__LDUN.dcu", "vrodic-DPE__LDUN_2.dcu", "vrodic-DPE__TIFMAP.dcu"}));
  // The unit itself: used by 18 files of 14 units, all in their implementation.
  R = Index.Find("DPEMFORM");
  ASSERT_EQ(R.Units.size(), 1u);
  EXPECT_EQ(R.Units[0].Files.size(), 1u);
  EXPECT_EQ(R.Units[0].Users.size(), 18u);
  for (const TFindUser& U : R.Units[0].Users) EXPECT_FALSE(U.Interface) << U.Path;
  // Its members.
  R = Index.Find("TDPEMain.MNU*Click");
  EXPECT_GT(R.TotalHits, 5u);
  for (const TFindHit& H : R.Hits) EXPECT_EQ(H.Path, Form);
}
