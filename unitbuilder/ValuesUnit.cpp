// The synthetic unit of every value kind (see ValuesUnit.h).
#include "ValuesUnit.h"

#include <algorithm>
#include <span>
#include <tuple>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "UnitBuilder.h"

namespace unitbuilder {

namespace {


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
// reference; 28 ^Integer; 29 a procedural type; 30 TThing; 31 TSub; 32 IPing;
// 33 array[0..1] of Extended; 34 a record (A: Integer; W: a type number
// that resolves to nothing).
std::vector<uint8_t> ValuesUnitWith(const TNumbers& N) {
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
  B.Local(0x2C, "FPubl", 1, 16, 0x0A).Local(0x2C, "FOdd", 1, 20, 0x0C);
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
  B.TypeDefHead(0x4C, 0, 20).Byte(0).PackedUInt(19).PackedUInt(11);  // 33
  B.TypeDefHead(0x4D, 0, 8).Byte(0).Local(0x2C, "A", 1, 0).Local(0x2C, "W", 999, 4).Stop();  // 34
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
  RawConst(B, "Text1", 3, 1, LongStringLiteral("It's\r\n"));
  RawConst(B, "Empty", 3, 1, LongStringLiteral(""));
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
  RawConst(B, ".", 3, 1, LongStringLiteral("Hello, 'world'"));
  B.VarDecl("SLost", 3, 0, 0x40, 0x32);
  // Typed constants and the blocks their fixups lead to.
  B.VarDecl(".TFoo", 0, 0, 0, 0x26);
  for (auto [Name, Type] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"Outer", 20}, {"Short", 21}, {"Sig", 23}, {"Grid", 25}, {"Name", 3}, {"PName", 26}, {"PCount", 28},
           {"Cls", 27}, {"Nothing", 28}, {"Handler", 29}, {"Short2", 18}, {"Broken", 3},
           {"Specials", 33}, {"NoText", 3}, {"Mixed", 34}})
    B.VarDecl(Name, Type, 0, 0x40, 0x27);
  B.NoBodyProc("", 12).NoBodyProc("", 4);
  B.ProcStart("DoIt", 2).Stop();
  std::vector<uint8_t> D(132, 0xEE);  // 0xEE in the gaps: never decoded
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
  const std::vector<uint8_t> Lit = LongStringLiteral("abc");
  std::copy(Lit.begin(), Lit.end(), D.begin() + 82);
  Put(D, 82 + 12, {'h', 'i', 0, 0});
  Put(D, 98, {0xC3, 0x90});
  const std::vector<uint8_t> NaN = Extended(0xC000000000000000u, 0x7FFF), NegInf = Extended(0x8000000000000000u, 0xFFFF);
  std::copy(NaN.begin(), NaN.end(), D.begin() + 100);
  std::copy(NegInf.begin(), NegInf.end(), D.begin() + 110);
  Put(D, 120, {0, 0, 0, 0});
  Put(D, 124, {5, 0, 0, 0, 1, 2, 3, 4});
  B.Byte(0x6C).PackedUInt(static_cast<uint32_t>(D.size())).Raw(D);
  // Block starts (kind 6 in version 7) and addresses (kind 1), by offset.
  const std::vector<std::tuple<uint32_t, uint8_t, std::string>> F = {
      {0, 6, "Outer"},    {32, 6, "Short"},   {38, 6, "Sig"},     {42, 6, "Grid"},   {50, 6, "Name"},
      {50, 1, "#1"},      {54, 6, "PName"},   {54, 1, "#2"},      {58, 6, "PCount"}, {58, 1, "Outer"},
      {62, 6, "Cls"},     {62, 1, ".TFoo"},   {66, 6, "Nothing"}, {70, 6, "Handler"}, {70, 1, "DoIt"},
      {74, 6, "Short2"},  {78, 6, "Broken"},  {78, 1, "#1"},      {82, 6, "#1"},     {94, 6, "#2"},
      {98, 6, "DoIt"},    {100, 6, "Specials"}, {120, 6, "NoText"}, {124, 6, "Mixed"}, {132, 6, ""}};
  std::vector<unitbuilder::FixupEntry> E;
  uint32_t At = 0;
  for (const auto& [Ofs, Kind, Decl] : F) {
    E.push_back({Ofs - At, Kind, No(Decl)});
    At = Ofs;
  }
  B.Fixups(E).Stop();
  return B.Finish();
}

}  // namespace

const TNumbers& ValuesUnitNumbers() {
  static const TNumbers Numbers = DeclNumbersOf(ValuesUnitWith({}), "Vals.dcu");
  return Numbers;
}

std::vector<uint8_t> ValuesUnit() { return ValuesUnitWith(ValuesUnitNumbers()); }

TNumbers DeclNumbersOf(const std::vector<uint8_t>& Draft, const std::string& FileName) {
  TNumbers N;
  const TUnit U(FileName, std::span<const uint8_t>(Draft));
  int Anon = 0;
  for (size_t I = 0; I < U.DeclTable.size(); ++I)
    if (auto* D = RecCast<TNameDecl>(U.DeclTable[I])) {
      std::string Name = NameText(D->GetName());
      if (Name.empty() && RecCast<TProcDecl>(D)) Name = "#" + std::to_string(++Anon);
      N.emplace(Name, static_cast<uint32_t>(I + 1));
    }
  return N;
}

}  // namespace unitbuilder
