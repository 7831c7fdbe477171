// Folders with a unit path: used units in no file of the set but found on
// the unit path are library units in the report (text, JSON, graph), not
// missing ones, and the find index searches the unit path's units after the
// set's, marked as library.
#include <gtest/gtest.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FindIndex.h"
#include "FolderReportWriters.h"
#include "FolderUnits.h"
#include "TempFolder.h"
#include "UnitBuilder.h"
#include "UnitFolders.h"
#include "UsesGraph.h"

namespace fs = std::filesystem;

namespace {

// A project folder (App and Tool use Lib and Gone) and a library folder
// holding Lib under another letter case, and a unit nobody uses.
class UnitPath : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("proj/App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}, {"Gone"}}));
    Write("proj/Tool.dcu", unitbuilder::FolderUnit("Tool", 7, {{"lib", {{"Run", 1}}, 0x65}}));
    Write("libs/LIB.DCU", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}}));
    Write("libs/Extra.dcu", unitbuilder::FolderUnit("Extra", 7, {}, {{"Run", 9}}));
    Write("libs/deep/Gone.dcu", unitbuilder::FolderUnit("Gone", 7, {}));  // below the path: not on it
  }
  void Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const { ASSERT_FALSE(Temp.Write(Rel, Bytes).empty()); }
  std::string P(const std::string& Rel) const { return Temp.Path(Rel); }
  const testdata::TTempFolder Temp{"upath"};
};

}  // namespace

TEST_F(UnitPath, ReportPutsUnitsFoundOnThePathApartFromMissingOnes) {
  const TFolderReport Without = ScanFolders({P("proj")});
  const TFolderReport With = ScanFolders({P("proj")}, {}, nullptr, 1, {P("none"), P("libs")});
  EXPECT_TRUE(Without.Library.empty());
  ASSERT_EQ(With.Library.size(), 1u);
  EXPECT_EQ(With.Names.Text(With.Library[0].Unit), "Lib");
  EXPECT_EQ(With.Library[0].Path, P("libs") + "/LIB.DCU");
  EXPECT_EQ(With.FileLists[With.Library[0].FileList].size(), 2u);  // App and Tool
  // Gone stays missing; Lib is missing only without the path.
  auto MissingNames = [](const TFolderReport& R) {
    std::vector<std::string> N;
    for (const TFinding& F : R.Findings) {
      if (F.Kind == TFindingKind::MissingUnit) N.emplace_back(R.Names.Text(F.Unit));
      if (F.Kind == TFindingKind::MissingRuntime)
        for (uint32_t Name : F.Names) N.emplace_back(R.Names.Text(Name));
    }
    return N;
  };
  EXPECT_EQ(MissingNames(Without), (std::vector<std::string>{"Lib", "Gone"}));
  EXPECT_EQ(MissingNames(With), (std::vector<std::string>{"Gone"}));

  std::ostringstream Text, Json, WithoutText;
  WriteReportText(With, Text);
  WriteReportText(Without, WithoutText);
  EXPECT_NE(Text.str().find("\nlibrary (1, on the unit path):\n  Lib (" + P("libs") + "/LIB.DCU), used by "),
            std::string::npos)
      << Text.str();
  EXPECT_EQ(WithoutText.str().find("\nlibrary ("), std::string::npos);
  WriteReportJson(With, Json);
  const nlohmann::json J = nlohmann::json::parse(Json.str());
  ASSERT_EQ(J["library"].size(), 1u);
  EXPECT_EQ(J["library"][0]["unit"], "Lib");
  EXPECT_EQ(J["library"][0]["users"].size(), 2u);
  std::ostringstream WithoutJson;
  WriteReportJson(Without, WithoutJson);
  EXPECT_FALSE(nlohmann::json::parse(WithoutJson.str()).contains("library"));

  // The graph: Lib filled grey, Gone dashed as before.
  const std::string Dot = UsesGraphDot(BuildUsesGraph(With));
  EXPECT_NE(Dot.find("\"Lib\" [style=\"rounded,filled\""), std::string::npos) << Dot;
  EXPECT_NE(Dot.find("\"Gone\" [style=\"rounded,dashed\""), std::string::npos) << Dot;
}

TEST_F(UnitPath, FindSearchesTheUnitsOnThePathAfterTheSetsMarkedAsLibrary) {
  const TFindIndex Index = BuildFindIndex({P("proj")}, nullptr, 1, {P("libs"), P("libs")});
  ASSERT_EQ(Index.Size(), 4u);  // App, Tool, then Extra and LIB.DCU once
  EXPECT_FALSE(Index.Library(1));
  EXPECT_TRUE(Index.Library(2));
  EXPECT_EQ(Index.UnitName(2), "Extra");
  const TFindResult R = Index.Find("Run");
  ASSERT_EQ(R.Hits.size(), 2u);
  EXPECT_EQ(R.Hits[1].UnitName, "Lib");
  EXPECT_TRUE(Index.Library(R.Hits[1].Unit));
  // Who uses Lib's Run: the set's units, found through the library unit.
  const std::vector<TFindUser> Users = Index.UsersOf(R.Hits[1]);
  ASSERT_EQ(Users.size(), 2u);
  EXPECT_FALSE(Index.Library(Users[0].Unit));
  EXPECT_TRUE(Index.UsersOf(R.Hits[0]).empty());  // Extra's Run: nobody imports it

  // A unit of the set on the path too is the set's, once.
  const TFindIndex Twice = BuildFindIndex({P("proj")}, nullptr, 1, {P("proj")});
  EXPECT_EQ(Twice.Size(), 2u);
  EXPECT_FALSE(Twice.Library(1));
  EXPECT_EQ(LibraryUnitFiles({P("libs") + "/"}, {P("libs") + "/Extra.dcu"}), std::vector<std::string>{P("libs") + "/LIB.DCU"});
}
