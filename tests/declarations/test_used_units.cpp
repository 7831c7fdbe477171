// Values whose types are declared in the units a unit uses: synthetic units
// that use each other (unitbuilder/UsedUnitsUnits.h) written to temporary
// folders and read with a library of used units (TUsedUnits). Without the
// used units the values stay as they were; with them every value is decoded
// by the used unit's types; the lookup rules (own folder, then the folder
// tab's, then the unit path; any letter case; only the same format version;
// a missing or damaged unit changes nothing); the type facts themselves;
// and the reader's state after a unit read aside.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclListing.h"
#include "DeclOutline.h"
#include "DeclValues.h"
#include "TypeFacts.h"
#include "UnitBuilder.h"
#include "UnitLoad.h"
#include "UnitPath.h"
#include "UsedUnits.h"
#include "TempFolder.h"
#include "UsedUnitsUnits.h"

namespace fs = std::filesystem;

namespace {

class TUsedUnitsTest : public ::testing::Test {
 protected:
  const testdata::TTempFolder Temp{"used"};
  const fs::path& Root = Temp.Root;
  // Writes Bytes to Rel under the test's folder; returns the path.
  std::string Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const {
    const std::string P = Temp.Write(Rel, Bytes);
    EXPECT_FALSE(P.empty()) << Rel;
    return P;
  }
  std::string Folder(const std::string& Rel) const { return Temp.Folder(Rel); }

  // The declarations listing of the unit at Path, its used units read from
  // Library (none when null).
  static std::string Listing(const std::string& Path, TUsedUnits* Library) {
    const std::unique_ptr<TUsedTypes> Used = Library ? Library->For(UnitFolderOf(Path)) : nullptr;
    std::string Out;
    const TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) {
      TDeclTextSink Sink;
      WriteDeclListing(BuildDeclOutline(U, {.KeepSpans = false, .Used = Used.get()}), Sink);
      Out = Sink.Out;
    });
    EXPECT_TRUE(L.Facts) << Path << ": " << L.Error;
    return Out;
  }
};

}  // namespace


