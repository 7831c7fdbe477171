// The bundled sample units of every version load whole: the fixup table hands
// the data block to the typed constant and the two procedures, and the
// local-variable table is sliced onto its procedure.
#include <gtest/gtest.h>

#include "DCURecs.h"
#include "ReaderTestUtil.h"
#include "SampleUnits.h"

namespace {

template <class T>
const T* Find(const TUnit& U, std::string_view Name) {
  for (TDCURec* R : U.DeclTable) {
    auto* D = RecCast<T>(R);
    if (D && NameView(D->GetName()) == Name) return D;
  }
  return nullptr;
}

}  // namespace

TEST(SampleUnits, EveryVersionLoadsWithItsTablesAndBlocks) {
  for (int V : unitbuilder::AllVersions()) {
    SCOPED_TRACE(V);
    auto U = readertest::Load(unitbuilder::DemoUnit(V));
    EXPECT_EQ(U->Version, V);
    EXPECT_EQ(U->UnitName, "Demo");
    EXPECT_EQ(U->SourceFileCount(), 3);
    EXPECT_EQ(U->UsedUnits.size(), 4u);
    EXPECT_EQ(U->DataSize, 0x40);
    EXPECT_EQ(U->Fixups.size(), 4u);
    EXPECT_EQ(U->CodeLines.size(), 6u);
    EXPECT_EQ(U->CodeLines.back().LineOfs, 0x30u);
    EXPECT_EQ(U->LineRanges.size(), 1u);
    EXPECT_EQ(U->LocalVars.size(), 3u);

    auto* Greeting = Find<TVarCDecl>(*U, "Greeting");
    ASSERT_NE(Greeting, nullptr);
    EXPECT_EQ(Greeting->Ofs, 0);
    EXPECT_EQ(Greeting->MemSize, 0x10);
    auto* Main = Find<TProcDecl>(*U, "Main");
    auto* Helper = Find<TProcDecl>(*U, "Helper");
    ASSERT_NE(Main, nullptr);
    ASSERT_NE(Helper, nullptr);
    EXPECT_EQ(Main->MemOfs, 0x10);
    EXPECT_EQ(Helper->MemOfs, 0x30);
    EXPECT_EQ(Helper->BlockOfs, 0x20);
    EXPECT_EQ(Main->LocalVarSliceLen, 3);
    ASSERT_NE(Main->Params, nullptr);
    EXPECT_EQ(NameView(Main->Params->GetName()), "Count");
    ASSERT_NE(Main->Locals, nullptr);
    EXPECT_EQ(NameView(Main->Locals->GetName()), "I");
  }
}
