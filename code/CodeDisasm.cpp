// The formatter of one laid-out piece: its items written as text, the
// instructions through Zydis's Intel formatter (the names of the fixups go in
// through its hooks), the data by shape; the texts of instructions kept in
// caches by their bytes, so that an instruction seen before is not
// formatted again.
#include "CodeDisasm.h"

#include <Zycore/String.h>
#include <Zydis/Zydis.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "CodePieceLayout.h"
#include "CodeTextCache.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"

namespace {

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

// ---------------------------------------------------------------------------
// The formatter, made once; its hooks reach the piece being written through
// the user data of each call.

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
struct TX86Formatter {
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
  TX86Formatter() {
    Init(Fmt, false);
    Init(FmtSized, true);
  }
};

const TX86Formatter& Formatter() {
  static const TX86Formatter F;
  return F;
}

// What the instructions seen so far formatted to: one that names nothing
// formats the same wherever it stands (TInsnTextCache). The same few hundred
// instructions make most of a unit's code, and of the next unit's: the
// tables are kept for the thread's life, made once, and hold only what
// follows from the bytes alone.
struct TKnownTexts {
  TInsnTextCache Texts;
  // Texts of instructions whose fields fixups fill, the names cut out
  // (TPieceWork::NamedText), by their bytes and the places of the fixups.
  TInsnTextCache Named{13, 128u << 10};
  // Texts of branches to places of the piece, by their bytes without the
  // distance: the text around the label or offset (TPieceWork::BranchText).
  TInsnTextCache Branches{12, 64u << 10};
};

TKnownTexts& KnownTexts() {
  thread_local TKnownTexts K;
  return K;
}

// Texts of instructions made from kept ones are at most this long; longer
// ones are formatted anew (the formatter's buffer decides what fits).
constexpr size_t MaxInsnText = 448;

}  // namespace

// The work of one piece, kept between pieces so that its buffers are made
// once for a whole listing: the piece laid out, then its items written.
class TPieceWork : public TPieceLayout {
 public:
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
  const TX86Formatter& X86 = Formatter();
  TKnownTexts& Known = KnownTexts();
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

  // Labels named "@1", "@2", ... at the places the layout gives.
  void NameLabels(TCodeRoutine& Out);
  // The text of the item [O, E) appended to Text; true for an instruction.
  bool ItemText(uint32_t O, uint32_t E, std::string& Text);
  // The places of the fixup fields among the instruction's bytes [O, E) as
  // bits, the key of its named text; 0 when it has no kept text.
  uint16_t FieldPlaces(uint32_t O, uint32_t E) const;
  // The instruction [O, E) formatted into Text, and its text kept where it
  // can be made again from the cache.
  void FormatInsn(uint32_t O, uint32_t E, const TDecoded& D, const TInsn& Insn, uint16_t Extra, std::string& Text);
  void CopyFixups(TCodeRoutine& Out) const;
  // The texts that name places append to Out; the span of each name is
  // recorded at Base + its place in Out.
  void Name(std::string& Out, uint32_t Base, std::string_view Text, const TCodeSpan& Ref);
  void SelfName(std::string& Out, uint32_t Base);
  void FixupText(const TPieceFixup& F, int64_t AddendValue, std::string& Out, uint32_t Base);
  void LabelOrOffset(int64_t T, std::string& Out, uint32_t Base);
  void DataText(uint32_t O, uint32_t Len, std::string& Out);
  void FixupCellText(uint32_t O, std::string& Out);
  // False when the instruction could not be formatted ("?").
  bool InsnText(uint32_t O, const TInsn& D, std::string& Out);
  // An operand counts from the instruction's address (a jump, a call).
  static bool Relative(const ZydisDecodedInstruction& I) {
    return (I.attributes & ZYDIS_ATTRIB_IS_RELATIVE) || I.raw.imm[0].is_relative || I.raw.imm[1].is_relative;
  }
};

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

namespace {

// Bytes as a Pascal literal followed by the zero that ends them.
void AppendTerminated(std::string& Out, const uint8_t* P, uint32_t Len) {
  Out += PascalLiteral({P, Len});
  Out += ", 0";
}

// "dw 'text', 0": UTF-16 code units, surrogate pairs joined.
void AppendWideChars(std::string& Out, const uint8_t* P, uint32_t Len) {
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
}

// "dw $1234", "dq $...", "dt $..." for an operand of 2, 8 or 10 bytes; false
// for another size.
bool AppendSized(std::string& Out, const uint8_t* P, uint32_t Len) {
  if (Len == 2 || Len == 8) {
    uint64_t V = 0;
    for (uint32_t I = Len; I-- > 0;) V = V << 8 | P[I];
    Out += Len == 2 ? "dw " : "dq ";
    AppendHex(Out, V);
    return true;
  }
  if (Len != 10) return false;
  static const char Digits[] = "0123456789ABCDEF";
  Out += "dt $";
  for (uint32_t I = Len; I-- > 0;) {
    Out += Digits[P[I] >> 4];
    Out += Digits[P[I] & 0xF];
  }
  return true;
}

void AppendBytes(std::string& Out, const uint8_t* P, uint32_t Len) {
  Out += "db ";
  for (uint32_t I = 0; I < Len; ++I) {
    if (I) Out += ", ";
    AppendHex(Out, P[I]);
  }
}

}  // namespace