namespace {

// The lines of App's listing decoded by the types of Lib (whose
// enumeration's names start with P), and those that need Mid too.
std::vector<std::string> LibLines(const std::string& P = "m") {
  return {"    property Mode default " + P + "Safe;",
          "    property Flag default True;",
          "    property Modes default [" + P + "None, " + P + "Safe];",
          "  DefaultMode = " + P + "Safe { TMode };",
          "  AllModes = [" + P + "None.." + P + "Safe] { TModes };",
          "  Pair: TPair = (Value: 42; Name: 'abc');",
          "  Pairs: array[0..1] of TPair = ((Value: 1; Name: 'x'), (Value: -2; Name: ''));",
          "  FastMode: TMode = " + P + "Fast;",
          "  SomeModes: TModes = [" + P + "Fast, " + P + "Safe];",
          "  Real: TReal = 1.5;",
          "  Count: TCount = -7;",
          "  Wide: TWide = 0.25;"};
}
std::vector<std::string> MidLines(const std::string& P = "m") {
  return {"  MidMode: TMidMode = " + P + "Safe;", "  MidRange: TMidRange = " + P + "Safe;",
          "    property Mode default " + P + "None;", "    property Flag default False;"};
}
// What stays of the lines that need Mid without it.
const std::vector<std::string> UndecodedMidLines = {"  MidMode: TMidMode = {2 bytes in the data block, not decoded};",
                                                    "  MidRange: TMidRange = {2 bytes in the data block, not decoded};",
                                                    "    property Mode default 0;", "    property Flag default 0;"};
std::vector<std::string> DecodedLines(const std::string& P = "m") {
  std::vector<std::string> L = LibLines(P);
  for (std::string& M : MidLines(P)) L.push_back(std::move(M));
  return L;
}

// Whether Listing has every one of Lines as a line of its own.
::testing::AssertionResult HasLines(const std::string& Listing, const std::vector<std::string>& Lines) {
  for (const std::string& L : Lines)
    if (("\n" + Listing).find("\n" + L + "\n") == std::string::npos)
      return ::testing::AssertionFailure() << "no line \"" << L << "\" in\n" << Listing;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(TUsedUnitsTest, WithoutTheUsedUnitsTheValuesStayAsTheyWere) {
  const std::string App = Write("alone/App.dcu", unitbuilder::AppUnit());
  const std::string Plain = Listing(App, nullptr);
  EXPECT_TRUE(HasLines(Plain, {"    property Mode default 2;", "    property Flag default 1;",
                               "    property Modes default 5;", "  DefaultMode = 2 { TMode };",
                               "  AllModes = [0..2] { TModes };",
                               "  Pair: TPair = {8 bytes in the data block, not decoded};",
                               "  Pairs: array[0..1] of TPair = ({8 bytes: 01 00 00 00 08 00 00 00}, "
                               "{8 bytes: FE FF FF FF 00 00 00 00});",
                               "  FastMode: TMode = {1 bytes in the data block, not decoded};",
                               "  Real: TReal = {4 bytes in the data block, not decoded};",
                               "  Count: TCount = {4 bytes in the data block, not decoded};",
                               "  Wide: TWide = {8 bytes in the data block, not decoded};"}));
  EXPECT_TRUE(HasLines(Plain, UndecodedMidLines));
  // A library with nothing in it changes nothing, and reads nothing.
  TUsedUnits Library({Folder("empty")});
  EXPECT_EQ(Listing(App, &Library), Plain);
  EXPECT_EQ(Library.FilesRead(), 0u);
  // Lib and Mid beside App but no library asked for: as before.
  Write("alone/Lib.dcu", unitbuilder::LibUnit());
  Write("alone/Mid.dcu", unitbuilder::MidUnit());
  EXPECT_EQ(Listing(App, nullptr), Plain);
}

TEST_F(TUsedUnitsTest, EveryValueIsDecodedByTheTypesOfTheUnitsBeside) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  Write("app/Lib.dcu", unitbuilder::LibUnit());
  Write("app/Mid.dcu", unitbuilder::MidUnit());
  TUsedUnits Library;
  EXPECT_TRUE(HasLines(Listing(App, &Library), DecodedLines()));
  // Each used unit read once, however often it is asked for.
  EXPECT_EQ(Listing(App, &Library), Listing(App, &Library));
  EXPECT_EQ(Library.FilesRead(), 2u);
}

TEST_F(TUsedUnitsTest, DecodedValuesKeepTheirKindsNamesAndNumbers) {
  Write("app/Lib.dcu", unitbuilder::LibUnit());
  const std::vector<uint8_t> Bytes = unitbuilder::AppUnit();
  const TUnit U("App.dcu", std::span<const uint8_t>(Bytes));
  TUsedUnits Library;
  const std::unique_ptr<TUsedTypes> Used = Library.For(Folder("app"));
  auto Typed = [&](std::string_view Name) {
    for (TDCURec* R = U.Decls; R; R = R->Next)
      if (auto* V = RecCast<TVarCDecl>(R); V && NameView(V->GetName()) == Name) return TypedConstValue(U, *V, Used.get());
    ADD_FAILURE() << "no typed constant " << Name;
    return TValue();
  };
  const TValue Pair = Typed("Pair");
  ASSERT_EQ(Pair.Kind, TValueKind::Record);
  EXPECT_EQ(Pair.Names, (std::vector<std::string>{"Value", "Name"}));
  ASSERT_EQ(Pair.Items.size(), 2u);
  EXPECT_EQ(Pair.Items[0].Int, 42);
  EXPECT_EQ(Pair.Items[1].Kind, TValueKind::String);
  EXPECT_EQ(Pair.Items[1].Text, "abc");
  const TValue Pairs = Typed("Pairs");
  ASSERT_EQ(Pairs.Kind, TValueKind::Array);
  ASSERT_EQ(Pairs.Items.size(), 2u);
  EXPECT_EQ(Pairs.Items[1].Items[0].Int, -2);
  const TValue Mode = Typed("FastMode");
  EXPECT_EQ(Mode.Kind, TValueKind::Enum);
  EXPECT_EQ(Mode.Int, 1);
  EXPECT_EQ(Mode.Text, "mFast");
  const TValue Real = Typed("Real");
  EXPECT_EQ(Real.Kind, TValueKind::Float);
  EXPECT_EQ(Real.FloatKind, TFloatKind::Single);
  EXPECT_EQ(Real.Float, 1.5L);
  const TValue Modes = Typed("SomeModes");
  ASSERT_EQ(Modes.Kind, TValueKind::Set);
  ASSERT_EQ(Modes.Items.size(), 2u);
  EXPECT_EQ(Modes.Items[0].Text, "mFast");
  EXPECT_EQ(Modes.Items[1].Text, "mSafe");
}

TEST_F(TUsedUnitsTest, AChainOfUnitsEndsWhereAUnitIsMissing) {
  // Mid names Lib's type; without Lib, Mid's name alone decodes nothing.
  const std::string App = Write("nolib/App.dcu", unitbuilder::AppUnit());
  Write("nolib/Mid.dcu", unitbuilder::MidUnit());
  TUsedUnits Library;
  const std::string L = Listing(App, &Library);
  // Mid's subrange is a number of Mid's range still.
  EXPECT_TRUE(HasLines(L, {"  MidMode: TMidMode = {2 bytes in the data block, not decoded};",
                           "  MidRange: TMidRange = 2;", "    property Mode default 0;", "    property Flag default 0;",
                           "  FastMode: TMode = {1 bytes in the data block, not decoded};"}));
  // Lib without Mid: all but what Mid's types lead to.
  const std::string App2 = Write("nomid/App.dcu", unitbuilder::AppUnit());
  Write("nomid/Lib.dcu", unitbuilder::LibUnit());
  const std::string L2 = Listing(App2, &Library);
  EXPECT_TRUE(HasLines(L2, LibLines()));
  EXPECT_TRUE(HasLines(L2, UndecodedMidLines));
}

TEST_F(TUsedUnitsTest, AUnitInAnotherFolderIsFoundOnlyThroughTheUnitPath) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  Write("lib/Lib.dcu", unitbuilder::LibUnit());
  Write("lib/Mid.dcu", unitbuilder::MidUnit());
  TUsedUnits None;
  EXPECT_EQ(Listing(App, &None), Listing(App, nullptr));
  // The folders in order: the one without them passed over.
  TUsedUnits Path({Folder("empty"), Folder("lib")});
  EXPECT_TRUE(HasLines(Listing(App, &Path), DecodedLines()));
  EXPECT_EQ(Path.FindUnit({Folder("app"), Folder("empty"), Folder("lib")}, "lib", 7), (Root / "lib/Lib.dcu").string());
}

