// Declaration stream: the dispatch by tag, scope and version, embedded
// lists, skipped items, the type table, memory association, the name index,
// enumeration folding and local-variable slices.
#include <gtest/gtest.h>

#include "DCURecs.h"
#include "ReaderTestUtil.h"

using readertest::Load;
using readertest::LoadError;
using unitbuilder::UnitBuilder;

namespace {

UnitBuilder Start(int Version = 7, uint32_t DataSize = 0) {
  UnitBuilder B(Version);
  B.Header().SourceFile("S.pas").DataBlock(DataSize).TrivialFixups();
  return B;
}

std::vector<TNameDecl*> Chain(TNameDecl* Head) {
  std::vector<TNameDecl*> V;
  for (TDCURec* R = Head; R; R = R->Next) V.push_back(static_cast<TNameDecl*>(R));
  return V;
}

std::string Names(TDCURec* Head) {
  std::string S;
  for (TDCURec* R = Head; R; R = R->Next) S += NameText(R->GetName()) + ";";
  return S;
}

bool Contains(const std::string& S, const std::string& Part) { return S.find(Part) != std::string::npos; }

}  // namespace

TEST(Stream, ListEndingAtOnceAndTypeDefsOutsideTheChain) {
  {
    // The top level ends at its first tag: an empty chain.
    auto U = Load(Start().Stop().Finish());
    EXPECT_EQ(U->Decls, nullptr);
  }
  UnitBuilder B = Start();
  B.TypeDecl("A", 1).VoidDef().TypeDecl("B", 1).Stop();
  auto U = Load(B.Finish());
  auto C = Chain(U->Decls);
  ASSERT_EQ(C.size(), 2u);
  EXPECT_NE(RecCast<TTypeDecl>(C[0]), nullptr);
  EXPECT_NE(RecCast<TTypeDecl>(C[1]), nullptr);
  EXPECT_EQ(U->TypeCount, 1);
  auto* D = RecCast<TVoidDef>(U->GetTypeDef(1));
  ASSERT_NE(D, nullptr);
  // The placeholder left by A gave its name to the definition; B did not rename it.
  EXPECT_EQ(NameText(D->GetName()), "A");
}

// Declarations packed closer than the declaration table's first room
// (one per 16 bytes of the file) make it grow while the records are read:
// the numbers stay in file order and each names its own record.
TEST(Stream, DeclarationNumbersWhileTheTableGrows) {
  UnitBuilder B = Start();
  B.VoidDef();
  constexpr int Count = 3000;
  for (int I = 0; I < Count; ++I) B.TypeDecl("T", 1);
  auto U = Load(B.Stop().Finish());
  ASSERT_GT(U->DeclTable.size(), static_cast<size_t>(U->ImageSize) / 16);
  auto C = Chain(U->Decls);
  ASSERT_EQ(C.size(), static_cast<size_t>(Count));
  for (size_t I = 0; I < C.size(); ++I) {
    ASSERT_EQ(C[I]->DeclIndex, C[0]->DeclIndex + static_cast<int32_t>(I));
    ASSERT_EQ(U->GetDecl(C[I]->DeclIndex), C[I]);
  }
  EXPECT_EQ(static_cast<size_t>(C.back()->DeclIndex), U->DeclTable.size());
}

TEST(Stream, TypeNamesAndPlaceholders) {
  UnitBuilder B = Start(6);
  B.VoidDef().TypeDecl("First", 1).TypeDecl("Again", 1);  // definition read before its name
  B.TypeDecl("Later", 3);                                 // number named before it exists
  B.VoidDef().VoidDef().Stop();
  auto U = Load(B.Finish());
  EXPECT_EQ(NameText(U->GetTypeDef(1)->GetName()), "First");
  EXPECT_EQ(NameText(U->GetTypeDef(3)->GetName()), "Later");
  EXPECT_EQ(U->GetTypeDef(3)->DefPos != nullptr, true);
  EXPECT_EQ(U->GetTypeDef(0), nullptr);
  EXPECT_EQ(U->GetTypeDef(4), nullptr);
  EXPECT_EQ(U->TypeCount, 3);
}

