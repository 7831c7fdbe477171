// Values as text: ordinals of ranges (by their type: enumeration names,
// False/True, characters, numbers) and their bounds, bytes, interface GUIDs,
// and the values of constants, typed constants and resource strings as the
// decoders (DeclValues.h) read them, in the listing's text and as JSON.
#include <algorithm>
#include <charconv>

#include "DeclBuilder.h"

std::string HexBytes(const uint8_t* P, size_t N, std::string_view Sep) {
  static const char* Digits = "0123456789ABCDEF";
  std::string S;
  S.reserve(N * (2 + Sep.size()));
  for (size_t I = 0; I < N; ++I) {
    if (I) S += Sep;
    const char Pair[2] = {Digits[P[I] >> 4], Digits[P[I] & 15]};
    S.append(Pair, 2);
  }
  return S;
}

// The first three parts little-endian, the rest in order.
std::string GuidText(const uint8_t* B) {
  const uint8_t D1[] = {B[3], B[2], B[1], B[0]}, D2[] = {B[5], B[4]}, D3[] = {B[7], B[6]};
  // Appended part by part (GCC 12 warns of "x" + std::string falsely, -Wrestrict).
  std::string S = "{";
  for (const auto& [Bytes, Len] : {std::pair{D1, 4}, {D2, 2}, {D3, 2}, {B + 8, 2}, {B + 10, 6}}) {
    if (S.size() > 1) S += '-';
    S += HexBytes(Bytes, static_cast<size_t>(Len), "");
  }
  S += '}';
  return S;
}

std::string OrdinalByKind(uint8_t Tag, int64_t V) {
  if (Tag == tagDefBool && (V == 0 || V == 1)) return V ? "True" : "False";
  if ((Tag == tagDefChar || Tag == tagDefWideChar) && V >= 0) {
    if (V >= 0x20 && V < 0x7F && V != '\'') return {'\'', static_cast<char>(V), '\''};
    std::string S = "#";
    S += std::to_string(V);
    return S;
  }
  return std::to_string(V);
}

std::string TOutlineBuilder::OrdinalText(uint32_t TypeN, int64_t V, bool* Named) {
  if (Named) *Named = false;
  const TBaseDef* D = U.GetTypeDef(TypeN);
  if (auto* E = RecCast<TEnumDef>(D)) {
    if (E->NameList && V >= 0 && static_cast<uint64_t>(V) < E->NameList->size()) {
      if (Named) *Named = true;
      return DeclDisplayText(NameView((*E->NameList)[static_cast<size_t>(V)]->GetName()));
    }
    // A subrange of an enumeration takes its names from its base.
    if (E->BaseType != TypeN && !E->NameList) {
      auto* B = RecCast<TEnumDef>(U.GetTypeDef(E->BaseType));
      if (B && B->NameList && V >= 0 && static_cast<uint64_t>(V) < B->NameList->size()) {
        if (Named) *Named = true;
        return DeclDisplayText(NameView((*B->NameList)[static_cast<size_t>(V)]->GetName()));
      }
    }
  }
  return OrdinalByKind(RecCast<TRangeDef>(D) ? TagAt(D->DefPos) : 0, V);
}

void TOutlineBuilder::RangeText(TDeclText& T, const TRangeBaseDef& R, uint32_t BaseN, uint8_t Tag) {
  int64_t Lo = 0, Hi = 0;
  if (!R.TryBounds(Lo, Hi)) {
    T.Comment("{bounds unreadable}");
    return;
  }
  // Values print by the base type when it is an enumeration or a boolean or
  // character range; otherwise by the range's own kind.
  auto One = [&](int64_t V) {
    bool Named = false;
    std::string S = BaseN ? OrdinalText(BaseN, V, &Named) : std::string();
    return Named ? S : OrdinalByKind(Tag, V);
  };
  T.Plain(One(Lo) + ".." + One(Hi));
}

namespace {

// A value as the listing writes it: the parts not decoded as comments
// ("{4 bytes: 00 00 00 00}"), the rest plain.
void ValueText(const TValue& V, TDeclText& T) {
  switch (V.Kind) {
    case TValueKind::Undecoded: T.Comment(PascalText(V)); return;
    case TValueKind::Array:
    case TValueKind::Record:
      if (V.HasUndecoded()) {
        const bool Rec = V.Kind == TValueKind::Record;
        T.Plain("(");
        for (size_t I = 0; I < V.Items.size(); ++I) {
          if (I) T.Plain(Rec ? "; " : ", ");
          if (Rec) {
            T.Plain(DeclDisplayText(I < V.Names.size() ? V.Names[I] : std::string("?")));
            T.Plain(": ");
          }
          ValueText(V.Items[I], T);
        }
        T.Plain(")");
        return;
      }
      break;
    default: break;
  }
  T.Plain(PascalText(V));
}

}  // namespace

void TOutlineBuilder::SetValue(const TValue& V, TDeclEntry& E, const uint8_t* Block, size_t BlockLen) {
  // Not decoded, in the data block and no block to show: nothing to keep.
  const bool InData = E.Typed || E.Kind == TDeclKind::ResourceString;
  if (InData && V.Kind == TValueKind::Undecoded && !Block) return;
  TDeclValueParts& P = E.SetValue();
  P.Value.SetKeepSpans(KeepSpans);
  if (V.Kind == TValueKind::Ordinal) {
    // Most constants: the same digits in the listing and the JSON.
    char Buf[24];
    const char* End = V.Unsigned ? std::to_chars(Buf, Buf + sizeof Buf, static_cast<uint64_t>(V.Int)).ptr
                                 : std::to_chars(Buf, Buf + sizeof Buf, V.Int).ptr;
    const std::string_view Digits(Buf, static_cast<size_t>(End - Buf));
    P.Value.Plain(Digits);
    P.ValueJson = Digits;
    E.ValueForm = TDeclValueForm::Json;
    return;
  }
  if (!V.HasUndecoded()) {
    P.Value.Plain(PascalText(V));
    std::string Json;
    ValueJson(V, Json);
    P.ValueJson = Json;
    E.ValueForm = V.Kind == TValueKind::Float ? TDeclValueForm::Float : TDeclValueForm::Json;
    return;
  }
  // Not decoded, or not all of it: the JSON has the bytes; the listing the
  // parts decoded, or for a value in the data block of which nothing is,
  // its size (the writer's comment).
  if (!InData || V.Kind != TValueKind::Undecoded) ValueText(V, P.Value);
  if (!InData) {
    P.ValueJson = HexBytes(reinterpret_cast<const uint8_t*>(V.Bytes.data()), V.Bytes.size(), "");
    E.ValueForm = TDeclValueForm::Bytes;
  } else if (Block) {
    P.ValueJson = HexBytes(Block, BlockLen, "");
    E.ValueForm = TDeclValueForm::Bytes;
  }
}
