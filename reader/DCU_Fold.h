// Letter case in names. One rule wherever two names are the same "letter
// case ignored" (the name index of a unit, the unit names and imported names
// of a folder report): the ASCII letters fold, every other byte stays as it
// is, 0x80 and up included (the file's names are 8-bit text of no fixed code
// page). The name index orders names by their upper-case form, eight bytes a
// step in its sort; the folder reports keep the lower-case form of a name.
#pragma once

#include <cstdint>

inline constexpr bool IsAsciiUpper(unsigned char C) { return C >= 'A' && C <= 'Z'; }
inline constexpr bool IsAsciiLower(unsigned char C) { return C >= 'a' && C <= 'z'; }

inline constexpr unsigned char FoldUpper(unsigned char C) {
  return IsAsciiLower(C) ? static_cast<unsigned char>(C - 'a' + 'A') : C;
}
inline constexpr unsigned char FoldLower(unsigned char C) {
  return IsAsciiUpper(C) ? static_cast<unsigned char>(C - 'A' + 'a') : C;
}

// FoldUpper of each of the eight bytes of W at once.
inline constexpr uint64_t FoldUpperWord(uint64_t W) {
  constexpr uint64_t Ones = 0x0101010101010101ull;
  constexpr uint64_t High = 0x8080808080808080ull;
  const uint64_t Low7 = W & ~High;                      // every byte 0..0x7F: no carries below
  const uint64_t GeA = Low7 + (0x80 - 'a') * Ones;      // top bit: byte >= 'a'
  const uint64_t GtZ = Low7 + (0x80 - 'z' - 1) * Ones;  // top bit: byte > 'z'
  const uint64_t Lower = GeA & ~GtZ & ~W & High;        // a..z with the top bit clear
  return W - (Lower >> 2);                              // 0x80 >> 2 = 0x20 in the same byte
}

// FoldLower of each of the eight bytes of W at once (the mirror of
// FoldUpperWord).
inline constexpr uint64_t FoldLowerWord(uint64_t W) {
  constexpr uint64_t Ones = 0x0101010101010101ull;
  constexpr uint64_t High = 0x8080808080808080ull;
  const uint64_t Low7 = W & ~High;                      // every byte 0..0x7F: no carries below
  const uint64_t GeA = Low7 + (0x80 - 'A') * Ones;      // top bit: byte >= 'A'
  const uint64_t GtZ = Low7 + (0x80 - 'Z' - 1) * Ones;  // top bit: byte > 'Z'
  const uint64_t Upper = GeA & ~GtZ & ~W & High;        // A..Z with the top bit clear
  return W + (Upper >> 2);                              // 0x80 >> 2 = 0x20 in the same byte
}
