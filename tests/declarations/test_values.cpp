// The value decoders on synthetic units: untyped constants by their type,
// typed constants from the data block (records with alignment gaps, arrays
// of records, several dimensions, strings through fixups, pointers, class
// references), resource strings, property defaults, member visibility and
// method directives, and the Pascal literal text; blocks too short and
// fixups that lead outside the data block decode as undecoded, and no
// single-byte change of the unit makes a decoder read outside it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <map>
#include <span>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclMemberFacts.h"
#include "DeclValues.h"
#include "TestData.h"
#include "ValuesUnit.h"

namespace {

class TValues : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Bytes = unitbuilder::ValuesUnit(); }
  void SetUp() override { U = std::make_unique<TUnit>("Vals.dcu", std::span<const uint8_t>(Bytes)); }

  template <class T>
  const T& Decl(std::string_view Name) const {
    for (TDCURec* R = U->Decls; R; R = R->Next)
      if (NameView(R->GetName()) == Name)
        if (auto* D = RecCast<T>(R)) return *D;
    ADD_FAILURE() << "no declaration " << Name;
    throw std::runtime_error("missing");
  }
  std::string Const(std::string_view Name) const { return PascalText(ConstValue(*U, Decl<TConstDecl>(Name))); }
  std::string Typed(std::string_view Name) const { return PascalText(TypedConstValue(*U, Decl<TVarCDecl>(Name))); }
  const TRecBaseDef* Class(std::string_view Name) const {
    return RecCast<TRecBaseDef>(U->GetTypeDef(Decl<TTypeDecl>(Name).TypeIndex));
  }
  const TNameDecl& Member(std::string_view Class, std::string_view Name) const {
    for (TDCURec* R = this->Class(Class)->Fields; R; R = R->Next)
      if (NameView(R->GetName()) == Name) return *static_cast<TNameDecl*>(R);
    ADD_FAILURE() << "no member " << Name;
    throw std::runtime_error("missing");
  }

  static inline std::vector<uint8_t> Bytes;
  std::unique_ptr<TUnit> U;
};

}  // namespace

TEST_F(TValues, OrdinalsBySignAndRangeOfTheirType) {
  EXPECT_EQ(Const("MinI64"), "-9223372036854775808");
  EXPECT_EQ(Const("BigI64"), "9223372036854775807");
  // Kept sign-extended in the file, shown in their type's range.
  EXPECT_EQ(Const("AllBits32"), "4294967295");
  EXPECT_EQ(Const("GapDrop"), "3221225472");
  EXPECT_EQ(Const("CardMax"), "4294967295");
  EXPECT_EQ(Const("IntMinus"), "-1");
  EXPECT_EQ(Const("AllBits64"), "18446744073709551615");
  const TValue V = ConstValue(*U, Decl<TConstDecl>("AllBits64"));
  EXPECT_TRUE(V.Unsigned);
  EXPECT_EQ(static_cast<uint64_t>(V.Int), UINT64_MAX);
}

TEST_F(TValues, CharactersBooleansAndEnumerationsByName) {
  EXPECT_EQ(Const("Quote"), "#39");
  EXPECT_EQ(Const("LetterA"), "'A'");
  EXPECT_EQ(Const("CR"), "#13");
  EXPECT_EQ(Const("EAcute"), "'\xC3\xA9'");
  EXPECT_EQ(Const("Undef81"), "#129");
  EXPECT_EQ(Const("Yes"), "True");
  const TValue K = ConstValue(*U, Decl<TConstDecl>("KindC"));
  EXPECT_EQ(K.Kind, TValueKind::Enum);
  EXPECT_EQ(K.Text, "ckC");
  EXPECT_EQ(K.Int, 2);
}

TEST_F(TValues, StringsFloatsAndSetsStoredAsBytes) {
  EXPECT_EQ(Const("Text1"), "'It''s'#13#10");
  EXPECT_EQ(Const("Empty"), "''");
  EXPECT_EQ(Const("NaNX"), "NaN");
  EXPECT_EQ(Const("InfX"), "Infinity");
  EXPECT_EQ(Const("NegInfX"), "NegInfinity");
  EXPECT_EQ(Const("Tenth"), "0.1");
  EXPECT_EQ(ConstValue(*U, Decl<TConstDecl>("Tenth")).Float, 0.1L);
  // A Currency constant is kept as its number of ten-thousandths.
  EXPECT_EQ(Const("Ver"), "14.2");
  EXPECT_EQ(Const("Kinds"), "[ckA, ckC, ckD]");
  EXPECT_EQ(Const("AllKinds"), "[ckA..ckD]");
  EXPECT_EQ(Const("Digits"), "['0'..'9', 'A']");
  // A length the bytes do not hold: the bytes as they are.
  const TValue Odd = ConstValue(*U, Decl<TConstDecl>("Odd"));
  EXPECT_EQ(Odd.Kind, TValueKind::Undecoded);
  EXPECT_EQ(Odd.Bytes.size(), 10u);
}

