// The JSON writer against nlohmann::json, whose dump has always been the
// reference of the programs' JSON: string escapes and the replacement of
// bytes that are no valid UTF-8, byte for byte; the pretty and flat layouts
// and their mixing; the pieces handed to the sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "JsonWriter.h"

using ordered_json = nlohmann::ordered_json;

namespace {

// S as one JSON string, written by the writer and by nlohmann::json.
std::string Written(std::string_view S) {
  std::string Out;
  TJsonWriter(Out).String(S);
  return Out;
}
std::string Reference(std::string_view S) {
  return nlohmann::json(std::string(S)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Bytes where escapes and the UTF-8 rules change: controls, the escaped
// characters, the ends of each lead and continuation range.
const std::vector<unsigned char> Edges = {0x00, 0x08, 0x09, 0x0A, 0x0B, 0x0D, 0x1F, 0x20, '"',  '\\', 'a',
                                          0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                          0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};

}  // namespace

TEST(JsonWriter, EveryByteAtEveryPlaceAroundTheEightByteStepsIsWrittenAsNlohmannWritesIt) {
  for (int B = 0; B < 256; ++B)
    for (size_t Len = 1; Len <= 18; ++Len)
      for (size_t At = 0; At < Len; ++At) {
        std::string S(Len, 'a');
        S[At] = static_cast<char>(B);
        ASSERT_EQ(Written(S), Reference(S)) << "byte " << B << " at " << At << " of " << Len;
      }
  EXPECT_EQ(Written("a\"b\\c\x01\n\t\b\f\r\x0b\x7f"), R"("a\"b\\c\u0001\n\t\b\f\r\u000b)" "\x7f\"");
  EXPECT_EQ(Written(""), "\"\"");
}

// Strings are read sixteen bytes a step and their rest as their last
// sixteen bytes, a shorter one as its first and last eight bytes or as one
// word of its few bytes: runs of plain ASCII of every length up to five steps,
// each in a buffer of exactly its size (a read past the end shows under the
// sanitizers), alone, with one byte that needs escaping or checking at each
// place, and as members and quoted pieces, against the checked reference.
TEST(JsonWriter, PlainRunsOfEveryLengthAroundTheSixteenAndEightByteStepsAreWrittenAsNlohmannWritesThem) {
  auto Exact = [](const std::string& S) {
    auto Buf = std::make_unique<char[]>(S.size() + (S.empty() ? 1 : 0));
    std::memcpy(Buf.get(), S.data(), S.size());
    return Buf;
  };
  for (size_t Len = 0; Len <= 80; ++Len) {
    std::string S;
    for (size_t I = 0; I < Len; ++I) S += static_cast<char>("azAZ09 ~!#/[]{}_"[(I * 7 + Len) % 16]);
    const auto Buf = Exact(S);
    const std::string_view V(Buf.get(), Len);
    ASSERT_EQ(Written(V), Reference(S)) << "plain run of " << Len;
    std::string Piece = "[";
    TJsonWriter::Quote(Piece, V);
    ASSERT_EQ(Piece, "[" + Reference(S)) << "quoted run of " << Len;
    std::string Out;
    {
      TJsonWriter J(Out);
      J.BeginObject();
      J.String("k", V);
      J.String("l", V);
      J.EndObject();
    }
    ASSERT_EQ(Out, "{\n  \"k\": " + Reference(S) + ",\n  \"l\": " + Reference(S) + "\n}") << Len;
    if (Len > 40) continue;
    for (unsigned char B : Edges)
      for (size_t At = 0; At < Len; ++At) {
        std::string T = S;
        T[At] = static_cast<char>(B);
        const auto TBuf = Exact(T);
        ASSERT_EQ(Written(std::string_view(TBuf.get(), Len)), Reference(T))
            << "byte " << int(B) << " at " << At << " of " << Len;
      }
  }
  // Long runs with a control character, a quote or a letter of two bytes
  // after thousands of plain bytes, and text that is plain again after them.
  for (const char* Odd : {"\x01", "\"", "\\", "\xC3\xA9", "\xFF", "\x7F"}) {
    const std::string S = std::string(4099, 'x') + Odd + std::string(37, 'y') + Odd;
    ASSERT_EQ(Written(S), Reference(S)) << testing::PrintToString(Odd);
  }
}

TEST(JsonWriter, InvalidUtf8IsReplacedAsNlohmannReplacesIt) {
  // Every string of up to three edge bytes.
  std::vector<std::string> Cases{""};
  for (size_t Len = 1; Len <= 3; ++Len) {
    std::vector<std::string> Longer;
    for (const std::string& S : Cases)
      if (S.size() == Len - 1)
        for (unsigned char B : Edges) Longer.push_back(S + static_cast<char>(B));
    Cases.insert(Cases.end(), Longer.begin(), Longer.end());
  }
  for (const std::string& S : Cases) ASSERT_EQ(Written(S), Reference(S)) << testing::PrintToString(S);
  // Longer mixes of edge bytes, valid sequences and ASCII, across the steps.
  std::mt19937 Rng(23);
  const std::vector<std::string> Pieces = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "plain text", "\xED\x9F\xBF",
                                           "\xF4\x8F\xBF\xBF"};
  for (int N = 0; N < 20000; ++N) {
    std::string S;
    const size_t Len = Rng() % 40;
    while (S.size() < Len) {
      if (Rng() % 3 == 0) S += Pieces[Rng() % Pieces.size()];
      else S += static_cast<char>(Edges[Rng() % Edges.size()]);
    }
    ASSERT_EQ(Written(S), Reference(S)) << testing::PrintToString(S);
  }
  // Named cases: a surrogate, an overlong form, a cut-off sequence at the
  // end, a sequence broken by ASCII (the ASCII byte is kept).
  EXPECT_EQ(Written("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(Written("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(Written("ab\xF0\x9F\x98"), "\"ab\xEF\xBF\xBD\"");
  EXPECT_EQ(Written("\xE2\x82z"), "\"\xEF\xBF\xBDz\"");
}

TEST(JsonWriter, PrettyAndFlatLayoutsAreThoseOfDumpWithAndWithoutIndent) {
  auto Document = [](TJsonWriter& J) {
    J.BeginObject();
    J.String("name", "Demo");
    J.Number("small", std::numeric_limits<int64_t>::min());
    J.Number("large", std::numeric_limits<uint64_t>::max());
    J.Bool("ok", true);
    J.Null("error");
    J.Key("empty");
    J.BeginArray();
    J.EndArray();
    J.Key("none");
    J.BeginObject();
    J.EndObject();
    J.Key("nested");
    J.BeginArray();
    J.BeginObject();
    J.TextKey("k\"ey\x01");
    J.BeginArray();
    J.Number(-1);
    J.String("x");
    J.Bool(false);
    J.Null();
    J.BeginArray();
    J.BeginArray();
    J.EndArray();
    J.EndArray();
    J.EndArray();
    J.EndObject();
    J.Number(7);
    J.EndArray();
    // Deeper than the line breaks' blanks are stored in one step.
    J.Key("deep");
    for (int K = 0; K < 12; ++K) {
      J.BeginArray();
      J.Number(K);
    }
    for (int K = 0; K < 12; ++K) J.EndArray();
    J.EndObject();
  };
  std::string Pretty, Flat;
  {
    TJsonWriter J(Pretty);
    Document(J);
  }
  {
    TJsonWriter J(Flat, TJsonLayout::Flat);
    Document(J);
  }
  const ordered_json Value = ordered_json::parse(Pretty);
  EXPECT_EQ(Pretty, Value.dump(2));
  EXPECT_EQ(Flat, Value.dump());
  EXPECT_EQ(Value["nested"][0]["k\"ey\x01"].size(), 5u);
}

TEST(JsonWriter, FlatItemsStandOnLinesOfTheirOwnInsideAPrettyText) {
  std::string Out;
  {
    TJsonWriter J(Out);
    J.BeginObject();
    J.Key("units");
    J.BeginArray(TJsonLayout::FlatItems);
    for (int I = 0; I < 2; ++I) {
      J.BeginObject();
      J.Number("n", I);
      J.Key("uses");
      J.BeginArray(TJsonLayout::Pretty);  // inside a flat item: flat
      J.String("A");
      J.EndArray();
      J.EndObject();
    }
    J.EndArray();
    J.Key("findings");
    J.BeginArray(TJsonLayout::FlatItems);
    J.EndArray();
    J.Key("more");
    J.BeginArray();
    J.BeginObject(TJsonLayout::Flat);
    J.String("kind", "x");
    J.EndObject();
    J.Number(1);
    J.EndArray();
    J.EndObject();
  }
  EXPECT_EQ(Out,
            "{\n"
            "  \"units\": [\n"
            "    {\"n\":0,\"uses\":[\"A\"]},\n"
            "    {\"n\":1,\"uses\":[\"A\"]}\n"
            "  ],\n"
            "  \"findings\": [],\n"
            "  \"more\": [\n"
            "    {\"kind\":\"x\"},\n"
            "    1\n"
            "  ]\n"
            "}");
}

TEST(JsonWriter, QuotedPiecesAndRawValuesMakeWhatTheWriterWouldWrite) {
  // Quote escapes and replaces as String does, whatever Out holds before.
  for (const std::string& S : {std::string(""), std::string("plain"), std::string("a\"b\\\x01\xC3\xA9\xFF\n"),
                              std::string(40, 'x') + "\x7F\x80"}) {
    std::string Out = "[";
    TJsonWriter::Quote(Out, S);
    EXPECT_EQ(Out, "[" + Written(S));
  }
  // A value made beforehand goes in as it stands, in a flat and in a pretty
  // object, a big one past the buffer too.
  std::string Piece = "[";
  TJsonWriter::Quote(Piece, "x\ty");
  Piece += ",{\"k\":null}]";
  const std::string Big = "\"" + std::string(100000, 'z') + "\"";
  for (TJsonLayout L : {TJsonLayout::Flat, TJsonLayout::Pretty}) {
    std::string Out;
    {
      TJsonWriter J(Out, L);
      J.BeginObject();
      J.Number("a", 1);
      J.Raw("b", Piece);
      J.Raw("c", Big);
      J.EndObject();
    }
    const ordered_json Value = ordered_json::parse(Out);
    EXPECT_EQ(Value["b"], ordered_json::parse(R"(["x\ty",{"k":null}])"));
    EXPECT_EQ(Value["c"].get<std::string>().size(), 100000u);
    if (L == TJsonLayout::Flat) EXPECT_EQ(Out, Value.dump());
    else EXPECT_EQ(Out, "{\n  \"a\": 1,\n  \"b\": " + Piece + ",\n  \"c\": " + Big + "\n}");
  }
}

TEST(JsonWriter, LongTextsReachTheSinkInPiecesThatMakeTheWholeText) {
  // Many items past the buffer, and one string larger than it.
  std::vector<std::string_view> Pieces;
  std::string Joined, Whole;
  const std::string Big = std::string(300000, 'x') + "\"\xFF";
  auto Write = [&](TJsonWriter& J) {
    J.BeginArray(TJsonLayout::FlatItems);
    for (int I = 0; I < 20000; ++I) J.String("item " + std::to_string(I));
    J.String(Big);
    J.EndArray();
  };
  {
    TJsonWriter J([&](std::string_view P) {
      Pieces.push_back(P);
      Joined += P;
    });
    Write(J);
  }
  {
    TJsonWriter J(Whole);
    Write(J);
  }
  EXPECT_GT(Pieces.size(), 3u);
  EXPECT_EQ(Joined, Whole);
  const nlohmann::json Value = nlohmann::json::parse(Whole);
  ASSERT_EQ(Value.size(), 20001u);
  EXPECT_EQ(Value[19999], "item 19999");
  EXPECT_EQ(Value[20000], std::string(300000, 'x') + "\"\xEF\xBF\xBD");
}


// A value written ahead for its depth (in pieces, one large) and placed
// after a key, as an item and among flat items, gives the text of the
// value written in place.
TEST(JsonWriter, AValueWrittenAheadForItsDepthIsPlacedAsItWouldBeWritten) {
  const auto Value = [](TJsonWriter& J) {
    J.BeginObject();
    J.Key("list");
    J.BeginArray(TJsonLayout::FlatItems);
    for (int I = 0; I < 9000; ++I) J.String("item " + std::to_string(I));
    J.EndArray();
    J.Number("n", 7);
    J.Key("empty");
    J.BeginArray();
    J.EndArray();
    J.EndObject();
  };
  const auto Around = [](TJsonWriter& J, const auto& Put) {
    J.BeginArray();
    J.Number(1);
    J.BeginObject();
    J.Key("a");
    Put(J);
    J.Key("b");
    J.BeginArray();
    Put(J);
    J.EndArray();
    J.EndObject();
    J.EndArray();
  };
  std::string InPlace, Placed;
  {
    TJsonWriter J(InPlace);
    Around(J, Value);
  }
  TJsonPieces AtKey, AtItem;
  {
    TJsonWriter A(AtKey, 2);
    Value(A);
    TJsonWriter B(AtItem, 3);
    Value(B);
  }
  EXPECT_GT(AtKey.size(), 1u);
  int Placing = 0;
  {
    TJsonWriter J(Placed);
    Around(J, [&](TJsonWriter& W) { W.RawItem(Placing++ == 0 ? AtKey : AtItem); });
  }
  EXPECT_EQ(Placed, InPlace);
  EXPECT_TRUE(nlohmann::json::accept(Placed));
}
TEST(JsonWriter, NothingReachesAStringBeforeFlush) {
  std::string Out;
  TJsonWriter J(Out);
  J.BeginArray();
  J.Number(1);
  J.EndArray();
  EXPECT_EQ(Out, "");
  J.Flush();
  EXPECT_EQ(Out, "[\n  1\n]");
  J.Flush();
  EXPECT_EQ(Out, "[\n  1\n]");
}

// The same members written by TJsonWriter in a flat object and by TJsonFlat,
// with strings that need escaping or replacing at each place around the
// sixteen- and eight-byte steps: the texts are the same byte for byte.
TEST(JsonFlat, MembersAndItemsAreWhatTheWriterWritesFlat) {
  for (size_t Len = 0; Len <= 34; ++Len)
    for (unsigned char B : Edges)
      for (size_t At = 0; At < std::max<size_t>(Len, 1); ++At) {
        std::string S(Len, 'q');
        if (Len) S[At] = static_cast<char>(B);
        std::string Want;
        {
          TJsonWriter J(Want, TJsonLayout::Flat);
          J.BeginObject();
          J.String("a", S);
          J.Key("b");
          J.BeginArray();
          J.String(S);
          J.String(S);
          J.EndArray();
          J.Number("c", -7);
          J.Bool("d", true);
          J.Raw("e", "[1,{}]");
          J.Key("f");
          J.BeginArray();
          J.BeginObject();
          J.String("g", S);
          J.EndObject();
          J.BeginObject();
          J.EndObject();
          J.EndArray();
          J.EndObject();
        }
        TJsonFlat F;
        F.BeginObject();
        F.String("a", S);
        F.Key("b");
        F.BeginArray();
        F.String(S);
        F.String(S);
        F.EndArray();
        F.Number("c", -7);
        F.True("d");
        F.Raw("e", "[1,{}]");
        F.Key("f");
        F.BeginArray();
        F.BeginObject();
        F.String("g", S);
        F.EndObject();
        F.BeginObject();
        F.EndObject();
        F.EndArray();
        F.EndObject();
        ASSERT_EQ(F.Text(), Want) << "byte " << int(B) << " at " << At << " of " << Len;
      }
}

// A value larger than the buffer's first size makes it grow with what was
// written kept; Clear starts the next value in the same buffer; RawItem puts
// each value where the writer puts an item of a FlatItems array.
TEST(JsonFlat, GrowsKeepingItsTextAndItsValuesGoInAsItems) {
  TJsonFlat F;
  const std::string Long(10000, 'y');
  F.BeginObject();
  for (int I = 0; I < 40; ++I) F.Number("n", I);
  F.String("s", Long + "\x01");
  F.EndObject();
  const nlohmann::json Value = nlohmann::json::parse(F.Text());
  EXPECT_EQ(Value["s"], Long + "\x01");
  EXPECT_EQ(Value["n"], 39);
  EXPECT_EQ(F.Text().substr(0, 17), R"({"n":0,"n":1,"n":)");

  std::string Out;
  {
    TJsonWriter J(Out);
    J.BeginObject();
    J.Key("items");
    J.BeginArray(TJsonLayout::FlatItems);
    for (int I = 0; I < 2; ++I) {
      F.Clear();
      F.BeginObject();
      F.Number("i", I);
      F.Key("e");
      F.BeginArray();
      F.EndArray();
      F.EndObject();
      J.RawItem(F.Text());
    }
    J.EndArray();
    J.EndObject();
  }
  EXPECT_EQ(Out, "{\n  \"items\": [\n    {\"i\":0,\"e\":[]},\n    {\"i\":1,\"e\":[]}\n  ]\n}");
}
