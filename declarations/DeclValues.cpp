// Decoding constants, typed constants, resource strings and property
// defaults (see DeclValues.h).
#include "DeclValues.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "DCU_Packed.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DeclMemberFacts.h"
#include "TypeViews.h"
#include "ExtendedDigits.h"
#include "DCURecs.h"
#include "DCU_Unit.h"
#include "JsonWriter.h"

namespace {

// Deepest nesting of array and record types decoded; deeper parts stay undecoded.
constexpr int MaxDepth = 16;
// Most values one constant decodes into (elements of all its arrays and
// records together); a bigger one stays undecoded as a whole.
constexpr size_t MaxItems = 1u << 16;
// The fixup kind of a 32-bit address in the data block (every version).
constexpr uint8_t AddressFixupKind = 1;

std::string_view View(TPos Name) { return NameView(Name); }

// Names of different lengths differ: most of the names a type is looked
// up among are passed over at once.
bool NameIs(std::string_view A, std::string_view B) { return A.size() == B.size() && CompareNamesNoCase(A, B) == 0; }

uint64_t ReadLE(const uint8_t* P, size_t N) {
  uint64_t V = 0;
  for (size_t I = 0; I < N; ++I) V |= static_cast<uint64_t>(P[I]) << (8 * I);
  return V;
}

int64_t SignExtend(uint64_t V, size_t Bytes) {
  if (Bytes >= 8) return static_cast<int64_t>(V);
  const unsigned Shift = static_cast<unsigned>(64 - 8 * Bytes);
  return static_cast<int64_t>(V << Shift) >> Shift;
}

TValue Undecoded(const uint8_t* P, size_t N, std::string Why) {
  TValue V;
  V.Bytes.assign(reinterpret_cast<const char*>(P), N);
  V.Text = std::move(Why);
  return V;
}

TValue Make(TValueKind K) {
  TValue V;
  V.Kind = K;
  return V;
}

// The number a range type means by the bit pattern V: V itself when it lies
// in the range, else (a range of only non-negative numbers, whose values the
// file keeps sign-extended) the pattern read as unsigned.
TValue RangeNumber(const TView& T, int64_t V) {
  TValue R = Make(TValueKind::Ordinal);
  R.Int = V;
  if (!T.HasRange || T.Lo < 0 || V >= 0) return R;
  if (T.Hi < T.Lo || T.Size >= 8) {
    // 0..$FFFFFFFFFFFFFFFF: the high bound itself reads as -1.
    R.Unsigned = true;
    return R;
  }
  const int64_t Bytes = T.Size > 0 && T.Size < 8 ? T.Size : 4;
  const uint64_t Mask = Bytes >= 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * Bytes)) - 1;
  const uint64_t W = static_cast<uint64_t>(V) & Mask;
  if (static_cast<int64_t>(W) <= T.Hi) R.Int = static_cast<int64_t>(W);
  return R;
}

TValue OrdinalOf(const TTypeViews& Ty, const TView& T, int64_t V) {
  switch (T.Shape) {
    case TShape::Bool: {
      TValue R = Make(TValueKind::Bool);
      R.Int = V;
      return R;
    }
    case TShape::Char:
    case TShape::WideChar: {
      TValue R = Make(TValueKind::Char);
      R.Wide = T.Shape == TShape::WideChar;
      R.Int = V & (R.Wide ? 0xFFFF : 0xFF);
      return R;
    }
    case TShape::Enum: {
      if (std::optional<std::string_view> Name = Ty.EnumName(T, V)) {
        TValue R = Make(TValueKind::Enum);
        R.Int = V;
        R.Text = std::string(*Name);
        return R;
      }
      return RangeNumber(T, V);
    }
    case TShape::PChar:
    case TShape::PWideChar:
    case TShape::Pointer:
    case TShape::Proc:
    case TShape::ClassRef:
    case TShape::Object:
    case TShape::LongStr:
    case TShape::WideStr:
    case TShape::DynArray:
      if (V == 0) return Make(TValueKind::Nil);
      break;
    default: break;
  }
  return RangeNumber(T, V);
}

// ---------------------------------------------------------------------------
// Floats

uint64_t Mantissa80(const uint8_t* B) { return ReadLE(B, 8); }
unsigned Exponent80(const uint8_t* B) { return static_cast<unsigned>(ReadLE(B + 8, 2)) & 0x7FFF; }
bool Negative80(const uint8_t* B) { return (B[9] & 0x80) != 0; }

// The decimal text of a finite value from std::to_chars, made a Pascal real
// literal: "1E18" for "1e+18", and ".0" after a whole number.
std::string RealLiteral(std::string S) {
  size_t E = S.find('e');
  if (E != std::string::npos) {
    S[E] = 'E';
    if (E + 1 < S.size() && S[E + 1] == '+') S.erase(E + 1, 1);
    // "E-07" as "E-7".
    const size_t Digits = E + 1 + (E + 1 < S.size() && S[E + 1] == '-');
    while (Digits + 1 < S.size() && S[Digits] == '0') S.erase(Digits, 1);
  }
  if (S.find_first_of(".E") == std::string::npos) S += ".0";
  return S;
}

