// The shortest digits of an Extended value (see ExtendedDigits.h): the
// free-format digit generation of Steele & White as Burger & Dybvig state
// it, on unsigned integers of any size, then the layout of std::to_chars.
#include "ExtendedDigits.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// An unsigned integer of any size: 32-bit limbs, least significant first,
// no zero limbs at the top.
class TBig {
 public:
  explicit TBig(uint64_t V = 0) {
    for (; V; V >>= 32) L.push_back(static_cast<uint32_t>(V));
  }
  static TBig Pow2(int N) {
    TBig B(1);
    B.ShiftLeft(N);
    return B;
  }
  void ShiftLeft(int N) {
    if (L.empty() || N == 0) return;
    const int Words = N / 32, Bits = N % 32;
    if (Bits) {
      uint32_t Carry = 0;
      for (uint32_t& W : L) {
        const uint32_t Next = W >> (32 - Bits);
        W = (W << Bits) | Carry;
        Carry = Next;
      }
      if (Carry) L.push_back(Carry);
    }
    L.insert(L.begin(), static_cast<size_t>(Words), 0u);
  }
  void MulSmall(uint32_t M) {
    uint64_t Carry = 0;
    for (uint32_t& W : L) {
      const uint64_t P = uint64_t(W) * M + Carry;
      W = static_cast<uint32_t>(P);
      Carry = P >> 32;
    }
    if (Carry) L.push_back(static_cast<uint32_t>(Carry));
    Trim();
  }
  void MulPow10(int N) {
    for (; N >= 9; N -= 9) MulSmall(1000000000u);
    for (; N > 0; --N) MulSmall(10);
  }
  void Add(const TBig& B) {
    if (L.size() < B.L.size()) L.resize(B.L.size(), 0);
    uint64_t Carry = 0;
    for (size_t I = 0; I < L.size(); ++I) {
      const uint64_t S = uint64_t(L[I]) + (I < B.L.size() ? B.L[I] : 0) + Carry;
      L[I] = static_cast<uint32_t>(S);
      Carry = S >> 32;
    }
    if (Carry) L.push_back(static_cast<uint32_t>(Carry));
  }
  // *this -= B; B is at most *this.
  void Sub(const TBig& B) {
    int64_t Borrow = 0;
    for (size_t I = 0; I < L.size(); ++I) {
      int64_t D = int64_t(L[I]) - (I < B.L.size() ? B.L[I] : 0) - Borrow;
      Borrow = D < 0;
      L[I] = static_cast<uint32_t>(D + (Borrow << 32));
    }
    Trim();
  }
  // *this /= M; returns the remainder.
  uint32_t DivSmall(uint32_t M) {
    uint64_t Rem = 0;
    for (size_t I = L.size(); I-- > 0;) {
      const uint64_t Cur = (Rem << 32) | L[I];
      L[I] = static_cast<uint32_t>(Cur / M);
      Rem = Cur % M;
    }
    Trim();
    return static_cast<uint32_t>(Rem);
  }
  bool IsZero() const { return L.empty(); }
  std::string Decimal() const {
    TBig Q = *this;
    std::string S;
    do {
      const uint32_t Chunk = Q.DivSmall(1000000000u);
      std::string Part = std::to_string(Chunk);
      if (!Q.IsZero()) Part.insert(0, 9 - Part.size(), '0');
      S.insert(0, Part);
    } while (!Q.IsZero());
    return S;
  }
  friend int Compare(const TBig& A, const TBig& B) {
    if (A.L.size() != B.L.size()) return A.L.size() < B.L.size() ? -1 : 1;
    for (size_t I = A.L.size(); I-- > 0;)
      if (A.L[I] != B.L[I]) return A.L[I] < B.L[I] ? -1 : 1;
    return 0;
  }
  friend TBig operator+(TBig A, const TBig& B) {
    A.Add(B);
    return A;
  }

 private:
  void Trim() {
    while (!L.empty() && L.back() == 0) L.pop_back();
  }
  std::vector<uint32_t> L;
};

// The value as R / S, with the half-gaps to its neighbours MPlus / S above
// and MMinus / S below; Inclusive when a text exactly half-way reads back to
// it (an even significand).
struct TScaled {
  TBig R, S, MPlus, MMinus;
  bool Inclusive = false;
};

TScaled Scale(uint64_t F, int E, bool Boundary) {
  TScaled V;
  V.Inclusive = (F & 1) == 0;
  // Boundary: the gap below is half the gap above.
  const int Extra = Boundary ? 1 : 0;
  V.R = TBig(F);
  V.R.ShiftLeft(1 + Extra + std::max(E, 0));
  V.S = TBig::Pow2(1 + Extra + std::max(-E, 0));
  V.MMinus = TBig::Pow2(std::max(E, 0));
  V.MPlus = TBig::Pow2(std::max(E, 0) + Extra);
  return V;
}

