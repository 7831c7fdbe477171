// unitpeek-dump --code run as a program on a synthetic unit with known code:
// the text (headings from the declarations listing, offsets, bytes, labels,
// line markers, source lines from --source-dir), the JSON's shape, --routine
// with names and wildcards, --decls beside --code, usage errors and exit
// statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"

using nlohmann::json;
using summarytest::Dump;
using summarytest::TRun;
using summarytest::TTempDir;
using unitbuilder::FixupAt;

namespace {

// Declaration numbers of the unit below (version 7 leaves number 1 empty).
enum : uint32_t { LStrAsg = 4, Counter = 5, Helper = 6, Main = 7, Inner = 9, Outer = 10, Fin = 11, Init = 12 };

// Where each routine starts in the data block, and its size.
struct TPiece {
  const char* Name;
  uint32_t Start, Size;
};
constexpr TPiece Pieces[] = {{"Helper", 0, 3},  {"Main", 3, 23},         {"Outer.Inner", 26, 1},
                             {"Outer", 27, 6},  {"Finalization", 33, 1}, {"CodeDemo", 34, 1}};

// A unit of six routines: Helper; Main(A: Integer), which reads a variable,
// calls Helper and an imported helper and jumps to a label; Inner, nested in
// Outer, which calls it; the finalization and the initialization. Code
// lines 10 and 11 in Main, 20 in Outer.
std::vector<uint8_t> CodeUnit() {
  const std::vector<uint8_t> Block = {
      0x8B, 0xC2, 0xC3,                                            // Helper: mov eax, edx; ret
      0x55,                                                        // Main: push ebp
      0xA1, 0, 0, 0, 0,                                            //   mov eax, [Counter]
      0xE8, 0, 0, 0, 0,                                            //   call Helper
      0xE8, 0, 0, 0, 0,                                            //   call System.@LStrAsg
      0x85, 0xC0, 0x74, 0x01, 0x90,                                //   test eax, eax; jz @1; nop
      0x5D, 0xC3,                                                  //   @1: pop ebp; ret
      0xC3,                                                        // Inner: ret
      0xE8, 0, 0, 0, 0, 0xC3,                                      // Outer: call Outer.Inner; ret
      0xC3,                                                        // Finalization: ret
      0xC3};                                                       // CodeDemo: ret
  const std::vector<FixupAt> Fixups = {{0, 6, Helper}, {3, 6, Main},     {5, 1, Counter},  {10, 2, Helper},
                                       {15, 2, LStrAsg}, {26, 6, Inner}, {27, 6, Outer},   {28, 2, Inner},
                                       {33, 6, Fin},     {34, 6, Init},  {35, 7, Init}};
  unitbuilder::UnitBuilder B(7);
  B.Header();
  B.SourceFile("CodeDemo.pas");
  B.Uses(0x64, "System").ImpType("Integer").ImpAddr("@LStrAsg").EndEntry();
  B.VarDecl("Counter", 1, 0);
  B.Proc("Helper", 3);
  B.ProcStart("Main", 23).Local(0x21, "A", 1).Stop();
  B.Tag(0x6A);
  B.Proc("Inner", 1);
  B.Tag(0x6B);
  B.Proc("Outer", 6);
  B.Proc("Finalization", 1);
  B.Proc("CodeDemo", 1);
  B.DataBlockBytes(Block);
  B.FixupTable(Fixups);
  B.CodeLines({{10, 3}, {11, 4}, {20, 27}});
  B.Stop();
  return B.Finish();
}

std::string Hex8(uint32_t V) {
  char B[16];
  std::snprintf(B, sizeof B, "%08X", V);
  return B;
}

// Runs unitpeek-dump and gives its standard error too.
TRun DumpWithErrors(const std::vector<std::string>& Args, std::string& Err) {
  TTempDir Dir;
  const std::string ErrFile = (Dir.Path / "err").string();
  std::vector<std::string> All = Args;
  TRun R;
  std::string Cmd = "LC_ALL=C " + summarytest::Quote(summarytest::DumpProgram());
  for (const auto& A : Args) Cmd += " " + summarytest::Quote(A);
  Cmd += " 2>" + summarytest::Quote(ErrFile);
  FILE* P = popen(Cmd.c_str(), "r");
  char Buf[4096];
  size_t N;
  while (P && (N = fread(Buf, 1, sizeof Buf, P)) > 0) R.Out.append(Buf, N);
  const int S = P ? pclose(P) : -1;
  R.Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
  std::ifstream In(ErrFile);
  Err.assign(std::istreambuf_iterator<char>(In), {});
  return R;
}

class CodeCommandLine : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string Unit = Dir.Write("CodeDemo.dcu", CodeUnit());
  std::string Broken = Dir.Write("Broken.dcu", {0x01, 0x02, 0x03});
  // The file offset of the data block.
  uint32_t Block = [this] {
    UnitConstructionCount = 0;
    TUnit U(Unit);
    return static_cast<uint32_t>(U.DataBlock - U.Image.get());
  }();
  // "  OFFSET  BYTES(padded)  TEXT" for the byte at block offset At.
  std::string Line(uint32_t At, const std::string& Bytes, const std::string& Text) const {
    return "  " + Hex8(Block + At) + "  " + Bytes + std::string(25 - Bytes.size(), ' ') + Text + "\n";
  }
};

}  // namespace

