// Decoded values, visibility and directives end to end through the outline:
// the listing and the JSON of the synthetic unit of every value kind
// (tests/support/ValuesUnit.h), and the JSON form of values that unit
// cannot hold (wide characters, pointers into a declaration).
#include <gtest/gtest.h>

#include <span>

#include "DCU_Unit.h"
#include "DeclJsonTestUtil.h"
#include "DeclListing.h"
#include "DeclValues.h"
#include "ValuesUnit.h"

namespace {

class TOutlineValues : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::vector<uint8_t> Bytes = unitbuilder::ValuesUnit();
    TUnit U("Vals.dcu", std::span<const uint8_t>(Bytes));
    Outline = BuildDeclOutline(U);
    TDeclTextSink Sink;
    WriteDeclListing(Outline, Sink);
    Listing = Sink.Out;
    Json = DeclsJson(Outline);
  }

  // Whether the listing has Line, with its indent, as a line of its own.
  static bool HasLine(const std::string& Line) { return ("\n" + Listing).find("\n" + Line + "\n") != std::string::npos; }
  static nlohmann::json Entry(const char* Name) {
    for (const char* Section : {"interface", "implementation"})
      for (const auto& E : Json[Section])
        if (E["name"] == Name) return E;
    ADD_FAILURE() << "no entry " << Name;
    return {};
  }
  static nlohmann::json Member(const char* Type, const char* Name) {
    const nlohmann::json E = Entry(Type);
    for (const auto& M : E["members"])
      if (M["name"] == Name) return M;
    ADD_FAILURE() << "no member " << Name;
    return {};
  }

  static inline TDeclOutline Outline;
  static inline std::string Listing;
  static inline nlohmann::json Json;
};

}  // namespace

TEST_F(TOutlineValues, ConstantsAreListedByTheirTypes) {
  for (const char* L : {
           // Ordinals in their type's range: the most negative Int64, and
           // unsigned 32- and 64-bit numbers the file keeps sign-extended.
           "  MinI64 = -9223372036854775808 { -9223372036854775808..9223372036854775807 };",
           "  AllBits32 = 4294967295 { 0..4294967295 };",
           "  GapDrop = 3221225472 { 0..4294967295 };",
           "  CardMax = 4294967295 { Cardinal };",
           "  IntMinus = -1 { Integer };",
           "  AllBits64 = 18446744073709551615 { 0..-1 };",
           // Characters, Booleans, enumerations by name.
           "  Quote = #39 { #0..#255 };",
           "  LetterA = 'A' { #0..#255 };",
           "  Undef81 = #129 { #0..#255 };",
           "  Yes = True { False..True };",
           "  KindC = ckC { TKind };",
           // Strings with quotes and control characters, the empty string.
           "  Text1 = 'It''s'#13#10 { AnsiString };",
           "  Empty = '' { AnsiString };",
           // Floats: NaN and the infinities by name, the shortest text.
           "  NaNX = NaN { {float, 10 bytes} };",
           "  NegInfX = NegInfinity { {float, 10 bytes} };",
           "  Tenth = 0.1 { {float, 10 bytes} };",
           "  Ver = 14.2 { {float, 8 bytes} };",
           "  AllKinds = [ckA..ckD] { set of TKind };",
           "  Digits = ['0'..'9', 'A'] { set of #0..#255 };",
           // Not decoded: the bytes, as before.
           "  Odd = {10 bytes: FF FF FF FF 40 00 00 00 78 00} { AnsiString };",
           "  SHello = 'Hello, ''world''';",
       })
    EXPECT_TRUE(HasLine(L)) << L << "\nin:\n" << Listing;
}

