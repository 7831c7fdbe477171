// The disassembler of one piece: the flow of its code, the data among it,
// and the texts of both (Zydis decoder and Intel formatter; the names of the
// fixups go in through the formatter's hooks).
#include "CodeDisasm.h"

#include <Zycore/String.h>
#include <Zydis/Zydis.h>

#include <algorithm>
#include <bit>
#include <array>
#include <cstring>
#include <memory>

#include "CodeInsnShapes.h"
#include "CodeTextCache.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"

namespace {

// ---------------------------------------------------------------------------
// Runtime helpers whose flow the code around a jump or a call depends on.
// The try..finally and try..except blocks jump to the first three at the end
// of their protected part; the helper runs the code right after the jump.
// The handlers of `on E: X do` follow the jump to the fourth as a table.

struct THelperName {
  std::string_view Name;
  TFlowHelper Role;
};

constexpr THelperName HelperNames[] = {
    {"@HandleFinally", TFlowHelper::CallsBack},
    {"@HandleAnyException", TFlowHelper::CallsBack},
    {"@HandleAutoException", TFlowHelper::CallsBack},
    {"@HandleOnException", TFlowHelper::ExceptTable},
};

// ---------------------------------------------------------------------------
// Texts of numbers and data.

void AppendHex(std::string& Out, uint64_t V) {
  static const char Digits[] = "0123456789ABCDEF";
  char Buf[20];
  int N = 0;
  do {
    Buf[N++] = Digits[V & 0xF];
    V >>= 4;
  } while (V && N < 16);
  Out += '$';
  while (N > 0) Out += Buf[--N];
}

// "+$1C", "-$4C", nothing for 0.
void AppendSignedHex(std::string& Out, int64_t V) {
  if (V == 0) return;
  Out += V < 0 ? '-' : '+';
  AppendHex(Out, V < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(V) : static_cast<uint64_t>(V));
}

uint32_t ReadDWord(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

// Code points as a Pascal literal: printable ones quoted, the others #N.
template <class Next>
std::string LiteralOf(size_t Count, Next CodeAt) {
  return PascalLiteral(Count, [&](size_t I) {
    const uint32_t C = CodeAt(I);
    const bool Printable =
        C >= 0x20 && C != 0x7F && !(C >= 0x80 && C <= 0x9F) && !(C >= 0xD800 && C <= 0xDFFF) && C <= 0x10FFFF;
    return std::pair<bool, uint32_t>(Printable, C);
  });
}

uint32_t Cp1252(uint8_t B) {
  if (B < 0x20 || B == 0x7F) return B;
  return DisplayChar(B).Code;
}

// A byte a text in the source language may hold: printable Windows-1252,
// tab, line feed, carriage return.
bool TextByte(uint8_t B) { return (B >= 0x20 && B != 0x7F) || B == 9 || B == 10 || B == 13; }

// A byte of a word: a digit, a blank, an ASCII letter, or a byte from 0xC0
// up, where the 8-bit code pages of the sources keep their letters
// (Windows-1252's accented ones, the Cyrillic, Greek and Arabic alphabets of
// the others), so that a literal of another language counts as text.
bool WordChar(uint8_t B) {
  return (B >= 'a' && B <= 'z') || (B >= 'A' && B <= 'Z') || (B >= '0' && B <= '9') || B == ' ' || B >= 0xC0;
}

// ---------------------------------------------------------------------------
// The decoder and the formatter, made once; the formatter's hooks reach the
// piece being written through the user data of each call.

ZydisFormatterFunc OrigPrintImm = nullptr;
ZydisFormatterFunc OrigPrintDisp = nullptr;
ZydisFormatterFunc OrigPrintAbs = nullptr;
ZydisFormatterFunc OrigPrintRel = nullptr;
ZydisFormatterFunc OrigFormatMem = nullptr;

ZyanStatus HookPrintImm(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C);
ZyanStatus HookPrintDisp(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C);
ZyanStatus HookPrintAbs(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C);
ZyanStatus HookPrintRel(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C);
ZyanStatus HookFormatMem(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C);

void SetHook(ZydisFormatter& Fmt, ZydisFormatterFunction Type, ZydisFormatterFunc Hook, ZydisFormatterFunc& Orig) {
  const void* P = reinterpret_cast<const void*>(Hook);
  ZydisFormatterSetHook(&Fmt, Type, &P);
  Orig = reinterpret_cast<ZydisFormatterFunc>(const_cast<void*>(P));
}

// Intel syntax with `$` for hexadecimal numbers. The memory size ("dword
// ptr") is shown where the instruction needs it; Fmt leaves it out where a
// register operand gives it, FmtSized always writes it (HookFormatMem picks).
struct TX86Engine {
  ZydisDecoder Dec{};
  ZydisFormatter Fmt{};
  ZydisFormatter FmtSized{};
  static void Init(ZydisFormatter& F, bool Sized) {
    ZydisFormatterInit(&F, ZYDIS_FORMATTER_STYLE_INTEL);
    ZydisFormatterSetProperty(&F, ZYDIS_FORMATTER_PROP_HEX_PREFIX, reinterpret_cast<ZyanUPointer>("$"));
    ZydisFormatterSetProperty(&F, ZYDIS_FORMATTER_PROP_FORCE_SIZE, Sized);
    SetHook(F, ZYDIS_FORMATTER_FUNC_PRINT_IMM, HookPrintImm, OrigPrintImm);
    SetHook(F, ZYDIS_FORMATTER_FUNC_PRINT_DISP, HookPrintDisp, OrigPrintDisp);
    SetHook(F, ZYDIS_FORMATTER_FUNC_PRINT_ADDRESS_ABS, HookPrintAbs, OrigPrintAbs);
    SetHook(F, ZYDIS_FORMATTER_FUNC_PRINT_ADDRESS_REL, HookPrintRel, OrigPrintRel);
    SetHook(F, ZYDIS_FORMATTER_FUNC_FORMAT_OPERAND_MEM, HookFormatMem, OrigFormatMem);
  }
  TX86Engine() {
    ZydisDecoderInit(&Dec, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
    Init(Fmt, false);
    Init(FmtSized, true);
  }
};

const TX86Engine& Engine() {
  static const TX86Engine E;
  return E;
}

// What the instructions seen so far decoded and formatted to. The decoder
// gives an instruction of a shape seen before from its table
// (TInsnShapes); one that names nothing formats the same wherever it
// stands (TInsnTextCache). The same few hundred instructions make most of a
// unit's code, and of the next unit's: the tables are kept for the thread's
// life, made once (about two megabytes), and hold only what follows
// from the bytes alone.
struct TKnownInsns {
  TInsnShapes Shapes{Engine().Dec};
  TInsnTextCache Texts;
  // Texts of instructions whose fields fixups fill, the names cut out
  // (TPieceWork::NamedText), by their bytes and the places of the fixups.
  TInsnTextCache Named{13, 128u << 10};
  // Texts of branches to places of the piece, by their bytes without the
  // distance: the text around the label or offset (TPieceWork::BranchText).
  TInsnTextCache Branches{12, 64u << 10};
};

TKnownInsns& KnownInsns() {
  thread_local TKnownInsns K;
  return K;
}

// Texts of instructions made from kept ones are at most this long; longer
// ones are formatted anew (the formatter's buffer decides what fits).
constexpr size_t MaxInsnText = 448;

// ---------------------------------------------------------------------------
// The piece: one byte of state per byte of code, the fixups in offset order.

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

}  // namespace

// The work of one piece, kept between pieces so that its buffers are made
// once for a whole listing.
class TPieceWork {
 public:
  // Starts on the piece Input (which must outlive the work on it).
  void Reset(const TPieceInput& Input);
  void Analyse();
  void Emit(TCodeRoutine& Out);

  // Formatter hooks: the text of an operand that a fixup or a label names,
  // into Scratch; At is where the formatter's output stands, so that the
  // spans of the names land where Scratch will.
  bool ImmText(const ZydisFormatterContext& C, uint32_t At);
  bool RelText(const ZydisFormatterContext& C, uint32_t At);
  bool DispText(const ZydisFormatterContext& C, bool Plus, uint32_t At);
  bool DispHasFixup(const ZydisFormatterContext& C) const;
  const ZydisFormatter& SizedFormatter() const { return X86.FmtSized; }
  std::string Scratch;

 private:
  const TPieceInput* In = nullptr;
  const TX86Engine& X86 = Engine();
  TKnownInsns& Known = KnownInsns();
  const uint8_t* B = nullptr;
  uint32_t N = 0;
  std::vector<uint8_t> State;
  std::vector<uint8_t> FieldStarts;  // 1 where a 32-bit fixup field starts
  // FieldsBefore[O]: how many 32-bit fixup fields start before O (so that
  // a run of bytes without one is known in one step).
  std::vector<uint32_t> FieldsBefore;
  std::vector<const TPieceFixup*> Fields;  // the first 32-bit fixup at each place one starts, in order
  bool NoFieldStartIn(uint32_t From, uint32_t End) const { return FieldsBefore[End] == FieldsBefore[From]; }
  std::vector<uint32_t> Stack;         // code entries to follow
  std::vector<std::pair<uint32_t, bool>> Candidates;  // places an instruction takes the address of; by a push
  std::vector<bool> Tried;             // places a left-over cell pointed to, looked at as code
  std::vector<uint32_t> JumpTables;
  std::vector<std::pair<uint32_t, uint32_t>> MemData;  // offset, size
  std::vector<std::pair<uint32_t, uint32_t>> TableElems;  // a table indexed by a register: start, element size
  std::vector<uint32_t> Targets;       // places a label may go
  std::vector<std::pair<uint32_t, std::string>> Labels;  // final, in offset order
  TInsnTextCache& Texts = Known.Texts;  // instructions that name nothing, by their bytes
  TInsnTextCache& Named = Known.Named;
  TInsnTextCache& Branches = Known.Branches;
  // The names the hooks wrote into the instruction being formatted: where
  // (in its text), how long, and what they were made of; Contextual when a
  // hook wrote what depends on the place of the instruction (a label).
  struct THole {
    uint32_t At = 0, Len = 0;
    uint8_t Field = 0;  // the fixup's field: its offset in the instruction
    bool Plus = false;  // written after a '+'
    int32_t Value = 0;  // the field's value
  };
  std::vector<THole> Holes;
  bool Contextual = false;
  bool SpansDropped = false;
  // Where the label (or offset) of a branch without a fixup went in the
  // instruction's text, and how long it is; Len -1: none written.
  uint32_t BranchAt = 0;
  int32_t BranchLen = -1;
  // The key of a branch's bytes without its distance, at P (Len bytes).
  static std::array<uint8_t, 16> BranchKey(const uint8_t* P, uint32_t Len, const TInsnFacts& D);
  // The text of the branch at O (Len bytes, decoded as D) made from a kept
  // one; false when none is kept.
  bool BranchText(uint32_t O, uint32_t Len, const TInsnFacts& D, std::string& Out);
  void KeepBranchText(uint32_t O, uint32_t Len, const TInsnFacts& D, std::string_view Text);
  // The text of the instruction at O (Len bytes, fields at the places Extra
  // has) made from a kept one; false when none is kept.
  bool NamedText(uint32_t O, uint32_t Len, uint16_t Extra, std::string& Out);
  void KeepNamedText(uint32_t O, uint32_t Len, uint16_t Extra, std::string_view Text);
  uint32_t CurOfs = 0;                 // the instruction being written
  // Where the names written go (the routine's Spans), and the place in the
  // routine's Text where the instruction being formatted starts.
  std::vector<TCodeSpan>* Spans = nullptr;
  uint32_t InsnStart = 0;

  // The instruction at O; valid until the next Decode.
  TDecoded Decode(uint32_t O) { return Known.Shapes.Decode(B + O, N - O); }
  // The whole of what Decode gave last.
  const TInsn& Whole(const TDecoded& D) { return Known.Shapes.Whole(D); }
  // The visible operands of D into Ops (ZYDIS_MAX_OPERAND_COUNT_VISIBLE).
  bool Operands(const TInsn& D, ZydisDecodedOperand* Ops) const {
    return ZYAN_SUCCESS(
        ZydisDecoderDecodeOperands(&X86.Dec, &D.Ctx, &D.I, Ops, D.I.operand_count_visible));
  }
  uint8_t StateAt(uint32_t O) const { return State[O] & StateMask; }
  TShape ShapeAt(uint32_t O) const { return static_cast<TShape>(State[O] >> 3); }
  bool AllFree(uint32_t O, uint64_t Len) const {
    if (O + Len > N) return false;
    if constexpr (std::endian::native == std::endian::little) {
      // An instruction's bytes: up to eight states in one step.
      if (Len <= 8 && O + 8 <= N) {
        uint64_t W;
        std::memcpy(&W, State.data() + O, 8);
        return (W & (Len == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * Len)) - 1)) == 0;
      }
    }
    for (uint64_t I = 0; I < Len; ++I)
      if (State[O + I] != Free) return false;
    return true;
  }
  // The fixup whose 32-bit field starts at O, if any.
  const TPieceFixup* FieldAt(uint32_t O) const;
  // True when no 32-bit fixup field has a byte in [O, O + Len).
  bool NoFieldIn(uint32_t O, uint32_t Len) const;
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
  bool InPiece(int64_t T) const { return T >= 0 && T < static_cast<int64_t>(N); }