template <class F>
std::string Shortest(F X) {
  char Buf[64];
  auto R = std::to_chars(Buf, Buf + sizeof Buf, X);
  return RealLiteral(std::string(Buf, R.ptr));
}

std::string NonFinite(bool NaN, bool Neg) { return NaN ? "NaN" : Neg ? "NegInfinity" : "Infinity"; }

std::string ExtendedText(const uint8_t* B, long double* Out) {
  const long double X = ExtendedValue(B);
  if (Out) *Out = X;
  if (std::isnan(X) || std::isinf(X)) return NonFinite(std::isnan(X), Negative80(B));
  // From the bits, not from X: where long double is not the 80-bit format,
  // X's own shortest digits are those of another precision.
  return RealLiteral(ShortestExtendedText(Mantissa80(B), Exponent80(B), Negative80(B)));
}

// Real48: exponent byte (bias 129, 0 for zero), 39 bits of fraction, the sign
// in the top bit of the last byte.
double Real48Value(const uint8_t* B) {
  if (B[0] == 0) return (B[5] & 0x80) ? -0.0 : 0.0;
  const uint64_t Frac = ReadLE(B + 1, 5) & ((uint64_t(1) << 39) - 1);
  const double M = 1.0 + std::ldexp(static_cast<double>(Frac), -39);
  const double V = std::ldexp(M, static_cast<int>(B[0]) - 129);
  return (B[5] & 0x80) ? -V : V;
}

bool SameReal48(double X, const uint8_t* B) {
  if (X == 0) return B[0] == 0;
  int E = 0;
  double M = std::frexp(std::fabs(X), &E);  // X = M * 2^E, M in [0.5, 1)
  const int Exp = E - 1 + 129;
  if (Exp <= 0 || Exp > 255) return false;
  const double Scaled = std::ldexp(M * 2 - 1, 39);
  const uint64_t Frac = static_cast<uint64_t>(std::nearbyint(Scaled));
  if (Frac >> 39) return Exp + 1 == B[0] && (ReadLE(B + 1, 5) & ((uint64_t(1) << 39) - 1)) == 0;
  return Exp == B[0] && Frac == (ReadLE(B + 1, 5) & ((uint64_t(1) << 39) - 1)) &&
         ((B[5] & 0x80) != 0) == (X < 0);
}

std::string Real48Text(const uint8_t* B, long double* Out) {
  const double X = Real48Value(B);
  if (Out) *Out = X;
  for (int P = 1; P <= 17; ++P) {
    char Buf[64];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, X, std::chars_format::general, P);
    double Back = 0;
    std::from_chars(Buf, R.ptr, Back);
    if (SameReal48(Back, B)) return RealLiteral(std::string(Buf, R.ptr));
  }
  return Shortest(X);
}

TValue FloatValue(TFloatKind K, const uint8_t* P, size_t Len) {
  TValue R = Make(TValueKind::Float);
  R.FloatKind = K;
  R.Text = FloatText(K, P, Len, &R.Float);
  if (R.Text.empty()) return Undecoded(P, Len, "float of unexpected size");
  return R;
}

// An untyped float constant: the file keeps it as an Extended whatever its
// type; a Currency constant as its number of ten-thousandths, a Comp one as
// its whole number.
TValue StoredFloat(TFloatKind K, const uint8_t* P) {
  TValue R = Make(TValueKind::Float);
  R.FloatKind = K;
  const long double X = ExtendedValue(P);
  if ((K == TFloatKind::Currency || K == TFloatKind::Comp) && std::isfinite(X) && X == std::trunc(X) &&
      std::fabs(X) < 9.2e18L) {
    const int64_t I = static_cast<int64_t>(X);
    if (K == TFloatKind::Currency) {
      R.Text = CurrencyText(I);
      R.Float = static_cast<long double>(I) / 10000;
    } else {
      R.Text = RealLiteral(std::to_string(I));
      R.Float = X;
    }
    return R;
  }
  R.FloatKind = TFloatKind::Extended;
  R.Text = ExtendedText(P, &R.Float);
  return R;
}

// ---------------------------------------------------------------------------
// Sets: bit I of the stored bytes is the element BStart * 8 + I.

