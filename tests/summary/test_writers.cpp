// The summary writers against the recording sink: the whole layout line by
// line (text, bold, colour, indentation), file stamps, uses lists, the
// debugger options and the error block.
#include <gtest/gtest.h>

#include "SampleUnits.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"

using summarytest::SummarizeBytes;
using unitbuilder::PackedStamp;
using unitbuilder::UnitBuilder;

namespace {

const uint32_t SrcStamp = PackedStamp(2004, 3, 5, 10, 20, 30);

// Header and source files; the caller adds uses, then Tables() ends the unit.
UnitBuilder Start(int V = 7, uint32_t SrcTime = SrcStamp) {
  UnitBuilder B(V);
  B.Header();
  B.SourceFile("Demo.pas", 0x70, SrcTime);
  return B;
}

// Data block, fixups, a code-line table of N entries, the stop tag.
std::vector<uint8_t> Tables(UnitBuilder& B, uint32_t CodeLines = 1, bool LocalVars = false) {
  B.DataBlock(16).TrivialFixups();
  B.Tag(0x90).PackedUInt(CodeLines);
  for (uint32_t I = 0; I < CodeLines; ++I) B.PackedInt(1).PackedUInt(0);
  if (LocalVars) B.Tag(0x94).PackedUInt(0);
  B.Stop();
  return B.Finish();
}

std::vector<std::string> Texts(const TJX_RecordingSink& S) {
  std::vector<std::string> T;
  for (const auto& L : S.VisibleLines()) T.push_back(L.Text());
  return T;
}

// Index of the first visible line with this text, or -1.
int LineOf(const TJX_RecordingSink& S, const std::string& Text) {
  auto T = Texts(S);
  for (size_t I = 0; I < T.size(); ++I)
    if (T[I] == Text) return int(I);
  return -1;
}

}  // namespace

TEST(SummaryLayout, ThirtyFourLinesWithStylesColoursAndIndentation) {
  UnitBuilder B = Start();
  B.SourceFile("Demo.res", 0x72, PackedStamp(2004, 3, 5, 0, 0, 0));
  B.SourceFile("DemoAsm.obj", 0x71, PackedStamp(2004, 2, 1, 11, 0, 0));
  B.Uses(0x64, "SysUtils").EndEntry().Uses(0x64, "Classes").EndEntry();
  TJX_RecordingSink S;
  auto R = SummarizeBytes(Tables(B), S);
  ASSERT_TRUE(R.Written) << R.Error;

  struct Want { const char* Text; bool Bold; bool Indented; };
  const Want Lines[] = {
      {"", false, false}, {"Unit Demo;", false, false}, {"{Version: 7}", false, false}, {"", false, false},
      {"{Source files:", false, false}, {"Demo.pas (5 Mar 2004 10:20:30),", false, true},
      {"$R Demo.res (5 Mar 2004),", false, true}, {"$L DemoAsm.obj (1 Feb 2004 11:00:00)", false, true},
      {"}", false, false}, {"", false, false}, {"{Compiler Debugger Options:}", false, false},
      {"{$DebugInfo  On}", false, true}, {"{$LocalSymbols Off}", false, true}, {"", false, false},
      {"Interface", true, false}, {"", false, false}, {"Uses", true, false}, {"Classes,", false, true},
      {"SysUtils;", false, true}, {"", false, false}, {"Type", true, false},
      {"{info skipped --------}", false, false}, {"", false, false}, {"Implementation", true, false},
      {"", false, false}, {"Uses", true, false}, {"{none}", false, true}, {"", false, false},
      {"Imports", true, false}, {"{none}", false, true}, {"", false, false},
      {"{code skipped --------}", false, false}, {"", false, false}, {"end;", true, false}};
  auto V = S.VisibleLines();
  ASSERT_EQ(V.size(), 34u);
  for (size_t I = 0; I < V.size(); ++I) {
    SCOPED_TRACE(I + 1);
    EXPECT_EQ(V[I].Text(), Lines[I].Text);
    if (V[I].Empty()) {
      EXPECT_FALSE(V[I].Indented);
      continue;
    }
    EXPECT_EQ(V[I].Indented, Lines[I].Indented);
    if (I == 1) continue;
    ASSERT_EQ(V[I].Pieces.size(), 1u);
    EXPECT_EQ(V[I].Pieces[0].Bold, Lines[I].Bold);
    // From the version line on the running colour is the comment colour.
    EXPECT_EQ(V[I].Pieces[0].Color, CommentColor);
  }
  // The unit line: "Unit" bold, the rest regular, default colour.
  ASSERT_EQ(V[1].Pieces.size(), 2u);
  EXPECT_TRUE(V[1].Pieces[0].Bold);
  EXPECT_FALSE(V[1].Pieces[1].Bold);
  EXPECT_FALSE(V[1].Pieces[0].Color.IsValid());
  const std::string Plain = S.PlainText();
  EXPECT_EQ(std::count(Plain.begin(), Plain.end(), '\n'), 34);
  EXPECT_NE(Plain.find("\n  $R Demo.res (5 Mar 2004),\n"), std::string::npos);
}

