// Units that use each other (see UsedUnitsUnits.h).
#include "UsedUnitsUnits.h"

#include <map>
#include <span>
#include <string>
#include <tuple>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "UnitBuilder.h"
#include "ValuesUnit.h"

namespace unitbuilder {

namespace {

using TDeclNumbers = std::map<std::string, uint32_t>;

// A class definition of no interfaces whose ancestor is type Parent; its
// members follow, then the stop tag.
void ClassHead(UnitBuilder& B, uint32_t Parent) {
  B.TypeDefHead(0x46, 0, 8).PackedUInt(Parent).PackedUInt(0).PackedInt(8).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.PackedUInt(0).Byte(0).PackedInt(0);
}

// A published property read from a field (none named), of type Type (0: one
// taken over from an ancestor), with its default.
void Property(UnitBuilder& B, std::string_view Name, uint32_t Type, int32_t Default) {
  B.Byte(0x30).Name(Name).PackedInt(0x0A).PackedUInt(Type).PackedInt(-1).PackedInt(INT32_MIN);
  B.PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedInt(Default);
}


void Put(std::vector<uint8_t>& D, size_t At, const std::vector<uint8_t>& Bytes) {
  for (uint8_t B : Bytes) D[At++] = B;
}

// Types: 1 Integer, 2 Boolean, 3 Single, 4 String (System); 5 TMode; 6 TModes;
// 7 TPair; 8 TBase; 9 TWide.
std::vector<uint8_t> LibWith(int Version, std::string_view Prefix) {
  UnitBuilder B(Version);
  B.Header().SourceFile("Lib.pas");
  B.Uses(0x64, "System").ImpType("Integer").ImpType("Boolean").ImpType("Single").ImpType("String").EndEntry();
  B.EnumDef(0, 2);  // 5
  const std::string P(Prefix);
  B.ConstDecl(P + "None", 5, 0).ConstDecl(P + "Fast", 5, 1).ConstDecl(P + "Safe", 5, 2).TypeDecl("TMode", 5);
  B.TypeDefHead(0x4A, 0, 1).Byte(0).PackedUInt(5).TypeDecl("TModes", 6);  // 6
  B.TypeDefHead(0x4D, 0, 8).Byte(0).Local(0x2C, "Value", 1, 0).Local(0x2C, "Name", 4, 4).Stop();  // 7
  B.TypeDecl("TPair", 7).TypeDecl("TReal", 3);
  ClassHead(B, 0);  // 8
  Property(B, "Mode", 5, 2);
  Property(B, "Flag", 2, 1);
  Property(B, "Modes", 6, 5);
  B.Stop().TypeDecl("TBase", 8).TypeDecl("TCount", 1);
  B.TypeDefHead(0x49, 0, 8).Byte(2).TypeDecl("TWide", 9);
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

// Types: 1 Integer (System); 2 TPair, 3 TMode, 4 TModes, 5 TReal, 6 TBase,
// 7 TCount, 8 TWide (Lib); 9 TMidMode, 10 TMidBase, 11 TMidRange (Mid);
// 12 0..1; 13 array[0..1] of TPair; 14 TDerived; 15 TDerived2.
std::vector<uint8_t> AppWith(const TDeclNumbers& N) {
  auto No = [&N](const std::string& K) {
    auto It = N.find(K);
    return It == N.end() ? 0u : It->second;
  };
  UnitBuilder B(7);
  B.Header().SourceFile("App.pas");
  B.Uses(0x64, "System").ImpType("Integer").EndEntry();
  B.Uses(0x64, "Lib").ImpType("TPair").ImpType("TMode").ImpType("TModes").ImpType("TReal").ImpTypeDef("TBase", 0);
  B.ImpType("TCount").ImpType("TWide").EndEntry();
  B.Uses(0x64, "Mid").ImpType("TMidMode").ImpTypeDef("TMidBase", 0).ImpType("TMidRange").EndEntry();
  B.RangeDef(0, 1, 0x44).TypeDefHead(0x4C, 0, 16).Byte(0).PackedUInt(12).PackedUInt(2);  // 12, 13
  ClassHead(B, 6);  // 14
  Property(B, "Mode", 0, 2);
  Property(B, "Flag", 0, 1);
  Property(B, "Modes", 0, 5);
  B.Stop().TypeDecl("TDerived", 14);
  ClassHead(B, 10);  // 15
  Property(B, "Mode", 0, 0);
  Property(B, "Flag", 0, 0);
  B.Stop().TypeDecl("TDerived2", 15);
  B.ConstDecl("DefaultMode", 3, 2);
  B.FHead(0x25, "AllModes").PackedUInt(4).PackedUInt(4).PackedUInt(1).Byte(0x07);
  for (auto [Name, Type] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"Pair", 2}, {"Pairs", 13}, {"FastMode", 3}, {"SomeModes", 4}, {"Real", 5}, {"MidMode", 9}, {"MidRange", 11},
           {"Count", 7}, {"Wide", 8}})
    B.VarDecl(Name, Type, 0, 0x40, 0x27);
  B.NoBodyProc("", 12).NoBodyProc("", 10);  // the literals 'abc' and 'x'
  std::vector<uint8_t> D(68, 0);
  Put(D, 0, {42, 0, 0, 0, 8, 0, 0, 0});
  Put(D, 8, {1, 0, 0, 0, 8, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
  Put(D, 24, {1, 0x06, 0, 0, 0xC0, 0x3F, 2});
  Put(D, 32, LongStringLiteral("abc"));
  Put(D, 44, LongStringLiteral("x"));
  Put(D, 54, {2});
  Put(D, 56, {0xF9, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xD0, 0x3F});
  B.DataBlockBytes(D);
  const std::vector<std::tuple<uint32_t, uint8_t, std::string>> F = {
      {0, 6, "Pair"},  {4, 1, "#1"},     {8, 6, "Pairs"},   {12, 1, "#2"}, {24, 6, "FastMode"},
      {25, 6, "SomeModes"}, {26, 6, "Real"}, {30, 6, "MidMode"}, {32, 6, "#1"}, {44, 6, "#2"}, {54, 6, "MidRange"},
      {56, 6, "Count"}, {60, 6, "Wide"}, {68, 6, ""}};
  std::vector<FixupAt> E;
  for (const auto& [Ofs, Kind, Decl] : F) E.push_back({Ofs, Kind, No(Decl)});
  B.FixupTable(E).Stop();
  return B.Finish();
}

// The declaration numbers of a first build, by name; the nameless routines
// in file order under "#1", "#2", ...
TDeclNumbers NumbersOf(const std::vector<uint8_t>& Draft) { return DeclNumbersOf(Draft, "App.dcu"); }

// Loop: the declaration number of the typed constant of that name.
std::vector<uint8_t> LoopWith(std::string_view Name, std::string_view Other, uint32_t Loop) {
  UnitBuilder B(7);
  B.Header().SourceFile(std::string(Name) + ".pas");
  B.Uses(0x64, Other).ImpType("TLoop").ImpTypeDef("TLoopClass", 0).EndEntry();  // 1, 2
  B.TypeDecl("TLoop", 1);
  ClassHead(B, 2);  // 3
  Property(B, "Mode", 0, 1);
  B.Stop().TypeDecl("TLoopClass", 3);
  B.VarDecl("Loop", 1, 0, 0x40, 0x27);
  B.DataBlockBytes({1, 2, 3, 4});
  B.FixupTable({{0, 6, Loop}, {4, 6, 0}}).Stop();
  return B.Finish();
}

}  // namespace

std::vector<uint8_t> LibUnit(int Version, std::string_view Prefix) { return LibWith(Version, Prefix); }

// Types: 1 TMode, 2 TBase (Lib); 3 mFast..mSafe; 4 TMidBase.
std::vector<uint8_t> MidUnit() {
  UnitBuilder B(7);
  B.Header().SourceFile("Mid.pas");
  B.Uses(0x64, "Lib").ImpType("TMode").ImpTypeDef("TBase", 0).EndEntry();
  B.TypeDecl("TMidMode", 1);
  B.TypeDefHead(0x44, 0, 1).PackedUInt(1).PackedInt(1).PackedInt(2).Byte(0).TypeDecl("TMidRange", 3);
  ClassHead(B, 2);  // 4
  Property(B, "Mode", 0, 1);
  B.Stop().TypeDecl("TMidBase", 4);
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

std::vector<uint8_t> LoopUnit(std::string_view Name, std::string_view Other) {
  return LoopWith(Name, Other, NumbersOf(LoopWith(Name, Other, 0)).at("Loop"));
}

std::vector<uint8_t> AppUnit() {
  // Built once, read and written again with the numbers the reader gave.
  static const TDeclNumbers Numbers = NumbersOf(AppWith({}));
  return AppWith(Numbers);
}

}  // namespace unitbuilder