TEST_F(TValues, TypedConstantsByTheLayoutOfTheirType) {
  // Records field by field at their offsets (the gaps hold 0xEE), in an array.
  EXPECT_EQ(Typed("Outer"),
            "((B: True; I: -2; In: (X: 7; K: ckB); S: 1.5), (B: False; I: 300; In: (X: 65535; K: ckD); S: -0.25))");
  const TValue O = TypedConstValue(*U, Decl<TVarCDecl>("Outer"));
  ASSERT_EQ(O.Kind, TValueKind::Array);
  ASSERT_EQ(O.Items.size(), 2u);
  EXPECT_EQ(O.Items[1].Names, (std::vector<std::string>{"B", "I", "In", "S"}));
  EXPECT_EQ(Typed("Short"), "'abc'");
  EXPECT_EQ(Typed("Sig"), "'TPF0'");
  EXPECT_EQ(Typed("Grid"), "((1, 2), (3, 4))");
}

TEST_F(TValues, PointersStringsAndClassesThroughFixups) {
  EXPECT_EQ(Typed("Name"), "'abc'");
  EXPECT_EQ(Typed("PName"), "'hi'");
  EXPECT_EQ(Typed("PCount"), "@Outer");
  EXPECT_EQ(Typed("Cls"), "TFoo");
  EXPECT_EQ(Typed("Nothing"), "nil");
  EXPECT_EQ(Typed("Handler"), "@DoIt");
  const TValue H = TypedConstValue(*U, Decl<TVarCDecl>("Handler"));
  EXPECT_EQ(H.RefKind, TRefKind::Routine);
  EXPECT_EQ(TypedConstValue(*U, Decl<TVarCDecl>("Cls")).RefKind, TRefKind::Class);
}

TEST_F(TValues, ShortBlocksAndFixupsOutsideTheDataBlockStayUndecoded) {
  // A block of 4 bytes for a record of 16.
  const TValue S = TypedConstValue(*U, Decl<TVarCDecl>("Short2"));
  EXPECT_EQ(S.Kind, TValueKind::Undecoded);
  EXPECT_EQ(S.Bytes.size(), 4u);
  EXPECT_EQ(PascalText(S), "{4 bytes: EE EE EE EE}");
  // The literal block plus $7FFFFF00 lies far outside the data block.
  const TValue B = TypedConstValue(*U, Decl<TVarCDecl>("Broken"));
  EXPECT_EQ(B.Kind, TValueKind::Undecoded);
  EXPECT_EQ(B.Bytes.size(), 4u);
  // A resource string is no typed constant of its own; a record of the
  // run-time type data is not decoded.
  EXPECT_EQ(TypedConstValue(*U, Decl<TVarCDecl>(".TFoo")).Kind, TValueKind::Undecoded);
}

TEST_F(TValues, ResourceStringsTakeTheTextBesideThem) {
  EXPECT_EQ(PascalText(ResStringValue(*U, Decl<TResStrDef>("SHello"))), "'Hello, ''world'''");
  EXPECT_EQ(PascalText(TypedConstValue(*U, Decl<TVarCDecl>("SHello"))), "'Hello, ''world'''");
  EXPECT_EQ(ResStringValue(*U, Decl<TResStrDef>("SLost")).Kind, TValueKind::Undecoded);
}

TEST_F(TValues, VisibilityAndDirectivesOfMembers) {
  const TRecBaseDef* C = Class("TThing");
  auto Vis = [&](std::string_view Name) { return std::string(VisibilityName(MemberFacts(*U, Member("TThing", Name), C).Visibility)); };
  EXPECT_EQ(Vis("FPriv"), "private");
  EXPECT_EQ(Vis("FProt"), "protected");
  EXPECT_EQ(Vis("FPub"), "public");
  EXPECT_EQ(Vis("FPubl"), "published");
  EXPECT_EQ(MemberFacts(*U, Member("TThing", "FOdd"), C).Visibility, TVisibility::Unknown);
  auto Dirs = [&](std::string_view Name) {
    std::string S;
    for (const std::string& D : MemberFacts(*U, Member("TThing", Name), C).Directives()) S += (S.empty() ? "" : " ") + D;
    return S;
  };
  EXPECT_EQ(Dirs("Run"), "virtual abstract");
  EXPECT_EQ(Dirs("Make"), "overload");
  EXPECT_TRUE(MemberFacts(*U, Member("TThing", "Make"), C).ClassMethod);
  EXPECT_EQ(Dirs("Paint"), "override");
  EXPECT_EQ(MemberFacts(*U, Member("TThing", "Paint"), C).Binding, TBinding::Dynamic);
  EXPECT_EQ(Dirs("WMSize"), "message 45067");
  EXPECT_EQ(Dirs("Show"), "");
  EXPECT_EQ(Dirs("Added"), "virtual deprecated");
  EXPECT_EQ(MemberFacts(*U, Member("TThing", "Run"), C).Slot, 3);
  EXPECT_TRUE(MemberFacts(*U, Member("TThing", "Items"), C).DefaultProperty);
  // Interface members: no section, no directive.
  const TMemberFacts P = MemberFacts(*U, Member("IPing", "Ping"), Class("IPing"));
  EXPECT_EQ(P.Visibility, TVisibility::None);
  EXPECT_TRUE(P.Directives().empty());
}