TEST(SummaryLayout, UsesListsSortedWithoutCaseVariantsAndEmptyLists) {
  {
    // No used units at all: no Uses or Imports lines, the empty lines stay.
    UnitBuilder B = Start();
    TJX_RecordingSink S;
    ASSERT_TRUE(SummarizeBytes(Tables(B), S).Written);
    auto T = Texts(S);
    EXPECT_EQ(LineOf(S, "Uses"), -1);
    EXPECT_EQ(LineOf(S, "Imports"), -1);
    int I = LineOf(S, "Interface");
    EXPECT_EQ(T[I + 1], "");
    EXPECT_EQ(T[I + 2], "");
    EXPECT_EQ(T[I + 3], "Type");
    int J = LineOf(S, "Implementation");
    EXPECT_EQ(T[J + 4], "{code skipped --------}");
    EXPECT_EQ(T.size(), 25u);  // 34 lines less two sources and seven uses lines
  }
  {
    // All of one kind, with case variants: one entry each, the form met first.
    UnitBuilder B = Start();
    for (const char* N : {"sysutils", "Windows", "SYSUTILS", "classes", "SysUtils", "Zlib"})
      B.Uses(0x65, N).EndEntry();
    TJX_RecordingSink S;
    ASSERT_TRUE(SummarizeBytes(Tables(B), S).Written);
    auto T = Texts(S);
    int I = LineOf(S, "Interface");
    EXPECT_EQ(T[I + 2], "Uses");
    EXPECT_EQ(T[I + 3], "{none}");
    int J = LineOf(S, "Implementation");
    std::vector<std::string> Want = {"Uses", "classes,", "sysutils,", "Windows,", "Zlib;", "", "Imports", "{none}"};
    for (size_t K = 0; K < Want.size(); ++K) EXPECT_EQ(T[J + 2 + K], Want[K]) << K;
  }
}

TEST(SummaryLayout, DebugOptionsFollowTheTablesEntries) {
  auto OptionLines = [](uint32_t CodeLines, bool LocalVars) {
    UnitBuilder B = Start();
    TJX_RecordingSink S;
    EXPECT_TRUE(SummarizeBytes(Tables(B, CodeLines, LocalVars), S).Written);
    int I = LineOf(S, "{Compiler Debugger Options:}");
    auto T = Texts(S);
    return T[I + 1] + T[I + 2];
  };
  EXPECT_EQ(OptionLines(0, true), "{$DebugInfo  Off}{$LocalSymbols Off}");
  EXPECT_EQ(OptionLines(2, false), "{$DebugInfo  On}{$LocalSymbols Off}");
  TJX_RecordingSink S;
  ASSERT_TRUE(SummarizeBytes(unitbuilder::DemoUnit(7), S).Written);
  EXPECT_NE(LineOf(S, "{$LocalSymbols On}"), -1);
}

TEST(SummaryStamps, SourceLinesWithoutStampsAndFailingStamps) {
  {
    // 0xFFFFFFFF in every version, and 0 below version 100: no stamp at all.
    UnitBuilder B = Start(7, 0xFFFFFFFF);
    B.SourceFile("A.inc", 0x70, 0);
    TJX_RecordingSink S;
    ASSERT_TRUE(SummarizeBytes(Tables(B), S).Written);
    EXPECT_NE(LineOf(S, "Demo.pas,"), -1);
    EXPECT_NE(LineOf(S, "A.inc"), -1);
  }
  {
    // Version 100 and up: 0 is the first second of 1970, shown without a time.
    UnitBuilder B = Start(101, 0);
    TJX_RecordingSink S;
    ASSERT_TRUE(SummarizeBytes(Tables(B), S).Written);
    EXPECT_NE(LineOf(S, "Demo.pas (1 Jan 1970)"), -1);
  }
  struct Case { uint32_t Stamp; const char* Message; };
  for (Case C : {Case{1, "Invalid argument to date encode"},
                 Case{PackedStamp(2004, 3, 5, 10, 20, 0) | 30, "Invalid argument to time encode"}}) {
    // The summary stops in the source list; the error block follows with the
    // indentation still in force, empty line unindented.
    UnitBuilder B = Start(7, SrcStamp);
    B.SourceFile("Bad.inc", 0x70, C.Stamp);
    B.Uses(0x64, "SysUtils").EndEntry();
    TJX_RecordingSink S;
    auto R = SummarizeBytes(Tables(B), S);
    EXPECT_TRUE(R.Loaded);
    EXPECT_FALSE(R.Written);
    EXPECT_EQ(R.Error, C.Message);
    auto V = S.VisibleLines();
    ASSERT_GE(V.size(), 4u);
    EXPECT_EQ(V[V.size() - 4].Text(), "Demo.pas (5 Mar 2004 10:20:30),");
    EXPECT_TRUE(V[V.size() - 3].Empty());
    EXPECT_FALSE(V[V.size() - 3].Indented);
    EXPECT_EQ(V[V.size() - 2].Text(), "Error:");
    EXPECT_TRUE(V[V.size() - 2].Pieces[0].Bold);
    EXPECT_EQ(V[V.size() - 2].Pieces[0].Color, ErrorColor);
    EXPECT_EQ(V.back().Text(), C.Message);
    EXPECT_FALSE(V.back().Pieces[0].Bold);
    EXPECT_EQ(V.back().Pieces[0].Color, ErrorColor);
    EXPECT_TRUE(V.back().Indented);
  }
}