TEST_F(TOutlineValues, TypedConstantsAreListedAsPascalWritesThem) {
  const std::string Rec = "record B: False..True; I: Integer; In: record X: Word; K: TKind; end; S: {float, 4 bytes}; end";
  for (const std::string& L : {
           // Records with alignment gaps (holding 0xEE) in an array, a nested record.
           "  Outer: array[0..1] of " + Rec +
               " = ((B: True; I: -2; In: (X: 7; K: ckB); S: 1.5), (B: False; I: 300; In: (X: 65535; K: ckD); S: -0.25));",
           std::string("  Sig: array[0..3] of #0..#255 = 'TPF0';"),
           std::string("  Grid: array[0..1] of array[0..1] of Word = ((1, 2), (3, 4));"),
           std::string("  Name: AnsiString = 'abc';"),
           std::string("  PCount: ^Integer = @Outer;"),
           std::string("  Cls: class of {#0} = TFoo;"),
           std::string("  Nothing: ^Integer = nil;"),
           std::string("  Handler: procedure = @DoIt;"),
           std::string("  Specials: array[0..1] of {float, 10 bytes} = (NaN, NegInfinity);"),
           std::string("  NoText: AnsiString = '';"),
           // A block too short for its type, a fixup that leads outside the
           // data block: today's form, marked.
           "  Short2: " + Rec + " = {4 bytes in the data block, not decoded};",
           std::string("  Broken: AnsiString = {4 bytes in the data block, not decoded};"),
           // Decoded in part: the rest as bytes.
           std::string("  Mixed: record A: Integer; W: {#999}; end = (A: 5; W: {4 bytes: 01 02 03 04});"),
       })
    EXPECT_TRUE(HasLine(L)) << L << "\nin:\n" << Listing;
  // The parts not decoded are comments; the rest plain.
  const TDeclEntry* Mixed = nullptr;
  for (const TDeclBlock& B : Outline.Interface.Blocks)
    for (const TDeclEntry& E : B.Entries)
      if (E.Name == "Mixed") Mixed = &E;
  ASSERT_TRUE(Mixed);
  ASSERT_EQ(Mixed->Value().Spans.size(), 1u);
  EXPECT_EQ(Mixed->Value().Spans[0].Kind, TDeclRunKind::Comment);
  EXPECT_EQ(Mixed->Value().Text.substr(Mixed->Value().Spans[0].Start, Mixed->Value().Spans[0].Len), "{4 bytes: 01 02 03 04}");
}

TEST_F(TOutlineValues, MembersStandUnderTheirSectionsWithTheirDirectives) {
  const std::string Thing =
      "  TThing = class\n"
      "  private\n    FPriv: Integer;\n"
      "  protected\n    FProt: Integer;\n"
      "  public\n    FPub: Integer;\n"
      "  published\n    FPubl: Integer;\n"
      "  {unknown visibility $0C}\n    FOdd: Integer;\n"
      "  protected\n    procedure Run; virtual; abstract;\n"
      "  public\n    class procedure Make; overload;\n"
      "  protected\n    procedure Paint; override;\n"
      "  private\n    procedure WMSize; message 45067;\n"
      "  public\n    procedure Show;\n"
      "  protected\n    procedure Added; virtual;\n"
      "  published\n"
      "    property Kind: TKind read FPubl default ckC;\n"
      "    property Kinds: set of TKind read FPubl default [ckA, ckC];\n"
      "    property Flag: False..True read FPubl default True;\n"
      "  public\n    property Items: Integer read FPubl; default;\n"
      "  end;\n"
      // Taken over: the type (and so the default's name) from the ancestor;
      // a default the ancestor has and the redeclaration not is nodefault.
      "  TSub = class(TThing)\n  published\n"
      "    property Kind read FPubl default ckD;\n    property Flag read FPubl nodefault;\n  end;\n"
      // Interfaces have no sections, their methods no directives.
      "  IPing = interface\n    ['{00000000-0000-0000-0000-000000000000}']\n    method Ping;\n  end;\n";
  EXPECT_NE(Listing.find(Thing), std::string::npos) << Listing;
  // The outline's model: each member's section, the runs as the listing
  // writes them.
  const TDeclEntry& T = Outline.Interface.Blocks[0].Entries[1];
  ASSERT_EQ(T.Name, "TThing");
  std::vector<std::pair<TVisibility, size_t>> Runs;
  ForEachVisibilityRun(T.Members, [&](TVisibility V, uint8_t, size_t First, size_t Last) { Runs.emplace_back(V, Last - First); });
  ASSERT_EQ(Runs.size(), 13u);
  EXPECT_EQ(Runs[0], std::make_pair(TVisibility::Private, size_t(1)));
  EXPECT_EQ(Runs[4], std::make_pair(TVisibility::Unknown, size_t(1)));
  EXPECT_EQ(Runs[11], std::make_pair(TVisibility::Published, size_t(3)));
  EXPECT_EQ(T.Members[5].Directives.Binding, TBinding::Virtual);
  EXPECT_TRUE(T.Members[5].Directives.Abstract);
}

