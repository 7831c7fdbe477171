// The code listing of a unit: every routine that owns a piece of the data
// block, its machine code disassembled, the places the fixup table names,
// and the code-line table's line markers with the source lines beside them.
// Plain strings and numbers, so a routine's listing outlives the unit.
//
// Routines are the procedures the fixup table's block starts gave a piece
// (TProcDecl::MemOfs set): procedures, functions, methods, constructors,
// destructors, nested routines, the unit's initialization and finalization.
// They are listed in the order of their pieces in the data block.
//
// Two shapes: TCodeLister walks a loaded unit and disassembles one routine
// at a time (memory stays bounded by the largest routine, for huge units and
// for writers that stream); BuildCodeListing gives every routine at once.
//
// Texts are UTF-8: names and string literals are read as Windows-1252 (the
// rule of the other writers), source lines as UTF-8 when they are, else as
// Windows-1252.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TUnit;
class TProcDecl;

enum class TCodeItemKind : uint8_t { Insn, Data };

// One instruction or one piece of data; the items of a routine tile its
// piece in offset order. The item's text ("call System.@LStrAsg", "dd @3",
// "db 'Hello', 0") is kept in its routine's Text (TCodeRoutine::ItemText):
// one block for all of them, so that a routine of many items costs few
// allocations and little memory.
struct TCodeItem {
  uint32_t Offset = 0;  // from the routine's first byte
  uint32_t Size = 0;
  TCodeItemKind Kind = TCodeItemKind::Insn;
  uint32_t TextStart = 0;
  uint32_t TextSize = 0;
};

// What a name in an item's text refers to (TCodeSpan).
enum class TCodeRefKind : uint8_t {
  Label,       // a label of the same routine ("@3"): Target is the offset of the item it stands at
  Routine,     // a routine of the unit ("call Helper", the routine itself): Target is its index in
               // the listing (TCodeLister), DeclOffset its declaration's
  Decl,        // another declaration of the unit ("[Form1]", "TypeInfo(TItem)", the class "TForm1"):
               // DeclOffset is its record's file offset
  Import,      // a name of another unit or of a DLL ("System.@LStrAsg"): nothing of this file
  Unresolved,  // a declaration number the unit does not resolve ("#12")
};

// The declaration offset of a span that names none.
inline constexpr uint32_t NoCodeDecl = UINT32_MAX;

// Where a name stands in a routine's Text and what it refers to. The
// formatter's hooks record it as they write the name; the addend after it
// ("+$4", "-$4C") is not part of it. DeclOffset is the declarations
// outline's anchor of the declaration (the file offset of its tag byte;
// class tables give the class's type declaration); declarations the outline
// does not list (compiler-made ones, "#4") keep their own offset.
struct TCodeSpan {
  uint32_t Start = 0;  // in TCodeRoutine::Text
  uint16_t Len = 0;
  TCodeRefKind Kind = TCodeRefKind::Unresolved;
  uint32_t Target = 0;
  uint32_t DeclOffset = NoCodeDecl;
};

// A place the fixup table names inside the piece.
struct TCodeFixup {
  uint32_t Offset = 0;  // from the routine's first byte
  uint8_t Size = 4;     // bytes the fixup fills; 0 for a block start
  uint8_t Kind = 0;     // the kind byte as the file stores it
  std::string KindName; // "absolute", "relative", ... (CodeFixupKinds.h)
  std::string Target;   // the declaration it refers to: "System.@LStrAsg", "Form1"
};

// A line marker of the code-line table.
struct TCodeLine {
  uint32_t Offset = 0;  // from the routine's first byte
  int32_t Line = 0;     // line in its source file
  std::string File;     // the source file when it is not the unit's own (an include file)
  bool HasSource = false;
  std::string Source;   // the source line itself, when the file was found
};

// A place inside the routine that a jump, a call or a reference goes to.
struct TCodeLabel {
  uint32_t Offset = 0;  // from the routine's first byte; an item starts there
  std::string Name;     // "@1", "@2", ... in offset order
};

enum class TRoutineRole : uint8_t {
  Routine,         // a procedure, function, method, constructor or destructor
  Nested,          // a routine declared inside another one
  Initialization,  // the unit's initialization (named after the unit)
  Finalization,    // the unit's finalization
};

// What a routine is, known without disassembling it (for outlines, filters
// and headings).
struct TCodeRoutineHead {
  std::string Name;          // as stored; methods "TForm1.Button1Click"
  std::string QualifiedName; // nested routines after their owners: "TList.Error.ReturnAddr"
  TRoutineRole Role = TRoutineRole::Routine;
  uint32_t Offset = 0;       // file offset of the routine's first byte
  uint32_t Size = 0;         // the routine's code size as the file gives it
  uint32_t BlockOffset = 0;  // offset of the first byte in the data block
  uint32_t PieceSize = 0;    // bytes listed: Size, cut at the end of the block
  uint32_t DeclOffset = 0;   // file offset of the routine's record (its tag byte)
  int32_t DeclIndex = 0;     // declaration number
  int64_t OwnerDeclOffset = -1;  // nested routines: DeclOffset of the routine they are declared in
};

struct TCodeRoutine {
  TCodeRoutineHead Head;
  std::vector<uint8_t> Bytes;  // the piece
  std::vector<TCodeItem> Items;
  std::string Text;            // the texts of the items, one after the other
  std::vector<TCodeSpan> Spans;  // the names in Text, in text order
  std::vector<TCodeFixup> Fixups;
  std::vector<TCodeLine> Lines;
  std::vector<TCodeLabel> Labels;

