// Values as text: a decoded value (DeclValues.h) written as a Pascal
// literal and as flat JSON. The decoders fill the value model; these writers
// only read it.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DeclValues.h"
#include "JsonWriter.h"

namespace {

std::string IntText(int64_t V, bool Unsigned) {
  return Unsigned ? std::to_string(static_cast<uint64_t>(V)) : std::to_string(V);
}


// Pascal text

// A byte that a string literal can hold as it is: printable ASCII, and the
// printable characters Windows-1252 gives the upper half (not the five
// positions it leaves undefined).
bool Quotable(uint32_t C) {
  if (C >= 0x20 && C < 0x7F) return true;
  if (C < 0x80 || C > 0xFF) return false;
  return C != 0x81 && C != 0x8D && C != 0x8F && C != 0x90 && C != 0x9D;
}

std::string Utf8Of(uint32_t C) {
  std::string S;
  AppendUtf8(S, C);
  return S;
}

// The character a byte stands for in Windows-1252 (a quotable byte).
uint32_t CodePoint(uint8_t B) { return DisplayChar(B).Code; }

void AppendItems(std::string& S, const std::vector<TValue>& Items) {
  for (size_t I = 0; I < Items.size(); ++I) {
    if (I) S += ", ";
    S += PascalText(Items[I]);
  }
}

std::string HexList(const std::string& B) {
  static const char* Digits = "0123456789ABCDEF";
  std::string S;
  const size_t N = std::min<size_t>(B.size(), 32);
  for (size_t I = 0; I < N; ++I) {
    if (I) S += ' ';
    const auto C = static_cast<uint8_t>(B[I]);
    S += Digits[C >> 4];
    S += Digits[C & 15];
  }
  if (B.size() > N) S += " ...";
  return S;
}

std::string SetText(const TValue& V) {
  std::string S = "[";
  size_t I = 0;
  bool First = true;
  while (I < V.Items.size()) {
    size_t J = I;
    while (J + 1 < V.Items.size() && V.Items[J + 1].Int == V.Items[J].Int + 1 &&
           V.Items[J + 1].Kind == V.Items[I].Kind)
      ++J;
    if (!First) S += ", ";
    First = false;
    S += PascalText(V.Items[I]);
    // Runs of three or more as a..c.
    if (J >= I + 2) {
      S += "..";
      S += PascalText(V.Items[J]);
      I = J + 1;
    } else {
      ++I;
    }
  }
  return S + "]";
}

}  // namespace

std::string PascalString(std::string_view Bytes) {
  // Printable ASCII without a quote (nearly every string): as it stands.
  if (!Bytes.empty() && std::all_of(Bytes.begin(), Bytes.end(), [](char C) { return C >= 0x20 && C < 0x7F && C != '\''; })) {
    std::string S;
    S.reserve(Bytes.size() + 2);
    S += '\'';
    S += Bytes;
    S += '\'';
    return S;
  }
  return PascalLiteral(Bytes.size(), [&](size_t I) {
    const auto B = static_cast<uint8_t>(Bytes[I]);
    return std::pair<bool, uint32_t>(Quotable(B), Quotable(B) ? CodePoint(B) : B);
  });
}

std::string PascalWideString(std::u16string_view Chars) {
  return PascalLiteral(Chars.size(), [&](size_t I) {
    const uint32_t C = Chars[I];
    // Characters Windows-1252 holds are written as they are; the rest by code.
    bool Q = C >= 0x20 && C < 0x7F;
    if (!Q && C >= 0xA0 && C <= 0xFF) Q = true;
    if (!Q && C > 0xFF)
      for (uint32_t B = 0x80; B < 0xA0 && !Q; ++B) Q = Quotable(B) && CodePoint(static_cast<uint8_t>(B)) == C;
    return std::pair<bool, uint32_t>(Q, C);
  });
}

std::string PascalChar(uint32_t Code, bool Wide) {
  if (Code == '\'') return "#39";
  if (Wide) {
    const std::u16string One(1, static_cast<char16_t>(Code));
    return PascalWideString(One);
  }
  const char One = static_cast<char>(Code);
  return Code <= 0xFF ? PascalString(std::string_view(&One, 1)) : "#" + std::to_string(Code);
}

std::string PascalText(const TValue& V) {
  switch (V.Kind) {
    case TValueKind::Undecoded: return "{" + std::to_string(V.Bytes.size()) + " bytes: " + HexList(V.Bytes) + "}";
    case TValueKind::Ordinal: return IntText(V.Int, V.Unsigned);
    case TValueKind::Bool:
      if (V.Int == 0) return "False";
      return V.Int == 1 ? "True" : "True {" + std::to_string(V.Int) + "}";
    case TValueKind::Char: return PascalChar(static_cast<uint32_t>(V.Int), V.Wide);
    case TValueKind::Enum: return DisplayUtf8(V.Text);
    case TValueKind::Float: return V.Text;
    case TValueKind::String: return V.Wide ? PascalWideString(V.WideText) : PascalString(V.Text);
    case TValueKind::Set: return SetText(V);
    case TValueKind::Array: {
      std::string S = "(";
      AppendItems(S, V.Items);
      return S + ")";
    }
    case TValueKind::Record: {
      std::string S = "(";
      for (size_t I = 0; I < V.Items.size(); ++I) {
        if (I) S += "; ";
        S += DisplayUtf8(I < V.Names.size() ? V.Names[I] : std::string("?")) + ": " + PascalText(V.Items[I]);
      }
      return S + ")";
    }
    case TValueKind::Ref: {
      std::string S = (V.RefKind == TRefKind::Class ? "" : "@") + DisplayUtf8(V.Text);
      if (V.Int) S += " {+" + std::to_string(V.Int) + "}";
      return S;
    }
    case TValueKind::Nil: return "nil";
  }
  return {};
}

