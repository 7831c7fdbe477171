// The real unit files and their Pascal sources beside the source tree
// (../shared); tests that read them skip, saying so, where they are absent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

class TUnit;

namespace testdata {

// ../shared/corpus: real unit files by version (v2 ... v7) and other/.
std::filesystem::path CorpusDir();
// ../shared/corpus-src: Pascal sources of some of them, same relative name.
std::filesystem::path CorpusSourceDir();
// The regular files directly in Dir, sorted by name.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& Dir);
// The files of the corpus's version folders (v2 ... v7), folder by folder,
// each sorted by name; none when the corpus is absent.
std::vector<std::filesystem::path> VersionFiles();
// The unit file at P, loaded as the first of a run; null when the reader
// refuses it.
std::unique_ptr<TUnit> LoadUnitOrNull(const std::filesystem::path& P);
// The whole file at P (empty when it cannot be read).
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& P);

}  // namespace testdata
