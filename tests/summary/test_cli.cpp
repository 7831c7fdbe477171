// unitpeek-dump run as a program on synthetic unit files: text and JSON
// output, several files, failing files and the exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "SampleUnits.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"
#include "UnitSummary.h"

using nlohmann::json;
using summarytest::Dump;
using summarytest::TRun;
using summarytest::TTempDir;

namespace {

class CommandLine : public ::testing::Test, protected summarytest::TFourFiles {};

TEST_F(CommandLine, JsonTextIsLaidOutAsTheJsonLibraryDumpsItWithNamesAsTheSummaryShowsThem) {
  // Names with control characters, a quote, a backslash and 8-bit bytes, in
  // a file whose path is no valid UTF-8.
  const std::string Name("Odd\x01\"\\\x85\xE9\x7F", 9);
  const std::string Used("Sys\x90tem\x1F", 8);
  unitbuilder::UnitBuilder B(7);
  B.Header().SourceFile(Name + ".pas").Uses(0x64, Used).EndEntry();
  const std::string Odd = Dir.Write("odd\xFF\x01.dcu", B.DataBlock(0).TrivialFixups().Stop().Finish());
  TRun R = Dump({"--json", Odd, Demo, Broken, BadStamp});
  EXPECT_EQ(R.Status, 1);
  const json J = json::parse(R.Out);
  EXPECT_EQ(R.Out, J.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
  // The unit name is what follows the last backslash, up to the dot.
  EXPECT_EQ(J[0]["unit"], DisplayText("\x85\xE9\x7F"));
  EXPECT_EQ(J[0]["sourceFiles"][0]["name"], DisplayText(Name + ".pas"));
  EXPECT_EQ(J[0]["uses"]["interface"], json({DisplayText(Used)}));
  EXPECT_EQ(J[2]["ok"], false);
  EXPECT_EQ(J[3]["error"], "Invalid argument to date encode");
}

}  // namespace

TEST_F(CommandLine, TextModePrintsTheVisibleLinesOfEachFile) {
  TJX_RecordingSink Sink;
  ASSERT_TRUE(LoadAndSummarize(Demo, Sink).Written);
  TRun One = Dump({Demo});
  EXPECT_EQ(One.Status, 0);
  EXPECT_EQ(One.Out, Sink.PlainText());
  EXPECT_NE(One.Out.find("\n  {$DebugInfo  On}\n"), std::string::npos);
  EXPECT_NE(One.Out.find("  Demo.pas (5 Mar 2004 10:20:30),\n"), std::string::npos);

  TRun Two = Dump({Demo, Demo2, Demo});
  EXPECT_EQ(Two.Status, 0);
  EXPECT_EQ(Two.Out.rfind("==> " + Demo + " <==\n\nUnit Demo;\n{Version: 7}\n", 0), 0u);
  EXPECT_NE(Two.Out.find("==> " + Demo2 + " <==\n\nUnit Demo;\n{Version: 2}\n"), std::string::npos);
  // A file named twice is read twice.
  EXPECT_EQ(Two.Out.size(), 2 * One.Out.size() + Dump({Demo2}).Out.size() +
                                3 * (std::string("==>  <==\n").size()) + 2 * Demo.size() + Demo2.size());
}

TEST_F(CommandLine, FailingFilesShowTheirErrorBlockAndExitOne) {
  TRun R = Dump({Demo, Broken, BadStamp});
  EXPECT_EQ(R.Status, 1);
  size_t B = R.Out.find("==> " + Broken + " <==\n");
  ASSERT_NE(B, std::string::npos);
  TJX_RecordingSink Sink;
  auto O = LoadAndSummarize(Broken, Sink);
  EXPECT_NE(R.Out.find("==> " + Broken + " <==\n\nError:\n" + O.Error + "\n==> "), std::string::npos);
  // The failing summary keeps what it wrote; its first source line failed,
  // so no indentation was in force yet.
  EXPECT_NE(R.Out.find("{Source files:\n\nError:\nInvalid argument to date encode\n"), std::string::npos);
  EXPECT_EQ(Dump({BadStamp}).Status, 1);
  EXPECT_EQ(Dump({Dir.Write("Missing/none.dcu", {})}).Status, 1);
}

TEST_F(CommandLine, FilesThatAreNotRegularAreRefusedWithoutBlocking) {
  // A FIFO with no writer would block the read forever.
  const std::string Fifo = (Dir.Path / "pipe.dcu").string();
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  TRun R = Dump({Fifo, "/dev/zero", Demo});
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Out.find("Cannot read file \"" + Fifo + "\": not a regular file\n"), std::string::npos);
  EXPECT_NE(R.Out.find("Cannot read file \"/dev/zero\": not a regular file\n"), std::string::npos);
  EXPECT_NE(R.Out.find("==> " + Demo + " <==\n\nUnit Demo;"), std::string::npos);
}