TValue SetValue(const TTypeViews& Ty, const TView& S, const uint8_t* P, size_t Len) {
  // A set holds at most 256 elements: 32 bytes.
  if (Len > 32) return Undecoded(P, Len, "set of more than 32 bytes");
  TValue R = Make(TValueKind::Set);
  const TView Base = Ty.SetBase(S);
  const int64_t First = Ty.SetFirst(S);
  for (size_t I = 0; I < Len * 8; ++I) {
    if (!(P[I / 8] & (1u << (I % 8)))) continue;
    const int64_t E = First + static_cast<int64_t>(I);
    R.Items.push_back(Base.Shape == TShape::Unknown ? RangeNumber(Base, E) : OrdinalOf(Ty, Base, E));
  }
  return R;
}

// ---------------------------------------------------------------------------
// Long strings: -1 (the reference count of a literal), the length, the bytes
// and a zero byte; P points at the first of them.

bool LongStringAt(const uint8_t* P, size_t Len, std::string& Out) {
  if (Len < 9) return false;
  const uint32_t Count = static_cast<uint32_t>(ReadLE(P + 4, 4));
  if (ReadLE(P, 4) != 0xFFFFFFFFu || Count > Len - 9) return false;
  Out.assign(reinterpret_cast<const char*>(P + 8), Count);
  return true;
}

// A wide string stored as bytes: the length (in bytes or in characters),
// two-byte characters and a zero character, after a reference count; both
// readings are checked against the size.
bool WideStringAt(const uint8_t* P, size_t Len, std::u16string& Out) {
  if (Len < 10) return false;
  const uint64_t Count = ReadLE(P + 4, 4);
  const uint64_t Body = Len - 10;
  uint64_t Chars;
  if (Count == Body && Body % 2 == 0)
    Chars = Body / 2;
  else if (Count * 2 == Body)
    Chars = Count;
  else
    return false;
  Out.clear();
  for (uint64_t I = 0; I < Chars; ++I) Out += static_cast<char16_t>(ReadLE(P + 8 + 2 * I, 2));
  return true;
}

TValue StringValue(std::string S) {
  TValue R = Make(TValueKind::String);
  R.Text = std::move(S);
  return R;
}

// ---------------------------------------------------------------------------
// Typed constants

// The name a fixup target shows as: the declaration's name; for the
// run-time type data of a class (".TName") the class.
struct TTarget {
  const TDCURec* Rec = nullptr;
  std::string Name;
  bool ClassData = false;  // the run-time type data of a class
  bool Literal = false;    // a nameless routine: a literal's block
  int64_t Ofs = -1;        // the target's block in the data block, when known
  int64_t Len = -1;
};

TTarget TargetOf(const TUnit& U, uint32_t DeclNo) {
  TTarget T;
  T.Rec = U.GetDecl(DeclNo);
  if (!T.Rec) return T;
  T.Name = std::string(View(T.Rec->GetName()));
  if (auto* P = RecCast<TProcDecl>(T.Rec)) {
    T.Literal = T.Name.empty();
    if (P->MemOfs >= 0) {
      T.Ofs = P->MemOfs;
      T.Len = static_cast<int32_t>(P->CodeSize) >= 0 ? int64_t(P->CodeSize) : -1;
    }
  } else if (auto* V = RecCast<TVarCDecl>(T.Rec)) {
    if (V->Ofs >= 0 && V->MemSize >= 0) {
      T.Ofs = V->Ofs;
      T.Len = V->MemSize;
    }
  }
  const bool Imported = RecCast<TImpDef>(T.Rec) != nullptr;
  if ((RecCast<TTypePDecl>(T.Rec) || Imported) && T.Name.size() > 1 && T.Name[0] == '.') {
    T.ClassData = true;
    T.Name.erase(0, 1);
  }
  return T;
}

class TBlockDecoder {
 public:
  TBlockDecoder(const TTypeViews& Ty, int64_t Ofs, int64_t Len) : Ty(Ty), U(Ty.U), Ofs(Ofs), Len(Len) {
    // The address fixups inside the block, by their offset in it. The table
    // is in ascending order of offsets.
    auto Less = [](const TFixupRec& F, int64_t O) { return int64_t(F.FixupOfs) < O; };
    auto It = std::lower_bound(U.Fixups.begin(), U.Fixups.end(), Ofs, Less);
    for (; It != U.Fixups.end() && int64_t(It->FixupOfs) < Ofs + Len; ++It)
      if (It->FixupKind == AddressFixupKind) Fixups.emplace_back(int64_t(It->FixupOfs) - Ofs, It->FixupDecl);
  }

  TValue Decode(uint32_t TypeN) {
    TValue V = Value(Ty.Of(TypeN), 0, Len, 0);
    if (Items > MaxItems) return Undecoded(Bytes(0), static_cast<size_t>(Len), "too many values");
    return V;
  }

 private:
  const TTypeViews& Ty;
  const TUnit& U;
  const int64_t Ofs, Len;
  std::vector<std::pair<int64_t, uint32_t>> Fixups;
  size_t Items = 0;

  const uint8_t* Bytes(int64_t At) const { return U.DataBlock + Ofs + At; }

