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
// one of the three terms.
inline bool IsPlainAscii(std::string_view S) {
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  size_t I = 0;
  for (; I + 8 <= S.size(); I += 8) {
    uint64_t W;
    std::memcpy(&W, S.data() + I, 8);
    if ((((W - Ones * 0x20) & ~W) | W | (W + Ones)) & Highs) return false;
  }
  for (; I < S.size(); ++I)
    if (S[I] < 0x20 || S[I] >= 0x7F) return false;
  return true;
}

// Bytes as display text in UTF-8.
std::string DisplayUtf8(std::string_view Bytes);
