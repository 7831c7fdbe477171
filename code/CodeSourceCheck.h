// Whether a source file found for a unit is the one the unit was compiled
// from. Checkouts change file times, so the file's time says little; what
// is checked is the text against the unit's line table:
//
// - the file has every line the unit has code on;
// - each routine's first line (its "begin" or "asm") is a line with that
//   word, and the last routine heading above it, back to the end of the
//   routine before (its nested routines aside), names the routine.
//
// A file passes when it has the lines and no more than one routine in ten
// fails (a heading written in an odd way is not counted against it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A routine of the unit as the check sees it: its lines in the unit's own
// source file (0: none there).
struct TSourceCheckRoutine {
  std::string Name;   // as stored: "TForm1.Button1Click"; empty: not checked
  int32_t FirstLine = 0, LastLine = 0;
  int64_t Owner = -1; // the index of the routine it is declared in, or -1
};

struct TSourceCheck {
  bool Found = false;     // a file was found for the unit's own source
  std::string Path;       // its path
  bool Matches = true;    // it passed the check (true when not found)
  std::string Why;        // when it did not: the first reason, as a sentence
  size_t Checked = 0, Failed = 0;  // routines checked, and those that failed
};

// Checks Text (the file's bytes) against the routines; fills Matches, Why,
// Checked and Failed of Out.
void CheckSourceText(std::string_view Text, const std::vector<TSourceCheckRoutine>& Routines, TSourceCheck& Out);
