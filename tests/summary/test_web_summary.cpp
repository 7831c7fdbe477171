// The page's summary text (web/WebApi.cpp's up_summary: AppendSummaryText of
// the facts, or ErrorBlockText of a unit that did not load) against
// unitpeek-dump's text summary, byte for byte, on synthetic units the corpus
// has no case of: failing stamps (date, time), midnight and second-count
// stamps, no stamps, names with Windows-1252 letters and control bytes in
// the uses lists (their order and the names that fold to one), the lists of
// each kind, and the error block of a unit that did not load.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DCU_Unit.h"
#include "SampleUnits.h"
#include "SummaryTestUtil.h"
#include "UnitBuilder.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

using summarytest::Dump;
using summarytest::TTempDir;
using unitbuilder::PackedStamp;
using unitbuilder::UnitBuilder;

namespace {

std::vector<uint8_t> Finish(UnitBuilder& B) {
  B.DataBlock(16).TrivialFixups();
  B.Tag(0x90).PackedUInt(1).PackedInt(1).PackedUInt(0);
  B.Stop();
  return B.Finish();
}

// The page's text and the command line's for the same file.
void ExpectSameText(const std::vector<uint8_t>& Bytes, const std::string& What) {
  TTempDir Dir;
  const std::string Path = Dir.Write("Unit.dcu", Bytes);
  // A run of its own, as the page's and the command line's with one file:
  // the messages name the unit only after the first of a run.
  UnitConstructionCount = 0;
  const TUnitLoad L = TryLoadUnit(Path);
  std::string Page;
  if (L.Facts) AppendSummaryText(*L.Facts, Page);
  else Page = ErrorBlockText(L.Error);
  EXPECT_EQ(Page, Dump({Path}).Out) << What;
}

TEST(WebSummary, SameTextAsTheCommandLineForEveryKindOfStamp) {
  struct Case {
    int Version;
    uint32_t Stamp;
    const char* What;
  };
  for (Case C : {Case{7, PackedStamp(2004, 3, 5, 10, 20, 30), "a time"}, Case{3, PackedStamp(2000, 2, 29, 0, 0, 0), "midnight"},
                 Case{7, 1, "a bad date"}, Case{5, PackedStamp(2004, 3, 5, 10, 20, 0) | 30, "a bad time"},
                 Case{7, 0xFFFFFFFF, "no stamp"}, Case{101, 0, "second 0 of 1970"},
                 Case{103, 0xFFFFFFFEu, "the last second counted"}}) {
    UnitBuilder B(C.Version);
    B.Header();
    B.SourceFile("Demo.pas", 0x70, C.Stamp);
    B.SourceFile("Demo.res", 0x72, PackedStamp(2004, 3, 5, 0, 0, 0));
    B.SourceFile("DemoAsm.obj", 0x71, PackedStamp(2004, 2, 1, 11, 0, 0));
    B.Uses(0x64, "SysUtils").EndEntry();
    ExpectSameText(Finish(B), C.What);
  }
}

TEST(WebSummary, SameOrderOfNamesWithLettersBeyondAscii) {
  UnitBuilder B(7);
  B.Header();
  B.SourceFile("Demo.pas", 0x70, PackedStamp(2004, 3, 5, 10, 20, 30));
  // É and é fold to one name, as Š and š, Œ and œ, Ÿ and ÿ; a control byte
  // shows in caret notation; the lower-cased code points give the order.
  for (const char* N : {"\xC9tat", "zeta", "\xE9tat", "Alpha", "\x8A" "ema", "\x9A" "ema", "\x8C" "uvre", "\x9C" "uvre",
                        "\x9F" "e", "\xFF" "e", "Ctl\x01" "X", "_under", "beta", "\xD7" "mul", "\xF7" "div"})
    B.Uses(0x64, N).EndEntry();
  B.Uses(0x65, "Windows").EndEntry().Uses(0x65, "windows").EndEntry();
  ExpectSameText(Finish(B), "uses lists");
}

TEST(WebSummary, SameErrorBlockForAUnitThatDoesNotLoad) {
  UnitBuilder B(7);
  B.Header();
  B.SourceFile("Demo.pas", 0x70, PackedStamp(2004, 3, 5, 10, 20, 30));
  std::vector<uint8_t> Bytes = Finish(B);
  Bytes.resize(Bytes.size() / 2);
  ExpectSameText(Bytes, "a cut file");
  Bytes[0] ^= 0xFF;
  ExpectSameText(Bytes, "a wrong magic");
}

}  // namespace