TEST_F(TUsedUnitsTest, TheUnitsFolderComesFirstThenTheTabsThenThePath) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  Write("app/Lib.dcu", unitbuilder::LibUnit(7, "o"));
  Write("app/Mid.dcu", unitbuilder::MidUnit());
  Write("tab/Lib.dcu", unitbuilder::LibUnit(7, "t"));
  Write("path/Lib.dcu", unitbuilder::LibUnit(7, "p"));
  TUsedUnits Library({Folder("path")});
  EXPECT_TRUE(HasLines(Listing(App, &Library), DecodedLines("o")));
  // A unit of a folder without Lib, in a folder tab: the tab's folder, then
  // the path.
  const std::string Other = Write("other/App.dcu", unitbuilder::AppUnit());
  Write("other/Mid.dcu", unitbuilder::MidUnit());
  auto ListingIn = [&](const std::string& Tab) {
    const std::unique_ptr<TUsedTypes> Used = Library.For(Folder("other"), Tab);
    std::string Out;
    TryLoadUnit(Other, [&](const TUnit& U) {
      TDeclTextSink Sink;
      WriteDeclListing(BuildDeclOutline(U, {.KeepSpans = false, .Used = Used.get()}), Sink);
      Out = Sink.Out;
    });
    return Out;
  };
  EXPECT_TRUE(HasLines(ListingIn(Folder("tab")), DecodedLines("t")));
  EXPECT_TRUE(HasLines(ListingIn(""), DecodedLines("p")));
  // The path's folder as the tab's: no different.
  EXPECT_TRUE(HasLines(ListingIn(Folder("path")), DecodedLines("p")));
}

