// Helpers of the platform layer (see PlatformText.h).
#include "PlatformText.h"

#include <cstdint>

namespace {

// The code point of the UTF-8 sequence at S[I], I moved past it.
char32_t NextCodePoint(std::string_view S, size_t& I) {
  const auto Byte = [&](size_t K) { return static_cast<unsigned char>(S[K]); };
  const unsigned char B = Byte(I++);
  if (B < 0x80) return B;
  const int More = B >= 0xF5 ? -1 : B >= 0xF0 ? 3 : B >= 0xE0 ? 2 : B >= 0xC2 ? 1 : -1;
  if (More < 0 || I + static_cast<size_t>(More) > S.size()) return 0xFFFD;
  char32_t C = B & (0x3F >> More);
  for (int K = 0; K < More; ++K) {
    if ((Byte(I + K) & 0xC0) != 0x80) return 0xFFFD;
    C = C << 6 | (Byte(I + K) & 0x3F);
  }
  I += static_cast<size_t>(More);
  const char32_t Least[] = {0, 0x80, 0x800, 0x10000};
  if (C < Least[More] || C > 0x10FFFF || (C >= 0xD800 && C < 0xE000)) return 0xFFFD;
  return C;
}

void PutUtf8(std::string& S, char32_t C) {
  if (C < 0x80) {
    S += static_cast<char>(C);
  } else if (C < 0x800) {
    S += static_cast<char>(0xC0 | C >> 6);
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    S += static_cast<char>(0xE0 | C >> 12);
    S += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    S += static_cast<char>(0xF0 | C >> 18);
    S += static_cast<char>(0x80 | (C >> 12 & 0x3F));
    S += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  }
}

}  // namespace

std::wstring Utf8ToWide(std::string_view Utf8) {
  std::wstring W;
  W.reserve(Utf8.size());
  for (size_t I = 0; I < Utf8.size();) {
    const char32_t C = NextCodePoint(Utf8, I);
    if (sizeof(wchar_t) == 2 && C >= 0x10000) {
      W += static_cast<wchar_t>(0xD800 + ((C - 0x10000) >> 10));
      W += static_cast<wchar_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      W += static_cast<wchar_t>(C);
    }
  }
  return W;
}

std::string WideToUtf8(std::wstring_view Wide) {
  std::string S;
  S.reserve(Wide.size());
  for (size_t I = 0; I < Wide.size(); ++I) {
    char32_t C = static_cast<char32_t>(Wide[I]);
    if (sizeof(wchar_t) == 2 && C >= 0xD800 && C < 0xDC00 && I + 1 < Wide.size()) {
      const char32_t Low = static_cast<char32_t>(Wide[I + 1]);
      if (Low >= 0xDC00 && Low < 0xE000) {
        C = 0x10000 + ((C - 0xD800) << 10) + (Low - 0xDC00);
        ++I;
      }
    }
    if (C > 0x10FFFF || (C >= 0xD800 && C < 0xE000)) C = 0xFFFD;
    PutUtf8(S, C);
  }
  return S;
}

int WeekDay(int Year, int Month, int Day) {
  // Sakamoto's method.
  static const int Offset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (Month < 3) --Year;
  const int W = (Year + Year / 4 - Year / 100 + Year / 400 + Offset[(Month - 1) % 12] + Day) % 7;
  return W < 0 ? W + 7 : W;
}

std::wstring WithoutZoneFields(std::wstring P) {
  for (size_t I = 0; I + 1 < P.size(); ++I) {
    if (P[I] != L'%') continue;
    if (P[I + 1] != L'Z' && P[I + 1] != L'z') {
      ++I;  // another field, or %%
      continue;
    }
    size_t From = I, To = I + 2;
    while (From > 0 && P[From - 1] == L' ') --From;
    while (To < P.size() && P[To] == L' ') ++To;
    // One blank stays between what stood on both sides.
    const bool Between = From > 0 && To < P.size();
    P.replace(From, To - From, Between ? L" " : L"");
    I = From;
  }
  return P;
}
