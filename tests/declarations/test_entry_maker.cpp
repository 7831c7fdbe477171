// Entries made one at a time (TDeclEntryMaker) against the whole outline:
// for every top-level declaration the outline lists, the entry made alone
// (found by its offset, with or without its number) has the same line,
// offset and kind; the declarations the outline leaves out give none. Over synthetic units (one large enough that the maker
// forgets its type texts on the way) and the corpus when present.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclEntryMaker.h"
#include "DeclListing.h"
#include "LargeUnit.h"
#include "SampleUnits.h"
#include "TestData.h"

namespace fs = std::filesystem;

namespace {

// Compares the maker with the outline over every declaration of U; returns
// how many entries were compared.
size_t ExpectEntriesAlike(const TUnit& U, const std::string& Label) {
  const TDeclOutline O = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
  std::map<uint32_t, const TDeclEntry*> ByOffset;
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries) ByOffset[E.Offset] = &E;
  TDeclEntryMaker Maker(U, TDeclOutlineOptions{.KeepSpans = false});
  size_t Compared = 0;
  for (const TDCURec* R = U.Decls; R; R = R->Next) {
    const auto* D = RecCast<TNameDecl>(R);
    if (!D || D->DeclIndex < 0) continue;
    const uint32_t Offset = static_cast<uint32_t>(D->DefPos - U.Image.get());
    // Found by the offset, with the number as the hint, and without it.
    const std::optional<TDeclEntry> E = Maker.EntryAt(Offset, D->DeclIndex);
    const std::optional<TDeclEntry> ByOffsetOnly = Maker.EntryAt(Offset);
    EXPECT_EQ(E.has_value(), ByOffsetOnly.has_value()) << Label << " at " << Offset;
    if (E && ByOffsetOnly) {
      EXPECT_EQ(EntryLine(*E).Text, EntryLine(*ByOffsetOnly).Text) << Label;
    }
    auto In = ByOffset.find(Offset);
    if (In == ByOffset.end()) {
      EXPECT_FALSE(E.has_value()) << Label << " entry made for a declaration the outline leaves out at " << Offset;
      continue;
    }
    ++Compared;
    if (!E) {
      ADD_FAILURE() << Label << " no entry at " << Offset;
      continue;
    }
    EXPECT_EQ(E->Offset, Offset) << Label;
    EXPECT_EQ(E->Kind, In->second->Kind) << Label;
    EXPECT_EQ(EntryLine(*E).Text, EntryLine(*In->second).Text) << Label << " at " << Offset;
  }
  // Offsets where no declaration starts, with numbers that resolve to
  // another one or to none.
  EXPECT_FALSE(Maker.EntryAt(0).has_value());
  EXPECT_FALSE(Maker.EntryAt(1, 1).has_value());
  EXPECT_FALSE(Maker.EntryAt(UINT32_MAX, -5).has_value());
  EXPECT_FALSE(Maker.EntryAt(3, static_cast<int64_t>(U.DeclTable.size()) + 10).has_value());
  return Compared;
}

}  // namespace

TEST(DeclEntryMaker, EntriesAloneAreTheOutlinesEntries) {
  for (int V : unitbuilder::AllVersions()) {
    UnitConstructionCount = 0;
    const TUnit U("Demo.dcu", unitbuilder::DemoUnit(V));
    ExpectEntriesAlike(U, "demo v" + std::to_string(V));
  }
  // Thousands of routines with parameters of thousands of types: the maker
  // makes type texts again after it forgets them, and they come out the same.
  UnitConstructionCount = 0;
  const TUnit Large("Large.dcu", unitbuilder::LargeUnit(2500, 7));
  EXPECT_GT(ExpectEntriesAlike(Large, "large"), 5000u);
}

TEST(DeclEntryMaker, CorpusEntriesAreTheOutlinesEntries) {
  const fs::path Root = testdata::CorpusDir();
  if (!fs::is_directory(Root)) GTEST_SKIP() << "no corpus folder " << Root << "; skipped";
  // One unit in five of each folder keeps the test short under the sanitizers.
  size_t Units = 0, Entries = 0, Seen = 0;
  for (const fs::path& P : testdata::VersionFiles()) {
    if (Seen++ % 5) continue;
    const std::unique_ptr<TUnit> U = testdata::LoadUnitOrNull(P);
    if (!U) continue;
    ++Units;
    Entries += ExpectEntriesAlike(*U, P.filename().string());
  }
  std::cout << "[ entries ] " << Units << " corpus units, " << Entries << " entries made alone\n";
  EXPECT_GT(Entries, 0u);
}
