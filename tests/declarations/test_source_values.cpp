// Values, visibility and directives end to end against the truth: for every
// unit of ../shared/corpus whose Pascal source lies in ../shared/corpus-src,
// the declarations outline is built as the command line builds it, and each
// constant, typed constant (and initialised variable) and resource string of
// the unit level whose source value is a literal expression (numbers,
// strings, characters, sets, arrays, records, nil, True/False, enumeration
// names, @Name, simple arithmetic) must agree with the value the outline
// holds for its JSON (for a float, with the listing's text); each member of
// a class must sit in the section the source puts it in; each method whose
// source states a directive the file can keep must have it; each property
// default must agree. Reports the shares, the misses by category and the
// declarations left out (values that name other constants or call
// functions), and fails below the floors.
//
// Conditional directives are read as comments: every branch is read, so a
// declaration of a branch the compiler left out may disagree (its misses are
// listed as conditional).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "DCU_Unit.h"
#include "DeclListing.h"
#include "DeclOutline.h"
#include "CorpusTrees.h"
#include "TestData.h"
#include "UsedUnits.h"

namespace fs = std::filesystem;

namespace {

// Wide enough for any 64-bit value, signed or not, and their sums.
__extension__ typedef __int128 TBig;

std::string Lower(std::string_view S) {
  std::string L(S);
  for (char& C : L) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return L;
}

// ---------------------------------------------------------------------------
// Tokens

struct TTok {
  char Kind;        // 'i' identifier, 'n' number, 'q' string, 's' symbol
  std::string Text;  // identifiers lower-cased as Low; strings: the bytes
  std::string Low;
  bool Cond;
};

bool IsIdent(char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; }

std::vector<TTok> Tokenize(const std::string& S) {
  std::vector<TTok> Out;
  int Cond = 0;
  size_t I = 0;
  auto Push = [&](char K, std::string T) {
    TTok X{K, T, Lower(T), Cond > 0};
    Out.push_back(std::move(X));
  };
  while (I < S.size()) {
    const char C = S[I];
    if (std::isspace(static_cast<unsigned char>(C))) { ++I; continue; }
    if (C == '{' || (C == '(' && I + 1 < S.size() && S[I + 1] == '*')) {
      const bool Brace = C == '{';
      const size_t E = Brace ? S.find('}', I) : S.find("*)", I + 2);
      std::string D = Lower(S.substr(I + (Brace ? 1 : 2), 8));
      if (D.rfind("$if", 0) == 0) ++Cond;
      else if ((D.rfind("$endif", 0) == 0 || D.rfind("$ifend", 0) == 0) && Cond > 0) --Cond;
      I = E == std::string::npos ? S.size() : E + (Brace ? 1 : 2);
      continue;
    }
    if (C == '/' && I + 1 < S.size() && S[I + 1] == '/') {
      I = S.find('\n', I);
      if (I == std::string::npos) break;
      continue;
    }
    if (C == '\'' || C == '#') {
      // A string: quoted parts and character codes, side by side.
      std::string V;
      bool Any = false;
      while (I < S.size()) {
        if (S[I] == '\'') {
          size_t J = I + 1;
          for (;;) {
            if (J >= S.size()) break;
            if (S[J] == '\'') {
              if (J + 1 < S.size() && S[J + 1] == '\'') { V += '\''; J += 2; continue; }
              break;
            }
            V += S[J++];
          }
          I = J + 1;
          Any = true;
        } else if (S[I] == '#') {
          size_t J = I + 1;
          const bool Hex = J < S.size() && S[J] == '$';
          if (Hex) ++J;
          const size_t From = J;
          while (J < S.size() && (Hex ? std::isxdigit(static_cast<unsigned char>(S[J])) : std::isdigit(static_cast<unsigned char>(S[J])))) ++J;
          if (J == From) break;
          V += static_cast<char>(std::strtoul(S.substr(From, J - From).c_str(), nullptr, Hex ? 16 : 10));
          I = J;
          Any = true;
        } else {
          break;
        }
      }
      if (Any) Push('q', V);
      else ++I;
      continue;
    }
    if (C == '$' || std::isdigit(static_cast<unsigned char>(C))) {
      size_t J = I + 1;
      if (C == '$') {
        while (J < S.size() && std::isxdigit(static_cast<unsigned char>(S[J]))) ++J;
      } else {
        while (J < S.size() && std::isdigit(static_cast<unsigned char>(S[J]))) ++J;
        if (J + 1 < S.size() && S[J] == '.' && std::isdigit(static_cast<unsigned char>(S[J + 1]))) {
          ++J;
          while (J < S.size() && std::isdigit(static_cast<unsigned char>(S[J]))) ++J;
        }
        if (J < S.size() && (S[J] == 'e' || S[J] == 'E')) {
          size_t K = J + 1;
          if (K < S.size() && (S[K] == '+' || S[K] == '-')) ++K;
          if (K < S.size() && std::isdigit(static_cast<unsigned char>(S[K]))) {
            J = K;
            while (J < S.size() && std::isdigit(static_cast<unsigned char>(S[J]))) ++J;
          }
        }
      }
      Push('n', S.substr(I, J - I));
      I = J;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(C)) || C == '_') {
      size_t J = I + 1;
      while (J < S.size() && IsIdent(S[J])) ++J;
      Push('i', S.substr(I, J - I));
      I = J;
      continue;
    }
    static const char* Two[] = {"..", ":=", "<=", ">=", "<>"};
    bool Done = false;
    for (const char* T : Two)
      if (S.compare(I, 2, T) == 0) {
        Push('s', T);
        I += 2;
        Done = true;
        break;
      }
    if (!Done) Push('s', std::string(1, C)), ++I;
  }
  return Out;
}

// ---------------------------------------------------------------------------
// Source values

struct TSrc {
  enum Kind { Int, Real, Str, Set, Agg, Rec, Nil, Bool, Name, Ref, Bad } K = Bad;
  TBig I = 0;
  long double R = 0;
  bool Computed = false;  // a real that arithmetic made
  std::string S;          // Str: bytes; Name/Ref: the name; Bad: why
  std::vector<TSrc> Items;   // Set (ranges as pairs: see Hi), Agg, Rec
  std::vector<TSrc> Hi;      // Set: the high end of a range, or Bad when none
  std::vector<std::string> Names;  // Rec
  bool HasName = false;           // somewhere an identifier
};

TSrc BadSrc(std::string Why) {
  TSrc V;
  V.S = std::move(Why);
  return V;
}