TEST_F(CodeCommandLine, TextHeadsEachRoutineWithItsDeclarationLineThenItsCode) {
  const TRun R = Dump({"--code", Unit});
  EXPECT_EQ(R.Status, 0);
  const std::string Expected =
      "procedure Helper;\n" + Line(0, "8B C2", "mov eax, edx") + Line(2, "C3", "ret") +
      "\n"
      "procedure Main(A: Integer);\n"
      "  ; 10\n" +
      Line(3, "55", "push ebp") + "  ; 11\n" + Line(4, "A1 00 00 00 00", "mov eax, [Counter]") +
      Line(9, "E8 00 00 00 00", "call Helper") + Line(14, "E8 00 00 00 00", "call System.@LStrAsg") +
      Line(19, "85 C0", "test eax, eax") + Line(21, "74 01", "jz @1") + Line(23, "90", "nop") + "@1:\n" +
      Line(24, "5D", "pop ebp") + Line(25, "C3", "ret") +
      "\n"
      "procedure Outer.Inner;\n" +
      Line(26, "C3", "ret") +
      "\n"
      "procedure Outer;\n"
      "  ; 20\n" +
      Line(27, "E8 00 00 00 00", "call Outer.Inner") + Line(32, "C3", "ret") +
      "\n"
      "finalization\n" +
      Line(33, "C3", "ret") +
      "\n"
      "initialization\n" +
      Line(34, "C3", "ret");
  EXPECT_EQ(R.Out, Expected);
}

TEST_F(CodeCommandLine, JsonHasTheCodeOfEveryRoutineAmongTheFacts) {
  const TRun R = Dump({"--code", "--json", Unit});
  EXPECT_EQ(R.Status, 0);
  const json J = json::parse(R.Out);
  ASSERT_EQ(J.size(), 1u);
  const json& U = J[0];
  // The facts stay; "code" comes first (keys in alphabetical order).
  EXPECT_EQ(U.begin().key(), "code");
  EXPECT_EQ(U["unit"], "CodeDemo");
  EXPECT_FALSE(U.contains("decls"));
  const json& Code = U["code"];
  ASSERT_EQ(Code.size(), std::size(Pieces));
  for (size_t K = 0; K < Code.size(); ++K) {
    const json& C = Code[K];
    SCOPED_TRACE(Pieces[K].Name);
    EXPECT_EQ(C["name"], Pieces[K].Name);
    EXPECT_EQ(C["offset"], Block + Pieces[K].Start);
    EXPECT_EQ(C["size"], Pieces[K].Size);
    std::set<std::string> Keys;
    for (auto It = C.begin(); It != C.end(); ++It) Keys.insert(It.key());
    EXPECT_EQ(Keys, (std::set<std::string>{"declOffset", "fixups", "items", "labels", "lines", "name", "offset",
                                           "role", "size"}));
    // The items tile the routine.
    uint32_t At = 0;
    for (const json& It : C["items"]) {
      EXPECT_EQ(It["offset"], At);
      EXPECT_TRUE(It["kind"] == "insn" || It["kind"] == "data");
      At += It["size"].get<uint32_t>();
    }
    EXPECT_EQ(At, Pieces[K].Size);
    // Every piece starts with its block's fixup.
    ASSERT_FALSE(C["fixups"].empty());
    EXPECT_EQ(C["fixups"][0], (json{{"kind", "block"}, {"offset", 0}, {"target", Pieces[K].Name}}));
  }
  const json& Main = Code[1];
  EXPECT_EQ(Main["role"], "routine");
  EXPECT_EQ(Code[2]["role"], "nested");
  EXPECT_EQ(Code[4]["role"], "finalization");
  EXPECT_EQ(Code[5]["role"], "initialization");
  EXPECT_EQ(Main["items"][1], (json{{"kind", "insn"}, {"offset", 1}, {"size", 5}, {"text", "mov eax, [Counter]"}}));
  EXPECT_EQ(Main["fixups"][1], (json{{"kind", "absolute"}, {"offset", 2}, {"target", "Counter"}}));
  EXPECT_EQ(Main["fixups"][3], (json{{"kind", "relative"}, {"offset", 12}, {"target", "System.@LStrAsg"}}));
  EXPECT_EQ(Main["labels"], (json::array({{{"name", "@1"}, {"offset", 21}}})));
  // No source beside the unit: lines without "source".
  EXPECT_EQ(Main["lines"], (json::array({{{"line", 10}, {"offset", 0}}, {{"line", 11}, {"offset", 1}}})));

  // With --decls both; "declOffset" is the offset of the routine's entry.
  const json Both = json::parse(Dump({"--code", "--json", "--decls", Unit}).Out)[0];
  ASSERT_TRUE(Both.contains("decls"));
  bool Found = false;
  for (const json& E : Both["decls"]["implementation"])
    Found = Found || (E["name"] == "Main" && E["offset"] == Both["code"][1]["declOffset"]);
  for (const json& E : Both["decls"]["interface"])
    Found = Found || (E["name"] == "Main" && E["offset"] == Both["code"][1]["declOffset"]);
  EXPECT_TRUE(Found);
}

