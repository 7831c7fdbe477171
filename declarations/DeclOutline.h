// The declarations outline of a unit: what the unit declares, grouped into
// its interface and implementation sections, as plain strings and numbers.
//
// BuildDeclOutline walks a loaded unit once and copies out everything the
// listing, the JSON and an outline view need, so the outline outlives the
// unit. Tree: sections -> blocks (runs of one kind in file order) ->
// entries (declarations) -> members (fields, methods, properties).
//
// A value (of a constant, typed constant, resource string or property
// default) is kept as the listing writes it and as flat JSON text, never as
// the decoders' tree; members of classes and objects carry their section
// and methods their directives as a few bits (the listing and the JSON make
// the words).
//
// Texts are UTF-8 with marked runs (DeclText.h). Every entry and member
// keeps the file offset of the tag byte its record began with; that offset
// is also its anchor: a type reference to a declaration of the same unit
// carries the anchor of that declaration.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "DeclMemberFacts.h"
#include "DeclMemory.h"
#include "DeclText.h"

class TUnit;
class TUsedTypes;

enum class TDeclKind : uint8_t {
  Type,
  Const,           // also typed constants (Typed)
  ResourceString,
  Var,             // also absolute variables (Absolute)
  ThreadVar,
  Procedure,
  Function,
  Label,
  Exports,
};

// The kinds of type a type declaration defines, in one list:
// X(constant, name in the JSON, record-like: written with its members between
// its head line and "end"). None: the entry is no type; Alias: a name for a
// type declared elsewhere; Unknown: a type number that resolves to no
// definition.
#define UNITPEEK_DECL_TYPE_KINDS(X)         \
  X(None, "", false)                        \
  X(Enum, "enum", false)                    \
  X(Subrange, "subrange", false)            \
  X(Set, "set", false)                      \
  X(Pointer, "pointer", false)              \
  X(Array, "array", false)                  \
  X(String, "string", false)                \
  X(Record, "record", true)                 \
  X(Object, "object", true)                 \
  X(Class, "class", true)                   \
  X(ClassRef, "classRef", false)            \
  X(Interface, "interface", true)           \
  X(DispInterface, "dispinterface", true)   \
  X(ProcType, "procType", false)            \
  X(File, "file", false)                    \
  X(Float, "float", false)                  \
  X(Variant, "variant", false)              \
  X(Void, "void", false)                    \
  X(Alias, "alias", false)                  \
  X(Unknown, "unknown", false)

enum class TDeclTypeKind : uint8_t {
#define UNITPEEK_TYPE_KIND_CONST(Kind, Name, RecordLike) Kind,
  UNITPEEK_DECL_TYPE_KINDS(UNITPEEK_TYPE_KIND_CONST)
#undef UNITPEEK_TYPE_KIND_CONST
};

struct TDeclTypeKindInfo {
  std::string_view Name;
  bool RecordLike = false;
};

inline constexpr auto DeclTypeKindTable = std::to_array<TDeclTypeKindInfo>({
#define UNITPEEK_TYPE_KIND_INFO(Kind, Name, RecordLike) {Name, RecordLike},
    UNITPEEK_DECL_TYPE_KINDS(UNITPEEK_TYPE_KIND_INFO)
#undef UNITPEEK_TYPE_KIND_INFO
});

// "enum", "subrange", ..., "unknown"; empty for None.
constexpr std::string_view DeclTypeKindName(TDeclTypeKind K) {
  return DeclTypeKindTable[static_cast<size_t>(K)].Name;
}
constexpr bool IsRecordLike(TDeclTypeKind K) { return DeclTypeKindTable[static_cast<size_t>(K)].RecordLike; }

enum class TMemberKind : uint8_t { Field, Method, Constructor, Destructor, Property };
enum class TParamMode : uint8_t { Value, Var, Const, Out };

// A parameter as a source writes it: an untyped one (var Buffer) has an
// empty Type, an open array "array of T" or "array of const" as its Type; a
// default value as the listing writes it and as JSON (empty: none).
struct TDeclParam {
  TDeclString Name;
  TParamMode Mode = TParamMode::Value;
  TDeclText Type;
  TDeclString Default, DefaultJson;
};