class TExpr {
 public:
  TExpr(const std::vector<TTok>& T, size_t From, size_t To) : T(T), I(From), End(To) {}
  TSrc Parse() {
    TSrc V = Expr();
    if (I != End && V.K != TSrc::Bad) return BadSrc("trailing tokens");
    return V;
  }

 private:
  const std::vector<TTok>& T;
  size_t I, End;

  bool Is(const char* W) const { return I < End && T[I].Kind != 'q' && T[I].Low == W; }

  static bool IsNum(const TSrc& V) { return V.K == TSrc::Int || V.K == TSrc::Real; }
  static long double AsReal(const TSrc& V) { return V.K == TSrc::Int ? static_cast<long double>(V.I) : V.R; }

  TSrc Arith(const std::string& Op, TSrc A, TSrc B) {
    if (A.K == TSrc::Bad) return A;
    if (B.K == TSrc::Bad) return B;
    const bool Names = A.HasName || B.HasName;
    TSrc R;
    if (Op == "+" && A.K == TSrc::Str && B.K == TSrc::Str) {
      R.K = TSrc::Str;
      R.S = A.S + B.S;
    } else if (IsNum(A) && IsNum(B)) {
      if (A.K == TSrc::Int && B.K == TSrc::Int && Op != "/") {
        R.K = TSrc::Int;
        const TBig X = A.I, Y = B.I;
        if (Op == "+") R.I = X + Y;
        else if (Op == "-") R.I = X - Y;
        else if (Op == "*") R.I = X * Y;
        else if (Op == "div" || Op == "mod") {
          if (Y == 0) return BadSrc("division by zero");
          R.I = Op == "div" ? X / Y : X % Y;
        } else if (Op == "and") R.I = X & Y;
        else if (Op == "or") R.I = X | Y;
        else if (Op == "xor") R.I = X ^ Y;
        else if (Op == "shl") R.I = static_cast<TBig>(static_cast<uint64_t>(X) << (Y & 63));
        else if (Op == "shr") R.I = static_cast<TBig>(static_cast<uint64_t>(X) >> (Y & 63));
        else return BadSrc("operator " + Op);
      } else {
        R.K = TSrc::Real;
        R.Computed = true;
        const long double X = AsReal(A), Y = AsReal(B);
        if (Op == "+") R.R = X + Y;
        else if (Op == "-") R.R = X - Y;
        else if (Op == "*") R.R = X * Y;
        else if (Op == "/") R.R = X / Y;
        else return BadSrc("operator " + Op);
      }
    } else if (A.K == TSrc::Name || B.K == TSrc::Name) {
      return BadSrc("arithmetic on names of other constants");
    } else if (A.K == TSrc::Set || B.K == TSrc::Set) {
      return BadSrc("set arithmetic");
    } else {
      return BadSrc("operands of " + Op);
    }
    R.HasName = Names;
    return R;
  }

  TSrc Expr() {
    TSrc V = Term();
    while (Is("+") || Is("-") || Is("or") || Is("xor")) {
      const std::string Op = T[I++].Low;
      V = Arith(Op, V, Term());
    }
    return V;
  }
  TSrc Term() {
    TSrc V = Factor();
    while (Is("*") || Is("/") || Is("div") || Is("mod") || Is("and") || Is("shl") || Is("shr")) {
      const std::string Op = T[I++].Low;
      V = Arith(Op, V, Factor());
    }
    return V;
  }
  TSrc Factor() {
    if (I >= End) return BadSrc("missing value");
    const TTok& K = T[I];
    if (K.Kind == 'q') {
      ++I;
      TSrc V;
      V.K = TSrc::Str;
      V.S = K.Text;
      return V;
    }
    if (K.Low == "-" || K.Low == "+") {
      ++I;
      TSrc V = Factor();
      if (K.Low == "+") return V;
      if (V.K == TSrc::Int) V.I = -V.I;
      else if (V.K == TSrc::Real) V.R = -V.R;
      else if (V.K != TSrc::Bad) return BadSrc("minus of a non-number");
      return V;
    }
    if (K.Low == "not") {
      ++I;
      TSrc V = Factor();
      if (V.K == TSrc::Int) V.I = ~V.I;
      else if (V.K != TSrc::Bad) return BadSrc("not of a non-number");
      return V;
    }
    if (K.Kind == 'n') {
      ++I;
      TSrc V;
      if (K.Text[0] == '$') {
        V.K = TSrc::Int;
        V.I = static_cast<TBig>(std::strtoull(K.Text.c_str() + 1, nullptr, 16));
      } else if (K.Text.find_first_of(".eE") != std::string::npos) {
        V.K = TSrc::Real;
        V.R = std::strtold(K.Text.c_str(), nullptr);
      } else {
        V.K = TSrc::Int;
        V.I = static_cast<TBig>(std::strtoull(K.Text.c_str(), nullptr, 10));
      }
      return V;
    }
    if (K.Kind == 'q') {
      ++I;
      TSrc V;
      V.K = TSrc::Str;
      V.S = K.Text;
      return V;
    }
    if (K.Low == "(") {
      ++I;
      // A record: (Name: value; ...); an array: (value, ...); else parentheses.
      if (I + 1 < End && T[I].Kind == 'i' && T[I + 1].Low == ":") {
        TSrc R;
        R.K = TSrc::Rec;
        while (I + 1 < End && T[I].Kind == 'i' && T[I + 1].Low == ":") {
          R.Names.push_back(T[I].Text);
          I += 2;
          TSrc F = Expr();
          R.HasName |= F.HasName;
          if (F.K == TSrc::Bad) return F;
          R.Items.push_back(std::move(F));
          if (Is(";")) ++I;
        }
        if (!Is(")")) return BadSrc("record literal");
        ++I;
        return R;
      }
      TSrc A;
      A.K = TSrc::Agg;
      if (Is(")")) return BadSrc("empty parentheses");
      for (;;) {
        TSrc E = Expr();
        if (E.K == TSrc::Bad) return E;
        A.HasName |= E.HasName;
        A.Items.push_back(std::move(E));
        if (Is(",")) { ++I; continue; }
        break;
      }
      if (!Is(")")) return BadSrc("parenthesis");
      ++I;
      if (A.Items.size() == 1 && A.Items[0].K != TSrc::Agg && A.Items[0].K != TSrc::Rec) return A.Items[0];
      return A;
    }
    if (K.Low == "[") {
      ++I;
      TSrc S;
      S.K = TSrc::Set;
      while (!Is("]")) {
        TSrc E = Expr();
        if (E.K == TSrc::Bad) return E;
        S.HasName |= E.HasName;
        TSrc H = BadSrc("no range");
        if (Is("..")) {
          ++I;
          H = Expr();
          if (H.K == TSrc::Bad) return H;
          S.HasName |= H.HasName;
        }
        S.Items.push_back(std::move(E));
        S.Hi.push_back(std::move(H));
        if (Is(",")) ++I;
        else if (!Is("]")) return BadSrc("set literal");
      }
      ++I;
      return S;
    }
    if (K.Low == "@") {
      ++I;
      if (I >= End || T[I].Kind != 'i') return BadSrc("address of an expression");
      TSrc V;
      V.K = TSrc::Ref;
      V.S = T[I++].Text;
      V.HasName = true;
      while (Is(".") && I + 1 < End && T[I + 1].Kind == 'i') V.S += "." + T[I + 1].Text, I += 2;
      if (Is("(") || Is("[") || Is("^")) return BadSrc("address of an expression");
      return V;
    }
    if (K.Kind == 'i') {
      ++I;
      if (Is("(") || Is(".") || Is("[") || Is("^")) return BadSrc("function, typecast or qualified name");
      TSrc V;
      if (K.Low == "nil") { V.K = TSrc::Nil; return V; }
      if (K.Low == "true" || K.Low == "false") {
        V.K = TSrc::Bool;
        V.I = K.Low == "true";
        return V;
      }
      V.K = TSrc::Name;
      V.S = K.Text;
      V.HasName = true;
      return V;
    }
    return BadSrc("symbol " + K.Text);
  }
};

