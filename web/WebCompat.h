// What the C++ library of the browser build (emscripten's libc++ 13) lacks
// of C++20, for the one code base: included before everything else in every
// file of the web build (web/CMakeLists.txt), and nowhere else. Where the
// library has these itself, the header adds nothing.
#pragma once

#include <version>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000

#include <charconv>
#include <compare>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace std {

inline strong_ordering operator<=>(string_view A, string_view B) noexcept {
  const int C = A.compare(B);
  return C < 0 ? strong_ordering::less : C > 0 ? strong_ordering::greater : strong_ordering::equal;
}

template <class T>
  requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t N) {
  return unique_ptr<T>(new remove_extent_t<T>[N]);
}

template <class T>
  requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
  return unique_ptr<T>(new T);
}

}  // namespace std

namespace unitpeek_web_compat {

// printf's text of V into [First, Last).
template <class... A>
std::to_chars_result Print(char* First, char* Last, const char* Format, A... Args) {
  char Buf[400];
  const int N = std::snprintf(Buf, sizeof Buf, Format, Args...);
  if (N < 0 || N >= static_cast<int>(sizeof Buf) || N > Last - First) return {Last, std::errc::value_too_large};
  std::memcpy(First, Buf, static_cast<size_t>(N));
  return {First + N, std::errc()};
}

// The shortest text that reads back to V (of type T: float or double), laid
// out as the shortest form of std::to_chars: fixed or scientific, whichever
// is shorter (fixed on a tie); a whole number in the fixed form exactly.
template <class T>
std::to_chars_result Shortest(char* First, char* Last, T V) {
  if (std::isnan(V)) return Print(First, Last, "%s", std::signbit(V) ? "-nan" : "nan");
  if (std::isinf(V)) return Print(First, Last, "%s", V < 0 ? "-inf" : "inf");
  if (V == 0) return Print(First, Last, "%s", std::signbit(V) ? "-0" : "0");
  const int MaxDigits = std::is_same_v<T, float> ? 9 : 17;
  char Sci[64];
  for (int P = 1; P <= MaxDigits; ++P) {
    std::snprintf(Sci, sizeof Sci, "%.*e", P - 1, static_cast<double>(V));
    const T Back = std::is_same_v<T, float> ? static_cast<T>(std::strtof(Sci, nullptr)) : static_cast<T>(std::strtod(Sci, nullptr));
    if (Back == V) break;
  }
  // Sci: [-]d[.ddd]e(+|-)XX
  std::string S(Sci);
  const bool Neg = S[0] == '-';
  if (Neg) S.erase(0, 1);
  const size_t E = S.find('e');
  const int X = std::atoi(S.c_str() + E + 1);
  std::string Digits = S.substr(0, E);
  if (Digits.size() > 1) Digits.erase(1, 1);  // the point
  const int N = static_cast<int>(Digits.size());
  std::string Fixed;
  if (X < 0) Fixed = "0." + std::string(static_cast<size_t>(-X - 1), '0') + Digits;
  else if (N <= X + 1) Fixed = Digits + std::string(static_cast<size_t>(X + 1 - N), '0');
  else Fixed = Digits.substr(0, static_cast<size_t>(X + 1)) + "." + Digits.substr(static_cast<size_t>(X + 1));
  std::string Out;
  if (Fixed.size() > S.size()) Out = S;
  else if (X >= 0 && N < X + 1) return Print(First, Last, "%.0f", static_cast<double>(V));
  else Out = Fixed;
  if (Neg) Out.insert(0, 1, '-');
  if (static_cast<ptrdiff_t>(Out.size()) > Last - First) return {Last, std::errc::value_too_large};
  std::memcpy(First, Out.data(), Out.size());
  return {First + Out.size(), std::errc()};
}

}  // namespace unitpeek_web_compat

namespace std {

inline to_chars_result to_chars(char* First, char* Last, double V) {
  return unitpeek_web_compat::Shortest(First, Last, V);
}
inline to_chars_result to_chars(char* First, char* Last, float V) {
  return unitpeek_web_compat::Shortest(First, Last, V);
}
// The general form with a precision: printf's %.*g.
inline to_chars_result to_chars(char* First, char* Last, double V, chars_format, int Precision) {
  return unitpeek_web_compat::Print(First, Last, "%.*g", Precision, V);
}
inline from_chars_result from_chars(const char* First, const char* Last, double& V) {
  const std::string Text(First, Last);
  char* End = nullptr;
  const double D = std::strtod(Text.c_str(), &End);
  if (End == Text.c_str()) return {First, errc::invalid_argument};
  V = D;
  return {First + (End - Text.c_str()), errc()};
}

}  // namespace std

#endif
