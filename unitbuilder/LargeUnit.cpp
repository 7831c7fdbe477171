// The large synthetic unit, written group by group while its facts are counted (see LargeUnit.h).
#include "LargeUnit.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "UnitBuilder.h"

namespace unitbuilder {

namespace {

// Bytes of the data block per group: the procedure's code, the typed
// constant's value and the private procedure's code, in this order.
constexpr uint32_t ProcCode = 200;
constexpr uint32_t TypedConstSize = 24;
constexpr uint32_t PrivCode = 96;
constexpr uint32_t GroupData = ProcCode + TypedConstSize + PrivCode;

struct BlockKinds {
  uint8_t A, B;
};

// The two fixup kinds that open a declaration's block, by version.
BlockKinds BlockKindsOf(int V) {
  if (V == 2) return {3, 4};
  if (V == 7 || V >= 103) return {6, 7};
  return {5, 6};
}

// A name suffix that differs for every group and does not follow the file
// order, so the name index sees names in a scattered order.
std::string Suffix(uint32_t I) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%08X", static_cast<unsigned>(I * 0x9E3779B1u));
  return Buf;
}

// Declaration numbers of one group that the tables refer to.
struct GroupNumbers {
  uint32_t Var = 0, TypedConst = 0, Proc = 0, ParamA = 0, ParamB = 0, Local = 0, Priv = 0;
};

}  // namespace

