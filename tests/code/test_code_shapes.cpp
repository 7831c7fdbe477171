// Instructions given by their shape: for bytes that differ from an
// instruction seen before only in its displacement and immediates (and in
// whatever follows it), the table must give what the decoder gives for
// those bytes themselves, down to the last field of the decoded instruction.
#include <gtest/gtest.h>

#include <Zydis/Zydis.h>

#include <cstring>
#include <random>
#include <vector>

#include "CodeInsnShapes.h"

namespace {

ZydisDecoder Decoder32() {
  ZydisDecoder D;
  ZydisDecoderInit(&D, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  return D;
}

// What the table gave for Avail bytes at P against the decoder's own
// decoding of them; a failure message, empty when they agree.
std::string Compare(const ZydisDecoder& Dec, TInsnShapes& Shapes, const uint8_t* P, size_t Avail) {
  TInsn Want;
  const bool Ok = ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&Dec, &Want.Ctx, P, Avail, &Want.I));
  const TDecoded D = Shapes.Decode(P, Avail);
  if (Ok != static_cast<bool>(D)) return Ok ? "no instruction given" : "an instruction given for none";
  if (!Ok) return {};
  if (!(*D.Facts == TInsnFacts(Want.I))) return "facts differ";
  const TInsn& Got = Shapes.Whole(D);
  if (std::memcmp(&Got.I, &Want.I, sizeof Want.I) != 0) return "decoded instruction differs";
  if (std::memcmp(&Got.Ctx, &Want.Ctx, sizeof Want.Ctx) != 0) return "context differs";
  ZydisDecodedOperand A[ZYDIS_MAX_OPERAND_COUNT_VISIBLE], B[ZYDIS_MAX_OPERAND_COUNT_VISIBLE];
  std::memset(A, 0, sizeof A);
  std::memset(B, 0, sizeof B);
  const uint8_t Count = Want.I.operand_count_visible;
  if (!ZYAN_SUCCESS(ZydisDecoderDecodeOperands(&Dec, &Got.Ctx, &Got.I, A, Count)) ||
      !ZYAN_SUCCESS(ZydisDecoderDecodeOperands(&Dec, &Want.Ctx, &Want.I, B, Count)) ||
      std::memcmp(A, B, sizeof A) != 0)
    return "operands differ";
  return {};
}

std::string Hex(const uint8_t* P, size_t N) {
  static const char* Digits = "0123456789ABCDEF";
  std::string S;
  for (size_t K = 0; K < N; ++K) (S += Digits[P[K] >> 4]) += Digits[P[K] & 15];
  return S;
}

}  // namespace

// Random instructions, each followed by variants of itself: other values in
// its fields, other bytes after it, cut short at a piece's end. A small
// table, so that shapes also push each other out of their slots.
TEST(CodeInsnShapes, SameShapeDecodesAsTheDecoderDoes) {
  const ZydisDecoder Dec = Decoder32();
  TInsnShapes Shapes(Dec, 6);
  std::mt19937_64 Rnd(7);
  size_t Checked = 0;
  for (int Round = 0; Round < 20000; ++Round) {
    uint8_t Base[16];
    for (uint8_t& X : Base) X = static_cast<uint8_t>(Rnd());
    // Common first bytes half of the time: the opcodes of compiled code.
    static const uint8_t Common[] = {0x8B, 0x89, 0xE8, 0xE9, 0x0F, 0x66, 0xC7, 0x83, 0x81, 0x74, 0xEB, 0xFF, 0x68, 0xB8};
    if (Round % 2) Base[0] = Common[Rnd() % sizeof Common];
    ZydisDecodedInstruction I;
    ZydisDecoderContext C;
    const bool Valid = ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&Dec, &C, Base, 16, &I));
    for (int Variant = 0; Variant < 6; ++Variant) {
      uint8_t V[16];
      std::memcpy(V, Base, 16);
      if (Valid) {
        auto Refill = [&](uint8_t Offset, uint8_t Bits) {
          for (uint32_t K = Offset; K < Offset + Bits / 8u && K < 16; ++K) V[K] = static_cast<uint8_t>(Rnd());
        };
        if (I.raw.disp.size) Refill(I.raw.disp.offset, I.raw.disp.size);
        for (const auto& Imm : I.raw.imm)
          if (Imm.size) Refill(Imm.offset, Imm.size);
        for (uint32_t K = I.length; K < 16; ++K) V[K] = static_cast<uint8_t>(Rnd());
      }
      const size_t Avail = Variant == 5 ? 1 + Rnd() % 16 : 16;
      const std::string Fault = Compare(Dec, Shapes, V, Avail);
      ASSERT_TRUE(Fault.empty()) << Fault << " for " << Hex(V, Avail);
      ++Checked;
    }
  }
  EXPECT_EQ(Checked, 120000u);
  // Most variants came from the table, not from the decoder.
  EXPECT_LT(Shapes.DecoderCalls(), Checked / 2);
}

// The values of a field as the decoder reads them: displacements and signed
// immediates sign-extended, unsigned ones not; a relative branch's distance
// from its own bytes, whichever branch of the shape was seen first.
TEST(CodeInsnShapes, FieldValuesAreTheInstructionsOwn) {
  const ZydisDecoder Dec = Decoder32();
  TInsnShapes Shapes(Dec);
  const std::vector<std::vector<uint8_t>> Cases = {
      {0x8B, 0x45, 0x7F}, {0x8B, 0x45, 0x80},                          // mov eax, [ebp+disp8]
      {0x6A, 0x01}, {0x6A, 0xFF},                                      // push imm8 (signed)
      {0xC2, 0x04, 0x00}, {0xC2, 0xFE, 0xFF},                          // ret imm16 (unsigned)
      {0xC8, 0x10, 0x00, 0x01}, {0xC8, 0xF0, 0xFF, 0x80},              // enter imm16, imm8
      {0xEB, 0x05}, {0xEB, 0xF0},                                      // jmp rel8
      {0xE8, 0x00, 0x00, 0x00, 0x80}, {0xE8, 0x10, 0x00, 0x00, 0x00},  // call rel32
      {0xC7, 0x45, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF},                      // mov [ebp-4], imm32
      {0xC7, 0x45, 0x04, 0x01, 0x00, 0x00, 0x00},
      {0x0F, 0x0F, 0xC1, 0x9E}, {0x0F, 0x0F, 0xC1, 0xB4},  // 3DNow!: the last byte chooses the instruction
  };
  for (int Pass = 0; Pass < 2; ++Pass)
    for (const std::vector<uint8_t>& Bytes : Cases) {
      uint8_t Buf[16] = {};
      std::memcpy(Buf, Bytes.data(), Bytes.size());
      for (size_t Avail : {size_t{16}, Bytes.size(), Bytes.size() - 1}) {
        const std::string Fault = Compare(Dec, Shapes, Buf, Avail);
        EXPECT_TRUE(Fault.empty()) << Fault << " for " << Hex(Buf, Avail);
      }
    }
}
