// Damaged-input sweeps: every prefix of a unit must fail with a decorated
// reader error, and every single-byte change of a unit must either load or
// fail with a reader error (never another exception, never a sanitizer
// report when these run under ASan and UBSan). A unit that loads has its
// code listed too: every piece inside the data block, tiled by its items,
// nothing read outside it (each piece is disassembled from a copy of its
// own bytes, so the sanitizers see any read past it).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "CodeJson.h"
#include "CodeListing.h"
#include "CodeText.h"
#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclJsonTestUtil.h"
#include "DeclListing.h"
#include "DeclSkeleton.h"
#include "DeclValues.h"
#include "LargeUnit.h"
#include "ReaderTestUtil.h"
#include "SampleUnits.h"
#include "TestData.h"
#include "UnitBuilder.h"
#include "ValuesUnit.h"

using unitbuilder::DemoUnit;
using unitbuilder::UnitBuilder;
namespace fs = std::filesystem;

namespace {

// A unit with records of many kinds: imports, an enumeration folded with its
// constants, a range, a record, variables, a procedure with parameters and
// locals, a typed constant, and the code-line, line-range and
// local-variable tables.
std::vector<uint8_t> RichUnit(int Version) {
  UnitBuilder B(Version);
  B.Header(0, true, 1, 2);
  B.SourceFile("Rich.pas", 0x70);
  B.SourceFile("Rich.inc", 0x70);
  B.Uses(0x64, "System").ImpType("Integer").ImpAddr("Halt").EndEntry();
  B.Uses(0x65, "Helpers").ImpTypeDef("TThing", 8).EndEntry();
  B.Uses(0x68, "user32.dll").ImpAddr("MessageBoxA").EndEntry();
  // Types 1 and 2 are the imported ones; 3 the enumeration, 4 the range,
  // 5 the record.
  B.EnumDef(0, 2);
  B.ConstDecl("Red", 3, 0).ConstDecl("Green", 3, 1).ConstDecl("Blue", 3, 2).TypeDecl("TColor", 3);
  B.RangeDef(1, 9).TypeDecl("TDigit", 4);
  B.TypeDefHead(0x4D, 0, 8).Byte(0).Local(0x2C, "F", 1).Local(0x2C, "G", 4, 4).Stop().TypeDecl("TRec", 5);
  B.VarDecl("Counter", 1, 0).VarDecl("Digit", 4, 4);
  B.ProcStart("Run", 0x10).Local(0x21, "A", 1).Local(0x22, "B", 4).Local(0x20, "X", 5).Stop();
  B.DataBlock(0x20);
  B.TrivialFixups();
  B.Tag(0x90).PackedUInt(2).PackedInt(10).PackedUInt(0).PackedInt(2).PackedUInt(4);
  B.Tag(0x91).PackedUInt(1).PackedUInt(10).PackedUInt(5).PackedUInt(0);
  B.Tag(0x94).PackedUInt(2).PackedUInt(0).PackedUInt(0).PackedInt(-4).PackedUInt(0).PackedUInt(4).PackedInt(8);
  B.Stop();
  return B.Finish();
}

const std::vector<int>& Versions = unitbuilder::AllVersions();

// The units the sweeps run over for a version: the sample unit, the rich
// unit and, for three versions of different layouts (to keep the sweeps
// fast under the sanitizers), one group of the large unit (classes with
// methods and a property, embedded lists, fixups that divide the data block).
std::vector<std::pair<std::string, std::vector<uint8_t>>> SweepUnits(int V) {
  std::string Tail = " v" + std::to_string(V);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> Units = {{"Demo" + Tail, DemoUnit(V)},
                                                                     {"Rich" + Tail, RichUnit(V)}};
  if (V == 3 || V == 7 || V == 103) Units.emplace_back("Large" + Tail, unitbuilder::LargeUnit(1, V));
  // Every kind of value, member flag and routine flag word, for the
  // decoders the outline runs.
  if (V == 7) Units.emplace_back("Vals" + Tail, unitbuilder::ValuesUnit());
  return Units;
}

// The first Len bytes of Unit, with the stored file length made to match, so
// the reader goes on past the header and runs out of bytes inside the stream.
std::vector<uint8_t> PatchedPrefix(const std::vector<uint8_t>& Unit, size_t Len) {
  std::vector<uint8_t> P(Unit.begin(), Unit.begin() + static_cast<std::ptrdiff_t>(Len));
  unitbuilder::PatchStoredLength(P);
  return P;
}

// Empty when Text has the form of an error raised while a file is read:
// "Error at 0x..(Def: 0x.., Tag=\"..\"(0x..)): message", with or without the
// unit part; else what is wrong with it.
std::string CheckDecorated(const std::string& Text) {
  if (Text.rfind("Error at 0x", 0) != 0) return "no position: " + Text;
  size_t Def = Text.find("(Def: 0x");
  size_t Tag = Text.find(", Tag=\"", Def);
  size_t Msg = Text.find(")): ", Tag);
  if (Def == std::string::npos || Tag == std::string::npos || Msg == std::string::npos)
    return "no declaration or tag part: " + Text;
  if (Msg + 4 >= Text.size()) return "no message: " + Text;
  return {};
}

// Routines listed by the sweeps so far.
size_t RoutinesListed = 0;

// The code of a loaded unit listed as text and JSON; empty, or what is
// wrong with it.
std::string ListCode(const TUnit& U) {
  TCodeOptions Options;
  Options.ReadSources = false;
  const TCodeLister L(U, Options);
  std::string Wrong, Text;
  L.ForEach([&](const TCodeRoutine& R) {
    ++RoutinesListed;
    const TCodeRoutineHead& H = R.Head;
    uint64_t At = 0;
    for (const TCodeItem& It : R.Items) At = It.Offset == At ? At + It.Size : UINT64_MAX;
    if (At != R.Bytes.size() || R.Bytes.size() != H.PieceSize ||
        static_cast<uint64_t>(H.BlockOffset) + H.PieceSize > static_cast<uint64_t>(std::max(U.DataSize, 0)))
      Wrong = "code of " + H.QualifiedName + " not tiled or outside the data block";
    Text.clear();
    WriteRoutineText(R, Text);
  });
  std::string Json;
  {
    TJsonWriter J(Json);
    WriteCodeJson(L, J);
  }
  if (nlohmann::json::parse(Json).size() != L.RoutineCount()) Wrong += "code JSON without every routine";
  return Wrong;
}

// What loading Bytes gives: "" when the unit loads, "E" + text for a reader
// error, "X" + text for any other exception or a fault of what a loaded unit
// gives. A unit that loads also gives its declarations outline with its
// decoded values, visibility and directives, listing and JSON (all texts
// valid UTF-8), the values the outline does not show (constants of
// routines), and its code listing.
std::string Outcome(const std::vector<uint8_t>& Bytes, bool First) {
  try {
    const std::unique_ptr<TUnit> U = readertest::Load(Bytes, First);
    const TDeclOutline O = BuildDeclOutline(*U);
    DecodeEveryValue(*U);
    TDeclTextSink Listing;
    WriteDeclListing(O, Listing);
    TDeclTextSink Pas;
    WriteDeclSkeleton(O, Pas);
    DeclsJson(O).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    if (std::string Code = ListCode(*U); !Code.empty()) return "X" + Code;
    return "";
  } catch (const EDCUReadError& E) {
    return "E" + E.Text();
  } catch (const std::exception& E) {
    return std::string("X") + E.what();
  }
}

// Runs every prefix of Unit (as cut, and with the length patched) and returns
// the failures; adds the number of loads tried to Count.
std::string SweepPrefixes(const std::vector<uint8_t>& Unit, const std::string& Label, size_t& Count) {
  std::string Failures;
  for (size_t Len = 0; Len < Unit.size(); ++Len) {
    std::vector<uint8_t> Cut(Unit.begin(), Unit.begin() + static_cast<std::ptrdiff_t>(Len));
    for (const auto& Bytes : {Cut, PatchedPrefix(Unit, Len)}) {
      // Alternate between the first unit of the run and a later one, so both
      // forms of the error text are checked.
      std::string R = Outcome(Bytes, Len % 2 == 0);
      ++Count;
      std::string Bad;
      if (R.empty()) Bad = "loaded";
      else if (R[0] == 'X') Bad = "not a reader error: " + R.substr(1);
      else Bad = CheckDecorated(R.substr(1));
      if (!Bad.empty() && Failures.size() < 4000)
        Failures += Label + " prefix " + std::to_string(Len) + ": " + Bad + "\n";
    }
  }
  return Failures;
}

using testdata::CorpusDir;
const auto ReadBytes = testdata::ReadFileBytes;

}  // namespace

