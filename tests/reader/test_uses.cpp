// Source files and used units: unit name, entry kinds, import records and
// their numbers in DeclTable and TypeTable.
#include <gtest/gtest.h>

#include "DCURecs.h"
#include "ReaderTestUtil.h"

using readertest::Load;
using readertest::LoadError;
using unitbuilder::UnitBuilder;

namespace {

std::vector<uint8_t> Finish(UnitBuilder& B) {
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

std::string Name(TDCURec* R) { return NameText(R->GetName()); }

}  // namespace

TEST(Uses, UnitNameFromTheFirstSourceFile) {
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"D:\\src\\Main.Part.pas", "Main"},
      {"/home/me/src/Other.pas", "Other"},
      {"NoDot", "NoDot"},
      {"C:Drive.pas", "Drive"},
  };
  for (auto& [File, Unit] : Cases) {
    UnitBuilder B(6);
    B.Header().SourceFile(File, 0x72).SourceFile("Second.pas");
    auto U = Load(Finish(B));
    EXPECT_EQ(U->UnitName, Unit) << File;
  }
}

TEST(Uses, SourceFilesInFileOrderWithEveryKind) {
  UnitBuilder B(5);
  B.Header().SourceFile("A.pas", 0x70, 0x11111111, 3).SourceFile("B.obj", 0x71, 0xFFFFFFFF);
  B.SourceFile("C.res", 0x72, 7).SourceFile("D.asm", 0x73).SourceFile("E.inc", 0x70);
  auto U = Load(Finish(B));
  std::string Seen;
  for (const TSourceFileRec* S = U->SourceFiles.get(); S; S = S->Next.get())
    Seen += std::string(1, static_cast<char>(S->Kind())) + NameText(S->NamePos()) + ";";
  EXPECT_EQ(Seen, "pA.pas;qB.obj;rC.res;sD.asm;pE.inc;");
  EXPECT_EQ(U->SourceFiles->FileTime, 0x11111111u);
  EXPECT_EQ(U->SourceFiles->Extra, 3u);
  EXPECT_EQ(U->SourceFiles->Next->FileTime, 0xFFFFFFFFu);

  UnitBuilder C(5);
  C.Header().Uses(0x64, "System").EndEntry();
  EXPECT_NE(LoadError(Finish(C)).find("): No source files"), std::string::npos);
}

TEST(Uses, EntriesRecordsAndNumbers) {
  for (int V : {6, 7}) {
    UnitBuilder B(V);
    B.Header().SourceFile("M.pas");
    B.Uses(0x64, "System", 0xAAAA0001).ImpType("Integer", 0x10).ImpTypeDef("TObject", 12, 0x20).ImpAddr("Halt", 0x30).EndEntry();
    B.Uses(0x64, "Empty").EndEntry();
    B.Uses(0x65, "Impl", 0xBBBB).ImpAddr("X").EndEntry();
    B.Uses(0x68, "kernel32.dll", 5).ImpAddr("GetTickCount", 0x123).ImpAddr("", 77).EndEntry();
    auto U = Load(Finish(B));
    const size_t Reserved = V == 7 ? 1 : 0;
    ASSERT_EQ(U->UsedUnits.size(), 4u);
    EXPECT_EQ(NameText(U->UsedUnits[0]->NamePos), "System");
    EXPECT_EQ(U->UsedUnits[0]->UseKind, InterfaceUses);
    EXPECT_EQ(U->UsedUnits[2]->UseKind, ImplementationUses);
    EXPECT_EQ(U->UsedUnits[3]->UseKind, DllImports);

    TImpDef* Sys = U->UsedUnits[0]->UnitDef.get();
    EXPECT_EQ(Sys->Kind, '?');
    EXPECT_EQ(Sys->Stamp, 0xAAAA0001u);
    EXPECT_EQ(Sys->UnitIndex, 0);
    EXPECT_EQ(U->UsedUnits[2]->UnitDef->Kind, 'U');
    EXPECT_EQ(U->UsedUnits[3]->UnitDef->Kind, 'D');
    EXPECT_EQ(U->UsedUnits[3]->UnitDef->UnitIndex, 3);
    EXPECT_EQ(U->UsedUnits[1]->ImportChain, nullptr);

    // First record appended gets number 1 (version 6) or 2 (version 7).
    ASSERT_GE(U->DeclTable.size(), Reserved + 1);
    EXPECT_EQ(U->GetDecl(static_cast<int64_t>(Reserved) + 1), Sys);

    // The chain of System: Integer, TObject, Halt in file order.
    TDCURec* R = U->UsedUnits[0]->ImportChain;
    auto* T1 = RecCast<TImpDef>(R);
    ASSERT_NE(T1, nullptr);
    EXPECT_EQ(T1->Kind, 'T');
    EXPECT_EQ(Name(T1), "Integer");
    EXPECT_EQ(T1->UnitIndex, 0);
    auto* T2 = RecCast<TImpTypeDefRec>(R->Next);
    ASSERT_NE(T2, nullptr);
    EXPECT_EQ(Name(T2), "?");
    EXPECT_EQ(NameText(T2->TypeName), "TObject");
    EXPECT_EQ(T2->OwnerUnit, 0);
    EXPECT_EQ(T2->UnitIndex, -1);
    EXPECT_EQ(T2->RTTISize, 12);
    EXPECT_EQ(T2->Stamp, 0x20u);
    auto* A = RecCast<TImpDef>(R->Next->Next);
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(A->Kind, 'A');
    EXPECT_EQ(R->Next->Next->Next, nullptr);

    // Types take type numbers 1 and 2.
    EXPECT_EQ(U->TypeCount, 2);
    EXPECT_EQ(U->GetTypeDef(1), T1);
    EXPECT_EQ(U->GetTypeDef(2), T2);

    // DLL imports: entry index, empty name kept.
    auto* D1 = RecCast<TDLLImpRec>(U->UsedUnits[3]->ImportChain);
    ASSERT_NE(D1, nullptr);
    EXPECT_EQ(D1->EntryIndex, 0x123u);
    EXPECT_EQ(D1->UnitIndex, 3);
    auto* D2 = RecCast<TDLLImpRec>(D1->Next);
    ASSERT_NE(D2, nullptr);
    EXPECT_EQ(Name(D2), "");
    EXPECT_EQ(D2->EntryIndex, 77u);

    // Declaration numbers: System, Integer, TObject, Halt, Empty, Impl, X, dll, 2 imports.
    EXPECT_EQ(U->DeclTable.size(), Reserved + 10);
  }
}

