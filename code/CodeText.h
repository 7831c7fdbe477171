// The code listing as text: each routine headed by its name, then its
// items, one a line: file offset, bytes, instruction or data; labels on lines
// of their own; the code-line table's markers with the source line beside
// them.
//
//   TForm1.Button1Click
//     ; 28: begin
//     00000410  53                       push ebx
//     00000411  8B D8                    mov ebx, eax
//     ...
//   @1:
//     00000430  E9 00 00 00 00           jmp System.@HandleFinally
//
// Items of more than eight bytes go on with their further bytes on the
// lines below, so that every byte of the piece is shown.
//
// The writer hands its text to a sink in runs of one kind, as the
// declarations listing does: a plain-text sink makes the command line's
// text, a rich-text sink can make names links. A run that names something
// carries its anchor: a label the offset of its item in the routine, a
// routine or another declaration of the unit the file offset of its
// declaration's record (the declarations outline's anchor); the sink's Name
// gets the whole span, with the routine's index in the listing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "CodeListing.h"

// What a piece of listing text is.
enum class TCodeRunKind : uint8_t {
  Plain,       // blanks, mnemonics, operands and data between the names
  Heading,     // a routine's heading line (anchor: its DeclOffset)
  LabelDef,    // "@1:" where a label stands (anchor: its item offset)
  Marker,      // a line marker "; 28", "; Demo.inc 28" (anchor: the line number)
  Source,      // the source line after its marker
  Offset,      // an item's file offset (anchor: its item offset)
  Bytes,       // an item's bytes
  LabelRef,    // a label an item names (anchor: the item offset it stands at)
  RoutineRef,  // a routine of the unit (anchor: its DeclOffset)
  DeclRef,     // another declaration of the unit (anchor: its DeclOffset)
  ImportRef,   // a name of another unit or a DLL (no anchor)
  Unresolved,  // a declaration number the unit does not resolve (no anchor)
};

inline constexpr int64_t NoCodeAnchor = -1;

// The run kind and anchor of a name.
TCodeRunKind CodeRunKindOf(TCodeRefKind K);
int64_t CodeAnchorOf(const TCodeSpan& S);

class TCodeSink {
 public:
  virtual ~TCodeSink() = default;
  virtual void Run(TCodeRunKind Kind, std::string_view Text, int64_t Anchor) = 0;
  virtual void EndLine() = 0;
  // A name in an item's text (Ref.Target: the routine's index for a
  // routine); by default a run of its kind with its anchor.
  virtual void Name(std::string_view Text, const TCodeSpan& Ref) { Run(CodeRunKindOf(Ref.Kind), Text, CodeAnchorOf(Ref)); }
  // Before the lines that belong to item Index of R: its label, the line
  // markers at it, its own lines. The lines up to the next call are the
  // item's (for a view that marks an item's bytes).
  virtual void BeginItem(const TCodeRoutine& R, size_t Index) {
    (void)R;
    (void)Index;
  }
};

// Collects the listing as plain text, one '\n' per line.
class TCodeTextSink : public TCodeSink {
 public:
  explicit TCodeTextSink(std::string& Out) : Out(Out) {}
  void Run(TCodeRunKind, std::string_view Text, int64_t) override { Out += Text; }
  void Name(std::string_view Text, const TCodeSpan&) override { Out += Text; }
  void EndLine() override { Out += '\n'; }
  std::string& Out;
};

struct TCodeTextOptions {
  // The heading line of a routine; empty: its qualified name, and the role
  // of the unit's initialization and finalization.
  std::function<std::string(const TCodeRoutineHead&)> Heading;
  bool Bytes = true;   // false: no bytes column
};

// Writes routine R through Sink.
void WriteRoutineListing(const TCodeRoutine& R, TCodeSink& Sink, const TCodeTextOptions& Options = {});

// Appends routine R to Out as plain text.
void WriteRoutineText(const TCodeRoutine& R, std::string& Out, const TCodeTextOptions& Options = {});

// The default heading of a routine.
std::string DefaultRoutineHeading(const TCodeRoutineHead& H);
