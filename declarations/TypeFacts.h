// The types of a unit as plain facts that outlive it: what the value
// decoders need of a type (its shape, size and range, the names of an
// enumeration, the parts of sets, arrays and records, a class's ancestor and
// the types of its properties), taken from a loaded unit once. A unit that
// uses another reads its imported types through these facts (TUsedTypes),
// so that a used unit never stays loaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "DeclValues.h"

class TUnit;

// What a type is, for decoding its values.
enum class TTypeShape : uint8_t {
  Unknown, Int, Bool, Char, WideChar, Enum, Float, Set, ShortStr, LongStr, WideStr, DynArray,
  PChar, PWideChar, Pointer, Proc, ClassRef, Object, Array, Record, Guid,
};

// A type a fact refers to: a type of the same table (Index), or, with Index
// -1, the type Name of the unit Unit (none when both are empty).
struct TTypeLink {
  int32_t Index = -1;
  std::string Unit, Name;
  bool Empty() const { return Index < 0 && Name.empty(); }
};

struct TFieldFact {
  std::string Name;
  int64_t Ofs = 0;
  TTypeLink Type;
};

// A property of a class: with Type empty, one taken over from an ancestor.
struct TPropFact {
  std::string Name;
  TTypeLink Type;
};

// What a value of a type is: its shape, size, range and float format.
struct TTypeBasics {
  TTypeShape Shape = TTypeShape::Unknown;
  int64_t Size = -1;  // bytes of a value; -1 when the file does not say
  bool HasRange = false;
  int64_t Lo = 0, Hi = 0;
  TFloatKind Float = TFloatKind::Extended;
};

struct TTypeFact : TTypeBasics {
  std::vector<std::string> EnumNames;  // an enumeration's names (a subrange: its base's)
  int64_t SetFirst = 0;                // a set: the element of bit 0
  TTypeLink Base;                      // a set's element type; a subrange's base
  TTypeLink Index, Elem;               // an array's index and element types
  std::vector<TFieldFact> Fields;      // a record's fields
  TTypeLink Parent;                    // a class's ancestor
  std::vector<TPropFact> Props;        // a class's properties
  TTypeLink Alias;                     // a name of another unit's type: that type
};

// The types of one unit: every type its declarations name, and the types
// those are made of.
struct TUnitTypes {
  std::string Unit;
  int32_t Version = 0;
  std::vector<TTypeFact> Types;
  // Lower-case names and the index of their type.
  std::unordered_map<std::string, int32_t> Names;
  // The lower-case names of all its top-level declarations (routines,
  // variables, constants, types).
  std::unordered_set<std::string> Declared;

  // The type declared by that name (any letter case), or null.
  const TTypeFact* Find(std::string_view Name) const;
  // Whether the unit declares that name at its top level (any letter case).
  bool Declares(std::string_view Name) const;
};

// Takes the type facts of a loaded unit; the unit may be released after.
TUnitTypes TakeUnitTypes(const TUnit& U);

// The units a unit uses, asked for by name while its values are decoded;
// an implementation reads them on demand (and keeps only their facts).
class TUsedTypes {
 public:
  virtual ~TUsedTypes() = default;
  // The types of the unit of that name and format version, or null when no
  // such unit is at hand.
  virtual const TUnitTypes* UnitTypes(std::string_view Name, int32_t Version) = 0;
};
