// The sample unit "Demo" of every format version, and a unit whose summary
// fails (see SampleUnits.h).
#include "SampleUnits.h"

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "DCU_Unit.h"
#include "DCURecs.h"
#include "UnitBuilder.h"

namespace unitbuilder {

const std::vector<int>& AllVersions() {
  static const std::vector<int> V = {2, 3, 4, 5, 6, 7, 100, 101, 103};
  return V;
}

uint32_t PackedStamp(int Y, int Mo, int D, int H, int Mi, int S) {
  return uint32_t(Y - 1980) << 25 | uint32_t(Mo) << 21 | uint32_t(D) << 16 | uint32_t(H) << 11 |
         uint32_t(Mi) << 5 | uint32_t(S / 2);
}

namespace {

// Numbers the demo's records refer to: declaration numbers for the fixups
// and the local-variable table, the type number of its range definition.
struct TDemoNumbers {
  uint32_t RangeType = 0;
  uint32_t Greeting = 0;
  uint32_t Main = 0;
  uint32_t Helper = 0;
  uint32_t LocalI = 0;
};

// Fixup kinds that hand out a piece of the data block, by version.
uint8_t BlockKind(int V) {
  if (V == 2) return 3;
  if (V == 7 || V >= 103) return 6;
  return 5;
}

std::vector<uint8_t> BuildDemo(int V, const TDemoNumbers& N) {
  const bool Epoch = V >= 100;
  const uint32_t Src = Epoch ? 1078482030u /* 2004-03-05 10:20:30 */ : PackedStamp(2004, 3, 5, 10, 20, 30);
  const uint32_t Res = Epoch ? 1078444800u /* 2004-03-05 */ : PackedStamp(2004, 3, 5, 0, 0, 0);
  const uint32_t Obj = Epoch ? 1075633200u /* 2004-02-01 11:00 */ : PackedStamp(2004, 2, 1, 11, 0, 0);
  UnitBuilder B(V);
  B.Header();
  B.SourceFile("Demo.pas", 0x70, Src);
  B.SourceFile("Demo.res", 0x72, Res);
  B.SourceFile("DemoAsm.obj", 0x71, Obj);
  B.Uses(0x64, "SysUtils").ImpAddr("Format").EndEntry();
  B.Uses(0x64, "Classes").ImpType("TComponent").EndEntry();
  B.Uses(0x65, "Windows").EndEntry();
  B.Uses(0x68, "kernel32.dll").ImpAddr("GetTickCount").EndEntry();

  // Declarations: a subrange type and its name, a constant, a variable, a
  // typed constant, and two procedures whose code fills the data block.
  B.RangeDef(1, 100);
  B.TypeDecl("TCount", N.RangeType);
  B.ConstDecl("MaxCount", N.RangeType, 100);
  B.VarDecl("Counter", N.RangeType, 0);
  B.VarDecl("Greeting", N.RangeType, 0, 0x40, 0x27);
  B.ProcStart("Main", 0x20).Local(0x21, "Count", N.RangeType, 8).Local(0x20, "I", N.RangeType, -4).Stop();
  B.ProcStart("Helper", 0x10, 0).Local(0x22, "Value", N.RangeType, 8).Stop();

  // The data block: typed constant at 0..0x10, Main at 0x10..0x30, Helper
  // after it (both procedures share the block handed to Main).
  B.DataBlock(0x40);
  const uint8_t K = BlockKind(V);
  // Offsets are deltas: 0x00, 0x08 (a plain reference to Main), 0x10, 0x40.
  B.Fixups({{0x00, K, N.Greeting}, {0x08, 1, N.Main}, {0x08, K, N.Main}, {0x30, K, 0}});
  // Four code lines of Main and two of Helper, in Demo.pas lines 10..19.
  B.Tag(0x90).PackedUInt(6);
  for (auto [Line, Ofs] : {std::pair{10, 0x10}, {1, 4}, {1, 8}, {2, 8}, {4, 0x08}, {1, 4}})
    B.PackedInt(Line).PackedUInt(uint32_t(Ofs));
  B.Tag(0x91).PackedUInt(1).PackedUInt(10).PackedUInt(10).PackedUInt(0);
  // Local variables of Main: the procedure's own entry, the one after it,
  // then the variable I in a register.
  B.Tag(0x94).PackedUInt(3);
  B.PackedUInt(N.Main).PackedUInt(0).PackedInt(0);
  B.PackedUInt(0).PackedUInt(0x20).PackedInt(0);
  B.PackedUInt(N.LocalI).PackedUInt(0x04).PackedInt(-4);
  B.Stop();
  return B.Finish();
}

template <class T>
uint32_t DeclNumber(const TUnit& U, std::string_view Name) {
  for (size_t I = 0; I < U.DeclTable.size(); ++I) {
    auto* D = RecCast<T>(U.DeclTable[I]);
    if (D && NameView(D->GetName()) == Name) return static_cast<uint32_t>(I + 1);
  }
  throw std::logic_error("demo unit: no declaration " + std::string(Name));
}

}  // namespace

std::vector<uint8_t> DemoUnit(int V) {
  // The numbers depend on the version (imports are numbered differently), so
  // the unit is written once with placeholders, read back, and written again
  // with the numbers the reader assigned. Placeholders change no numbering.
  std::vector<uint8_t> Draft = BuildDemo(V, TDemoNumbers{});
  TUnit U("Demo.dcu", std::span<const uint8_t>(Draft));
  TDemoNumbers N;
  for (size_t I = 0; I < U.TypeTable.size(); ++I)
    if (RecCast<TRangeDef>(U.TypeTable[I])) N.RangeType = static_cast<uint32_t>(I + 1);
  N.Greeting = DeclNumber<TVarCDecl>(U, "Greeting");
  N.Main = DeclNumber<TProcDecl>(U, "Main");
  N.Helper = DeclNumber<TProcDecl>(U, "Helper");
  N.LocalI = DeclNumber<TLocalDecl>(U, "I");
  std::vector<uint8_t> Bytes = BuildDemo(V, N);
  TUnit Check("Demo.dcu", std::span<const uint8_t>(Bytes));  // throws if the sample is not a valid unit
  return Bytes;
}

std::vector<uint8_t> BadStampUnit() {
  UnitBuilder B(7);
  B.Header().SourceFile("Bad.pas", 0x70, 1).DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

}  // namespace unitbuilder
