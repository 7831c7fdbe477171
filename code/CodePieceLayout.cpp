// The layout of one piece: the flow of its code, the data among it, and the
// bytes no flow reaches (CodeDisasm.h says how, in that order), into one
// byte of state per byte of the piece.
#include "CodePieceLayout.h"

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

// The shapes of the instructions decoded so far (TInsnShapes): the same few
// hundred instructions make most of a unit's code, and of the next unit's,
// so the table is kept for the thread's life and holds only what follows
// from the bytes alone.
TInsnShapes& KnownShapes() {
  thread_local TInsnShapes Shapes{X86Decoder()};
  return Shapes;
}

}  // namespace

const ZydisDecoder& X86Decoder() {
  static const ZydisDecoder Dec = [] {
    ZydisDecoder D{};
    ZydisDecoderInit(&D, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
    return D;
  }();
  return Dec;
}

TFlowHelper FlowHelperOf(std::string_view Name) {
  for (const THelperName& H : HelperNames)
    if (SameNameNoCase(H.Name, Name)) return H.Role;
  return TFlowHelper::None;
}

TPieceLayout::TPieceLayout() : Shapes(KnownShapes()) {}

inline bool TPieceLayout::AllFree(uint32_t O, uint64_t Len) const {
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

inline void TPieceLayout::PlaceInsn(uint32_t O, uint32_t Len) {
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

inline uint32_t TPieceLayout::NextFree(uint32_t O) const {
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

const std::vector<uint32_t>& TPieceLayout::LabelPlaces() {
  std::sort(Targets.begin(), Targets.end());
  Targets.erase(std::unique(Targets.begin(), Targets.end()), Targets.end());
  std::erase_if(Targets, [this](uint32_t T) { return T >= N || T == 0 || (StateAt(T) != InsnHead && StateAt(T) != DataHead); });
  return Targets;
}

void TPieceLayout::Reset(const TPieceInput& Input) {
  In = &Input;
  B = Input.Bytes.data();
  N = static_cast<uint32_t>(Input.Bytes.size());
  State.assign(N, Free);
  IndexFields();
  Stack.clear();
  Candidates.clear();
  Tried.clear();
  JumpTables.clear();
  MemData.clear();
  TableElems.clear();
  Targets.clear();
}

void TPieceLayout::IndexFields() {
  FieldStarts.assign(N, 0);
  Fields.clear();
  for (const TPieceFixup& F : In->Fixups)
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
}

const TPieceFixup* TPieceLayout::FieldPastEnd(uint32_t O) const {
  auto It = std::lower_bound(In->Fixups.begin(), In->Fixups.end(), O,
                             [](const TPieceFixup& F, uint32_t V) { return F.Offset < V; });
  for (; It != In->Fixups.end() && It->Offset == O; ++It)
    if (It->Info.Size == 4) return &*It;
  return nullptr;
}

// Every fixup field among the instruction's bytes must be one of its 32-bit
// displacement or immediate fields; otherwise the bytes are no instruction.
bool TPieceLayout::FieldsAreOperands(uint32_t O, const TInsnFacts& D) const {
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

void TPieceLayout::Flow() {
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

void TPieceLayout::FollowOperands(uint32_t O, const TDecoded& D) {
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
void TPieceLayout::ExceptTable(uint32_t O) {
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
void TPieceLayout::JumpTable(uint32_t O) {
  for (uint32_t Cell = O; Cell + 4 <= N && AllFree(Cell, 4); Cell += 4) {
    const TPieceFixup* F = FieldAt(Cell);
    if (!F || !F->Self || F->Info.Use != TFixupUse::Absolute) break;
    PlaceData(Cell, 4, TShape::FixupCell);
    const int64_t T = Addend(*F);
    Target(T);
    if (InPiece(T)) Stack.push_back(static_cast<uint32_t>(T));
  }
}

void TPieceLayout::PlaceMemData(uint32_t O, uint32_t Size) {
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
bool TPieceLayout::PlaceLiteral(uint32_t T) {
  if (State[T] != Free) return false;
  return PlaceLongOrWide(T) || PlaceText(T);
}

// Literals longer than this are not looked for: the search stays bounded.
constexpr uint32_t MaxLiteral = 1u << 16;

// A long string (reference count -1, length, characters, 0) or a wide one
// (byte length, characters, 0) whose characters start at T.
bool TPieceLayout::PlaceLongOrWide(uint32_t T) {
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
  return false;
}

// Zero-terminated text at T, mostly letters, digits and blanks; else a short
// string (length byte, characters) whose every character is text.
bool TPieceLayout::PlaceText(uint32_t T) {
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
  return false;
}

// Bytes no flow reached. A fixup field among them that points into the piece
// (a table of handlers) gives a place to look at as code. True when one was
// found.
bool TPieceLayout::CellTargets() {
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
bool TPieceLayout::DeadCode() {
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
void TPieceLayout::PlaceRest() {
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
void TPieceLayout::PlaceTableOrBytes(uint32_t A, uint32_t E) {
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
void TPieceLayout::PlaceLeftBytes(uint32_t A, uint32_t E) {
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

void TPieceLayout::Analyse() {
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
