// Instructions decoded and formatted once and then looked up by their
// bytes: the same bytes must come out as they would have the first time,
// wherever a fixup or the place of the instruction changes their text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CodeDisasm.h"
#include "CodeFixupKinds.h"
#include "CodeListing.h"
#include "CodeTextCache.h"

namespace {

struct TEncoding {
  std::vector<uint8_t> Bytes;
  int FixupAt = -1;  // a 32-bit field a fixup may fill
};

// Common instructions, some with a 32-bit field, jumps and calls among them.
const std::vector<TEncoding>& Encodings() {
  static const std::vector<TEncoding> E = {
      {{0x53}},                                      // push ebx
      {{0x8B, 0xD8}},                                // mov ebx, eax
      {{0x8B, 0x45, 0xFC}},                          // mov eax, [ebp-$04]
      {{0xA1, 0x10, 0x00, 0x00, 0x00}, 1},           // mov eax, [$10] / [Target+$10]
      {{0xB8, 0x00, 0x00, 0x00, 0x00}, 1},           // mov eax, $0 / Target
      {{0x8B, 0x83, 0x2C, 0x01, 0x00, 0x00}, 2},     // mov eax, [ebx+$12C]
      {{0xE8, 0x00, 0x00, 0x00, 0x00}, 1},           // call: next item / Target
      {{0xEB, 0x00}},                                // jmp to the next item: a label
      {{0x74, 0x02}},                                // jz two bytes on
      {{0xEB, 0x7F}},                                // jmp out of the piece
      {{0x33, 0xC0}},                                // xor eax, eax
      {{0xC7, 0x45, 0xF8, 0x00, 0x00, 0x00, 0x00}, 3},  // mov dword ptr [ebp-$08], 0 / Target
      {{0x0F, 0x84, 0x01, 0x00, 0x00, 0x00}, 2},     // jz rel32 / Target
      {{0xE2, 0xFC}},                                // loop back into the instruction before
  };
  return E;
}

struct TOutcome {
  std::vector<std::string> Texts;
  std::vector<uint32_t> Sizes;
  std::vector<std::string> Spans;
  std::vector<std::string> Labels;
  bool operator==(const TOutcome&) const = default;
};

TOutcome Disassemble(const std::vector<uint8_t>& Bytes, const std::vector<TPieceFixup>& Fixups,
                     const std::string& Self = "Self") {
  TPieceInput In;
  In.Bytes = Bytes;
  In.Fixups = Fixups;
  In.SelfName = Self;
  TCodeRoutine R;
  R.Bytes = Bytes;
  DisassemblePiece(In, R);
  TOutcome O;
  for (const TCodeItem& It : R.Items) {
    O.Texts.emplace_back(R.ItemText(It));
    O.Sizes.push_back(It.Size);
  }
  for (const TCodeSpan& S : R.Spans) O.Spans.push_back(R.Text.substr(S.Start, S.Len) + "@" + std::to_string(S.Start));
  for (const TCodeLabel& L : R.Labels) O.Labels.push_back(L.Name + "@" + std::to_string(L.Offset));
  return O;
}

// The same piece on a thread of its own: nothing seen before.
TOutcome DisassembleCold(const std::vector<uint8_t>& Bytes, const std::vector<TPieceFixup>& Fixups,
                         const std::string& Self) {
  TOutcome O;
  std::thread T([&] { O = Disassemble(Bytes, Fixups, Self); });
  T.join();
  return O;
}

}  // namespace