TEST(Stream, TypeTableErrors) {
  {
    // A type number far beyond anything the file could define.
    UnitBuilder B = Start();
    B.TypeDecl("Huge", 0x7FFFFFFF).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Type number 0x7FFFFFFF out of range"));
  }
  {
    // The slot of the next number holds an imported type of another unit.
    UnitBuilder B(6);
    B.Header().SourceFile("S.pas").Uses(0x64, "System").ImpType("Integer").EndEntry();
    B.DataBlock(0).TrivialFixups();
    B.TypeDecl("X", 2).VoidDef().Stop();  // fine: number 2
    auto U = Load(B.Finish());
    EXPECT_EQ(U->TypeCount, 2);
  }
}

TEST(Stream, GrowToCapacityRule) {
  std::vector<TBaseDef*> L;
  GrowTo(L, 10);
  EXPECT_EQ(L.size(), 10u);
  EXPECT_EQ(L.capacity(), 15u);
  GrowTo(L, 5);
  EXPECT_EQ(L.size(), 10u);
  GrowTo(L, 0);
  EXPECT_EQ(L.size(), 10u);
}

TEST(Stream, ScopeDecidesTheRecordClass) {
  UnitBuilder B = Start(6);
  B.VarDecl("V", 0).VarDecl("Abs", 0, 0, 0x40, 0x24);
  B.ProcStart("P", 0).Local(0x21, "A", 0).Local(0x20, "L", 0).Local(0x24, "AL", 0).Stop();
  B.Stop();
  auto U = Load(B.Finish());
  auto C = Chain(U->Decls);
  ASSERT_EQ(C.size(), 3u);
  EXPECT_EQ(C[0]->RecKind(), TVarDecl::OwnKind);
  EXPECT_EQ(C[1]->RecKind(), TAbsVarDecl::OwnKind);
  auto* P = RecCast<TProcDecl>(C[2]);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(Names(P->Params), "A;");
  EXPECT_EQ(Names(P->Locals), "L;AL;");
  EXPECT_EQ(P->Locals->RecKind(), TLocalDecl::OwnKind);
  EXPECT_EQ(P->Locals->Next->RecKind(), TLocalDecl::OwnKind);
}

TEST(Stream, EmbeddedListsGoToTheNextProcedure) {
  {
    // Two embedded lists in a row are joined and handed to P.
    UnitBuilder B = Start();
    B.Byte(0x6A).ConstDecl("C1", 0, 1).Byte(0x6B);
    B.Byte(0x6A).ConstDecl("C2", 0, 2).Byte(0x6B);
    B.Proc("P", 0).Stop();
    auto U = Load(B.Finish());
    auto* P = RecCast<TProcDecl>(U->Decls);
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(Names(P->Embedded), "C1;C2;");
    EXPECT_EQ(P->Next, nullptr);
    // Embedded declarations are numbered before the procedure.
    EXPECT_LT(static_cast<TNameDecl*>(P->Embedded)->DeclIndex, P->DeclIndex);
  }
  {
    // An empty embedded list leaves nothing pending.
    UnitBuilder B = Start();
    B.Byte(0x6A).Byte(0x6B).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->Decls, nullptr);
  }
  {
    UnitBuilder B = Start();
    B.Byte(0x6A).ConstDecl("C1", 0, 1).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Embedded Stop Tag: wrong tag \"c\"=0x63"));
  }
  {
    UnitBuilder B = Start();
    B.Byte(0x6A).ConstDecl("C1", 0, 1).Byte(0x6B).Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Unused embedded list: wrong tag \"c\"=0x63"));
  }
}