TEST_F(CommandLine, JsonModeDescribesEveryFileInOrder) {
  TRun R = Dump({"--json", Demo, Broken, BadStamp});
  EXPECT_EQ(R.Status, 1);
  json J = json::parse(R.Out);
  ASSERT_TRUE(J.is_array());
  ASSERT_EQ(J.size(), 3u);

  const json& D = J[0];
  EXPECT_EQ(D["path"], Demo);
  EXPECT_EQ(D["ok"], true);
  EXPECT_TRUE(D["error"].is_null());
  EXPECT_EQ(D["unit"], "Demo");
  EXPECT_EQ(D["version"], 7);
  ASSERT_EQ(D["sourceFiles"].size(), 3u);
  EXPECT_EQ(D["sourceFiles"][0]["kind"], "source");
  EXPECT_EQ(D["sourceFiles"][0]["stamp"], "2004-03-05T10:20:30");
  EXPECT_EQ(D["sourceFiles"][0]["stampRaw"], unitbuilder::PackedStamp(2004, 3, 5, 10, 20, 30));
  EXPECT_EQ(D["sourceFiles"][1]["kind"], "resource");
  EXPECT_EQ(D["sourceFiles"][2]["kind"], "object");
  EXPECT_EQ(D["sourceFiles"][2]["name"], "DemoAsm.obj");
  EXPECT_EQ(D["debugInfo"], true);
  EXPECT_EQ(D["localSymbols"], true);
  EXPECT_EQ(D["uses"]["interface"], json({"SysUtils", "Classes"}));
  EXPECT_EQ(D["uses"]["implementation"], json({"Windows"}));
  EXPECT_EQ(D["uses"]["dlls"], json({"kernel32.dll"}));
  const json& S = D["stats"];
  EXPECT_EQ(S["dataSize"], 0x40);
  EXPECT_EQ(S["fixups"], 4);
  EXPECT_EQ(S["codeLines"], 6);
  EXPECT_EQ(S["lineRanges"], 1);
  EXPECT_EQ(S["localVars"], 3);
  EXPECT_EQ(S["topLevelDecls"], 6);
  EXPECT_EQ(S["nameIndex"], 5);  // the procedure without flag 0x40 is not indexed
  EXPECT_GE(S["declarations"].get<int>(), 6 + 5 + 4);

  EXPECT_EQ(J[1]["ok"], false);
  EXPECT_TRUE(J[1]["error"].is_string());
  EXPECT_FALSE(J[1].contains("unit"));
  // Loaded, but the summary failed: "ok" true with the error, and exit 1.
  EXPECT_EQ(J[2]["ok"], true);
  EXPECT_EQ(J[2]["error"], "Invalid argument to date encode");
  EXPECT_TRUE(J[2]["sourceFiles"][0]["stamp"].is_null());
  EXPECT_EQ(J[2]["sourceFiles"][0]["stampRaw"], 1);

  TRun Good = Dump({"--json", Demo2});
  EXPECT_EQ(Good.Status, 0);
  EXPECT_EQ(json::parse(Good.Out)[0]["version"], 2);
}

TEST_F(CommandLine, UsageErrorsExitTwo) {
  EXPECT_EQ(Dump({}).Status, 2);
  EXPECT_EQ(Dump({"--json"}).Status, 2);
  EXPECT_EQ(Dump({"--no-such-option", Demo}).Status, 2);
  TRun V = Dump({"--version"});
  EXPECT_EQ(V.Status, 0);
  EXPECT_EQ(V.Out.rfind("unitpeek-dump ", 0), 0u);
  TRun H = Dump({"--help"});
  EXPECT_EQ(H.Status, 0);
  EXPECT_NE(H.Out.find("--json"), std::string::npos);
  // After "--" every argument is a file, even one that looks like an option.
  EXPECT_EQ(Dump({"--", "--json"}).Status, 1);
}

