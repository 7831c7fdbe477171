// Real unit files: every file of the version folders of the shared corpus
// must load, every file of other/ must fail with a reader error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "DCU_Unit.h"
#include "TestData.h"

namespace fs = std::filesystem;

namespace {

using testdata::CorpusDir;
using testdata::FilesIn;
const auto ReadBytes = testdata::ReadFileBytes;

class CorpusFolder : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(CorpusFolder, EveryFileLoads) {
  fs::path Dir = CorpusDir() / GetParam();
  if (!fs::is_directory(Dir)) GTEST_SKIP() << "no corpus folder " << Dir << "; skipped";
  int Expected = GetParam() == "v2" ? 2 : GetParam()[1] - '0';
  int Loaded = 0;
  std::string Failures;
  for (const fs::path& P : FilesIn(Dir)) {
    try {
      TJXUnit U(P.string());
      ++Loaded;
      if (U.Version != Expected)
        Failures += P.filename().string() + ": version " + std::to_string(U.Version) + "\n";
    } catch (const EDCUReadError& E) {
      Failures += P.filename().string() + ": " + E.Text() + "\n";
    }
  }
  std::cout << "[corpus] " << GetParam() << ": " << Loaded << " of " << FilesIn(Dir).size()
            << " files load\n";
  EXPECT_TRUE(Failures.empty()) << Failures;
}

INSTANTIATE_TEST_SUITE_P(Versions, CorpusFolder,
                         testing::Values("v2", "v3", "v4", "v5", "v6", "v7"));

TEST(Corpus, OtherFilesFailWithReaderError) {
  fs::path Dir = CorpusDir() / "other";
  if (!fs::is_directory(Dir)) GTEST_SKIP() << "no corpus folder " << Dir << "; skipped";
  std::string Failures;
  for (const fs::path& P : FilesIn(Dir)) {
    try {
      TJXUnit U(P.string());
      Failures += P.filename().string() + ": loaded as version " + std::to_string(U.Version) + "\n";
    } catch (const EDCUReadError& E) {
      EXPECT_FALSE(E.Text().empty());
    } catch (const std::exception& E) {
      Failures += P.filename().string() + ": not a reader error: " + E.what() + "\n";
    }
  }
  EXPECT_TRUE(Failures.empty()) << Failures;
}

TEST(Corpus, BytesAndPathGiveTheSameUnit) {
  fs::path Dir = CorpusDir() / "v7";
  if (!fs::is_directory(Dir)) GTEST_SKIP() << "no corpus folder " << Dir << "; skipped";
  for (const fs::path& P : FilesIn(Dir)) {
    std::string A, B;
    try {
      TUnit U(P.string());
      A = U.UnitName + "/" + std::to_string(U.DeclTable.size());
    } catch (const EDCUReadError& E) {
      A = E.Text();
    }
    std::vector<uint8_t> Bytes = ReadBytes(P);
    try {
      TUnit U(P.string(), Bytes);
      B = U.UnitName + "/" + std::to_string(U.DeclTable.size());
    } catch (const EDCUReadError& E) {
      B = E.Text();
    }
    EXPECT_EQ(A, B) << P;
  }
}
