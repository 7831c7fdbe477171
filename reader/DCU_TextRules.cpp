// The shared rules of text (see DCU_TextRules.h).
#include "DCU_TextRules.h"

#include "DCU_Fold.h"

namespace {

bool IsContinuation(char C) { return (static_cast<unsigned char>(C) & 0xC0) == 0x80; }

bool SameLetter(char A, char B) {
  return FoldLower(static_cast<unsigned char>(A)) == FoldLower(static_cast<unsigned char>(B));
}

}  // namespace

bool SameNameNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (!SameLetter(A[I], B[I])) return false;
  return true;
}

std::string LowerName(std::string_view Name) {
  std::string L(Name);
  for (char& C : L) C = static_cast<char>(FoldLower(static_cast<unsigned char>(C)));
  return L;
}

bool WildcardMatch(std::string_view P, std::string_view T) {
  // The last '*' and where the text stood when it was met.
  size_t Pi = 0, Ti = 0;
  size_t StarP = std::string_view::npos, StarT = 0;
  while (Ti < T.size()) {
    if (Pi < P.size() && P[Pi] == '*') {
      StarP = ++Pi;
      StarT = Ti;
    } else if (Pi < P.size() && P[Pi] == '?') {
      ++Pi;
      ++Ti;
      while (Ti < T.size() && IsContinuation(T[Ti])) ++Ti;
    } else if (Pi < P.size() && SameLetter(P[Pi], T[Ti])) {
      ++Pi;
      ++Ti;
    } else if (StarP != std::string_view::npos) {
      // The '*' takes one character more (a UTF-8 sequence whole).
      Pi = StarP;
      Ti = ++StarT;
      while (Ti < T.size() && IsContinuation(T[Ti])) Ti = ++StarT;
    } else {
      return false;
    }
  }
  while (Pi < P.size() && P[Pi] == '*') ++Pi;
  return Pi == P.size();
}

std::string_view CallConvName(uint8_t CC) {
  static constexpr std::string_view Names[] = {"register", "cdecl", "pascal", "stdcall", "safecall"};
  return CC < 5 ? Names[CC] : std::string_view();
}
