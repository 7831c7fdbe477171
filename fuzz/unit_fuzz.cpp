// Fuzz target: loads a unit from the input bytes and, when it loads, writes
// its summary into the plain-text sink and its JSON facts, builds its
// declarations outline (its values, member visibility and method directives
// decoded) with its listing and JSON, and lists its code as text (each
// routine headed by its declaration's line) and as JSON, so the summary,
// JSON, declarations, value decoders and code writers see every unit the
// reader accepts.
//
// Allowed outcomes: the unit loads (a summary may still stop at an invalid
// file stamp), or the reader raises its error with a position-decorated
// text. Anything else (another exception, a text without the "Error"
// decoration, a sanitizer report) is a finding and aborts the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CodeJson.h"
#include "CodeListing.h"
#include "CodeText.h"
#include "DCU_Unit.h"
#include "DeclEntryMaker.h"
#include "DeclJson.h"
#include "DeclListing.h"
#include "DeclSkeleton.h"
#include "DeclValues.h"
#include "JsonWriter.h"
#include "UnitBuilder.h"
#include "UnitFactsJson.h"
#include "UnitSummary.h"

namespace {

[[noreturn]] void Finding(const char* What, const std::string& Text) {
  std::fprintf(stderr, "unit_fuzz finding: %s: %s\n", What, Text.c_str());
  std::fflush(stderr);
  std::abort();
}

void WriteSummaryAndJson(const TUnit& U) {
  const TUnitFacts Facts = ExtractUnitFacts(U);
  TJX_RecordingSink Sink;
  try {
    WriteUnitSummary(Facts, Sink);
  } catch (const ESummaryError& E) {
    WriteErrorBlock(Sink, DisplayText(E.what()));
  }
  const std::string Text = Sink.PlainText();
  if (Text.empty()) Finding("empty summary", U.FileName);
  const TDeclOutline Decls = BuildDeclOutline(U);
  // The values the outline does not show too (constants of routines).
  DecodeEveryValue(U);
  std::string Json;
  {
    TJsonWriter J(Json);
    J.BeginArray();
    WriteUnitFactsJson(J, U.FileName, &Facts, Facts.SummaryError(),
                       [&](TJsonWriter& W) { WriteDeclsJson(Decls, W); });
    J.EndArray();
  }
  // The text must be JSON, and valid UTF-8 (parse throws otherwise): every
  // text of the outline included.
  const nlohmann::json J = nlohmann::json::parse(Json);
  if (J.size() != 1 || !J[0].contains("stats") || !J[0].contains("decls")) Finding("JSON without the unit", U.FileName);
  TDeclTextSink Listing;
  WriteDeclListing(Decls, Listing);
  if (Listing.Out.empty()) Finding("empty declarations listing", U.FileName);
  TDeclTextSink Pas;
  WriteDeclSkeleton(Decls, Pas);
  if (Pas.Out.rfind("unit ", 0) != 0) Finding("skeleton without its unit line", U.FileName);
}

// Every routine disassembled and written as text, headed by its
// declaration's line, and as JSON: the pieces lie inside the data block and
// the listing reads nothing outside them; the names marked in each item lie
// inside its text.
void ListCode(const TUnit& U) {
  TCodeOptions Options;
  Options.ReadSources = false;
  const TCodeLister L(U, Options);
  TDeclEntryMaker Entries(U, TDeclOutlineOptions{.KeepSpans = false});
  TCodeTextOptions TextOptions;
  TextOptions.Heading = [&](const TCodeRoutineHead& H) {
    const std::optional<TDeclEntry> E = Entries.EntryAt(H.DeclOffset, H.DeclIndex);
    return E ? EntryLine(*E).Text.str() : DefaultRoutineHeading(H);
  };
  std::string Text;
  L.ForEach([&](const TCodeRoutine& R) {
    size_t Bytes = 0;
    for (const TCodeItem& It : R.Items) {
      Bytes += It.Size;
      for (const TCodeSpan& S : R.ItemSpans(It))
        if (S.Start + static_cast<size_t>(S.Len) > It.TextStart + It.TextSize)
          Finding("a name outside its item's text", R.Head.QualifiedName);
    }
    if (Bytes != R.Bytes.size()) Finding("code items that do not tile their piece", R.Head.QualifiedName);
    Text.clear();
    WriteRoutineText(R, Text, TextOptions);
  });
  std::string Json;
  {
    TJsonWriter J(Json);
    WriteCodeJson(L, J);
  }
  if (nlohmann::json::parse(Json).size() != L.RoutineCount()) Finding("code JSON without every routine", U.FileName);
}

void ReadOne(std::span<const uint8_t> Bytes) {
  // Inputs of odd length are read as the first unit of the run, the others
  // as a later unit, so both forms of the error text are exercised.
  UnitConstructionCount = (Bytes.size() & 1) ? 0 : 1;
  try {
    TJXUnit U("Fuzz.dcu", Bytes);
    WriteSummaryAndJson(U);
    ListCode(U);
  } catch (const EDCUReadError& E) {
    const std::string& T = E.Text();
    if (T.rfind("Error", 0) != 0) Finding("undecorated reader error", T);
    TJX_RecordingSink Sink;
    WriteErrorBlock(Sink, DisplayText(T));
  } catch (const std::exception& E) {
    Finding("exception that is no reader error", E.what());
  }
  // No unit may stay registered once its construction has ended.
  if (ActiveUnit || FirstUnit) Finding("unit left registered", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::span<const uint8_t> Bytes(Data, Size);
  ReadOne(Bytes);
  // Most mutations add or remove bytes, which the stored file length (the
  // dword at offset 4) then rejects at once. Such inputs are read a second
  // time with the length made to match, so they reach the stream behind the
  // header as well.
  if (Size >= 8) {
    uint32_t Stored = uint32_t(Data[4]) | uint32_t(Data[5]) << 8 | uint32_t(Data[6]) << 16 |
                      uint32_t(Data[7]) << 24;
    if (Stored != Size && Size <= UINT32_MAX) {
      std::vector<uint8_t> Patched(Bytes.begin(), Bytes.end());
      unitbuilder::PatchStoredLength(Patched);
      ReadOne(Patched);
    }
  }
  return 0;
}
