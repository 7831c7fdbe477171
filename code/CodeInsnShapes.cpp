// The table of instruction shapes: a shape looked up by the bytes outside
// its fields, decoded once, and given again with the values of new bytes.
#include "CodeInsnShapes.h"

#include <bit>
#include <cstring>

namespace {

// Eight bytes, the first lowest.
uint64_t Load64(const uint8_t* P) {
  uint64_t W = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&W, P, 8);
  } else {
    for (int K = 7; K >= 0; --K) W = W << 8 | P[K];
  }
  return W;
}

// The bytes a field may hold as a mask over the 16 bytes of an instruction
// (Lo: bytes 0-7, Hi: 8-15).
void MaskBytes(uint64_t& Lo, uint64_t& Hi, uint32_t From, uint32_t Count) {
  for (uint32_t K = From; K < From + Count && K < 16; ++K) {
    if (K < 8) Lo |= uint64_t{0xFF} << (8 * K);
    else Hi |= uint64_t{0xFF} << (8 * (K - 8));
  }
}

// A field's value as the decoder reads it: a displacement and a signed
// immediate sign-extended, an unsigned immediate zero-extended.
uint64_t FieldValue(const uint8_t* P, uint8_t Size, bool Signed) {
  switch (Size) {
    case 8:
      return Signed ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(P[0]))) : P[0];
    case 16: {
      const uint16_t V = static_cast<uint16_t>(P[0] | P[1] << 8);
      return Signed ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(V))) : V;
    }
    case 32: {
      const uint32_t V = uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
      return Signed ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(V))) : V;
    }
    case 64: {
      uint64_t V = 0;
      for (int K = 7; K >= 0; --K) V = V << 8 | P[K];
      return V;
    }
    default:
      return 0;
  }
}

}  // namespace

TInsnFacts::TInsnFacts(const ZydisDecodedInstruction& I)
    : Mnemonic(static_cast<uint16_t>(I.mnemonic)), Length(I.length),
      Imm{{I.raw.imm[0].offset, I.raw.imm[0].size, static_cast<bool>(I.raw.imm[0].is_relative)},
          {I.raw.imm[1].offset, I.raw.imm[1].size, static_cast<bool>(I.raw.imm[1].is_relative)}},
      Disp{I.raw.disp.offset, I.raw.disp.size, false},
      Distance(static_cast<int32_t>(I.raw.imm[0].value.s)) {}

TInsnShapes::TInsnShapes(const ZydisDecoder& D, uint32_t SlotBits)
    : Dec(D), Bits(SlotBits), Entries(std::make_unique<TEntry[]>(size_t{1} << SlotBits)),
      Full(std::make_unique_for_overwrite<TInsn[]>(size_t{1} << SlotBits)) {
  std::memset(Hint, 3, sizeof Hint);
}

TDecoded TInsnShapes::Lookup(const uint8_t* P, size_t Avail) {
  if (Avail == 0) return {};
  uint64_t Lo, Hi;
  if (Avail >= 16) {
    Lo = Load64(P);
    Hi = Load64(P + 8);
  } else {  // near a piece's end: the bytes there, zeros after them
    uint8_t Pad[16] = {};
    std::memcpy(Pad, P, Avail);
    Lo = Load64(Pad);
    Hi = Load64(Pad + 8);
  }
  const uint32_t First3 = static_cast<uint32_t>(Lo & 0xFFFFFF);
  // Whatever slot a shape is found in, bytes that match it outside its
  // fields are an instruction of that shape; one longer than the bytes
  // there is none (the decoder runs out of bytes). The slot the last shape
  // of the same first byte was filed under is looked at first.
  const uint8_t First = static_cast<uint8_t>(Lo);
  const uint32_t Hinted = Hint[First];
  for (uint32_t Try = 0; Try < 3; ++Try) {
    const uint32_t Known = Try == 0 ? Hinted : (Try == 1 ? (Hinted == 3 ? 2 : 3) : (Hinted == 1 ? 2 : 1));
    const uint32_t S = SlotOf(First3, Known);
    const TEntry& E = Entries[S];
    if ((Lo & E.MaskLo) != E.Lo || (Hi & E.MaskHi) != E.Hi) continue;
    if (E.Facts.Length > Avail) return {};
    Hint[First] = static_cast<uint8_t>(Known);
    if (!E.Facts.Imm[0].Size) return {&E.Facts, &Full[S], P};
    return WithImmediate(E, S, P);
  }
  return DecodeNew(P, Avail, Lo, Hi);
}

TDecoded TInsnShapes::DecodeNew(const uint8_t* P, size_t Avail, uint64_t Lo, uint64_t Hi) {
  TInsn D;
  ++Calls;
  if (!ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&Dec, &D.Ctx, P, Avail, &D.I))) return {};
  const ZydisDecodedInstruction& I = D.I;
  uint32_t Known = I.length < 3 ? I.length : 3;
  if (I.raw.disp.size && I.raw.disp.offset < Known) Known = I.raw.disp.offset;
  for (const auto& Imm : I.raw.imm)
    if (Imm.size && Imm.offset < Known) Known = Imm.offset;
  if (Known == 0) {  // not filed: decoded each time
    Tail = D;
    TailFacts = TInsnFacts(I);
    return {&TailFacts, &Tail, P};
  }
  const uint32_t S = SlotOf(static_cast<uint32_t>(Lo & 0xFFFFFF), Known);
  Hint[static_cast<uint8_t>(Lo)] = static_cast<uint8_t>(Known);
  TEntry& E = Entries[S];
  E.MaskLo = E.MaskHi = 0;
  MaskBytes(E.MaskLo, E.MaskHi, 0, I.length);
  uint64_t FieldLo = 0, FieldHi = 0;
  if (I.raw.disp.size) MaskBytes(FieldLo, FieldHi, I.raw.disp.offset, I.raw.disp.size / 8);
  for (const auto& Imm : I.raw.imm)
    if (Imm.size) MaskBytes(FieldLo, FieldHi, Imm.offset, Imm.size / 8);
  E.MaskLo &= ~FieldLo;
  E.MaskHi &= ~FieldHi;
  E.Lo = Lo & E.MaskLo;
  E.Hi = Hi & E.MaskHi;
  E.Facts = TInsnFacts(I);
  E.Imm0Signed = I.raw.imm[0].is_signed;
  Full[S] = D;
  Found = E.Facts;
  return {&Found, &Full[S], P};
}

TDecoded TInsnShapes::WithImmediate(const TEntry& E, uint32_t S, const uint8_t* P) {
  Found = E.Facts;
  Found.Distance = static_cast<int32_t>(FieldValue(P + Found.Imm[0].Offset, Found.Imm[0].Size, E.Imm0Signed));
  return {&Found, &Full[S], P};
}

const TInsn& TInsnShapes::Whole(const TDecoded& D) {
  ZydisDecodedInstruction& I = D.Full->I;
  if (I.raw.disp.size) I.raw.disp.value = static_cast<int64_t>(FieldValue(D.Bytes + I.raw.disp.offset, I.raw.disp.size, true));
  for (auto& Imm : I.raw.imm)
    if (Imm.size) Imm.value.u = FieldValue(D.Bytes + Imm.offset, Imm.size, Imm.is_signed);
  return *D.Full;
}