TEST_F(CommandLine, DeclsPrintsTheListingOrAddsDeclsToTheJson) {
  TRun T = Dump({"--decls", Demo, Broken, Demo2});
  EXPECT_EQ(T.Status, 1);
  EXPECT_EQ(T.Out.rfind("==> " + Demo + " <==\nunit Demo;\n\ninterface\n\nuses SysUtils, Classes;\n\n"
                        "type\n  TCount = 1..100;\n\n", 0), 0u);
  EXPECT_NE(T.Out.find("procedure Main(Count: TCount);\n\nimplementation\n\nuses Windows;\n\n{$R Demo.res}\n\n"
                       "procedure Helper(var Value: TCount);\n\nend.\n==> " + Broken + " <==\n\nError:\n"),
            std::string::npos);
  EXPECT_NE(T.Out.find("==> " + Demo2 + " <==\nunit Demo;\n"), std::string::npos);
  EXPECT_EQ(Dump({"--decls", Demo}).Status, 0);
  // A unit whose summary fails still lists its declarations.
  EXPECT_EQ(Dump({"--decls", BadStamp}).Status, 0);

  TRun Plain = Dump({"--json", Demo, Broken});
  TRun J = Dump({"--json", "--decls", Demo, Broken});
  EXPECT_EQ(J.Status, 1);
  json With = json::parse(J.Out);
  // The layout of --json, each declaration on a line of its own.
  EXPECT_NE(J.Out.find("\n      \"implementation\": [\n        {\"callConv\":\"register\",\"kind\":\"procedure\","),
            std::string::npos);
  const json& D = With[0]["decls"];
  EXPECT_EQ(D["interface"][0]["text"], "TCount = 1..100");
  EXPECT_EQ(D["interface"][0]["typeKind"], "subrange");
  EXPECT_EQ(D["interface"][4]["params"][0]["name"], "Count");
  EXPECT_EQ(D["implementation"][0]["params"][0]["mode"], "var");
  EXPECT_FALSE(With[1].contains("decls"));
  // Without "decls" the objects are those of --json alone.
  With[0].erase("decls");
  EXPECT_EQ(With, json::parse(Plain.Out));
  EXPECT_EQ(Plain.Out.find("decls"), std::string::npos);
}

TEST_F(CommandLine, JsonWithDeclsKeepsTheOrderAndStatusOverManyFiles) {
  // The files are read ahead of the writing: order, errors and exit status
  // stay those of the files one by one.
  const std::vector<std::string> Files = {Demo, Broken, Demo2, BadStamp, Demo, Broken, Demo2};
  std::vector<std::string> Args = {"--json"};
  Args.insert(Args.end(), Files.begin(), Files.end());
  TRun Plain = Dump(Args);
  Args.push_back("--decls");
  TRun J = Dump(Args);
  EXPECT_EQ(J.Status, 1);
  json With = json::parse(J.Out);
  ASSERT_EQ(With.size(), Files.size());
  for (size_t I = 0; I < Files.size(); ++I) {
    EXPECT_EQ(With[I]["path"], Files[I]);
    EXPECT_EQ(With[I].contains("decls"), Files[I] != Broken) << I;
    With[I].erase("decls");
  }
  EXPECT_EQ(With, json::parse(Plain.Out));
  EXPECT_EQ(Dump({"--json", "--decls", Demo, Demo2, Demo}).Status, 0);
}

TEST_F(CommandLine, PasWritesTheSkeletonOnceAndNeverOverAFileThatExists) {
  // One FILE to standard output; several want --out.
  TRun One = Dump({"--pas", Demo});
  EXPECT_EQ(One.Status, 0);
  EXPECT_EQ(One.Out.rfind("unit Demo;\n\ninterface\n", 0), 0u) << One.Out;
  EXPECT_NE(One.Out.find("procedure Helper(var Value: TCount);\nbegin\nend;\n"), std::string::npos) << One.Out;
  EXPECT_EQ(Dump({"--pas", Demo, Demo2}).Status, 2);
  EXPECT_EQ(Dump({"--out", Dir.Path.string(), Demo}).Status, 2);
  EXPECT_EQ(Dump({"--pas", "--json", Demo}).Status, 2);
  // With --out: UnitName.pas, as the unit names itself; a unit that does not
  // load fails the run, and a file that exists is left as it is.
  const std::string Out = (Dir.Path / "out").string();
  std::filesystem::create_directory(Out);
  TRun Two = Dump({"--pas", "--out", Out, Demo, Broken});
  EXPECT_EQ(Two.Status, 1);
  EXPECT_TRUE(std::filesystem::exists(Out + "/Demo.pas"));
  using summarytest::Quote;
  TRun Again = summarytest::RunShell("LC_ALL=C " + Quote(UNITPEEK_DUMP) + " --pas --out " + Quote(Out) + " " +
                                     Quote(Demo2) + " 2>&1");
  EXPECT_EQ(Again.Status, 0);
  EXPECT_NE(Again.Out.find("exists already"), std::string::npos) << Again.Out;
}

