// Record memory: the records read with a unit come from the unit's arena,
// records made at any other time from the heap, and either kind may be
// deleted while any number of units (and arenas) are alive.
#include <gtest/gtest.h>

#include <thread>
#include <malloc.h>

#include <cstring>

#include "DCURecs.h"
#include "LargeUnit.h"
#include "ReaderTestUtil.h"

namespace {

TEST(RecordArena, UnitRecordsComeFromTheUnitsArenaOthersFromTheHeap) {
  auto U = readertest::Load(unitbuilder::LargeUnit(20));
  ASSERT_NE(U->Decls, nullptr);
  // Made after the load: a heap record, deleted after the unit is gone.
  auto* Loose = new TBaseDef(nullptr, nullptr, -1);
  if (RecordArenasInUse()) {
    EXPECT_TRUE(U->RecordMemory().Owns(U->Decls));
    EXPECT_TRUE(U->RecordMemory().Owns(U->TypeTable.back()));
    EXPECT_GT(U->RecordMemory().BytesUsed(), 20u * 25 * sizeof(TTypeDecl) / 2);
    EXPECT_FALSE(U->RecordMemory().Owns(Loose));
  } else {
    EXPECT_EQ(U->RecordMemory().BytesUsed(), 0u);
  }
  U.reset();
  DestroyRecord(Loose);
}

TEST(RecordArena, UnitsReleasedInAnyOrderAndAfterFailedLoads) {
  const auto Bytes = unitbuilder::LargeUnit(30);
  auto A = readertest::Load(Bytes);
  auto B = readertest::Load(Bytes, false);
  auto C = readertest::Load(Bytes, false);
  B.reset();  // the middle one of the live arenas
  // A load that fails part-way releases what it read; the others stay intact.
  std::vector<uint8_t> Cut(Bytes.begin(), Bytes.begin() + static_cast<std::ptrdiff_t>(Bytes.size() / 2));
  unitbuilder::UnitBuilder Fix(7);
  Fix.Bytes = Cut;
  EXPECT_NE(readertest::LoadError(Fix.Finish(), false), "");
  A.reset();
  auto D = readertest::Load(Bytes, false);  // may reuse released blocks
  for (const TUnit* U : {C.get(), D.get()}) {
    size_t N = 0;
    for (const TDCURec* R = U->Decls; R; R = R->Next) ++N;
    EXPECT_EQ(N, 30u * 8);
  }
  D.reset();
  C.reset();
}

// Releasing a unit visits only the records of its arena that hold heap
// memory of their own (enumerations with their name lists, classes with
// interface pairs); whether that memory comes back is seen in the heap.
TEST(RecordArena, ReleaseGivesBackTheHeapMemoryOfRecords) {
  unitbuilder::UnitBuilder B(7);
  B.MinimalStart();
  for (int I = 0; I < 200; ++I) {
    // A class with two interface pairs and a field; an enumeration whose
    // constants fold into its name list.
    B.TypeDefHead(0x46).PackedUInt(0).PackedUInt(0).PackedInt(4).PackedUInt(0).PackedUInt(0).PackedUInt(0)
        .PackedUInt(0).Byte(0).PackedInt(2).PackedUInt(1).PackedUInt(2).PackedUInt(3).PackedUInt(4)
        .Local(0x2C, "F", 1).Stop();
    B.EnumDef(0, 1);
    B.ConstDecl("A" + std::to_string(I), 2 * I + 2, 0).ConstDecl("B" + std::to_string(I), 2 * I + 2, 1);
    B.TypeDecl("T" + std::to_string(I), 2 * I + 2);
  }
  const auto Bytes = B.Stop().Finish();
  {
    auto U = readertest::Load(Bytes);
    auto* C = RecCast<TClassDef>(U->GetTypeDef(1));
    ASSERT_NE(C, nullptr);
    EXPECT_EQ(C->IntfPairs.size(), 4u);
    auto* E = RecCast<TEnumDef>(U->GetTypeDef(2));
    ASSERT_NE(E, nullptr);
    ASSERT_TRUE(E->NameList);
    EXPECT_EQ(E->NameList->size(), 2u);
  }
  // The first load leaves its arena blocks for the next ones.
  const size_t Before = mallinfo2().uordblks;
  for (int Round = 0; Round < 50; ++Round) readertest::Load(Bytes, false);
  const size_t After = mallinfo2().uordblks;
  // 50 loads of 200 lists and 200 pair vectors would leave megabytes.
  EXPECT_LT(After, Before + 64 * 1024) << "heap in use grew from " << Before << " to " << After;
}

// Units read one after another reuse the blocks of the units released
// before them: the image and the arena blocks of a unit read again are the
// ones it had, and the blocks kept between the loads do not grow.
TEST(UnitMemory, AUnitReadAgainGetsItsBlocksBack) {
  if (!RecordArenasInUse()) GTEST_SKIP() << "sanitizer build: every block is a heap allocation of its own";
  const auto Bytes = unitbuilder::LargeUnit(600);
  ASSERT_GT(Bytes.size(), size_t{300} << 10);
  const uint8_t* Image = nullptr;
  size_t Kept = 0;
  for (int Round = 0; Round < 4; ++Round) {
    {
      auto U = readertest::Load(Bytes, false);
      ASSERT_EQ(static_cast<size_t>(U->ImageSize), Bytes.size());
      EXPECT_EQ(std::memcmp(U->Image.get(), Bytes.data(), Bytes.size()), 0);
      if (Round > 0) {
        EXPECT_EQ(U->Image.get(), Image) << "round " << Round;
      }
      Image = U->Image.get();
    }
    if (Round > 0) {
      EXPECT_EQ(SpareBlockBytes(), Kept) << "round " << Round;
    }
    Kept = SpareBlockBytes();
  }
  EXPECT_GE(Kept, Bytes.size());
}

// Each thread keeps the blocks of its own units (a unit is read and
// released on one thread): a unit read on another thread leaves this
// thread's kept blocks as they were, and that thread's go with it.
TEST(UnitMemory, EachThreadKeepsTheBlocksOfItsOwnUnits) {
  if (!RecordArenasInUse()) GTEST_SKIP() << "sanitizer build: every block is a heap allocation of its own";
  const auto Bytes = unitbuilder::LargeUnit(600);
  { auto U = readertest::Load(Bytes, false); }
  const size_t Here = SpareBlockBytes();
  ASSERT_GE(Here, Bytes.size());
  size_t There = 0, ThereBefore = 0;
  std::thread T([&] {
    ThereBefore = SpareBlockBytes();
    { auto U = readertest::Load(Bytes, false); }
    There = SpareBlockBytes();
  });
  T.join();
  EXPECT_EQ(ThereBefore, 0u);
  EXPECT_GE(There, Bytes.size());
  EXPECT_EQ(SpareBlockBytes(), Here);
}

// A thread's block store keeps the blocks of the units released while it
// lives and frees them with it; the store the thread had before is its
// store again, as it was.
TEST(UnitMemory, AThreadBlockStoreKeepsTheBlocksWhileItLives) {
  if (!RecordArenasInUse()) GTEST_SKIP() << "sanitizer build: every block is a heap allocation of its own";
  const auto Bytes = unitbuilder::LargeUnit(600);
  { auto U = readertest::Load(Bytes, false); }
  const size_t Before = SpareBlockBytes();
  size_t Inner = 0, Outer = 0, After = SIZE_MAX;
  std::thread T([&] {
    {
      const TThreadBlockStore Store;
      { auto U = readertest::Load(Bytes, false); }
      Outer = SpareBlockBytes();
      {
        const TThreadBlockStore Nested;
        Inner = SpareBlockBytes();
      }
      EXPECT_EQ(SpareBlockBytes(), Outer);
    }
    After = SpareBlockBytes();
  });
  T.join();
  EXPECT_GE(Outer, Bytes.size());
  EXPECT_EQ(Inner, 0u);
  EXPECT_EQ(After, 0u);
  EXPECT_EQ(SpareBlockBytes(), Before);
}

// The image of a large unit is mapped at a 2 MiB boundary (so that the
// system can back it with large pages); a small one is heap memory. Both
// hold the file's bytes, and both go back when the unit goes.
TEST(UnitMemory, LargeImagesLieOnLargePageBoundaries) {
  if (!RecordArenasInUse()) GTEST_SKIP() << "sanitizer build: every block is a heap allocation of its own";
#if !defined(__linux__)
  GTEST_SKIP() << "large pages are asked for on Linux only";
#endif
  const auto Large = unitbuilder::LargeUnit(600);
  const auto Small = unitbuilder::LargeUnit(20);
  ASSERT_GE(Large.size(), LargeBlockMin);
  ASSERT_LT(Small.size(), LargeBlockMin);
  for (const auto* Bytes : {&Large, &Small}) {
    auto U = readertest::Load(*Bytes, false);
    ASSERT_EQ(static_cast<size_t>(U->ImageSize), Bytes->size());
    EXPECT_EQ(std::memcmp(U->Image.get(), Bytes->data(), Bytes->size()), 0);
    const auto At = reinterpret_cast<uintptr_t>(U->Image.get());
    if (Bytes == &Large) {
      EXPECT_EQ(At % (uintptr_t{2} << 20), 0u);
    }
  }
  // What the runs kept is whole blocks of 2 MiB, besides small heap blocks.
  EXPECT_GE(SpareBlockBytes(), size_t{2} << 20);
}

// An image takes a kept block of at most twice its size: a small unit read
// after a large one leaves the large image's block for the next large unit.
TEST(UnitMemory, ASmallImageLeavesALargeBlock) {
  if (!RecordArenasInUse()) GTEST_SKIP() << "sanitizer build: every block is a heap allocation of its own";
  const auto Large = unitbuilder::LargeUnit(2400);
  const auto Small = unitbuilder::LargeUnit(300);
  ASSERT_GT(Small.size(), size_t{256} << 10);
  const uint8_t* LargeImage = readertest::Load(Large, false)->Image.get();
  {
    auto U = readertest::Load(Small, false);
    EXPECT_NE(U->Image.get(), LargeImage);
  }
  auto U = readertest::Load(Large, false);
  EXPECT_EQ(U->Image.get(), LargeImage);
  EXPECT_EQ(std::memcmp(U->Image.get(), Large.data(), Large.size()), 0);
}

TEST(RecordArena, ScopesNestAndAllocationsAreAligned) {
  TRecordArena Outer, Inner;
  void* P = nullptr;
  void* Q = nullptr;
  {
    TArenaScope S1(Outer);
    {
      TArenaScope S2(Inner);
      P = AllocateRecord(24);
    }
    Q = AllocateRecord(40);
  }
  void* H = AllocateRecord(8);  // no scope: the heap
  if (RecordArenasInUse()) {
    EXPECT_TRUE(Inner.Owns(P));
    EXPECT_TRUE(Outer.Owns(Q));
    EXPECT_FALSE(Outer.Owns(H) || Inner.Owns(H));
  }
  for (void* X : {P, Q, H}) EXPECT_EQ(reinterpret_cast<uintptr_t>(X) % alignof(std::max_align_t), 0u);
  ReleaseRecord(P, 24);
  ReleaseRecord(Q, 40);
  ReleaseRecord(H, 8);
}

}  // namespace
