// Values as text: ordinal constants (by their type: enumeration names,
// False/True, characters, numbers), the bounds of ranges, constants kept as
// bytes, and interface GUIDs.
#include <algorithm>

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
  return "{" + HexBytes(D1, 4, "") + "-" + HexBytes(D2, 2, "") + "-" + HexBytes(D3, 2, "") + "-" +
         HexBytes(B + 8, 2, "") + "-" + HexBytes(B + 10, 6, "") + "}";
}

std::string OrdinalByKind(uint8_t Tag, int64_t V) {
  if (Tag == tagDefBool && (V == 0 || V == 1)) return V ? "True" : "False";
  if ((Tag == tagDefChar || Tag == tagDefWideChar) && V >= 0) {
    if (V >= 0x20 && V < 0x7F && V != '\'') return std::string("'") + static_cast<char>(V) + "'";
    return "#" + std::to_string(V);
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
  try {
    R.GetBounds(Lo, Hi);
  } catch (const std::exception&) {
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

void TOutlineBuilder::ConstValue(const TConstDecl& C, TDeclEntry& E) {
  if (!C.ValueData) {
    E.OrdValue = C.OrdValue64();
    E.Value.Plain(OrdinalText(C.TypeIndex, *E.OrdValue, nullptr));
    return;
  }
  // Bytes whose meaning depends on the type: shown as they are.
  const int32_t Len = C.ValueSize;
  const size_t N = Len > 0 ? static_cast<size_t>(Len) : 0;
  E.ValueBytes = HexBytes(C.ValueData, N, "");
  std::string Shown = HexBytes(C.ValueData, std::min<size_t>(N, 32), " ");
  if (Len > 32) Shown += " ...";
  E.Value.Comment("{" + std::to_string(Len) + " bytes: " + Shown + "}");
}
