// Record classes read over small byte buffers: declaration heads, constants,
// typed constants, procedures, locals and methods, import records and type
// definitions with their memory association.
#include <gtest/gtest.h>

#include "DCURecs.h"
#include "ReaderTestUtil.h"

using readertest::ErrorOf;
using readertest::ScanWindow;
using unitbuilder::UnitBuilder;

namespace {

bool Contains(const std::string& S, const std::string& Part) { return S.find(Part) != std::string::npos; }

// Reads the tag at the window start, then constructs the record from the bytes after it.
template <class T, class... A>
std::unique_ptr<T> ReadRec(A... Args) {
  CurrentTag = GetTag();
  return std::make_unique<T>(Args...);
}

// Type definitions belong to the unit's TypeTable once registered. A
// definition that fails leaves its slot cleared, as the declaration stream does.
template <class T>
T* ReadDef() {
  CurrentTag = GetTag();
  const size_t Before = ActiveUnit->TypeTable.size();
  try {
    return new T();
  } catch (...) {
    if (ActiveUnit->TypeTable.size() > Before) ActiveUnit->TypeTable[Before] = nullptr;
    throw;
  }
}

}  // namespace

TEST(Records, HeadNamesFlagsAndStamp) {
  UnitBuilder B(7);
  B.FHead(0x20, "", 0x40, 0x11223344).PackedUInt(1).PackedUInt(2);
  ScanWindow W(7, B.Bytes);
  auto V = ReadRec<TVarDecl>();
  EXPECT_EQ(NameText(V->GetName()), "");
  EXPECT_EQ(V->Stamp, 0x11223344u);
  EXPECT_EQ(W.Offset(), B.Size());
  EXPECT_EQ(ActiveUnit->GetDecl(V->DeclIndex), V.get());

  UnitBuilder C(7);
  C.Byte(0x20).Name("X").PackedUInt(0xBF).PackedUInt(1).PackedUInt(2);
  ScanWindow W2(7, C.Bytes);
  auto V2 = ReadRec<TVarDecl>();
  EXPECT_EQ(V2->Stamp, 0u);
  EXPECT_EQ(W2.Offset(), C.Size());

  // The 9-byte form keeps the low 32 bits of the flags.
  UnitBuilder D(7);
  D.Byte(0x20).Name("Y").Packed9(0x40, 0x7).DWord(5).PackedUInt(1).PackedUInt(2);
  ScanWindow W3(7, D.Bytes);
  auto V3 = ReadRec<TVarDecl>();
  EXPECT_EQ(V3->Flags, 0x40u);
  EXPECT_EQ(V3->Stamp, 5u);
  EXPECT_EQ(W3.Offset(), D.Size());
  EXPECT_TRUE(Contains(ErrorOf([&] { V3->SetMem(0x10, 4); }), "Trying to set memory 0x10[0x4] to Y"));

  TBaseDef Unnamed(nullptr, nullptr, -1);
  EXPECT_EQ(NameText(Unnamed.GetName()), "?");
}

TEST(Records, VisibilityByClass) {
  UnitBuilder B(7);
  B.TypeDecl(".X", 0, 0x40).TypeDecl("X", 0, 0x40).VarDecl("P", 1, 0, 0x40, 0x26).Byte(0x2B).Name("L").PackedUInt(3);
  ScanWindow W(7, B.Bytes);
  auto T1 = ReadRec<TTypeDecl>();
  auto T2 = ReadRec<TTypeDecl>();
  auto P = ReadRec<TTypePDecl>();
  auto L = ReadRec<TLabelDecl>();
  EXPECT_FALSE(T1->IsVisible(0));
  EXPECT_TRUE(T2->IsVisible(0));
  EXPECT_FALSE(T2->IsVisible(1));
  EXPECT_FALSE(P->IsVisible(0));
  EXPECT_FALSE(P->IsVisible(2));
  EXPECT_FALSE(L->IsVisible(0));
  EXPECT_TRUE(L->IsVisible(1));
  EXPECT_EQ(L->CodeOfs, 3u);
}

// Records made outside a read are heap memory, each ended as the class of
// its kind: the sanitizer build's leak and size checks see a record that
// FreeChain leaves behind or gives back with the size of another class.
TEST(Records, FreeChainReleasesEveryRecord) {
  auto* A = new TBaseDef(nullptr, nullptr, -1);
  A->Next = new TImpDef('U', nullptr, 0, nullptr, -1);
  A->Next->Next = new TDLLImpRec(nullptr, 7, nullptr, 0);
  EXPECT_FALSE(A->InArena());
  EXPECT_EQ(A->Next->RecKind(), TRecKind::ImpDef);
  EXPECT_EQ(RecCast<TDLLImpRec>(A->Next->Next)->EntryIndex, 7u);
  FreeChain(A);
  FreeChain(nullptr);
}

