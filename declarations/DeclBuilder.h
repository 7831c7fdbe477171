// The builder of the declarations outline, shared by the files that hold its
// parts (not used outside declarations/):
//
//   DeclEntries.cpp    sections, blocks and entries; where each entry goes
//   DeclMembers.cpp    the members of record-like types
//   DeclTypeText.cpp   type references and type definitions as text
//   DeclRoutines.cpp   parameters, results and calling conventions
//   DeclValueText.cpp  values as text: ordinals, bounds, bytes, GUIDs, and
//                      the decoded values of constants (DeclValues.h)
//   DeclEntryMaker.cpp single entries without the whole outline
//   DeclNames.cpp      entries and members by name, kind and offset alone
//
// The builder reads a loaded unit and copies out what the outline holds.
// Besides these files, only the value decoders (DeclValues.cpp) and the
// member facts (DeclMemberFacts.cpp) read the unit's records in
// declarations/; the writers (listing, skeleton, JSON) read the outline.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclOutline.h"
#include "DeclValues.h"

// Longest text an anonymous type is written out to inline; a longer one
// ends in "...". Keeps the outline linear in the unit's size whatever the
// nesting and sharing of anonymous types.
inline constexpr size_t InlineCap = 400;
// Deepest nesting of anonymous types written out inline.
inline constexpr int InlineDepth = 12;

// Names the compiler made (".Hidden") and records without a name are left
// out of the outline.
inline bool IsCompilerName(std::string_view N) { return N.empty() || N[0] == '.'; }
inline uint32_t OffsetOf(const TUnit& U, TPos P) { return P ? PosOffset(P, U.Image.get()) : 0; }
inline uint8_t TagAt(TPos P) { return P ? *P : 0; }
// "{#N}": a type or declaration number that resolves to nothing.
inline std::string Unresolved(uint64_t N) { return "{#" + std::to_string(N) + "}"; }

// Bytes as upper-case hexadecimal pairs, Sep between them.
std::string HexBytes(const uint8_t* P, size_t N, std::string_view Sep);
// The 16 bytes of a GUID as "{D1-D2-D3-D4a-D4b}".
std::string GuidText(const uint8_t* B);
// An ordinal value as a range of the kind Tag writes it: False/True, a
// character, or a number.
std::string OrdinalByKind(uint8_t Tag, int64_t V);

class TOutlineBuilder {
 public:
  TOutlineBuilder(const TUnit& U, bool KeepSpans, bool NamesOnly = false, TUsedTypes* Used = nullptr)
      : U(U), KeepSpans(KeepSpans), NamesOnly(NamesOnly), Used(Used) {}
  TDeclOutline Build();
  // Entries made one at a time (TDeclEntryMaker, DeclEntryMaker.cpp):
  // PrepareEntries once, then EntryOf for each declaration wanted; false
  // when the outline leaves D out.
  void PrepareEntries() { FindOwners(); }
  bool EntryOf(TNameDecl* D, TDeclEntry& E);
  // Forgets the type texts made so far once there are more than Keep of
  // them (between entries, when none is in use): entries made one at a
  // time keep the builder's memory bounded.
  void TrimTexts(size_t Keep);

 private:
  const TUnit& U;
  const bool KeepSpans;
  const bool NamesOnly;
  TUsedTypes* const Used;  // the types of the units U uses, when at hand
  TDeclText NewText() const {
    TDeclText T;
    T.SetKeepSpans(KeepSpans);
    return T;
  }