void TPieceWork::FixupCellText(uint32_t O, std::string& Out) {
  Out += "dd ";
  FixupText(*FieldAt(O), static_cast<int32_t>(ReadDWord(B + O)), Out, 0);
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
      return FixupCellText(O, Out);
    case TShape::AnsiChars:
    case TShape::PChar:
      Out += "db ";
      return AppendTerminated(Out, P, Len - 1);
    case TShape::Text:
      Out += "db ";
      if (P[Len - 1] == 0) return AppendTerminated(Out, P, Len - 1);
      Out += PascalLiteral({P, Len});
      return;
    case TShape::WideChars:
      return AppendWideChars(Out, P, Len);
    case TShape::ShortStr:
      Out += "db ";
      Out += std::to_string(P[0]);
      Out += ", ";
      Out += PascalLiteral({P + 1, Len - 1});
      return;
    case TShape::Sized:
      if (AppendSized(Out, P, Len)) return;
      [[fallthrough]];
    case TShape::Bytes:
      return AppendBytes(Out, P, Len);
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

void TPieceWork::NameLabels(TCodeRoutine& Out) {
  Labels.clear();
  for (uint32_t T : LabelPlaces()) Labels.emplace_back(T, "@" + std::to_string(Labels.size() + 1));
  Out.Labels.clear();
  for (const auto& [O, Name] : Labels) Out.Labels.push_back(TCodeLabel{O, Name});
}

void TPieceWork::Emit(TCodeRoutine& Out) {
  NameLabels(Out);
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
    It.Kind = ItemText(O, E, Out.Text) ? TCodeItemKind::Insn : TCodeItemKind::Data;
    It.TextSize = static_cast<uint32_t>(Out.Text.size()) - It.TextStart;
    Out.Items.push_back(std::move(It));
    O = E;
  }
  Spans = nullptr;
  CopyFixups(Out);
}

bool TPieceWork::ItemText(uint32_t O, uint32_t E, std::string& Text) {
  const bool Head = StateAt(O) == InsnHead;
  // An instruction no fixup falls in has the text it has everywhere else
  // (branches aside, which the cache never keeps).
  const bool Plain = Head && NoFieldIn(O, E - O);
  if (Plain) {
    const std::string_view Kept = Texts.Find(B + O, E - O, N - O);
    if (!Kept.empty()) {
      Text += Kept;
      return true;
    }
  }
  // One whose fields fixups fill has the text of the same bytes with the
  // fixups at the same places, but for the names.
  const uint16_t Extra = Head && !Plain ? FieldPlaces(O, E) : 0;
  if (Extra && NamedText(O, E - O, Extra, Text)) return true;
  const TDecoded D = Head ? Decode(O) : TDecoded{};
  // A branch to a place of the piece has the text of the same bytes with
  // any other distance, but for the label.
  const bool Branch = Plain && D && D->Length == E - O && D->Imm[0].Relative;
  if (Branch && BranchText(O, E - O, *D.Facts, Text)) return true;
  const TInsn* Insn = D ? &Whole(D) : nullptr;
  if (!Insn || Insn->I.length != E - O) {
    DataText(O, E - O, Text);
    return false;
  }
  FormatInsn(O, E, D, *Insn, Extra, Text);
  return true;
}

uint16_t TPieceWork::FieldPlaces(uint32_t O, uint32_t E) const {
  uint16_t Extra = 0;
  if (E - O <= TInsnTextCache::MaxBytesWithExtra && O >= 3 && NoFieldStartIn(O - 3, O))
    for (uint32_t K = O; K < E; ++K) Extra = static_cast<uint16_t>(Extra | FieldStarts[K] << (K - O));
  return Extra;
}

void TPieceWork::FormatInsn(uint32_t O, uint32_t E, const TDecoded& D, const TInsn& Insn, uint16_t Extra,
                            std::string& Text) {
  const bool Plain = NoFieldIn(O, E - O);
  const bool Branch = Plain && D->Length == E - O && D->Imm[0].Relative;
  const size_t Start = Text.size();
  const size_t SpansBefore = Spans->size();
  const bool Made = InsnText(O, Insn, Text);
  const std::string_view Written = std::string_view(Text).substr(Start);
  if (Made && Plain && Spans->size() == SpansBefore && !Relative(Insn.I))
    Texts.Add(B + O, E - O, N - O, Written);
  else if (Made && Extra && !Contextual && !SpansDropped && !Holes.empty())
    KeepNamedText(O, E - O, Extra, Written);
  else if (Made && Branch && !SpansDropped && Holes.empty() && BranchLen >= 0 && BranchLen != INT32_MAX)
    KeepBranchText(O, E - O, *D.Facts, Written);
}

void TPieceWork::CopyFixups(TCodeRoutine& Out) const {
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