  // The fixup at offset At of the block, or 0.
  uint32_t FixupAt(int64_t At) const {
    for (const auto& [O, D] : Fixups)
      if (O == At) return D;
    return 0;
  }
  bool AnyFixupIn(int64_t At, int64_t N) const {
    for (const auto& [O, D] : Fixups)
      if (O >= At && O < At + N) return true;
    return false;
  }

  // A literal a fixup points at: Addend bytes into the target's block, the
  // whole of it inside the target's block and the data block.
  bool LiteralSpan(const TTarget& T, int64_t Addend, int64_t Before, const uint8_t*& P, size_t& Avail) const {
    if (!T.Literal || T.Ofs < 0) return false;
    int64_t End = T.Len >= 0 ? T.Ofs + T.Len : U.DataSize;
    End = std::min<int64_t>(End, U.DataSize);
    const int64_t At = T.Ofs + Addend - Before;
    if (Addend < Before || At < T.Ofs || At >= End) return false;
    P = U.DataBlock + At;
    Avail = static_cast<size_t>(End - At);
    return true;
  }

  // The string a pointer of shape T leads to: the literal Raw bytes into
  // the target's block; none when it holds none of that shape.
  std::optional<TValue> LiteralValue(const TView& T, const TTarget& Tg, int64_t Raw) const {
    const uint8_t* P = nullptr;
    size_t Avail = 0;
    switch (T.Shape) {
      case TShape::LongStr: {
        std::string S;
        if (LiteralSpan(Tg, Raw, 8, P, Avail) && LongStringAt(P, Avail, S)) return StringValue(std::move(S));
        break;
      }
      case TShape::WideStr: {
        TValue R = Make(TValueKind::String);
        R.Wide = true;
        if (LiteralSpan(Tg, Raw, 8, P, Avail) && WideStringAt(P, Avail, R.WideText)) return R;
        break;
      }
      case TShape::PChar:
      case TShape::Pointer:
        if (LiteralSpan(Tg, Raw, 0, P, Avail)) {
          const void* Z = std::memchr(P, 0, Avail);
          if (Z) return StringValue(std::string(reinterpret_cast<const char*>(P), static_cast<const uint8_t*>(Z) - P));
        }
        break;
      case TShape::PWideChar:
        if (LiteralSpan(Tg, Raw, 0, P, Avail)) {
          TValue R = Make(TValueKind::String);
          R.Wide = true;
          for (size_t I = 0; I + 1 < Avail; I += 2) {
            const auto C = static_cast<char16_t>(ReadLE(P + I, 2));
            if (!C) return R;
            R.WideText += C;
          }
        }
        break;
      default: break;
    }
    return std::nullopt;
  }

  TValue Pointer(const TView& T, int64_t At, int64_t Size) {
    const uint32_t D = FixupAt(At);
    const int64_t Raw = static_cast<int64_t>(ReadLE(Bytes(At), static_cast<size_t>(std::min<int64_t>(Size, 4))));
    if (!D) {
      if (T.Shape == TShape::LongStr || T.Shape == TShape::WideStr) {
        if (Raw == 0) return StringValue({});  // a nil string is the empty one
      } else if (Raw == 0) {
        return Make(TValueKind::Nil);
      }
      if (T.Shape == TShape::LongStr || T.Shape == TShape::WideStr || T.Shape == TShape::DynArray)
        return Undecoded(Bytes(At), static_cast<size_t>(Size), "address without a fixup");
      // A number in a pointer (a resource identifier in a PChar): the number.
      TValue R = Make(TValueKind::Ordinal);
      R.Int = Raw;
      return R;
    }
    const TTarget Tg = TargetOf(U, D);
    if (!Tg.Rec) return Undecoded(Bytes(At), static_cast<size_t>(Size), "fixup to an unknown declaration");
    if (std::optional<TValue> Literal = LiteralValue(T, Tg, Raw)) return std::move(*Literal);
    if (Tg.Literal || Tg.Name.empty())
      return Undecoded(Bytes(At), static_cast<size_t>(Size), "address of a literal of another kind");
    TValue R = Make(TValueKind::Ref);
    R.Text = Tg.Name;
    R.Int = Tg.ClassData ? 0 : Raw;
    R.RefKind = Tg.ClassData ? TRefKind::Class : RecCast<TProcDecl>(Tg.Rec) ? TRefKind::Routine : TRefKind::Address;
    if (T.Shape == TShape::Proc) R.RefKind = TRefKind::Routine;
    return R;
  }

