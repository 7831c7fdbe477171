// Instructions decoded once per shape.
//
// An x86 instruction's length, its form and where its displacement and
// immediates lie follow from its other bytes (prefixes, opcode, ModRM, SIB,
// a 3DNow! suffix); the values in those fields change nothing else. So an
// instruction whose bytes outside the fields equal those of one decoded
// before decodes as that one did, but for the values: `mov eax, [ebp-$04]`
// and `mov eax, [ebp-$08]` are one shape. The table keeps a decoded
// instruction per shape and gives it for new bytes of the same shape with
// the values read from them, as the decoder would have given it.
#pragma once

#include <Zydis/Zydis.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// A decoded instruction without its operands, and the context the operands
// are decoded from when they are needed.
struct TInsn {
  ZydisDecodedInstruction I;
  ZydisDecoderContext Ctx;
};

// What the flow reads of an instruction: its length and mnemonic, where its
// immediates and displacement lie, and a branch's distance.
struct TInsnFacts {
  struct TField {
    uint8_t Offset = 0, Size = 0;  // size in bits; 0: none
    bool Relative = false;
    bool operator==(const TField&) const = default;
  };
  uint16_t Mnemonic = ZYDIS_MNEMONIC_INVALID;
  uint8_t Length = 0;
  TField Imm[2], Disp;
  int32_t Distance = 0;  // the first immediate, signed (32-bit code has no wider one)

  TInsnFacts() = default;
  explicit TInsnFacts(const ZydisDecodedInstruction& I);
  bool operator==(const TInsnFacts&) const = default;
};

// An instruction as the table gives it: what the flow reads, and the whole
// of it (for its operands and its text).
struct TDecoded {
  const TInsnFacts* Facts = nullptr;
  TInsn* Full = nullptr;
  const uint8_t* Bytes = nullptr;
  explicit operator bool() const { return Facts != nullptr; }
  const TInsnFacts* operator->() const { return Facts; }
};

class TInsnShapes {
 public:
  // Instructions are decoded with Dec (which must outlive the table).
  explicit TInsnShapes(const ZydisDecoder& Dec, uint32_t SlotBits = 11);

  // The instruction at P (Avail bytes may be read), as Dec decodes it;
  // empty where the bytes are no instruction. Valid until the next call.
  TDecoded Decode(const uint8_t* P, size_t Avail) {
    // The shape in the slot the last one of the same first byte was filed
    // under: at once.
    if constexpr (std::endian::native == std::endian::little) {
      if (Avail >= 16) {
        uint64_t Lo, Hi;
        std::memcpy(&Lo, P, 8);
        std::memcpy(&Hi, P + 8, 8);
        const uint32_t S = SlotOf(static_cast<uint32_t>(Lo & 0xFFFFFF), Hint[Lo & 0xFF]);
        const TEntry& E = Entries[S];
        if ((Lo & E.MaskLo) == E.Lo && (Hi & E.MaskHi) == E.Hi) {
          if (!E.Facts.Imm[0].Size) return {&E.Facts, &Full[S], P};
          return WithImmediate(E, S, P);
        }
      }
    }
    return Lookup(P, Avail);
  }
  // The whole of D (what Decode gave last), its fields' values those of its
  // own bytes: as Dec would decode them.
  const TInsn& Whole(const TDecoded& D);
  // How many times the decoder itself was called.
  size_t DecoderCalls() const { return Calls; }

 private:
  // A shape: the bytes outside the fields (0 in the fields and past the
  // end) and a mask of them; Lo of an empty slot matches nothing.
  struct TEntry {
    uint64_t Lo = ~uint64_t{0}, Hi = 0;
    uint64_t MaskLo = 0, MaskHi = 0;
    TInsnFacts Facts;
    bool Imm0Signed = false;  // the first immediate sign-extended (its distance)
  };
  // A shape is filed under its first Known bytes (1 to 3), those before its
  // first field (an opcode byte always comes first), or fewer when the
  // instruction is shorter.
  uint32_t SlotOf(uint32_t First3, uint32_t Known) const {
    const uint32_t Key = (First3 & ((1u << (8 * Known)) - 1)) | Known << 24;
    return (Key * 0x9E3779B1u) >> (32 - Bits);
  }
  TDecoded Lookup(const uint8_t* P, size_t Avail);
  // The bytes at P (Lo and Hi their first sixteen, zero-filled) given to the
  // decoder, and the shape filed when it is one.
  TDecoded DecodeNew(const uint8_t* P, size_t Avail, uint64_t Lo, uint64_t Hi);
  // The shape E in slot S for the bytes at P, its distance read from them.
  TDecoded WithImmediate(const TEntry& E, uint32_t S, const uint8_t* P);

  const ZydisDecoder& Dec;
  uint32_t Bits;
  // Looked up for every instruction: the shapes (56 bytes each) apart from
  // the whole decoded instructions (some 360 bytes each, written only when
  // taken, so that their pages cost nothing before).
  std::unique_ptr<TEntry[]> Entries;
  std::unique_ptr<TInsn[]> Full;
  uint8_t Hint[256];  // by first byte: how many bytes the last shape was filed under
  TInsnFacts Found;   // the facts of the last instruction, its distance its own
  TInsn Tail;  // an instruction decoded without a slot
  TInsnFacts TailFacts;
  size_t Calls = 0;
};
