// How the 8-bit names and message bytes of a unit file show as text:
// Windows-1252, with the bytes 0x00-0x1F and 0x7F in caret notation
// (^@ .. ^_, ^?). One mapping for every writer: the summary, the JSON, the
// declarations and the folder reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// How one byte shows: after a caret (control characters), or as itself, as
// the code point of Windows-1252 (never a surrogate).
struct TDisplayChar {
  bool Caret;
  char16_t Code;
};

TDisplayChar DisplayChar(unsigned char B);

// Appends the code point C (not a surrogate) in UTF-8.
void AppendUtf8(std::string& S, char32_t C);

// Whether every byte of S is printable ASCII (0x20..0x7E): such bytes are
// their own display text, in UTF-8 too. Eight bytes at a time (inline: most
// names are plain): a byte below 0x20 or from 0x7F up sets its high bit in
// one of the three terms. The last step takes the last eight bytes again; a
// text shorter than eight is taken as one word: from four bytes its first
// and its last four, below that its first, middle and last byte (which are
// all of them) with spaces around.
inline bool IsPlainAscii(std::string_view S) {
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  auto NotPlain = [](uint64_t W) { return ((((W - Ones * 0x20) & ~W) | W | (W + Ones)) & Highs) != 0; };
  auto Word = [](const char* P) {
    uint64_t W;
    std::memcpy(&W, P, 8);
    return W;
  };
  const char* P = S.data();
  const size_t N = S.size();
  if (N >= 8) {
    for (size_t I = 0; I + 8 < N; I += 8)
      if (NotPlain(Word(P + I))) return false;
    return !NotPlain(Word(P + N - 8));
  }
  if (N >= 4) {
    uint32_t Lo, Hi;
    std::memcpy(&Lo, P, 4);
    std::memcpy(&Hi, P + N - 4, 4);
    return !NotPlain(uint64_t(Lo) | uint64_t(Hi) << 32);
  }
  if (N == 0) return true;
  return !NotPlain(Ones * 0x20 << 24 | uint64_t(static_cast<uint8_t>(P[0])) |
                   uint64_t(static_cast<uint8_t>(P[N / 2])) << 8 | uint64_t(static_cast<uint8_t>(P[N - 1])) << 16);
}

// Bytes as display text in UTF-8.
std::string DisplayUtf8(std::string_view Bytes);
