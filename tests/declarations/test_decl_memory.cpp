// The memory of outlines built in an arena of their own: the arena's
// pieces, their reuse and their end; an outline built in its arena is the
// outline built on the heap, and what is copied out of it lives on when it
// goes (the sanitizers see every part on the heap and check the rest),
// over synthetic units and the corpus when present.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "DCU_Arena.h"
#include "DCU_Unit.h"
#include "DeclJsonTestUtil.h"
#include "DeclListing.h"
#include "DeclMemory.h"
#include "LargeUnit.h"
#include "TestData.h"

namespace {

std::string Listing(const TDeclOutline& O) {
  TDeclTextSink Sink;
  WriteDeclListing(O, Sink);
  return Sink.Out;
}

}  // namespace

// Pieces are aligned and apart; a large one gets a block of its own; a
// released piece is taken again by the next of its size, but not while the
// arena goes; memory from elsewhere is no arena's.
TEST(DeclMemory, AnArenaHandsOutKeepsAndTakesBackItsPieces) {
  TDeclArena A;
  char* P = static_cast<char*>(A.Allocate(24));
  char* Q = static_cast<char*>(A.Allocate(24));
  char* Big = static_cast<char*>(A.Allocate(size_t{1} << 20));
  for (const char* X : {P, Q, Big}) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(X) % alignof(std::max_align_t), 0u);
    EXPECT_TRUE(A.Owns(X));
  }
  EXPECT_GE(Q - P, 24);
  std::memset(Big, 1, size_t{1} << 20);
  EXPECT_EQ(A.Allocate(8), static_cast<void*>(Q + 32));  // the large one left the block as it was
  EXPECT_GE(A.BlockBytes(), (size_t{1} << 20) + (16u << 10));
  A.Recycle(P, 24);
  EXPECT_EQ(A.Allocate(17), static_cast<void*>(P));  // of the same size, rounded
  A.SetGoing();
  A.Recycle(Q, 24);
  EXPECT_NE(A.Allocate(24), static_cast<void*>(Q));
  int OnTheStack = 0;
  const auto OnTheHeap = std::make_unique<int>(0);
  EXPECT_FALSE(A.Owns(&OnTheStack));
  EXPECT_FALSE(A.Owns(OnTheHeap.get()));
}

// An outline in its own arena lists and writes as the outline on the heap;
// its copy, a moved outline and an entry copied out outlive the original.
TEST(DeclMemory, AnOutlineInItsArenaIsTheOutlineOnTheHeapAndItsCopiesOutliveIt) {
  const TUnit U("Large.dcu", unitbuilder::LargeUnit(800, 3));
  const TDeclOutline OnHeap = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
  const std::string Text = Listing(OnHeap), Json = DeclsJsonText(OnHeap);
  ASSERT_GT(OnHeap.Interface.EntryCount(), 100u);
  std::optional<TDeclOutline> InArena = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .OwnArena = true});
  ASSERT_TRUE(InArena->Memory);
  EXPECT_EQ(RecordArenasInUse(), InArena->Memory->BlockBytes() > 0);
  EXPECT_EQ(Listing(*InArena), Text);
  EXPECT_EQ(DeclsJsonText(*InArena), Json);
  TDeclOutline Copy = *InArena;
  EXPECT_FALSE(Copy.Memory);
  TDeclEntry Entry = InArena->Interface.Blocks.front().Entries.front();
  const std::string EntryName = Entry.Name.str();
  TDeclOutline Moved = std::move(*InArena);
  InArena.reset();
  EXPECT_EQ(Listing(Moved), Text);
  Moved = TDeclOutline();  // its arena goes
  EXPECT_EQ(Listing(Copy), Text);
  EXPECT_EQ(DeclsJsonText(Copy), Json);
  Entry.Name = Entry.Name.str() + std::string(40, 'x');  // grows on the heap
  EXPECT_EQ(Entry.Name.str(), EntryName + std::string(40, 'x'));
  // Let go as built, at once: empty after, its copy as it was; an outline
  // on the heap goes the usual way.
  TDeclOutline Again = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .OwnArena = true});
  TDeclOutline HeapCopy = Copy;
  for (TDeclOutline* O : {&Again, &HeapCopy}) {
    O->DropAsBuilt();
    EXPECT_FALSE(O->Memory);
    EXPECT_EQ(O->Interface.EntryCount() + O->Implementation.EntryCount(), 0u);
    EXPECT_TRUE(O->UnitName.empty());
  }
  EXPECT_EQ(Listing(Copy), Text);
}

// Every corpus unit's outline in its own arena lists and writes as on the
// heap, with the texts' marked runs and without.
TEST(DeclMemory, CorpusOutlinesInTheirArenasAreThoseOnTheHeap) {
  namespace fs = std::filesystem;
  const fs::path Root = testdata::CorpusDir();
  if (!fs::is_directory(Root)) GTEST_SKIP() << "no corpus folder " << Root << "; skipped";
  size_t Units = 0;
  for (const fs::path& P : testdata::VersionFiles()) {
    const std::unique_ptr<TUnit> U = testdata::LoadUnitOrNull(P);
    if (!U) continue;
    for (const bool Spans : {false, true}) {
      const TDeclOutline OnHeap = BuildDeclOutline(*U, TDeclOutlineOptions{.KeepSpans = Spans});
      const TDeclOutline InArena = BuildDeclOutline(*U, TDeclOutlineOptions{.KeepSpans = Spans, .OwnArena = true});
      EXPECT_EQ(Listing(InArena), Listing(OnHeap)) << P;
      EXPECT_EQ(DeclsJsonText(InArena), DeclsJsonText(OnHeap)) << P;
    }
    ++Units;
  }
  EXPECT_GT(Units, 200u);
}