// ---------------------------------------------------------------------------
// Comparing a source value with the value the outline holds (its JSON form,
// and for a float the listing's text): they agree; the source names
// something the outline gives as a number or text (another constant), so it
// is no literal; or they differ. In this order, so that the worst part of an
// array or record is the greatest.

constexpr int Agree = 0, NamesOther = 1, Differ = 2;

using json = nlohmann::json;

// What a comparison knows of the unit: the names of its enumerations'
// values (a name among them is a value, not another constant).
struct TUnitNames {
  std::set<std::string> EnumValues;  // lower-cased
};

int Compare(const TSrc& S, const json& V, const TUnitNames& N, const TDeclString* FloatText = nullptr);

bool IsGuidText(const std::string& S) {
  if (S.size() != 38 || S[0] != '{' || S[37] != '}') return false;
  for (size_t K = 1; K < 37; ++K)
    if (K == 9 || K == 14 || K == 19 || K == 24 ? S[K] != '-' : !std::isxdigit(static_cast<unsigned char>(S[K]))) return false;
  return true;
}

// (D1: ...; D2: ...; D3: ...; D4: (8 bytes)) as GUID text; empty when it is none.
std::string GuidOfRecord(const TSrc& S) {
  TBig D[3] = {-1, -1, -1};
  std::vector<TBig> D4;
  for (size_t K = 0; K < S.Items.size(); ++K) {
    const std::string N = Lower(S.Names[K]);
    const TSrc& F = S.Items[K];
    if ((N == "d1" || N == "d2" || N == "d3") && F.K == TSrc::Int) D[N[1] - '1'] = F.I;
    if (N == "d4" && F.K == TSrc::Agg)
      for (const TSrc& B : F.Items) D4.push_back(B.K == TSrc::Int ? B.I : -1);
  }
  if (D[0] < 0 || D[1] < 0 || D[2] < 0 || D4.size() != 8) return {};
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(D[0]), unsigned(D[1]),
                unsigned(D[2]), unsigned(D4[0]), unsigned(D4[1]), unsigned(D4[2]), unsigned(D4[3]), unsigned(D4[4]),
                unsigned(D4[5]), unsigned(D4[6]), unsigned(D4[7]));
  return Buf;
}