TEST(Records, ConstantValues) {
  for (int V : {7, 4}) {
    std::vector<uint8_t> Bytes = {0x25, 0x01, 0x4B, 0x00, 0x04, 0x00, 0x00, 0x0A};
    if (V == 4) Bytes.erase(Bytes.begin() + 5);
    ScanWindow W(V, Bytes);
    auto C = ReadRec<TConstDecl>();
    EXPECT_EQ(C->TypeIndex, 2u);
    EXPECT_EQ(C->OrdValue, 5);
    EXPECT_EQ(C->ValueSize, 0);
    EXPECT_EQ(C->ValueData, nullptr);
    EXPECT_EQ(W.Offset(), Bytes.size());
  }
  {
    ScanWindow W(4, {0x25, 0x01, 0x4B, 0x00, 0x04, 0x00, 0xFE});
    auto C = ReadRec<TConstDecl>();
    EXPECT_EQ(C->OrdValue, -1);
    EXPECT_EQ(C->ValueSize, -1);
  }
  {
    UnitBuilder B(7);
    B.FHead(0x25, "K", 0).PackedUInt(2).PackedUInt(0).PackedUInt(0).Packed9(0x89ABCDEF, 0x12345678);
    ScanWindow W(7, B.Bytes);
    auto C = ReadRec<TConstDecl>();
    EXPECT_EQ(C->OrdValue64(), 0x1234567889ABCDEFll);
  }
  {
    ScanWindow W(7, {0x25, 0x01, 0x4B, 0x00, 0x04, 0x08, 0x08, 1, 2, 3, 4, 5, 6, 7, 8});
    auto C = ReadRec<TConstDecl>();
    EXPECT_EQ(C->AuxValue, 4u);
    EXPECT_EQ(C->ValueSize, 4);
    EXPECT_EQ(C->ValueData, W.Buf.data() + 7);
    EXPECT_EQ(C->OrdValue, 0);
    EXPECT_EQ(W.Offset(), 11u);
  }
  {
    ScanWindow W(7, {0x25, 0x01, 0x4B, 0x00, 0x04, 0x00, 0x20, 1, 2});
    EXPECT_TRUE(Contains(ErrorOf([] { ReadRec<TConstDecl>(); }), "Wrong block size"));
  }
}

TEST(Records, TypedConstantsTypeDeclsAndSetDefault) {
  UnitBuilder B(7);
  B.VarDecl("C", 1, 0x77, 0, 0x27).TypeDecl("T", 1000).TypeDecl("Z", 0).Byte(0x9A).PackedUInt(3).PackedUInt(4);
  ScanWindow W(7, B.Bytes);
  const size_t Types = ActiveUnit->TypeTable.size();
  auto C = ReadRec<TVarCDecl>();
  EXPECT_EQ(C->FileOfs, 0x77);
  EXPECT_EQ(C->Ofs, -1);
  EXPECT_EQ(C->SetMem(0x20, 8), 0);
  EXPECT_EQ(C->Ofs, 0x20);
  EXPECT_EQ(C->MemSize, 8);
  EXPECT_TRUE(Contains(ErrorOf([&] { C->SetMem(0x20, 8); }), "Trying to change typed const C memory to 0x20[0x8]"));
  // Type number 1000 lies beyond ImageSize: refused (see NameType).
  EXPECT_FALSE(ErrorOf([] { ReadRec<TTypeDecl>(); }).empty());
  UnitBuilder B2(7);
  B2.TypeDecl("Z", 0).Byte(0x9A).PackedUInt(3).PackedUInt(4);
  ScanWindow W2(7, B2.Bytes);
  auto Z = ReadRec<TTypeDecl>();
  EXPECT_EQ(ActiveUnit->TypeTable.size(), Types);
  EXPECT_EQ(Z->SetMem(0, 4), 0);
  const size_t Decls = ActiveUnit->DeclTable.size();
  auto S = ReadRec<TSetDeftInfo>();
  EXPECT_EQ(S->DeclIndex, -1);
  EXPECT_EQ(S->SourceDecl, 3u);
  EXPECT_EQ(S->TargetDecl, 4u);
  EXPECT_EQ(ActiveUnit->DeclTable.size(), Decls);
  EXPECT_EQ(NameText(S->GetName()), "?");
  EXPECT_EQ(W2.Offset(), B2.Size());
}