TEST_F(TOutlineValues, JsonValuesTakeTheShapeOfTheirKind) {
  // Numbers, signed and unsigned, at the ends of 64 bits.
  EXPECT_EQ(Entry("MinI64")["value"], INT64_MIN);
  EXPECT_TRUE(Entry("AllBits64")["value"].is_number_unsigned());
  EXPECT_EQ(Entry("AllBits64")["value"], UINT64_MAX);
  EXPECT_EQ(Entry("GapDrop")["value"], 3221225472u);
  EXPECT_EQ(Entry("IntMinus")["value"], -1);
  // Characters as one-character strings (UTF-8 by Windows-1252), Booleans,
  // enumerations by name, strings with their control characters.
  EXPECT_EQ(Entry("Quote")["value"], "'");
  EXPECT_EQ(Entry("EAcute")["value"], "\xC3\xA9");
  EXPECT_EQ(Entry("Undef81")["value"], "\xC2\x81");
  EXPECT_EQ(Entry("Yes")["value"], true);
  EXPECT_EQ(Entry("KindC")["value"], "ckC");
  EXPECT_EQ(Entry("Text1")["value"], "It's\r\n");
  EXPECT_EQ(Entry("Empty")["value"], "");
  EXPECT_EQ(Entry("SHello")["value"], "Hello, 'world'");
  // Floats: the number and the listing's text; NaN and the infinities, which
  // JSON has no number for, by name.
  EXPECT_EQ(Entry("Tenth")["value"], 0.1);
  EXPECT_EQ(Entry("Tenth")["valueText"], "0.1");
  EXPECT_EQ(Entry("NaNX")["value"], "NaN");
  EXPECT_EQ(Entry("InfX")["value"], "Infinity");
  EXPECT_EQ(Entry("NegInfX")["valueText"], "NegInfinity");
  EXPECT_EQ(Entry("Specials")["value"], nlohmann::json({"NaN", "NegInfinity"}));
  // Sets and arrays as arrays, records as objects, references, nil.
  EXPECT_EQ(Entry("AllKinds")["value"], nlohmann::json({"ckA", "ckB", "ckC", "ckD"}));
  EXPECT_EQ(Entry("Digits")["value"].size(), 11u);
  EXPECT_EQ(Entry("Outer")["value"], nlohmann::json::parse(R"([{"B":true,"I":-2,"In":{"X":7,"K":"ckB"},"S":1.5},
                                                             {"B":false,"I":300,"In":{"X":65535,"K":"ckD"},"S":-0.25}])"));
  EXPECT_EQ(Entry("Grid")["value"], nlohmann::json::parse("[[1,2],[3,4]]"));
  EXPECT_EQ(Entry("Sig")["value"], "TPF0");
  EXPECT_EQ(Entry("PCount")["value"], nlohmann::json::parse(R"({"ref":"Outer"})"));
  EXPECT_EQ(Entry("Cls")["value"], nlohmann::json::parse(R"({"ref":"TFoo"})"));
  EXPECT_TRUE(Entry("Nothing")["value"].is_null());
  EXPECT_TRUE(Entry("Nothing").contains("value"));
  // Not decoded, or not all of it: the bytes, no value.
  for (const char* Name : {"Odd", "Short2", "Broken", "Mixed"}) EXPECT_FALSE(Entry(Name).contains("value")) << Name;
  EXPECT_EQ(Entry("Odd")["valueBytes"], "FFFFFFFF400000007800");
  EXPECT_EQ(Entry("Short2")["valueBytes"], "EEEEEEEE");
  EXPECT_EQ(Entry("Mixed")["valueBytes"], "0500000001020304");
  EXPECT_FALSE(Entry("SLost").contains("valueBytes"));
  EXPECT_FALSE(Entry("Tenth").contains("valueBytes"));
  EXPECT_FALSE(Entry("KindC").contains("valueText"));
}

