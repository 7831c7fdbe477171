// The blocks of an outline's arena (see DeclMemory.h).
#include "DeclMemory.h"

#include <algorithm>
#include <cstdint>

#include "DCU_Arena.h"

constinit thread_local TDeclArena* ActiveDeclArena = nullptr;

namespace {
constexpr size_t LargestBlock = size_t{1} << 20;
}

void* TDeclArena::AllocateInNewBlock(size_t Size) {
  // What would take a good part of a block gets one of its own; the block
  // being handed out goes on.
  const bool OwnBlock = Size > NextBlock / 4;
  const size_t BlockSize = OwnBlock ? Size : NextBlock;
  TBlock B{std::make_unique_for_overwrite<std::byte[]>(BlockSize), 0, 0};
  std::byte* const Mem = B.Mem.get();
  B.Begin = reinterpret_cast<uintptr_t>(Mem);
  B.End = B.Begin + BlockSize;
  const auto At = std::upper_bound(Blocks.begin(), Blocks.end(), B.Begin,
                                   [](uintptr_t A, const TBlock& X) { return A < X.Begin; });
  Blocks.insert(At, std::move(B));
  if (OwnBlock) return Mem;
  NextBlock = std::min(LargestBlock, 2 * NextBlock);
  Free = Mem + Size;
  Left = BlockSize - Size;
  return Mem;
}

bool TDeclArena::Owns(const void* P) const {
  const auto A = reinterpret_cast<uintptr_t>(P);
  // Parts released one after another mostly lie in one block.
  if (LastHit < Blocks.size() && A >= Blocks[LastHit].Begin && A < Blocks[LastHit].End) return true;
  const auto At = std::upper_bound(Blocks.begin(), Blocks.end(), A, [](uintptr_t Q, const TBlock& X) { return Q < X.Begin; });
  if (At == Blocks.begin() || A >= std::prev(At)->End) return false;
  LastHit = static_cast<size_t>(std::prev(At) - Blocks.begin());
  return true;
}

size_t TDeclArena::BlockBytes() const {
  size_t N = 0;
  for (const TBlock& B : Blocks) N += B.End - B.Begin;
  return N;
}

// Sanitizer builds keep every part a heap allocation of its own, as they
// keep every record of a unit (DCU_Arena.h), so that the sanitizers see
// each one's lifetime.
TDeclArenaScope::TDeclArenaScope(TDeclArena* Arena) : Saved(ActiveDeclArena) {
  ActiveDeclArena = RecordArenasInUse() ? Arena : nullptr;
}