TEST(Stream, EmbeddedStopByVersionAndScope) {
  {
    UnitBuilder B = Start(4);
    B.ProcStart("P", 0).Local(0x21, "A", 0).Byte(0x6B).Local(0x20, "L", 0).Stop().Stop();
    auto U = Load(B.Finish());
    auto* P = RecCast<TProcDecl>(U->Decls);
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(Names(P->Locals), "L;");
  }
  {
    UnitBuilder B = Start(3);
    B.ProcStart("P", 0).Local(0x21, "A", 0).Byte(0x6B).Stop().Stop();
    EXPECT_TRUE(Contains(LoadError(B.Finish()), "Stop Tag: wrong tag \"k\"=0x6B"));
  }
  {
    // At the top level 0x6B ends the list.
    UnitBuilder B = Start(7);
    B.Byte(0x6B).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->Decls, nullptr);
  }
}

TEST(Stream, VersionDependentSkips) {
  {
    // 0x34: skipped in version 7 and uses one declaration number.
    UnitBuilder B = Start(7);
    B.Byte(0x34).Name("Skip").Raw({0x01, 0x02, 0x63}).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(Names(U->Decls), "V;");
    ASSERT_EQ(U->DeclTable.size(), 3u);
    EXPECT_EQ(U->DeclTable[1], nullptr);
    EXPECT_EQ(static_cast<TNameDecl*>(U->Decls)->DeclIndex, 3);
  }
  {
    // ... and ends the list in version 6.
    UnitBuilder B = Start(6);
    B.Byte(0x34).Name("Skip").Raw({0x63}).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->Decls, nullptr);
  }
  for (int V : {7, 103, 6, 100, 101}) {
    // 0x9C: four values skipped in versions 7 and 103, the end elsewhere.
    UnitBuilder B = Start(V);
    B.Byte(0x9C).Byte(1).PackedUInt(300).Byte(2).Byte(3).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(Names(U->Decls), (V == 7 || V == 103) ? "V;" : "") << V;
  }
  {
    // 0x92 and 0x93 tables are read past; a lone calling convention too.
    UnitBuilder B = Start(6);
    B.Byte(0x92).PackedUInt(2);
    for (int I = 0; I < 10; ++I) B.PackedUInt(1000);
    B.Byte(0x93).PackedUInt(2).PackedUInt(9);
    B.PackedUInt(1).PackedUInt(2).PackedUInt(2).PackedUInt(4).PackedUInt(5).PackedUInt(6);
    B.PackedUInt(1).PackedUInt(2).PackedUInt(0).PackedUInt(4);
    B.Byte(0x81).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(Names(U->Decls), "V;");
  }  {
    // A count whose five values per entry overflow 32 bits (5 * 0x33333334 =
    // 0x100000004) is not taken as 4 values: the values run out.
    UnitBuilder B = Start(6);
    B.Byte(0x92).PackedUInt(0x33333334);
    for (int I = 0; I < 4; ++I) B.PackedUInt(1);
    B.VarDecl("V", 0).Stop();
    EXPECT_NE(readertest::LoadError(B.Finish()).find("Error at"), std::string::npos);
  }
}

TEST(Stream, FirstProcedureFlag) {
  {
    UnitBuilder B = Start(7);
    B.VarDecl("V", 0).Proc("P", 0).VarDecl("W", 0).Byte(0x9E).Byte(0xFE).Stop();
    auto U = Load(B.Finish());
    // Slots: reserved, V, P, W; then slot 1 := P and the last one goes.
    ASSERT_EQ(U->DeclTable.size(), 3u);
    EXPECT_EQ(U->DeclTable[0], U->DeclTable[2]);
    EXPECT_NE(RecCast<TProcDecl>(U->DeclTable[0]), nullptr);
  }
  {
    UnitBuilder B = Start(7);
    B.Proc("P", 0).Byte(0x9E).Byte(0x01).Stop();
    auto U = Load(B.Finish());
    ASSERT_EQ(U->DeclTable.size(), 2u);
    EXPECT_EQ(U->DeclTable[0], nullptr);
  }
  {
    // Version 6: 0x9E ends the list.
    UnitBuilder B = Start(6);
    B.Byte(0x9E).Byte(0xFE).VarDecl("V", 0).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(U->Decls, nullptr);
  }
}

