// The disassembler of one piece of the data block: 32-bit x86 machine code
// with the data the compiler puts among it, read with the fixups that fall
// inside the piece. Nothing outside the piece is read.
//
// How a piece is divided into instructions and data:
// 1. Code is found by following the flow from the first byte: fall-through,
//    jumps and calls inside the piece, the code after the jump to a runtime
//    helper that calls back (try..finally, try..except), the handlers named
//    in an exception table and in a jump table, and the places inside the
//    piece whose address a push takes (the handler of a try block). An
//    instruction is taken only where it decodes inside the piece, its bytes
//    are still free, and every fixup among its bytes is exactly one of its
//    32-bit displacement or immediate fields.
// 2. Data is what the fixups and the instructions show to be data: string
//    literals (long, wide, short and zero-terminated) whose address an
//    instruction takes, the operands of memory references into the piece
//    (constants of `fld`, sets), tables read through a register, jump
//    tables, exception tables, and fixup fields that no instruction covers.
// 3. What no flow reaches: a fixup cell there that points into the piece is
//    one more place to look for code; a run of free bytes that instructions
//    tile exactly, none starting with a zero byte and every fixup among them
//    an operand, is code the compiler left where no flow goes (a `ret` after
//    an assembler routine's last jump, statements after an exit).
// 4. Whatever is left is data: zero bytes of alignment, text, bytes.
// Every byte of the piece ends in exactly one item.
// The layout (CodePieceLayout) finds the items; the formatter (CodeDisasm.cpp)
// writes their texts, naming the fixups' targets and the labels.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CodeFixupKinds.h"
#include "CodeListing.h"

// What a fixup's target is for the flow of the code that jumps there.
enum class TFlowHelper : uint8_t {
  None,
  CallsBack,   // jumped to at the end of a try block; the code after the jump runs
  ExceptTable, // jumped to with an exception table right after the jump
};

// The flow role of a runtime helper, by its name ("@HandleFinally").
TFlowHelper FlowHelperOf(std::string_view Name);

struct TPieceFixup {
  uint32_t Offset = 0;      // in the piece
  uint8_t Kind = 0;         // as stored
  TFixupKindInfo Info;
  std::string_view Target;  // the target's name, shown where the field is (kept by the caller)
  // What the name refers to (the span written with it; Start and Len unused).
  TCodeSpan Ref;
  bool Self = false;        // the target is the piece's own routine: the addend is an offset in it
  int32_t Rebase = 0;       // subtracted from the addend before it is shown
  TFlowHelper Helper = TFlowHelper::None;
};

struct TPieceInput {
  std::span<const uint8_t> Bytes;
  std::vector<TPieceFixup> Fixups;  // in offset order
  std::string SelfName;             // the routine's name, for references to itself
  uint32_t SelfIndex = 0;           // the routine's index in its listing (spans that name it)
  uint32_t SelfDecl = NoCodeDecl;   // its declaration's file offset
  TCodeArch Arch = TCodeArch::X86_32;
};

// Fills Items, Text, Spans, Labels and Fixups of Out from the piece.
void DisassemblePiece(const TPieceInput& In, TCodeRoutine& Out);

class TPieceWork;

// The same, with buffers kept from one piece to the next: a listing keeps
// one, so that routine after routine costs no new memory.
class TPieceDisassembler {
 public:
  TPieceDisassembler();
  ~TPieceDisassembler();
  TPieceDisassembler(const TPieceDisassembler&) = delete;
  TPieceDisassembler& operator=(const TPieceDisassembler&) = delete;
  void Run(const TPieceInput& In, TCodeRoutine& Out);

 private:
  std::unique_ptr<TPieceWork> Work;
};

// Bytes as a Pascal string literal: 'It''s'#13#10'ok' (Windows-1252 read as
// UTF-8 text); '' for none.
std::string PascalLiteral(std::span<const uint8_t> Bytes);
