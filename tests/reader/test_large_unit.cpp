// The large synthetic unit of the benchmarks loads in every format version,
// and the loaded unit shows what the generator wrote: table sizes, the name
// index, folded enumerations, the hand-out of the data block and the
// local-variable slices; and the order of the name index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "DCURecs.h"
#include "LargeUnit.h"
#include "SampleUnits.h"
#include "ReaderTestUtil.h"

namespace {

class LargeUnitVersion : public testing::TestWithParam<int> {};

TEST_P(LargeUnitVersion, LoadsWithEveryTableAndHandOut) {
  const int V = GetParam();
  unitbuilder::LargeUnitFacts F;
  auto Bytes = unitbuilder::LargeUnit(40, V, &F);
  std::unique_ptr<TUnit> U;
  ASSERT_NO_THROW(U = readertest::Load(Bytes)) << readertest::LoadError(Bytes);
  EXPECT_EQ(U->Version, V);
  EXPECT_EQ(U->DeclTable.size(), F.Declarations);
  EXPECT_EQ(U->TypeCount, static_cast<int32_t>(F.TypeNumbers));
  EXPECT_EQ(U->NameIndex.size(), F.NameIndexEntries);
  EXPECT_EQ(static_cast<uint32_t>(U->DataSize), F.DataSize);
  EXPECT_EQ(U->FixupCount, F.FixupCount);
  EXPECT_EQ(U->CodeLineCount, F.CodeLineCount);
  EXPECT_EQ(U->LocalVarCount, F.LocalVarCount);

  uint32_t TopLevel = 0, Procs = 0, TypedConsts = 0, Enums = 0;
  for (TDCURec* R = U->Decls; R; R = R->Next) {
    ++TopLevel;
    if (auto* P = RecCast<TProcDecl>(R)) {
      ++Procs;
      EXPECT_GE(P->MemOfs, 0) << NameText(P->GetName());
      if (P->Flags & IsInterfaceFlag) {
        // Proc entry, code end, two parameters and a local: the slice runs
        // up to the next procedure's entry.
        EXPECT_EQ(P->LocalVarSliceLen, 5) << NameText(P->GetName());
        ASSERT_NE(P->Embedded, nullptr);
        EXPECT_EQ(P->Params != nullptr && P->Params->Next != nullptr, true);
        EXPECT_NE(P->Locals, nullptr);
      }
    } else if (auto* C = RecCast<TVarCDecl>(R)) {
      ++TypedConsts;
      EXPECT_EQ(C->MemSize, 24) << NameText(C->GetName());
    } else if (auto* T = RecCast<TTypeDecl>(R)) {
      if (auto* E = RecCast<TEnumDef>(U->GetTypeDef(T->TypeIndex))) {
        ++Enums;
        ASSERT_TRUE(E->NameList);
        EXPECT_EQ(E->NameList->size(), 3u);
      }
    }
  }
  EXPECT_EQ(TopLevel, F.TopLevelDecls);
  EXPECT_EQ(Procs, 2 * F.Procedures);  // every group has a public and a private one
  EXPECT_EQ(TypedConsts, F.TypedConsts);
  EXPECT_EQ(Enums, F.Groups);
}

INSTANTIATE_TEST_SUITE_P(Versions, LargeUnitVersion, testing::ValuesIn(unitbuilder::AllVersions()));

TEST(LargeUnit, SizeGrowsLinearlyAndStaysBelowTheFixupLimit) {
  unitbuilder::LargeUnitFacts F1, F4;
  const size_t S1 = unitbuilder::LargeUnit(100, 7, &F1).size();
  const size_t S4 = unitbuilder::LargeUnit(400, 7, &F4).size();
  EXPECT_NEAR(static_cast<double>(S4) / static_cast<double>(S1), 4.0, 0.05);
  EXPECT_EQ(F4.Declarations - 9, 4 * (F1.Declarations - 9));  // 9: header and import entries
  // The largest unit keeps its data block inside the 24 bits of a fixup offset.
  EXPECT_LT(uint64_t{F1.DataSize} / 100 * unitbuilder::LargeUnitMaxGroups, uint64_t{1} << 24);
  EXPECT_THROW(unitbuilder::LargeUnit(unitbuilder::LargeUnitMaxGroups + 1), std::invalid_argument);
}

}  // namespace