TEST(Stream, BlocksHandedAlongTheChain) {
  // Two procedures of code sizes 0x30 and 0x10 share one block of 0x40.
  UnitBuilder B(6);
  B.Header().SourceFile("S.pas").DataBlock(0x40).Proc("P", 0x30).Proc("Q", 0x10);
  B.Fixups({{0, 5, 1}, {0x40, 6, 0}}).Stop();
  auto U = Load(B.Finish());
  auto* P = RecCast<TProcDecl>(U->GetDecl(1));
  auto* Q = RecCast<TProcDecl>(U->GetDecl(2));
  ASSERT_TRUE(P && Q);
  EXPECT_EQ(P->BlockOfs, 0);
  EXPECT_EQ(P->MemOfs, 0);
  EXPECT_EQ(Q->BlockOfs, 0x30);
  EXPECT_EQ(Q->MemOfs, 0x30);
}

TEST(Stream, ThreeEntryHandOut) {
  // Kind A at 0 for declaration 1, another kind at 0x10, kind B at 0x40 for
  // declaration 2: declaration 1 gets 0..0x40, declaration 2 nothing.
  UnitBuilder B(6);
  B.Header().SourceFile("S.pas").DataBlock(0x50).Proc("P", 0x40).Proc("Q", 0x10);
  B.Fixups({{0, 5, 1}, {0x10, 1, 2}, {0x30, 6, 2}}).Stop();
  auto U = Load(B.Finish());
  auto* P = RecCast<TProcDecl>(U->GetDecl(1));
  auto* Q = RecCast<TProcDecl>(U->GetDecl(2));
  ASSERT_TRUE(P && Q);
  EXPECT_EQ(P->MemOfs, 0);
  EXPECT_EQ(Q->MemOfs, -1);

  UnitBuilder C(6);
  C.Header().SourceFile("S.pas").DataBlock(0x50).Fixups({{0, 5, 9}, {0x10, 5, 0}}).Stop();
  EXPECT_TRUE(Contains(LoadError(C.Finish()), "Undefined Fixup Declaration: #9"));

  // Declaration number 0 and numbers with the top bit set hand out nothing.
  UnitBuilder D(6);
  D.Header().SourceFile("S.pas").DataBlock(0x50).Fixups({{0, 5, 0}, {0x10, 5, 0x80000000u}, {0x10, 5, 0}}).Stop();
  EXPECT_NO_THROW(Load(D.Finish()));
}

TEST(Stream, EnumerationConstantsFold) {
  // Type 1 an enumeration 0..2; three constants of type 1, then its type declaration.
  auto Build = [](int32_t Lo, int32_t Hi, int Consts) {
    UnitBuilder B = Start(6);
    B.EnumDef(Lo, Hi).VarDecl("Before", 1);
    for (int I = 0; I < Consts; ++I) B.ConstDecl("E" + std::to_string(I), 1, I);
    B.TypeDecl("TE", 1).Stop();
    return B.Finish();
  };
  {
    auto U = Load(Build(0, 2, 3));
    EXPECT_EQ(Names(U->Decls), "Before;TE;");
    auto* E = RecCast<TEnumDef>(U->GetTypeDef(1));
    ASSERT_NE(E, nullptr);
    ASSERT_TRUE(E->NameList);
    ASSERT_EQ(E->NameList->size(), 3u);
    EXPECT_EQ(NameText((*E->NameList)[2]->GetName()), "E2");
    // Folded constants stay in the name index.
    EXPECT_EQ(U->NameIndex.size(), 5u);
  }
  for (auto [Lo, Hi, N] : {std::tuple{1, 3, 3}, std::tuple{0, 2, 2}}) {
    auto U = Load(Build(Lo, Hi, N));
    auto* E = RecCast<TEnumDef>(U->GetTypeDef(1));
    ASSERT_NE(E, nullptr);
    EXPECT_FALSE(E->NameList);
    EXPECT_EQ(Chain(U->Decls).size(), static_cast<size_t>(N) + 2);
  }
  {
    // A second run for the same enumeration stays in the chain.
    UnitBuilder B = Start(6);
    B.EnumDef(0, 1).ConstDecl("A0", 1, 0).ConstDecl("A1", 1, 1).TypeDecl("TA", 1);
    B.ConstDecl("B0", 1, 0).ConstDecl("B1", 1, 1).TypeDecl("TB", 1).Stop();
    auto U = Load(B.Finish());
    EXPECT_EQ(Names(U->Decls), "TA;B0;B1;TB;");
  }
}

