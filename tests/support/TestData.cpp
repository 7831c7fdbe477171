// Where the real unit files and their sources are (see TestData.h).
#include "TestData.h"

#include "DCU_Unit.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace testdata {

fs::path CorpusDir() { return fs::path(UNITPEEK_SHARED_DIR) / "corpus"; }
fs::path CorpusSourceDir() { return fs::path(UNITPEEK_SHARED_DIR) / "corpus-src"; }

std::vector<fs::path> FilesIn(const fs::path& Dir) {
  std::vector<fs::path> Files;
  std::error_code Ec;
  for (const auto& E : fs::directory_iterator(Dir, Ec))
    if (E.is_regular_file()) Files.push_back(E.path());
  std::sort(Files.begin(), Files.end());
  return Files;
}

std::vector<fs::path> VersionFiles() {
  std::vector<fs::path> Files;
  for (const char* Sub : {"v2", "v3", "v4", "v5", "v6", "v7"}) {
    const std::vector<fs::path> In = FilesIn(CorpusDir() / Sub);
    Files.insert(Files.end(), In.begin(), In.end());
  }
  return Files;
}

std::unique_ptr<TUnit> LoadUnitOrNull(const fs::path& P) {
  try {
    UnitConstructionCount = 0;
    return std::make_unique<TUnit>(P.string());
  } catch (const EDCUReadError&) {
    return nullptr;
  }
}

std::vector<uint8_t> ReadFileBytes(const fs::path& P) {
  std::ifstream F(P, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
}

}  // namespace testdata