// What heads a routine of the implementation that implements a method:
// "constructor", "destructor" or the plain procedure or function keyword.
enum class TRoutineHead : uint8_t { Plain, Constructor, Destructor };

// Parameters, result and calling convention of a routine, a method or a
// procedural type.
struct TDeclRoutine {
  TDeclList<TDeclParam> Params;
  TDeclText Result;
  bool Known = false;  // false: the file gives no parameter list for it
  bool IsFunction = false;
  uint8_t CallConv = 0;  // 0 register, 1 cdecl, 2 pascal, 3 stdcall, 4 safecall
  bool OfObject = false;
  // Routines that implement a method ("TList.Create"): the method's kind and
  // whether it is a class method; Plain and false for every other routine.
  TRoutineHead Head = TRoutineHead::Plain;
  bool ClassMethod = false;
  bool Abstract = false;  // the method is abstract: the routine has no body to write
};

// What the file records of a method's directives (see DeclMemberFacts.h).
struct TDeclDirectives {
  TBinding Binding = TBinding::Static;
  bool ClassMethod : 1 = false;  // class procedure / class function
  bool Override : 1 = false;     // with Binding Virtual or Dynamic
  bool Abstract : 1 = false;
  bool Overload : 1 = false;
  uint32_t Message = 0;          // Binding Message: the message number
};

// The directives in the order a source writes them, each handed to Each as
// text: "overload", "virtual" / "dynamic" / "override" / "message N",
// "abstract". (class is no directive: it stands before the keyword.)
template <class F>
void ForEachDirective(const TDeclDirectives& D, F&& Each) {
  if (D.Overload) Each(std::string_view("overload"));
  switch (D.Binding) {
    case TBinding::Static: break;
    case TBinding::Virtual: Each(std::string_view(D.Override ? "override" : "virtual")); break;
    case TBinding::Dynamic: Each(std::string_view(D.Override ? "override" : "dynamic")); break;
    case TBinding::Message: {
      char Buf[24] = "message ";
      const char* End = std::to_chars(Buf + 8, Buf + sizeof Buf, D.Message).ptr;
      Each(std::string_view(Buf, static_cast<size_t>(End - Buf)));
      break;
    }
  }
  if (D.Abstract) Each(std::string_view("abstract"));
}

// Parts that few entries or members carry, kept apart from them behind one
// pointer (null while there are none), copied with their owner.
template <class T>
class TDeclBox {
 public:
  TDeclBox() = default;
  TDeclBox(const TDeclBox& B) : P(B.P ? Make(*B.P) : nullptr) {}
  TDeclBox(TDeclBox&& B) noexcept : P(std::exchange(B.P, nullptr)) {}
  TDeclBox& operator=(const TDeclBox& B) {
    if (this != &B) {
      T* Copy = B.P ? Make(*B.P) : nullptr;
      Drop();
      P = Copy;
    }
    return *this;
  }
  TDeclBox& operator=(TDeclBox&& B) noexcept {
    if (this != &B) {
      Drop();
      P = std::exchange(B.P, nullptr);
    }
    return *this;
  }
  ~TDeclBox() { Drop(); }

  // The parts; the empty parts while there are none.
  const T& Get() const { return P ? *P : None(); }
  // The empty parts, shared by all boxes of T that hold none.
  static const T& None() {
    static const T Empty;
    return Empty;
  }
  // The same to fill in, made when first asked for.
  T& Set() {
    if (!P) P = Make();
    return *P;
  }

 private:
  // The parts in memory of the outline (DeclMemory.h).
  template <class... A>
  static T* Make(A&&... Args) {
    void* Mem = AllocateDeclMemory(sizeof(T));
    try {
      return new (Mem) T(std::forward<A>(Args)...);
    } catch (...) {
      ReleaseDeclMemory(Mem, sizeof(T));
      throw;
    }
  }
  void Drop() noexcept {
    if (!P) return;
    P->~T();
    ReleaseDeclMemory(P, sizeof(T));
    P = nullptr;
  }

