// The texts of instructions that name nothing, kept by their bytes.
//
// Most instructions of a unit are written many times over ("push ebx",
// "mov eax, ebx", "mov eax, [ebp-$04]"): where no fixup falls among an
// instruction's bytes and no operand counts from its address, its text is
// the same wherever it stands, and formatting it again costs more than the
// whole rest of its listing. The disassembler keeps the texts of such
// instructions here and looks them up before it formats one; tables of the
// same kind keep, by other keys, the texts around the names and labels that
// it writes anew each time.
//
// A fixed number of slots (open addressing) and a bounded text store: once
// either is full, further texts are not kept, and those instructions are
// formatted each time, as they would be without the cache.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

class TInsnTextCache {
 public:
  static constexpr uint32_t MaxBytes = 15;  // the longest x86 instruction
  static constexpr uint32_t MaxBytesWithExtra = 13;

  // Up to 1 << SlotBits slots, three in four of them taken; texts of up to
  // MaxStore bytes in all.
  explicit TInsnTextCache(uint32_t SlotBits = 14, size_t StoreBytes = 256u << 10)
      : SlotCount(1u << SlotBits), MaxStore(StoreBytes), Slots(std::make_unique<TSlot[]>(SlotCount)) {}

  // The text kept for the Len bytes at P; empty when none is kept. Avail
  // bytes may be read at P (at least Len). Extra tells texts of the same
  // bytes apart (the places of the fixups among them); with an Extra, Len
  // is at most MaxBytesWithExtra.
  std::string_view Find(const uint8_t* P, uint32_t Len, size_t Avail, uint16_t Extra = 0) const {
    if (Len == 0 || Len > (Extra ? MaxBytesWithExtra : MaxBytes)) return {};
    const TKey K = KeyOf(P, Len, Avail, Extra);
    for (uint32_t I = SlotOf(K);; I = (I + 1) & (SlotCount - 1)) {
      const TSlot& S = Slots[I];
      if (S.Size == 0) return {};
      if (S.Key.Lo == K.Lo && S.Key.Hi == K.Hi) return {Store.data() + S.Start, S.Size};
    }
  }

  // Keeps Text for the Len bytes at P (which Find did not have).
  void Add(const uint8_t* P, uint32_t Len, size_t Avail, std::string_view Text, uint16_t Extra = 0) {
    if (Len == 0 || Len > (Extra ? MaxBytesWithExtra : MaxBytes) || Text.empty() || Text.size() > UINT16_MAX) return;
    if (Count >= SlotCount / 4 * 3 || Store.size() + Text.size() > MaxStore) return;
    const TKey K = KeyOf(P, Len, Avail, Extra);
    uint32_t I = SlotOf(K);
    while (Slots[I].Size != 0) {
      if (Slots[I].Key.Lo == K.Lo && Slots[I].Key.Hi == K.Hi) return;
      I = (I + 1) & (SlotCount - 1);
    }
    if (Store.capacity() == 0) Store.reserve(MaxStore);
    Slots[I] = TSlot{K, static_cast<uint32_t>(Store.size()), static_cast<uint16_t>(Text.size())};
    Store.append(Text);
    ++Count;
  }

  size_t Size() const { return Count; }

 private:
  // An instruction's bytes as two words, zero-filled to 15 bytes, and their
  // count in the last byte.
  struct TKey {
    uint64_t Lo = 0, Hi = 0;
  };
  struct TSlot {
    TKey Key;
    uint32_t Start = 0;
    uint16_t Size = 0;  // 0: free
  };
  const uint32_t SlotCount;
  const size_t MaxStore;

  // The key of the Len bytes at P (at most 15; Avail bytes may be read at
  // P), Extra in the two bytes before the count (past the bytes of an
  // instruction of at most 13).
  static TKey KeyOf(const uint8_t* P, uint32_t Len, size_t Avail, uint16_t Extra) {
    TKey K;
    if constexpr (std::endian::native == std::endian::little) {
      // Two whole words read and the bytes past the instruction masked off:
      // the same key as below without going through memory byte by byte.
      if (Avail >= 16) {
        std::memcpy(&K.Lo, P, 8);
        std::memcpy(&K.Hi, P + 8, 8);
        if (Len < 8) K.Lo &= (uint64_t{1} << (8 * Len)) - 1;
        K.Hi = Len <= 8 ? 0 : K.Hi & ((uint64_t{1} << (8 * (Len - 8))) - 1);
        K.Hi |= uint64_t{Len} << 56 | uint64_t{Extra} << 40;
        return K;
      }
    }
    uint8_t Raw[16] = {};
    std::memcpy(Raw, P, Len);
    Raw[15] = static_cast<uint8_t>(Len);
    std::memcpy(&K.Lo, Raw, 8);
    std::memcpy(&K.Hi, Raw + 8, 8);
    K.Hi |= uint64_t{Extra} << 40;
    return K;
  }
  uint32_t SlotOf(const TKey& K) const {
    const uint64_t H = (K.Lo * 0x9E3779B97F4A7C15ull) ^ (K.Hi * 0xC2B2AE3D27D4EB4Full);
    return static_cast<uint32_t>(H >> 40) & (SlotCount - 1);
  }

  std::unique_ptr<TSlot[]> Slots;
  uint32_t Count = 0;
  std::string Store;
};