TEST_F(CommandLine, DiffGivesTheStatusOfDiff) {
  TRun Same = Dump({"--diff", Demo, Demo});
  EXPECT_EQ(Same.Status, 0);
  EXPECT_NE(Same.Out.find("No difference"), std::string::npos) << Same.Out;
  TRun Other = Dump({"--diff", "--json", Demo, Demo2});
  EXPECT_EQ(Other.Status, 1);
  EXPECT_EQ(json::parse(Other.Out)["same"], false);
  EXPECT_EQ(Dump({"--diff", Demo, Broken}).Status, 2);
  EXPECT_EQ(Dump({"--diff", Demo}).Status, 2);
  EXPECT_EQ(Dump({"--diff", "--decls", Demo, Demo2}).Status, 2);
}

namespace {
// Standard error of unitpeek-dump with Args (standard output dropped).
std::string DumpErr(const std::vector<std::string>& Args) {
  std::string Cmd = "LC_ALL=C " + summarytest::Quote(UNITPEEK_DUMP);
  for (const auto& A : Args) Cmd += " " + summarytest::Quote(A);
  return summarytest::RunShell(Cmd + " 2>&1 >/dev/null").Out;
}
}  // namespace

// A file that does not load is told on standard error too, in every mode
// for files: its message, and the plain sentence of the cause where it is
// clear (also "hint" in the JSON); standard output keeps its error block.
TEST_F(CommandLine, LoadErrorsGoToStandardErrorWithAHint) {
  const std::string Text = Dir.Write("Notes.dcu", {'{', '*', '*', '*', ' ', 'n', 'o', 't', 'e', 's', '\n'});
  // The message as the error block of the summary gives it.
  const std::string Block = Dump({Text}).Out;
  ASSERT_EQ(Block.rfind("\nError:\nError at 0x4(Def: 0x0, ", 0), 0u) << Block;
  const std::string Message = Block.substr(8, Block.size() - 9);
  EXPECT_NE(Message.find("Wrong magic: 0x2A2A2A7B"), std::string::npos);
  const std::string Told = "unitpeek-dump: " + Text + ": " + Message + "\n  This is a text file, not a compiled unit.\n";
  for (const std::vector<std::string>& Mode :
       {std::vector<std::string>{}, {"--decls"}, {"--code"}, {"--json"}, {"--json", "--decls"}, {"--code", "--json"}}) {
    std::vector<std::string> Args = Mode;
    Args.push_back(Text);
    EXPECT_EQ(DumpErr(Args), Told) << Mode.size();
  }
  const json J = json::parse(Dump({"--json", Text}).Out);
  EXPECT_EQ(J[0]["hint"], "This is a text file, not a compiled unit.");
  EXPECT_EQ(json::parse(Dump({"--code", "--json", Text}).Out)[0]["hint"], J[0]["hint"]);
  // No hint where the cause is not clear, nothing for a file that loads.
  std::vector<uint8_t> Half = unitbuilder::DemoUnit(7);
  Half.resize(Half.size() / 2);
  unitbuilder::PatchStoredLength(Half);
  const json Two = json::parse(Dump({"--json", Dir.Write("Half.dcu", Half), Demo}).Out);
  EXPECT_EQ(Two[0]["ok"], false);
  EXPECT_FALSE(Two[0].contains("hint"));
  EXPECT_FALSE(Two[1].contains("hint"));
  EXPECT_EQ(DumpErr({Demo}), "");
  // A folder: use the folder modes.
  EXPECT_EQ(DumpErr({Dir.Path.string()}), "unitpeek-dump: " + Dir.Path.string() + ": Cannot read file \"" +
                                              Dir.Path.string() + "\": Is a directory\n  This is a folder, not a unit file. "
                                              "Use --report or --find for folders.\n");
}