TEST(Records, ProcedureWorkedExampleAndSplit) {
  ScanWindow W(7, {0x28, 0x03, 0x46, 0x6F, 0x6F, 0x80, 0x78, 0x56, 0x34, 0x12, 0x00, 0x20, 0x00, 0x00,
                   0x83, 0x21, 0x01, 0x41, 0x00, 0x02, 0x10, 0x63});
  auto P = ReadRec<TProcDecl>(nullptr);
  EXPECT_EQ(P->Stamp, 0x12345678u);
  EXPECT_EQ(P->CodeSize, 0x10u);
  EXPECT_EQ(P->CallConv, ccStdcall);
  ASSERT_NE(P->Params, nullptr);
  EXPECT_EQ(static_cast<TLocalDecl*>(P->Params)->Ofs, 8);
  EXPECT_EQ(P->Params->Next, nullptr);
  EXPECT_EQ(P->Locals, nullptr);
  EXPECT_TRUE(P->IsVisible(0));

  UnitBuilder B(7);
  B.ProcStart("Q", 0x10, 0).Local(0x21, "A", 1).Local(0x22, "B", 1).Local(0x23, "R", 1).Local(0x20, "X", 1)
      .Local(0x20, "Y", 1).Stop();
  B.ProcStart("S", 0x20, 0).Local(0x20, "X", 1).Local(0x21, "A", 1).Stop();
  ScanWindow W2(7, B.Bytes);
  auto Q = ReadRec<TProcDecl>(nullptr);
  auto S = ReadRec<TProcDecl>(nullptr);
  EXPECT_EQ(Q->CallConv, ccRegister);
  EXPECT_EQ(NameText(Q->Params->Next->GetName()), "B");
  EXPECT_EQ(Q->Params->Next->Next, nullptr);
  EXPECT_EQ(NameText(Q->Locals->GetName()), "R");
  EXPECT_EQ(NameText(Q->Locals->Next->Next->GetName()), "Y");
  EXPECT_EQ(S->Params, nullptr);
  EXPECT_NE(S->Locals->Next, nullptr);

  // Two procedures sharing one code block along their chain.
  Q->Next = S.get();
  EXPECT_EQ(Q->SetMem(0x100, 0x30), 0x20);
  EXPECT_EQ(S->SetMem(0x110, 0x20), 0);
  EXPECT_EQ(S->MemOfs, 0x110);
  EXPECT_TRUE(Contains(ErrorOf([&] { Q->SetMem(0x100, 0x30); }), "Trying to change procedure Q memory to 0x100[0x30]"));
  Q->Next = nullptr;
}

TEST(Records, ProcedureBlocksHandedOutByTheDriver) {
  UnitBuilder B(7);
  B.Proc("A", 0x10, 0).Proc("B", 0x20, 0).Proc("C", 0x10, 0);
  ScanWindow W(7, B.Bytes);
  auto A = ReadRec<TProcDecl>(nullptr);
  auto Bp = ReadRec<TProcDecl>(nullptr);
  auto C = ReadRec<TProcDecl>(nullptr);
  A->Next = Bp.get();
  Bp->Next = C.get();
  ActiveUnit->AssignDeclMem(A->DeclIndex, 0x100, 0x30);
  EXPECT_EQ(A->MemOfs, 0x100);
  EXPECT_EQ(Bp->BlockOfs, 0x10);
  EXPECT_EQ(Bp->MemOfs, 0x110);
  EXPECT_EQ(C->MemOfs, -1);
  EXPECT_TRUE(Contains(ErrorOf([&] { C->SetMem(0, 0x0F); }), "Procedure C: memory size mismatch (.[0x10]>0x0[0xF])"));
  A->Next = Bp->Next = nullptr;
}

TEST(Records, NoBodyNamesAndVersion2) {
  struct Case { int V; const char* Name; bool Body; };
  for (Case K : {Case{5, ".", false}, Case{7, "", false}, Case{5, "..", true}, Case{6, "..", false},
                 Case{100, ".x", false}, Case{7, ".x", true}}) {
    UnitBuilder B(K.V);
    if (K.Body) B.Proc(K.Name, 4, 0); else B.NoBodyProc(K.Name, 4, 0);
    B.Byte(0x99);
    ScanWindow W(K.V, B.Bytes);
    auto P = ReadRec<TProcDecl>(nullptr);
    EXPECT_EQ(W.Offset(), B.Size() - 1) << K.V << " " << K.Name;
  }
  ScanWindow W(2, {0x28, 0x01, 0x50, 0x00, 0x00, 0x04, 0x0E, 0x63});
  auto P = ReadRec<TProcDecl>(nullptr);
  EXPECT_EQ(P->ResultType, 7u);
  EXPECT_EQ(P->ProcFlags, 0);
}