TEST_F(CodeCommandLine, RoutinesPickedByNameOrPattern) {
  auto Headings = [&](const std::vector<std::string>& Args) {
    std::vector<std::string> All = {"--code"};
    All.insert(All.end(), Args.begin(), Args.end());
    All.push_back(Unit);
    std::string H;
    const TRun R = Dump(All);
    for (size_t P = 0; P < R.Out.size();) {
      const size_t E = R.Out.find('\n', P);
      const std::string L = R.Out.substr(P, E - P);
      if (!L.empty() && L[0] != ' ' && L[0] != '@') H += L + "|";
      P = E + 1;
    }
    return H;
  };
  EXPECT_EQ(Headings({"--routine", "main"}), "procedure Main(A: Integer);|");
  // The qualified name, or the bare name of a nested routine.
  EXPECT_EQ(Headings({"--routine", "OUTER.INNER"}), "procedure Outer.Inner;|");
  EXPECT_EQ(Headings({"--routine", "inner"}), "procedure Outer.Inner;|");
  // Wildcards: any run, one character; matched against the whole name.
  EXPECT_EQ(Headings({"--routine", "outer*"}), "procedure Outer.Inner;|procedure Outer;|");
  EXPECT_EQ(Headings({"--routine", "?ain"}), "procedure Main(A: Integer);|");
  EXPECT_EQ(Headings({"--routine", "ai"}), "");
  // The initialization by the unit's name.
  EXPECT_EQ(Headings({"--routine", "CodeDemo"}), "initialization|");

  // No routine of any file matches: status 1, said on standard error.
  std::string Err;
  const TRun None = DumpWithErrors({"--code", "--routine", "Nothing*", Unit}, Err);
  EXPECT_EQ(None.Status, 1);
  EXPECT_EQ(None.Out, "");
  EXPECT_NE(Err.find("no routine matches Nothing*"), std::string::npos) << Err;
  const TRun NoneJson = Dump({"--code", "--json", "--routine", "Nothing", Unit});
  EXPECT_EQ(NoneJson.Status, 1);
  EXPECT_EQ(json::parse(NoneJson.Out)[0]["code"], json::array());
}