TEST(Sweeps, SampleUnitsLoadWhole) {
  // The sweeps below rely on the whole units loading.
  const size_t Before = RoutinesListed;
  for (int V : Versions)
    for (const auto& [Label, Unit] : SweepUnits(V)) EXPECT_EQ(Outcome(Unit, true), "") << Label;
  // The large unit's groups have routines with code.
  EXPECT_GT(RoutinesListed, Before);
}

TEST(Sweeps, EveryPrefixOfTheSampleUnitsFailsDecorated) {
  size_t Count = 0;
  std::string Failures;
  for (int V : Versions)
    for (const auto& [Label, Unit] : SweepUnits(V)) Failures += SweepPrefixes(Unit, Label, Count);
  std::cout << "[sweep] sample prefixes: " << Count << " loads\n";
  EXPECT_TRUE(Failures.empty()) << Failures;
}

// Every prefix of the sample units (the length patched), kept as far as it
// was read: a unit kept gives its error, a listing, JSON and code as a whole
// unit does (and no sanitizer report, no leak), and once a prefix keeps
// declarations, no longer prefix fails before them.
TEST(Sweeps, EveryPrefixKeepsWhatWasRead) {
  size_t Kept = 0, Count = 0;
  std::string Failures;
  for (int V : Versions)
    for (const auto& [Label, Unit] : SweepUnits(V)) {
      size_t Before = 0;
      for (size_t Len = 0; Len < Unit.size(); ++Len) {
        const std::vector<uint8_t> Bytes = PatchedPrefix(Unit, Len);
        ++Count;
        try {
          TUnit U(Label, Bytes, TUnit::TKeepWhatWasRead{});
          if (!U.ReadFailure) {
            Failures += Label + " prefix " + std::to_string(Len) + ": loaded whole\n";
            continue;
          }
          ++Kept;
          size_t Decls = 0;
          for (const TDCURec* R = U.Decls; R; R = R->Next) ++Decls;
          Before = std::max(Before, Decls);
          const TDeclOutline O = BuildDeclOutline(U);
          TDeclTextSink Listing;
          WriteDeclListing(O, Listing);
          DeclsJson(O).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
          if (std::string Code = ListCode(U); !Code.empty()) Failures += Label + ": " + Code + "\n";
        } catch (const EDCUReadError& E) {
          // An error before the declarations: nothing to keep.
          if (Before > 0 && Failures.size() < 4000)
            Failures += Label + " prefix " + std::to_string(Len) + ": raised after keeping: " + E.Text() + "\n";
        } catch (const std::exception& E) {
          Failures += Label + " prefix " + std::to_string(Len) + ": not a reader error: " + E.what() + "\n";
        }
      }
      // The longest prefixes keep the declarations.
      if (Before == 0) Failures += Label + ": no prefix kept a declaration\n";
    }
  std::cout << "[sweep] prefixes kept: " << Kept << " of " << Count << "\n";
  EXPECT_GT(Kept, Count / 2);
  EXPECT_TRUE(Failures.empty()) << Failures;
}

