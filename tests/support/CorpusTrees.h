// The real unit files laid out in the folder trees they came from (by the
// corpus's manifest: repository, path), for tests that need units by their
// own names beside the units they use: links in a temporary folder, made
// once per test program and removed at its end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testdata {

// The root of the trees (a folder per repository and commit), or empty when the
// corpus or its manifest is absent.
std::filesystem::path CorpusTrees();
// Where the corpus file at File (under CorpusDir()) lies in the trees;
// empty when the manifest does not name it.
std::filesystem::path TreePathOf(const std::filesystem::path& File);
// The runtime-library folders of the trees: those holding System.dcu (any
// letter case), in name order.
std::vector<std::string> LibraryFoldersOfTrees();

}  // namespace testdata
