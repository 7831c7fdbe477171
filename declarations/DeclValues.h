// Values as the source wrote them: untyped constants by their type, typed
// constants from their block of the data block, resource strings and
// property defaults, decoded from a loaded unit's records into a small value
// model, and that model written as a Pascal literal.
//
// The decoders read the unit (its records, its data block and fixups) and
// return plain values that outlive it. They never read outside the piece of
// the data block a declaration owns, or outside the block of a literal a
// fixup points at; what they cannot decode comes back as Undecoded with the
// bytes and the reason.
//
// Strings hold the unit's 8-bit bytes (Windows-1252); PascalText writes UTF-8
// like the rest of the declarations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TUnit;
class TConstDecl;
class TVarCDecl;
class TResStrDef;
class TPropDecl;
class TRecBaseDef;
class TUsedTypes;

enum class TValueKind : uint8_t {
  Undecoded,  // Bytes: what could not be decoded; Text: why
  Ordinal,    // Int, an unsigned number when Unsigned
  Bool,       // Int: 0 False, else True
  Char,       // Int: the character code (Wide: a two-byte character)
  Enum,       // Text: the name; Int: the ordinal
  Float,      // Float: the value; Text: its shortest decimal text ("NaN", "Infinity", "NegInfinity")
  String,     // Text: the bytes; Wide: WideText holds the two-byte characters instead
  Set,        // Items: the elements in ascending order (Ordinal, Char, Enum or Bool)
  Array,      // Items: the elements in index order
  Record,     // Items with their field names in Names
  Ref,        // Text: the name of the declaration pointed at; RefKind says how
  Nil,
};

// The float formats of the file (the byte of a float type definition).
enum class TFloatKind : uint8_t { Real48 = 0, Single = 1, Double = 2, Extended = 3, Comp = 4, Currency = 5 };

enum class TRefKind : uint8_t {
  Address,  // @Name: a pointer to a declaration
  Routine,  // @Name: a procedural value
  Class,    // Name: a class reference (the class itself)
};

struct TValue {
  TValueKind Kind = TValueKind::Undecoded;
  bool Unsigned = false;  // Ordinal: Int is the bit pattern of an unsigned number
  bool Wide = false;      // Char, String: two-byte characters
  TFloatKind FloatKind = TFloatKind::Extended;
  TRefKind RefKind = TRefKind::Address;
  int64_t Int = 0;        // Ref: the offset added to the declaration's address (0 nearly always)
  long double Float = 0;
  std::string Text;
  std::u16string WideText;
  std::string Bytes;
  std::vector<TValue> Items;
  std::vector<std::string> Names;

  bool Decoded() const { return Kind != TValueKind::Undecoded; }
  // True when this value or a part of it is Undecoded.
  bool HasUndecoded() const;
};

// Untyped constants: an ordinal by its type's range and kind (names of a
// Boolean or an enumeration, characters, unsigned numbers), a value stored as
// bytes by its type (strings, floats, sets).
//
// Used, when given, answers for the types of the units U uses that the
// decoders do not know by name (records, enumerations, sets and aliases
// declared there); without it such values stay as they are.
TValue ConstValue(const TUnit& U, const TConstDecl& C, TUsedTypes* Used = nullptr);
// An ordinal value of type number TypeN: False/True, a character, an
// enumeration's name, nil for a pointer type, or a number signed or
// unsigned as the type's range wants it.
TValue OrdinalValue(const TUnit& U, uint32_t TypeN, int64_t V, TUsedTypes* Used = nullptr);
// A typed constant (or initialised variable) from its block of the data
// block, by its type's layout; pointers, strings, procedural values and
// class references through the fixups inside the block. Resource strings
// give their text; records of the unit's run-time type data give Undecoded.
TValue TypedConstValue(const TUnit& U, const TVarCDecl& V, TUsedTypes* Used = nullptr);
// A resource string's text: the unit keeps it in the nameless constant
// record that follows the resource string in its chain.
TValue ResStringValue(const TUnit& U, const TResStrDef& R);
// A property's default by the property's type (a property taken over from
// an ancestor names no type: then Owner, the class the property belongs to,
// leads to the ancestor that declares it, in the unit or, through Used, in
// the units the ancestors are declared in). None when the property has no
// default.
std::optional<TValue> PropDefaultValue(const TUnit& U, const TPropDecl& P, const TRecBaseDef* Owner = nullptr,
                                       TUsedTypes* Used = nullptr);
// The type number of a property: its own, or for a property taken over from
// an ancestor the ancestor's, found through Owner; 0 when not found.
uint32_t PropTypeNumber(const TUnit& U, const TPropDecl& P, const TRecBaseDef* Owner);
// The property of that name an ancestor of Owner declares with a type, when
// the unit holds the ancestor; null otherwise.
const TPropDecl* InheritedProperty(const TUnit& U, const TRecBaseDef* Owner, std::string_view Name);

// Decodes every value of the unit (constants, typed constants and resource
// strings at every level, property defaults) and the member facts of every
// record-like type, writing each as text; returns how many values it
// decoded. For the fuzz target and the sweeps, which check that no unit the
// reader accepts makes a decoder fail.
size_t DecodeEveryValue(const TUnit& U);

// A packed integer read from memory at P, not past End, by the forms of the
// reader (the 9-byte form with its high word only in units of version 4 and
// up), without the scanner; P moves past it. False when the bytes end first.
bool ReadPackedAt(const uint8_t*& P, const uint8_t* End, int32_t Version, bool Signed, int64_t& Out);

// Pascal literal text (UTF-8): 'text' with '' for a quote and #13#10 for
// control characters and bytes outside Windows-1252; 'A' or #39 for a
// character; False/True; names; [a, b..d]; (1, 2); (X: 1; Y: 2); @Name; nil;
// an undecoded value as {N bytes: XX XX ...}.
std::string PascalText(const TValue& V);
std::string PascalString(std::string_view Bytes);
std::string PascalWideString(std::u16string_view Chars);
std::string PascalChar(uint32_t Code, bool Wide = false);

// The value as flat JSON text, appended to Out: a string for strings and
// characters (UTF-8; the bytes read as Windows-1252), a number for ordinals
// (unsigned ones as such) and floats (the text of FloatText; NaN and the
// infinities, which JSON has no number for, as the strings "NaN",
// "Infinity", "NegInfinity", and so an Extended past the range of a double,
// which JSON readers take numbers as, "1.2E4000"), true/false, an enumeration's name as a string, arrays
// for sets and arrays, an object for a record (its field names as keys),
// {"ref": "Name"} for a pointer, a procedural value or a class reference
// ({"offset": N, "ref": "Name"} when it points N bytes into the
// declaration), null for nil. False, and Out as it was, when a part of the
// value is Undecoded.
bool ValueJson(const TValue& V, std::string& Out);

// The shortest decimal text that reads back to the same value of its format
// ("0.1", "1E18", "14.0"); NaN and the infinities by name. For an Extended
// the ten bytes of the x86 format; the value itself is stored in Out.
std::string FloatText(TFloatKind Kind, const uint8_t* Bytes, size_t Len, long double* Out = nullptr);
// A Currency (a number of ten-thousandths) as exact decimal text.
std::string CurrencyText(int64_t Ten000ths);
// The ten bytes of an x86 Extended as a number, NaN or an infinity.
long double ExtendedValue(const uint8_t* Bytes);