TEST(Sweeps, EveryPrefixOfCorpusFilesFailsDecorated) {
  fs::path Dir = CorpusDir();
  if (!fs::is_directory(Dir)) GTEST_SKIP() << "no corpus folder " << Dir << "; skipped";
  // The two smallest files of every version folder.
  size_t Count = 0, Files = 0;
  std::string Failures;
  for (const char* Sub : {"v2", "v3", "v4", "v5", "v6", "v7"}) {
    if (!fs::is_directory(Dir / Sub)) continue;
    std::vector<std::pair<uintmax_t, fs::path>> All;
    for (const auto& E : fs::directory_iterator(Dir / Sub))
      if (E.is_regular_file()) All.emplace_back(E.file_size(), E.path());
    std::sort(All.begin(), All.end());
    for (size_t I = 0; I < All.size() && I < 2; ++I) {
      std::vector<uint8_t> Unit = ReadBytes(All[I].second);
      ASSERT_EQ(Outcome(Unit, true), "") << All[I].second;
      Failures += SweepPrefixes(Unit, All[I].second.filename().string(), Count);
      ++Files;
    }
  }
  std::cout << "[sweep] corpus prefixes: " << Files << " files, " << Count << " loads\n";
  EXPECT_TRUE(Failures.empty()) << Failures;
}

