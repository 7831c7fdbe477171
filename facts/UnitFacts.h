// The facts of a loaded unit that its summary and its JSON show, taken once
// while the unit is alive. They hold plain strings and numbers, so they
// outlive the unit; names stay the file's raw 8-bit bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TUnit;

// A source file's date: its time stamp taken apart. Versions 100 and up count seconds
// since 1970 (UTC); lower versions hold a packed file date and time, which
// may be no valid date or time.
struct TSourceDate {
  enum TState : uint8_t { None, Valid, BadDate, BadTime };
  TState State = None;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;

  // The text of the error that a stamp in a bad state raises when it is shown.
  const char* ErrorText() const;
};

// True when a source-file stamp of this version stands for "no stamp".
bool IsNoStamp(int Version, uint32_t Stamp);

// Takes Stamp apart, also a value that stands for "no stamp"; the date is
// checked before the time.
TSourceDate DecodeSourceDate(int Version, uint32_t Stamp);

// What an entry of the source-file list names, by its tag.
enum class TSourceKind : uint8_t { Source, Object, Resource, Assembler };
TSourceKind SourceKindOfTag(uint8_t Tag);
const char* SourceKindName(TSourceKind Kind);

struct TSourceFileFacts {
  TSourceKind Kind = TSourceKind::Source;
  std::string Name;
  uint32_t RawStamp = 0;
  TSourceDate Date;  // RawStamp taken apart
};

struct TUsedUnitFacts {
  std::string Name;
  uint8_t UseKind = 0;  // TUseKind
};

struct TUnitStats {
  size_t Declarations = 0, Types = 0, TopLevelDecls = 0, NameIndex = 0;
  int32_t DataSize = 0;
  uint32_t Fixups = 0, CodeLines = 0, LineRanges = 0, LocalVars = 0;
};

struct TUnitFacts {
  std::string UnitName;
  int32_t Version = 0;
  std::vector<TSourceFileFacts> SourceFiles;
  bool DebugInfo = false;     // a code-line table was read
  bool LocalSymbols = false;  // a local-variable table was read
  std::vector<TUsedUnitFacts> UsedUnits;  // in file order
  TUnitStats Stats;

  // The error that showing the summary raises (the first source-file stamp
  // that is no valid date or time); empty when there is none.
  std::string SummaryError() const;
};

TUnitFacts ExtractUnitFacts(const TUnit& Unit);