// Pieces made of the same few instructions, their fields now filled by a
// fixup and now not, naming now this and now that (an empty name, one too
// long to format), jumps at other places each time: listed after hundreds of
// others (every instruction seen many times), each comes out as it does on
// a thread that has seen nothing.
TEST(CodeKnownInsns, RepeatedBytesListAsTheyDoTheFirstTime) {
  std::mt19937 Rng(7);
  for (int Round = 0; Round < 120; ++Round) {
    std::vector<uint8_t> Bytes;
    std::vector<TPieceFixup> Fixups;
    const int Count = 4 + static_cast<int>(Rng() % 40);
    for (int K = 0; K < Count; ++K) {
      const TEncoding& E = Encodings()[Rng() % Encodings().size()];
      if (E.FixupAt >= 0 && Rng() % 2) {
        TPieceFixup F;
        F.Offset = static_cast<uint32_t>(Bytes.size() + E.FixupAt);
        F.Kind = 1;
        F.Info = FixupKindInfo(7, 1);
        // Now and then a name longer than the formatter takes ("?").
        static const std::string Long(500, 'L');
        const uint32_t Pick = Rng() % 9;
        F.Target = Pick == 0 ? std::string_view(Long) : Pick % 2 ? "Form1" : "System.@LStrAsg";
        F.Self = Rng() % 5 == 0;
        Fixups.push_back(F);
      }
      Bytes.insert(Bytes.end(), E.Bytes.begin(), E.Bytes.end());
    }
    Bytes.push_back(0xC3);  // ret
    // A routine without a name (places outside it are then bare numbers).
    const std::string Self = Round % 3 ? "Self" : "";
    const TOutcome Warm = Disassemble(Bytes, Fixups, Self);
    if (Round % 4 == 0) {
      EXPECT_EQ(Warm, DisassembleCold(Bytes, Fixups, Self)) << "round " << Round;
    }
  }
  // The cases the lookups must tell apart, side by side.
  const std::vector<uint8_t> Twice = {0xA1, 0x10, 0x00, 0x00, 0x00,   // mov eax, [Form1+$10]
                                      0xA1, 0x10, 0x00, 0x00, 0x00,   // mov eax, [$00000010]
                                      0xEB, 0x00, 0xEB, 0x00,         // jmp @1; @1: jmp @2
                                      0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                                      0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0xC3};
  TPieceFixup F;
  F.Offset = 1;
  F.Kind = 1;
  F.Info = FixupKindInfo(7, 1);
  F.Target = "Form1";
  const TOutcome O = Disassemble(Twice, {F});
  ASSERT_GE(O.Texts.size(), 4u);
  EXPECT_NE(O.Texts[0], O.Texts[1]);
  EXPECT_NE(O.Texts[0].find("Form1"), std::string::npos);
  EXPECT_EQ(O.Texts[1].find("Form1"), std::string::npos);
  EXPECT_EQ(O.Texts[2], "jmp @1");
  EXPECT_EQ(O.Texts[3], "jmp @2");
}

TEST(CodeKnownInsns, TextsKeptByTheirBytesAndLength) {
  TInsnTextCache C;
  std::vector<uint8_t> Buf(64, 0x90);
  Buf[20] = 0x8B;
  Buf[21] = 0xD8;
  // Read by whole words where 16 bytes may be read, byte by byte at a
  // piece's end: the same key.
  C.Add(&Buf[20], 2, 44, "mov ebx, eax");
  std::vector<uint8_t> Tail = {0x8B, 0xD8};
  EXPECT_EQ(C.Find(Tail.data(), 2, 2), "mov ebx, eax");
  // The bytes after the instruction do not count; its length does.
  Buf[22] = 0x00;
  EXPECT_EQ(C.Find(&Buf[20], 2, 44), "mov ebx, eax");
  EXPECT_EQ(C.Find(&Buf[20], 3, 44), "");
  EXPECT_EQ(C.Find(&Buf[20], 1, 44), "");
  // Fifteen bytes, the longest; sixteen are never kept.
  C.Add(&Buf[0], 15, 64, "fifteen");
  C.Add(&Buf[0], 16, 64, "sixteen");
  EXPECT_EQ(C.Find(&Buf[0], 15, 64), "fifteen");
  EXPECT_EQ(C.Find(&Buf[0], 15, 15), "fifteen");
  EXPECT_EQ(C.Find(&Buf[0], 16, 64), "");
  // Full: further texts are not kept, the kept ones stay.
  std::vector<uint8_t> Many(8);
  for (uint32_t K = 0; K < 100000; ++K) {
    for (int B = 0; B < 4; ++B) Many[B] = static_cast<uint8_t>(K >> (8 * B));
    C.Add(Many.data(), 4, 4, "x");
  }
  EXPECT_LT(C.Size(), 100000u);
  EXPECT_EQ(C.Find(Tail.data(), 2, 2), "mov ebx, eax");
}
