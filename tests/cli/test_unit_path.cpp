// unitpeek-dump --unit-path read in process (the folders of every list, in
// order) and run as a program: the units a unit uses found
// beside it and in the folders given (one list with ':' between folders,
// the option repeated), their types decoding the unit's values in the
// declarations listing and in the JSON, and the option in --help.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DumpCommandLine.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"
#include "UsedUnitsUnits.h"

using summarytest::Dump;
using summarytest::TTempDir;

namespace {

class UnitPathCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* F : {"app", "a", "b"}) std::filesystem::create_directories(Dir.Path / F);
    App = Dir.Write("app/App.dcu", unitbuilder::AppUnit());
  }
  std::string In(const std::string& Folder) const { return (Dir.Path / Folder).string(); }
  // The listing of App with Args before it: whether Lib's and Mid's types
  // decoded its values (by the enumeration names that start with P).
  std::string Decls(const std::vector<std::string>& Args, const std::string& Unit = {}) const {
    std::vector<std::string> A = {"--decls"};
    A.insert(A.end(), Args.begin(), Args.end());
    A.push_back(Unit.empty() ? App : Unit);
    const summarytest::TRun R = Dump(A);
    EXPECT_EQ(R.Status, 0);
    return R.Out;
  }

  TTempDir Dir;
  std::string App;
};

bool Has(const std::string& Out, const std::string& Text) { return Out.find(Text) != std::string::npos; }
bool ByLib(const std::string& Out, const std::string& P = "m") {
  return Has(Out, "  FastMode: TMode = " + P + "Fast;\n") && Has(Out, "  Pair: TPair = (Value: 42; Name: 'abc');\n") &&
         Has(Out, "    property Mode default " + P + "Safe;\n");
}
bool ByMid(const std::string& Out, const std::string& P = "m") { return Has(Out, "  MidMode: TMidMode = " + P + "Safe;\n"); }
bool Undecoded(const std::string& Out) {
  return Has(Out, "  FastMode: TMode = {1 bytes in the data block, not decoded};\n") &&
         Has(Out, "  MidMode: TMidMode = {2 bytes in the data block, not decoded};\n") &&
         Has(Out, "    property Mode default 2;\n");
}

}  // namespace

TEST_F(UnitPathCommand, UsedUnitsBesideTheUnitAndInTheFoldersGiven) {
  const std::string Plain = Decls({});
  EXPECT_TRUE(Undecoded(Plain)) << Plain;
  Dir.Write("b/Lib.dcu", unitbuilder::LibUnit());
  Dir.Write("b/Mid.dcu", unitbuilder::MidUnit());
  EXPECT_EQ(Decls({}), Plain);
  const std::string ByB = Decls({"--unit-path", In("b")});
  EXPECT_TRUE(ByLib(ByB) && ByMid(ByB)) << ByB;
  // One list, empty parts and folders that do not exist passed over; the
  // option repeated; the value after '='.
  for (const std::vector<std::string>& Args :
       std::vector<std::vector<std::string>>{{"--unit-path", In("a") + ":" + In("b")},
                                             {"--unit-path", ":" + In("nothing") + "::" + In("b") + ":"},
                                             {"--unit-path", In("a"), "--unit-path", In("b")},
                                             {"--unit-path=" + In("b")}})
    EXPECT_EQ(Decls(Args), ByB) << Args[1];
  EXPECT_EQ(Decls({"--unit-path", In("a")}), Plain);
  EXPECT_EQ(Decls({"--unit-path", ""}), Plain);
  // Beside the unit, without the option.
  Dir.Write("app/Lib.dcu", unitbuilder::LibUnit(7, "o"));
  const std::string Beside = Decls({});
  EXPECT_TRUE(ByLib(Beside, "o") && !ByMid(Beside)) << Beside;
  // The unit's folder first, then the folders in their order.
  EXPECT_TRUE(ByLib(Decls({"--unit-path", In("b")}), "o"));
  std::filesystem::remove(Dir.Path / "app/Lib.dcu");
  Dir.Write("a/Lib.dcu", unitbuilder::LibUnit(7, "p"));
  EXPECT_TRUE(ByLib(Decls({"--unit-path", In("a") + ":" + In("b")}), "p"));
  EXPECT_TRUE(ByLib(Decls({"--unit-path", In("b"), "--unit-path", In("a")})));
  // Of the two lists, each unit from the first folder that has it.
  const std::string Mixed = Decls({"--unit-path", In("a"), "--unit-path", In("b")});
  EXPECT_TRUE(ByLib(Mixed, "p") && ByMid(Mixed, "p")) << Mixed;
}