TEST(Records, FailedProcedureReleasesWhatItRead) {
  // A unit whose procedure list ends on a wrong tag, with an embedded list
  // handed to it: the sanitizer run checks that nothing leaks.
  UnitBuilder B(7);
  B.MinimalStart().Byte(0x6A).ConstDecl("E", 1, 1).Byte(0x6B);
  B.ProcStart("P", 4, 0).Local(0x21, "A", 1).Byte(0x64);
  EXPECT_TRUE(Contains(readertest::LoadError(B.Finish()), "Stop Tag: wrong tag \"d\"=0x64"));
}

TEST(Records, LocalsAndMethods) {
  UnitBuilder B(2);
  B.Local(0x20, "L", 5, -3).Byte(0x2D).Name("M").PackedUInt(0).PackedUInt(0x18).PackedUInt(6);
  ScanWindow W(2, B.Bytes);
  auto L = ReadRec<TLocalDecl>(dsRecord);
  auto M = ReadRec<TMethodDecl>(dsClass);
  EXPECT_EQ(L->TypeIndex, 5u);
  EXPECT_EQ(L->Ofs, -3);
  EXPECT_EQ(L->IntfAttrs, -1);
  EXPECT_EQ(M->Ofs, 0x18);
  EXPECT_EQ(M->TypeIndex, 6u);

  UnitBuilder C(7);
  C.Byte(0x2D).Name("I").PackedUInt(0).PackedUInt(1).PackedUInt(2).PackedUInt(3);
  C.Byte(0x2D).Name("K").PackedUInt(0).PackedUInt(1).PackedUInt(3).PackedUInt(9);
  ScanWindow W2(7, C.Bytes);
  auto I = ReadRec<TMethodDecl>(dsInterface);
  auto K = ReadRec<TMethodDecl>(dsClass);
  EXPECT_TRUE(I->InInterface);
  EXPECT_EQ(I->IntfAttrs, 2);
  EXPECT_EQ(I->ImplHandle, 0u);
  EXPECT_EQ(K->IntfAttrs, -1);
  EXPECT_EQ(K->ImplHandle, 9u);
  EXPECT_EQ(W2.Offset(), C.Size());

  UnitBuilder D(5);
  D.Byte(0x2D).Name("N").PackedUInt(0).PackedUInt(1).PackedUInt(3);
  D.Byte(0x2D).Name("").PackedUInt(0).PackedUInt(1).PackedUInt(3).PackedUInt(9);
  ScanWindow W3(5, D.Bytes);
  auto N = ReadRec<TMethodDecl>(dsClass);
  auto U = ReadRec<TMethodDecl>(dsClass);
  EXPECT_EQ(N->ImplHandle, 0u);
  EXPECT_EQ(U->ImplHandle, 9u);
  EXPECT_EQ(W3.Offset(), D.Size());
}

TEST(Records, ImportedTypeData) {
  uint8_t Name[] = {1, 'T'};
  TImpTypeDefRec R(Name, 7, 0x10, nullptr, 2);
  EXPECT_EQ(NameText(R.GetName()), "?");
  EXPECT_EQ(R.UnitIndex, -1);
  EXPECT_EQ(R.OwnerUnit, 2);
  EXPECT_EQ(R.TypeName, Name);
  EXPECT_EQ(R.Kind, 'T');
  EXPECT_TRUE(Contains(ErrorOf([&] { R.SetMem(0, 0x11); }), "ImpRTTI ?: memory size mismatch (.[0x10]<>0x0[0x11])"));
  EXPECT_EQ(R.SetMem(0x40, 0x10), 0);
  EXPECT_EQ(R.RTTIOfs, 0x40);
  EXPECT_TRUE(Contains(ErrorOf([&] { R.SetMem(0x40, 0x10); }), "Trying to change ImpRTTI(?) memory to 0x40[0x10]"));
  TDLLImpRec D(Name, 0x1234, nullptr, 0);
  EXPECT_EQ(D.EntryIndex, 0x1234u);
}

