// unitpeek-dump is one program: its text summary is the summary writers'
// text, its error block is theirs, no mode loads Qt, and every mode runs
// with the program alone in a folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SampleUnits.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

using summarytest::Quote;
using summarytest::TTempDir;

namespace {

struct TRun : summarytest::TRun {
  std::string Err;
};

// Runs Program with Args under the C locale, Env put before it.
TRun RunDump(const std::string& Program, const std::vector<std::string>& Args, const std::string& Env = "") {
  TTempDir Tmp;
  const std::string ErrFile = (Tmp.Path / "err").string();
  std::string Cmd = "LC_ALL=C ";
  Cmd += Env;
  Cmd += " ";
  Cmd += Quote(Program);
  for (const std::string& A : Args) Cmd.append(" ").append(Quote(A));
  Cmd.append(" 2>").append(Quote(ErrFile));
  TRun R;
  static_cast<summarytest::TRun&>(R) = summarytest::RunShell(Cmd);
  std::ifstream E(ErrFile);
  std::stringstream SS;
  SS << E.rdbuf();
  R.Err = SS.str();
  return R;
}

class OneProgram : public ::testing::Test, protected summarytest::TFourFiles {};

// Every mode, each over all four files (a folder for the folder modes).
std::vector<std::vector<std::string>> EveryMode(const std::string& Folder) {
  return {{"--json"},         {"--json", "--decls"}, {"--decls"},        {"--code"},
          {"--code", "--json"}, {"--report", Folder}, {"--report", "--json", Folder},
          {"--graph", Folder}, {"--find", "T*", Folder}, {"--find", "T*", "--json", Folder},
          {"--decls", "--json"}, {}};
}

}  // namespace

TEST_F(OneProgram, ErrorBlockIsTheSummaryWritersOwn) {
  for (const std::string& Message : {std::string(), std::string("Cannot read file \"x\": No such file"),
                                     std::string("Odd\x01\n\x7F\x85\xE9\xFF", 8)}) {
    TJX_RecordingSink Sink;
    WriteErrorBlock(Sink, DisplayText(Message));
    EXPECT_EQ(ErrorBlockText(Message), Sink.PlainText());
  }
}

TEST_F(OneProgram, TextSummaryIsWhatLoadAndSummarizeWrites) {
  for (const std::string& Path : {Demo, Demo2, BadStamp}) {
    TJX_RecordingSink Sink;
    const TSummaryOutcome Want = LoadAndSummarize(Path, Sink);
    const TUnitLoad L = TryLoadUnit(Path);
    ASSERT_TRUE(L.Facts);
    std::string Out = "before\n";
    EXPECT_EQ(AppendSummaryText(*L.Facts, Out), Want.Written) << Path;
    EXPECT_EQ(Out, "before\n" + Sink.PlainText()) << Path;
    const TRun R = RunDump(UNITPEEK_DUMP, {Path});
    EXPECT_EQ(R.Out, Sink.PlainText()) << Path;
    EXPECT_EQ(R.Status, Want.Written ? 0 : 1) << Path;
  }
}

TEST_F(OneProgram, NoModeLoadsQt) {
  // The dynamic loader names every library it loads.
  for (std::vector<std::string> Args : EveryMode(Dir.Path.string())) {
    if (Args.empty() || Args.back() != Dir.Path.string()) Args.insert(Args.end(), {Demo, Broken, BadStamp});
    const TRun R = RunDump(UNITPEEK_DUMP, Args, "LD_DEBUG=libs");
    EXPECT_EQ(R.Err.find("libQt6"), std::string::npos) << Args[0] << " " << Args[1];
    ASSERT_NE(R.Err.find("libc.so"), std::string::npos) << "LD_DEBUG=libs names no libraries here";
  }
}

TEST_F(OneProgram, EveryModeRunsWithTheProgramAlone) {
  // The program alone in a folder of its own.
  TTempDir Alone;
  const std::filesystem::path Program = Alone.Path / "unitpeek-dump";
  std::filesystem::copy_file(UNITPEEK_DUMP, Program);
  for (std::vector<std::string> Args : EveryMode(Dir.Path.string())) {
    if (Args.empty() || Args.back() != Dir.Path.string()) Args.insert(Args.end(), {Demo, Broken, BadStamp, Demo2});
    const TRun Want = RunDump(UNITPEEK_DUMP, Args), Got = RunDump(Program.string(), Args);
    EXPECT_EQ(Got.Status, Want.Status) << Args[0];
    EXPECT_EQ(Got.Out, Want.Out) << Args[0];
    EXPECT_FALSE(Got.Out.empty());
  }
  EXPECT_EQ(RunDump(Program.string(), {"--version"}).Status, 0);
  EXPECT_EQ(RunDump(Program.string(), {"--json"}).Status, 2);
}