TEST(Stream, EnumerationRunsWhereverTheyStandInTheChain) {
  // Types 1 and 2 are enumerations 0..1, type 3 0..0. A run that opens the
  // chain; a run right after a constant of another type; a run that a
  // variable ends (no type declaration after it); a run whose enumeration
  // is defined only after its type declaration was read.
  UnitBuilder B = Start(6);
  B.EnumDef(0, 1).EnumDef(0, 1);
  B.ConstDecl("A0", 1, 0).ConstDecl("A1", 1, 1).TypeDecl("TA", 1);
  B.ConstDecl("X0", 3, 0).ConstDecl("B0", 2, 0).ConstDecl("B1", 2, 1).TypeDecl("TB", 2);
  B.ConstDecl("C0", 1, 0).ConstDecl("C1", 1, 1).VarDecl("V", 1);
  B.ConstDecl("D0", 3, 0).TypeDecl("TD", 3).EnumDef(0, 0).Stop();
  auto U = Load(B.Finish());
  EXPECT_EQ(Names(U->Decls), "TA;X0;TB;C0;C1;V;TD;");
  for (uint32_t T : {1u, 2u, 3u}) {
    auto* E = RecCast<TEnumDef>(U->GetTypeDef(T));
    ASSERT_TRUE(E && E->NameList) << T;
    EXPECT_EQ(E->NameList->size(), T == 3 ? 1u : 2u);
  }
  EXPECT_EQ(NameText((*RecCast<TEnumDef>(U->GetTypeDef(2))->NameList)[1]->GetName()), "B1");
  // Every name is indexed, the folded constants too.
  EXPECT_EQ(U->NameIndex.size(), 12u);
}

TEST(Stream, NameIndexKeepsCaseVariants) {
  UnitBuilder B = Start(6);
  B.VarDecl("beta", 0).VarDecl("Alpha", 0).VarDecl("ALPHA", 0).VarDecl("Hidden", 0, 0, 0);
  B.TypeDecl(".Dot", 0).Proc("gamma", 0).Stop();
  auto U = Load(B.Finish());
  std::string S;
  for (const TNameIndexEntry& E : U->NameIndex) S.append(E.Name) += ";";
  EXPECT_EQ(S, "ALPHA;Alpha;beta;gamma;");
}

TEST(Stream, NameIndexOrderedAtFirstLook) {
  // The load counts the entries; their order is made when they are first
  // looked at, after the enumeration constants have left the chain. Every
  // entry still names its own declaration, and a second look finds the same.
  UnitBuilder B = Start(6);
  B.EnumDef(0, 2).VarDecl("zeta", 1);
  for (int I = 2; I >= 0; --I) B.ConstDecl("E" + std::to_string(I), 1, I);
  B.TypeDecl("TE", 1).Stop();
  auto U = Load(B.Finish());
  ASSERT_EQ(U->NameIndex.size(), 5u);
  EXPECT_FALSE(U->NameIndex.empty());
  std::string S;
  for (const TNameIndexEntry& E : U->NameIndex) {
    EXPECT_EQ(NameText(E.Decl->GetName()), E.Name);
    S.append(E.Name) += ";";
  }
  EXPECT_EQ(S, "E0;E1;E2;TE;zeta;");
  EXPECT_EQ(U->NameIndex[4].Name, "zeta");
  EXPECT_EQ(U->NameIndex.end() - U->NameIndex.begin(), 5);
  // Built again from the chain alone: the folded constants are no longer in it.
  U->BuildNameIndex(U->Decls);
  EXPECT_EQ(U->NameIndex.size(), 2u);
  EXPECT_EQ(U->NameIndex[0].Name, "TE");
}