  // The value of type TypeN at offset At of the block, Avail bytes of which
  // it may take; Shown: how many bytes an undecoded value of a type without
  // a known size shows (all it may take when -1).
  TValue Value(const TView& T, int64_t At, int64_t Avail, int Depth, int64_t Shown = -1) {
    ++Items;
    if (Items > MaxItems) return Make(TValueKind::Undecoded);
    int64_t Size = T.Size;
    // A type the unit does not describe, in a slot of an address with its
    // fixup: whatever the type, the slot points at that declaration.
    if (T.Shape == TShape::Unknown && (Size == 4 || (Size < 0 && Avail == 4)) && FixupAt(At)) {
      TView P;
      P.Shape = TShape::Pointer;
      return Pointer(P, At, 4);
    }
    if (T.Shape == TShape::Unknown || Size < 0) {
      const int64_t N = Size >= 0 ? Size : Shown >= 0 ? Shown : Avail;
      return Undecoded(Bytes(At), static_cast<size_t>(std::clamp<int64_t>(N, 0, Avail)), "type without a known layout");
    }
    if (Size > Avail) return Undecoded(Bytes(At), static_cast<size_t>(Avail), "block shorter than its type");
    if (std::optional<TValue> V = SizedValue(T, At, Size, Depth)) return std::move(*V);
    return Undecoded(Bytes(At), static_cast<size_t>(Size), "value not decoded");
  }

  // A value of a type of known shape and size; none when the bytes do not
  // fit the type.
  std::optional<TValue> SizedValue(const TView& T, int64_t At, int64_t Size, int Depth) {
    const uint8_t* P = Bytes(At);
    switch (T.Shape) {
      case TShape::Int:
      case TShape::Bool:
      case TShape::Char:
      case TShape::WideChar:
      case TShape::Enum: {
        if (Size < 1 || Size > 8 || AnyFixupIn(At, Size)) break;
        const uint64_t W = ReadLE(P, static_cast<size_t>(Size));
        const bool Signed = T.HasRange && T.Lo < 0;
        return OrdinalOf(Ty, T, Signed ? SignExtend(W, static_cast<size_t>(Size)) : static_cast<int64_t>(W));
      }
      case TShape::Float: return T.Float == TFloatKind::Comp && Size == 8 ? CompValue(P) : FloatValue(T.Float, P, static_cast<size_t>(Size));
      case TShape::Set: return SetValue(Ty, T, P, static_cast<size_t>(Size));
      case TShape::ShortStr:
        if (Size < 1 || P[0] > Size - 1) break;
        return StringValue(std::string(reinterpret_cast<const char*>(P + 1), P[0]));
      case TShape::Guid:
        if (Size == 16) return GuidValue(P);
        break;
      case TShape::LongStr:
      case TShape::WideStr:
      case TShape::PChar:
      case TShape::PWideChar:
      case TShape::Pointer:
      case TShape::ClassRef:
      case TShape::Object:
      case TShape::DynArray:
        if (Size != 4) break;
        return Pointer(T, At, Size);
      case TShape::Proc:
        // A method pointer: the code address, then the object (nil in a constant).
        if ((Size != 4 && Size != 8) || (Size == 8 && (ReadLE(P + 4, 4) != 0 || FixupAt(At + 4)))) break;
        return Pointer(T, At, 4);
      case TShape::Array:
        if (Depth < MaxDepth) return ArrayValue(T, At, Size, Depth);
        break;
      case TShape::Record:
        if (Depth < MaxDepth) return RecordValue(T, At, Size, Depth);
        break;
      default: break;
    }
    return std::nullopt;
  }

  static TValue CompValue(const uint8_t* P) {
    TValue R = Make(TValueKind::Float);
    R.FloatKind = TFloatKind::Comp;
    const auto I = static_cast<int64_t>(ReadLE(P, 8));
    R.Float = static_cast<long double>(I);
    R.Text = RealLiteral(std::to_string(I));
    return R;
  }

  TValue GuidValue(const uint8_t* P) {
    static const char* Hex = "0123456789ABCDEF";
    std::string S = "{";
    auto Put = [&](uint64_t V, int Digits) {
      for (int I = Digits - 1; I >= 0; --I) S += Hex[(V >> (4 * I)) & 15];
    };
    Put(ReadLE(P, 4), 8);
    S += '-';
    Put(ReadLE(P + 4, 2), 4);
    S += '-';
    Put(ReadLE(P + 6, 2), 4);
    S += '-';
    Put(P[8], 2);
    Put(P[9], 2);
    S += '-';
    for (int I = 10; I < 16; ++I) Put(P[I], 2);
    S += '}';
    return StringValue(std::move(S));
  }

