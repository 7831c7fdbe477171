// unitpeek-dump --report and --graph run as a program on a synthetic folder:
// the output formats and the exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "SummaryTestUtil.h"
#include "FolderUnits.h"

using nlohmann::json;
using summarytest::Dump;
using summarytest::TRun;
using summarytest::TTempDir;

namespace {

// A unit that imports Run from Lib with Stamp, or (Stamp 0) Lib itself,
// declaring Run with stamp 1.
std::vector<uint8_t> Unit(const std::string& Name, uint32_t Stamp) {
  if (!Stamp) return unitbuilder::FolderUnit(Name, 7, {}, {{"Run", 1}});
  return unitbuilder::FolderUnit(Name, 7, {{"Lib", {{"Run", Stamp}}}});
}

}  // namespace

TEST(ReportCommand, FormatsAndExitStatus) {
  TTempDir Dir;
  std::filesystem::create_directories(Dir.Path / "good");
  std::filesystem::create_directories(Dir.Path / "stale");
  Dir.Write("good/Lib.dcu", Unit("Lib", 0));
  Dir.Write("good/App.dcu", Unit("App", 1));
  Dir.Write("stale/Lib.dcu", Unit("Lib", 0));
  Dir.Write("stale/App.dcu", Unit("App", 2));
  const std::string Good = (Dir.Path / "good").string();
  const std::string Stale = (Dir.Path / "stale").string();

  TRun T = Dump({"--report", Good});
  EXPECT_EQ(T.Status, 0);
  EXPECT_NE(T.Out.find("2 unit files, 2 loaded; 0 findings"), std::string::npos) << T.Out;

  TRun J = Dump({"--report", "--json", Stale});
  EXPECT_EQ(J.Status, 1);
  json Doc = json::parse(J.Out);
  EXPECT_EQ(Doc["units"].size(), 2u);
  ASSERT_EQ(Doc["findings"].size(), 1u);
  EXPECT_EQ(Doc["findings"][0]["kind"], "interface-mismatch");
  EXPECT_EQ(Doc["findings"][0]["names"], json::array({"Run"}));

  TRun G = Dump({"--graph", Stale});
  EXPECT_EQ(G.Status, 1);
  EXPECT_EQ(G.Out.rfind("digraph uses {", 0), 0u);
  EXPECT_NE(G.Out.find("\"App\" -> \"Lib\" [color=red, penwidth=2];"), std::string::npos);

  // A path that is not there: reported, status 1; usage errors: status 2.
  TRun Missing = Dump({"--report", (Dir.Path / "none").string()});
  EXPECT_EQ(Missing.Status, 1);
  EXPECT_NE(Missing.Out.find("not-loaded (1):"), std::string::npos);
  EXPECT_EQ(Dump({"--report"}).Status, 2);
  EXPECT_EQ(Dump({"--graph", "--json", Good}).Status, 2);
}
