// The source files of a unit, found on disk for the lines of the code
// listing: a source entry's bare name (any letter case) in the source folder
// given, else beside the unit. Each file is read once, the first time one of
// its lines is asked for, and kept as its lines in UTF-8.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct TSourceFileRec;
class TUnit;
struct TCodeOptions;

// Text of one source line in UTF-8: kept when it is UTF-8 already, else read
// as Windows-1252; tabs become blanks to the next multiple of eight, other
// control characters ^X; the line break is dropped.
std::string SourceLineText(std::string_view Bytes);

// The file named Name (its bare name, letter case ignored) in Dir; empty
// when there is none.
std::filesystem::path FindFileNoCase(const std::filesystem::path& Dir, std::string_view Name);

class TCodeSourceFiles {
 public:
  TCodeSourceFiles(const TUnit& U, const TCodeOptions& Options);

  // The text of line Line (1 for the first) of source entry S; false when
  // the file was not found or has no such line.
  bool LineText(const TSourceFileRec* S, int32_t Line, std::string& Out);
  // The path of the unit's own source file (its first source entry), or
  // empty when it was not found.
  std::string MainPath();
  // The bytes of the unit's own source file; null when it was not found.
  const std::string* MainText();

 private:
  struct TFile {
    const TSourceFileRec* Entry = nullptr;
    bool Read = false;
    std::filesystem::path Path;
    std::string Text;
    std::vector<uint32_t> Starts;  // where each line starts in Text
  };
  std::vector<TFile> Files;
  std::filesystem::path UnitDir, SourceDir, GivenMain;
  bool Enabled = true;
  TFile* FileOf(const TSourceFileRec* S);
  void ReadFile(TFile& F, bool Main);
};
