// unitpeek-dump --find run as a program on synthetic folders: the text and
// its grouping, the JSON and its shape, wildcards, members, the users of
// units and of declarations, and the exit status; and --graph
// --hide-runtime.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "FolderUnits.h"
#include "SummaryTestUtil.h"

using nlohmann::json;
using summarytest::Dump;
using summarytest::TRun;
using summarytest::TTempDir;

namespace {

// Shapes declares TShape and Current; Things imports Current from Shapes
// in its interface; Tools uses Shapes in its implementation only; Bad.dcu
// does not load.
struct TFindFolder {
  TTempDir Dir;
  std::string Root, Shapes, Things, Tools, Bad;
  TFindFolder() {
    Root = Dir.Path.string();
    Shapes = Dir.Write("Shapes.dcu", unitbuilder::MembersUnit("Shapes", "TShape"));
    Things = Dir.Write("Things.dcu", unitbuilder::MembersUnit("Things", "TThing", {{"Shapes", {{"Current", 7}}}}));
    Tools = Dir.Write("Tools.dcu", unitbuilder::FolderUnit("Tools", 7, {{"System"}, {"Shapes", {}, 0x65}}));
    Bad = Dir.Write("Bad.dcu", {1, 2, 3});
  }
};

}  // namespace

TEST(FindCommand, TextGroupsHitsByUnitWithTheirUsers) {
  TFindFolder F;
  TRun R = Dump({"--find", "current", F.Root});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "Shapes (" + F.Shapes + ")\n"
                   "  interface var Current: TShape;\n"
                   "    used in the interface of Things (" + F.Things + ")\n"
                   "\n"
                   "Things (" + F.Things + ")\n"
                   "  interface var Current: TThing;\n");

  // Members: the kind, the qualified name and the line; a routine's line
  // carries its keyword, so its kind is not repeated.
  R = Dump({"--find", "TShape.*Count", F.Root});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "Shapes (" + F.Shapes + ")\n"
                   "  interface field TShape.FCount: FCount: Integer;\n"
                   "  interface method TShape.GetCount: method GetCount;\n"
                   "  interface property TShape.Count: property Count: Integer;\n"
                   "  implementation function TShape.GetCount: Integer;\n");

  // A unit name: its file and its users, interface or implementation.
  R = Dump({"--find", "shapes", F.Root});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "unit Shapes (" + F.Shapes + "), used by 2 units\n"
                   "  used in the interface of Things (" + F.Things + ")\n"
                   "  used in the implementation of Tools (" + F.Tools + ")\n");
  // A name only used: not in the folders.
  R = Dump({"--find", "Sys*", F.Root});
  EXPECT_NE(R.Out.find("unit System (not in the folders), used by 3 units\n"), std::string::npos) << R.Out;
}