TEST_F(TOutlineValues, JsonMembersCarryVisibilityDirectivesAndDefaults) {
  EXPECT_EQ(Member("TThing", "FPriv")["visibility"], "private");
  EXPECT_EQ(Member("TThing", "FPubl")["visibility"], "published");
  EXPECT_EQ(Member("TThing", "FOdd")["visibility"], "unknown");
  EXPECT_EQ(Member("TThing", "Run")["directives"], nlohmann::json({"virtual", "abstract"}));
  EXPECT_EQ(Member("TThing", "Run")["text"], "procedure Run; virtual; abstract");
  EXPECT_EQ(Member("TThing", "Make")["classMethod"], true);
  EXPECT_EQ(Member("TThing", "Make")["directives"], nlohmann::json({"overload"}));
  EXPECT_EQ(Member("TThing", "WMSize")["directives"], nlohmann::json({"message 45067"}));
  EXPECT_FALSE(Member("TThing", "Show").contains("directives"));
  EXPECT_FALSE(Member("TThing", "Show").contains("classMethod"));
  EXPECT_EQ(Member("TThing", "Kind")["default"], "ckC");
  EXPECT_EQ(Member("TThing", "Kinds")["default"], nlohmann::json({"ckA", "ckC"}));
  EXPECT_EQ(Member("TThing", "Flag")["default"], true);
  EXPECT_EQ(Member("TThing", "Items")["defaultProperty"], true);
  EXPECT_FALSE(Member("TThing", "Items").contains("default"));
  EXPECT_EQ(Member("TSub", "Kind")["default"], "ckD");
  EXPECT_EQ(Member("TSub", "Flag")["nodefault"], true);
  EXPECT_FALSE(Member("IPing", "Ping").contains("visibility"));
  EXPECT_FALSE(Member("IPing", "Ping").contains("directives"));
}

TEST_F(TOutlineValues, WithoutSpansTheTextsAreTheSame) {
  const std::vector<uint8_t> Bytes = unitbuilder::ValuesUnit();
  TUnit U("Vals.dcu", std::span<const uint8_t>(Bytes));
  const TDeclOutline Without = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
  TDeclTextSink Sink;
  WriteDeclListing(Without, Sink);
  EXPECT_EQ(Sink.Out, Listing);
  EXPECT_EQ(DeclsJson(Without), Json);
}

TEST(ValueJson, WideCharactersHugeFloatsPointersIntoADeclarationAndPartsNotDecoded) {
  auto Json = [](const TValue& V) {
    std::string S = "<";
    return ValueJson(V, S) ? S.substr(1) : "(none: " + S + ")";
  };
  TValue W;
  W.Kind = TValueKind::String;
  W.Wide = true;
  // A pair of surrogates makes one character; one alone is replaced.
  W.WideText = std::u16string(u"A\u20AC") + char16_t(0xD83D) + char16_t(0xDE00) + char16_t(0xDC00) + u"\n";
  EXPECT_EQ(Json(W), "\"A\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\\n\"");
  TValue C;
  C.Kind = TValueKind::Char;
  C.Wide = true;
  C.Int = 0x416;
  EXPECT_EQ(Json(C), "\"\xD0\x96\"");
  C.Wide = false;
  C.Int = 0x80;
  EXPECT_EQ(Json(C), "\"\xE2\x82\xAC\"");
  C.Int = 0;
  EXPECT_EQ(Json(C), "\"\\u0000\"");
  // Floats: numbers, but not past the range of a double, which JSON readers
  // take numbers as (and reject as out of range).
  TValue F;
  F.Kind = TValueKind::Float;
  F.Text = "-2.5E-7";
  F.Float = -2.5e-7L;
  EXPECT_EQ(Json(F), "-2.5E-7");
  F.Text = "1.2E4000";
  F.Float = 1.2e4000L;
  EXPECT_EQ(Json(F), "\"1.2E4000\"");
  TValue R;
  R.Kind = TValueKind::Ref;
  R.Text = "Table";
  R.Int = 8;
  EXPECT_EQ(Json(R), R"({"offset":8,"ref":"Table"})");
  // A record with a part not decoded gives nothing, and leaves Out as it was.
  TValue Rec;
  Rec.Kind = TValueKind::Record;
  Rec.Names = {"A", "B"};
  Rec.Items.resize(2);
  Rec.Items[0].Kind = TValueKind::Ordinal;
  EXPECT_EQ(Json(Rec), "(none: <)");
  Rec.Items[1].Kind = TValueKind::Nil;
  EXPECT_EQ(Json(Rec), R"({"A":0,"B":null})");
}