// The source's 8-bit string as the JSON holds it: UTF-8 by Windows-1252.
std::string Utf8OfSource(const std::string& Bytes) {
  static const char16_t High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string S;
  for (char Ch : Bytes) {
    const auto B = static_cast<uint8_t>(Ch);
    const uint32_t C = B >= 0x80 && B < 0xA0 ? High[B - 0x80] : B;
    if (C < 0x80) {
      S += static_cast<char>(C);
    } else if (C < 0x800) {
      S += static_cast<char>(0xC0 | (C >> 6));
      S += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      S += static_cast<char>(0xE0 | (C >> 12));
      S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      S += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  return S;
}

// A float of the outline (its text: the shortest that reads back in its
// format) against the source's number: equal, equal in the precision of one
// of the formats the text can come from, or (arithmetic in the compiler and
// here rounding differently) equal to 11 digits.
int CompareFloat(const TSrc& S, const std::string& Text) {
  if (S.K != TSrc::Int && S.K != TSrc::Real) return S.HasName ? NamesOther : Differ;
  const long double A = S.K == TSrc::Int ? static_cast<long double>(S.I) : S.R;
  const long double B = std::strtold(Text.c_str(), nullptr);
  if (A == B || static_cast<double>(A) == static_cast<double>(B)) return Agree;
  size_t Digits = 0;
  for (char C : Text.substr(0, Text.find('E'))) Digits += std::isdigit(static_cast<unsigned char>(C)) != 0;
  if (Digits <= 9 && static_cast<float>(A) == static_cast<float>(B)) return Agree;
  // Currency: four places.
  if (std::fabs(A) < 9e14L && std::llround(A * 10000) == std::llround(B * 10000) &&
      (Text.find('.') == std::string::npos || Text.size() - Text.find('.') <= 5))
    return Agree;
  return std::fabs(A - B) <= 1e-11L * std::fabs(A) ? Agree : Differ;
}

int CompareNumber(const TSrc& S, const json& V) {
  if (S.HasName && S.K != TSrc::Int && S.K != TSrc::Real) return NamesOther;
  if (V.is_number_float()) return CompareFloat(S, V.dump());
  // Only a number agrees with a number: a Boolean, a character or nil the
  // outline shows as a number is not as the source wrote it.
  if (S.K == TSrc::Int) {
    const TBig D = V.is_number_unsigned() ? static_cast<TBig>(V.get<uint64_t>()) : static_cast<TBig>(V.get<int64_t>());
    if (S.I == D) return Agree;
    return S.HasName ? NamesOther : Differ;
  }
  if (S.K == TSrc::Real) return CompareFloat(S, V.dump());
  return S.K == TSrc::Name ? NamesOther : Differ;
}

// The key of a set element: a JSON string as it stands, a number or
// Boolean as "#N".
std::string SetKey(const json& E) {
  if (E.is_string()) return E.get<std::string>();
  if (E.is_boolean()) return "#" + std::to_string(int(E.get<bool>()));
  return "#" + E.dump();
}

int CompareSet(const TSrc& S, const json& V, const TUnitNames& N) {
  if (S.K != TSrc::Set) return S.HasName ? NamesOther : Differ;
  std::set<std::string> A, B;
  std::map<std::string, std::string> ByLower;  // names of the outline's elements, lower-cased
  for (const json& E : V) {
    B.insert(SetKey(E));
    if (E.is_string()) ByLower.emplace(Lower(E.get<std::string>()), E.get<std::string>());
  }
  // The source's element as a key, and its number when it has one.
  auto Key = [&](const TSrc& X, TBig& Num) -> std::string {
    Num = -1;
    if (X.K == TSrc::Name) {
      auto It = ByLower.find(Lower(X.S));
      return It != ByLower.end() ? It->second : "?" + Lower(X.S);
    }
    if (X.K == TSrc::Str && X.S.size() == 1) {
      Num = static_cast<uint8_t>(X.S[0]);
      return Utf8OfSource(X.S);
    }
    if (X.K == TSrc::Int || X.K == TSrc::Bool) {
      Num = X.I;
      return "#" + std::to_string(int64_t(X.I));
    }
    return "?";
  };
  bool Chars = false;
  for (size_t K = 0; K < S.Items.size(); ++K) {
    TBig Lo, Hi;
    const std::string L = Key(S.Items[K], Lo);
    Chars |= S.Items[K].K == TSrc::Str;
    if (S.Hi[K].K == TSrc::Bad) {
      A.insert(L);
      continue;
    }
    const std::string H = Key(S.Hi[K], Hi);
    if (Lo < 0 || Hi < 0) {
      // A range of names: the outline's names between, in its order.
      if (!B.count(L) || !B.count(H)) return S.HasName ? NamesOther : Differ;
      bool In = false;
      for (const json& E : V) {
        const std::string EK = SetKey(E);
        if (EK == L) In = true;
        if (In) A.insert(EK);
        if (EK == H) In = false;
      }
      continue;
    }
    if (Hi - Lo > 65536) return Differ;
    for (TBig X = Lo; X <= Hi; ++X)
      A.insert(Chars ? Utf8OfSource(std::string(1, static_cast<char>(X))) : "#" + std::to_string(int64_t(X)));
  }
  if (A == B) return Agree;
  for (const std::string& K : A)
    if (!B.count(K) && K[0] == '?' && !N.EnumValues.count(K.substr(1))) return NamesOther;
  return Differ;
}

int CompareString(const TSrc& S, const std::string& V, const TUnitNames& N) {
  if (IsGuidText(V)) {
    // A GUID is written as a string or as its record.
    if (S.K == TSrc::Str) return Lower(S.S) == Lower(V) ? Agree : Differ;
    return S.K == TSrc::Rec && Lower(GuidOfRecord(S)) == Lower(V) ? Agree : Differ;
  }
  if (S.K == TSrc::Name) {
    // An enumeration's value by name, or another constant.
    if (Lower(S.S) == Lower(V)) return Agree;
    return N.EnumValues.count(Lower(S.S)) || N.EnumValues.count(Lower(V)) ? Differ : NamesOther;
  }
  if (S.K == TSrc::Int && V.size() <= 4 && !V.empty()) {
    // A character given by its code (Chr(N) is no literal; #N is a string).
    const std::string One = Utf8OfSource(std::string(1, static_cast<char>(S.I)));
    return S.I >= 0 && S.I < 256 && One == V ? Agree : Differ;
  }
  if (S.K == TSrc::Agg) {
    // An array of characters written character by character.
    std::string Chars;
    for (const TSrc& E : S.Items) {
      if (E.K != TSrc::Str || E.S.size() != 1) return S.HasName ? NamesOther : Differ;
      Chars += E.S;
    }
    return Utf8OfSource(Chars) == V ? Agree : Differ;
  }
  if (S.K != TSrc::Str) return S.HasName ? NamesOther : Differ;
  return Utf8OfSource(S.S) == V ? Agree : Differ;
}

int Compare(const TSrc& S, const json& V, const TUnitNames& N, const TDeclString* FloatText) {
  if (S.K == TSrc::Bad) return Differ;
  // NaN and the infinities are strings; other floats numbers with their text.
  if (FloatText && V.is_number()) return CompareFloat(S, FloatText->str());
  if (FloatText && V.is_string() && S.K == TSrc::Name) return Lower(S.S) == Lower(V.get<std::string>()) ? Agree : NamesOther;
  switch (V.type()) {
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: return CompareNumber(S, V);
    case json::value_t::boolean:
      if (S.K == TSrc::Bool || S.K == TSrc::Int) return S.I == TBig(V.get<bool>()) ? Agree : Differ;
      return S.K == TSrc::Name ? NamesOther : Differ;
    case json::value_t::string: return CompareString(S, V.get<std::string>(), N);
    case json::value_t::null:
      return S.K == TSrc::Nil || (S.K == TSrc::Int && S.I == 0) ? Agree : S.K == TSrc::Name ? NamesOther : Differ;
    case json::value_t::array: {
      if (S.K == TSrc::Set || (V.empty() && S.K != TSrc::Agg)) return CompareSet(S, V, N);
      if (S.K != TSrc::Agg || S.Items.size() != V.size()) return S.HasName && S.K != TSrc::Agg ? NamesOther : Differ;
      int R = Agree;
      for (size_t K = 0; K < V.size(); ++K) R = std::max(R, Compare(S.Items[K], V[K], N));
      return R;
    }
    case json::value_t::object: {
      if (V.contains("ref") && V.size() <= 2) {
        if (S.K != TSrc::Ref && S.K != TSrc::Name) return Differ;
        // The runtime's routines "_Name" are "@Name" in the file.
        std::string A = Lower(S.S), B = Lower(V["ref"].get<std::string>());
        if (!A.empty() && A[0] == '_') A[0] = '@';
        return A == B ? Agree : Differ;
      }
      if (S.K != TSrc::Rec) return Differ;
      int R = Agree;
      for (size_t K = 0; K < S.Items.size(); ++K) {
        const json* F = nullptr;
        for (auto It = V.begin(); It != V.end() && !F; ++It)
          if (Lower(It.key()) == Lower(S.Names[K])) F = &It.value();
        if (!F) return Differ;
        const int C = Compare(S.Items[K], *F, N);
        if (C == Differ) return Differ;
        R = std::max(R, C);
      }
      return R;
    }
    default: return Differ;
  }
}

// The value an outline entry holds, as JSON: null JSON "discarded" when it
// holds none (not decoded).
json EntryValue(const TDeclEntry& E) {
  if (E.ValueForm != TDeclValueForm::Json && E.ValueForm != TDeclValueForm::Float) return json(json::value_t::discarded);
  return json::parse(E.ValueJson());
}

// ---------------------------------------------------------------------------
// The unit-level constants of a source: section walking

struct TSrcConst {
  std::string Name, Kind;  // "const", "typed", "resourcestring"
  size_t From = 0, To = 0;  // the value's tokens
  bool Cond = false;
};

struct TSrcMember {
  std::string Class, Name, Kind, Section;  // Kind: field, method, property; Section "" before any
  bool Implicit = false;
  bool ClassMethod = false;
  std::vector<std::string> Directives;  // lower-cased: virtual, dynamic, override, abstract, overload, reintroduce, message
  std::string MessageArg;
  bool Cond = false;
  size_t DefaultFrom = 0, DefaultTo = 0;  // property: the tokens of "default X"
  bool NoDefault = false;                 // property: "nodefault"
};

const std::set<std::string> RoutineDirectives = {
    "overload", "stdcall", "cdecl", "pascal", "register", "safecall", "far", "near", "export", "external",
    "forward", "assembler", "inline", "deprecated", "platform", "library", "varargs", "virtual", "dynamic",
    "abstract", "override", "reintroduce", "message", "static", "final", "dispid", "name", "index", "local"};

class TUnitSource {
 public:
  explicit TUnitSource(std::vector<TTok> Toks) : T(std::move(Toks)) {}
  const std::vector<TTok>& Tokens() const { return T; }
  std::vector<TSrcConst> Consts;
  std::vector<TSrcMember> Members;

  void Run() {
    while (I < T.size() && T[I].Low != "interface") ++I;
    if (I < T.size()) ++I;
    std::string Mode;
    bool Impl = false;
    while (I < T.size()) {
      if (T[I].Kind == 'q') { ++I; continue; }
      const std::string& W = T[I].Low;
      if (W == "implementation") { Impl = true; Mode.clear(); ++I; continue; }
      if (W == "initialization" || W == "finalization" || (W == "begin" && Impl) || (W == "end" && Is(I + 1, "."))) break;
      if (W == "uses" || W == "label" || W == "exports") { SkipTo(";"); ++I; continue; }
      if (W == "const" || W == "resourcestring" || W == "var" || W == "threadvar" || W == "type") { Mode = W; ++I; continue; }
      if (W == "class" && (Is(I + 1, "procedure") || Is(I + 1, "function"))) { ++I; continue; }
      if (W == "procedure" || W == "function" || W == "constructor" || W == "destructor") {
        Routine(Impl);
        Mode.clear();
        continue;
      }
      if (T[I].Kind != 'i') { ++I; continue; }
      if (Mode == "type") TypeDecl();
      else if (Mode == "const" || Mode == "resourcestring") ConstDecl(Mode);
      else if (Mode == "var" || Mode == "threadvar") VarDecl();
      else ++I;
    }
  }

 private:
  std::vector<TTok> T;
  size_t I = 0;

  bool Is(size_t K, const char* W) const { return K < T.size() && T[K].Kind != 'q' && T[K].Low == W; }
  bool RecordOpens(size_t K) const {
    const std::string& L = T[K].Low;
    if (L == "record") return true;
    if (L == "object") return !Is(K - 1, "of");
    if (L == "class" || L == "interface" || L == "dispinterface")
      return !Is(K + 1, "of") && !Is(K + 1, ";") && !Is(K + 1, "procedure") && !Is(K + 1, "function") &&
             !(Is(K + 1, "(") && ClosesThenSemicolon(K + 1));
    return false;
  }
  // "(A, B);" after class: a forward declaration with ancestors.
  bool ClosesThenSemicolon(size_t K) const {
    int D = 0;
    for (; K < T.size(); ++K) {
      if (T[K].Low == "(") ++D;
      else if (T[K].Low == ")" && --D == 0) return Is(K + 1, ";");
    }
    return false;
  }
  // To the next W at nesting depth 0 (brackets and record-like bodies).
  void SkipTo(const char* W) {
    int Depth = 0;
    for (; I < T.size(); ++I) {
      if (T[I].Kind == 'q') continue;
      const std::string& L = T[I].Low;
      if (Depth == 0 && L == W) return;
      if (L == "(" || L == "[") ++Depth;
      else if (L == ")" || L == "]") --Depth;
      else if (RecordOpens(I)) ++Depth;
      else if (L == "end") --Depth;
      if (Depth < 0) return;
    }
  }
  size_t End(size_t From, const char* W) {
    I = From;
    SkipTo(W);
    return I;
  }
  bool AnyCond(size_t A, size_t B) const {
    for (size_t K = A; K < B && K < T.size(); ++K)
      if (T[K].Cond) return true;
    return false;
  }

  // The end of a value: before the hint directives that may follow it.
  size_t ValueEnd(size_t From, size_t To) const {
    while (To > From && (Is(To - 1, "platform") || Is(To - 1, "deprecated") || Is(To - 1, "library"))) --To;
    return To;
  }

  void ConstDecl(const std::string& Mode) {
    const size_t N = I++;
    if (Is(I, "=")) {
      const size_t From = I + 1, To = ValueEnd(From, End(From, ";"));
      Consts.push_back({T[N].Text, Mode == "resourcestring" ? "resourcestring" : "const", From, To, AnyCond(N, To)});
    } else if (Is(I, ":")) {
      const size_t Eq = End(I + 1, "=");
      const size_t To = ValueEnd(Eq + 1, End(Eq, ";"));
      if (Is(Eq, "=")) Consts.push_back({T[N].Text, "typed", Eq + 1, To, AnyCond(N, To)});
    } else {
      SkipTo(";");
    }
    ++I;
  }

  void VarDecl() {
    const size_t N = I;
    std::vector<size_t> Names{N};
    ++I;
    while (Is(I, ",") && I + 1 < T.size()) Names.push_back(I + 1), I += 2;
    if (!Is(I, ":")) { SkipTo(";"); ++I; return; }
    // The type ends at "=" (an initialised variable) or ";".
    int Depth = 0;
    for (++I; I < T.size(); ++I) {
      const std::string& L = T[I].Low;
      if (Depth == 0 && (L == ";" || L == "=")) break;
      if (L == "(" || L == "[") ++Depth;
      else if (L == ")" || L == "]") --Depth;
      else if (RecordOpens(I)) ++Depth;
      else if (L == "end") --Depth;
    }
    if (Is(I, "=") && Names.size() == 1) {
      const size_t From = I + 1, To = ValueEnd(From, End(From, ";"));
      Consts.push_back({T[N].Text, "typed", From, To, AnyCond(N, To)});
    } else {
      SkipTo(";");
    }
    ++I;
  }

  // A routine heading, and in the implementation its body.
  void Routine(bool Impl) {
    ++I;
    SkipTo(";");
    ++I;
    bool NoBody = false;
    while (I < T.size() && RoutineDirectives.count(T[I].Low)) {
      NoBody |= T[I].Low == "forward" || T[I].Low == "external";
      SkipTo(";");
      ++I;
    }
    if (Impl && !NoBody) SkipBody();
  }

  // Local declarations (nested routines with their own bodies) and the body.
  void SkipBody() {
    int Pending = 1, Depth = 0, Local = 0;
    while (I < T.size()) {
      if (T[I].Kind == 'q') { ++I; continue; }
      const std::string& L = T[I].Low;
      if (Depth == 0) {
        if (Local > 0) {
          if (RecordOpens(I)) ++Local;
          else if (L == "end") --Local;
          ++I;
          continue;
        }
        if (L == "procedure" || L == "function" || L == "constructor" || L == "destructor") {
          ++I;
          SkipTo(";");
          ++I;
          bool NoBody = false;
          while (I < T.size() && RoutineDirectives.count(T[I].Low)) {
            NoBody |= T[I].Low == "forward" || T[I].Low == "external";
            SkipTo(";");
            ++I;
          }
          if (!NoBody) ++Pending;
          continue;
        }
        if (RecordOpens(I)) { ++Local; ++I; continue; }
        if (L == "begin" || L == "asm") { Depth = 1; ++I; continue; }
        ++I;
        continue;
      }
      if (L == "begin" || L == "try" || L == "case" || L == "asm" || L == "record") ++Depth;
      else if (L == "end" && --Depth == 0) {
        ++I;
        if (--Pending == 0) {
          if (Is(I, ";")) ++I;
          return;
        }
        continue;
      }
      ++I;
    }
  }

  // Types: the members of classes are kept; everything else is passed.
  void TypeDecl() {
    const size_t N = I;
    if (!Is(I + 1, "=")) { SkipTo(";"); ++I; return; }
    I += 2;
    while (Is(I, "packed") || Is(I, "type")) ++I;
    if ((Is(I, "class") || Is(I, "object")) && RecordOpens(I)) {
      const bool Object = Is(I, "object");
      ++I;
      if (Is(I, "(")) {
        ++I;
        SkipTo(")");
        ++I;
      }
      ClassBody(T[N].Text, Object);
      SkipTo(";");
      ++I;
      return;
    }
    I = N + 2;
    SkipTo(";");
    ++I;
  }

  void ClassBody(const std::string& Class, bool Object) {
    std::string Section;
    bool Implicit = true;
    bool ClassPrefix = false;
    while (I < T.size() && !Is(I, "end")) {
      if (T[I].Kind == 'q') { ++I; continue; }
      const std::string W = T[I].Low;
      if ((W == "private" || W == "protected" || W == "public" || W == "published" || W == "automated") &&
          !Is(I + 1, ":") && !Is(I + 1, ",")) {
        Section = W;
        Implicit = false;
        ++I;
        continue;
      }
      if (W == "class" && (Is(I + 1, "procedure") || Is(I + 1, "function"))) { ClassPrefix = true; ++I; continue; }
      if (W == "procedure" || W == "function" || W == "constructor" || W == "destructor") {
        TSrcMember M{Class, T[I + 1].Text, "method", Section, Implicit, ClassPrefix, {}, {}, T[I + 1].Cond};
        ClassPrefix = false;
        I += 2;
        if (Is(I, ".") || Is(I, "=")) { SkipTo(";"); ++I; continue; }  // a method resolution clause
        SkipTo(";");
        ++I;
        while (I < T.size() && RoutineDirectives.count(T[I].Low)) {
          M.Directives.push_back(T[I].Low);
          if (T[I].Low == "message" && I + 1 < T.size()) M.MessageArg = T[I + 1].Text;
          SkipTo(";");
          ++I;
        }
        Members.push_back(std::move(M));
        continue;
      }
      if (W == "property") {
        TSrcMember M{Class, T[I + 1].Text, "property", Section, Implicit, false, {}, {}, T[I + 1].Cond};
        I += 2;
        const size_t From = I;
        SkipTo(";");
        // "default X" up to the next specifier (outside the index brackets).
        int Depth = 0;
        for (size_t K = From; K < I; ++K) {
          if (Is(K, "[")) ++Depth;
          else if (Is(K, "]")) --Depth;
          else if (Depth == 0 && Is(K, "nodefault")) M.NoDefault = true;
          else if (Depth == 0 && Is(K, "default")) {
            M.DefaultFrom = K + 1;
            M.DefaultTo = K + 1;
            while (M.DefaultTo < I && !Is(M.DefaultTo, "stored") && !Is(M.DefaultTo, "nodefault") &&
                   !Is(M.DefaultTo, "implements"))
              ++M.DefaultTo;
          }
        }
        Members.push_back(std::move(M));
        ++I;
        while (Is(I, "default") && Is(I + 1, ";")) I += 2;
        continue;
      }
      if (T[I].Kind == 'i') {
        std::vector<size_t> Names{I};
        ++I;
        while (Is(I, ",") && I + 1 < T.size()) Names.push_back(I + 1), I += 2;
        if (Is(I, ":")) {
          for (size_t K : Names) Members.push_back({Class, T[K].Text, "field", Section, Implicit, false, {}, {}, T[K].Cond});
          SkipTo(";");
        }
        ++I;
        continue;
      }
      ++I;
    }
    (void)Object;
  }
};

struct TShare {
  size_t Found = 0, Total = 0;
  std::map<std::string, std::vector<std::string>> Misses;  // by category
  std::map<std::string, size_t> Left;                      // not counted, by reason
  void Count(bool Ok, const std::string& Cat, const std::string& What) {
    ++Total;
    if (Ok) ++Found;
    else Misses[Cat].push_back(What);
  }
  double Pct() const { return Total ? 100.0 * double(Found) / double(Total) : 100.0; }
  void Report(const char* Label, double Floor, size_t MaxShown) const {
    std::cout << "[source values] " << Label << ": " << Found << " of " << Total << " (" << Pct() << "%), floor "
              << Floor << "%\n";
    for (const auto& [Cat, List] : Misses) {
      std::cout << "  misses, " << Cat << ": " << List.size() << "\n";
      for (size_t K = 0; K < List.size() && K < MaxShown; ++K) std::cout << "    " << List[K] << "\n";
    }
    for (const auto& [Why, N] : Left) std::cout << "  left out, " << Why << ": " << N << "\n";
  }
};

std::string SrcText(const std::vector<TTok>& T, size_t From, size_t To) {
  std::string S;
  for (size_t K = From; K < To && K < T.size() && S.size() < 80; ++K) {
    if (!S.empty()) S += ' ';
    S += T[K].Kind == 'q' ? "'" + T[K].Text + "'" : T[K].Text;
  }
  return S;
}

// What a class member of the outline is, as the source walker names it.
std::string MemberKind(const TDeclMember& M) {
  switch (M.Kind) {
    case TMemberKind::Field: return "field";
    case TMemberKind::Property: return "property";
    default: return "method";
  }
}

struct TSourceShares {
  TShare Consts, Typed, ResStrings, Visibility, Directives, Defaults;
  size_t Pairs = 0, NoDefaults = 0, NoDefaultsShown = 0;
};

// The values of the outline of every unit with a source against the source.
// With a library, each unit is read where it lies in its folder tree, the
// units it uses at hand there and in the library's folders.
TSourceShares MeasureSourceValues(TUsedUnits* Library) {
  const fs::path SrcDir = testdata::CorpusSourceDir(), UnitDir = testdata::CorpusDir();
  TSourceShares Shares;
  auto& [Consts, Typed, ResStrings, Visibility, Directives, Defaults, Pairs, NoDefaults, NoDefaultsShown] = Shares;
  for (const auto& F : fs::recursive_directory_iterator(SrcDir)) {
    if (F.path().extension() != ".pas") continue;
    fs::path UnitPath = UnitDir / fs::relative(F.path(), SrcDir).replace_extension(".dcu");
    if (!fs::exists(UnitPath)) continue;
    if (Library && !testdata::TreePathOf(UnitPath).empty()) UnitPath = testdata::TreePathOf(UnitPath);
    const std::vector<uint8_t> Bytes = testdata::ReadFileBytes(F.path());
    TUnitSource Src(Tokenize(std::string(Bytes.begin(), Bytes.end())));
    Src.Run();
    // The outline, as the command line builds it; the unit is gone after.
    TDeclOutline O;
    try {
      const std::unique_ptr<TUsedTypes> Used = Library ? Library->For(UnitPath.parent_path().string()) : nullptr;
      const TUnit U(UnitPath.string());
      O = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .Used = Used.get()});
    } catch (const std::exception& E) {
      ADD_FAILURE() << UnitPath << ": " << E.what();
      continue;
    }
    ++Pairs;
    const std::string Tag = F.path().filename().string() + ": ";
    // The outline's entries by name, its classes and objects, the names of
    // its enumerations' values.
    std::multimap<std::string, const TDeclEntry*> ByName;
    std::multimap<std::string, const TDeclEntry*> Classes;
    TUnitNames Names;
    for (const TDeclSection* S : {&O.Interface, &O.Implementation})
      for (const TDeclBlock& B : S->Blocks)
        for (const TDeclEntry& E : B.Entries) {
          ByName.emplace(Lower(E.Name), &E);
          if (E.TypeKind == TDeclTypeKind::Class || E.TypeKind == TDeclTypeKind::Object) Classes.emplace(Lower(E.Name), &E);
          for (const TDeclString& V : E.Values()) Names.EnumValues.insert(Lower(V));
        }
    for (const TSrcConst& C : Src.Consts) {
      const TSrc SV = TExpr(Src.Tokens(), C.From, C.To).Parse();
      const std::string Where = Tag + C.Name + " = " + SrcText(Src.Tokens(), C.From, C.To) + (C.Cond ? " (conditional)" : "");
      // The entries of that name; their kind decides the share (a section
      // keyword inside a conditional branch may not be the one the
      // compiler read).
      auto [Lo, Hi] = ByName.equal_range(Lower(C.Name));
      std::vector<std::pair<const TDeclEntry*, TShare*>> Found;
      for (auto It = Lo; It != Hi; ++It) {
        const TDeclEntry* E = It->second;
        if (E->Kind == TDeclKind::ResourceString) Found.emplace_back(E, &ResStrings);
        else if (E->Kind == TDeclKind::Const) Found.emplace_back(E, E->Typed ? &Typed : &Consts);
      }
      TShare& Named = C.Kind == "typed" ? Typed : C.Kind == "resourcestring" ? ResStrings : Consts;
      if (SV.K == TSrc::Bad) {
        ++(Found.empty() ? Named : *Found[0].second).Left["not a literal (" + SV.S + ")"];
        if (std::getenv("UNITPEEK_SOURCE_ABSENT")) std::cout << "  not literal (" << SV.S << "): " << Where << "\n";
        continue;
      }
      if (Found.empty()) {
        ++Named.Left[C.Cond ? "not in the unit (conditional)" : "not in the unit"];
        if (std::getenv("UNITPEEK_SOURCE_ABSENT")) std::cout << "  absent: " << Where << "\n";
        continue;
      }
      int Best = Differ + 1;
      const std::pair<const TDeclEntry*, TShare*>* Shown = &Found[0];
      for (const auto& D : Found) {
        const json V = EntryValue(*D.first);
        const int R = V.is_discarded() ? Differ
                                       : Compare(SV, V, Names, D.first->ValueForm == TDeclValueForm::Float ? &D.first->Value().Text : nullptr);
        if (R < Best) Shown = &D;
        Best = std::min(Best, R);
      }
      TShare& Share = *Shown->second;
      if (Best == NamesOther) {
        ++Share.Left["names other constants"];
        continue;
      }
      const TDeclEntry& E = *Shown->first;
      const bool Whole = E.ValueForm == TDeclValueForm::Json || E.ValueForm == TDeclValueForm::Float;
      const std::string Cat = C.Cond ? "conditional compilation" : Whole ? "different value" : "not decoded (" + E.Type.Text + ")";
      Share.Count(Best == Agree, Cat, Where + "  ->  " + EntryLine(E).Text.substr(0, 160));
    }
    // Members of classes.
    std::map<std::pair<std::string, std::string>, size_t> Seen;
    for (const TSrcMember& M : Src.Members) {
      auto [Lo, Hi] = Classes.equal_range(Lower(M.Class));
      if (Lo == Hi) continue;
      const TDeclEntry& C = *Lo->second;
      // The n-th member of that name and kind (overloads in order).
      const size_t Nth = Seen[{Lower(M.Class), Lower(M.Kind + " " + M.Name)}]++;
      const TDeclMember* Mem = nullptr;
      size_t K = 0;
      for (const TDeclMember& X : C.Members)
        if (MemberKind(X) == M.Kind && Lower(X.Name) == Lower(M.Name) && K++ == Nth) {
          Mem = &X;
          break;
        }
      if (!Mem) continue;
      const std::string Where = Tag + M.Class + "." + M.Name + " (" + M.Kind + ")" + (M.Cond ? " (conditional)" : "");
      const std::string Got = Mem->Visibility == TVisibility::Unknown ? "unknown" : std::string(VisibilityName(Mem->Visibility));
      // Before any section a class with run-time type information starts
      // published, any other class public.
      const bool VisOk = M.Implicit ? (Got == "published" || Got == "public") : Got == M.Section;
      Visibility.Count(VisOk, M.Cond ? "conditional compilation" : "section " + (M.Implicit ? "(none)" : M.Section) + " read as " + Got, Where);
      if (M.Kind == "property") {
        // The default as the outline shows it.
        const bool HasDefault = !Mem->Property().Default.empty();
        if (M.NoDefault) {
          ++NoDefaults;
          NoDefaultsShown += Mem->NoDefault;
          Defaults.Count(!HasDefault, M.Cond ? "conditional compilation" : "nodefault read as a default", Where);
        } else if (M.DefaultTo > M.DefaultFrom) {
          const TSrc SV = TExpr(Src.Tokens(), M.DefaultFrom, M.DefaultTo).Parse();
          const int R = SV.K == TSrc::Bad ? NamesOther : HasDefault ? Compare(SV, json::parse(Mem->Property().DefaultJson), Names) : Differ;
          const std::string W2 = Where + " default " + SrcText(Src.Tokens(), M.DefaultFrom, M.DefaultTo) + "  ->  " +
                                 (HasDefault ? Mem->Property().Default.str() : std::string("none"));
          if (R == NamesOther) ++Defaults.Left[SV.K == TSrc::Bad ? "not a literal (" + SV.S + ")" : "names other constants"];
          else
            Defaults.Count(R == Agree,
                           M.Cond ? "conditional compilation"
                           : Mem->Type.Empty() && HasDefault && json::parse(Mem->Property().DefaultJson).is_number()
                               ? "taken over from an ancestor of another unit: the type is unknown, the number shown"
                               : "different default",
                           W2);
        }
      }
      if (M.Kind != "method") continue;
      std::set<std::string> Want, Have;
      for (const std::string& D : M.Directives)
        if (D == "virtual" || D == "dynamic" || D == "override" || D == "abstract" || D == "overload" ||
            D == "reintroduce" || D == "message" || D == "static")
          Want.insert(D);
      if (M.ClassMethod) Want.insert("class");
      if (Want.empty()) continue;
      ForEachDirective(Mem->Directives, [&](std::string_view D) {
        Have.insert(D.substr(0, 8) == "message " ? std::string("message") : std::string(D));
      });
      if (Mem->Directives.ClassMethod) Have.insert("class");
      std::string Cat = M.Cond ? "conditional compilation" : Want.count("reintroduce") ? "reintroduce (not kept in the file)" : "different directives";
      std::string Got2;
      for (const std::string& D : Have) Got2 += " " + D;
      Directives.Count(Want == Have, Cat, Where + " ->" + Got2);
    }
  }
  return Shares;
}