TEST(Stream, LocalVariableSlices) {
  auto Build = [](int QAt) {
    UnitBuilder B = Start(6);
    B.Proc("P", 0).Proc("Q", 0);  // declaration numbers 1 and 2
    B.Byte(0x94).PackedUInt(8);
    for (int I = 0; I < 8; ++I) {
      uint32_t D = I == 0 ? 1 : I == QAt ? 2 : 0;
      B.PackedUInt(D).PackedUInt(0).PackedInt(I);
    }
    B.Stop();
    return B.Finish();
  };
  {
    auto U = Load(Build(5));
    auto* P = RecCast<TProcDecl>(U->GetDecl(1));
    auto* Q = RecCast<TProcDecl>(U->GetDecl(2));
    EXPECT_EQ(P->LocalVarSlice, &U->LocalVars[0]);
    EXPECT_EQ(P->LocalVarSliceLen, 5);
    EXPECT_EQ(Q->LocalVarSlice, &U->LocalVars[5]);
    EXPECT_EQ(Q->LocalVarSliceLen, 3);
  }
  {
    // Q's entry right after P's belongs to P's slice.
    auto U = Load(Build(1));
    auto* P = RecCast<TProcDecl>(U->GetDecl(1));
    auto* Q = RecCast<TProcDecl>(U->GetDecl(2));
    EXPECT_EQ(P->LocalVarSliceLen, 8);
    EXPECT_EQ(Q->LocalVarSliceLen, 0);
  }
}

TEST(Stream, NestingIsBounded) {
  UnitBuilder B = Start(6);
  for (int I = 0; I < 600; ++I) B.Byte(0x6A);
  EXPECT_TRUE(Contains(LoadError(B.Finish()), "Declaration lists nested too deeply"));
  UnitBuilder C = Start(6);
  for (int I = 0; I < 500; ++I) C.Byte(0x6A);
  for (int I = 0; I < 500; ++I) C.Byte(0x6B);
  C.Stop();
  EXPECT_NO_THROW(Load(C.Finish()));
}

TEST(Stream, ErrorsInsideRecordsReleaseEverything) {
  // Cut files at every position: each must fail cleanly (no leak, no crash
  // in the finishing passes that run after the failure).
  UnitBuilder B(7);
  B.Header().SourceFile("S.pas").Uses(0x64, "System").ImpType("Integer").ImpTypeDef("TObject", 4).EndEntry();
  B.DataBlock(0x40).EnumDef(0, 1).ConstDecl("A0", 2, 0).ConstDecl("A1", 2, 1).TypeDecl("TA", 3);
  B.Byte(0x6A).ConstDecl("R", 0, 1).Byte(0x6B);
  B.ProcStart("P", 0x20).Local(0x21, "X", 1).Local(0x20, "Y", 1).Stop();
  B.Proc("Q", 0x20).Fixups({{0, 6, 9}, {0x40, 6, 0}});
  B.Byte(0x94).PackedUInt(2).PackedUInt(9).PackedUInt(0).PackedInt(0).PackedUInt(0).PackedUInt(0).PackedInt(0);
  B.Stop();
  std::vector<uint8_t> Full = B.Finish();
  ASSERT_NO_THROW(Load(Full));
  for (size_t Cut = 0; Cut < Full.size(); ++Cut) {
    std::vector<uint8_t> Part(Full.begin(), Full.begin() + static_cast<std::ptrdiff_t>(Cut));
    UnitBuilder P(7);
    P.Bytes = Part;
    EXPECT_FALSE(LoadError(P.Finish()).empty()) << Cut;
  }
}