namespace {

// The order of the name index, byte by byte: ASCII letters fold to upper
// case, every other byte compares by its value, a prefix comes first.
int ReferenceCompare(std::string_view A, std::string_view B) {
  auto Fold = [](char C) {
    auto U = static_cast<unsigned char>(C);
    return U >= 'a' && U <= 'z' ? U - 0x20 : U;
  };
  for (size_t I = 0; I < A.size() && I < B.size(); ++I)
    if (Fold(A[I]) != Fold(B[I])) return Fold(A[I]) < Fold(B[I]) ? -1 : 1;
  return A.size() == B.size() ? 0 : A.size() < B.size() ? -1 : 1;
}

// SortNameIndex over Store gives the stable order of ReferenceCompare over
// the reversed list: the same entries, not only the same texts.
void ExpectSortedLikeStableOrder(const std::vector<std::string>& Store, const std::string& Context) {
  std::vector<TNameIndexEntry> Got;
  for (const std::string& S : Store) Got.push_back(TNameIndexEntry{S, nullptr});
  std::vector<TNameIndexEntry> Want(Got.rbegin(), Got.rend());
  std::stable_sort(Want.begin(), Want.end(), [](const TNameIndexEntry& A, const TNameIndexEntry& B) {
    return ReferenceCompare(A.Name, B.Name) < 0;
  });
  SortNameIndex(Got);
  ASSERT_EQ(Got.size(), Want.size());
  for (size_t I = 0; I < Got.size(); ++I)
    ASSERT_EQ(static_cast<const void*>(Got[I].Name.data()), static_cast<const void*>(Want[I].Name.data()))
        << Context << " place " << I << ": " << testing::PrintToString(std::string(Got[I].Name)) << " vs "
        << testing::PrintToString(std::string(Want[I].Name));
}

TEST(NameOrder, WordAtATimeCompareMatchesByteOrder) {
  // Bytes at the edges of the letter ranges, high bytes and NUL, on names
  // that share long prefixes so that differences fall inside and across
  // eight-byte words.
  const std::string Alphabet("@AZ[`az{_0\x00\x7F\x80\xC1\xE1\xFA\xFF", 17);
  uint32_t Seed = 12345;
  auto Next = [&] { return Seed = Seed * 1103515245u + 12345u, (Seed >> 16) & 0x7FFF; };
  const std::string Prefix = "TCustomComponentEditor";
  for (int Round = 0; Round < 20000; ++Round) {
    std::string A = Prefix.substr(0, Next() % (Prefix.size() + 1));
    std::string B = A;
    for (std::string* S : {&A, &B}) {
      const size_t Extra = Next() % 12;
      for (size_t I = 0; I < Extra; ++I) S->push_back(Alphabet[Next() % Alphabet.size()]);
    }
    // Case variants of the same text compare equal.
    if (Round % 5 == 0) {
      B = A;
      for (char& C : B)
        if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 0x20);
    }
    const int Want = ReferenceCompare(A, B);
    ASSERT_EQ(CompareNamesNoCase(A, B), Want) << testing::PrintToString(A) << " vs " << testing::PrintToString(B);
    ASSERT_EQ(CompareNamesNoCase(B, A), -Want);
  }
}

TEST(NameOrder, SortedIndexMatchesStableOrderWithLaterEqualNamesFirst) {
  // Names of 0 to 40 bytes over shared prefixes, with exact repeats and
  // case variants, so that runs of equal words reach several levels deep.
  const std::string Alphabet("aAbB_0\x00\xE1", 8);
  const std::vector<std::string> Prefixes = {"", "T", "TCustomControl", "TCustomControlEditorHelper_",
                                             "tcustomcontrol"};
  uint32_t Seed = 777;
  auto Next = [&] { return Seed = Seed * 1103515245u + 12345u, (Seed >> 16) & 0x7FFF; };
  for (int Round = 0; Round < 50; ++Round) {
    std::vector<std::string> Store;
    const size_t N = 1 + Next() % 400;
    for (size_t I = 0; I < N; ++I) {
      if (!Store.empty() && Next() % 6 == 0) {
        Store.push_back(Store[Next() % Store.size()]);  // an exact repeat
        continue;
      }
      std::string S = Prefixes[Next() % Prefixes.size()];
      const size_t Extra = Next() % 14;
      for (size_t K = 0; K < Extra; ++K) S.push_back(Alphabet[Next() % Alphabet.size()]);
      Store.push_back(S);
    }
    ExpectSortedLikeStableOrder(Store, "round " + std::to_string(Round));
    if (HasFatalFailure()) return;
  }
}

TEST(NameOrder, ManyNamesWithLongSharedPrefixesSortLikeTheStableOrder) {
  // Enough names that the sort distributes them by key bytes over several
  // passes and levels: long shared prefixes, scattered suffixes, repeats and
  // case variants, and names that end inside a shared word.
  const std::vector<std::string> Prefixes = {"ProcessRecord_", "PROCESSRECORD_", "GlobalCounter_", "ekItem0_",
                                             "ekItem1_", "TValueHolder_", "T", ""};
  uint32_t Seed = 4242;
  auto Next = [&] { return Seed = Seed * 1103515245u + 12345u, (Seed >> 16) & 0x7FFF; };
  std::vector<std::string> Store;
  for (int I = 0; I < 30000; ++I) {
    if (!Store.empty() && Next() % 9 == 0) {
      Store.push_back(Store[Next() % Store.size()]);
      continue;
    }
    char Hex[16];
    std::snprintf(Hex, sizeof Hex, "%08X", static_cast<unsigned>(Next() * 0x9E3779B1u));
    Store.push_back(Prefixes[Next() % Prefixes.size()] + std::string(Hex, Next() % 9));
  }
  ExpectSortedLikeStableOrder(Store, "30000 names");
}

}  // namespace