  T* P = nullptr;
};

// What only properties carry (most members are fields and methods): kept
// apart, so that a member takes half the room it would.
struct TDeclPropertyParts {
  TDeclList<TDeclParam> IndexParams;  // array properties: [A: T; ...]
  TDeclString ReadAccess, WriteAccess, StoredAccess;
  std::optional<int32_t> Index;
  // The default by the property's type: as the listing writes it ("False",
  // "taLeftJustify", "[fsBold]"; empty: none) and as JSON.
  TDeclString Default, DefaultJson;
};

// Whether a dispinterface property may be read and written.
enum class TDispAccess : uint8_t { ReadWrite, ReadOnly, WriteOnly };

struct TDeclMember {
  uint32_t Offset = 0;
  TDeclDirectives Directives;  // methods, constructors, destructors of classes and objects
  TMemberKind Kind = TMemberKind::Field;
  // Members of classes and objects: the section the member stands in (the
  // others None); VisibilityBits the stored bits when they are Unknown.
  TVisibility Visibility = TVisibility::None;
  uint8_t VisibilityBits = 0;
  // Properties: nodefault (a default of the ancestor's declaration taken
  // away), and "; default" after the class's default array property.
  bool NoDefault = false;
  bool DefaultProperty = false;
  // Dispinterface properties: their dispatch number and access, kept in the
  // member itself (such properties have no other parts).
  bool HasDispId = false;
  TDispAccess DispAccess = TDispAccess::ReadWrite;
  int32_t DispIdNumber = 0;
  TDeclString Name;
  TDeclText Type;                      // fields and properties
  TDeclBox<TDeclRoutine> RoutineBox;   // methods, constructors, destructors (see Routine)
  TDeclBox<TDeclPropertyParts> Parts;  // properties (see Property)

  // A method's parameters, result and calling convention; the empty routine
  // (not Known) for a member that has none.
  const TDeclRoutine& Routine() const { return RoutineBox.Get(); }
  TDeclRoutine& SetRoutine() { return RoutineBox.Set(); }
  // A property's parts; the empty parts for a member that has none.
  const TDeclPropertyParts& Property() const { return Parts.Get(); }
  // The same to fill in, made when first asked for.
  TDeclPropertyParts& SetProperty() { return Parts.Set(); }
  static const TDeclPropertyParts& NoParts() { return TDeclBox<TDeclPropertyParts>::None(); }
  // A dispinterface property's dispatch number; none for other members.
  std::optional<int32_t> DispId() const { return HasDispId ? std::optional<int32_t>(DispIdNumber) : std::nullopt; }
  // "readonly" / "writeonly"; empty for other members.
  std::string_view Access() const {
    return DispAccess == TDispAccess::ReadOnly ? "readonly" : DispAccess == TDispAccess::WriteOnly ? "writeonly" : "";
  }
};

// The members of a class or object in runs of one visibility, in file
// order: the sections of its source. Each(Visibility, Bits, First, Last)
// for the members [First, Last); members without a section (records,
// interfaces) form runs of None.
template <class F>
void ForEachVisibilityRun(const TDeclList<TDeclMember>& Ms, F&& Each) {
  for (size_t I = 0; I < Ms.size();) {
    size_t J = I + 1;
    while (J < Ms.size() && Ms[J].Visibility == Ms[I].Visibility && Ms[J].VisibilityBits == Ms[I].VisibilityBits) ++J;
    Each(Ms[I].Visibility, Ms[I].VisibilityBits, I, J);
    I = J;
  }
}

// How a constant's value is kept for the JSON (TDeclEntry::ValueJson).
enum class TDeclValueForm : uint8_t {
  None,   // no value
  Json,   // the decoded value as flat JSON text
  Float,  // the same, a float: the listing's text goes beside it ("valueText")
  Bytes,  // not decoded: the bytes, hexadecimal
};

// A constant's or resource string's value (TDeclEntry::Value, ValueJson).
struct TDeclValueParts {
  TDeclText Value;
  TDeclString ValueJson;
};

