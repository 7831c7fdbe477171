// What a type is for decoding its values, read from a loaded unit's type
// records or from the facts of a unit it uses (TypeFacts.h): the one place
// that decides a type's shape, size and range and finds its parts. Used by
// the value decoders and by the taking of type facts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TypeFacts.h"

class TUnit;
class TBaseDef;

using TShape = TTypeShape;

struct TView : TTypeBasics {
  const TBaseDef* Def = nullptr;         // a type of the unit itself
  const TUnitTypes* Table = nullptr;     // or a type of a used unit:
  const TTypeFact* Fact = nullptr;       // its facts and their table
  bool Own() const { return Def != nullptr; }
};

struct TFieldView {
  std::string_view Name;
  int64_t Ofs = 0;
  TView Type;
};

// The types a unit's values are decoded by: its own, the runtime's known by
// name, and those of the units it uses when Used has them.
class TTypeViews {
 public:
  TTypeViews(const TUnit& U, TUsedTypes* Used) : U(U), Used(Used) {}

  // The unit's type number N.
  TView Of(uint32_t N, int Depth = 0) const;
  // The type Name of the unit Unit, as a unit of version Version imports it.
  TView Imported(std::string_view Unit, std::string_view Name, int32_t Version, int Depth) const;
  // A type a fact refers to.
  TView Link(const TUnitTypes& Table, const TTypeLink& L, int Depth = 0) const;

  // Parts: a set's element type and the element of its bit 0; an array's
  // index and element types; a record's fields in stored order; the name of
  // an enumeration's value V.
  TView SetBase(const TView& T) const;
  int64_t SetFirst(const TView& T) const;
  TView ArrayIndex(const TView& T) const;
  TView ArrayElem(const TView& T) const;
  std::vector<TFieldView> Fields(const TView& T) const;
  std::optional<std::string_view> EnumName(const TView& T, int64_t V) const;
  // The type of the property Name that the class T or its nearest ancestor
  // declares with a type (through the units the ancestors are in).
  TView InheritedPropType(const TView& Class, std::string_view Name, int Depth = 0) const;

  const TUnit& U;
  TUsedTypes* const Used;

 private:
  TView FactView(const TUnitTypes& Table, int32_t Index, int Depth) const;
  TView OwnView(const TBaseDef* D, int Depth) const;
};

// Deepest nesting of types followed (arrays, records, chains of units).
constexpr int MaxTypeDepth = 16;