TEST_F(TValues, PropertyDefaultsByThePropertysType) {
  auto Of = [&](std::string_view ClassName, std::string_view Name) -> std::string {
    const auto& P = static_cast<const TPropDecl&>(Member(ClassName, Name));
    auto D = PropDefaultValue(*U, P, this->Class(ClassName));
    return D ? PascalText(*D) : "none";
  };
  EXPECT_EQ(Of("TThing", "Kind"), "ckC");
  EXPECT_EQ(Of("TThing", "Kinds"), "[ckA, ckC]");
  EXPECT_EQ(Of("TThing", "Flag"), "True");
  EXPECT_EQ(Of("TThing", "Items"), "none");
  // Taken over from TThing: the type is its ancestor's.
  EXPECT_EQ(Of("TSub", "Kind"), "ckD");
  EXPECT_EQ(PropTypeNumber(*U, static_cast<const TPropDecl&>(Member("TSub", "Kind")), Class("TSub")), 6u);
  EXPECT_EQ(Of("TSub", "Flag"), "none");
}

TEST_F(TValues, NoSingleByteChangeMakesADecoderReadOutsideTheUnit) {
  // Under the sanitizers: every changed unit that still loads is decoded
  // whole.
  size_t Loaded = 0;
  for (size_t I = 0; I < Bytes.size(); ++I)
    for (uint8_t X : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80)}) {
      std::vector<uint8_t> B = Bytes;
      if (B[I] == X) continue;
      B[I] = X;
      std::unique_ptr<TUnit> V;
      try {
        V = std::make_unique<TUnit>("Vals.dcu", std::span<const uint8_t>(B));
      } catch (const EDCUReadError&) {
        continue;
      }
      ++Loaded;
      DecodeEveryValue(*V);
    }
  EXPECT_GT(Loaded, Bytes.size());
  EXPECT_GT(DecodeEveryValue(*U), 50u);
}

TEST(ValueText, PascalLiterals) {
  EXPECT_EQ(PascalString(""), "''");
  EXPECT_EQ(PascalString("'"), "''''");
  EXPECT_EQ(PascalString("\r\n"), "#13#10");
  EXPECT_EQ(PascalString("a\tb"), "'a'#9'b'");
  EXPECT_EQ(PascalString("\x80\x81\x7F"), "'\xE2\x82\xAC'#129#127");
  EXPECT_EQ(PascalWideString(u"\u20AC\u0416x"), "'\xE2\x82\xAC'#1046'x'");
  EXPECT_EQ(PascalChar('\''), "#39");
  EXPECT_EQ(PascalChar('A'), "'A'");
  EXPECT_EQ(PascalChar(0x416, true), "#1046");
  EXPECT_EQ(CurrencyText(-5000), "-0.5");
  EXPECT_EQ(CurrencyText(INT64_MIN), "-922337203685477.5808");
  EXPECT_EQ(CurrencyText(30000), "3.0");
}