bool AtOrAbove(const TBig& A, const TBig& B, bool Inclusive) {
  const int C = Compare(A, B);
  return Inclusive ? C >= 0 : C > 0;
}

void Times10(TScaled& V) {
  V.R.MulSmall(10);
  V.MPlus.MulSmall(10);
  V.MMinus.MulSmall(10);
}

// Scales V so that 0.1 <= (R + MPlus) / S < 1; returns the decimal exponent
// K of that scaling (the value is 0.ddd * 10^K).
int ScaleToDigits(TScaled& V, uint64_t F, int E) {
  int K = static_cast<int>(std::ceil((std::log2(static_cast<double>(F)) + E) * 0.30102999566398120 - 1e-10));
  if (K >= 0) {
    V.S.MulPow10(K);
  } else {
    V.R.MulPow10(-K);
    V.MPlus.MulPow10(-K);
    V.MMinus.MulPow10(-K);
  }
  while (AtOrAbove(V.R + V.MPlus, V.S, V.Inclusive)) {
    V.S.MulSmall(10);
    ++K;
  }
  for (;;) {
    TBig High = V.R + V.MPlus;
    High.MulSmall(10);
    if (AtOrAbove(High, V.S, V.Inclusive)) break;
    Times10(V);
    --K;
  }
  return K;
}

std::string GenerateDigits(TScaled& V) {
  std::string Digits;
  for (;;) {
    Times10(V);
    int D = 0;
    while (Compare(V.R, V.S) >= 0) {
      V.R.Sub(V.S);
      ++D;
    }
    const bool Low = !AtOrAbove(V.R, V.MMinus, !V.Inclusive);  // R below (or at) the lower bound
    const bool High = AtOrAbove(V.R + V.MPlus, V.S, V.Inclusive);
    if (!Low && !High) {
      Digits += static_cast<char>('0' + D);
      continue;
    }
    if (Low && High) {
      TBig Twice = V.R;
      Twice.ShiftLeft(1);
      // Nearer the value; exactly half-way, the even digit (as std::to_chars).
      const int C = Compare(Twice, V.S);
      if (C > 0 || (C == 0 && D % 2 == 1)) ++D;
    } else if (High) {
      ++D;
    }
    Digits += static_cast<char>('0' + D);
    return Digits;
  }
}

// Digits (0.ddd * 10^K) laid out as std::to_chars's shortest form. A fixed
// form longer than the digits is a whole number, written exactly as Whole.
std::string Layout(const std::string& Digits, int K, const TBig& Whole) {
  const int N = static_cast<int>(Digits.size());
  const int X = K - 1;  // the exponent of the first digit
  std::string Sci = Digits.substr(0, 1);
  if (N > 1) Sci += "." + Digits.substr(1);
  const int AbsX = X < 0 ? -X : X;
  Sci += X < 0 ? "e-" : "e+";
  if (AbsX < 10) Sci += '0';
  Sci += std::to_string(AbsX);
  std::string Fixed;
  if (X < 0)
    Fixed = "0." + std::string(static_cast<size_t>(-X - 1), '0') + Digits;
  else if (N <= X + 1)
    Fixed = Digits + std::string(static_cast<size_t>(X + 1 - N), '0');
  else
    Fixed = Digits.substr(0, static_cast<size_t>(X + 1)) + "." + Digits.substr(static_cast<size_t>(X + 1));
  if (Fixed.size() > Sci.size()) return Sci;
  return X >= 0 && N < X + 1 ? Whole.Decimal() : Fixed;
}

}  // namespace

std::string ShortestExtendedText(uint64_t Mantissa, unsigned Exponent, bool Negative) {
  const std::string Sign = Negative ? "-" : "";
  if (Mantissa == 0) return Sign + "0";
  // The same number with the integer bit set where the exponent allows: the
  // neighbours are those of the normal form.
  int E = Exponent == 0 ? 1 : static_cast<int>(Exponent & 0x7FFF);
  while ((Mantissa >> 63) == 0 && E > 1) {
    Mantissa <<= 1;
    --E;
  }
  const bool Boundary = Mantissa == (uint64_t(1) << 63) && E > 1;
  const int Exp2 = E - 16383 - 63;
  TScaled V = Scale(Mantissa, Exp2, Boundary);
  const int K = ScaleToDigits(V, Mantissa, Exp2);
  const std::string Digits = GenerateDigits(V);
  // The whole number, in case the fixed form is written exactly: a value
  // whose digits end before the units has no fraction.
  TBig Whole(Mantissa);
  if (Exp2 >= 0) Whole.ShiftLeft(Exp2);
  else Whole = TBig(Mantissa >> std::min(-Exp2, 63));
  return Sign + Layout(Digits, K, Whole);
}
