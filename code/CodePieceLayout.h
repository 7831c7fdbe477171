// The layout of one piece of the data block: which bytes are instructions
// and which are data, and of which shape, found as CodeDisasm.h describes
// (the flow of the code, the data it shows, what no flow reaches). One byte
// of state per byte of the piece; the 32-bit fixup fields indexed so that a
// run of bytes without one is known in one step. Nothing here writes text:
// the formatter of CodeDisasm.cpp reads the layout and writes the items.
#pragma once

#include <Zydis/Zydis.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "CodeDisasm.h"
#include "CodeInsnShapes.h"

// What a byte is; the shape of a data item sits in the upper bits of its
// first byte.
enum TByteState : uint8_t { Free = 0, InsnHead = 1, InsnBody = 2, DataHead = 3, DataBody = 4 };
constexpr uint8_t StateMask = 0x07;

enum class TShape : uint8_t {
  Bytes,      // db $8B, $C0
  Zeros,      // db 0, 0, 0
  Text,       // db 'text', 0 (left-over printable bytes)
  DWord,      // dd $18
  FixupCell,  // dd Target
  AnsiChars,  // db 'text', 0 (the characters of a long string literal)
  WideChars,  // dw 'text', 0
  ShortStr,   // db 5, 'Hello'
  Sized,      // dw / dq / dt: the operand of a memory reference into the piece
  PChar,      // db 'text', 0 (zero-terminated)
};