TEST(TypeDefs, HeadRegistrationAndMemory) {
  UnitBuilder B(3);
  B.TypeDefHead(0x53, 0, 4).Byte(0x00).TypeDefHead(0x53, 8, 4).Byte(0x01);
  ScanWindow W(3, B.Bytes);
  const size_t N = ActiveUnit->TypeTable.size();
  auto* V = ReadDef<TVariantDef>();
  auto* V2 = ReadDef<TVariantDef>();
  EXPECT_EQ(ActiveUnit->GetTypeDef(N + 1), V);
  EXPECT_EQ(V->VariantB, 0u);  // version 3 reads the byte
  EXPECT_EQ(V2->VariantB, 1u);
  EXPECT_EQ(V->SetMem(0x8, 0), 0);
  EXPECT_TRUE(Contains(ErrorOf([&] { V->SetMem(0x8, 0); }), "Trying to change RTTI(?) memory to 0x8[0x0]"));
  EXPECT_TRUE(Contains(ErrorOf([&] { V2->SetMem(0x8, 4); }), "RTTI ?: memory size mismatch (.[0x8]<>0x8[0x4])"));

  ScanWindow W2(2, {0x53, 0x00, 0x08, 0x00, 0x99});
  ReadDef<TVariantDef>();
  EXPECT_EQ(W2.Offset(), 4u);
}

TEST(TypeDefs, BoundsRereadWithHighWords) {
  UnitBuilder B(4);
  B.TypeDefHead(0x44, 0, 8).PackedUInt(0).Packed9(0xFFFFFFFE, 0xFFFFFFFF).Packed9(5, 1).Byte(0x33);
  ScanWindow W(4, B.Bytes);
  auto* R = ReadDef<TRangeDef>();
  EXPECT_EQ(R->BoundsPos, W.Buf.data() + 5);
  EXPECT_EQ(R->RangeB, 0x33);
  EXPECT_EQ(R->BoundsLen, 18);
  int64_t Lo = 0, Hi = 0;
  R->GetBounds(Lo, Hi);
  EXPECT_EQ(Lo, -2);
  EXPECT_EQ(Hi, 0x100000005ll);

  // A range at the very end of the image: the re-read stays inside it.
  ScanWindow W2(7, {0x43, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00});
  auto* E = ReadDef<TEnumDef>();
  EXPECT_EQ(E->BoundsLen, 3);
  E->GetBounds(Lo, Hi);
  EXPECT_EQ(Hi, 2);
  EXPECT_EQ(E->NameList, nullptr);
}

// The long packed form carries a high dword from version 4 on: a range
// answers by the rules of its own unit, also after a unit of another version
// was loaded (and is the one being read).
TEST(TypeDefs, BoundsByTheRulesOfTheirOwnUnit) {
  UnitBuilder Seven(7);
  Seven.MinimalStart("Seven").TypeDefHead(0x44, 0, 8).PackedUInt(0).Packed9(0xFFFFFFFE, 0xFFFFFFFF);
  Seven.Packed9(5, 1).Byte(0).Stop();
  // Version 3 takes five bytes of a long form whatever its upper nibble.
  UnitBuilder Three(3);
  Three.MinimalStart("Three").TypeDefHead(0x44, 0, 8).PackedUInt(0).Raw({0x1F, 0x10, 0, 0, 0});
  Three.PackedInt(100).Byte(0).Stop();
  auto Bounds = [](const TUnit& U) {
    auto* R = RecCast<TRangeDef>(U.GetTypeDef(1));
    EXPECT_NE(R, nullptr);
    std::pair<int64_t, int64_t> LoHi{0, 0};
    if (R) R->GetBounds(LoHi.first, LoHi.second);
    return LoHi;
  };
  const std::pair<int64_t, int64_t> SevenBounds{-2, 0x100000005ll}, ThreeBounds{16, 100};
  auto A = readertest::Load(Seven.Finish());
  EXPECT_EQ(Bounds(*A), SevenBounds);
  auto B = readertest::Load(Three.Finish(), false);
  ASSERT_EQ(ActiveUnit.get(), B.get());
  EXPECT_EQ(Bounds(*A), SevenBounds);
  EXPECT_EQ(Bounds(*B), ThreeBounds);
  auto C = readertest::Load(Seven.Finish(), false);
  EXPECT_EQ(Bounds(*B), ThreeBounds);
  EXPECT_EQ(Bounds(*C), SevenBounds);
  C.reset();
  // No unit is being read any more.
  EXPECT_EQ(Bounds(*B), ThreeBounds);
  EXPECT_EQ(Bounds(*A), SevenBounds);
}