  std::string_view ItemText(const TCodeItem& It) const {
    return std::string_view(Text).substr(It.TextStart, It.TextSize);
  }
  // The names in item It's text (their Start counts from Text's first byte).
  std::span<const TCodeSpan> ItemSpans(const TCodeItem& It) const;
};

struct TCodeOptions {
  // Where the unit's source file is looked for besides the unit's own
  // folder: its bare name (any letter case) in this folder.
  std::string SourceDir;
  // A source file given outright, taken for the unit's first source entry
  // (tests pair units with sources stored under other names).
  std::string SourceFile;
  // False: no source lines are looked for.
  bool ReadSources = true;
};

// The architecture of a format version's code.
enum class TCodeArch : uint8_t {
  X86_32,   // 32-bit x86: disassembled
  Unknown,  // shown as data
};
TCodeArch CodeArchOf(int32_t Version);

class TCodeSourceFiles;
struct TSourceCheck;
struct TSourceFileRec;
struct TCodeLineRec;
class TTargetNames;
class TPieceDisassembler;
struct TPieceInput;
struct TPieceFixup;

// Walks a loaded unit's routines and disassembles them one at a time. The
// unit must outlive the lister; what Head and Routine give outlives both.
// The lister keeps a few words per routine (a unit of a hundred thousand
// routines adds a few megabytes); heads and listings are made when asked for.
class TCodeLister {
 public:
  TCodeLister(const TUnit& U, const TCodeOptions& Options = {});
  ~TCodeLister();
  TCodeLister(const TCodeLister&) = delete;
  TCodeLister& operator=(const TCodeLister&) = delete;

  TCodeArch Arch() const { return ArchOfUnit; }
  size_t RoutineCount() const;
  // What routine I is, without disassembling it.
  TCodeRoutineHead Head(size_t I) const;
  std::vector<TCodeRoutineHead> AllHeads() const;
  // The source file found for the unit's first source entry; empty: none.
  std::string SourcePath() const;
  // Whether that file is the one the unit was compiled from (made once);
  // when it is not, the listing gives the line numbers of the unit's own
  // file without their texts.
  const TSourceCheck& SourceCheck() const;

  // The routine whose declaration record starts at DeclOffset (the
  // declarations outline's anchor of its entry), if it has code.
  std::optional<size_t> RoutineAtDecl(uint32_t DeclOffset) const;

  // Routine I with its piece disassembled.
  TCodeRoutine Routine(size_t I) const;
  // Every routine in turn. Visit sees each in the same TCodeRoutine, which
  // the next one replaces (its buffers kept: memory stays that of the
  // largest routine).
  void ForEach(const std::function<void(const TCodeRoutine&)>& Visit) const;
  // The routines whose heads Want takes, in turn; the others are not
  // disassembled. Returns how many were visited.
  size_t ForEach(const std::function<bool(const TCodeRoutineHead&)>& Want,
                 const std::function<void(const TCodeRoutine&)>& Visit) const;

 private:
  struct TPlaced;
  const TUnit& Unit;
  TCodeOptions Options;
  TCodeArch ArchOfUnit;
  std::vector<TPlaced> Placed;  // in data-block order
  std::unique_ptr<TCodeSourceFiles> Sources;
  std::unique_ptr<TTargetNames> Names;
  // Made the first time a routine is disassembled.
  mutable std::unique_ptr<TPieceDisassembler> Disasm;
  mutable std::vector<uint32_t> FixupOrder;  // the fixup table by offset
  // The piece being disassembled and its fixups' places in the table.
  mutable std::unique_ptr<TPieceInput> Input;
  mutable std::vector<uint32_t> InPieceFixups;
  mutable std::unique_ptr<TSourceCheck> Check;
  struct TRoutineWalk;
  void FindRoutines();
  void WalkDecls(TRoutineWalk& W);
  // P placed once, as nested in Owner when it is given.
  void PlaceRoutine(TRoutineWalk& W, const TProcDecl* P, const TProcDecl* Owner);
  // Routine I into R, whatever R held before.
  void Fill(size_t I, TCodeRoutine& R) const;
  // The disassembler and the fixup table's order, made the first time.
  void StartDisassembling() const;
  // The places in the table of the fixups in [Start, End) into InPieceFixups.
  void FixupsIn(uint32_t Start, uint32_t End) const;
  // Those fixups as the disassembler takes them, for the piece of Self at
  // Start.
  void PieceFixups(const TProcDecl* Self, uint32_t Start, std::vector<TPieceFixup>& Out) const;
  // R's line markers, from the code-line table's entries in [Start, End).
  void LineMarkers(uint32_t Start, uint32_t End, TCodeRoutine& R) const;
  // The index of placed routine P; -1 when P has no piece.
  int64_t IndexOf(const TProcDecl* P) const;
  // The source file (its entry) and line of a code-line table entry.
  const TSourceFileRec* LineOf(const TCodeLineRec& L, int32_t& Line) const;
};

// Every routine of the unit at once.
std::vector<TCodeRoutine> BuildCodeListing(const TUnit& U, const TCodeOptions& Options = {});

// Finds routines by name: the stored name or the qualified name, letter case
// ignored ("tform1.button1click" finds "TForm1.Button1Click").
bool RoutineNameMatches(const TCodeRoutineHead& H, std::string_view Name);

// Finds routines by a pattern, letter case ignored: the qualified name, the
// stored name, or the bare name (the part after the last dot: "Button1Click"
// finds "TForm1.Button1Click"), each matched whole; `*` stands for any run
// of characters (dots too), `?` for one character. Without `*` and `?` the
// same as RoutineNameMatches, or a bare name.
bool RoutinePatternMatches(const TCodeRoutineHead& H, std::string_view Pattern);

// "routine", "nested", "initialization", "finalization".
std::string_view RoutineRoleName(TRoutineRole R);