  TValue ArrayValue(const TView& A, int64_t At, int64_t Size, int Depth) {
    if (!A.Fact && !RecCast<TArrayDef>(A.Def)) return Undecoded(Bytes(At), static_cast<size_t>(Size), "array without a definition");
    const TView Index = Ty.ArrayIndex(A);
    const TView Elem = Ty.ArrayElem(A);
    int64_t Count = -1;
    // The width taken unsigned: the bounds of a damaged file may lie the
    // whole 64-bit range apart.
    if (Index.HasRange && Index.Hi >= Index.Lo &&
        static_cast<uint64_t>(Index.Hi) - static_cast<uint64_t>(Index.Lo) < INT32_MAX)
      Count = Index.Hi - Index.Lo + 1;
    int64_t ElemSize = Elem.Size;
    if (Count > 0 && ElemSize < 0 && Size % Count == 0) ElemSize = Size / Count;  // an imported element type
    if (Count < 0 && ElemSize > 0 && Size % ElemSize == 0) Count = Size / ElemSize;
    if (Count < 0 || ElemSize < 0 || Size < 0 || (ElemSize > 0 && Count > Size / ElemSize))
      return Undecoded(Bytes(At), static_cast<size_t>(Size), "array of unknown extent");
    // An array of characters is written as a string.
    if ((Elem.Shape == TShape::Char && ElemSize == 1) || (Elem.Shape == TShape::WideChar && ElemSize == 2)) {
      TValue R = Make(TValueKind::String);
      R.Wide = Elem.Shape == TShape::WideChar;
      for (int64_t I = 0; I < Count; ++I) {
        if (R.Wide)
          R.WideText += static_cast<char16_t>(ReadLE(Bytes(At + 2 * I), 2));
        else
          R.Text += static_cast<char>(*Bytes(At + I));
      }
      return R;
    }
    if (static_cast<size_t>(Count) > MaxItems) {
      Items += static_cast<size_t>(Count);
      return Make(TValueKind::Undecoded);
    }
    TValue R = Make(TValueKind::Array);
    R.Items.reserve(static_cast<size_t>(Count));
    for (int64_t I = 0; I < Count && Items <= MaxItems; ++I)
      R.Items.push_back(Value(Elem, At + I * ElemSize, ElemSize, Depth + 1));
    return R;
  }

  TValue RecordValue(const TView& D, int64_t At, int64_t Size, int Depth) {
    if (!D.Fact && !RecCast<TRecBaseDef>(D.Def))
      return Undecoded(Bytes(At), static_cast<size_t>(Size), "record without a definition");
    TValue R = Make(TValueKind::Record);
    const std::vector<TFieldView> Fields = Ty.Fields(D);
    for (const TFieldView& F : Fields) {
      if (Items > MaxItems) break;
      const int64_t O = F.Ofs;
      R.Names.emplace_back(F.Name);
      if (O < 0 || O > Size) {
        R.Items.push_back(Undecoded(nullptr, 0, "field outside its record"));
        continue;
      }
      // A field runs at most to the next field after it (the bytes a field
      // of a type without a known size is shown with).
      int64_t End = Size;
      for (const TFieldView& G : Fields)
        if (G.Ofs > O && G.Ofs < End) End = G.Ofs;
      R.Items.push_back(Value(F.Type, At + O, Size - O, Depth + 1, End - O));
    }
    return R;
  }
};

}  // namespace


// ---------------------------------------------------------------------------

bool TValue::HasUndecoded() const {
  if (Kind == TValueKind::Undecoded) return true;
  for (const TValue& I : Items)
    if (I.HasUndecoded()) return true;
  return false;
}

bool ReadPackedAt(const uint8_t*& P, const uint8_t* End, int32_t Version, bool Signed, int64_t& Out) {
  if (P >= End) return false;
  const uint8_t B0 = P[0];
  const unsigned Len = PackedFormLength(B0);
  const ptrdiff_t Whole = Len == 5 && PackedHighFollows(B0, Version) ? 9 : Len;
  if (End - P < Whole) return false;
  if (Len < 5) {
    const auto W = static_cast<uint32_t>(ReadLE(P, Len));
    Out = Signed ? int64_t(PackedIntOfWord(W, Len)) : int64_t(PackedUIntOfWord(W, Len));
  } else if (Whole == 9) {
    Out = static_cast<int64_t>(ReadLE(P + 1, 8));
  } else {
    const auto Low = static_cast<uint32_t>(ReadLE(P + 1, 4));
    Out = Signed ? static_cast<int32_t>(Low) : static_cast<int64_t>(Low);
  }
  P += Whole;
  return true;
}

long double ExtendedValue(const uint8_t* B) {
  const uint64_t M = Mantissa80(B);
  const unsigned E = Exponent80(B);
  const bool Neg = Negative80(B);
  if (E == 0x7FFF) {
    // Infinity only with the integer bit alone; every other pattern, the
    // forms without the integer bit included, is not a number.
    if (M == (uint64_t(1) << 63)) return Neg ? -std::numeric_limits<long double>::infinity()
                                              : std::numeric_limits<long double>::infinity();
    return std::numeric_limits<long double>::quiet_NaN();
  }
  // The value the bits stand for, whether or not the integer bit is set
  // (denormal and unnormal forms included).
  const int Exp = (E == 0 ? 1 : static_cast<int>(E)) - 16383 - 63;
  const long double V = std::ldexp(static_cast<long double>(M), Exp);
  return Neg ? -V : V;
}

