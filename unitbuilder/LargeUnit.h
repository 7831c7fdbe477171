// A large synthetic unit for benchmarks, scaling checks and fuzz seeds: a
// repeated group of declarations of mixed kinds (records, classes with
// methods and a property, enumerations with their constants, ranges,
// variables, typed constants, procedures with parameters and locals behind
// an embedded list, private procedures), followed by a data block that the
// fixup table divides among the procedures and typed constants, a code-line
// table and a local-variable table.
//
// The size grows linearly with the number of groups. LargeUnitBaseGroups
// groups make the 1x unit; 16 times as many give a unit of about 50 MB with
// about a million declarations.
#pragma once

#include <cstdint>
#include <vector>

namespace unitbuilder {

// Groups of the 1x unit.
inline constexpr uint32_t LargeUnitBaseGroups = 3000;

// What a loaded large unit must show; the generator counts as it writes.
struct LargeUnitFacts {
  uint32_t Groups = 0;
  uint32_t Declarations = 0;     // entries of the declaration table
  uint32_t TypeNumbers = 0;      // type numbers given out (imports included)
  uint32_t TopLevelDecls = 0;    // records of the top-level chain after folding
  uint32_t NameIndexEntries = 0; // interface declarations of the top level
  uint32_t DataSize = 0;
  uint32_t FixupCount = 0;
  uint32_t CodeLineCount = 0;
  uint32_t LocalVarCount = 0;
  uint32_t Procedures = 0;       // top-level procedures (each receives a block)
  uint32_t TypedConsts = 0;      // typed constants (each receives a block)
};

// Writes the unit of Groups groups in the format of Version (2..7, 100, 101,
// 103). The data block stays below 16 MiB (fixup offsets hold 24 bits), so
// Groups is capped at LargeUnitMaxGroups.
std::vector<uint8_t> LargeUnit(uint32_t Groups, int Version = 7, LargeUnitFacts* Facts = nullptr);

inline constexpr uint32_t LargeUnitMaxGroups = 16 * LargeUnitBaseGroups;

}  // namespace unitbuilder