std::vector<uint8_t> LargeUnit(uint32_t Groups, int Version, LargeUnitFacts* Facts) {
  if (Groups > LargeUnitMaxGroups) throw std::invalid_argument("too many groups for one data block");
  const int V = Version;
  const BlockKinds Kinds = BlockKindsOf(V);
  UnitBuilder B(V);
  uint32_t Decl = 0;   // declaration numbers given out
  uint32_t Types = 0;  // type numbers given out
  LargeUnitFacts F;
  F.Groups = Groups;

  B.Header();
  if (V >= 7 && V < 100) ++Decl;  // the header's empty entry
  B.SourceFile("LargeUnit.pas");
  B.SourceFile("LargeUnit.inc");
  B.Uses(0x64, "System").ImpType("Integer").ImpType("string").EndEntry();
  B.Uses(0x64, "SysUtils").ImpAddr("Format").EndEntry();
  B.Uses(0x65, "Windows").EndEntry();
  B.Uses(0x68, "kernel32.dll").ImpAddr("GetTickCount").EndEntry();
  Decl += 3 + 2 + 1 + 2;
  Types += 2;
  const uint32_t IntType = 1;

  std::vector<GroupNumbers> Nums(Groups);
  for (uint32_t G = 0; G < Groups; ++G) {
    const std::string S = Suffix(G);
    GroupNumbers& N = Nums[G];
    const uint32_t RecType = ++Types;
    const uint32_t EnumType = ++Types;
    const uint32_t RangeType = ++Types;
    const uint32_t ClassType = ++Types;

    // A record of three fields and its type declaration.
    B.TypeDefHead(0x4D, 0, 12).Byte(0);
    B.Local(0x2C, "FirstField", IntType, 0)
        .Local(0x2C, "SecondField", RangeType, 4)
        .Local(0x2C, "ThirdField", IntType, 8)
        .Stop();
    Decl += 3;
    B.TypeDecl("TRecord_" + S, RecType);
    ++Decl;

    // An enumeration 0..2 and its constants, which fold into it.
    B.EnumDef(0, 2, IntType);
    for (int K = 0; K < 3; ++K) B.ConstDecl("ekItem" + std::to_string(K) + "_" + S, EnumType, K);
    B.TypeDecl("TEnumKind_" + S, EnumType);
    Decl += 4;

    // An integer range and its type declaration.
    B.RangeDef(0, 1000, 0x44, IntType);
    B.TypeDecl("TSmallRange_" + S, RangeType);
    ++Decl;

    // A variable and a typed constant.
    B.VarDecl("GlobalCounter_" + S, RangeType, G * 4);
    N.Var = ++Decl;
    B.VarDecl("DefaultRecord_" + S, RecType, 0, 0x40, 0x27);
    N.TypedConst = ++Decl;

    // An embedded list handed to the procedure that follows it; the
    // procedure has two parameters and a local variable.
    B.Tag(0x6A).VarDecl("EmbeddedVar_" + S, IntType).Tag(0x6B);
    ++Decl;
    B.ProcStart("ProcessRecord_" + S, ProcCode);
    N.Proc = ++Decl;
    B.Local(0x21, "Value", RangeType, 8).Local(0x22, "Target", RecType, 12).Local(0x20, "Index", IntType, -4);
    B.Stop();
    N.ParamA = ++Decl;
    N.ParamB = ++Decl;
    N.Local = ++Decl;

    // A class with a field, a method and a property.
    B.TypeDefHead(0x46, 0, 4);
    B.PackedUInt(0).PackedUInt(0).PackedInt(16).PackedUInt(0);  // parent, instance head
    B.PackedUInt(0).PackedUInt(0).PackedUInt(0).Byte(0);         // Ndx2, NdxFE, NDX00a, B04
    if (V > 2) B.PackedInt(0);                                    // interface count
    B.Local(0x2C, "FValue", RangeType, 4);
    B.Byte(0x2D).Name("UpdateValue").PackedUInt(0).PackedUInt(0).PackedUInt(0);
    if (V >= 7 && V < 100) B.PackedUInt(0);  // implementation handle
    B.Byte(0x30).Name("Value").PackedInt(0).PackedUInt(RangeType).PackedInt(0).PackedInt(0);
    B.PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedInt(0);
    B.Stop();
    Decl += 3;
    B.TypeDecl("TValueHolder_" + S, ClassType);
    ++Decl;

    // A procedure of the implementation part (not in the name index).
    B.Proc("InternalHelper_" + S, PrivCode, 0);
    N.Priv = ++Decl;
  }

  // The data block, then the tables that refer into it.
  const uint32_t DataSize = Groups * GroupData;
  B.DataBlock(DataSize, 0xC3);
  std::vector<FixupEntry> Fix;
  Fix.reserve(Groups * 6 + 1);
  uint32_t Last = 0;
  auto Add = [&](uint32_t Ofs, uint8_t Kind, uint32_t D) {
    Fix.push_back(FixupEntry{Ofs - Last, Kind, D});
    Last = Ofs;
  };
  for (uint32_t G = 0; G < Groups; ++G) {
    const GroupNumbers& N = Nums[G];
    const uint32_t Base = G * GroupData;
    Add(Base, Kinds.A, N.Proc);
    Add(Base + 8, 1, N.Var);
    Add(Base + 40, 2, N.TypedConst);
    Add(Base + 120, 1, N.Priv);
    Add(Base + ProcCode, Kinds.B, N.TypedConst);
    Add(Base + ProcCode + TypedConstSize, Kinds.A, N.Priv);
  }
  Add(DataSize, Kinds.A, 0);  // closes the last block
  B.Fixups(Fix);

  // Code lines: four in each procedure, two in each private one.
  const uint32_t CodeLines = Groups * 6;
  B.Tag(0x90).PackedUInt(CodeLines);
  Last = 0;
  for (uint32_t G = 0; G < Groups; ++G) {
    const uint32_t Base = G * GroupData;
    for (uint32_t Ofs : {Base, Base + 50, Base + 100, Base + 150, Base + ProcCode + TypedConstSize,
                         Base + ProcCode + TypedConstSize + 60}) {
      B.PackedInt(3).PackedUInt(Ofs - Last);
      Last = Ofs;
    }
  }
  B.Tag(0x91).PackedUInt(1).PackedUInt(1).PackedUInt(CodeLines * 3).PackedUInt(0);

  // Local variables: the procedure's entry, its code end, then its
  // parameters and local.
  const uint32_t LocalVars = Groups * 5;
  B.Tag(0x94).PackedUInt(LocalVars);
  for (uint32_t G = 0; G < Groups; ++G) {
    const GroupNumbers& N = Nums[G];
    B.PackedUInt(N.Proc).PackedUInt(0).PackedInt(0);
    B.PackedUInt(0).PackedUInt(ProcCode).PackedInt(0);
    B.PackedUInt(N.ParamA).PackedUInt(0).PackedInt(8);
    B.PackedUInt(N.ParamB).PackedUInt(0).PackedInt(12);
    B.PackedUInt(N.Local).PackedUInt(0).PackedInt(-4);
  }
  B.Stop();

  F.Declarations = Decl;
  F.TypeNumbers = Types;
  F.TopLevelDecls = Groups * 8;
  F.NameIndexEntries = Groups * 10;
  F.DataSize = DataSize;
  F.FixupCount = static_cast<uint32_t>(Fix.size());
  F.CodeLineCount = CodeLines;
  F.LocalVarCount = LocalVars;
  F.Procedures = Groups;
  F.TypedConsts = Groups;
  if (Facts) *Facts = F;
  return B.Finish();
}

}  // namespace unitbuilder