TEST_F(UnitPathCommand, EachUnitLooksInItsOwnFolderFirst) {
  // Two units of the same name, one with Lib and Mid beside it.
  Dir.Write("app/Lib.dcu", unitbuilder::LibUnit());
  Dir.Write("app/Mid.dcu", unitbuilder::MidUnit());
  const std::string Alone = Dir.Write("a/App.dcu", unitbuilder::AppUnit());
  const summarytest::TRun Text = Dump({"--decls", App, Alone});
  const size_t Second = Text.Out.find("==> " + Alone + " <==");
  ASSERT_NE(Second, std::string::npos);
  EXPECT_TRUE(ByLib(Text.Out.substr(0, Second)) && ByMid(Text.Out.substr(0, Second)));
  EXPECT_TRUE(Undecoded(Text.Out.substr(Second)));
  // A unit named by its bare file name: the working folder is its folder.
  const summarytest::TRun Bare = summarytest::RunShell("cd " + summarytest::Quote(In("app")) + " && LC_ALL=C " +
                                                       summarytest::Quote(summarytest::DumpProgram()) +
                                                       " --decls App.dcu 2>/dev/null");
  EXPECT_EQ(Bare.Status, 0);
  EXPECT_TRUE(ByLib(Bare.Out) && ByMid(Bare.Out)) << Bare.Out;
}

TEST_F(UnitPathCommand, JsonDeclarationsCarryTheDecodedValues) {
  Dir.Write("b/Lib.dcu", unitbuilder::LibUnit());
  const std::string Alone = Dir.Write("a/App.dcu", unitbuilder::AppUnit());
  const summarytest::TRun Plain = Dump({"--json", "--decls", App});
  EXPECT_TRUE(Has(Plain.Out, R"("text":"FastMode: TMode = {1 bytes in the data block, not decoded}")"));
  EXPECT_TRUE(Has(Plain.Out, R"("valueBytes":"01")"));
  // Several files: each with its own folder first, then the path.
  Dir.Write("app/Mid.dcu", unitbuilder::MidUnit());
  const summarytest::TRun R = Dump({"--json", "--decls", "--unit-path", In("b"), App, Alone, App});
  EXPECT_EQ(R.Status, 0);
  // The objects of the array, one per file (each ends with its path).
  const size_t Second = R.Out.find("\n  {\n", R.Out.find(App)), Third = R.Out.find("\n  {\n", R.Out.find(Alone));
  ASSERT_NE(Third, std::string::npos);
  ASSERT_NE(R.Out.find(App, Third), std::string::npos);
  for (const std::string& Part : {R.Out.substr(0, Second), R.Out.substr(Third)}) {
    EXPECT_TRUE(Has(Part, R"("typed":true,"value":"mFast")"));
    EXPECT_TRUE(Has(Part, R"("value":{"Value":42,"Name":"abc"})"));
    EXPECT_TRUE(Has(Part, R"("value":[{"Value":1,"Name":"x"},{"Value":-2,"Name":""}])"));
    EXPECT_TRUE(Has(Part, R"("default":"mSafe","kind":"property","name":"Mode")"));
    EXPECT_TRUE(Has(Part, R"("default":true,"kind":"property","name":"Flag")"));
    EXPECT_TRUE(Has(Part, R"("typed":true,"value":1.5,"valueText":"1.5")"));
  }
  EXPECT_TRUE(Has(R.Out.substr(0, Second), R"("text":"MidMode: TMidMode = mSafe")"));
  // Alone has Lib on the path, but not Mid.
  const std::string Middle = R.Out.substr(Second, Third - Second);
  EXPECT_TRUE(Has(Middle, R"("typed":true,"value":"mFast")"));
  EXPECT_TRUE(Has(Middle, R"("valueBytes":"0200")"));
}

