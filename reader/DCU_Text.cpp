// The 8-bit bytes of a unit file as display text: Windows-1252 with caret
// notation for the control characters, and the same as UTF-8.
#include "DCU_Text.h"

TDisplayChar DisplayChar(unsigned char B) {
  // Windows-1252 positions 0x80..0x9F; the five it leaves undefined keep
  // their own code point.
  static const char16_t High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (B < 0x20) return {true, char16_t(B + 0x40)};
  if (B == 0x7F) return {true, u'?'};
  if (B >= 0x80 && B <= 0x9F) return {false, High[B - 0x80]};
  return {false, char16_t(B)};
}

std::string DisplayUtf8(std::string_view Bytes) {
  if (IsPlainAscii(Bytes)) return std::string(Bytes);
  std::string S;
  S.reserve(Bytes.size() + Bytes.size() / 2);
  for (char Ch : Bytes) {
    const TDisplayChar D = DisplayChar(static_cast<unsigned char>(Ch));
    if (D.Caret) S += '^';
    AppendUtf8(S, D.Code);
  }
  return S;
}

void AppendUtf8(std::string& S, char32_t C) {
  if (C < 0x80) {
    S += static_cast<char>(C);
  } else if (C < 0x800) {
    S += static_cast<char>(0xC0 | (C >> 6));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    S += static_cast<char>(0xE0 | (C >> 12));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    S += static_cast<char>(0xF0 | (C >> 18));
    S += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  }
}