  void PlaceInsn(uint32_t O, uint32_t Len) {
    if constexpr (std::endian::native == std::endian::little) {
      // Up to eight states in one step (the bytes after the instruction kept).
      if (Len >= 1 && Len <= 8 && O + 8 <= N) {
        constexpr uint64_t Bodies = 0x0202020202020202u;
        static_assert(InsnBody == 2);
        const uint64_t Mask = Len == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * Len)) - 1;
        uint64_t W;
        std::memcpy(&W, State.data() + O, 8);
        W = (W & ~Mask) | (((Bodies & ~uint64_t{0xFF}) | InsnHead) & Mask);
        std::memcpy(State.data() + O, &W, 8);
        return;
      }
    }
    State[O] = InsnHead;
    for (uint32_t I = 1; I < Len; ++I) State[O + I] = InsnBody;
  }
  // The first free byte from O on (N when none), eight states at a step.
  uint32_t NextFree(uint32_t O) const {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
      for (; O + 8 <= N; O += 8) {
        uint64_t W;
        std::memcpy(&W, State.data() + O, 8);
        if (const uint64_t Zero = (W - Ones) & ~W & Highs) return O + static_cast<uint32_t>(std::countr_zero(Zero)) / 8;
      }
    }
    while (O < N && State[O] != Free) ++O;
    return O;
  }
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
  void PlaceData(uint32_t O, uint32_t Len, TShape Shape) {
    State[O] = static_cast<uint8_t>(DataHead | (static_cast<uint8_t>(Shape) << 3));
    for (uint32_t I = 1; I < Len; ++I) State[O + I] = DataBody;
  }
  void Target(int64_t T) {
    if (InPiece(T)) Targets.push_back(static_cast<uint32_t>(T));
  }

  void Flow();
  void FollowOperands(uint32_t O, const TDecoded& D);
  // Whether FollowOperands has anything to follow: a branch, or a 32-bit
  // field a fixup may fill.
  static bool MayFollow(const TInsnFacts& I) {
    return I.Imm[0].Relative || I.Imm[0].Size == 32 || I.Imm[1].Size == 32 || I.Disp.Size == 32;
  }
  void ExceptTable(uint32_t O);
  void JumpTable(uint32_t O);
  void PlaceMemData(uint32_t O, uint32_t Size);
  bool PlaceLiteral(uint32_t T);
  bool CellTargets();
  bool DeadCode();
  void PlaceRest();
  void PlaceTableOrBytes(uint32_t A, uint32_t E);
  void PlaceLeftBytes(uint32_t A, uint32_t E);

  // The texts that name places append to Out; the span of each name is
  // recorded at Base + its place in Out.
  void Name(std::string& Out, uint32_t Base, std::string_view Text, const TCodeSpan& Ref);
  void SelfName(std::string& Out, uint32_t Base);
  void FixupText(const TPieceFixup& F, int64_t AddendValue, std::string& Out, uint32_t Base);
  void LabelOrOffset(int64_t T, std::string& Out, uint32_t Base);
  void DataText(uint32_t O, uint32_t Len, std::string& Out);
  // False when the instruction could not be formatted ("?").
  bool InsnText(uint32_t O, const TInsn& D, std::string& Out);
  // An operand counts from the instruction's address (a jump, a call).
  static bool Relative(const ZydisDecodedInstruction& I) {
    return (I.attributes & ZYDIS_ATTRIB_IS_RELATIVE) || I.raw.imm[0].is_relative || I.raw.imm[1].is_relative;
  }
};