TEST_F(TUsedUnitsTest, OnlyAUnitOfTheSameFormatVersionCounts) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  for (int V : {6, 100, 103}) {
    SCOPED_TRACE(V);
    Write("app/Lib.dcu", unitbuilder::LibUnit(V, "v"));
    Write("old/Lib.dcu", unitbuilder::LibUnit(V == 6 ? 5 : 101, "w"));
    TUsedUnits Alone;
    EXPECT_EQ(Listing(App, &Alone), Listing(App, nullptr));
    // The next folder of the path that has one of version 7.
    Write("good/Lib.dcu", unitbuilder::LibUnit(7, "p"));
    TUsedUnits Library({Folder("old"), Folder("good")});
    EXPECT_TRUE(HasLines(Listing(App, &Library), LibLines("p")));
    EXPECT_EQ(Library.FindUnit({Folder("app"), Folder("old")}, "Lib", 7), "");
    EXPECT_EQ(Library.FindUnit({Folder("app"), Folder("old")}, "Lib", V), (Root / "app/Lib.dcu").string());
    fs::remove(Root / "good/Lib.dcu");
  }
}

TEST_F(TUsedUnitsTest, AUnitIsFoundInAnyLetterCaseOfItsFileName) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  Write("app/LIB.DCU", unitbuilder::LibUnit());
  Write("app/mid.Dcu", unitbuilder::MidUnit());
  TUsedUnits Library;
  EXPECT_TRUE(HasLines(Listing(App, &Library), DecodedLines()));
  EXPECT_EQ(Library.FindUnit({Folder("app")}, "lIb", 7), (Root / "app/LIB.DCU").string());
  // Names that differ in case only: the first in name order.
  Write("two/lib.dcu", unitbuilder::LibUnit(7, "x"));
  Write("two/Lib.dcu", unitbuilder::LibUnit(7, "p"));
  EXPECT_EQ(Library.FindUnit({Folder("two")}, "LIB", 7), (Root / "two/Lib.dcu").string());
  // Other names that merely start or end alike are no match.
  Write("near/Lib.dcu.bak", unitbuilder::LibUnit());
  Write("near/XLib.dcu", unitbuilder::LibUnit());
  Write("near/Lib.pas", {'u'});
  EXPECT_EQ(Library.FindUnit({Folder("near")}, "Lib", 7), "");
}

TEST_F(TUsedUnitsTest, AMissingOrDamagedUnitChangesNothingAndNeverFailsTheLoad) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  const std::string Plain = Listing(App, nullptr);
  std::vector<uint8_t> Cut = unitbuilder::LibUnit();
  Cut.resize(Cut.size() / 2);
  unitbuilder::PatchStoredLength(Cut);
  std::vector<uint8_t> BadMagic = unitbuilder::LibUnit();
  BadMagic[0] ^= 0xFF;
  int Case = 0;
  for (const std::vector<uint8_t>& Bad : {std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{}, Cut, BadMagic}) {
    SCOPED_TRACE(++Case);
    Write("app/Lib.dcu", Bad);
    Write("app/Mid.dcu", Bad);
    TUsedUnits Library;
    EXPECT_EQ(Listing(App, &Library), Plain);
    // A damaged unit beside is passed over for a good one on the path.
    Write("good/Lib.dcu", unitbuilder::LibUnit(7, "p"));
    Write("good/Mid.dcu", unitbuilder::MidUnit());
    TUsedUnits Path({Folder("good")});
    EXPECT_TRUE(HasLines(Listing(App, &Path), DecodedLines("p")));
    fs::remove_all(Root / "good");
  }
  // A folder that is no folder, or a unit name that is a folder.
  fs::create_directories(Root / "app/Lib.dcu.d");
  fs::remove(Root / "app/Lib.dcu");
  fs::create_directories(Root / "app/Lib.dcu");
  TUsedUnits Odd({(Root / "app/App.dcu").string(), (Root / "nothing").string()});
  EXPECT_EQ(Listing(App, &Odd), Plain);
}

namespace {

TUnitTypes TypesOfBytes(const std::vector<uint8_t>& Bytes, const char* Name) {
  const TUnit U(Name, std::span<const uint8_t>(Bytes));
  return TakeUnitTypes(U);  // the unit is released here; the facts stay
}

const TTypeFact& At(const TUnitTypes& T, const TTypeLink& L) {
  EXPECT_GE(L.Index, 0);
  EXPECT_LT(static_cast<size_t>(L.Index), T.Types.size());
  return T.Types.at(static_cast<size_t>(L.Index));
}

}  // namespace