// What few entries carry (names of imported types, enumerations,
// interfaces, absolute variables, exports).
struct TDeclEntryParts {
  TDeclString TypeUnit;             // the unit Type comes from when it is an imported name
  TDeclList<TDeclString> Values;  // enumerations: the names in order
  TDeclString Guid;                 // interfaces
  TDeclString AbsoluteTarget;       // absolute variables: what they stand on
  TDeclString ExportTarget;         // exports: the routine exported
  uint32_t ExportIndex = 0;
  // Routines: the DLL and entry an external routine is bound to (empty:
  // none), and the local variables the unit keeps of it (name and type).
  TDeclString ExternalDll, ExternalName;
  TDeclList<TDeclParam> Locals;
};

// The unit's own blocks of code that a source writes as sections, not
// routines: the routine named after the unit and "Finalization".
enum class TUnitPart : uint8_t { None, Initialization, Finalization };

struct TDeclEntry {
  TDeclKind Kind = TDeclKind::Type;
  TDeclTypeKind TypeKind = TDeclTypeKind::None;  // types only
  bool Typed = false;                // a typed constant
  TDeclValueForm ValueForm = TDeclValueForm::None;
  bool Absolute = false;
  bool SystemProc = false;           // a routine the compiler provides
  TUnitPart Part = TUnitPart::None;  // routines: initialization or finalization
  uint32_t Offset = 0;
  int32_t DataSize = -1;             // typed constants, resource strings: bytes in the data block
  TDeclString Name;

  // Types: the definition (for record-like kinds its head line: "class(TBase)").
  // Constants, variables and resource strings: their type.
  TDeclText Type;
  TDeclList<TDeclMember> Members;  // records, objects, classes, interfaces

  // A routine's parts (routines and procedural types) or a value's
  // (constants and resource strings): no entry has both, so they share
  // their room; made when first set.
  std::variant<std::monostate, TDeclRoutine, TDeclValueParts> Detail;
  TDeclBox<TDeclEntryParts> Parts;

  // Routines and procedural types: parameters, result, calling convention;
  // the empty routine (not Known) for other entries.
  const TDeclRoutine& Routine() const {
    const auto* R = std::get_if<TDeclRoutine>(&Detail);
    return R ? *R : TDeclBox<TDeclRoutine>::None();
  }
  TDeclRoutine& SetRoutine() {
    auto* R = std::get_if<TDeclRoutine>(&Detail);
    return R ? *R : Detail.emplace<TDeclRoutine>();
  }
  // Constants (typed or not) and resource strings: the value as the listing
  // writes it (empty for a typed constant or resource string not decoded),
  // and as ValueForm says.
  const TDeclText& Value() const { return ValueParts().Value; }
  const TDeclString& ValueJson() const { return ValueParts().ValueJson; }
  TDeclValueParts& SetValue() {
    auto* V = std::get_if<TDeclValueParts>(&Detail);
    return V ? *V : Detail.emplace<TDeclValueParts>();
  }

  const TDeclEntryParts& More() const { return Parts.Get(); }
  TDeclEntryParts& SetMore() { return Parts.Set(); }
  // The parts one at a time (empty where the entry has none).
  const TDeclString& TypeUnit() const { return More().TypeUnit; }
  const TDeclList<TDeclString>& Values() const { return More().Values; }
  const TDeclString& Guid() const { return More().Guid; }
  const TDeclString& AbsoluteTarget() const { return More().AbsoluteTarget; }
  const TDeclString& ExportTarget() const { return More().ExportTarget; }
  const TDeclString& ExternalDll() const { return More().ExternalDll; }
  const TDeclString& ExternalName() const { return More().ExternalName; }
  const TDeclList<TDeclParam>& Locals() const { return More().Locals; }
  uint32_t ExportIndex() const { return More().ExportIndex; }

 private:
  const TDeclValueParts& ValueParts() const {
    const auto* V = std::get_if<TDeclValueParts>(&Detail);
    return V ? *V : TDeclBox<TDeclValueParts>::None();
  }
};

// Consecutive entries of one kind (procedures and functions form one block).
struct TDeclBlock {
  TDeclKind Kind = TDeclKind::Type;
  TDeclList<TDeclEntry> Entries;
};