  // Entries (DeclEntries.cpp).
  void FindOwners();
  void FindMethodHeads();
  struct TMethodHead {
    TRoutineHead Head = TRoutineHead::Plain;
    bool ClassMethod = false;
    bool Abstract = false;
  };
  std::unordered_map<int32_t, TMethodHead> MethodHeads;
  void UnitParts(TDeclOutline& O) const;
  void RoutineParts(const TProcDecl& P, std::string_view Name, TDeclEntry& E);  // by declaration number
  // The block kind of the entry D makes (procedures and functions share
  // one), or none for a declaration the outline leaves out.
  std::optional<TDeclKind> EntryKind(const TNameDecl* D) const;
  bool ToImplementation(const TNameDecl* D, std::string_view Name) const;
  void MakeEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E);
  void TypeEntry(const TTypeDecl* T, TDeclEntry& E);
  // The name declaration number DeclNo stands for, or "{#N}".
  TDeclString DeclName(uint32_t DeclNo, bool LastPartOnly);

  // Names only (DeclNames.cpp): the entry without texts, and the kind of a
  // type's definition as WriteStructure answers it.
  void NameEntry(TNameDecl* D, TDeclKind Kind, TDeclEntry& E);
  TDeclTypeKind TypeKindOf(const TBaseDef* D) const;

  // Members (DeclMembers.cpp) of the record-like type Owner.
  void Members(const TRecBaseDef& Owner, TDeclList<TDeclMember>& Out);
  static TMemberKind MethodKind(const TMethodDecl& Me);
  void MethodMember(const TMethodDecl& Me, std::string_view Name, TDeclMember& M);
  void DispPropMember(const TDispPropDecl& P, TDeclMember& M);
  void PropertyMember(const TPropDecl& P, const TRecBaseDef& Owner, TDeclMember& M);
  // Visibility and directives as the member's flags (and the routine of a
  // method) record them.
  void MemberFacts(const TNameDecl& D, const TRecBaseDef& Owner, TDeclMember& M);

  // Type text (DeclTypeText.cpp).
  // Type number -> the shown type declaration that type references link
  // to: the first one whose name the definition carries, else the first one
  // naming it. (Which of several names for one type was declared first in
  // the source the file does not say: each of them shows the structure.)
  // By type number (index N - 1, as the unit's type table): the owning
  // declaration, null where none; its name and anchor are made when a
  // reference is first written.
  std::vector<const TTypeDecl*> Owners;
  const TTypeDecl* OwnerOf(uint32_t N) const { return N >= 1 && N <= Owners.size() ? Owners[N - 1] : nullptr; }
  // The text of each type number once made, and which are being made (an
  // anonymous type met inside itself prints as its number).
  std::unordered_map<uint32_t, TDeclText> Texts;
  // "{#N}" for type numbers that resolve to nothing, or are met inside
  // themselves or too deep.
  std::unordered_map<uint32_t, TDeclText> Numbers;
  std::vector<const TDeclText*> Made;  // by type number: its text in Texts, once made
  std::vector<uint8_t> Making;         // by type number: 1 while its text is being made

  // The text of a type reference; valid as long as the builder.
  const TDeclText& TypeRef(uint32_t N, int Depth = 0);
  const TDeclText& NumberText(uint32_t N);
  TDeclText MakeTypeRef(uint32_t N, const TBaseDef* D, int Depth);
  // The name a definition carries, or empty when it is anonymous.
  std::string_view DefName(const TBaseDef* D) const;
  // The used unit an imported type number comes from, or empty.
  std::string UnitOf(uint32_t N) const;

  // Where a definition is written out: its type number, the nesting depth
  // of anonymous types, and whether it stands inline (an anonymous type
  // inside another text: long lists cut, members written up to "end") or as
  // the definition of a type declaration.
  struct TTypeSite {
    uint32_t N;
    int Depth;
    bool Inline;
  };
  // The definition D as text, and its kind when Kind is given (then it is a
  // declaration's own definition; otherwise it stands inline).
  TDeclText Structure(uint32_t N, const TBaseDef* D, int Depth, TDeclTypeKind* Kind);
  // One function per kind of definition: each writes it into T and
  // answers its kind.
  TDeclTypeKind WriteStructure(TDeclText& T, const TBaseDef* D, const TTypeSite& S);
  TDeclTypeKind EnumType(TDeclText& T, const TEnumDef& E, const TTypeSite& S);
  TDeclTypeKind FileType(TDeclText& T, const TFileDef& F, const TTypeSite& S);
  TDeclTypeKind ArrayType(TDeclText& T, const TArrayDef& A, const TTypeSite& S);
  TDeclTypeKind ProcType(TDeclText& T, const TProcTypeDef& P, const TTypeSite& S);
  TDeclTypeKind ClassType(TDeclText& T, const TClassDef& C, const TTypeSite& S);
  TDeclTypeKind InterfaceType(TDeclText& T, const TInterfaceDef& I, const TTypeSite& S);
  // "Keyword of Base" (sets, class references, strings and dynamic arrays).
  TDeclTypeKind KeywordOf(TDeclText& T, std::string_view Keyword, uint32_t BaseN, const TTypeSite& S,
                          TDeclTypeKind Kind);
  // After a record-like head: "(TParent, IIntf)" when there is any.
  void ParentList(TDeclText& T, uint32_t ParentN, const std::vector<uint32_t>& IntfPairs, int Depth);
  // What ends a record-like definition: inline, its fields and "end".
  TDeclTypeKind RecordBody(TDeclText& T, const TRecBaseDef& R, const TTypeSite& S, TDeclTypeKind Kind);
  TDeclText InlineMembers(TNameDecl* Chain, int Depth);

  // Routines (DeclRoutines.cpp).
  // The parameters at the head of Chain, with the defaults that follow them
  // there or, when the parameters end it, at the head of After.
  void Params(TNameDecl* Chain, TNameDecl* After, TDeclList<TDeclParam>& Out, bool SkipSelf, int Depth);
  void ParamDefault(const TConstDecl& C, TDeclParam& P);
  // A parameter's type as a source writes it: none for an untyped one,
  // "array of T" (or "array of const") for an open array.
  TDeclText ParamType(uint32_t TypeN, int Depth);
  // An array type of the empty range 0..-1 (open and dynamic arrays), or null.
  const TArrayDef* OpenArrayOf(uint32_t TypeN) const;
  bool IsOpenRange(uint32_t IndexType) const;
  void SetResult(TDeclRoutine& R, uint32_t ResultType, int Depth);
  // A result type that is none or void makes a procedure.
  bool ReturnsValue(uint32_t ResultType) const;
  TDeclRoutine ProcRoutine(const TProcDecl* P, bool SkipSelf, int Depth);
  TDeclRoutine ProcTypeRoutine(const TProcTypeDef* P, int Depth);

  // Values (DeclValueText.cpp).
  // V as a value of type TypeN: an enumeration's name where it has one.
  std::string OrdinalText(uint32_t TypeN, int64_t V, bool* Named);
  // "Lo..Hi" of a range, its values written by BaseN when that names them.
  void RangeText(TDeclText& T, const TRangeBaseDef& R, uint32_t BaseN, uint8_t Tag);
  // The value of a constant (Block null) or of a typed constant or
  // resource string (Block: its bytes in the data block, BlockLen of them;
  // null when it has none): the listing's text and the JSON form.
  void SetValue(const TValue& V, TDeclEntry& E, const uint8_t* Block, size_t BlockLen);
};