std::string CurrencyText(int64_t T) {
  const bool Neg = T < 0;
  const uint64_t A = Neg ? 0 - static_cast<uint64_t>(T) : static_cast<uint64_t>(T);
  std::string Frac = std::to_string(A % 10000);
  Frac.insert(0, 4 - Frac.size(), '0');
  while (Frac.size() > 1 && Frac.back() == '0') Frac.pop_back();
  return (Neg ? "-" : "") + std::to_string(A / 10000) + "." + Frac;
}

std::string FloatText(TFloatKind Kind, const uint8_t* B, size_t Len, long double* Out) {
  switch (Kind) {
    case TFloatKind::Single: {
      if (Len != 4) return {};
      float F;
      std::memcpy(&F, B, 4);
      if (Out) *Out = F;
      if (!std::isfinite(F)) return NonFinite(std::isnan(F), std::signbit(F));
      return Shortest(F);
    }
    case TFloatKind::Double: {
      if (Len != 8) return {};
      double D;
      std::memcpy(&D, B, 8);
      if (Out) *Out = D;
      if (!std::isfinite(D)) return NonFinite(std::isnan(D), std::signbit(D));
      return Shortest(D);
    }
    case TFloatKind::Extended:
      if (Len != 10) return {};
      return ExtendedText(B, Out);
    case TFloatKind::Real48:
      if (Len != 6) return {};
      return Real48Text(B, Out);
    case TFloatKind::Comp: {
      if (Len != 8) return {};
      const auto I = static_cast<int64_t>(ReadLE(B, 8));
      if (Out) *Out = static_cast<long double>(I);
      return RealLiteral(std::to_string(I));
    }
    case TFloatKind::Currency: {
      if (Len != 8) return {};
      const auto I = static_cast<int64_t>(ReadLE(B, 8));
      if (Out) *Out = static_cast<long double>(I) / 10000;
      return CurrencyText(I);
    }
  }
  return {};
}


TValue OrdinalValue(const TUnit& U, uint32_t TypeN, int64_t V, TUsedTypes* Used) {
  const TTypeViews Ty(U, Used);
  return OrdinalOf(Ty, Ty.Of(TypeN), V);
}

TValue ConstValue(const TUnit& U, const TConstDecl& C, TUsedTypes* Used) {
  if (!C.ValueData) return OrdinalValue(U, C.TypeIndex, C.OrdValue64(), Used);
  const uint8_t* P = C.ValueData;
  const auto Len = static_cast<size_t>(std::max(C.ValueSize, 0));
  const TTypeViews Ty(U, Used);
  const TView T = Ty.Of(C.TypeIndex);
  TShape Shape = T.Shape;
  // An imported type the unit does not describe: the value's own kind, which
  // units from version 5 on give in the auxiliary number (1 a string, 3 a
  // float, 4 a set); before, a string is known by its layout.
  if (Shape == TShape::Unknown) {
    const uint32_t Aux = U.Version > 4 ? C.AuxValue : 0;
    if (Aux == 1 || (Aux == 0 && Len >= 9 && ReadLE(P, 4) == 0xFFFFFFFFu && ReadLE(P + 4, 4) == Len - 9))
      Shape = TShape::LongStr;
    else if (Aux == 3 && Len == 10)
      Shape = TShape::Float;
    else if (Aux == 4)
      Shape = TShape::Set;
  }
  switch (Shape) {
    case TShape::LongStr:
    case TShape::PChar: {
      std::string S;
      if (LongStringAt(P, Len, S) && S.size() + 9 == Len) return StringValue(std::move(S));
      break;
    }
    case TShape::WideStr:
    case TShape::PWideChar: {
      TValue R = Make(TValueKind::String);
      R.Wide = true;
      if (WideStringAt(P, Len, R.WideText)) return R;
      break;
    }
    case TShape::Float:
      if (Len == 10) return StoredFloat(T.Shape == TShape::Float ? T.Float : TFloatKind::Extended, P);
      if (static_cast<int64_t>(Len) == T.Size) return FloatValue(T.Float, P, Len);
      break;
    case TShape::Set: {
      if (T.Shape != TShape::Set || static_cast<int64_t>(Len) == T.Size) return SetValue(Ty, T, P, Len);
      break;
    }
    default: break;
  }
  return Undecoded(P, Len, "bytes of a type not decoded");
}

TValue TypedConstValue(const TUnit& U, const TVarCDecl& V, TUsedTypes* Used) {
  if (auto* R = RecCast<TResStrDef>(&V)) return ResStringValue(U, *R);
  if (RecCast<TTypePDecl>(&V)) return Undecoded(nullptr, 0, "run-time type data");
  if (V.Ofs < 0 || V.MemSize < 0 || static_cast<int64_t>(V.Ofs) + V.MemSize > U.DataSize || !U.DataBlock)
    return Undecoded(nullptr, 0, "no block in the data block");
  const TTypeViews Ty(U, Used);
  return TBlockDecoder(Ty, V.Ofs, V.MemSize).Decode(V.TypeIndex);
}

