// The packed integers of the format, decoded in one place (as LLVM's
// LEB128.h serves its DataExtractor): the scanner, its cursor, the checked
// reads and the value decoders that read from memory all take their lengths
// and values from here.
//
// The low bits of the first byte give the length of the form: x0 one byte,
// 01 two, 011 three, 0111 four; 1111 five, the value in the four bytes after
// the first. In units of release 4 and up a five-byte form whose first byte
// has any of its high four bits set is followed by a high dword (nine bytes
// in all).
#pragma once

#include <bit>
#include <cstdint>

#include "DCU_Versions.h"

// The length of the form a first byte B0 begins: 1 to 4, or 5 for the
// five-byte form (before any high dword).
constexpr unsigned PackedFormLength(uint8_t B0) {
  return static_cast<unsigned>(std::countr_one(static_cast<unsigned>(B0 & 0x0F))) + 1;
}
// Whether a five-byte form of first byte B0 carries a high dword in a unit of
// format Version.
constexpr bool PackedHighFollows(uint8_t B0, int32_t Version) { return IsRelease4Up(Version) && (B0 & 0xF0) != 0; }

// The value of a form of Len 1 to 4 bytes whose bytes are the low bytes of
// the little-endian word W (the bytes above them are ignored).
constexpr uint32_t PackedUIntOfWord(uint32_t W, unsigned Len) {
  const unsigned Drop = 32 - 8 * Len;
  return (W << Drop) >> (Drop + Len);
}
constexpr int32_t PackedIntOfWord(uint32_t W, unsigned Len) {
  const unsigned Drop = 32 - 8 * Len;
  return static_cast<int32_t>(W << Drop) >> (Drop + Len);
}

// The forms of one to four bytes read from the word W at their start, as
// the fast paths of the scanner take them: the value and the length, or the
// length 5 for the five-byte form (then the value is not read). The same as
// PackedFormLength and PackedUIntOfWord / PackedIntOfWord, written as the
// branches a compiler keeps short.
struct TPackedShortU {
  uint32_t Value;
  unsigned Len;
};
struct TPackedShortS {
  int32_t Value;
  unsigned Len;
};
constexpr TPackedShortU PackedUIntShort(uint32_t W) {
  if ((W & 1) == 0) return {(W & 0xFF) >> 1, 1};
  if ((W & 2) == 0) return {(W & 0xFFFF) >> 2, 2};
  if ((W & 4) == 0) return {(W & 0xFFFFFF) >> 3, 3};
  if ((W & 8) == 0) return {W >> 4, 4};
  return {0, 5};
}
constexpr TPackedShortS PackedIntShort(uint32_t W) {
  if ((W & 1) == 0) return {static_cast<int8_t>(W & 0xFF) >> 1, 1};
  if ((W & 2) == 0) return {static_cast<int16_t>(W & 0xFFFF) >> 2, 2};
  if ((W & 4) == 0) return {static_cast<int32_t>(W << 8) >> 11, 3};
  if ((W & 8) == 0) return {static_cast<int32_t>(W) >> 4, 4};
  return {0, 5};
}

static_assert(PackedFormLength(0x00) == 1 && PackedFormLength(0x01) == 2 && PackedFormLength(0x03) == 3 &&
              PackedFormLength(0x07) == 4 && PackedFormLength(0x0F) == 5 && PackedFormLength(0xFE) == 1);
static_assert(PackedUIntOfWord(0xFFFFFF84, 1) == 0x42 && PackedIntOfWord(0xFE, 1) == -1 &&
              PackedUIntOfWord(0x0401, 2) == 0x100 && PackedIntOfWord(0xFFFD, 2) == -1 &&
              PackedUIntOfWord(0xFFFFFFF7, 4) == 0x0FFFFFFF && PackedIntOfWord(0xFFFFFFF7, 4) == -1);
static_assert(PackedUIntShort(0x0401).Value == PackedUIntOfWord(0x0401, 2) && PackedUIntShort(0x0401).Len == 2 &&
              PackedIntShort(0xFFFFFFF7).Value == PackedIntOfWord(0xFFFFFFF7, 4) && PackedIntShort(0x0F).Len == 5);
