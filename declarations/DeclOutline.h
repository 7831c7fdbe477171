// The declarations outline of a unit: what the unit declares, grouped into
// its interface and implementation sections, as plain strings and numbers.
//
// BuildDeclOutline walks a loaded unit once and copies out everything the
// listing, the JSON and an outline view need, so the outline outlives the
// unit. Tree: sections -> blocks (runs of one kind in file order) ->
// entries (declarations) -> members (fields, methods, properties).
//
// Texts are UTF-8; the unit's 8-bit names are read as Windows-1252, control
// characters written as ^X (the rule of the summary). Every entry and member
// keeps the file offset of the tag byte its record began with; that offset
// is also its anchor: a type reference to a declaration of the same unit
// carries the anchor of that declaration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TUnit;

// What a piece of listing text is: the listing writer hands text to its sink
// in runs of one kind.
enum class TDeclRunKind : uint8_t {
  Plain,
  Keyword,  // reserved words: type, record, procedure, array, of, ...
  Comment,  // {...}: values shown as bytes, unresolved numbers, notes
  NameDef,  // the name an entry or member declares (anchor: its offset)
  TypeRef,  // a type name (anchor: the declaration it names, or none)
};

inline constexpr int64_t NoAnchor = -1;

// A marked stretch of a text.
struct TDeclSpan {
  uint32_t Start = 0;
  uint32_t Len = 0;
  TDeclRunKind Kind = TDeclRunKind::Plain;
  int64_t Anchor = NoAnchor;
};

// A type or value as text, with its keywords, comments and type names marked.
struct TDeclText {
  std::string Text;
  std::vector<TDeclSpan> Spans;  // in text order, not overlapping
  // False: the text alone is wanted; no spans are kept.
  bool KeepSpans = true;

  bool Empty() const { return Text.empty(); }
  void Add(TDeclRunKind Kind, std::string_view S, int64_t Anchor = NoAnchor);
  void Plain(std::string_view S) { Text += S; }
  void Keyword(std::string_view S) { Add(TDeclRunKind::Keyword, S); }
  void Comment(std::string_view S) { Add(TDeclRunKind::Comment, S); }
  void Append(const TDeclText& T);
};

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

enum class TMemberKind : uint8_t { Field, Method, Constructor, Destructor, Property };
enum class TParamMode : uint8_t { Value, Var };

struct TDeclParam {
  std::string Name;
  TParamMode Mode = TParamMode::Value;
  TDeclText Type;
};

// Parameters, result and calling convention of a routine, a method or a
// procedural type.
struct TDeclRoutine {
  bool Known = false;  // false: the file gives no parameter list for it
  std::vector<TDeclParam> Params;
  bool IsFunction = false;
  TDeclText Result;
  uint8_t CallConv = 0;  // 0 register, 1 cdecl, 2 pascal, 3 stdcall, 4 safecall
  bool OfObject = false;
};

struct TDeclMember {
  TMemberKind Kind = TMemberKind::Field;
  std::string Name;
  uint32_t Offset = 0;
  TDeclText Type;        // fields and properties
  TDeclRoutine Routine;  // methods, constructors, destructors
  // Properties.
  std::vector<TDeclParam> IndexParams;  // array properties: [A: T; ...]
  std::string ReadAccess, WriteAccess, StoredAccess;
  std::optional<int32_t> Index, Default;
  std::optional<int32_t> DispId;  // dispinterface properties
  std::string Access;             // dispinterface properties: "readonly" / "writeonly"
};

struct TDeclEntry {
  TDeclKind Kind = TDeclKind::Type;
  std::string Name;
  uint32_t Offset = 0;

  // Types: "enum", "subrange", "set", "pointer", "array", "string", "record",
  // "object", "class", "classRef", "interface", "dispinterface", "procType",
  // "file", "float", "variant", "void", "alias" (a name for a type declared
  // elsewhere) or "unknown".
  std::string TypeKind;
  // Types: the definition (for record-like kinds its head line: "class(TBase)").
  // Constants, variables and resource strings: their type.
  TDeclText Type;
  std::string TypeUnit;              // the unit Type comes from when it is an imported name
  std::vector<std::string> Values;  // enumerations: the names in order
  std::vector<TDeclMember> Members;  // records, objects, classes, interfaces
  std::string Guid;                  // interfaces
  TDeclRoutine Routine;              // routines and procedural types

  bool Typed = false;                // a typed constant
  std::optional<int64_t> OrdValue;   // ordinal constants
  TDeclText Value;                   // constants: the value as text
  std::string ValueBytes;            // constants stored as bytes: hexadecimal
  int32_t DataSize = -1;             // typed constants, resource strings: bytes in the data block
  bool Absolute = false;
  std::string AbsoluteTarget;
  std::string ExportTarget;          // exports: the routine exported
  uint32_t ExportIndex = 0;
  bool SystemProc = false;           // a routine the compiler provides
};

// Consecutive entries of one kind (procedures and functions form one block).
struct TDeclBlock {
  TDeclKind Kind = TDeclKind::Type;
  std::vector<TDeclEntry> Entries;
};

struct TDeclSection {
  std::vector<TDeclBlock> Blocks;
  size_t EntryCount() const;
};

struct TDeclOutline {
  std::string UnitName;
  int32_t Version = 0;
  TDeclSection Interface, Implementation;
};

// "(A: Integer; var B: TDigit)" between Open and Close; nothing for none.
void AppendParams(TDeclText& T, const std::vector<TDeclParam>& Ps, std::string_view Open, std::string_view Close);

// Builds the outline of a loaded unit; the unit may be released afterwards.
TDeclOutline BuildDeclOutline(const TUnit& U);

struct TDeclOutlineOptions {
  // False: the texts come without their spans (TDeclText::KeepSpans), for
  // writers that do not mark runs (plain text, JSON); saves an allocation
  // for nearly every type reference.
  bool KeepSpans = true;
};
TDeclOutline BuildDeclOutline(const TUnit& U, const TDeclOutlineOptions& Options);

// A unit name as UTF-8 text (Windows-1252, control characters as ^X).
std::string DeclDisplayText(std::string_view Bytes);

// "type", "const", "resourcestring", "var", "threadvar", "procedure",
// "function", "label", "exports".
std::string_view DeclKindName(TDeclKind K);
// "field", "method", "constructor", "destructor", "property".
std::string_view MemberKindName(TMemberKind K);
// "register", "cdecl", "pascal", "stdcall", "safecall".
std::string_view DeclCallConvName(uint8_t CC);