TValue ResStringValue(const TUnit& U, const TResStrDef& R) {
  (void)U;
  auto* C = RecCast<TConstDecl>(R.Next);
  if (C && C->ValueData && View(C->GetName()) == ".") {
    std::string S;
    const auto Len = static_cast<size_t>(std::max(C->ValueSize, 0));
    if (LongStringAt(C->ValueData, Len, S)) return StringValue(std::move(S));
  }
  return Undecoded(nullptr, 0, "no text beside the resource string");
}

const TPropDecl* InheritedProperty(const TUnit& U, const TRecBaseDef* Owner, std::string_view Name) {
  // Ancestors through their parent type numbers; a chain that loops is cut.
  for (int Step = 0; Owner && Step < 256; ++Step) {
    uint32_t Parent = 0;
    if (auto* C = RecCast<TClassDef>(Owner)) Parent = C->ParentType;
    else if (auto* O = RecCast<TObjDef>(Owner)) Parent = O->ParentType;
    Owner = RecCast<TRecBaseDef>(U.GetTypeDef(Parent));
    if (!Owner) return nullptr;
    for (TDCURec* M = Owner->Fields; M; M = M->Next) {
      auto* P = RecCast<TPropDecl>(M);
      if (P && P->TypeIndex != 0 && NameIs(View(P->GetName()), Name)) return P;
      // A redeclaration passes on to its own ancestor.
      if (P && P->TypeIndex == 0 && NameIs(View(P->GetName()), Name)) break;
    }
  }
  return nullptr;
}

uint32_t PropTypeNumber(const TUnit& U, const TPropDecl& P, const TRecBaseDef* Owner) {
  if (P.TypeIndex) return P.TypeIndex;
  const TPropDecl* A = InheritedProperty(U, Owner, View(P.GetName()));
  return A ? A->TypeIndex : 0;
}

std::optional<TValue> PropDefaultValue(const TUnit& U, const TPropDecl& P, const TRecBaseDef* Owner,
                                       TUsedTypes* Used) {
  if (P.DefaultValue == NoPropValue) return std::nullopt;
  const TTypeViews Ty(U, Used);
  TView T = Ty.Of(PropTypeNumber(U, P, Owner));
  if (T.Shape == TShape::Unknown && !P.TypeIndex && Owner) {
    // Taken over from an ancestor in another unit: the units used tell.
    TView Class;
    Class.Def = Owner;
    T = Ty.InheritedPropType(Class, View(P.GetName()));
  }
  if (T.Shape == TShape::Set) {
    // A set default is the set's stored bytes as a number.
    uint8_t B[4];
    const size_t Len = T.Def || T.Fact ? static_cast<size_t>(std::clamp<int64_t>(T.Size, 0, 4)) : 4;
    for (size_t I = 0; I < 4; ++I) B[I] = static_cast<uint8_t>(static_cast<uint32_t>(P.DefaultValue) >> (8 * I));
    return SetValue(Ty, T, B, Len);
  }
  if (T.Shape == TShape::Unknown) {
    TValue R = Make(TValueKind::Ordinal);
    R.Int = P.DefaultValue;
    return R;
  }
  return OrdinalOf(Ty, T, P.DefaultValue);
}

size_t DecodeEveryValue(const TUnit& U) {
  size_t N = 0;
  auto Use = [&N](const TValue& V) {
    N += !PascalText(V).empty();
  };
  // Chains of declarations and the chains of the routines in them (a
  // stack, not recursion: nesting depth is the file's to choose).
  std::vector<const TDCURec*> Chains{U.Decls};
  while (!Chains.empty()) {
    const TDCURec* R = Chains.back();
    Chains.pop_back();
    for (; R; R = R->Next) {
      if (auto* C = RecCast<TConstDecl>(R)) Use(ConstValue(U, *C));
      else if (auto* V = RecCast<TVarCDecl>(R)) Use(TypedConstValue(U, *V));
      else if (auto* P = RecCast<TProcDecl>(R)) Chains.insert(Chains.end(), {P->Params, P->Locals, P->Embedded});
    }
  }
  for (const TBaseDef* D : U.TypeTable) {
    auto* RB = RecCast<TRecBaseDef>(D);
    if (!RB) continue;
    for (const TDCURec* M = RB->Fields; M; M = M->Next) {
      if (auto* ND = RecCast<TNameDecl>(M)) N += MemberFacts(U, *ND, RB).Directives().size();
      if (auto* P = RecCast<TPropDecl>(M))
        if (std::optional<TValue> D2 = PropDefaultValue(U, *P, RB)) Use(*D2);
    }
  }
  return N;
}