void TPieceWork::Reset(const TPieceInput& Input) {
  In = &Input;
  B = Input.Bytes.data();
  N = static_cast<uint32_t>(Input.Bytes.size());
  State.assign(N, Free);
  FieldStarts.assign(N, 0);
  Fields.clear();
  for (const TPieceFixup& F : Input.Fixups)
    if (F.Info.Size == 4 && F.Offset < N && !FieldStarts[F.Offset]) {
      FieldStarts[F.Offset] = 1;
      Fields.push_back(&F);
    }
  // Filled run by run between the fields (the fixups come in offset order).
  FieldsBefore.resize(size_t{N} + 1);
  uint32_t From = 0;
  for (uint32_t K = 0; K < Fields.size(); ++K) {
    const uint32_t At = Fields[K]->Offset;
    if (At < From) {  // out of order: counted byte by byte
      FieldsBefore[0] = 0;
      for (uint32_t O = 0; O < N; ++O) FieldsBefore[O + 1] = FieldsBefore[O] + FieldStarts[O];
      From = N + 1;
      break;
    }
    std::fill(FieldsBefore.begin() + From, FieldsBefore.begin() + At + 1, K);
    From = At + 1;
  }
  if (From <= N) std::fill(FieldsBefore.begin() + From, FieldsBefore.end(), static_cast<uint32_t>(Fields.size()));
  Stack.clear();
  Candidates.clear();
  Tried.clear();
  JumpTables.clear();
  MemData.clear();
  TableElems.clear();
  Targets.clear();
  Labels.clear();
}

const TPieceFixup* TPieceWork::FieldAt(uint32_t O) const {
  if (O < N) return FieldStarts[O] ? Fields[FieldsBefore[O]] : nullptr;
  auto It = std::lower_bound(In->Fixups.begin(), In->Fixups.end(), O,
                             [](const TPieceFixup& F, uint32_t V) { return F.Offset < V; });
  for (; It != In->Fixups.end() && It->Offset == O; ++It)
    if (It->Info.Size == 4) return &*It;
  return nullptr;
}

bool TPieceWork::NoFieldIn(uint32_t O, uint32_t Len) const {
  const uint32_t End = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(O) + Len, N));
  const uint32_t From = O >= 3 ? O - 3 : 0;
  return From >= End || NoFieldStartIn(From, End);
}

// Every fixup field among the instruction's bytes must be one of its 32-bit
// displacement or immediate fields; otherwise the bytes are no instruction.
bool TPieceWork::FieldsAreOperands(uint32_t O, const TInsnFacts& D) const {
  const uint32_t Len = D.Length;
  const uint32_t End = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(O) + Len, N));
  const uint32_t From = O >= 3 ? O - 3 : 0;
  for (uint32_t F = From; F < End; ++F) {
    if (!FieldStarts[F]) continue;
    if (F < O || F + 4u > O + Len) return false;
    const uint32_t At = F - O;
    const bool Disp = D.Disp.Size == 32 && D.Disp.Offset == At;
    const bool Imm0 = D.Imm[0].Size == 32 && D.Imm[0].Offset == At;
    const bool Imm1 = D.Imm[1].Size == 32 && D.Imm[1].Offset == At;
    if (!Disp && !Imm0 && !Imm1) return false;
  }
  return true;
}

