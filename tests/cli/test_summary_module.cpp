// The text summary module and the modes that run without it: the module's
// text is the summary writers' text, the program's own error block is
// theirs, only the text summary loads Qt, and every other mode runs with no
// module beside the program.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SampleUnits.h"
#include "SummaryModule.h"
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

class SummaryModule : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string Demo = Dir.Write("Demo7.dcu", unitbuilder::DemoUnit(7));
  std::string Demo2 = Dir.Write("Demo2.dcu", unitbuilder::DemoUnit(2));
  std::string Broken = Dir.Write("Broken.dcu", {0x01, 0x02, 0x03});
  std::string BadStamp = Dir.Write("BadStamp.dcu", unitbuilder::BadStampUnit());
};

// The modes that need no Qt, each over all four files (a folder for the
// folder modes).
std::vector<std::vector<std::string>> QtFreeModes(const std::string& Folder) {
  return {{"--json"},         {"--json", "--decls"}, {"--decls"},        {"--code"},
          {"--code", "--json"}, {"--report", Folder}, {"--report", "--json", Folder},
          {"--graph", Folder}, {"--find", "T*", Folder}, {"--find", "T*", "--json", Folder}};
}

}  // namespace

TEST_F(SummaryModule, ErrorBlockIsTheSummaryWritersOwn) {
  for (const std::string& Message : {std::string(), std::string("Cannot read file \"x\": No such file"),
                                     std::string("Odd\x01\n\x7F\x85\xE9\xFF", 8)}) {
    TJX_RecordingSink Sink;
    WriteErrorBlock(Sink, DisplayText(Message));
    EXPECT_EQ(ErrorBlockText(Message), Sink.PlainText().toStdString());
  }
}

TEST_F(SummaryModule, ModuleWritesWhatLoadAndSummarizeWrites) {
  void* Handle = dlopen(UNITPEEK_SUMMARY_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(Handle, nullptr) << dlerror();
  auto* Text = reinterpret_cast<TSummaryTextFn>(dlsym(Handle, SummaryTextSymbol));
  ASSERT_NE(Text, nullptr);
  for (const std::string& Path : {Demo, Demo2, BadStamp}) {
    TJX_RecordingSink Sink;
    const TSummaryOutcome Want = LoadAndSummarize(Path, Sink);
    const TUnitLoad L = TryLoadUnit(Path);
    ASSERT_TRUE(L.Facts);
    std::string Out = "before\n";
    EXPECT_EQ(Text(*L.Facts, Out), Want.Written) << Path;
    EXPECT_EQ(Out, "before\n" + Sink.PlainText().toStdString()) << Path;
  }
}

TEST_F(SummaryModule, OnlyTheTextSummaryLoadsQt) {
  // The dynamic loader names every library it loads.
  const TRun Text = RunDump(UNITPEEK_DUMP, {Demo, Broken}, "LD_DEBUG=libs");
  EXPECT_EQ(Text.Status, 1);
  ASSERT_NE(Text.Err.find("libQt6Core"), std::string::npos) << "LD_DEBUG=libs names no libraries here";
  for (std::vector<std::string> Args : QtFreeModes(Dir.Path.string())) {
    if (Args.back() != Dir.Path.string()) Args.insert(Args.end(), {Demo, Broken, BadStamp});
    const TRun R = RunDump(UNITPEEK_DUMP, Args, "LD_DEBUG=libs");
    EXPECT_EQ(R.Err.find("libQt6"), std::string::npos) << Args[0] << " " << Args[1];
    EXPECT_NE(R.Err.find("libc.so"), std::string::npos) << Args[0] << " " << Args[1];
  }
}

TEST_F(SummaryModule, EveryOtherModeRunsWithoutTheModule) {
  // The program alone in a folder of its own.
  TTempDir Alone;
  const std::filesystem::path Program = Alone.Path / "unitpeek-dump";
  std::filesystem::copy_file(UNITPEEK_DUMP, Program);
  for (std::vector<std::string> Args : QtFreeModes(Dir.Path.string())) {
    if (Args.back() != Dir.Path.string()) Args.insert(Args.end(), {Demo, Broken, BadStamp, Demo2});
    const TRun Want = RunDump(UNITPEEK_DUMP, Args), Got = RunDump(Program.string(), Args);
    EXPECT_EQ(Got.Status, Want.Status) << Args[0] << " " << Args[1];
    EXPECT_EQ(Got.Out, Want.Out) << Args[0] << " " << Args[1];
    EXPECT_FALSE(Got.Out.empty());
  }
  EXPECT_EQ(RunDump(Program.string(), {"--version"}).Status, 0);
  EXPECT_EQ(RunDump(Program.string(), {"--json"}).Status, 2);
  // The text summary says what is missing, prints nothing and fails.
  const TRun Text = RunDump(Program.string(), {Demo});
  EXPECT_EQ(Text.Status, 1);
  EXPECT_EQ(Text.Out, "");
  EXPECT_NE(Text.Err.find("unitpeek-dump: the text summary cannot be written: no " + std::string(SummaryModuleName)),
            std::string::npos)
      << Text.Err;
  // With the module beside it, the program finds it.
  std::filesystem::copy_file(UNITPEEK_SUMMARY_MODULE, Alone.Path / SummaryModuleName);
  EXPECT_EQ(RunDump(Program.string(), {Demo, Broken}).Out, RunDump(UNITPEEK_DUMP, {Demo, Broken}).Out);
}