TEST(SummaryStamps, FormatFileStampUnderTheCLocale) {
  EXPECT_EQ(FormatFileStamp(7, SrcStamp), "5 Mar 2004 10:20:30");
  EXPECT_EQ(FormatFileStamp(3, PackedStamp(2000, 2, 29, 0, 0, 0)), "29 Feb 2000");
  EXPECT_EQ(FormatFileStamp(7, PackedStamp(2107, 12, 31, 23, 59, 58)), "31 Dec 2107 23:59:58");
  EXPECT_EQ(FormatFileStamp(100, 1078482030u), "5 Mar 2004 10:20:30");
  EXPECT_EQ(FormatFileStamp(103, 0xFFFFFFFEu), "7 Feb 2106 06:28:14");
  auto Fails = [](uint32_t Stamp) {
    try {
      FormatFileStamp(5, Stamp);
    } catch (const ESummaryError& E) {
      return std::string(E.what());
    }
    return std::string();
  };
  EXPECT_EQ(Fails(PackedStamp(2001, 2, 29, 0, 0, 0)), "Invalid argument to date encode");
  EXPECT_EQ(Fails(PackedStamp(2004, 13, 1, 0, 0, 0)), "Invalid argument to date encode");
  EXPECT_EQ(Fails(PackedStamp(2004, 4, 31, 0, 0, 0)), "Invalid argument to date encode");
  // The date is checked before the time.
  EXPECT_EQ(Fails(PackedStamp(2004, 4, 0, 24, 0, 0)), "Invalid argument to date encode");
  EXPECT_EQ(Fails(PackedStamp(2004, 4, 1, 24, 0, 0)), "Invalid argument to time encode");
  EXPECT_EQ(Fails(PackedStamp(2004, 4, 1, 1, 60, 0)), "Invalid argument to time encode");
  EXPECT_EQ(Fails(PackedStamp(2004, 4, 1, 1, 0, 0) | 31), "Invalid argument to time encode");
  EXPECT_TRUE(IsNoStamp(7, 0));
  EXPECT_FALSE(IsNoStamp(100, 0));
  EXPECT_TRUE(IsNoStamp(100, 0xFFFFFFFF));
}

TEST(SummaryText, DisplayTextAndTheErrorBlockOfAFileThatFails) {
  EXPECT_EQ(DisplayText(std::string_view("A\0B\x1F\x7F", 5)), "A^@B^_^?");
  EXPECT_EQ(DisplayText("\x80\x81\x9F\xE9"), std::string("\u20AC\u0081\u0178\u00E9"));
  // The UTF-8 form (JSON output) is the same text for every byte value.
  for (int B = 0; B < 256; ++B) {
    const std::string Byte(1, static_cast<char>(B));
    EXPECT_EQ(DisplayUtf8(Byte), DisplayText(Byte)) << "byte " << B;
  }

  // A unit name with control and 8-bit characters reaches the view decoded.
  UnitBuilder B(7);
  B.Header().SourceFile(std::string("Na\x01me\xE4.pas"));
  TJX_RecordingSink S;
  EXPECT_TRUE(SummarizeBytes(Tables(B), S).Written);
  EXPECT_EQ(Texts(S)[1], std::string("Unit Na^Ame\u00E4;"));

  TJX_RecordingSink E;
  auto R = SummarizeBytes({'n', 'o', 'n', 'e'}, E);
  EXPECT_FALSE(R.Loaded);
  auto T = Texts(E);
  ASSERT_EQ(T.size(), 3u);
  EXPECT_EQ(T[0], "");
  EXPECT_EQ(T[1], "Error:");
  EXPECT_EQ(T[2], R.Error);
  EXPECT_FALSE(R.Error.empty());
}

TEST(SummarySink, ClosedAndOpenDocuments) {
  TJX_RecordingSink S;
  S.AddLine("", TFontStyle::Regular);        // closed: one blank line
  S.AppendText("A", TFontStyle::Bold);       // open
  S.AppendText("b", TFontStyle::Regular);
  S.AddLine("", TFontStyle::Regular);        // ends the open line, no blank
  S.SetIndented(true);
  S.AddLine("C", TFontStyle::Regular, TTextColor(1, 2, 3));
  S.AddLine("D", TFontStyle::Regular);       // colour continues
  S.SetIndented(false);
  S.AddLine("", TFontStyle::Regular);        // closed: blank line
  EXPECT_EQ(S.PlainText(), "\nAb\n  C\n  D\n\n");
  auto V = S.VisibleLines();
  ASSERT_EQ(V.size(), 5u);
  EXPECT_EQ(V[3].Pieces[0].Color, TTextColor(1, 2, 3));
  EXPECT_TRUE(V[1].Pieces[0].Bold);
  EXPECT_FALSE(V[1].Pieces[1].Bold);
}