namespace {

bool EndsFlow(const TInsnFacts& I) {
  switch (I.Mnemonic) {
    case ZYDIS_MNEMONIC_RET:
    case ZYDIS_MNEMONIC_IRETD:
    case ZYDIS_MNEMONIC_IRET:
    case ZYDIS_MNEMONIC_JMP:
    case ZYDIS_MNEMONIC_UD2:
    case ZYDIS_MNEMONIC_HLT:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TPieceWork::Flow() {
  while (!Stack.empty()) {
    uint32_t O = Stack.back();
    Stack.pop_back();
    while (O < N && State[O] == Free) {
      const TDecoded D = Decode(O);
      if (!D || !AllFree(O, D->Length) || !FieldsFitInsn(O, *D.Facts)) break;
      PlaceInsn(O, D->Length);
      if (MayFollow(*D.Facts)) FollowOperands(O, D);
      if (EndsFlow(*D.Facts)) break;
      O += D->Length;
    }
  }
}

void TPieceWork::FollowOperands(uint32_t O, const TDecoded& D) {
  const TInsnFacts& I = *D.Facts;
  const uint32_t End = O + I.Length;
  // Branches: to a label, to the routine itself, to a runtime helper.
  if (I.Imm[0].Relative) {
    const TPieceFixup* F = I.Imm[0].Size == 32 ? FieldAt(O + I.Imm[0].Offset) : nullptr;
    if (!F) {
      const int64_t T = static_cast<int64_t>(End) + I.Distance;
      Target(T);
      if (InPiece(T)) Stack.push_back(static_cast<uint32_t>(T));
    } else if (F->Self) {
      const int64_t T = Addend(*F);
      Target(T);
      if (InPiece(T)) Stack.push_back(static_cast<uint32_t>(T));
    } else if (F->Helper == TFlowHelper::CallsBack && I.Mnemonic == ZYDIS_MNEMONIC_JMP) {
      Stack.push_back(End);
    } else if (F->Helper == TFlowHelper::ExceptTable && I.Mnemonic == ZYDIS_MNEMONIC_JMP) {
      ExceptTable(End);
    }
    return;
  }
  // Addresses of places in the piece taken as immediates.
  for (int K = 0; K < 2; ++K) {
    if (I.Imm[K].Size != 32) continue;
    const TPieceFixup* F = FieldAt(O + I.Imm[K].Offset);
    if (!F || !F->Self || F->Info.Use != TFixupUse::Absolute) continue;
    const int64_t T = Addend(*F);
    Target(T);
    if (InPiece(T)) Candidates.emplace_back(static_cast<uint32_t>(T), I.Mnemonic == ZYDIS_MNEMONIC_PUSH);
  }
  // Memory references into the piece: jump tables, constants, tables.
  if (I.Disp.Size != 32) return;
  const TPieceFixup* F = FieldAt(O + I.Disp.Offset);
  if (!F || !F->Self) return;
  const int64_t T = Addend(*F);
  Target(T);
  if (!InPiece(T)) return;
  ZydisDecodedOperand Ops[ZYDIS_MAX_OPERAND_COUNT_VISIBLE];
  const TInsn& Insn = Whole(D);
  if (!Operands(Insn, Ops)) return;
  for (uint8_t K = 0; K < Insn.I.operand_count_visible; ++K) {
    const ZydisDecodedOperand& Op = Ops[K];
    if (Op.type != ZYDIS_OPERAND_TYPE_MEMORY || !Op.mem.disp.has_displacement) continue;
    const bool Branch = I.Mnemonic == ZYDIS_MNEMONIC_JMP || I.Mnemonic == ZYDIS_MNEMONIC_CALL;
    const bool Indexed = Op.mem.base != ZYDIS_REGISTER_NONE || Op.mem.index != ZYDIS_REGISTER_NONE;
    if (Branch && Op.mem.index != ZYDIS_REGISTER_NONE && Op.mem.scale == 4)
      JumpTables.push_back(static_cast<uint32_t>(T));
    else if (!Indexed)
      MemData.emplace_back(static_cast<uint32_t>(T), Op.size / 8);
    else
      TableElems.emplace_back(static_cast<uint32_t>(T), Op.size / 8);
  }
}

// After the jump to the helper of `on E: X do`: the number of handlers, then
// for each the class it handles (0: every exception) and where it starts.
void TPieceWork::ExceptTable(uint32_t O) {
  if (!AllFree(O, 4) || !NoFieldIn(O, 4)) return;
  const uint32_t Count = ReadDWord(B + O);
  if (Count == 0 || Count > (N - O - 4) / 8) return;
  for (uint32_t I = 0; I < Count; ++I) {
    const uint32_t Cell = O + 4 + 8 * I;
    if (!AllFree(Cell, 8)) return;
    const TPieceFixup* Handler = FieldAt(Cell + 4);
    if (!Handler || !Handler->Self) return;
    if (!FieldAt(Cell) && !NoFieldIn(Cell, 4)) return;
  }
  PlaceData(O, 4, TShape::DWord);
  for (uint32_t I = 0; I < Count; ++I) {
    const uint32_t Cell = O + 4 + 8 * I;
    PlaceData(Cell, 4, FieldAt(Cell) ? TShape::FixupCell : TShape::DWord);
    PlaceData(Cell + 4, 4, TShape::FixupCell);
    const int64_t T = Addend(*FieldAt(Cell + 4));
    Target(T);
    if (InPiece(T)) Stack.push_back(static_cast<uint32_t>(T));
  }
}

// A table of addresses inside the piece, indexed by a `case` selector.
void TPieceWork::JumpTable(uint32_t O) {
  for (uint32_t Cell = O; Cell + 4 <= N && AllFree(Cell, 4); Cell += 4) {
    const TPieceFixup* F = FieldAt(Cell);
    if (!F || !F->Self || F->Info.Use != TFixupUse::Absolute) break;
    PlaceData(Cell, 4, TShape::FixupCell);
    const int64_t T = Addend(*F);
    Target(T);
    if (InPiece(T)) Stack.push_back(static_cast<uint32_t>(T));
  }
}

void TPieceWork::PlaceMemData(uint32_t O, uint32_t Size) {
  if (Size == 0 || Size > 16 || !AllFree(O, Size)) return;
  if (Size == 4 && FieldAt(O)) {
    PlaceData(O, 4, TShape::FixupCell);
    return;
  }
  if (!NoFieldIn(O, Size)) return;
  PlaceData(O, Size, Size == 4 ? TShape::DWord : Size == 1 ? TShape::Bytes : TShape::Sized);
}

// A string literal whose characters start at T: long (reference count -1,
// length, characters, 0), wide (byte length, characters, 0), zero-terminated
// text. Short strings (length byte, characters) only when every character is
// text.
bool TPieceWork::PlaceLiteral(uint32_t T) {
  if (State[T] != Free) return false;
  // Literals longer than this are not looked for: the search stays bounded.
  constexpr uint32_t MaxLiteral = 1u << 16;
  if (T >= 8) {
    const uint32_t Ref = ReadDWord(B + T - 8), Len = ReadDWord(B + T - 4);
    if (Ref == 0xFFFFFFFFu && Len < MaxLiteral && Len < N - T && B[T + Len] == 0 && AllFree(T - 8, 9ull + Len) &&
        NoFieldIn(T - 8, 9 + Len)) {
      PlaceData(T - 8, 4, TShape::DWord);
      PlaceData(T - 4, 4, TShape::DWord);
      PlaceData(T, Len + 1, TShape::AnsiChars);
      return true;
    }
  }
  if (T >= 4) {
    const uint32_t Len = ReadDWord(B + T - 4);
    if (Len % 2 == 0 && Len > 0 && Len < MaxLiteral && uint64_t(Len) + 2 <= N - T && B[T + Len] == 0 && B[T + Len + 1] == 0 &&
        AllFree(T - 4, 6ull + Len) && NoFieldIn(T - 4, 6 + Len)) {
      bool Text = true;
      for (uint32_t I = 0; I < Len && Text; I += 2) {
        const uint32_t C = uint32_t(B[T + I]) | uint32_t(B[T + I + 1]) << 8;
        Text = C != 0 && (C >= 0x20 || C == 9 || C == 10 || C == 13) && !(C >= 0xD800 && C <= 0xDFFF);
      }
      if (Text) {
        PlaceData(T - 4, 4, TShape::DWord);
        PlaceData(T, Len + 2, TShape::WideChars);
        return true;
      }
    }
  }
  // Zero-terminated text: mostly letters, digits and blanks.
  {
    uint32_t E = T;
    uint32_t Words = 0;
    while (E < N && E - T < MaxLiteral && B[E] != 0 && TextByte(B[E])) Words += WordChar(B[E++]);
    const uint32_t Len = E - T;
    if (E < N && B[E] == 0 && Len >= 2 && Words * 2 >= Len && AllFree(T, Len + 1ull) && NoFieldIn(T, Len + 1)) {
      PlaceData(T, Len + 1, TShape::PChar);
      return true;
    }
  }
  {
    const uint32_t Len = B[T];
    if (Len > 0 && Len < N - T && AllFree(T, Len + 1ull) && NoFieldIn(T, Len + 1)) {
      uint32_t Words = 0;
      bool Text = true;
      for (uint32_t I = 1; I <= Len && Text; ++I) {
        Text = TextByte(B[T + I]);
        Words += WordChar(B[T + I]);
      }
      if (Text && Words * 2 >= Len) {
        PlaceData(T, Len + 1, TShape::ShortStr);
        return true;
      }
    }
  }
  return false;
}

// Bytes no flow reached. A fixup field among them that points into the piece
// (a table of handlers) gives a place to look at as code. True when one was
// found.
bool TPieceWork::CellTargets() {
  bool More = false;
  for (uint32_t P = NextFree(0); P < N; P = NextFree(P + 1)) {
    const TPieceFixup* F = FieldAt(P);
    if (!F || !AllFree(P, 4) || !F->Self || F->Info.Use != TFixupUse::Absolute) continue;
    const int64_t T = Addend(*F);
    if (!InPiece(T) || State[T] != Free) continue;
    if (Tried.empty()) Tried.resize(N);
    if (Tried[static_cast<size_t>(T)]) continue;
    Tried[static_cast<size_t>(T)] = true;
    Target(T);
    Stack.push_back(static_cast<uint32_t>(T));
    More = true;
  }
  return More;
}

// Code the compiler left where no flow goes (a statement after an exit, the
// return an assembler routine ends with after its last jump): a run of free
// bytes is taken as code when instructions tile it exactly, none starts with
// a zero byte (the compiler never writes one there; text, alignment and
// tables have them), and every fixup field among them is an operand.
bool TPieceWork::DeadCode() {
  bool More = false;
  for (uint32_t O = NextFree(0); O < N; O = NextFree(O)) {
    uint32_t E = O;
    while (E < N && State[E] == Free) ++E;
    uint32_t P = O;
    for (TDecoded D; P < E && B[P] != 0 && (D = Decode(P)) && P + D->Length <= E && FieldsFitInsn(P, *D.Facts);)
      P += D->Length;
    if (P == E) {
      for (P = O; P < E;) {
        const TDecoded D = Decode(P);
        PlaceInsn(P, D->Length);
        if (MayFollow(*D.Facts)) FollowOperands(P, D);
        P += D->Length;
      }
      More = true;
    }
    O = E;
  }
  return More;
}

// What is left becomes data: fixup fields as cells, the rest zeros, text or
// bytes; an item starts at every label.
void TPieceWork::PlaceRest() {
  std::vector<uint32_t> Cuts(Targets);
  std::sort(Cuts.begin(), Cuts.end());
  size_t CutAt = 0;
  for (uint32_t O = NextFree(0); O < N; O = NextFree(O)) {
    uint32_t E = O;
    while (E < N && State[E] == Free) ++E;
    // [O, E) is free.
    uint32_t A = O;
    for (uint32_t P = O; P < E;) {
      const TPieceFixup* F = FieldAt(P);
      if (F && P + 4 <= E) {
        PlaceLeftBytes(A, P);
        PlaceData(P, 4, TShape::FixupCell);
        if (F->Self) Target(Addend(*F));
        P += 4;
        A = P;
        continue;
      }
      while (CutAt < Cuts.size() && Cuts[CutAt] < P) ++CutAt;
      if (CutAt < Cuts.size() && Cuts[CutAt] == P && P > A) {
        PlaceTableOrBytes(A, P);
        A = P;
      }
      ++P;
    }
    PlaceTableOrBytes(A, E);
    O = E;
  }
}

// Free bytes [A, E) without fixup fields. Where an instruction reads a
// table at A through a register, elements of the size it reads.
void TPieceWork::PlaceTableOrBytes(uint32_t A, uint32_t E) {
  uint32_t Size = 0;
  for (const auto& [T, S] : TableElems)
    if (T == A) Size = S;
  if (Size == 2 || Size == 4 || Size == 8 || Size == 10) {
    for (; E - A >= Size; A += Size) PlaceData(A, Size, Size == 4 ? TShape::DWord : TShape::Sized);
  } else if (Size == 1) {
    // A table of bytes (the first level of a `case` with two tables).
    for (uint32_t Len; (Len = std::min<uint32_t>(E - A, 8)) > 0; A += Len) PlaceData(A, Len, TShape::Bytes);
  }
  PlaceLeftBytes(A, E);
}

// Free bytes [A, E) without fixup fields: runs of zeros, text of at least
// four characters (with its terminating zero), and bytes, eight to an item.
void TPieceWork::PlaceLeftBytes(uint32_t A, uint32_t E) {
  uint32_t P = A;
  while (P < E) {
    uint32_t Q = P;
    if (B[P] == 0) {
      while (Q < E && B[Q] == 0 && Q - P < 16) ++Q;
      PlaceData(P, Q - P, TShape::Zeros);
      P = Q;
      continue;
    }
    while (Q < E && TextByte(B[Q])) ++Q;
    if (Q - P >= 4) {
      if (Q < E && B[Q] == 0) ++Q;
      PlaceData(P, Q - P, TShape::Text);
      P = Q;
      continue;
    }
    Q = P;
    while (Q < E && Q - P < 8 && B[Q] != 0) {
      // A text run of four ends the bytes before it.
      uint32_t T = Q;
      while (T < E && TextByte(B[T]) && T - Q < 4) ++T;
      if (T - Q >= 4 && Q > P) break;
      ++Q;
    }
    if (Q == P) ++Q;
    PlaceData(P, Q - P, TShape::Bytes);
    P = Q;
  }
}

void TPieceWork::Analyse() {
  if (N == 0) return;
  if (In->Arch == TCodeArch::X86_32) {
    Stack.push_back(0);
    for (;;) {
      Flow();
      for (size_t I = 0; I < JumpTables.size(); ++I) JumpTable(JumpTables[I]);
      JumpTables.clear();
      if (!Stack.empty()) continue;
      for (const auto& [O, Size] : MemData) PlaceMemData(O, Size);
      MemData.clear();
      // Places whose address an instruction takes: text first; a place that
      // is no text is looked at as code when a push takes it (the handler of
      // a try block), else left as data.
      std::vector<std::pair<uint32_t, bool>> Places;
      Places.swap(Candidates);
      for (const auto& [T, ByPush] : Places)
        if (!PlaceLiteral(T) && ByPush && State[T] == Free) Stack.push_back(T);
      if (!Stack.empty()) continue;
      if (CellTargets() || DeadCode()) continue;
      break;
    }
  }
  PlaceRest();
}

// ---------------------------------------------------------------------------
// Texts.

void TPieceWork::Name(std::string& Out, uint32_t Base, std::string_view Text, const TCodeSpan& Ref) {
  TCodeSpan S = Ref;
  S.Start = Base + static_cast<uint32_t>(Out.size());
  S.Len = static_cast<uint16_t>(std::min<size_t>(Text.size(), UINT16_MAX));
  Out += Text;
  if (Spans && S.Len) Spans->push_back(S);
}

void TPieceWork::SelfName(std::string& Out, uint32_t Base) {
  TCodeSpan Ref;
  Ref.Kind = TCodeRefKind::Routine;
  Ref.Target = In->SelfIndex;
  Ref.DeclOffset = In->SelfDecl;
  Name(Out, Base, In->SelfName, Ref);
}

void TPieceWork::LabelOrOffset(int64_t T, std::string& Out, uint32_t Base) {
  if (InPiece(T)) {
    auto It = std::lower_bound(Labels.begin(), Labels.end(), static_cast<uint32_t>(T),
                               [](const std::pair<uint32_t, std::string>& L, uint32_t V) { return L.first < V; });
    if (It != Labels.end() && It->first == T) {
      TCodeSpan Ref;
      Ref.Kind = TCodeRefKind::Label;
      Ref.Target = It->first;
      Name(Out, Base, It->second, Ref);
      return;
    }
  }
  SelfName(Out, Base);
  AppendSignedHex(Out, T);
}

void TPieceWork::FixupText(const TPieceFixup& F, int64_t AddendValue, std::string& Out, uint32_t Base) {
  if (F.Self) {
    if (AddendValue == 0) SelfName(Out, Base);
    else LabelOrOffset(AddendValue, Out, Base);
    return;
  }
  Name(Out, Base, F.Target, F.Ref);
  AppendSignedHex(Out, AddendValue - F.Rebase);
}

bool TPieceWork::ImmText(const ZydisFormatterContext& C, uint32_t At) {
  const auto& R = C.instruction->raw;
  for (int K = 0; K < 2; ++K) {
    if (R.imm[K].size != 32) continue;
    if (static_cast<uint32_t>(R.imm[K].value.u) != static_cast<uint32_t>(C.operand->imm.value.u)) continue;
    if (const TPieceFixup* F = FieldAt(CurOfs + R.imm[K].offset)) {
      Scratch.clear();
      FixupText(*F, static_cast<int32_t>(R.imm[K].value.u), Scratch, InsnStart + At);
      Holes.push_back({At, static_cast<uint32_t>(Scratch.size()), R.imm[K].offset, false,
                       static_cast<int32_t>(R.imm[K].value.u)});
      return true;
    }
  }
  return false;
}

bool TPieceWork::RelText(const ZydisFormatterContext& C, uint32_t At) {
  const auto& R = C.instruction->raw;
  Scratch.clear();
  if (R.imm[0].size == 32)
    if (const TPieceFixup* F = FieldAt(CurOfs + R.imm[0].offset)) {
      FixupText(*F, static_cast<int32_t>(R.imm[0].value.u), Scratch, InsnStart + At);
      Holes.push_back({At, static_cast<uint32_t>(Scratch.size()), R.imm[0].offset, false,
                       static_cast<int32_t>(R.imm[0].value.u)});
      return true;
    }
  Contextual = true;
  LabelOrOffset(static_cast<int64_t>(CurOfs) + C.instruction->length + C.operand->imm.value.s, Scratch,
                InsnStart + At);
  BranchLen = BranchLen < 0 ? static_cast<int32_t>(Scratch.size()) : INT32_MAX;  // a second one: not kept
  BranchAt = At;
  return true;
}

bool TPieceWork::DispHasFixup(const ZydisFormatterContext& C) const {
  const auto& R = C.instruction->raw;
  return R.disp.size == 32 && FieldAt(CurOfs + R.disp.offset) != nullptr;
}

bool TPieceWork::DispText(const ZydisFormatterContext& C, bool Plus, uint32_t At) {
  const auto& R = C.instruction->raw;
  if (R.disp.size != 32) return false;
  const TPieceFixup* F = FieldAt(CurOfs + R.disp.offset);
  if (!F) return false;
  Scratch.assign(Plus ? "+" : "");
  FixupText(*F, static_cast<int32_t>(R.disp.value), Scratch, InsnStart + At);
  Holes.push_back({At, static_cast<uint32_t>(Scratch.size()), R.disp.offset, Plus, static_cast<int32_t>(R.disp.value)});
  return true;
}

namespace {

ZyanStatus AppendSymbol(ZydisFormatterBuffer* Buf, const std::string& T) {
  ZYAN_CHECK(ZydisFormatterBufferAppend(Buf, ZYDIS_TOKEN_SYMBOL));
  ZyanString* S = nullptr;
  ZYAN_CHECK(ZydisFormatterBufferGetString(Buf, &S));
  ZyanStringView V;
  ZYAN_CHECK(ZyanStringViewInsideBufferEx(&V, T.data(), T.size()));
  return ZyanStringAppend(S, &V);
}

TPieceWork& PieceOf(const ZydisFormatterContext* C) { return *static_cast<TPieceWork*>(C->user_data); }

// Where the next text of the formatter's output goes: the instructions are
// formatted into a plain buffer (no token list), whose string is the whole
// output so far.
uint32_t OutputSize(ZydisFormatterBuffer* B) {
  ZyanString* S = nullptr;
  ZyanUSize Size = 0;
  if (!ZYAN_SUCCESS(ZydisFormatterBufferGetString(B, &S)) || !ZYAN_SUCCESS(ZyanStringGetSize(S, &Size))) return 0;
  return static_cast<uint32_t>(Size);
}

ZyanStatus HookPrintImm(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C) {
  TPieceWork& P = PieceOf(C);
  if (P.ImmText(*C, OutputSize(B))) return AppendSymbol(B, P.Scratch);
  return OrigPrintImm(F, B, C);
}

ZyanStatus HookPrintRel(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C) {
  TPieceWork& P = PieceOf(C);
  if (P.RelText(*C, OutputSize(B))) return AppendSymbol(B, P.Scratch);
  return OrigPrintRel(F, B, C);
}

ZyanStatus HookPrintAbs(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C) {
  TPieceWork& P = PieceOf(C);
  if (C->operand->type == ZYDIS_OPERAND_TYPE_MEMORY && P.DispText(*C, false, OutputSize(B)))
    return AppendSymbol(B, P.Scratch);
  return OrigPrintAbs(F, B, C);
}

ZyanStatus HookPrintDisp(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C) {
  TPieceWork& P = PieceOf(C);
  if (P.DispText(*C, true, OutputSize(B))) return AppendSymbol(B, P.Scratch);
  return OrigPrintDisp(F, B, C);
}

// A memory operand. Its size is written when no register operand of the
// instruction gives it (`inc dword ptr [X]`, `push dword ptr [ebp-$08]`,
// `fld tbyte ptr [X]`). A displacement of 0 after a register is left out by
// the formatter; one that a fixup fills is the address of a declaration and
// is shown.
ZyanStatus HookFormatMem(const ZydisFormatter* F, ZydisFormatterBuffer* B, ZydisFormatterContext* C) {
  const ZydisDecodedOperand& Op = *C->operand;
  bool Register = false;
  for (uint8_t K = 0; K < C->instruction->operand_count_visible; ++K)
    Register = Register || C->operands[K].type == ZYDIS_OPERAND_TYPE_REGISTER;
  const ZydisFormatter* Use = Register ? F : &PieceOf(C).SizedFormatter();
  const bool Regs = Op.mem.base != ZYDIS_REGISTER_NONE || Op.mem.index != ZYDIS_REGISTER_NONE;
  if (Regs && Op.mem.disp.has_displacement && Op.mem.disp.value == 0 && PieceOf(C).DispHasFixup(*C)) {
    ZydisDecodedOperand Shown = Op;
    Shown.mem.disp.value = 1;
    ZydisFormatterContext Ctx = *C;
    Ctx.operand = &Shown;
    return OrigFormatMem(Use, B, &Ctx);
  }
  return OrigFormatMem(Use, B, C);
}

}  // namespace

bool TPieceWork::InsnText(uint32_t O, const TInsn& D, std::string& Out) {
  ZydisDecodedOperand Ops[ZYDIS_MAX_OPERAND_COUNT_VISIBLE];
  char Buf[512];
  static_assert(sizeof Buf > MaxInsnText);
  CurOfs = O;
  InsnStart = static_cast<uint32_t>(Out.size());
  Holes.clear();
  Contextual = false;
  SpansDropped = false;
  BranchLen = -1;
  const size_t SpansBefore = Spans ? Spans->size() : 0;
  if (!Operands(D, Ops) ||
      !ZYAN_SUCCESS(ZydisFormatterFormatInstruction(&X86.Fmt, &D.I, Ops, D.I.operand_count_visible, Buf, sizeof Buf,
                                                    ZYDIS_RUNTIME_ADDRESS_NONE, this))) {
    if (Spans) Spans->resize(SpansBefore);
    Out += '?';
    return false;
  }
  Out += Buf;
  // The names stand inside the text written (a formatter that wrote them
  // elsewhere would leave them out, not point past the text).
  if (Spans)
    for (size_t K = SpansBefore; K < Spans->size(); ++K)
      if ((*Spans)[K].Start + static_cast<size_t>((*Spans)[K].Len) > Out.size()) {
        Spans->resize(SpansBefore);
        SpansDropped = true;
        break;
      }
  return true;
}

void TPieceWork::DataText(uint32_t O, uint32_t Len, std::string& Out) {
  const uint8_t* P = B + O;
  switch (ShapeAt(O)) {
    case TShape::DWord: {
      const uint32_t V = ReadDWord(P);
      Out += "dd ";
      if (V == 0xFFFFFFFFu) Out += "-1";
      else AppendHex(Out, V);
      return;
    }
    case TShape::FixupCell:
      Out += "dd ";
      FixupText(*FieldAt(O), static_cast<int32_t>(ReadDWord(P)), Out, 0);
      return;
    case TShape::AnsiChars:
    case TShape::PChar:
      Out += "db ";
      Out += PascalLiteral({P, Len - 1});
      Out += ", 0";
      return;
    case TShape::Text:
      Out += "db ";
      if (P[Len - 1] == 0) {
        Out += PascalLiteral({P, Len - 1});
        Out += ", 0";
      } else {
        Out += PascalLiteral({P, Len});
      }
      return;
    case TShape::WideChars: {
      // UTF-16 code units, surrogate pairs joined.
      std::vector<uint32_t> Codes;
      for (uint32_t I = 0; I + 3 < Len; I += 2) {
        uint32_t C = uint32_t(P[I]) | uint32_t(P[I + 1]) << 8;
        if (C >= 0xD800 && C < 0xDC00 && I + 5 < Len) {
          const uint32_t C2 = uint32_t(P[I + 2]) | uint32_t(P[I + 3]) << 8;
          if (C2 >= 0xDC00 && C2 < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (C2 - 0xDC00);
            I += 2;
          }
        }
        Codes.push_back(C);
      }
      Out += "dw ";
      Out += LiteralOf(Codes.size(), [&](size_t I) { return Codes[I]; });
      Out += ", 0";
      return;
    }
    case TShape::ShortStr:
      Out += "db ";
      Out += std::to_string(P[0]);
      Out += ", ";
      Out += PascalLiteral({P + 1, Len - 1});
      return;
    case TShape::Sized:
      if (Len == 2 || Len == 8) {
        uint64_t V = 0;
        for (uint32_t I = Len; I-- > 0;) V = V << 8 | P[I];
        Out += Len == 2 ? "dw " : "dq ";
        AppendHex(Out, V);
        return;
      }
      if (Len == 10) {
        static const char Digits[] = "0123456789ABCDEF";
        Out += "dt $";
        for (uint32_t I = Len; I-- > 0;) {
          Out += Digits[P[I] >> 4];
          Out += Digits[P[I] & 0xF];
        }
        return;
      }
      [[fallthrough]];
    case TShape::Bytes:
      Out += "db ";
      for (uint32_t I = 0; I < Len; ++I) {
        if (I) Out += ", ";
        AppendHex(Out, P[I]);
      }
      return;
    case TShape::Zeros:
      Out += "db 0";
      for (uint32_t I = 1; I < Len; ++I) Out += ", 0";
      return;
  }
  Out += "db ?";
}

// A kept named text: a byte with the count of names, for each name its
// place in the text without the names (two bytes), its field, whether a
// '+' goes before it and the field's value (four bytes), then the text
// without the names.
bool TPieceWork::NamedText(uint32_t O, uint32_t Len, uint16_t Extra, std::string& Out) {
  const std::string_view Kept = Named.Find(B + O, Len, N - O, Extra);
  if (Kept.empty()) return false;
  const size_t Count = static_cast<uint8_t>(Kept[0]);
  constexpr size_t HoleBytes = 8;
  const std::string_view Text = Kept.substr(1 + Count * HoleBytes);
  const size_t Start = Out.size();
  const size_t SpansBefore = Spans ? Spans->size() : 0;
  size_t From = 0;
  for (size_t K = 0; K < Count; ++K) {
    const char* H = Kept.data() + 1 + K * HoleBytes;
    const size_t At = static_cast<uint8_t>(H[0]) | size_t{static_cast<uint8_t>(H[1])} << 8;
    const TPieceFixup* F = FieldAt(O + static_cast<uint8_t>(H[2]));
    if (!F || At < From || At > Text.size()) {  // not as when it was kept: made anew
      Out.resize(Start);
      if (Spans) Spans->resize(SpansBefore);
      return false;
    }
    int32_t Value;
    std::memcpy(&Value, H + 4, 4);
    Out.append(Text.substr(From, At - From));
    const size_t Name = Out.size();
    if (H[3]) Out += '+';
    FixupText(*F, Value, Out, 0);
    if (Out.size() == Name) {  // an empty name fails the formatter ("?"): made anew
      Out.resize(Start);
      if (Spans) Spans->resize(SpansBefore);
      return false;
    }
    From = At;
  }
  Out.append(Text.substr(From));
  // Longer than the formatter's buffer takes ("?"): made anew.
  if (Out.size() - Start >= MaxInsnText) {
    Out.resize(Start);
    if (Spans) Spans->resize(SpansBefore);
    return false;
  }
  return true;
}

void TPieceWork::KeepNamedText(uint32_t O, uint32_t Len, uint16_t Extra, std::string_view Text) {
  if (Holes.size() > 3) return;
  std::string Kept(1, static_cast<char>(Holes.size()));
  std::string Rest;
  size_t From = 0;
  for (const THole& H : Holes) {
    if (H.At < From || H.At + H.Len > Text.size()) return;
    Rest.append(Text.substr(From, H.At - From));
    From = H.At + H.Len;
    const size_t At = Rest.size();
    const char Bytes[4] = {static_cast<char>(At & 0xFF), static_cast<char>(At >> 8), static_cast<char>(H.Field),
                           static_cast<char>(H.Plus)};
    Kept.append(Bytes, 4);
    Kept.append(reinterpret_cast<const char*>(&H.Value), 4);
  }
  Rest.append(Text.substr(From));
  Kept += Rest;
  Named.Add(B + O, Len, N - O, Kept, Extra);
}

std::array<uint8_t, 16> TPieceWork::BranchKey(const uint8_t* P, uint32_t Len, const TInsnFacts& D) {
  std::array<uint8_t, 16> K{};
  std::memcpy(K.data(), P, Len);
  for (uint32_t I = D.Imm[0].Offset; I < D.Imm[0].Offset + D.Imm[0].Size / 8u && I < Len; ++I) K[I] = 0;
  return K;
}

bool TPieceWork::BranchText(uint32_t O, uint32_t Len, const TInsnFacts& D, std::string& Out) {
  const std::array<uint8_t, 16> K = BranchKey(B + O, Len, D);
  const std::string_view Kept = Branches.Find(K.data(), Len, K.size());
  if (Kept.size() < 2) return false;
  const size_t At = static_cast<uint8_t>(Kept[0]) | size_t{static_cast<uint8_t>(Kept[1])} << 8;
  const std::string_view Text = Kept.substr(2);
  const size_t Start = Out.size();
  const size_t SpansBefore = Spans ? Spans->size() : 0;
  Out.append(Text.substr(0, At));
  const size_t Name = Out.size();
  LabelOrOffset(static_cast<int64_t>(O) + Len + D.Distance, Out, 0);
  // An empty name fails the formatter, a text longer than its buffer too
  // ("?"): made anew.
  if (Out.size() == Name || Out.size() - Start + (Text.size() - At) >= MaxInsnText) {
    Out.resize(Start);
    if (Spans) Spans->resize(SpansBefore);
    return false;
  }
  Out.append(Text.substr(At));
  return true;
}

void TPieceWork::KeepBranchText(uint32_t O, uint32_t Len, const TInsnFacts& D, std::string_view Text) {
  const size_t End = BranchAt + static_cast<size_t>(BranchLen);
  if (End > Text.size() || BranchAt > UINT16_MAX) return;
  std::string Kept{static_cast<char>(BranchAt & 0xFF), static_cast<char>(BranchAt >> 8)};
  Kept.append(Text.substr(0, BranchAt));
  Kept.append(Text.substr(End));
  const std::array<uint8_t, 16> K = BranchKey(B + O, Len, D);
  Branches.Add(K.data(), Len, K.size(), Kept);
}

void TPieceWork::Emit(TCodeRoutine& Out) {
  // Labels: the targets an item starts at, in offset order.
  std::sort(Targets.begin(), Targets.end());
  Targets.erase(std::unique(Targets.begin(), Targets.end()), Targets.end());
  Labels.clear();
  for (uint32_t T : Targets)
    if (T < N && (StateAt(T) == InsnHead || StateAt(T) == DataHead) && T != 0)
      Labels.emplace_back(T, "@" + std::to_string(Labels.size() + 1));
  Out.Labels.clear();
  for (const auto& [O, Name] : Labels) Out.Labels.push_back(TCodeLabel{O, Name});

  Out.Items.clear();
  Out.Text.clear();
  Out.Spans.clear();
  Spans = &Out.Spans;
  for (uint32_t O = 0; O < N;) {
    const uint32_t E = ItemEnd(O);
    TCodeItem It;
    It.Offset = O;
    It.Size = E - O;
    It.TextStart = static_cast<uint32_t>(Out.Text.size());
    // An instruction no fixup falls in has the text it has everywhere else
    // (branches aside, which the cache never keeps).
    const bool Plain = StateAt(O) == InsnHead && NoFieldIn(O, E - O);
    std::string_view Kept = Plain ? Texts.Find(B + O, E - O, N - O) : std::string_view();
    if (!Kept.empty()) {
      It.Kind = TCodeItemKind::Insn;
      Out.Text += Kept;
      It.TextSize = static_cast<uint32_t>(Kept.size());
      Out.Items.push_back(It);
      O = E;
      continue;
    }
    // One whose fields fixups fill has the text of the same bytes with the
    // fixups at the same places, but for the names.
    uint16_t Extra = 0;
    if (StateAt(O) == InsnHead && !Plain && E - O <= TInsnTextCache::MaxBytesWithExtra && O >= 3 &&
        NoFieldStartIn(O - 3, O))
      for (uint32_t K = O; K < E; ++K) Extra = static_cast<uint16_t>(Extra | FieldStarts[K] << (K - O));
    if (Extra && NamedText(O, E - O, Extra, Out.Text)) {
      It.Kind = TCodeItemKind::Insn;
      It.TextSize = static_cast<uint32_t>(Out.Text.size()) - It.TextStart;
      Out.Items.push_back(It);
      O = E;
      continue;
    }
    const TDecoded D = StateAt(O) == InsnHead ? Decode(O) : TDecoded{};
    // A branch to a place of the piece has the text of the same bytes with
    // any other distance, but for the label.
    const bool Branch = Plain && D && D->Length == E - O && D->Imm[0].Relative;
    if (Branch && BranchText(O, E - O, *D.Facts, Out.Text)) {
      It.Kind = TCodeItemKind::Insn;
      It.TextSize = static_cast<uint32_t>(Out.Text.size()) - It.TextStart;
      Out.Items.push_back(It);
      O = E;
      continue;
    }
    const TInsn* Insn = D ? &Whole(D) : nullptr;
    if (Insn && Insn->I.length == E - O) {
      It.Kind = TCodeItemKind::Insn;
      const size_t SpansBefore = Out.Spans.size();
      const bool Made = InsnText(O, *Insn, Out.Text);
      if (Made && Plain && Out.Spans.size() == SpansBefore && !Relative(Insn->I))
        Texts.Add(B + O, E - O, N - O, std::string_view(Out.Text).substr(It.TextStart));
      else if (Made && Extra && !Contextual && !SpansDropped && !Holes.empty())
        KeepNamedText(O, E - O, Extra, std::string_view(Out.Text).substr(It.TextStart));
      else if (Made && Branch && !SpansDropped && Holes.empty() && BranchLen >= 0 && BranchLen != INT32_MAX)
        KeepBranchText(O, E - O, *D.Facts, std::string_view(Out.Text).substr(It.TextStart));
    } else {
      It.Kind = TCodeItemKind::Data;
      DataText(O, E - O, Out.Text);
    }
    It.TextSize = static_cast<uint32_t>(Out.Text.size()) - It.TextStart;
    Out.Items.push_back(std::move(It));
    O = E;
  }
  Spans = nullptr;

  // The fixups of the routine before keep their strings' room.
  Out.Fixups.resize(In->Fixups.size());
  for (size_t K = 0; K < In->Fixups.size(); ++K) {
    const TPieceFixup& F = In->Fixups[K];
    TCodeFixup& X = Out.Fixups[K];
    X.Offset = F.Offset;
    X.Size = F.Info.Size;
    X.Kind = F.Kind;
    if (F.Info.Name.empty()) X.KindName = "kind " + std::to_string(F.Kind);
    else X.KindName.assign(F.Info.Name);
    if (F.Self) X.Target.assign(In->SelfName);
    else X.Target.assign(F.Target);
  }
}

TFlowHelper FlowHelperOf(std::string_view Name) {
  for (const THelperName& H : HelperNames)
    if (SameNameNoCase(H.Name, Name)) return H.Role;
  return TFlowHelper::None;
}

std::string PascalLiteral(std::span<const uint8_t> Bytes) {
  return LiteralOf(Bytes.size(), [&](size_t I) { return Cp1252(Bytes[I]); });
}

TPieceDisassembler::TPieceDisassembler() : Work(std::make_unique<TPieceWork>()) {}
TPieceDisassembler::~TPieceDisassembler() = default;

void TPieceDisassembler::Run(const TPieceInput& In, TCodeRoutine& Out) {
  Work->Reset(In);
  Work->Analyse();
  Work->Emit(Out);
}

void DisassemblePiece(const TPieceInput& In, TCodeRoutine& Out) {
  TPieceDisassembler D;
  D.Run(In, Out);
}