namespace {

// Two-byte characters as UTF-8: pairs of surrogates as the character they
// make, a surrogate alone as U+FFFD.
void AppendUtf16(std::string& Out, std::u16string_view S) {
  for (size_t I = 0; I < S.size(); ++I) {
    uint32_t C = S[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < S.size() && S[I + 1] >= 0xDC00 && S[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (S[++I] - 0xDC00u);
      Out += static_cast<char>(0xF0 | (C >> 18));
      Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
      continue;
    }
    Out += Utf8Of(C >= 0xD800 && C <= 0xDFFF ? 0xFFFD : C);
  }
}

// The unit's 8-bit characters as UTF-8 by Windows-1252, control characters
// as they are (the JSON string escapes them).
void AppendWin1252(std::string& Out, std::string_view S) {
  for (char Ch : S) {
    const auto B = static_cast<uint8_t>(Ch);
    if (B < 0x80) Out += Ch;
    else Out += Utf8Of(CodePoint(B));
  }
}

void QuoteWin1252(std::string& Out, std::string_view S) {
  if (std::all_of(S.begin(), S.end(), [](char C) { return static_cast<uint8_t>(C) < 0x80; })) {
    TJsonWriter::Quote(Out, S);  // the same bytes in UTF-8
    return;
  }
  std::string U;
  U.reserve(S.size() + 8);
  AppendWin1252(U, S);
  TJsonWriter::Quote(Out, U);
}

// Whether S is a number as JSON writes one: -?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?
bool JsonNumber(std::string_view S) {
  size_t I = 0;
  auto Digits = [&] {
    const size_t From = I;
    while (I < S.size() && S[I] >= '0' && S[I] <= '9') ++I;
    return I > From;
  };
  if (I < S.size() && S[I] == '-') ++I;
  if (I < S.size() && S[I] == '0') ++I;
  else if (!Digits()) return false;
  if (I < S.size() && S[I] == '.' && (++I, !Digits())) return false;
  if (I < S.size() && (S[I] == 'e' || S[I] == 'E')) {
    ++I;
    if (I < S.size() && (S[I] == '+' || S[I] == '-')) ++I;
    if (!Digits()) return false;
  }
  return I == S.size();
}

void NumberJson(std::string& Out, int64_t V, bool Unsigned) {
  char Buf[24];
  const char* End = Unsigned ? std::to_chars(Buf, Buf + sizeof Buf, static_cast<uint64_t>(V)).ptr
                             : std::to_chars(Buf, Buf + sizeof Buf, V).ptr;
  Out.append(Buf, static_cast<size_t>(End - Buf));
}

bool AppendJson(const TValue& V, std::string& Out);

void CharJson(const TValue& V, std::string& Out) {
  std::string C;
  if (V.Wide) {
    const char16_t W = static_cast<char16_t>(V.Int);
    AppendUtf16(C, std::u16string_view(&W, 1));
  } else {
    const char B = static_cast<char>(V.Int);
    AppendWin1252(C, std::string_view(&B, 1));
  }
  TJsonWriter::Quote(Out, C);
}

// Sets and arrays as arrays; records as objects of their field names.
bool ItemsJson(const TValue& V, std::string& Out) {
  const bool Record = V.Kind == TValueKind::Record;
  Out += Record ? '{' : '[';
  for (size_t I = 0; I < V.Items.size(); ++I) {
    if (I) Out += ',';
    if (Record) {
      TJsonWriter::Quote(Out, DisplayUtf8(I < V.Names.size() ? V.Names[I] : std::string("?")));
      Out += ':';
    }
    if (!AppendJson(V.Items[I], Out)) return false;
  }
  Out += Record ? '}' : ']';
  return true;
}

void RefJson(const TValue& V, std::string& Out) {
  Out += '{';
  if (V.Int) {
    Out += "\"offset\":";
    NumberJson(Out, V.Int, false);
    Out += ',';
  }
  Out += "\"ref\":";
  TJsonWriter::Quote(Out, DisplayUtf8(V.Text));
  Out += '}';
}

bool AppendJson(const TValue& V, std::string& Out) {
  switch (V.Kind) {
    case TValueKind::Undecoded: return false;
    case TValueKind::Ordinal: NumberJson(Out, V.Int, V.Unsigned); return true;
    case TValueKind::Bool: Out += V.Int ? "true" : "false"; return true;
    case TValueKind::Char: CharJson(V, Out); return true;
    case TValueKind::Enum: TJsonWriter::Quote(Out, DisplayUtf8(V.Text)); return true;
    case TValueKind::Float:
      // NaN, the infinities and the Extended values past the range of a
      // double (which JSON readers take numbers as) by their text.
      if (JsonNumber(V.Text) && std::fabs(V.Float) <= std::numeric_limits<double>::max()) Out += V.Text;
      else TJsonWriter::Quote(Out, V.Text);
      return true;
    case TValueKind::String:
      if (V.Wide) {
        std::string U;
        AppendUtf16(U, V.WideText);
        TJsonWriter::Quote(Out, U);
      } else {
        QuoteWin1252(Out, V.Text);
      }
      return true;
    case TValueKind::Set:
    case TValueKind::Array:
    case TValueKind::Record: return ItemsJson(V, Out);
    case TValueKind::Ref: RefJson(V, Out); return true;
    case TValueKind::Nil: Out += "null"; return true;
  }
  return false;
}

}  // namespace

bool ValueJson(const TValue& V, std::string& Out) {
  const size_t At = Out.size();
  if (AppendJson(V, Out)) return true;
  Out.resize(At);
  return false;
}