TEST_F(UnitPathCommand, TheSummaryAndHelpSayWhatTheyDid) {
  Dir.Write("b/Lib.dcu", unitbuilder::LibUnit());
  // The summary holds no values: the same with the path.
  EXPECT_EQ(Dump({"--unit-path", In("b"), App}).Out, Dump({App}).Out);
  EXPECT_EQ(Dump({"--json", "--unit-path", In("b"), App}).Out, Dump({"--json", App}).Out);
  const summarytest::TRun Help = Dump({"--help"});
  EXPECT_EQ(Help.Status, 0);
  EXPECT_TRUE(Has(Help.Out, "  --unit-path <DIRS>  Folders to find the units that the units use in")) << Help.Out;
}

TEST_F(UnitPathCommand, SkeletonsAndCodeListingsTakeThePathToo) {
  Dir.Write("b/Lib.dcu", unitbuilder::LibUnit());
  const summarytest::TRun Plain = Dump({"--pas", App});
  const summarytest::TRun ByB = Dump({"--pas", "--unit-path", In("b"), App});
  EXPECT_EQ(ByB.Status, 0);
  EXPECT_FALSE(Has(Plain.Out, "mFast")) << Plain.Out;
  EXPECT_TRUE(Has(ByB.Out, "  FastMode: TMode = mFast;\n")) << ByB.Out;
  EXPECT_TRUE(Has(ByB.Out, "  Pair: TPair = (Value: 42; Name: 'abc');\n")) << ByB.Out;
  const summarytest::TRun Code = Dump({"--code", "--decls", "--unit-path", In("b"), App});
  EXPECT_TRUE(Has(Code.Out, "FastMode: TMode = mFast")) << Code.Out;
  EXPECT_FALSE(Has(Dump({"--code", "--decls", App}).Out, "mFast"));
}

TEST(UnitPathCommandLine, TheFoldersOfEveryListInTheirOrder) {
  auto Path = [](std::vector<std::string> Args) {
    Args.insert(Args.begin(), "unitpeek-dump");
    Args.push_back("a.dcu");
    std::vector<const char*> Argv;
    for (const std::string& A : Args) Argv.push_back(A.c_str());
    const TDumpCommandLine C = ParseDumpCommandLine(static_cast<int>(Argv.size()), Argv.data());
    EXPECT_TRUE(C.Options) << C.Err;
    return C.Options ? C.Options->UnitPath : std::vector<std::string>{"(usage error)"};
  };
  using TList = std::vector<std::string>;
  EXPECT_EQ(Path({"--decls"}), TList{});
  EXPECT_EQ(Path({"--decls", "--unit-path", "/l/a:/l/b"}), (TList{"/l/a", "/l/b"}));
  EXPECT_EQ(Path({"--unit-path", "/l/c", "--decls", "--unit-path=/l/a::/l/b:"}), (TList{"/l/c", "/l/a", "/l/b"}));
  EXPECT_EQ(Path({"--unit-path", "", "--decls"}), TList{});
  // The next argument as it is, as for every value option.
  EXPECT_EQ(Path({"--unit-path", "--json", "--decls"}), TList{"--json"});
  const char* Missing[] = {"unitpeek-dump", "a.dcu", "--unit-path"};
  const TDumpCommandLine C = ParseDumpCommandLine(3, Missing);
  EXPECT_FALSE(C.Options);
  EXPECT_EQ(C.Status, 2);
  EXPECT_EQ(C.Err.substr(0, C.Err.find('\n')), "unitpeek-dump: Missing value after '--unit-path'.");
}