TEST(UsedUnitTypeFacts, TheDeclaredTypesWithTheirShapesSizesAndParts) {
  const TUnitTypes T = TypesOfBytes(unitbuilder::LibUnit(), "Lib.dcu");
  EXPECT_EQ(T.Unit, "Lib");
  EXPECT_EQ(T.Version, 7);
  std::vector<std::string> Names;
  for (const auto& [N, I] : T.Names) Names.push_back(N);
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"tbase", "tcount", "tmode", "tmodes", "tpair", "treal", "twide"}));
  ASSERT_NE(T.Find("TMODE"), nullptr);
  EXPECT_EQ(T.Find("tMode"), T.Find("TMode"));
  EXPECT_EQ(T.Find("TNothing"), nullptr);
  EXPECT_EQ(T.Find(""), nullptr);
  const TTypeFact& Mode = *T.Find("TMode");
  EXPECT_EQ(Mode.Shape, TTypeShape::Enum);
  EXPECT_EQ(Mode.Size, 1);
  EXPECT_TRUE(Mode.HasRange);
  EXPECT_EQ(Mode.Hi, 2);
  EXPECT_EQ(Mode.EnumNames, (std::vector<std::string>{"mNone", "mFast", "mSafe"}));
  const TTypeFact& Modes = *T.Find("TModes");
  EXPECT_EQ(Modes.Shape, TTypeShape::Set);
  EXPECT_EQ(Modes.Size, 1);
  EXPECT_EQ(Modes.SetFirst, 0);
  EXPECT_EQ(&At(T, Modes.Base), &Mode);
  const TTypeFact& Pair = *T.Find("TPair");
  EXPECT_EQ(Pair.Shape, TTypeShape::Record);
  EXPECT_EQ(Pair.Size, 8);
  ASSERT_EQ(Pair.Fields.size(), 2u);
  EXPECT_EQ(Pair.Fields[0].Name, "Value");
  EXPECT_EQ(Pair.Fields[1].Name, "Name");
  EXPECT_EQ(Pair.Fields[1].Ofs, 4);
  // Types of the runtime stay names of their unit.
  EXPECT_EQ(Pair.Fields[0].Type.Index, -1);
  EXPECT_EQ(Pair.Fields[0].Type.Unit, "System");
  EXPECT_EQ(Pair.Fields[0].Type.Name, "Integer");
  const TTypeFact& Real = *T.Find("TReal");
  EXPECT_EQ(Real.Alias.Unit, "System");
  EXPECT_EQ(Real.Alias.Name, "Single");
  EXPECT_EQ(T.Find("TCount")->Alias.Name, "Integer");
  const TTypeFact& Wide = *T.Find("TWide");
  EXPECT_EQ(Wide.Shape, TTypeShape::Float);
  EXPECT_EQ(Wide.Float, TFloatKind::Double);
  EXPECT_EQ(Wide.Size, 8);
  const TTypeFact& Base = *T.Find("TBase");
  EXPECT_EQ(Base.Shape, TTypeShape::Object);
  EXPECT_TRUE(Base.Parent.Empty());
  ASSERT_EQ(Base.Props.size(), 3u);
  EXPECT_EQ(Base.Props[0].Name, "Mode");
  EXPECT_EQ(&At(T, Base.Props[0].Type), &Mode);
  EXPECT_EQ(Base.Props[1].Type.Name, "Boolean");
  EXPECT_EQ(&At(T, Base.Props[2].Type), &Modes);
}

