// How the 8-bit names and message bytes of a unit file show as text:
// Windows-1252, with the bytes 0x00-0x1F and 0x7F in caret notation
// (^@ .. ^_, ^?). One mapping for every writer: the summary, the JSON, the
// declarations and the folder reports.
#pragma once

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

// Bytes as display text in UTF-8.
std::string DisplayUtf8(std::string_view Bytes);