TEST(ValueText, ShortestFloatsOfEachFormat) {
  auto Text = [](TFloatKind K, auto X) {
    uint8_t B[sizeof X];
    std::memcpy(B, &X, sizeof X);
    return FloatText(K, B, sizeof X);
  };
  EXPECT_EQ(Text(TFloatKind::Single, 0.1f), "0.1");
  EXPECT_EQ(Text(TFloatKind::Double, 0.1), "0.1");
  EXPECT_EQ(Text(TFloatKind::Double, 1e18), "1E18");
  EXPECT_EQ(Text(TFloatKind::Double, 86400000.0), "86400000.0");
  EXPECT_EQ(Text(TFloatKind::Double, -2.5e-7), "-2.5E-7");
  EXPECT_EQ(Text(TFloatKind::Single, std::numeric_limits<float>::infinity()), "Infinity");
  EXPECT_EQ(Text(TFloatKind::Double, -std::numeric_limits<double>::infinity()), "NegInfinity");
  EXPECT_EQ(Text(TFloatKind::Double, std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(Text(TFloatKind::Comp, int64_t{-7}), "-7.0");
  // Real48 1.5: exponent 129, fraction .5 (the top fraction bit).
  const uint8_t R48[6] = {129, 0, 0, 0, 0, 0x40};
  EXPECT_EQ(FloatText(TFloatKind::Real48, R48, 6), "1.5");
  // The shortest text that reads back to the same Extended: 14.01 needs
  // its digits; a value with the integer bit clear (an unnormal) still
  // reads as the number its bits stand for.
  const uint8_t E1401[10] = {0xF6, 0x28, 0x5C, 0x8F, 0xC2, 0xF5, 0x28, 0xE0, 0x02, 0x40};
  EXPECT_EQ(FloatText(TFloatKind::Extended, E1401, 10), "14.01");
  const uint8_t Unnormal[10] = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F};
  EXPECT_EQ(FloatText(TFloatKind::Extended, Unnormal, 10), "0.5");
  // A length that is not the format's gives no text.
  EXPECT_EQ(FloatText(TFloatKind::Single, E1401, 3), "");
}

TEST(CorpusValues, EveryValueAndMemberOfTheCorpusDecodesWithinItsUnit) {
  const std::filesystem::path Dir = testdata::CorpusDir();
  if (!std::filesystem::is_directory(Dir)) GTEST_SKIP() << "no folder " << Dir << "; skipped";
  size_t Values = 0, Whole = 0, Members = 0;
  for (const auto& F : std::filesystem::recursive_directory_iterator(Dir)) {
    if (F.path().extension() != ".dcu") continue;
    std::unique_ptr<TUnit> U;
    try {
      U = std::make_unique<TUnit>(F.path().string());
    } catch (const EDCUReadError&) {
      continue;  // the units of other formats
    }
    auto Count = [&](const TValue& V) {
      ++Values;
      Whole += !V.HasUndecoded();
      EXPECT_FALSE(PascalText(V).empty());
    };
    for (TDCURec* R = U->Decls; R; R = R->Next) {
      if (auto* C = RecCast<TConstDecl>(R)) Count(ConstValue(*U, *C));
      else if (auto* S = RecCast<TResStrDef>(R)) Count(ResStringValue(*U, *S));
      else if (auto* T = RecCast<TVarCDecl>(R); T && !RecCast<TTypePDecl>(R)) Count(TypedConstValue(*U, *T));
      else if (auto* T = RecCast<TTypeDecl>(R))
        if (auto* RB = RecCast<TRecBaseDef>(U->GetTypeDef(T->TypeIndex)))
          for (TDCURec* M = RB->Fields; M; M = M->Next) {
            if (auto* N = RecCast<TNameDecl>(M)) {
              ++Members;
              MemberFacts(*U, *N, RB).Directives();
            }
            if (auto* P = RecCast<TPropDecl>(M))
              if (auto D = PropDefaultValue(*U, *P, RB)) Count(*D);
          }
    }
  }
  std::cout << "[corpus values] " << Whole << " of " << Values << " values decoded whole, " << Members
            << " members\n";
  EXPECT_GE(100.0 * double(Whole) / double(std::max<size_t>(Values, 1)), 99.0);
}

TEST(ValueText, PackedIntegersReadWithoutTheScanner) {
  // The 1- to 5-byte forms, signed and unsigned; the 9-byte form with its
  // high word from version 4 on; nothing past the end.
  const uint8_t Bytes[] = {0xFE, 0x05, 0x80, 0x1F, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  const uint8_t* P = Bytes;
  int64_t V = 0;
  ASSERT_TRUE(ReadPackedAt(P, Bytes + 1, 7, true, V));
  EXPECT_EQ(V, -1);
  P = Bytes;
  ASSERT_TRUE(ReadPackedAt(P, Bytes + 1, 7, false, V));
  EXPECT_EQ(V, 127);
  P = Bytes + 1;
  ASSERT_TRUE(ReadPackedAt(P, Bytes + 3, 7, true, V));  // 05 80: two bytes
  EXPECT_EQ(V, static_cast<int16_t>(0x8005) >> 2);
  P = Bytes + 3;
  ASSERT_TRUE(ReadPackedAt(P, std::end(Bytes), 7, true, V));  // 1F ...: nine bytes in version 7
  EXPECT_EQ(V, static_cast<int64_t>(0x8877665544332211u));
  EXPECT_EQ(P, std::end(Bytes));
  P = Bytes + 3;
  ASSERT_TRUE(ReadPackedAt(P, std::end(Bytes), 3, true, V));  // five bytes in version 3
  EXPECT_EQ(V, 0x44332211);
  P = Bytes + 3;
  EXPECT_FALSE(ReadPackedAt(P, Bytes + 8, 7, true, V));
  EXPECT_EQ(P, Bytes + 3);
}