TEST(UsedUnitTypeFacts, ImportedAncestorsAliasesAndPropertiesTakenOver) {
  const TUnitTypes App = TypesOfBytes(unitbuilder::AppUnit(), "App.dcu");
  const TTypeFact* Derived = App.Find("TDerived");
  ASSERT_NE(Derived, nullptr);
  // The ancestor imported with its run-time type data: its unit and name.
  EXPECT_EQ(Derived->Parent.Index, -1);
  EXPECT_EQ(Derived->Parent.Unit, "Lib");
  EXPECT_EQ(Derived->Parent.Name, "TBase");
  ASSERT_EQ(Derived->Props.size(), 3u);
  for (const TPropFact& P : Derived->Props) EXPECT_TRUE(P.Type.Empty()) << P.Name;
  // Imported names are no declarations of the unit.
  EXPECT_EQ(App.Find("TPair"), nullptr);
  const TUnitTypes Mid = TypesOfBytes(unitbuilder::MidUnit(), "Mid.dcu");
  const TTypeFact* MidMode = Mid.Find("TMidMode");
  ASSERT_NE(MidMode, nullptr);
  EXPECT_EQ(MidMode->Alias.Unit, "Lib");
  EXPECT_EQ(MidMode->Alias.Name, "TMode");
  const TTypeFact* MidBase = Mid.Find("TMidBase");
  ASSERT_NE(MidBase, nullptr);
  EXPECT_EQ(MidBase->Parent.Unit, "Lib");
  EXPECT_EQ(MidBase->Parent.Name, "TBase");
  // A subrange of another unit's enumeration: its bounds, and its base.
  const TTypeFact* MidRange = Mid.Find("TMidRange");
  ASSERT_NE(MidRange, nullptr);
  EXPECT_EQ(MidRange->Size, 1);
  EXPECT_TRUE(MidRange->HasRange);
  EXPECT_EQ(MidRange->Lo, 1);
  EXPECT_EQ(MidRange->Hi, 2);
  EXPECT_EQ(MidRange->Base.Unit, "Lib");
  EXPECT_EQ(MidRange->Base.Name, "TMode");
  // Of every version the same facts.
  for (int V : {3, 5, 6, 100, 103}) {
    const TUnitTypes L = TypesOfBytes(unitbuilder::LibUnit(V, "v"), "Lib.dcu");
    EXPECT_EQ(L.Version, V);
    ASSERT_NE(L.Find("TMode"), nullptr);
    EXPECT_EQ(L.Find("TMode")->EnumNames, (std::vector<std::string>{"vNone", "vFast", "vSafe"}));
  }
}

TEST_F(TUsedUnitsTest, UnitsThatNameEachOthersTypesEndInUndecodedValues) {
  // A.TLoop = B.TLoop and B.TLoop = A.TLoop; A's class descends from B's and
  // B's from A's: nothing declares the type or the property.
  const std::string A = Write("loop/A.dcu", unitbuilder::LoopUnit("A", "B"));
  Write("loop/B.dcu", unitbuilder::LoopUnit("B", "A"));
  TUsedUnits Library;
  const std::string L = Listing(A, &Library);
  EXPECT_EQ(L, Listing(A, nullptr));
  EXPECT_TRUE(HasLines(L, {"    property Mode default 1;", "  Loop: TLoop = {4 bytes in the data block, not decoded};"}));
  // A unit reads itself as a used unit only through another one.
  EXPECT_EQ(Library.FilesRead(), 2u);
}

TEST_F(TUsedUnitsTest, OneLibraryServesUnitsOnSeveralThreads) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  Write("app/Lib.dcu", unitbuilder::LibUnit());
  Write("app/Mid.dcu", unitbuilder::MidUnit());
  TUsedUnits Library;
  std::vector<std::string> Out(4);
  {
    std::vector<std::thread> Threads;
    for (size_t I = 0; I < Out.size(); ++I) Threads.emplace_back([&, I] { Out[I] = Listing(App, &Library); });
    for (std::thread& T : Threads) T.join();
  }
  for (const std::string& L : Out) EXPECT_TRUE(HasLines(L, DecodedLines()));
  EXPECT_EQ(Library.FilesRead(), 2u);
}

