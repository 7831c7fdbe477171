// The find's writers: the text groups hits by unit with their users, then
// the unit names; the JSON has the hits, the units and what did not load,
// each on a line of its own, and parses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FindIndex.h"
#include "FindWriters.h"
#include "FolderUnits.h"
#include "UnitBuilder.h"

namespace fs = std::filesystem;

namespace {

// Lib declares Run and Solo; App imports Run in its interface; Other
// declares a Run of its own that nobody imports; Broken does not load.
class FindWriters : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = fs::temp_directory_path() / ("unitpeek-findw-" + std::to_string(::getpid()));
    Write("Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 1}, {"Solo", 2}}));
    Write("App.dcu", unitbuilder::FolderUnit("App", 7, {{"Lib", {{"Run", 1}}}}));
    Write("Other.dcu", unitbuilder::FolderUnit("Other", 7, {}, {{"Run", 3}}));
    Write("Broken.dcu", {1, 2, 3});
    Index = BuildFindIndex({Root.string(), (Root / "none").string()}, &Unreadable);
  }
  void TearDown() override {
    std::error_code E;
    fs::remove_all(Root, E);
  }
  void Write(const std::string& Name, const std::vector<uint8_t>& Bytes) {
    fs::create_directories(Root);
    unitbuilder::WriteUnitFile((Root / Name).string(), Bytes);
  }
  std::string At(const std::string& Name) const { return (Root / Name).string(); }

  // What the text writer writes for Pattern.
  std::string Text(const std::string& Pattern) const {
    std::ostringstream Out;
    TFindTextWriter T(Out);
    const TFindPattern P(Pattern);
    Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      std::string Error;
      FillFindLines(H, &Error);
      T.Hits(Index, H);
      return true;
    });
    for (const TFindUnitUsers& U : Index.FindUnits(P)) T.Unit(Index, U);
    return Out.str();
  }

  fs::path Root;
  std::vector<TUnreadableEntry> Unreadable;
  TFindIndex Index;
};

}  // namespace

TEST_F(FindWriters, TextGroupsHitsByUnitWithTheirUsersThenTheUnitNames) {
  const std::string T = Text("run");
  // Two groups parted by an empty line; the importer under Lib's Run only.
  const std::string Lib = "Lib (" + At("Lib.dcu") + ")\n  interface var Run: ";
  ASSERT_EQ(T.rfind(Lib, 0), 0u) << T;
  EXPECT_NE(T.find(";\n    used in the interface of App (" + At("App.dcu") + ")\n\nOther (" + At("Other.dcu") +
                   ")\n  interface var Run: "),
            std::string::npos)
      << T;
  EXPECT_EQ(T.find("used in", T.find("Other (")), std::string::npos) << T;
  EXPECT_EQ(T.back(), '\n');

  // Unit names: their files and users, or none; a unit with no user.
  EXPECT_EQ(Text("lib"), "unit Lib (" + At("Lib.dcu") + "), used by 1 unit\n  used in the interface of App (" +
                             At("App.dcu") + ")\n");
  EXPECT_EQ(Text("app"), "unit App (" + At("App.dcu") + "), used by no unit\n");
  EXPECT_EQ(Text("nothing"), "");
}

TEST_F(FindWriters, JsonHasHitsUnitsAndWhatDidNotLoadEachOnALine) {
  std::ostringstream Out;
  {
    TFindJsonWriter J(Out, "r*");
    const TFindPattern P("r*");
    Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      std::string Error;
      FillFindLines(H, &Error);
      J.Hits(Index, H);
      return true;
    });
    J.Units(Index, Index.FindUnits(P));
    J.NotLoaded(Index, Unreadable);
  }
  const std::string S = Out.str();
  ASSERT_FALSE(S.empty());
  EXPECT_EQ(S.back(), '\n');
  const nlohmann::json Doc = nlohmann::json::parse(S);
  EXPECT_EQ(Doc["pattern"], "r*");
  ASSERT_EQ(Doc["declarations"].size(), 2u);
  const nlohmann::json& Run = Doc["declarations"][0];
  EXPECT_EQ(Run["unit"], "Lib");
  EXPECT_EQ(Run["path"], At("Lib.dcu"));
  EXPECT_EQ(Run["section"], "interface");
  EXPECT_EQ(Run["kind"], "var");
  EXPECT_EQ(Run["name"], "Run");
  EXPECT_GT(Run["offset"].get<int64_t>(), 0);
  EXPECT_EQ(Run["line"].get<std::string>().rfind("Run: ", 0), 0u);
  ASSERT_EQ(Run["usedBy"].size(), 1u);
  EXPECT_EQ(Run["usedBy"][0], nlohmann::json({{"unit", "App"}, {"path", At("App.dcu")}, {"section", "interface"}}));
  EXPECT_TRUE(Doc["declarations"][1]["usedBy"].empty());
  EXPECT_TRUE(Doc["units"].empty());
  // The entry that could not be read first, then the unit that did not load.
  ASSERT_EQ(Doc["notLoaded"].size(), 2u);
  EXPECT_EQ(Doc["notLoaded"][0]["path"], (Root / "none").string());
  EXPECT_EQ(Doc["notLoaded"][1]["path"], At("Broken.dcu"));
  EXPECT_FALSE(Doc["notLoaded"][1]["error"].get<std::string>().empty());
  // Each declaration and each entry on a line of its own.
  size_t Lines = 0;
  for (char C : S) Lines += C == '\n';
  EXPECT_GE(Lines, 2u + 2u + 3u);
  EXPECT_NE(S.find("\n    {\"unit\":\"Lib\",\"path\""), std::string::npos) << S;
  EXPECT_NE(S.find("\n    {\"path\":\"" + At("Broken.dcu")), std::string::npos) << S;
}
