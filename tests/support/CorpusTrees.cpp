// The corpus laid out in its folder trees (see CorpusTrees.h).
#include "CorpusTrees.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

#include "TestData.h"

namespace fs = std::filesystem;

namespace testdata {

namespace {

struct TTrees {
  fs::path Root;
  std::map<fs::path, fs::path> ByFile;  // corpus file -> its place in the trees
  ~TTrees() {
    std::error_code Ec;
    if (!Root.empty()) fs::remove_all(Root, Ec);
  }
};

std::vector<std::string> Split(const std::string& Line) {
  std::vector<std::string> Cols;
  std::stringstream S(Line);
  for (std::string C; std::getline(S, C, '\t');) Cols.push_back(C);
  return Cols;
}

// Columns: version, sha256, size, repo, commit, path, file. Each file at
// ROOT/repo/commit/path (the first 8 digits of the commit).
void LayOut(TTrees& T) {
  std::ifstream M(CorpusDir() / "manifest.tsv");
  if (!M) return;
  T.Root = fs::temp_directory_path() / ("unitpeek-trees-" + std::to_string(::getpid()));
  std::string Line;
  std::getline(M, Line);
  while (std::getline(M, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const std::vector<std::string> C = Split(Line);
    if (C.size() < 7) continue;
    std::string Repo = C[3];
    std::replace(Repo.begin(), Repo.end(), '/', '_');
    // One tree per commit: a repository may hold units of several
    // compilers under one path at different commits.
    const fs::path Place = T.Root / Repo / C[4].substr(0, 8) / C[5], File = CorpusDir() / C[6];
    std::error_code Ec;
    fs::create_directories(Place.parent_path(), Ec);
    if (!fs::exists(File) || fs::exists(fs::symlink_status(Place))) continue;
    fs::create_symlink(File, Place, Ec);
    if (!Ec) T.ByFile[File.lexically_normal()] = Place;
  }
}

TTrees& Trees() {
  static TTrees T;
  static const bool Made = (LayOut(T), true);
  (void)Made;
  return T;
}

}  // namespace

fs::path CorpusTrees() { return Trees().ByFile.empty() ? fs::path() : Trees().Root; }

fs::path TreePathOf(const fs::path& File) {
  auto It = Trees().ByFile.find(File.lexically_normal());
  return It == Trees().ByFile.end() ? fs::path() : It->second;
}

std::vector<std::string> LibraryFoldersOfTrees() {
  std::vector<std::string> Out;
  for (const auto& [File, Place] : Trees().ByFile) {
    std::string Name = Place.filename().string();
    std::transform(Name.begin(), Name.end(), Name.begin(), [](unsigned char C) { return std::tolower(C); });
    if (Name == "system.dcu") Out.push_back(Place.parent_path().string());
  }
  std::sort(Out.begin(), Out.end());
  Out.erase(std::unique(Out.begin(), Out.end()), Out.end());
  return Out;
}

}  // namespace testdata