TEST_F(CodeCommandLine, SourceLinesFromTheSourceFolder) {
  // The source in another folder, under another letter case; the lines of
  // Main and Outer.
  std::filesystem::create_directories(Dir.Path / "src");
  std::string Src;
  for (int I = 1; I <= 20; ++I)
    Src += I == 9 ? "procedure Main;\r\n" : I == 10 ? "begin\r\n" : I == 11 ? "\tHelper;\r\n"
         : I == 19 ? "procedure Outer;\r\n" : I == 20 ? "begin Inner end;\r\n" : "\r\n";
  std::ofstream((Dir.Path / "src" / "codedemo.PAS").string(), std::ios::binary) << Src;
  const std::string SrcDir = (Dir.Path / "src").string();
  const TRun R = Dump({"--code", "--routine", "Main", "--source-dir", SrcDir, Unit});
  EXPECT_EQ(R.Status, 0);
  EXPECT_NE(R.Out.find("  ; 10: begin\n" + Line(3, "55", "push ebp") + "  ; 11:         Helper;\n"),
            std::string::npos)
      << R.Out;
  const json J = json::parse(Dump({"--code", "--json", "--routine", "Outer", "--source-dir", SrcDir, Unit}).Out);
  EXPECT_EQ(J[0]["code"][0]["lines"], (json::array({{{"line", 20}, {"offset", 0}, {"source", "begin Inner end;"}}})));
  EXPECT_EQ(J[0]["source"], (json{{"matches", true}, {"path", (Dir.Path / "src" / "codedemo.PAS").string()}}));
  // Without the folder the source is not found (none lies beside the unit).
  const TRun Without = Dump({"--code", "--json", "--routine", "Main", Unit});
  EXPECT_EQ(Without.Out.find("; 10:"), std::string::npos);
  EXPECT_FALSE(json::parse(Without.Out)[0].contains("source"));
}

// A source that is not the one the unit was compiled from (Main's heading
// lines below where the unit has its code): the listing says so above the
// routines and gives the line numbers only; the JSON says why.
TEST_F(CodeCommandLine, SourceThatDoesNotMatchIsNotUsed) {
  std::string Src;
  for (int I = 1; I <= 30; ++I)
    Src += I == 12 ? "procedure Main;\n" : I == 13 ? "begin\n" : I == 21 ? "procedure Outer;\n" : "begin\n";
  const std::string Path = (Dir.Path / "CodeDemo.pas").string();
  std::ofstream(Path, std::ios::binary) << Src;
  const TRun R = Dump({"--code", "--routine", "Main", Unit});
  EXPECT_EQ(R.Status, 0);
  const std::string Why = "2 of 2 routines do not begin where the unit says they do (the first: Main at line 10).";
  EXPECT_EQ(R.Out.rfind("{the source file " + Path + " is not the one this unit was compiled from: " + Why +
                            " Its lines are shown by number only.}\n\nprocedure Main(A: Integer);\n  ; 10\n",
                        0),
            0u)
      << R.Out;
  const json J = json::parse(Dump({"--code", "--json", "--routine", "Main", Unit}).Out);
  EXPECT_EQ(J[0]["source"], (json{{"matches", false}, {"path", Path}, {"why", Why}}));
  EXPECT_EQ(J[0]["code"][0]["lines"][0], (json{{"line", 10}, {"offset", 0}}));
  std::filesystem::remove(Path);
}

TEST_F(CodeCommandLine, DeclsListingBeforeTheCodeAndFilesOneAfterAnother) {
  const TRun Decls = Dump({"--decls", Unit});
  const TRun Both = Dump({"--code", "--decls", Unit});
  EXPECT_EQ(Both.Status, 0);
  EXPECT_EQ(Both.Out, Decls.Out + "\n" + Dump({"--code", Unit}).Out);

  // Several files: each under its name; one that does not load shows its
  // error block and makes the status 1; the others are listed all the same.
  const TRun Two = Dump({"--code", "--routine", "Helper", Unit, Broken});
  EXPECT_EQ(Two.Status, 1);
  EXPECT_EQ(Two.Out.rfind("==> " + Unit + " <==\nprocedure Helper;\n", 0), 0u) << Two.Out;
  EXPECT_NE(Two.Out.find("==> " + Broken + " <==\n"), std::string::npos);
  EXPECT_NE(Two.Out.find("Error"), std::string::npos);
  const TRun TwoJson = Dump({"--code", "--json", Unit, Broken});
  EXPECT_EQ(TwoJson.Status, 1);
  const json J = json::parse(TwoJson.Out);
  EXPECT_EQ(J[0]["code"].size(), std::size(Pieces));
  EXPECT_EQ(J[1]["ok"], false);
  EXPECT_FALSE(J[1].contains("code"));
}