TEST(TypeDefs, StructuredKinds) {
  // A record whose member list holds a nested definition: the record is
  // numbered first, the definition after it follows the nested one.
  UnitBuilder B(7);
  B.MinimalStart().TypeDefHead(0x4D, 0, 8).Byte(0).Local(0x2C, "F", 2).RangeDef(0, 9).Stop().RangeDef(1, 2);
  B.TypeDefHead(0x48).PackedUInt(0).PackedUInt(1).Raw({0x81, 0x01, 0x83, 0x6A}).Local(0x21, "A", 1).Stop();
  B.TypeDefHead(0x48).PackedUInt(0).PackedUInt(1).Stop();
  B.TypeDefHead(0x46).PackedUInt(0).PackedUInt(0).PackedInt(4).PackedUInt(0).PackedUInt(0).PackedUInt(0)
      .PackedUInt(0).Byte(0).PackedInt(-1).Stop();
  B.TypeDefHead(0x54).PackedUInt(0).PackedInt(0).Fill(16, 0xAB).Byte(0x04).Byte(0x30).Name("D").PackedUInt(0)
      .PackedUInt(1).PackedUInt(2).PackedUInt(0x33).Stop();
  B.Stop();
  auto U = readertest::Load(B.Finish());
  ASSERT_EQ(U->TypeTable.size(), 7u);
  auto* Rec = RecCast<TRecDef>(U->TypeTable[0]);
  ASSERT_NE(Rec, nullptr);
  auto* Nested = RecCast<TRangeDef>(U->TypeTable[1]);
  ASSERT_NE(Nested, nullptr);
  int64_t Lo = -1, Hi = -1;
  Nested->GetBounds(Lo, Hi);
  EXPECT_EQ(Hi, 9);
  EXPECT_NE(RecCast<TLocalDecl>(Rec->Fields), nullptr);
  EXPECT_EQ(static_cast<TRangeDef*>(U->TypeTable[2])->Size, 4);
  auto* PT = RecCast<TProcTypeDef>(U->TypeTable[3]);
  ASSERT_NE(PT, nullptr);
  EXPECT_EQ(PT->CallConv, ccStdcall);
  EXPECT_EQ(PT->AddSz, 3u);
  EXPECT_NE(PT->Fields, nullptr);
  auto* PT2 = RecCast<TProcTypeDef>(U->TypeTable[4]);
  EXPECT_EQ(PT2->AddSz, 0u);
  EXPECT_EQ(PT2->Fields, nullptr);
  auto* Cl = RecCast<TClassDef>(U->TypeTable[5]);
  ASSERT_NE(Cl, nullptr);
  EXPECT_EQ(Cl->IntfCount, -1);
  EXPECT_TRUE(Cl->IntfPairs.empty());
  EXPECT_NE(RecCast<TInterfaceDef>(U->TypeTable[6]), nullptr);
}

TEST(TypeDefs, InterfacesAndBadMemberLists) {
  UnitBuilder B(7);
  B.TypeDefHead(0x54).PackedUInt(0).PackedInt(0).Fill(16, 0xAB).Byte(0x04).Byte(0x30).Name("D").PackedUInt(0)
      .PackedUInt(1).PackedUInt(2).PackedUInt(0x33).Stop();
  ScanWindow W(7, B.Bytes);
  auto* I = ReadDef<TInterfaceDef>();
  EXPECT_EQ(I->GUID, W.Buf.data() + 6);
  auto* D = RecCast<TDispPropDecl>(I->Fields);
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->Ofs, 0x33);
  EXPECT_EQ(D->IntfAttrs, 2);

  UnitBuilder C(7);
  C.TypeDefHead(0x4D).Byte(0).Local(0x2C, "F", 2).Byte(0x64);
  ScanWindow W2(7, C.Bytes);
  EXPECT_TRUE(Contains(ErrorOf([] { ReadDef<TRecDef>(); }), "Stop Tag: wrong tag"));

  // A huge interface count fails when the values run out, not on allocation.
  UnitBuilder E(7);
  E.TypeDefHead(0x46).PackedUInt(0).PackedUInt(0).PackedInt(4).PackedUInt(0).PackedUInt(0).PackedUInt(0)
      .PackedUInt(0).Byte(0).PackedInt(0x7FFFFFFF).PackedUInt(1);
  ScanWindow W3(7, E.Bytes);
  EXPECT_TRUE(Contains(ErrorOf([] { ReadDef<TClassDef>(); }), "Wrong block size"));
}