size_t MissesShown() {
  const char* Env = std::getenv("UNITPEEK_SOURCE_MISSES");
  return Env ? std::strtoul(Env, nullptr, 10) : 8;
}

}  // namespace

TEST(SourceValues, ConstantsVisibilityAndDirectivesOfTheCorpusSourcesThroughTheOutline) {
  const fs::path SrcDir = testdata::CorpusSourceDir(), UnitDir = testdata::CorpusDir();
  if (!fs::is_directory(SrcDir) || !fs::is_directory(UnitDir))
    GTEST_SKIP() << "no folder " << SrcDir << " or " << UnitDir << "; skipped";
  TSourceShares S = MeasureSourceValues(nullptr);
  std::cout << "[source values] " << S.Pairs << " pairs; " << S.NoDefaults << " properties stating nodefault, "
            << S.NoDefaultsShown << " shown as such (the file keeps nodefault only as the absence of a default)\n";
  for (auto [Label, Sh, Floor] : {std::tuple{"constants", &S.Consts, 99.0}, {"typed constants", &S.Typed, 95.0},
                                  {"resource strings", &S.ResStrings, 97.0}, {"member visibility", &S.Visibility, 99.0},
                                  {"method directives", &S.Directives, 98.0}, {"property defaults", &S.Defaults, 90.0}}) {
    Sh->Report(Label, Floor, MissesShown());
    EXPECT_GE(Sh->Pct(), Floor) << Label;
  }
}

// The same with the units in their folder trees and the corpus's runtime
// library folders on the unit path: the types of the units used decode
// what the unit alone cannot.
TEST(SourceValues, TypedConstantsAndDefaultsWithTheLibraryFoldersOnTheUnitPath) {
  const fs::path SrcDir = testdata::CorpusSourceDir();
  if (!fs::is_directory(SrcDir) || testdata::CorpusTrees().empty())
    GTEST_SKIP() << "no folder " << SrcDir << " or no corpus with its manifest; skipped";
  TUsedUnits Library(testdata::LibraryFoldersOfTrees());
  TSourceShares S = MeasureSourceValues(&Library);
  std::cout << "[source values, unit path] " << Library.Path().size() << " library folders, " << Library.FilesRead()
            << " used units read\n";
  for (auto [Label, Sh, Floor] : {std::tuple{"constants", &S.Consts, 99.0}, {"typed constants", &S.Typed, 99.0},
                                  {"property defaults", &S.Defaults, 97.0}}) {
    Sh->Report(Label, Floor, MissesShown());
    EXPECT_GE(Sh->Pct(), Floor) << Label;
  }
}
