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
#include "UnitBuilder.h"

using unitbuilder::UnitBuilder;

namespace {

// Declaration numbers by name (from a first load of the same bytes); the
// nameless routines in file order under "#1", "#2", ...
using TNumbers = std::map<std::string, uint32_t>;

void Bound(UnitBuilder& B, int64_t V) {
  if (V >= INT32_MIN && V <= INT32_MAX)
    B.PackedInt(static_cast<int32_t>(V));
  else
    B.Packed9(static_cast<uint32_t>(V), static_cast<uint32_t>(static_cast<uint64_t>(V) >> 32));
}

// A range type definition of tag Tag, Size bytes, bounds Lo..Hi.
void Range(UnitBuilder& B, uint8_t Tag, int32_t Size, int64_t Lo, int64_t Hi) {
  B.TypeDefHead(Tag, 0, Size).PackedUInt(0);
  Bound(B, Lo);
  Bound(B, Hi);
  B.Byte(0);
}

// An untyped constant stored as bytes (auxiliary number Aux).
void RawConst(UnitBuilder& B, std::string_view Name, uint32_t Type, uint32_t Aux, const std::vector<uint8_t>& Bytes) {
  B.FHead(0x25, Name).PackedUInt(Type).PackedUInt(Aux).PackedUInt(static_cast<uint32_t>(Bytes.size())).Raw(Bytes);
}

// An ordinal constant of 64 bits.
void Const64(UnitBuilder& B, std::string_view Name, uint32_t Type, uint64_t V) {
  B.FHead(0x25, Name).PackedUInt(Type).PackedUInt(0).PackedUInt(0);
  B.Packed9(static_cast<uint32_t>(V), static_cast<uint32_t>(V >> 32));
}

std::vector<uint8_t> LongString(std::string_view S) {
  std::vector<uint8_t> B = {0xFF, 0xFF, 0xFF, 0xFF};
  for (int I = 0; I < 4; ++I) B.push_back(static_cast<uint8_t>(S.size() >> (8 * I)));
  B.insert(B.end(), S.begin(), S.end());
  B.push_back(0);
  return B;
}

std::vector<uint8_t> Extended(uint64_t Mantissa, uint16_t SignExp) {
  std::vector<uint8_t> B;
  for (int I = 0; I < 8; ++I) B.push_back(static_cast<uint8_t>(Mantissa >> (8 * I)));
  B.push_back(static_cast<uint8_t>(SignExp));
  B.push_back(static_cast<uint8_t>(SignExp >> 8));
  return B;
}

void Put(std::vector<uint8_t>& D, size_t At, std::initializer_list<uint8_t> Bytes) {
  for (uint8_t B : Bytes) D[At++] = B;
}

// Types: 1 Integer, 2 Cardinal, 3 AnsiString, 4 Int64, 5 Word (imported);
// 6 TKind = (ckA, ckB, ckC, ckD); 7 a character range; 8 0..4294967295;
// 9 0..$FFFFFFFFFFFFFFFF; 10 the Int64 range; 11 Extended; 12 Currency;
// 13 set of TKind; 14 Boolean; 15 Single; 16 set of characters; 17 TInner
// (X: Word @0; K: TKind @2); 18 TOuter (B: Boolean @0; I: Integer @4; In:
// TInner @8; S: Single @12), its gaps after B and none else; 19 0..1;
// 20 array[0..1] of TOuter; 21 string[5]; 22 0..3; 23 array[0..3] of char;
// 24 array[0..1] of Word; 25 array[0..1] of 24; 26 PChar; 27 a class
// reference; 28 ^Integer; 29 a procedural type; 30 TThing; 31 TSub; 32 IPing.
std::vector<uint8_t> ValuesUnit(const TNumbers& N) {
  auto No = [&](const std::string& K) {
    auto It = N.find(K);
    return It == N.end() ? 0u : It->second;
  };
  UnitBuilder B(7);
  B.Header().SourceFile("Vals.pas");
  B.Uses(0x64, "System").ImpType("Integer").ImpType("Cardinal").ImpType("AnsiString").ImpType("Int64").ImpType("Word");
  B.EndEntry();
  B.EnumDef(0, 3);  // 6
  B.ConstDecl("ckA", 6, 0).ConstDecl("ckB", 6, 1).ConstDecl("ckC", 6, 2).ConstDecl("ckD", 6, 3).TypeDecl("TKind", 6);
  Range(B, 0x42, 1, 0, 255);                            // 7
  Range(B, 0x44, 4, 0, 4294967295LL);                   // 8
  Range(B, 0x44, 8, 0, -1);                             // 9
  Range(B, 0x44, 8, INT64_MIN, INT64_MAX);              // 10
  B.TypeDefHead(0x49, 0, 10).Byte(3);                   // 11
  B.TypeDefHead(0x49, 0, 8).Byte(5);                    // 12
  B.TypeDefHead(0x4A, 0, 1).Byte(0).PackedUInt(6);      // 13
  Range(B, 0x41, 1, 0, 1);                              // 14
  B.TypeDefHead(0x49, 0, 4).Byte(1);                    // 15
  B.TypeDefHead(0x4A, 0, 32).Byte(0).PackedUInt(7);     // 16
  B.TypeDefHead(0x4D, 0, 4).Byte(0).Local(0x2C, "X", 5, 0).Local(0x2C, "K", 6, 2).Stop();  // 17
  B.TypeDefHead(0x4D, 0, 16).Byte(0).Local(0x2C, "B", 14, 0).Local(0x2C, "I", 1, 4);
  B.Local(0x2C, "In", 17, 8).Local(0x2C, "S", 15, 12).Stop();  // 18
  Range(B, 0x44, 1, 0, 1);                                    // 19
  B.TypeDefHead(0x4C, 0, 32).Byte(0).PackedUInt(19).PackedUInt(18);  // 20
  B.TypeDefHead(0x4B, 0, 6).Byte(0).PackedUInt(0).PackedUInt(7);   // 21
  Range(B, 0x44, 1, 0, 3);                                         // 22
  B.TypeDefHead(0x4C, 0, 4).Byte(0).PackedUInt(22).PackedUInt(7);  // 23
  B.TypeDefHead(0x4C, 0, 4).Byte(0).PackedUInt(19).PackedUInt(5);  // 24
  B.TypeDefHead(0x4C, 0, 8).Byte(0).PackedUInt(19).PackedUInt(24);  // 25
  B.TypeDefHead(0x45, 0, 4).PackedUInt(7);                          // 26
  B.TypeDefHead(0x47, 0, 4).PackedUInt(0).PackedUInt(0);            // 27
  B.TypeDefHead(0x45, 0, 4).PackedUInt(1);                          // 28
  B.TypeDefHead(0x48, 0, 4).PackedUInt(0).PackedUInt(0).Byte(0x63);  // 29
  // TThing (30): fields of every section, methods, properties.
  B.TypeDefHead(0x46, 0, 8).PackedUInt(0).PackedUInt(0).PackedInt(8).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.PackedUInt(0).Byte(0).PackedInt(0);
  B.Local(0x2C, "FPriv", 1, 4, 0x00).Local(0x2C, "FProt", 1, 8, 0x04).Local(0x2C, "FPub", 1, 12, 0x02);
  B.Local(0x2C, "FPubl", 1, 16, 0x0A);
  auto Method = [&](std::string_view Name, uint32_t Flags, uint32_t Slot, const std::string& Proc) {
    B.Byte(0x2D).Name(Name).PackedUInt(Flags).PackedUInt(Slot).PackedUInt(No(Proc)).PackedUInt(0);
  };
  Method("Run", 0x44, 3, "TThing.Run");
  Method("Make", 0x03, 119, "TThing.Make");
  Method("Paint", 0xA4, 111, "TThing.Paint");
  Method("WMSize", 0xC0, 0x1FB00B, "TThing.WMSize");
  Method("Show", 0x02, 119, "TThing.Show");
  Method("Added", 0x244, 4, "TThing.Added");
  auto Prop = [&](std::string_view Name, int32_t Flags, uint32_t Type, int32_t Default) {
    B.Byte(0x30).Name(Name).PackedInt(Flags).PackedUInt(Type).PackedInt(-1).PackedInt(INT32_MIN);
    B.PackedUInt(No("FPubl")).PackedUInt(0).PackedUInt(0).PackedInt(Default);
  };
  Prop("Kind", 0x0A, 6, 2);
  Prop("Kinds", 0x0A, 13, 0x05);
  Prop("Flag", 0x0A, 14, 1);
  Prop("Items", 0x22, 1, INT32_MIN);
  B.Stop().TypeDecl("TThing", 30);
  // TSub (31) = class(TThing): Kind and Flag taken over.
  B.TypeDefHead(0x46, 0, 8).PackedUInt(30).PackedUInt(0).PackedInt(8).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.PackedUInt(0).Byte(0).PackedInt(0);
  Prop("Kind", 0x0A, 0, 3);
  Prop("Flag", 0x0A, 0, INT32_MIN);
  B.Stop().TypeDecl("TSub", 31);
  // IPing (32): an interface method carries the virtual bit and no directive.
  B.TypeDefHead(0x54).PackedUInt(0).PackedInt(0).Fill(16).Byte(0);
  B.Byte(0x2D).Name("Ping").PackedUInt(0x42).PackedUInt(3).PackedUInt(0).PackedUInt(0).Stop().TypeDecl("IPing", 32);
  // The routines that implement the methods: flag words as the compiler
  // writes them (unsigned forms, which the reader takes as signed).
  auto Routine = [&](std::string_view Name, std::initializer_list<uint8_t> FlagWord) {
    B.FHead(0x28, Name, 0x40).PackedUInt(0).PackedUInt(0).Raw(FlagWord).PackedUInt(0).Stop();
  };
  Routine("TThing.Run", {0x88});          // 0x44: abstract
  Routine("TThing.Make", {0x15, 0x40});   // 0x1005: overload, class method
  Routine("TThing.Paint", {0x08});        // 0x04
  Routine("TThing.WMSize", {0x08});
  Routine("TThing.Show", {0x08});
  Routine("TThing.Added", {0x08});
  // Untyped constants.
  Const64(B, "MinI64", 10, 0x8000000000000000u);
  Const64(B, "BigI64", 4, 0x7FFFFFFFFFFFFFFFu);
  B.ConstDecl("AllBits32", 8, -1).ConstDecl("GapDrop", 8, -1073741824).ConstDecl("CardMax", 2, -1);
  B.ConstDecl("IntMinus", 1, -1);
  Const64(B, "AllBits64", 9, 0xFFFFFFFFFFFFFFFFu);
  B.ConstDecl("Quote", 7, 39).ConstDecl("LetterA", 7, 65).ConstDecl("CR", 7, 13).ConstDecl("EAcute", 7, 0xE9);
  B.ConstDecl("Undef81", 7, 0x81).ConstDecl("Yes", 14, 1).ConstDecl("KindC", 6, 2);
  RawConst(B, "Text1", 3, 1, LongString("It's\r\n"));
  RawConst(B, "Empty", 3, 1, LongString(""));
  RawConst(B, "NaNX", 11, 3, Extended(0xC000000000000000u, 0x7FFF));
  RawConst(B, "InfX", 11, 3, Extended(0x8000000000000000u, 0x7FFF));
  RawConst(B, "NegInfX", 11, 3, Extended(0x8000000000000000u, 0xFFFF));
  RawConst(B, "Tenth", 11, 3, Extended(0xCCCCCCCCCCCCCCCDu, 0x3FFB));
  RawConst(B, "Ver", 12, 3, Extended(0x8AAC000000000000u, 0x4010));
  RawConst(B, "Kinds", 13, 4, {0x0D});
  RawConst(B, "AllKinds", 13, 4, {0x0F});
  std::vector<uint8_t> Digits(32, 0);
  Digits[6] = 0xFF;
  Digits[7] = 0x03;  // '0'..'9'
  Digits[8] = 0x02;  // 'A'
  RawConst(B, "Digits", 16, 4, Digits);
  RawConst(B, "Odd", 3, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0x40, 0, 0, 0, 'x', 0});  // a length past the bytes
  // Resource strings: with their text, and one whose text is missing.
  B.VarDecl("SHello", 3, 0, 0x40, 0x32);
  RawConst(B, ".", 3, 1, LongString("Hello, 'world'"));
  B.VarDecl("SLost", 3, 0, 0x40, 0x32);
  // Typed constants and the blocks their fixups lead to.
  B.VarDecl(".TFoo", 0, 0, 0, 0x26);
  for (auto [Name, Type] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"Outer", 20}, {"Short", 21}, {"Sig", 23}, {"Grid", 25}, {"Name", 3}, {"PName", 26}, {"PCount", 28},
           {"Cls", 27}, {"Nothing", 28}, {"Handler", 29}, {"Short2", 18}, {"Broken", 3}})
    B.VarDecl(Name, Type, 0, 0x40, 0x27);
  B.NoBodyProc("", 12).NoBodyProc("", 4);
  B.ProcStart("DoIt", 2).Stop();
  std::vector<uint8_t> D(100, 0xEE);  // 0xEE in the gaps: never decoded
  // Outer: two TOuter: (True, -2, (X: 7, K: ckB), 1.5) and (False, 300, (X: 65535, K: ckD), -0.25).
  Put(D, 0, {1, 0xEE, 0xEE, 0xEE, 0xFE, 0xFF, 0xFF, 0xFF, 7, 0, 1, 0xEE, 0, 0, 0xC0, 0x3F});
  Put(D, 16, {0, 0xEE, 0xEE, 0xEE, 0x2C, 1, 0, 0, 0xFF, 0xFF, 3, 0xEE, 0, 0, 0x80, 0xBE});
  Put(D, 32, {3, 'a', 'b', 'c', 0xEE, 0xEE});
  Put(D, 38, {'T', 'P', 'F', '0'});
  Put(D, 42, {1, 0, 2, 0, 3, 0, 4, 0});
  Put(D, 50, {8, 0, 0, 0});
  Put(D, 54, {0, 0, 0, 0});
  Put(D, 58, {0, 0, 0, 0});
  Put(D, 62, {0x4C, 0, 0, 0});
  Put(D, 66, {0, 0, 0, 0});
  Put(D, 70, {0, 0, 0, 0});
  Put(D, 78, {0, 0xFF, 0xFF, 0x7F});
  const std::vector<uint8_t> Lit = LongString("abc");
  std::copy(Lit.begin(), Lit.end(), D.begin() + 82);
  Put(D, 82 + 12, {'h', 'i', 0, 0});
  Put(D, 98, {0xC3, 0x90});
  B.Byte(0x6C).PackedUInt(static_cast<uint32_t>(D.size())).Raw(D);
  // Block starts (kind 6 in version 7) and addresses (kind 1), by offset.
  const std::vector<std::tuple<uint32_t, uint8_t, std::string>> F = {
      {0, 6, "Outer"},    {32, 6, "Short"},   {38, 6, "Sig"},     {42, 6, "Grid"},   {50, 6, "Name"},
      {50, 1, "#1"},      {54, 6, "PName"},   {54, 1, "#2"},      {58, 6, "PCount"}, {58, 1, "Outer"},
      {62, 6, "Cls"},     {62, 1, ".TFoo"},   {66, 6, "Nothing"}, {70, 6, "Handler"}, {70, 1, "DoIt"},
      {74, 6, "Short2"},  {78, 6, "Broken"},  {78, 1, "#1"},      {82, 6, "#1"},     {94, 6, "#2"},
      {98, 6, "DoIt"},    {100, 6, ""}};
  std::vector<unitbuilder::FixupEntry> E;
  uint32_t At = 0;
  for (const auto& [Ofs, Kind, Decl] : F) {
    E.push_back({Ofs - At, Kind, No(Decl)});
    At = Ofs;
  }
  B.Fixups(E).Stop();
  return B.Finish();
}

class TValues : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::vector<uint8_t> Draft = ValuesUnit({});
    {
      TUnit U("Vals.dcu", std::span<const uint8_t>(Draft));
      int Anon = 0;
      for (size_t I = 0; I < U.DeclTable.size(); ++I)
        if (auto* D = RecCast<TNameDecl>(U.DeclTable[I])) {
          std::string Name = NameText(D->GetName());
          if (Name.empty() && RecCast<TProcDecl>(D)) Name = "#" + std::to_string(++Anon);
          Numbers.emplace(Name, static_cast<uint32_t>(I + 1));
        }
    }
    Bytes = ValuesUnit(Numbers);
  }
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

  static inline TNumbers Numbers;
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