inline uint32_t ReadDWord(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

// The 32-bit x86 decoder (made once), which the layout and the formatter
// share.
const ZydisDecoder& X86Decoder();

class TPieceLayout {
 public:
  TPieceLayout();
  // Starts on the piece Input (which must outlive the work on it).
  void Reset(const TPieceInput& Input);
  // Divides the piece into items: every byte ends in exactly one.
  void Analyse();
  // The places labels go, in offset order: the targets an item starts at
  // (the piece's start aside).
  const std::vector<uint32_t>& LabelPlaces();

 protected:
  const TPieceInput* In = nullptr;
  const uint8_t* B = nullptr;
  uint32_t N = 0;
  std::vector<uint8_t> State;
  std::vector<uint8_t> FieldStarts;  // 1 where a 32-bit fixup field starts

  // The instruction at O; valid until the next Decode.
  TDecoded Decode(uint32_t O) { return Shapes.Decode(B + O, N - O); }
  // The whole of what Decode gave last.
  const TInsn& Whole(const TDecoded& D) { return Shapes.Whole(D); }
  // The visible operands of D into Ops (ZYDIS_MAX_OPERAND_COUNT_VISIBLE).
  bool Operands(const TInsn& D, ZydisDecodedOperand* Ops) const {
    return ZYAN_SUCCESS(ZydisDecoderDecodeOperands(&Dec, &D.Ctx, &D.I, Ops, D.I.operand_count_visible));
  }
  uint8_t StateAt(uint32_t O) const { return State[O] & StateMask; }
  TShape ShapeAt(uint32_t O) const { return static_cast<TShape>(State[O] >> 3); }
  bool NoFieldStartIn(uint32_t From, uint32_t End) const { return FieldsBefore[End] == FieldsBefore[From]; }
  // The fixup whose 32-bit field starts at O, if any.
  const TPieceFixup* FieldAt(uint32_t O) const {
    if (O < N) return FieldStarts[O] ? Fields[FieldsBefore[O]] : nullptr;
    return FieldPastEnd(O);
  }
  // True when no 32-bit fixup field has a byte in [O, O + Len).
  bool NoFieldIn(uint32_t O, uint32_t Len) const {
    const uint32_t End = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(O) + Len, N));
    const uint32_t From = O >= 3 ? O - 3 : 0;
    return From >= End || NoFieldStartIn(From, End);
  }
  bool InPiece(int64_t T) const { return T >= 0 && T < static_cast<int64_t>(N); }
  // Where the item that starts at O ends: the next byte that is no body
  // byte (InsnBody 2 and DataBody 4 have bit 1 or 2 and not bit 0 set),
  // eight states at a step.
  uint32_t ItemEnd(uint32_t O) const {
    static_assert(InsnBody == 2 && DataBody == 4 && (InsnHead & 1) && (DataHead & 1) && Free == 0);
    uint32_t E = O + 1;
    if constexpr (std::endian::native == std::endian::little) {
      constexpr uint64_t Lows = 0x0101010101010101u;
      for (; E + 8 <= N; E += 8) {
        uint64_t W;
        std::memcpy(&W, State.data() + E, 8);
        if (const uint64_t NotBody = (W | ~((W >> 1) | (W >> 2))) & Lows)
          return E + static_cast<uint32_t>(std::countr_zero(NotBody)) / 8;
      }
    }
    while (E < N && (StateAt(E) == InsnBody || StateAt(E) == DataBody)) ++E;
    return E;
  }

 private:
  const ZydisDecoder& Dec = X86Decoder();
  TInsnShapes& Shapes;
  // FieldsBefore[O]: how many 32-bit fixup fields start before O (so that
  // a run of bytes without one is known in one step).
  std::vector<uint32_t> FieldsBefore;
  std::vector<const TPieceFixup*> Fields;  // the first 32-bit fixup at each place one starts, in order
  std::vector<uint32_t> Stack;             // code entries to follow
  std::vector<std::pair<uint32_t, bool>> Candidates;  // places an instruction takes the address of; by a push
  std::vector<bool> Tried;                 // places a left-over cell pointed to, looked at as code
  std::vector<uint32_t> JumpTables;
  std::vector<std::pair<uint32_t, uint32_t>> MemData;     // offset, size
  std::vector<std::pair<uint32_t, uint32_t>> TableElems;  // a table indexed by a register: start, element size
  std::vector<uint32_t> Targets;           // places a label may go

  const TPieceFixup* FieldPastEnd(uint32_t O) const;
  void IndexFields();
  bool AllFree(uint32_t O, uint64_t Len) const;
  bool FieldsFitInsn(uint32_t O, const TInsnFacts& D) const {
    const uint32_t End = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(O) + D.Length, N));
    const uint32_t From = O >= 3 ? O - 3 : 0;
    return From >= End || NoFieldStartIn(From, End) || FieldsAreOperands(O, D);
  }
  // Whether every fixup field among the instruction's bytes (there is one)
  // is one of its 32-bit displacement or immediate fields.
  bool FieldsAreOperands(uint32_t O, const TInsnFacts& D) const;
  int32_t Addend(const TPieceFixup& F) const {
    return F.Offset + 4 <= N ? static_cast<int32_t>(ReadDWord(B + F.Offset)) : 0;
  }
  void PlaceInsn(uint32_t O, uint32_t Len);
  // The first free byte from O on (N when none), eight states at a step.
  uint32_t NextFree(uint32_t O) const;
  void PlaceData(uint32_t O, uint32_t Len, TShape Shape) {
    State[O] = static_cast<uint8_t>(DataHead | (static_cast<uint8_t>(Shape) << 3));
    for (uint32_t I = 1; I < Len; ++I) State[O + I] = DataBody;
  }
  void Target(int64_t T) {
    if (InPiece(T)) Targets.push_back(static_cast<uint32_t>(T));
  }

  void Flow();
  void FollowOperands(uint32_t O, const TDecoded& D);
  void FollowMemory(uint32_t O, const TDecoded& D, int64_t T);
  // Whether FollowOperands has anything to follow: a branch, or a 32-bit
  // field a fixup may fill.
  static bool MayFollow(const TInsnFacts& I) {
    return I.Imm[0].Relative || I.Imm[0].Size == 32 || I.Imm[1].Size == 32 || I.Disp.Size == 32;
  }
  void ExceptTable(uint32_t O);
  void JumpTable(uint32_t O);
  void PlaceMemData(uint32_t O, uint32_t Size);
  bool PlaceLiteral(uint32_t T);
  bool PlaceLongOrWide(uint32_t T);
  bool PlaceText(uint32_t T);
  bool CellTargets();
  bool DeadCode();
  void PlaceRest();
  void PlaceTableOrBytes(uint32_t A, uint32_t E);
  void PlaceLeftBytes(uint32_t A, uint32_t E);
};
