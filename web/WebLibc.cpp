// What the C library of the browser build (emscripten 3.1.6's) lacks for the
// platform layer: wcsftime, which the user's date and time formats of
// platform/PlatformPosix.cpp call. The page runs under the C locale, whose
// dates the summary writes itself, so this is linked but not reached; it
// formats as strftime does, the pattern and the text taken a character at a
// time (the C locale's are ASCII).
#include <cstddef>
#include <ctime>
#include <cwchar>
#include <string>

extern "C" size_t wcsftime(wchar_t* Out, size_t Max, const wchar_t* Format, const struct tm* T) {
  std::string Narrow;
  for (const wchar_t* P = Format; *P; ++P) Narrow += *P < 0x80 ? static_cast<char>(*P) : '?';
  char Buf[512];
  const size_t N = std::strftime(Buf, sizeof Buf, Narrow.c_str(), T);
  if (N == 0 || N >= Max) return 0;
  for (size_t I = 0; I < N; ++I) Out[I] = static_cast<wchar_t>(static_cast<unsigned char>(Buf[I]));
  Out[N] = L'\0';
  return N;
}