TEST_F(TUsedUnitsTest, AUnitReadAsideIsNoUnitOfTheRun) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  const std::string Lib = Write("app/Lib.dcu", unitbuilder::LibUnit());
  Write("app/Mid.dcu", unitbuilder::MidUnit());
  std::vector<uint8_t> Cut = unitbuilder::AppUnit();
  Cut.resize(Cut.size() * 2 / 3);
  unitbuilder::PatchStoredLength(Cut);
  const std::string Broken = Write("bad/Broken.dcu", Cut);
  const std::string DamagedLib = Write("bad/Lib.dcu", {0xDF, 0, 0, 0xFF, 9, 0, 0, 0});
  // The error texts of a failing unit as the first unit of a run and as
  // the second.
  UnitConstructionCount = 0;
  const std::string AsFirst = TryLoadUnit(Broken).Error;
  const std::string AsSecond = TryLoadUnit(Broken).Error;
  ASSERT_FALSE(AsFirst.empty());
  EXPECT_EQ(AsFirst.find(" in App "), std::string::npos) << AsFirst;
  EXPECT_NE(AsSecond.find(" in App "), std::string::npos) << AsSecond;
  // A used unit read (or failing to load) before any unit of the run: the
  // next unit is still the first.
  for (const std::string& Aside : {Lib, DamagedLib}) {
    TUsedUnits Library;
    UnitConstructionCount = 0;
    Library.TypesOf(Aside);
    EXPECT_EQ(UnitConstructionCount, 0u);
    EXPECT_EQ(FirstUnit, nullptr);
    EXPECT_EQ(ActiveUnit.get(), nullptr);
    EXPECT_EQ(TryLoadUnit(Broken).Error, AsFirst);
  }
  // Used units read while the first unit is decoded: it stays the first
  // unit and the one being read, and the next unit is the second.
  TUsedUnits Library;
  const std::unique_ptr<TUsedTypes> Used = Library.For(Folder("app"));
  UnitConstructionCount = 0;
  const uint8_t KindA = BlockFixupKindA, KindB = BlockFixupKindB;
  TryLoadUnit(App, [&](const TUnit& U) {
    BuildDeclOutline(U, {.KeepSpans = false, .Used = Used.get()});
    EXPECT_EQ(Library.FilesRead(), 2u);
    EXPECT_EQ(ActiveUnit.get(), &U);
    EXPECT_EQ(FirstUnit, &U);
    EXPECT_EQ(UnitConstructionCount, 1u);
    EXPECT_EQ(BlockFixupKindA, KindA);
    EXPECT_EQ(BlockFixupKindB, KindB);
  });
  EXPECT_EQ(TryLoadUnit(Broken).Error, AsSecond);
}

TEST_F(TUsedUnitsTest, LinksAreFollowedAndPipesNeverRead) {
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  const std::string Plain = Listing(App, nullptr);
  // A pipe by the unit's name: passed over, without waiting for a writer.
  ASSERT_EQ(::mkfifo((Root / "app/Lib.dcu").c_str(), 0644), 0);
  TUsedUnits Pipe;
  EXPECT_EQ(Listing(App, &Pipe), Plain);
  // A link to a unit elsewhere is that unit; a dangling one is none.
  fs::remove(Root / "app/Lib.dcu");
  Write("elsewhere/Lib.dcu", unitbuilder::LibUnit());
  fs::create_symlink(Root / "elsewhere/Lib.dcu", Root / "app/Lib.dcu");
  fs::create_symlink(Root / "nowhere/Mid.dcu", Root / "app/Mid.dcu");
  TUsedUnits Linked;
  EXPECT_TRUE(HasLines(Listing(App, &Linked), LibLines()));
}

TEST_F(TUsedUnitsTest, NoSingleByteChangeOfAUsedUnitFailsTheUnitsLoad) {
  // Whatever a damaged Lib or Mid claims (sizes, offsets, bounds, names),
  // App loads and its values stay inside App's data block.
  const std::string App = Write("app/App.dcu", unitbuilder::AppUnit());
  const std::vector<uint8_t> Lib = unitbuilder::LibUnit(), Mid = unitbuilder::MidUnit();
  size_t Loaded = 0, Tried = 0;
  // The unit changed, and the other one beside it as it is.
  for (const auto& [Name, Good, Other, OtherBytes] : {std::tuple{"Lib", &Lib, "Mid", &Mid}, std::tuple{"Mid", &Mid, "Lib", &Lib}}) {
    Write(std::string("app/") + Other + ".dcu", *OtherBytes);
    for (size_t I = 16; I < Good->size(); ++I)
      for (const uint8_t Change : {uint8_t(0xFF), uint8_t(0x01)}) {
        std::vector<uint8_t> Bad = *Good;
        Bad[I] ^= Change;
        const std::string File = Write(std::string("app/") + Name + ".dcu", Bad);
        TUsedUnits Library;
        const std::string L = Listing(App, &Library);
        ASSERT_NE(L.find("\nend.\n"), std::string::npos) << Name << " byte " << I;
        Loaded += Library.TypesOf(File) != nullptr;
        ++Tried;
      }
  }
  EXPECT_GT(Loaded, Tried / 4);
}
