// The outline by names alone agrees with the whole outline: the same
// entries in the same sections and blocks, with the same kinds, names,
// offsets, type kinds and members; on the sample units of every version and
// on every unit of the corpus that loads.
#include <gtest/gtest.h>

#include <span>

#include "DCU_Unit.h"
#include "DeclOutline.h"
#include "OutlineNamesCompare.h"
#include "SampleUnits.h"
#include "TestData.h"

namespace {

std::string CompareBytes(const std::vector<uint8_t>& Bytes, const std::string& Name) {
  TUnit U(Name, std::span<const uint8_t>(Bytes));
  return outlinetest::CompareNamesOnly(BuildDeclOutline(U, {.KeepSpans = false}), BuildDeclOutline(U, {.KeepSpans = false, .NamesOnly = true}));
}

}  // namespace

TEST(DeclOutlineNames, AgreeWithTheWholeOutlineOnTheSampleUnits) {
  for (int V : unitbuilder::AllVersions())
    EXPECT_EQ(CompareBytes(unitbuilder::DemoUnit(V), "Demo.dcu"), "") << "version " << V;
}

TEST(DeclOutlineNames, AgreeWithTheWholeOutlineOnTheCorpus) {
  const auto Dir = testdata::CorpusDir();
  if (!std::filesystem::is_directory(Dir)) GTEST_SKIP() << "no corpus at " << Dir << "; skipped";
  size_t Compared = 0;
  for (const auto& Sub : std::filesystem::directory_iterator(Dir)) {
    if (!Sub.is_directory()) continue;
    for (const auto& P : testdata::FilesIn(Sub.path())) {
      const std::vector<uint8_t> Bytes = testdata::ReadFileBytes(P);
      std::string Diff;
      try {
        Diff = CompareBytes(Bytes, P.filename().string());
      } catch (const std::exception&) {
        continue;  // a unit that does not load
      }
      ++Compared;
      EXPECT_EQ(Diff, "") << P;
    }
  }
  EXPECT_GT(Compared, 200u);
}