struct TDeclSection {
  TDeclList<TDeclBlock> Blocks;
  size_t EntryCount() const;
};

// The parts of an outline built in an arena of its own (OwnArena) lie in
// it (DeclMemory.h), active while the outline is built and while it goes: a
// part moved out of it must not outlive it; copies (of the outline or of
// its parts) made at other times lie on the heap.
struct TDeclOutline {
  TDeclOutline() = default;
  TDeclOutline(const TDeclOutline& O);  // the copy's parts on the heap
  TDeclOutline(TDeclOutline&& O) noexcept = default;
  TDeclOutline& operator=(const TDeclOutline& O);
  TDeclOutline& operator=(TDeclOutline&& O) noexcept;
  ~TDeclOutline();

  // The arena its parts were made in; null for an outline made otherwise.
  std::unique_ptr<TDeclArena> Memory;
  std::string UnitName;
  int32_t Version = 0;
  TDeclSection Interface, Implementation;
  // The uses clauses in their stored order (without System and SysInit,
  // which no source names), and the resource files linked in ({$R name}).
  std::vector<std::string> InterfaceUses, ImplementationUses, Resources;

  // Lets go of the outline at once, its arena's blocks and all, without
  // taking its parts apart one by one: for an outline built in an arena of
  // its own and not changed since (all its parts lie in the arena; a part
  // added on the heap would be lost). Any other outline goes as it always
  // does. Leaves the outline empty.
  void DropAsBuilt() noexcept;

 private:
  // Lets go of the sections, with the outline's arena active (or, for an
  // outline of none, the one active now: a builder's result).
  void Release() noexcept;
};

// A type whose members the listing writes between its head and "end" (and
// whose JSON has "members", however few).
inline bool IsRecordLike(const TDeclEntry& E) { return E.Kind == TDeclKind::Type && IsRecordLike(E.TypeKind); }

// "(A: Integer; var B: TDigit)" between Open and Close; nothing for none.
void AppendParams(TDeclText& T, const TDeclList<TDeclParam>& Ps, std::string_view Open, std::string_view Close);
void AppendParams(TPlainLine& T, const TDeclList<TDeclParam>& Ps, std::string_view Open, std::string_view Close);
// What follows a routine's name (or a procedural type's keyword):
// "(A: Integer; var B: TDigit): Integer of object; stdcall".
void WriteSignature(TDeclText& T, const TDeclRoutine& R);
void WriteSignature(TPlainLine& T, const TDeclRoutine& R);

// Builds the outline of a loaded unit; the unit may be released afterwards.
TDeclOutline BuildDeclOutline(const TUnit& U);

struct TDeclOutlineOptions {
  // False: the texts come without their spans (TDeclText::KeepSpans), for
  // writers that do not mark runs (plain text, JSON); saves an allocation
  // for nearly every type reference.
  bool KeepSpans = true;
  // True: each entry and member carries its kind, name and offset only (a
  // type also its TypeKind and members, a routine whether it is a
  // function): no texts, values or parameters. What a name index takes, at
  // a fraction of the cost; the entries, their order and sections are those
  // of the whole outline.
  bool NamesOnly = false;
  // True: the outline's parts in an arena of its own (DeclMemory.h), made
  // and let go at a fraction of the cost, for more memory while it lives
  // (the room of its blocks, what the building left unused): for outlines
  // written and let go at once (the JSON of a run over many files).
  bool OwnArena = false;
  // The types of the units the unit uses (a library of them, UsedUnits.h):
  // values of those types are decoded by them. Null: by what the unit
  // itself says.
  TUsedTypes* Used = nullptr;
};
TDeclOutline BuildDeclOutline(const TUnit& U, const TDeclOutlineOptions& Options);

// "type", "const", "resourcestring", "var", "threadvar", "procedure",
// "function", "label", "exports".
std::string_view DeclKindName(TDeclKind K);
// "field", "method", "constructor", "destructor", "property".
std::string_view MemberKindName(TMemberKind K);
// "value", "var", "const", "out".
std::string_view ParamModeName(TParamMode M);

