// The code listing on synthetic units with known code and fixups: names of
// fixup targets, labels, data among the code, routines and their roles, line
// markers with source lines, the versions whose code is shown as data, the
// text printer; and pieces of any bytes disassembled without reading outside
// them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CodeDisasm.h"
#include "CodeFixupKinds.h"
#include "CodeListing.h"
#include "CodeSource.h"
#include "CodeSourceCheck.h"
#include "CodeText.h"
#include "DCURecs.h"
#include "DCU_Unit.h"
#include "UnitBuilder.h"

using unitbuilder::FixupAt;
using unitbuilder::UnitBuilder;
namespace fs = std::filesystem;

namespace {

// Machine code with its fixups, written byte by byte.
struct TAsm {
  std::vector<uint8_t> Bytes;
  std::vector<FixupAt> Fixups;
  TAsm& B(std::initializer_list<uint8_t> Bs) {
    Bytes.insert(Bytes.end(), Bs);
    return *this;
  }
  // A 32-bit field holding Value, filled by a fixup of Kind naming Decl.
  TAsm& Fix(uint8_t Kind, uint32_t Decl, uint32_t Value = 0) {
    Fixups.push_back({static_cast<uint32_t>(Bytes.size()), Kind, Decl});
    for (int I = 0; I < 4; ++I) Bytes.push_back(static_cast<uint8_t>(Value >> (8 * I)));
    return *this;
  }
  uint32_t Size() const { return static_cast<uint32_t>(Bytes.size()); }
};

// The routines of the demonstration unit, in data-block order.
struct TRoutineSpec {
  std::string Name;
  TAsm Code;
};

// Declaration numbers of the demonstration unit: System and the names it
// imports, the variable, then the routines in file order (version 7 keeps
// number 1 empty).
struct TNumbers {
  explicit TNumbers(int V) : Base(V == 7 ? 1 : 0) {}
  uint32_t Base;
  uint32_t System() const { return Base + 1; }
  uint32_t LStrAsg() const { return Base + 2; }
  uint32_t HandleFinally() const { return Base + 3; }
  uint32_t HandleOnException() const { return Base + 4; }
  uint32_t ExceptionVmt() const { return Base + 5; }  // ".Exception": the class's table
  uint32_t Form1() const { return Base + 6; }
  // Routine K of the list below.
  uint32_t Routine(uint32_t K) const { return Base + 7 + K; }
};

uint8_t BlockKind(int V) { return V == 2 ? 3 : (V == 7 || V >= 103) ? 6 : 5; }
uint8_t EndKind(int V) { return BlockKind(V) + 1; }

// Routines: 0 Helper, 1 Main (sharing Helper's block), 2 TryFinally,
// 3 CaseOf, 4 OnExcept, 5 Texts, 6 Float, 7 Dead, 8 Inner (nested in 9),
// 9 Outer, 10 Finalization, 11 Demo (the initialization), 12 TwoTables.
std::vector<TRoutineSpec> Routines(int V) {
  const TNumbers N(V);
  std::vector<TRoutineSpec> R(13);
  R[0].Name = "Helper";
  R[0].Code.B({0x8B, 0xC2, 0xC3, 0x00});  // mov eax, edx; ret; one byte of alignment
  R[1].Name = "Main";
  R[1].Code.B({0x55, 0x8B, 0xEC})                       // 00 push ebp; mov ebp, esp
      .B({0xA1}).Fix(1, N.Form1())                      // 03 mov eax, [Form1]
      .B({0xBA}).Fix(1, N.Form1(), 4)                   // 08 mov edx, Form1+4
      .B({0xBA}).Fix(1, N.ExceptionVmt(), ClassRefOffset(V))  // 0D mov edx, System.Exception
      .B({0xE8}).Fix(2, N.Routine(0))                   // 12 call Helper
      .B({0xE8}).Fix(2, N.LStrAsg())                    // 17 call System.@LStrAsg
      .B({0xB8}).Fix(1, N.Routine(1), 0x34)             // 1C mov eax, @2 (the literal)
      .B({0x85, 0xC0, 0x74, 0x02, 0x33, 0xC0})          // 21 test; jz @1; xor eax, eax
      .B({0x5D, 0xC3})                                  // 27 @1: pop ebp; ret
      .B({0x00, 0x00, 0x00})                            // 29 alignment
      .B({0xFF, 0xFF, 0xFF, 0xFF, 0x05, 0, 0, 0})       // 2C reference count -1, length 5
      .B({'H', 'e', 'l', 'l', 'o', 0, 0, 0});           // 34 'Hello', 0; alignment
  R[2].Name = "TryFinally";
  R[2].Code.B({0x33, 0xC0, 0x55})                       // 00 xor eax, eax; push ebp
      .B({0x68}).Fix(1, N.Routine(2), 0x1D)             // 03 push @2 (the handler)
      .B({0x64, 0xFF, 0x30, 0x64, 0x89, 0x20})          // 08 push fs:[eax]; mov fs:[eax], esp
      .B({0x33, 0xC0, 0x5A, 0x59, 0x59, 0x64, 0x89, 0x10})  // 0E leave the block
      .B({0x68}).Fix(1, N.Routine(2), 0x24)             // 16 push @3
      .B({0x90, 0xC3})                                  // 1B @1: the finally part; ret
      .B({0xE9}).Fix(2, N.HandleFinally())              // 1D @2: jmp System.@HandleFinally
      .B({0xEB, 0xF7})                                  // 22 jmp @1
      .B({0x5D, 0xC3});                                 // 24 @3: pop ebp; ret
  R[3].Name = "CaseOf";
  R[3].Code.B({0x83, 0xF8, 0x01, 0x77, 0x14})           // 00 cmp eax, 1; jnbe @4
      .B({0xFF, 0x24, 0x85}).Fix(1, N.Routine(3), 0x0C) // 05 jmp [eax*4+@1]
      .Fix(1, N.Routine(3), 0x14).Fix(1, N.Routine(3), 0x17)  // 0C @1: the table
      .B({0xB0, 0x01, 0xC3})                            // 14 @2: mov al, 1; ret
      .B({0xB0, 0x02})                                  // 17 @3: mov al, 2
      .B({0xC3});                                       // 19 @4: ret
  R[4].Name = "OnExcept";
  R[4].Code.B({0xE9}).Fix(2, N.HandleOnException())     // 00 jmp System.@HandleOnException
      .B({0x01, 0, 0, 0})                               // 05 one handler
      .Fix(1, N.ExceptionVmt())                         // 09 for Exception
      .Fix(1, N.Routine(4), 0x11)                       // 0D at @1
      .B({0xC3});                                       // 11 @1: ret
  R[5].Name = "Texts";
  R[5].Code.B({0xB8}).Fix(1, N.Routine(5), 0x10)        // 00 mov eax, @1 (a wide literal)
      .B({0x68}).Fix(1, N.Routine(5), 0x16)             // 05 push @2 (a zero-terminated one)
      .B({0xC3, 0x00})                                  // 0A ret; alignment
      .B({0x04, 0, 0, 0, 'H', 0, 'i', 0, 0, 0})         // 0C byte length 4, 'Hi', 0
      .B({'O', 'k', '!', 0, 0, 0});                     // 16 'Ok!', 0; alignment
  R[6].Name = "Float";
  R[6].Code.B({0xDD, 0x05}).Fix(1, N.Routine(6), 0x08)  // 00 fld qword ptr [@1]
      .B({0xC3, 0x00})                                  // 06 ret; alignment
      .B({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});               // 08 @1: 1.0
  R[7].Name = "Dead";
  R[7].Code.B({0xEB, 0x03, 0x33, 0xC0, 0x40, 0xC3})     // jmp @1; xor eax, eax; inc eax; @1: ret
      .B({'A', 'B', 'C', 'D', 0})                       // text nothing refers to
      .Fix(1, N.Form1());                               // a cell no instruction covers
  R[8].Name = "Inner";
  R[8].Code.B({0xE8}).Fix(2, N.Routine(9)).B({0xC3});   // call Outer; ret
  R[9].Name = "Outer";
  R[9].Code.B({0xE8}).Fix(2, N.Routine(8)).B({0xC3});   // call Inner; ret
  R[10].Name = "Finalization";
  R[10].Code.B({0xC3});
  R[11].Name = "Demo";
  R[11].Code.B({0xE8}).Fix(2, N.Routine(11), 0).B({0xC3});  // call Demo (itself); ret
  R[12].Name = "TwoTables";
  R[12].Code.B({0x8A, 0x80}).Fix(1, N.Routine(12), 0x0D)      // 00 mov al, [eax+@1]
      .B({0xFF, 0x24, 0x85}).Fix(1, N.Routine(12), 0x11)      // 06 jmp [eax*4+@2]
      .B({0x00, 0x01, 0x01, 0x00})                            // 0D @1: a byte for each case
      .Fix(1, N.Routine(12), 0x19).Fix(1, N.Routine(12), 0x1A)  // 11 @2: where each goes
      .B({0xC3, 0xC3});                                       // 19 @3: ret; @4: ret
  return R;
}

struct TDemo {
  std::vector<uint8_t> Bytes;
  std::vector<uint32_t> Starts;  // each routine's offset in the data block
  uint32_t DataSize = 0;
};

// The demonstration unit: the routines above, their block starts, the code
// lines of Main and Outer; with Ranges, three line ranges (the unit's file,
// an include file, the unit's file again).
TDemo DemoCodeUnit(int V, bool Ranges = false) {
  const TNumbers N(V);
  const std::vector<TRoutineSpec> R = Routines(V);
  TDemo D;
  TAsm Block;
  std::vector<FixupAt> Fixups;
  for (size_t K = 0; K < R.size(); ++K) {
    D.Starts.push_back(Block.Size());
    // Main shares Helper's block: the block start names Helper only.
    if (K != 1) Fixups.push_back({Block.Size(), BlockKind(V), N.Routine(static_cast<uint32_t>(K))});
    for (const FixupAt& F : R[K].Code.Fixups) Fixups.push_back({Block.Size() + F.Ofs, F.Kind, F.Decl});
    Block.Bytes.insert(Block.Bytes.end(), R[K].Code.Bytes.begin(), R[K].Code.Bytes.end());
  }
  D.DataSize = Block.Size();
  Fixups.push_back({D.DataSize, EndKind(V), N.Routine(11)});
  std::stable_sort(Fixups.begin(), Fixups.end(), [](const FixupAt& A, const FixupAt& B) { return A.Ofs < B.Ofs; });

  UnitBuilder B(V);
  B.Header();
  B.SourceFile("Demo.pas");
  if (Ranges) B.SourceFile("Demo.inc");
  B.Uses(0x64, "System").ImpAddr("@LStrAsg").ImpAddr("@HandleFinally").ImpAddr("@HandleOnException");
  B.ImpAddr(".Exception").EndEntry();
  B.VarDecl("Form1", 0, 0);
  for (size_t K = 0; K < R.size(); ++K) {
    if (K == 8) B.Tag(0x6A);
    B.Proc(R[K].Name, R[K].Code.Size());
    if (K == 8) B.Tag(0x6B);
  }
  B.DataBlockBytes(Block.Bytes);
  B.FixupTable(Fixups);
  // Helper's line 7, Main's lines 10 and 11, Outer's line 30.
  B.CodeLines({{7, D.Starts[0]}, {10, D.Starts[1]}, {11, D.Starts[1] + 3}, {30, D.Starts[9]}});
  if (Ranges) B.LineRanges({{1, 5, 0}, {1, 3, 1}, {6, 50, 0}});
  B.Stop();
  D.Bytes = B.Finish();
  return D;
}

std::unique_ptr<TUnit> Load(const std::vector<uint8_t>& Bytes, const std::string& Name = "Demo.dcu") {
  UnitConstructionCount = 0;
  return std::make_unique<TUnit>(Name, Bytes);
}

// Item texts of a routine, one string.
std::string Texts(const TCodeRoutine& R) {
  std::string S;
  for (const TCodeItem& It : R.Items) {
    S += R.ItemText(It);
    S += '\n';
  }
  return S;
}

const TCodeRoutine& Find(const std::vector<TCodeRoutine>& All, const std::string& Name) {
  for (const TCodeRoutine& R : All)
    if (R.Head.Name == Name) return R;
  static const TCodeRoutine None;
  ADD_FAILURE() << "no routine " << Name;
  return None;
}

// Every byte of every piece in exactly one item, in order.
void ExpectTiled(const TCodeRoutine& R) {
  uint32_t At = 0;
  for (const TCodeItem& It : R.Items) {
    EXPECT_EQ(It.Offset, At) << R.Head.Name;
    EXPECT_GT(It.Size, 0u) << R.Head.Name;
    At = It.Offset + It.Size;
  }
  EXPECT_EQ(At, R.Bytes.size()) << R.Head.Name;
}

class TempDir {
 public:
  TempDir() : Path(fs::temp_directory_path() / ("unitpeek_code_test_" + std::to_string(getpid()))) {
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempDir() { fs::remove_all(Path); }
  fs::path Path;
};

void WriteText(const fs::path& P, const std::string& Text) {
  std::ofstream Out(P, std::ios::binary);
  Out << Text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Routines, their pieces and roles.

TEST(CodeListing, ListsEveryRoutineWithItsPieceInBlockOrder) {
  const TDemo D = DemoCodeUnit(7);
  auto U = Load(D.Bytes);
  TCodeLister L(*U);
  const std::vector<TRoutineSpec> R = Routines(7);
  ASSERT_EQ(L.RoutineCount(), R.size());
  const uint32_t BlockInFile = static_cast<uint32_t>(U->DataBlock - U->Image.get());
  for (size_t K = 0; K < R.size(); ++K) {
    const TCodeRoutineHead& H = L.Head(K);
    EXPECT_EQ(H.Name, R[K].Name);
    EXPECT_EQ(H.BlockOffset, D.Starts[K]) << H.Name;
    EXPECT_EQ(H.Offset, BlockInFile + D.Starts[K]) << H.Name;
    EXPECT_EQ(H.Size, R[K].Code.Size()) << H.Name;
    EXPECT_EQ(H.PieceSize, H.Size) << H.Name;
    EXPECT_EQ(U->Image[H.DeclOffset], 0x28) << H.Name;  // the routine's tag byte
  }
  EXPECT_EQ(L.Head(8).QualifiedName, "Outer.Inner");
  EXPECT_EQ(L.Head(8).Role, TRoutineRole::Nested);
  EXPECT_EQ(L.Head(8).OwnerDeclOffset, static_cast<int64_t>(L.Head(9).DeclOffset));
  EXPECT_EQ(L.Head(9).Role, TRoutineRole::Routine);
  EXPECT_EQ(L.Head(10).Role, TRoutineRole::Finalization);
  EXPECT_EQ(L.Head(11).Role, TRoutineRole::Initialization);
  EXPECT_EQ(RoutineRoleName(L.Head(11).Role), "initialization");
  // Found by the stored or the qualified name, any letter case.
  EXPECT_TRUE(RoutineNameMatches(L.Head(8), "outer.INNER"));
  EXPECT_TRUE(RoutineNameMatches(L.Head(8), "inner"));
  EXPECT_FALSE(RoutineNameMatches(L.Head(8), "Outer"));
}

TEST(CodeListing, RoutinePatterns) {
  TCodeRoutineHead Method;
  Method.Name = Method.QualifiedName = "TForm1.Button1Click";
  TCodeRoutineHead Nested;
  Nested.Name = "Inner";
  Nested.QualifiedName = "TList.Error.Inner";
  TCodeRoutineHead Accented;
  Accented.Name = Accented.QualifiedName = "Caf\xC3\xA9";
  // Whole names, qualified or bare, any letter case.
  EXPECT_TRUE(RoutinePatternMatches(Method, "tform1.button1click"));
  EXPECT_TRUE(RoutinePatternMatches(Method, "BUTTON1CLICK"));
  EXPECT_FALSE(RoutinePatternMatches(Method, "Button1"));
  EXPECT_FALSE(RoutinePatternMatches(Nested, "Error"));
  // `*` runs over dots; `?` is one character, also of several bytes.
  EXPECT_TRUE(RoutinePatternMatches(Method, "*click"));
  EXPECT_TRUE(RoutinePatternMatches(Nested, "tlist*inner"));
  EXPECT_TRUE(RoutinePatternMatches(Nested, "T*.*.I?ner"));
  EXPECT_TRUE(RoutinePatternMatches(Accented, "caf?"));
  EXPECT_FALSE(RoutinePatternMatches(Accented, "caf??"));
  EXPECT_TRUE(RoutinePatternMatches(Nested, "*"));
  EXPECT_FALSE(RoutinePatternMatches(Nested, "?"));
  EXPECT_TRUE(RoutinePatternMatches(Method, "**1*1*"));
}

TEST(CodeListing, NamesEveryFixupTargetThroughTheFormatter) {
  for (int V : {2, 3, 4, 5, 6, 7}) {
    SCOPED_TRACE("version " + std::to_string(V));
    auto U = Load(DemoCodeUnit(V).Bytes);
    const std::vector<TCodeRoutine> All = BuildCodeListing(*U);
    const TCodeRoutine& Main = Find(All, "Main");
    EXPECT_EQ(Texts(Main),
              "push ebp\n"
              "mov ebp, esp\n"
              "mov eax, [Form1]\n"
              "mov edx, Form1+$4\n"
              "mov edx, System.Exception\n"
              "call Helper\n"
              "call System.@LStrAsg\n"
              "mov eax, @2\n"
              "test eax, eax\n"
              "jz @1\n"
              "xor eax, eax\n"
              "pop ebp\n"
              "ret\n"
              "db 0, 0, 0\n"
              "dd -1\n"
              "dd $5\n"
              "db 'Hello', 0\n"
              "db 0, 0\n");
    ASSERT_EQ(Main.Labels.size(), 2u);
    EXPECT_EQ(Main.Labels[0].Offset, 0x27u);
    EXPECT_EQ(Main.Labels[0].Name, "@1");
    EXPECT_EQ(Main.Labels[1].Offset, 0x34u);
    // The fixups of the piece, with their kinds and targets.
    ASSERT_EQ(Main.Fixups.size(), 6u);
    EXPECT_EQ(Main.Fixups[0].Offset, 0x04u);
    EXPECT_EQ(Main.Fixups[0].KindName, "absolute");
    EXPECT_EQ(Main.Fixups[0].Target, "Form1");
    EXPECT_EQ(Main.Fixups[2].Target, "System.Exception");
    EXPECT_EQ(Main.Fixups[3].KindName, "relative");
    EXPECT_EQ(Main.Fixups[3].Target, "Helper");
    EXPECT_EQ(Main.Fixups[5].Target, "Main");
    for (const TCodeRoutine& R : All) ExpectTiled(R);
    // A call of the routine itself names it; no label at its first byte.
    EXPECT_EQ(Texts(Find(All, "Demo")), "call Demo\nret\n");
    EXPECT_EQ(Texts(Find(All, "Inner")), "call Outer\nret\n");
    EXPECT_EQ(Texts(Find(All, "Outer")), "call Outer.Inner\nret\n");
  }
}

TEST(CodeListing, ShowsTheDataAmongTheCodeAsData) {
  auto U = Load(DemoCodeUnit(7).Bytes);
  const std::vector<TCodeRoutine> All = BuildCodeListing(*U);
  // try..finally: the handler whose address the block pushes and the code
  // after the jump to the runtime helper are code.
  EXPECT_EQ(Texts(Find(All, "TryFinally")),
            "xor eax, eax\npush ebp\npush @2\npush dword ptr fs:[eax]\nmov fs:[eax], esp\n"
            "xor eax, eax\npop edx\npop ecx\npop ecx\nmov fs:[eax], edx\npush @3\n"
            "nop\nret\njmp System.@HandleFinally\njmp @1\npop ebp\nret\n");
  // A case jump table: its cells are data, the places they name code.
  EXPECT_EQ(Texts(Find(All, "CaseOf")),
            "cmp eax, $01\njnbe @4\njmp dword ptr [eax*4+@1]\ndd @2\ndd @3\n"
            "mov al, $01\nret\nmov al, $02\nret\n");
  // The table of `on E: Exception do` after the jump to its helper.
  EXPECT_EQ(Texts(Find(All, "OnExcept")),
            "jmp System.@HandleOnException\ndd $1\ndd System.Exception-$4C\ndd @1\nret\n");
  // Literals whose address an instruction takes.
  EXPECT_EQ(Texts(Find(All, "Texts")),
            "mov eax, @1\npush @2\nret\ndb 0\ndd $4\ndw 'Hi', 0\ndb 'Ok!', 0\ndb 0, 0\n");
  // The operand of a memory reference into the piece.
  EXPECT_EQ(Texts(Find(All, "Float")), "fld qword ptr [@1]\nret\ndb 0\ndq $3FF0000000000000\n");
  // Code no flow reaches is code; text and a fixup field nothing covers are data.
  EXPECT_EQ(Texts(Find(All, "Dead")), "jmp @1\nxor eax, eax\ninc eax\nret\ndb 'ABCD', 0\ndd Form1\n");
  // A table read through a register: elements of the size read.
  EXPECT_EQ(Texts(Find(All, "TwoTables")),
            "mov al, [eax+@1]\njmp dword ptr [eax*4+@2]\ndb $0, $1, $1, $0\ndd @3\ndd @4\nret\nret\n");
  for (const TCodeRoutine& R : All) {
    ExpectTiled(R);
    // Every fixup field whole inside one item.
    for (const TCodeFixup& F : R.Fixups) {
      bool Inside = false;
      for (const TCodeItem& It : R.Items)
        Inside = Inside || (F.Offset >= It.Offset && F.Offset + F.Size <= It.Offset + It.Size);
      EXPECT_TRUE(Inside) << R.Head.Name << " " << F.Offset;
    }
  }
}

TEST(CodeListing, BlockStartsAreListedAsFixupsWithoutField) {
  auto U = Load(DemoCodeUnit(5).Bytes);
  const std::vector<TCodeRoutine> All = BuildCodeListing(*U);
  const TCodeRoutine& Try = Find(All, "TryFinally");
  ASSERT_FALSE(Try.Fixups.empty());
  EXPECT_EQ(Try.Fixups[0].Offset, 0u);
  EXPECT_EQ(Try.Fixups[0].Size, 0u);
  EXPECT_EQ(Try.Fixups[0].Kind, 5);
  EXPECT_EQ(Try.Fixups[0].KindName, "block");
  EXPECT_EQ(Try.Fixups[0].Target, "TryFinally");
  // The end entry lies past every piece.
  for (const TCodeRoutine& R : All)
    for (const TCodeFixup& F : R.Fixups) EXPECT_NE(F.KindName, "end");
}

// ---------------------------------------------------------------------------
// Fixup kinds and versions.

TEST(CodeFixupKinds, KindsByVersion) {
  EXPECT_EQ(FixupKindInfo(2, 1).Use, TFixupUse::Absolute);
  EXPECT_EQ(FixupKindInfo(2, 3).Use, TFixupUse::BlockStart);
  EXPECT_EQ(FixupKindInfo(2, 3).Size, 0);
  EXPECT_EQ(FixupKindInfo(2, 4).Use, TFixupUse::BlockEnd);
  EXPECT_EQ(FixupKindInfo(5, 3).Name, "import");
  EXPECT_EQ(FixupKindInfo(5, 3).Size, 4);
  EXPECT_EQ(FixupKindInfo(5, 5).Use, TFixupUse::BlockStart);
  EXPECT_EQ(FixupKindInfo(7, 5).Name, "classref");
  EXPECT_EQ(FixupKindInfo(7, 6).Use, TFixupUse::BlockStart);
  EXPECT_EQ(FixupKindInfo(7, 7).Use, TFixupUse::BlockEnd);
  EXPECT_EQ(FixupKindInfo(7, 2).Use, TFixupUse::Relative);
  EXPECT_EQ(FixupKindInfo(101, 6).Use, TFixupUse::BlockEnd);
  EXPECT_EQ(FixupKindInfo(103, 7).Use, TFixupUse::BlockEnd);
  // A kind the table does not know: a 32-bit field, no name.
  EXPECT_TRUE(FixupKindInfo(7, 9).Name.empty());
  EXPECT_EQ(FixupKindInfo(7, 9).Size, 4);
  EXPECT_EQ(ClassRefOffset(2), 0x34);
  EXPECT_EQ(ClassRefOffset(3), 0x40);
  EXPECT_EQ(ClassRefOffset(7), 0x4C);
}

TEST(CodeListing, FurtherFormatsShowTheirPiecesAsData) {
  for (int V : {100, 101, 103}) {
    SCOPED_TRACE("version " + std::to_string(V));
    EXPECT_EQ(CodeArchOf(V), TCodeArch::Unknown);
    auto U = Load(DemoCodeUnit(V).Bytes);
    const std::vector<TCodeRoutine> All = BuildCodeListing(*U);
    ASSERT_EQ(All.size(), 13u);
    for (const TCodeRoutine& R : All) {
      ExpectTiled(R);
      for (const TCodeItem& It : R.Items) EXPECT_EQ(It.Kind, TCodeItemKind::Data) << R.ItemText(It);
    }
    // Fixup fields are cells that name their targets.
    EXPECT_NE(Texts(Find(All, "Main")).find("dd Form1+$4\n"), std::string::npos);
  }
  for (int V = 2; V <= 7; ++V) EXPECT_EQ(CodeArchOf(V), TCodeArch::X86_32);
}

// ---------------------------------------------------------------------------
// Line markers and source lines.

TEST(CodeListing, LineMarkersWithTheSourceBesideTheUnit) {
  TempDir Dir;
  const TDemo D = DemoCodeUnit(7);
  unitbuilder::WriteUnitFile((Dir.Path / "Demo.dcu").string(), D.Bytes);
  std::string Src;
  // The headings of Helper, Main and Outer above the lines the unit gives
  // them, as in the source the unit was compiled from.
  const std::map<int, std::string> Special = {{5, "procedure Helper;"}, {6, "begin"},        {9, "procedure Main;"},
                                              {10, "begin"},            {28, "procedure Outer;"}, {29, "begin"}};
  for (int I = 1; I <= 40; ++I)
    Src += Special.count(I) ? Special.at(I) + "\r\n"
           : I == 11        ? "\tX := 'd\xE9j\xE0';\r\n"
                            : "line " + std::to_string(I) + "\r\n";
  WriteText(Dir.Path / "DEMO.PAS", Src);  // another letter case than the unit names
  UnitConstructionCount = 0;
  TUnit U((Dir.Path / "Demo.dcu").string());
  TCodeLister L(U);
  EXPECT_EQ(fs::path(L.SourcePath()).filename(), "DEMO.PAS");
  const TCodeRoutine Main = L.Routine(1);
  ASSERT_EQ(Main.Lines.size(), 2u);
  EXPECT_EQ(Main.Lines[0].Offset, 0u);
  EXPECT_EQ(Main.Lines[0].Line, 10);
  EXPECT_TRUE(Main.Lines[0].HasSource);
  EXPECT_EQ(Main.Lines[0].Source, "begin");
  EXPECT_EQ(Main.Lines[1].Offset, 3u);
  // Windows-1252 read as such, tabs to the next multiple of eight.
  EXPECT_EQ(Main.Lines[1].Source, "        X := 'd\xC3\xA9j\xC3\xA0';");
  EXPECT_TRUE(Main.Lines[1].File.empty());
  EXPECT_EQ(L.Routine(9).Lines.at(0).Line, 30);
  EXPECT_TRUE(L.Routine(2).Lines.empty());

  // Not read when not wanted; looked for in the source folder first.
  TCodeOptions Off;
  Off.ReadSources = false;
  EXPECT_FALSE(TCodeLister(U, Off).Routine(1).Lines[0].HasSource);
  fs::create_directories(Dir.Path / "src");
  std::string InSrc;
  for (int I = 1; I <= 29; ++I)
    InSrc += I == 10 ? "begin { from src }\n" : Special.count(I) ? Special.at(I) + "\n" : "\n";
  WriteText(Dir.Path / "src" / "Demo.pas", InSrc);
  TCodeOptions InDir;
  InDir.SourceDir = (Dir.Path / "src").string();
  EXPECT_EQ(TCodeLister(U, InDir).Routine(1).Lines[0].Source, "begin { from src }");
  // A line past the file's end has no text.
  EXPECT_FALSE(TCodeLister(U, InDir).Routine(9).Lines[0].HasSource);
}

TEST(CodeListing, LineRangesMapLinesToIncludeFiles) {
  TempDir Dir;
  unitbuilder::WriteUnitFile((Dir.Path / "Demo.dcu").string(), DemoCodeUnit(5, true).Bytes);
  // The headings of Main and Outer above their lines; Outer's line 27 is
  // the one after the file's last.
  std::string Src;
  for (int I = 1; I <= 26; ++I)
    Src += (I == 5 ? "procedure Main;" : I == 6 || I == 26 ? "begin" : I == 25 ? "procedure Outer;" : "a" + std::to_string(I)) + std::string("\n");
  WriteText(Dir.Path / "Demo.pas", Src);
  WriteText(Dir.Path / "Demo.inc", "i1\ni2\ni3\n");
  UnitConstructionCount = 0;
  TUnit U((Dir.Path / "Demo.dcu").string());
  TCodeLister L(U);
  // Numbered through all ranges: 1-5 the unit's file, 6-8 the include
  // file, 9 on the unit's file from its line 6.
  const TCodeRoutine Helper = L.Routine(0), Main = L.Routine(1), Outer = L.Routine(9);
  ASSERT_EQ(Helper.Lines.size(), 1u);
  EXPECT_EQ(Helper.Lines[0].File, "Demo.inc");
  EXPECT_EQ(Helper.Lines[0].Line, 2);
  EXPECT_EQ(Helper.Lines[0].Source, "i2");
  ASSERT_EQ(Main.Lines.size(), 2u);
  EXPECT_TRUE(Main.Lines[0].File.empty());
  EXPECT_EQ(Main.Lines[0].Line, 7);
  EXPECT_EQ(Main.Lines[0].Source, "a7");
  EXPECT_EQ(Main.Lines[1].Source, "a8");
  ASSERT_EQ(Outer.Lines.size(), 1u);
  EXPECT_EQ(Outer.Lines[0].Line, 27);
  EXPECT_FALSE(Outer.Lines[0].HasSource);
}

// The check of a source file against the unit's lines: a routine fits when
// its heading is above its first line with a begin (or asm, or external)
// between; a file too short or with more than one routine in ten off does
// not match.
TEST(CodeListing, SourceCheckAgainstTheUnitsLines) {
  const std::string Text =
      "unit Demo;\n"                                          // 1
      "procedure TForm1.Click(Sender: TObject);\n"            // 2
      "  procedure Inner;\n"                                  // 3
      "  begin\n"                                             // 4
      "  end;\n"                                              // 5
      "var I: Integer;\n"                                     // 6
      "begin\n"                                               // 7
      "  I := 1;\n"                                           // 8
      "end;\n"                                                // 9
      "class function TForm1.Make: TForm1;\n"                 // 10
      "begin\n"                                               // 11
      "  Result := nil;\n"                                    // 12
      "end;\n"                                                // 13
      "function Beep(A: Integer\n"                            // 14
      "  ): Boolean; stdcall; external 'user32.dll';\n"       // 15
      "end.\n";                                               // 16
  // Click: a frame (its begin), Inner nested in it; Make without a frame (its
  // first statement); Beep imported.
  std::vector<TSourceCheckRoutine> Rs = {
      {"TForm1.Click", 7, 9, -1}, {"Inner", 4, 5, 0}, {"TForm1.Make", 12, 13, -1}, {"Beep", 15, 15, -1}};
  TSourceCheck C;
  CheckSourceText(Text, Rs, C);
  EXPECT_TRUE(C.Matches) << C.Why;
  EXPECT_EQ(C.Checked, 4u);
  EXPECT_EQ(C.Failed, 0u);
  // Compiler-made routines and routines without lines are not checked (nor
  // do they bound another's heading); the line after the last is the file's end.
  Rs.push_back({"", 3, 3, -1});
  Rs.push_back({"Gone", 0, 0, -1});
  Rs.push_back({"Demo", 17, 17, -1});
  CheckSourceText(Text, Rs, C);
  EXPECT_EQ(C.Checked, 5u);
  EXPECT_EQ(C.Failed, 1u);  // Demo: no heading
  EXPECT_FALSE(C.Matches);
  EXPECT_EQ(C.Why, "1 of 5 routines do not begin where the unit says they do (the first: Demo at line 17).");
  Rs.resize(4);

  // One line more at the top: Inner's first line is its heading's line.
  TSourceCheck Shifted;
  CheckSourceText("{ new }\n" + Text, Rs, Shifted);
  EXPECT_FALSE(Shifted.Matches);
  EXPECT_GE(Shifted.Failed, 2u);
  EXPECT_NE(Shifted.Why.find("(the first: Inner at line 4)"), std::string::npos) << Shifted.Why;
  // Too short.
  TSourceCheck Short;
  CheckSourceText(Text.substr(0, Text.find("function Beep")), Rs, Short);
  EXPECT_FALSE(Short.Matches);
  EXPECT_EQ(Short.Why, "The file has 13 lines; the unit has code on line 15.");
  // One routine in ten written in a way the check does not follow is let pass.
  std::string Many;
  std::vector<TSourceCheckRoutine> Ten;
  for (int I = 0; I < 10; ++I) {
    Many += (I == 3 ? "procedure {odd} P" : "procedure P") + std::to_string(I) + ";\nbegin\nend;\n";
    Ten.push_back({"P" + std::to_string(I), 3 * I + 2, 3 * I + 3, -1});
  }
  TSourceCheck Odd;
  CheckSourceText(Many, Ten, Odd);
  EXPECT_TRUE(Odd.Matches);
  EXPECT_EQ(Odd.Failed, 1u);
}

// A source file that does not match: the lister gives the unit's own lines
// by number only and says why; an include file's lines keep their text.
TEST(CodeListing, SourceThatDoesNotMatchGivesNoLineTexts) {
  TempDir Dir;
  unitbuilder::WriteUnitFile((Dir.Path / "Demo.dcu").string(), DemoCodeUnit(5, true).Bytes);
  std::string Src;  // Main's heading two lines too low
  for (int I = 1; I <= 26; ++I)
    Src += (I == 7 ? "procedure Main;" : I == 8 || I == 26 ? "begin" : I == 25 ? "procedure Outer;" : "a" + std::to_string(I)) + std::string("\n");
  WriteText(Dir.Path / "Demo.pas", Src);
  WriteText(Dir.Path / "Demo.inc", "i1\ni2\ni3\n");
  UnitConstructionCount = 0;
  TUnit U((Dir.Path / "Demo.dcu").string());
  TCodeLister L(U);
  const TSourceCheck& C = L.SourceCheck();
  EXPECT_TRUE(C.Found);
  EXPECT_EQ(fs::path(C.Path).filename(), "Demo.pas");
  EXPECT_FALSE(C.Matches);
  EXPECT_EQ(C.Why, "1 of 2 routines do not begin where the unit says they do (the first: Main at line 7).");
  const TCodeRoutine Main = L.Routine(1);
  ASSERT_EQ(Main.Lines.size(), 2u);
  EXPECT_EQ(Main.Lines[0].Line, 7);
  EXPECT_FALSE(Main.Lines[0].HasSource);
  EXPECT_TRUE(Main.Lines[0].Source.empty());
  EXPECT_EQ(L.Routine(0).Lines.at(0).Source, "i2");  // Helper, in the include file
  // Without a source file there is nothing to check.
  fs::remove(Dir.Path / "Demo.pas");
  TCodeLister None(U);
  EXPECT_FALSE(None.SourceCheck().Found);
  EXPECT_TRUE(None.SourceCheck().Matches);
}

TEST(CodeListing, SourceLineTexts) {
  EXPECT_EQ(SourceLineText("a\tb\r\n"), "a       b");
  EXPECT_EQ(SourceLineText("caf\xC3\xA9"), "caf\xC3\xA9");            // UTF-8 kept
  EXPECT_EQ(SourceLineText("caf\xE9"), "caf\xC3\xA9");                 // Windows-1252
  EXPECT_EQ(SourceLineText("x\x01y"), "x^Ay");
}

// Names looked up in a folder in any letter case; the folder read again
// once it has changed (a source added or renamed after a first look).
TEST(CodeListing, SourceFilesFoundInAnyLetterCaseAsTheFolderIs) {
  TempDir D;
  EXPECT_EQ(FindFileNoCase(D.Path, "demo.pas"), fs::path());
  WriteText(D.Path / "Other.pas", "x\n");
  WriteText(D.Path / "DEMO.Pas", "x\n");
  EXPECT_EQ(FindFileNoCase(D.Path, "demo.pas"), D.Path / "DEMO.Pas");
  EXPECT_EQ(FindFileNoCase(D.Path, "DEMO.Pas"), D.Path / "DEMO.Pas");  // as it stands
  fs::create_directory(D.Path / "unit.pas");  // a folder is no source
  EXPECT_EQ(FindFileNoCase(D.Path, "UNIT.PAS"), fs::path());
  fs::rename(D.Path / "DEMO.Pas", D.Path / "Demo2.pas");
  EXPECT_EQ(FindFileNoCase(D.Path, "demo.pas"), fs::path());
  EXPECT_EQ(FindFileNoCase(D.Path, "DEMO2.PAS"), D.Path / "Demo2.pas");
  EXPECT_EQ(FindFileNoCase(D.Path / "none", "demo2.pas"), fs::path());
}

// ---------------------------------------------------------------------------
// The text printer.

TEST(CodeText, HeadingLabelsMarkersAndEveryByte) {
  auto U = Load(DemoCodeUnit(7).Bytes);
  TCodeLister L(*U);
  const TCodeRoutine Main = L.Routine(1);
  std::string Out;
  WriteRoutineText(Main, Out);
  const uint32_t At = Main.Head.Offset;
  auto Hex8 = [](uint32_t V) {
    char B[16];
    std::snprintf(B, sizeof B, "%08X", V);
    return std::string(B);
  };
  EXPECT_EQ(Out.substr(0, Out.find('\n')), "Main");
  EXPECT_NE(Out.find("  ; 10\n  " + Hex8(At) + "  55                       push ebp\n"), std::string::npos) << Out;
  EXPECT_NE(Out.find("  ; 11\n  " + Hex8(At + 3) + "  A1 00 00 00 00           mov eax, [Form1]\n"), std::string::npos)
      << Out;
  EXPECT_NE(Out.find("\n@1:\n  " + Hex8(At + 0x27) + "  5D "), std::string::npos) << Out;
  EXPECT_NE(Out.find("@2:\n  " + Hex8(At + 0x34) + "  48 65 6C 6C 6F 00        db 'Hello', 0\n"), std::string::npos)
      << Out;
  // The initialization is headed as such; a heading of the caller's.
  Out.clear();
  WriteRoutineText(L.Routine(11), Out);
  EXPECT_EQ(Out.substr(0, Out.find('\n')), "Demo (initialization)");
  Out.clear();
  TCodeTextOptions O;
  O.Heading = [](const TCodeRoutineHead& H) { return "procedure " + H.QualifiedName + ";"; };
  O.Bytes = false;
  WriteRoutineText(L.Routine(8), Out, O);
  EXPECT_EQ(Out, "procedure Outer.Inner;\n  " + Hex8(L.Head(8).Offset) + "  call Outer\n  " +
                     Hex8(L.Head(8).Offset + 5) + "  ret\n");
}

TEST(CodeText, LongItemsGoOnOverSeveralLines) {
  TCodeRoutine R;
  R.Head.QualifiedName = "Long";
  R.Head.Offset = 0x100;
  R.Bytes.assign(20, 'a');
  R.Text = "db 'x'";
  R.Items.push_back(TCodeItem{0, 20, TCodeItemKind::Data, 0, 6});
  std::string Out;
  WriteRoutineText(R, Out);
  EXPECT_EQ(Out,
            "Long\n"
            "  00000100  61 61 61 61 61 61 61 61  db 'x'\n"
            "  00000108  61 61 61 61 61 61 61 61\n"
            "  00000110  61 61 61 61\n");
}

// ---------------------------------------------------------------------------
// Names marked in the texts, and the writer's runs.

namespace {

// The names of a routine's items: "text=kind" for each span, the spans
// checked to lie inside their items.
std::vector<std::string> SpanTexts(const TCodeRoutine& R) {
  std::vector<std::string> Out;
  size_t Seen = 0;
  for (const TCodeItem& It : R.Items)
    for (const TCodeSpan& S : R.ItemSpans(It)) {
      ++Seen;
      EXPECT_GE(S.Start, It.TextStart);
      EXPECT_LE(S.Start + S.Len, It.TextStart + It.TextSize);
      static const char* Kinds[] = {"label", "routine", "decl", "import", "unresolved"};
      Out.push_back(R.Text.substr(S.Start, S.Len) + "=" + Kinds[static_cast<int>(S.Kind)]);
    }
  EXPECT_EQ(Seen, R.Spans.size()) << "every span in one item";
  return Out;
}

const TCodeSpan* SpanNamed(const TCodeRoutine& R, std::string_view Text) {
  for (const TCodeSpan& S : R.Spans)
    if (std::string_view(R.Text).substr(S.Start, S.Len) == Text) return &S;
  return nullptr;
}

uint32_t DeclOffsetOf(const TUnit& U, uint32_t N) {
  const auto* D = RecCast<TNameDecl>(U.GetDecl(N));
  return D ? static_cast<uint32_t>(D->DefPos - U.Image.get()) : NoCodeDecl;
}

// Records the runs of the writer: kind, text, anchor.
struct TRecordingCodeSink : TCodeSink {
  struct TRun {
    TCodeRunKind Kind;
    std::string Text;
    int64_t Anchor;
  };
  std::vector<TRun> Runs;
  std::string Text;
  std::vector<size_t> Items;  // item index at each BeginItem
  std::vector<int64_t> NameRoutines;  // Target of each routine name
  void Run(TCodeRunKind K, std::string_view T, int64_t A) override {
    Runs.push_back({K, std::string(T), A});
    Text += T;
  }
  void Name(std::string_view T, const TCodeSpan& Ref) override {
    if (Ref.Kind == TCodeRefKind::Routine) NameRoutines.push_back(Ref.Target);
    TCodeSink::Name(T, Ref);
  }
  void EndLine() override { Text += '\n'; }
  void BeginItem(const TCodeRoutine&, size_t I) override { Items.push_back(I); }
  std::vector<std::string> Of(TCodeRunKind K) const {
    std::vector<std::string> Out;
    for (const TRun& R : Runs)
      if (R.Kind == K) Out.push_back(R.Text + "@" + std::to_string(R.Anchor));
    return Out;
  }
};

}  // namespace

TEST(CodeSpans, EveryNameMarkedWithWhatItRefersTo) {
  for (int V : {3, 7, 101}) {
    SCOPED_TRACE("version " + std::to_string(V));
    const TNumbers N(V);
    auto U = Load(DemoCodeUnit(V).Bytes);
    TCodeLister L(*U);
    const TCodeRoutine Main = L.Routine(1);
    if (V == 101) {
      // Shown as data: the fixup cells name their targets all the same.
      const TCodeSpan* Form = SpanNamed(Main, "Form1");
      ASSERT_NE(Form, nullptr);
      EXPECT_EQ(Form->Kind, TCodeRefKind::Decl);
      continue;
    }
    EXPECT_EQ(SpanTexts(Main), (std::vector<std::string>{"Form1=decl", "Form1=decl", "System.Exception=import",
                                                          "Helper=routine", "System.@LStrAsg=import", "@2=label",
                                                          "@1=label"}));
    // A variable of the unit: its record's offset, the outline's anchor.
    EXPECT_EQ(SpanNamed(Main, "Form1")->DeclOffset, DeclOffsetOf(*U, N.Form1()));
    EXPECT_EQ(U->Image[SpanNamed(Main, "Form1")->DeclOffset], 0x20);  // a variable's tag
    // A routine: its index in the listing and its declaration.
    const TCodeSpan* Helper = SpanNamed(Main, "Helper");
    EXPECT_EQ(Helper->Target, 0u);
    EXPECT_EQ(Helper->DeclOffset, L.Head(0).DeclOffset);
    EXPECT_EQ(L.RoutineAtDecl(Helper->DeclOffset), std::optional<size_t>(0));
    EXPECT_EQ(SpanNamed(Main, "System.@LStrAsg")->DeclOffset, NoCodeDecl);
    // A label: the offset of the item it stands at.
    EXPECT_EQ(SpanNamed(Main, "@1")->Target, 0x27u);
    EXPECT_EQ(SpanNamed(Main, "@2")->Target, 0x34u);

    // Names in data cells; the addend stays outside the name.
    const TCodeRoutine On = L.Routine(4);
    EXPECT_EQ(SpanTexts(On), (std::vector<std::string>{"System.@HandleOnException=import",
                                                        "System.Exception=import", "@1=label"}));
    // The routine itself (a call of itself, a place outside the piece),
    // nested routines by their index.
    const TCodeRoutine Demo = L.Routine(11);
    EXPECT_EQ(SpanTexts(Demo), std::vector<std::string>{"Demo=routine"});
    EXPECT_EQ(SpanNamed(Demo, "Demo")->Target, 11u);
    EXPECT_EQ(SpanNamed(Demo, "Demo")->DeclOffset, L.Head(11).DeclOffset);
    EXPECT_EQ(SpanNamed(L.Routine(9), "Outer.Inner")->Target, 8u);
    EXPECT_EQ(SpanNamed(L.Routine(8), "Outer")->Target, 9u);
    const TCodeRoutine Dead = L.Routine(7);
    EXPECT_EQ(SpanTexts(Dead), (std::vector<std::string>{"@1=label", "Form1=decl"}));
  }
}

TEST(CodeSpans, ClassTablesNameTheirClassAndUnresolvedNumbersAreMarked) {
  // Own class table ".TThing" of type TThing; a fixup to a number the unit
  // does not have.
  TAsm Code;
  Code.B({0xBA}).Fix(1, 4, 0x4C);  // mov edx, TThing
  Code.B({0xB8}).Fix(1, 40);       // mov eax, #40
  Code.B({0xC3});
  UnitBuilder B(7);
  B.Header();
  B.SourceFile("Demo.pas");
  B.Uses(0x64, "System").EndEntry();
  B.TypeDecl("TThing", 1);
  B.VarDecl(".TThing", 1, 0, 0, 0x26);  // the class table
  B.Proc("Run", Code.Size());
  // Numbers: 2 System, 3 TThing, 4 .TThing, 5 Run.
  std::vector<FixupAt> Fixups{{0, 6, 5}};
  for (const FixupAt& F : Code.Fixups) Fixups.push_back(F);
  Fixups.push_back({Code.Size(), 7, 5});
  B.DataBlockBytes(Code.Bytes);
  B.FixupTable(Fixups);
  B.Stop();
  std::unique_ptr<TUnit> U;
  try {
    U = Load(B.Finish());
  } catch (const EDCUReadError& E) {
    FAIL() << E.what();
  }
  TCodeLister L(*U);
  ASSERT_EQ(L.RoutineCount(), 1u);
  const TCodeRoutine R = L.Routine(0);
  EXPECT_EQ(Texts(R), "mov edx, TThing\nmov eax, #40\nret\n");
  EXPECT_EQ(SpanTexts(R), (std::vector<std::string>{"TThing=decl", "#40=unresolved"}));
  // The class's own declaration, not the table's.
  EXPECT_EQ(SpanNamed(R, "TThing")->DeclOffset, DeclOffsetOf(*U, 3));
  EXPECT_NE(SpanNamed(R, "TThing")->DeclOffset, DeclOffsetOf(*U, 4));
}

// More targets than the lister keeps names of: the names made for the first
// routine are let go before the second, which names some of the same
// declarations again (and some the unit does not have).
TEST(CodeListing, TargetNamesMadeAgainPastTheNamesKept) {
  constexpr uint32_t Vars = 5000;
  UnitBuilder B(7);
  B.Header();
  B.SourceFile("Demo.pas");
  B.Uses(0x64, "System").EndEntry();
  for (uint32_t K = 0; K < Vars; ++K) B.VarDecl("V" + std::to_string(K), 1, 4 * K);
  // Numbers: 2 System, 3.. the variables, then the two routines.
  const uint32_t First = 3, ProcA = First + Vars, ProcB = ProcA + 1;
  TAsm A, Bc;
  for (uint32_t K = 0; K < Vars; ++K) A.B({0xB8}).Fix(1, First + K);  // mov eax, VK
  A.B({0xC3});
  for (uint32_t K : {0u, 4999u, 2500u}) Bc.B({0xB8}).Fix(1, First + K);
  Bc.B({0xB8}).Fix(1, 90000);  // a number past the unit's
  Bc.B({0xB8}).Fix(1, 90000);
  Bc.B({0xC3});
  B.Proc("A", A.Size());
  B.Proc("B", Bc.Size());
  std::vector<FixupAt> Fixups{{0, 6, ProcA}};
  for (const FixupAt& F : A.Fixups) Fixups.push_back(F);
  Fixups.push_back({A.Size(), 6, ProcB});
  for (FixupAt F : Bc.Fixups) {
    F.Ofs += A.Size();
    Fixups.push_back(F);
  }
  Fixups.push_back({A.Size() + Bc.Size(), 7, ProcB});  // the end
  std::vector<uint8_t> Code = A.Bytes;
  Code.insert(Code.end(), Bc.Bytes.begin(), Bc.Bytes.end());
  B.DataBlockBytes(Code);
  B.FixupTable(Fixups);
  B.Stop();
  auto U = Load(B.Finish());
  TCodeLister L(*U);
  ASSERT_EQ(L.RoutineCount(), 2u);
  const TCodeRoutine RA = L.Routine(0);
  ASSERT_EQ(RA.Items.size(), Vars + 1);
  EXPECT_EQ(RA.ItemText(RA.Items[0]), "mov eax, V0");
  EXPECT_EQ(RA.ItemText(RA.Items[Vars - 1]), "mov eax, V4999");
  const TCodeRoutine RB = L.Routine(1);
  EXPECT_EQ(Texts(RB), "mov eax, V0\nmov eax, V4999\nmov eax, V2500\nmov eax, #90000\nmov eax, #90000\nret\n");
  ASSERT_EQ(RB.Fixups.size(), 6u);  // the block's start first
  EXPECT_EQ(RB.Fixups[2].Target, "V4999");
  EXPECT_EQ(RB.Fixups[5].Target, "#90000");
}

TEST(CodeText, RunsOfTheWriterMakeTheTextAndCarryAnchors) {
  auto U = Load(DemoCodeUnit(7).Bytes);
  TCodeLister L(*U);
  for (size_t I = 0; I < L.RoutineCount(); ++I) {
    const TCodeRoutine R = L.Routine(I);
    TRecordingCodeSink Sink;
    WriteRoutineListing(R, Sink);
    std::string Plain;
    WriteRoutineText(R, Plain);
    EXPECT_EQ(Sink.Text, Plain) << R.Head.Name;
    ASSERT_EQ(Sink.Items.size(), R.Items.size());
    for (size_t K = 0; K < Sink.Items.size(); ++K) EXPECT_EQ(Sink.Items[K], K);
    EXPECT_EQ(Sink.Runs.front().Kind, TCodeRunKind::Heading);
    EXPECT_EQ(Sink.Runs.front().Anchor, R.Head.DeclOffset);
    for (int64_t T : Sink.NameRoutines) EXPECT_LT(T, static_cast<int64_t>(L.RoutineCount()));
  }
  const TCodeRoutine Main = L.Routine(1);
  TRecordingCodeSink Sink;
  WriteRoutineListing(Main, Sink);
  EXPECT_EQ(Sink.Of(TCodeRunKind::LabelDef), (std::vector<std::string>{"@1@39", "@2@52"}));
  EXPECT_EQ(Sink.Of(TCodeRunKind::LabelRef), (std::vector<std::string>{"@2@52", "@1@39"}));
  EXPECT_EQ(Sink.Of(TCodeRunKind::RoutineRef),
            std::vector<std::string>{"Helper@" + std::to_string(L.Head(0).DeclOffset)});
  EXPECT_EQ(Sink.Of(TCodeRunKind::ImportRef), (std::vector<std::string>{"System.Exception@-1", "System.@LStrAsg@-1"}));
  EXPECT_EQ(Sink.Of(TCodeRunKind::Marker), (std::vector<std::string>{"; 10@10", "; 11@11"}));
  EXPECT_EQ(Sink.Of(TCodeRunKind::Offset).front(), "0000" + [&] {
    char B[8];
    std::snprintf(B, sizeof B, "%04X", Main.Head.Offset & 0xFFFF);
    return std::string(B);
  }() + "@0");
  // An item of more than eight bytes: its further lines of bytes have no
  // blanks after them, and their offsets the item's anchor.
  TCodeRoutine Long;
  Long.Head.Offset = 0x100;
  Long.Bytes.assign(12, 0xAB);
  Long.Text = "db ?";
  Long.Items.push_back(TCodeItem{0, 12, TCodeItemKind::Data, 0, 4});
  TRecordingCodeSink LongSink;
  WriteRoutineListing(Long, LongSink);
  EXPECT_EQ(LongSink.Of(TCodeRunKind::Bytes),
            (std::vector<std::string>{"AB AB AB AB AB AB AB AB  @-1", "AB AB AB AB@-1"}));
  EXPECT_EQ(LongSink.Of(TCodeRunKind::Offset), (std::vector<std::string>{"00000100@0", "00000108@0"}));
}

// ---------------------------------------------------------------------------
// Pieces of any bytes.

TEST(CodeDisasm, PascalLiterals) {
  auto Lit = [](const std::string& S) {
    return PascalLiteral({reinterpret_cast<const uint8_t*>(S.data()), S.size()});
  };
  EXPECT_EQ(Lit(""), "''");
  EXPECT_EQ(Lit("It's"), "'It''s'");
  EXPECT_EQ(Lit("a\r\nb"), "'a'#13#10'b'");
  EXPECT_EQ(Lit(std::string("\0x", 2)), "#0'x'");
  EXPECT_EQ(Lit("\xE9\x80"), "'\xC3\xA9\xE2\x82\xAC'");  // Windows-1252
  EXPECT_EQ(Lit("\x81"), "#129");                            // a position it leaves undefined
}

TEST(CodeDisasm, TruncatedAndOverlappingInputsStayInsideThePiece) {
  // An instruction cut by the piece's end is data; so is a fixup field
  // that no instruction's operand is.
  TCodeRoutine R;
  const std::vector<uint8_t> Cut = {0x90, 0xE8, 0x00, 0x00};
  TPieceInput In;
  In.Bytes = Cut;
  R.Bytes = Cut;
  In.SelfName = "Cut";
  DisassemblePiece(In, R);
  EXPECT_EQ(Texts(R), "nop\ndb $E8\ndb 0, 0\n");
  ExpectTiled(R);

  const std::vector<uint8_t> Mis = {0xB8, 0x00, 0x00, 0x00, 0x00, 0xC3, 0x00, 0x00};
  In.Bytes = Mis;
  R.Bytes = Mis;
  TPieceFixup F;
  F.Offset = 2;  // inside the immediate, not at it
  F.Kind = 1;
  F.Info = FixupKindInfo(7, 1);
  F.Target = "X";
  In.Fixups = {F};
  DisassemblePiece(In, R);
  ExpectTiled(R);
  EXPECT_EQ(R.Items[0].Kind, TCodeItemKind::Data);
  // A field that runs past the piece is listed, and no item claims it whole.
  In.Fixups[0].Offset = 6;
  DisassemblePiece(In, R);
  ExpectTiled(R);
  ASSERT_EQ(R.Fixups.size(), 1u);
  EXPECT_EQ(R.Fixups[0].Target, "X");
  // A jump out of the piece names the place from the routine's start.
  const std::vector<uint8_t> Out = {0xEB, 0x10};
  In.Bytes = Out;
  R.Bytes = Out;
  In.Fixups.clear();
  DisassemblePiece(In, R);
  EXPECT_EQ(Texts(R), "jmp Cut+$12\n");
}

namespace {

// A piece named Name whose absolute fixups at Fields hold addresses in the
// piece itself.
TPieceInput SelfAddressed(std::span<const uint8_t> Piece, const char* Name, std::initializer_list<uint32_t> Fields) {
  TPieceInput In;
  In.Bytes = Piece;
  In.SelfName = Name;
  for (uint32_t At : Fields) {
    TPieceFixup F;
    F.Offset = At;
    F.Kind = 1;
    F.Info = FixupKindInfo(7, 1);
    F.Self = true;
    In.Fixups.push_back(F);
  }
  return In;
}

}  // namespace

TEST(CodeDisasm, LiteralsOfOtherCodePagesAreText) {
  // MessageBox(0, 'ÑæÒ 1', '!ÎØÇ', 0) of a unit whose source is in an Arabic
  // code page: the characters' addresses pushed; no flow reaches them. They
  // are literals, not code.
  const std::vector<uint8_t> Bytes = {0x6A, 0x00,                          // push $00
                                      0x68, 0x00, 0x00, 0x00, 0x00,        // push @1
                                      0x68, 0x00, 0x00, 0x00, 0x00,        // push @2
                                      0x6A, 0x00, 0xC3, 0x00,              // push $00; ret; alignment
                                      0x21, 0xCE, 0xD8, 0xC7, 0x00,        // @1 (16)
                                      0xD1, 0xE6, 0xD2, 0x20, 0x31, 0x00}; // @2 (21)
  std::vector<uint8_t> Piece = Bytes;
  Piece[3] = 16;
  Piece[8] = 21;
  const TPieceInput In = SelfAddressed(Piece, "Warn", {3, 8});
  TCodeRoutine R;
  R.Bytes = Piece;
  DisassemblePiece(In, R);
  EXPECT_EQ(Texts(R),
            "push $00\npush @1\npush @2\npush $00\nret\ndb 0\n"
            "db '!\xC3\x8E\xC3\x98\xC3\x87', 0\ndb '\xC3\x91\xC3\xA6\xC3\x92 1', 0\n");
  ExpectTiled(R);
}

// Random bytes with random fixups, the piece exactly as long as its bytes
// (the sanitizers see any read past it): every byte in one item, labels at
// items, fixups listed.
TEST(CodeDisasm, RandomPiecesAreTiled) {
  std::mt19937 Rng(25);
  for (int Round = 0; Round < 300; ++Round) {
    const size_t N = 1 + Rng() % 200;
    std::vector<uint8_t> Bytes(N);
    for (uint8_t& B : Bytes) B = static_cast<uint8_t>(Round % 3 == 0 ? Rng() % 4 : Rng());
    TPieceInput In;
    In.Bytes = Bytes;
    In.SelfName = "R";
    In.Arch = Round % 7 == 0 ? TCodeArch::Unknown : TCodeArch::X86_32;
    uint32_t At = 0;
    while (Rng() % 3 && At < N) {
      TPieceFixup F;
      F.Offset = At;
      F.Kind = static_cast<uint8_t>(1 + Rng() % 7);
      F.Info = FixupKindInfo(7, F.Kind);
      F.Target = "T";
      F.Self = Rng() % 2;
      F.Helper = static_cast<TFlowHelper>(Rng() % 3);
      In.Fixups.push_back(F);
      At += 1 + Rng() % 12;
    }
    TCodeRoutine R;
    R.Bytes = Bytes;
    DisassemblePiece(In, R);
    ExpectTiled(R);
    EXPECT_EQ(R.Fixups.size(), In.Fixups.size());
    for (const TCodeLabel& L : R.Labels) {
      bool AtItem = false;
      for (const TCodeItem& It : R.Items) AtItem = AtItem || It.Offset == L.Offset;
      EXPECT_TRUE(AtItem);
    }
  }
}

// Every single-byte change of the demonstration unit: it loads or fails
// with a reader error; when it loads, every routine is listed and tiled.
TEST(CodeListing, DamagedUnitsListOrFailCleanly) {
  const std::vector<uint8_t> Good = DemoCodeUnit(7).Bytes;
  size_t Loaded = 0;
  for (size_t I = 8; I < Good.size(); ++I) {
    for (uint8_t X : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
      std::vector<uint8_t> Bad = Good;
      Bad[I] ^= X;
      std::unique_ptr<TUnit> U;
      try {
        U = Load(Bad);
      } catch (const EDCUReadError&) {
        continue;
      }
      ++Loaded;
      TCodeLister L(*U);
      L.ForEach([&](const TCodeRoutine& R) {
        ExpectTiled(R);
        EXPECT_EQ(R.Bytes.size(), R.Head.PieceSize);
      });
    }
  }
  EXPECT_GT(Loaded, 0u);
}

// The layout's data shapes as the formatter writes them: a long string and a
// wide one whose characters instructions take the address of, their
// headers as numbers, labels in offset order at the places named, and a
// jump to the routine's start by the routine's name (no label at 0).
TEST(CodeDisasm, LiteralsHeadersAndLabelsOfAPiece) {
  const std::vector<uint8_t> Piece = {
      0xB8, 20, 0, 0, 0,                          // mov eax, @1
      0xBA, 28, 0, 0, 0,                          // mov edx, @2
      0xEB, 0xF4,                                 // jmp to the start
      0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0,         // reference count -1, length 3
      'a', 'b', 'c', 0,                           // @1 (20)
      4, 0, 0, 0,                                 // byte length 4
      'h', 0, 'i', 0, 0, 0,                       // @2 (28)
      0, 0};                                      // alignment
  const TPieceInput In = SelfAddressed(Piece, "Strs", {1, 6});
  TCodeRoutine R;
  R.Bytes = Piece;
  DisassemblePiece(In, R);
  EXPECT_EQ(Texts(R),
            "mov eax, @1\nmov edx, @2\njmp Strs\ndd -1\ndd $3\ndb 'abc', 0\ndd $4\ndw 'hi', 0\ndb 0, 0\n");
  ExpectTiled(R);
  ASSERT_EQ(R.Labels.size(), 2u);
  EXPECT_EQ(R.Labels[0].Offset, 20u);
  EXPECT_EQ(R.Labels[0].Name, "@1");
  EXPECT_EQ(R.Labels[1].Offset, 28u);
  EXPECT_EQ(R.Labels[1].Name, "@2");
  // The same piece again through the same disassembler: the texts kept from
  // the first run give the same listing.
  TPieceDisassembler D;
  TCodeRoutine Again;
  D.Run(In, Again);
  D.Run(In, Again);
  EXPECT_EQ(Again.Text, R.Text);
}