TEST(Uses, InterfaceListFollowedByDllList) {
  UnitBuilder B(3);
  B.Header().SourceFile("M.pas").Uses(0x64, "A").EndEntry().Uses(0x68, "x.dll").ImpAddr("F").EndEntry();
  auto U = Load(Finish(B));
  ASSERT_EQ(U->UsedUnits.size(), 2u);
  EXPECT_EQ(U->UsedUnits[1]->UseKind, DllImports);
}

TEST(Uses, SecondValueOnlyInVersion7) {
  // A version 6 entry read with a second dword would misread everything after.
  for (int V : {2, 5, 6, 7, 100, 103}) {
    UnitBuilder B(V);
    B.Header().SourceFile("M.pas").Uses(0x64, "Sys").ImpAddr("P").EndEntry();
    auto U = Load(Finish(B));
    ASSERT_EQ(U->UsedUnits.size(), 1u) << V;
    EXPECT_EQ(Name(U->UsedUnits[0]->ImportChain), "P") << V;
  }
}

TEST(Uses, UnexpectedSubEntryTags) {
  {
    UnitBuilder B(7);
    B.Header().SourceFile("M.pas").Uses(0x64, "Sys").Byte(0x25);
    EXPECT_NE(LoadError(Finish(B)).find("Unexpected tag: 0x25"), std::string::npos);
  }
  for (uint8_t T : {0x66, 0x6E}) {
    // Type sub-entries have no place under a DLL.
    UnitBuilder B(7);
    B.Header().SourceFile("M.pas").Uses(0x68, "x.dll").Byte(T).Name("T").DWord(0).EndEntry();
    char Expect[40];
    std::snprintf(Expect, sizeof Expect, "Unexpected tag: 0x%X", T);
    EXPECT_NE(LoadError(Finish(B)).find(Expect), std::string::npos);
  }
  {
    // An entry cut short by the end of the file.
    UnitBuilder B(7);
    B.Header().SourceFile("M.pas").Uses(0x64, "Sys").ImpAddr("P");
    EXPECT_NE(LoadError(B.Finish()).find("Wrong block size 1"), std::string::npos);
  }
}

TEST(Uses, ImportedTypeDataBlockIsChecked) {
  // Fixups hand the imported type data block of the right size to TObject.
  UnitBuilder B(6);
  B.Header().SourceFile("M.pas").Uses(0x64, "System").ImpTypeDef("TObject", 8).EndEntry();
  B.DataBlock(0x20).Fixups({{0, 5, 2}, {8, 5, 0}}).Stop();
  auto U = Load(B.Finish());
  auto* T = RecCast<TImpTypeDefRec>(U->GetDecl(2));
  ASSERT_NE(T, nullptr);
  EXPECT_EQ(T->RTTIOfs, 0);

  UnitBuilder C(6);
  C.Header().SourceFile("M.pas").Uses(0x64, "System").ImpTypeDef("TObject", 8).EndEntry();
  C.DataBlock(0x20).Fixups({{0, 5, 2}, {9, 5, 0}}).Stop();
  EXPECT_NE(LoadError(C.Finish()).find("ImpRTTI ?: memory size mismatch (.[0x8]<>0x0[0x9])"),
            std::string::npos);

  UnitBuilder D(6);
  D.Header().SourceFile("M.pas").Uses(0x64, "System").ImpAddr("Halt").EndEntry();
  D.DataBlock(0x20).Fixups({{0, 5, 2}, {4, 5, 0}}).Stop();
  EXPECT_NE(LoadError(D.Finish()).find("Trying to set memory 0x0[0x4] to Halt"), std::string::npos);
}