TEST(FindCommand, WildcardsAndLetterCase) {
  TFindFolder F;
  // '?' one character, '*' any run, letter case ignored.
  TRun R = Dump({"--find", "t?HING", F.Root});
  EXPECT_EQ(R.Status, 0);
  EXPECT_NE(R.Out.find("  interface type TThing = class\n"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("TShape"), std::string::npos);
  R = Dump({"--find", "*.count", F.Root});
  EXPECT_EQ(R.Status, 0);
  EXPECT_NE(R.Out.find("  interface field TPoint.Count: Count: Integer;\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("  interface property TThing.Count: property Count: Integer;\n"), std::string::npos) << R.Out;
  // Without a '.' members are not searched.
  EXPECT_EQ(Dump({"--find", "FCount", F.Root}).Status, 1);
}

TEST(FindCommand, JsonShape) {
  TFindFolder F;
  TRun R = Dump({"--find", "*current*", "--json", F.Root});
  ASSERT_EQ(R.Status, 0);
  const json Doc = json::parse(R.Out);
  EXPECT_EQ(Doc["pattern"], "*current*");
  ASSERT_EQ(Doc["declarations"].size(), 2u);
  const json& D = Doc["declarations"][0];
  EXPECT_EQ(D["unit"], "Shapes");
  EXPECT_EQ(D["path"], F.Shapes);
  EXPECT_EQ(D["section"], "interface");
  EXPECT_EQ(D["kind"], "var");
  EXPECT_EQ(D["name"], "Current");
  EXPECT_TRUE(D["offset"].is_number_unsigned());
  EXPECT_GT(D["offset"].get<uint32_t>(), 0u);
  EXPECT_EQ(D["line"], "Current: TShape;");
  ASSERT_EQ(D["usedBy"].size(), 1u);
  EXPECT_EQ(D["usedBy"][0], json({{"unit", "Things"}, {"path", F.Things}, {"section", "interface"}}));
  EXPECT_TRUE(Doc["declarations"][1]["usedBy"].empty());
  EXPECT_TRUE(Doc["units"].empty());
  ASSERT_EQ(Doc["notLoaded"].size(), 1u);
  EXPECT_EQ(Doc["notLoaded"][0]["path"], F.Bad);
  EXPECT_FALSE(Doc["notLoaded"][0]["error"].get<std::string>().empty());

  // Unit names with their files and users; members with "Owner.Member".
  const json Units = json::parse(Dump({"--find", "SHAPES", "--json", F.Root}).Out);
  ASSERT_EQ(Units["units"].size(), 1u);
  EXPECT_EQ(Units["units"][0]["unit"], "Shapes");
  EXPECT_EQ(Units["units"][0]["files"], json::array({F.Shapes}));
  EXPECT_EQ(Units["units"][0]["usedBy"].size(), 2u);
  EXPECT_EQ(Units["units"][0]["usedBy"][1]["section"], "implementation");
  const json Members = json::parse(Dump({"--find", "TPoint.*", "--json", F.Root}).Out);
  ASSERT_EQ(Members["declarations"].size(), 4u);
  EXPECT_EQ(Members["declarations"][1]["name"], "TPoint.Count");
  EXPECT_EQ(Members["declarations"][1]["kind"], "field");

  // Nothing found: the same shape, empty, status 1.
  R = Dump({"--find", "Nothing", "--json", F.Root});
  EXPECT_EQ(R.Status, 1);
  const json None = json::parse(R.Out);
  EXPECT_TRUE(None["declarations"].empty());
  EXPECT_TRUE(None["units"].empty());
}

TEST(FindCommand, ExitStatus) {
  TFindFolder F;
  // Found, also beside a file that does not load; nothing found.
  EXPECT_EQ(Dump({"--find", "TShape", F.Root}).Status, 0);
  EXPECT_EQ(Dump({"--find", "Nothing*", F.Root}).Status, 1);
  // A given file is searched as it is, whatever its name.
  EXPECT_EQ(Dump({"--find", "TShape", F.Shapes}).Status, 0);
  // A given path that cannot be read is an error, found or not.
  const std::string Missing = (F.Dir.Path / "none").string();
  EXPECT_EQ(Dump({"--find", "TShape", F.Root, Missing}).Status, 2);
  EXPECT_EQ(Dump({"--find", "Nothing", Missing}).Status, 2);
  // Usage errors.
  EXPECT_EQ(Dump({"--find", "TShape"}).Status, 2);
  EXPECT_EQ(Dump({"--find", "", F.Root}).Status, 2);
  EXPECT_EQ(Dump({"--find", "TShape", "--report", F.Root}).Status, 2);
  EXPECT_EQ(Dump({"--find", "TShape", "--decls", F.Root}).Status, 2);
  EXPECT_EQ(Dump({"--hide-runtime", F.Root}).Status, 2);
  EXPECT_EQ(Dump({"--report", "--hide-runtime", F.Root}).Status, 2);
}

TEST(GraphCommand, HideRuntimeLeavesOutWhatMostUnitsUseFromOutside) {
  // Three units use System (outside the set): used by more than half, it is
  // hidden with its edges. Rare, outside too, is used by one: it stays.
  TTempDir Dir;
  Dir.Write("A.dcu", unitbuilder::FolderUnit("A", 7, {{"System"}, {"B"}}));
  Dir.Write("B.dcu", unitbuilder::FolderUnit("B", 7, {{"System"}, {"Rare"}}));
  Dir.Write("C.dcu", unitbuilder::FolderUnit("C", 7, {{"System"}}));
  const std::string Root = Dir.Path.string();
  const TRun All = Dump({"--graph", Root});
  const TRun Hidden = Dump({"--graph", "--hide-runtime", Root});
  EXPECT_EQ(All.Status, 0);
  EXPECT_EQ(Hidden.Status, 0);
  EXPECT_NE(All.Out.find("\"System\" [style="), std::string::npos) << All.Out;
  EXPECT_NE(All.Out.find("\"C\" -> \"System\""), std::string::npos) << All.Out;
  EXPECT_EQ(Hidden.Out.find("System"), std::string::npos) << Hidden.Out;
  EXPECT_NE(Hidden.Out.find("\"A\" -> \"B\";"), std::string::npos) << Hidden.Out;
  EXPECT_NE(Hidden.Out.find("\"B\" -> \"Rare\";"), std::string::npos) << Hidden.Out;
  EXPECT_NE(Hidden.Out.find("  \"C\";\n"), std::string::npos) << Hidden.Out;
}

// Nothing found is said on standard error (the status is 1 as ever); a find
// that finds says nothing of the kind.
TEST(FindCommand, NothingFoundIsSaid) {
  TFindFolder F;
  auto Err = [&](const std::string& Pattern, const std::string& More) {
    return summarytest::RunShell("LC_ALL=C " + summarytest::Quote(UNITPEEK_DUMP) + More + " --find " +
                                 summarytest::Quote(Pattern) + " " + summarytest::Quote(F.Root) + " 2>&1 >/dev/null")
        .Out;
  };
  const std::string Said = "unitpeek-dump: no declaration or unit matches Nothing*\n";
  for (const std::string& More : {std::string(), std::string(" --json")}) {
    const std::string E = Err("Nothing*", More);
    ASSERT_GE(E.size(), Said.size()) << E;
    EXPECT_EQ(E.substr(E.size() - Said.size()), Said) << E;
  }
  EXPECT_EQ(Err("TShape", "").find("no declaration or unit matches"), std::string::npos);
}