TEST_F(UnitPathCommand, AUnitReadForItsTypesChangesNoErrorText) {
  std::vector<uint8_t> Cut = unitbuilder::AppUnit();
  Cut.resize(Cut.size() * 2 / 3);
  unitbuilder::PatchStoredLength(Cut);
  const std::string Broken = Dir.Write("a/Broken.dcu", Cut);
  // From "Error:" on: what follows the declarations read.
  auto Errors = [](const std::string& Out) {
    std::string E;
    for (size_t At = Out.find("\nError:"); At != std::string::npos; At = Out.find("\nError:", At + 1))
      E += Out.substr(At, Out.find("\n\n", At + 1) - At) + "|";
    return E;
  };
  const std::vector<std::vector<std::string>> Runs = {
      {"--decls", Broken}, {"--decls", App, Broken}, {"--decls", Broken, App, Broken}, {"--json", "--decls", Broken, App, Broken}};
  std::vector<std::string> Before;
  for (const std::vector<std::string>& R : Runs) Before.push_back(Dump(R).Out);
  Dir.Write("app/Lib.dcu", unitbuilder::LibUnit());
  Dir.Write("a/Lib.dcu", unitbuilder::LibUnit());
  for (size_t I = 0; I < Runs.size(); ++I) {
    const std::string After = Dump(Runs[I]).Out;
    EXPECT_NE(After, Before[I]);  // the values are decoded now
    if (I < 3) {
      EXPECT_EQ(Errors(After), Errors(Before[I])) << Runs[I].size();
      EXPECT_NE(Errors(After), "");
    }
  }
  // The first unit's error text has no unit part; a later one's has.
  EXPECT_EQ(Errors(Dump({"--decls", Broken}).Out).find(" in App "), std::string::npos);
  EXPECT_NE(Errors(Dump({"--decls", App, Broken}).Out).find(" in App "), std::string::npos);
  // The JSON's error texts.
  const std::string Json = Dump(Runs[3]).Out;
  auto ErrorsOf = [](const std::string& J) {
    std::string E;
    for (size_t At = J.find("\"error\": \""); At != std::string::npos; At = J.find("\"error\": \"", At + 1))
      E += J.substr(At, J.find('\n', At) - At) + "|";
    return E;
  };
  EXPECT_EQ(ErrorsOf(Json), ErrorsOf(Before[3]));
  EXPECT_NE(ErrorsOf(Json), "");
}

TEST_F(UnitPathCommand, TwoBuildsComparedReadTheUnitsTheyUseAlike) {
  const std::string Copy = Dir.Write("a/App.dcu", unitbuilder::AppUnit());
  // Lib beside one of them only: it serves both, and a copy is the same.
  Dir.Write("app/Lib.dcu", unitbuilder::LibUnit());
  const summarytest::TRun Same = Dump({"--diff", App, Copy});
  EXPECT_EQ(Same.Status, 0) << Same.Out;
  EXPECT_EQ(Dump({"--diff", Copy, App}).Status, 0);
  // Another build of Lib beside the other: each reads its own.
  Dir.Write("a/Lib.dcu", unitbuilder::LibUnit(7, "p"));
  const summarytest::TRun Differ = Dump({"--diff", App, Copy});
  EXPECT_EQ(Differ.Status, 1);
  EXPECT_TRUE(Has(Differ.Out, "    - FastMode: TMode = mFast\n    + FastMode: TMode = pFast\n")) << Differ.Out;
  // Lib on the path: both read it.
  std::filesystem::remove(Dir.Path / "a/Lib.dcu");
  std::filesystem::remove(Dir.Path / "app/Lib.dcu");
  Dir.Write("b/Lib.dcu", unitbuilder::LibUnit());
  EXPECT_EQ(Dump({"--diff", "--unit-path", In("b"), App, Copy}).Status, 0);
}