// One test a unit of the sweeps (a version and the unit's place among that
// version's), so that the test runner can spread them over the machine's
// cores: under the sanitizers these are the longest tests there are.
struct TSweepCase {
  int Version;
  size_t Unit;
};

std::vector<TSweepCase> SweepCases() {
  std::vector<TSweepCase> Cases;
  for (int V : Versions)
    for (size_t I = 0; I < SweepUnits(V).size(); ++I) Cases.push_back({V, I});
  return Cases;
}

class SweepsOfUnit : public testing::TestWithParam<TSweepCase> {};

TEST_P(SweepsOfUnit, EverySingleByteChangeLoadsOrFailsCleanly) {
  size_t Count = 0, Loaded = 0;
  const size_t Routines = RoutinesListed;
  std::string Failures;
  const auto Units = SweepUnits(GetParam().Version);
  {
    const auto& [Label, Unit] = Units.at(GetParam().Unit);
    for (size_t Pos = 0; Pos < Unit.size(); ++Pos) {
      uint8_t Old = Unit[Pos];
      for (uint8_t New : {uint8_t(0x00), uint8_t(0xFF), uint8_t(Old ^ 0x80), uint8_t(Old + 1)}) {
        if (New == Old) continue;
        std::vector<uint8_t> Changed = Unit;
        Changed[Pos] = New;
        std::string R = Outcome(Changed, Pos % 2 == 0);
        ++Count;
        if (R.empty()) {
          ++Loaded;
          continue;
        }
        std::string Bad = R[0] == 'X' ? "not a reader error: " + R.substr(1) : CheckDecorated(R.substr(1));
        if (!Bad.empty() && Failures.size() < 4000)
          Failures += Label + " byte " + std::to_string(Pos) + " := " + std::to_string(New) + ": " + Bad + "\n";
      }
    }
  }
  std::cout << "[sweep] single-byte changes of " << Units.at(GetParam().Unit).first << ": " << Count << " loads, "
            << Loaded << " loaded, " << RoutinesListed - Routines << " routines listed\n";
  EXPECT_TRUE(Failures.empty()) << Failures;
}

INSTANTIATE_TEST_SUITE_P(Sweeps, SweepsOfUnit, testing::ValuesIn(SweepCases()),
                         [](const testing::TestParamInfo<TSweepCase>& I) {
                           return "v" + std::to_string(I.param.Version) + "_" + std::to_string(I.param.Unit);
                         });