TEST_F(CodeCommandLine, UsageErrors) {
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{"--routine", "Main", Unit}, {"--source-dir", Dir.Path.string(), Unit},
        {"--code", "--report", Unit}, {"--code", "--graph", Unit}, {"--code", "--json", "--graph", Unit},
        {"--code", "--source-dir", (Dir.Path / "nowhere").string(), Unit}, {"--code", "--routine", "", Unit},
        {"--code"}}) {
    std::string Err;
    const TRun R = DumpWithErrors(Args, Err);
    EXPECT_EQ(R.Status, 2) << Args[0] << " " << Args[1];
    EXPECT_EQ(R.Out, "");
    EXPECT_NE(Err.find("--help' for the options.\n"), std::string::npos) << Err;
  }
}

// A damaged unit keeps what was read: cut before its last bytes (the tables
// after the code), its routines are listed, then the line that says where
// reading stopped and the error block; the JSON has "code" and "partial"
// beside "ok": false. Cut inside the declarations, --decls lists those
// before the cut. The summary of the same file stays the error block alone.
TEST_F(CodeCommandLine, DamagedUnitKeepsWhatWasRead) {
  std::vector<uint8_t> Bytes = CodeUnit();
  Bytes.resize(Bytes.size() - 2);
  unitbuilder::PatchStoredLength(Bytes);
  const std::string Cut = Dir.Write("Cut.dcu", Bytes);
  const TRun Summary = Dump({Cut});
  EXPECT_EQ(Summary.Status, 1);
  EXPECT_EQ(Summary.Out.rfind("\nError:\n", 0), 0u) << Summary.Out;
  const TRun R = Dump({"--code", Cut});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Out.rfind("procedure Helper;\n", 0), 0u) << R.Out;
  const size_t Stop = R.Out.find("\n{reading stopped at 0x");
  ASSERT_NE(Stop, std::string::npos) << R.Out;
  EXPECT_EQ(R.Out.find("}\n\nError:\nError at 0x", Stop), R.Out.find('}', Stop)) << R.Out;
  const json J = json::parse(Dump({"--code", "--json", Cut}).Out);
  EXPECT_EQ(J[0]["ok"], false);
  EXPECT_EQ(J[0]["partial"], true);
  EXPECT_EQ(J[0]["code"].size(), std::size(Pieces));
  EXPECT_TRUE(J[0]["error"].is_string());
  const json Whole = json::parse(Dump({"--code", "--json", Unit}).Out);
  // The routines as whole, but for the line markers past the cut.
  for (size_t I = 0; I < std::size(Pieces); ++I) EXPECT_EQ(J[0]["code"][I]["items"], Whole[0]["code"][I]["items"]);
  EXPECT_EQ(J[0]["code"][1]["lines"], Whole[0]["code"][1]["lines"]);
  EXPECT_FALSE(Whole[0].contains("partial"));

  // Cut after the routine Helper's declaration.
  UnitConstructionCount = 0;
  const TUnit U(Unit);
  const TDCURec* Helper = U.Decls;
  while (Helper && NameText(Helper->GetName()) != "Helper") Helper = Helper->Next;
  ASSERT_TRUE(Helper && Helper->Next);
  std::vector<uint8_t> Early = CodeUnit();
  Early.resize(static_cast<size_t>(static_cast<const TNameDecl*>(Helper->Next)->DefPos - U.Image.get()) + 1);
  unitbuilder::PatchStoredLength(Early);
  const std::string EarlyCut = Dir.Write("Early.dcu", Early);
  const TRun D = Dump({"--decls", EarlyCut});
  EXPECT_EQ(D.Status, 1);
  EXPECT_NE(D.Out.find("procedure Helper;\n"), std::string::npos) << D.Out;
  EXPECT_EQ(D.Out.find("procedure Main("), std::string::npos) << D.Out;
  EXPECT_NE(D.Out.find("end.\n{reading stopped at 0x"), std::string::npos) << D.Out;
  const json JD = json::parse(Dump({"--decls", "--json", EarlyCut}).Out);
  EXPECT_EQ(JD[0]["partial"], true);
  EXPECT_EQ(JD[0]["ok"], false);
  EXPECT_TRUE(JD[0].contains("decls"));
  EXPECT_FALSE(JD[0].contains("unit"));
  // Broken before any declaration: the error block alone, as ever.
  EXPECT_EQ(Dump({"--decls", Broken}).Out.rfind("\nError:\n", 0), 0u);
  EXPECT_FALSE(json::parse(Dump({"--decls", "--json", Broken}).Out)[0].contains("partial"));
}
