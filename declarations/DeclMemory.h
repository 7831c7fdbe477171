// The memory of an outline built in an arena of its own (OwnArena of
// TDeclOutlineOptions): the strings, lists and parts made while it is built
// come from blocks the outline owns, handed out from the front, and go back
// with the outline all at once, block by block, instead of one by one (an
// outline of a large unit holds hundreds of thousands).
//
// What is made while an arena is active (TDeclArenaScope) comes from it;
// what is released while an arena is active and lies in one of its blocks
// stays in it, for what is made next of its size (a list's room as it
// grows, a builder's texts); anything else comes from and goes back to the
// heap. An outline's arena is active while it is built and while it is
// destroyed, so that its parts may be changed, copied or moved between
// outlines at other times (not while another outline is built on the same
// thread): a part made outside its outline's arena lives on the heap, and
// one that leaves its outline (moved into another object) must not outlive
// the outline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

class TDeclArena {
 public:
  TDeclArena() = default;
  TDeclArena(const TDeclArena&) = delete;
  TDeclArena& operator=(const TDeclArena&) = delete;

  // Size bytes, aligned for any object.
  void* Allocate(size_t Size) {
    Size = (Size + Align - 1) & ~(Align - 1);
    if (Size <= LargestKept) {
      if (TKept*& K = Kept[Size / Align]) return std::exchange(K, K->Next);
    }
    if (Size > Left) return AllocateInNewBlock(Size);
    void* P = Free;
    Free += Size;
    Left -= Size;
    return P;
  }
  // Whether P lies in one of the arena's blocks.
  bool Owns(const void* P) const;
  // Takes back P, Size bytes of the arena's, for what is made next of its
  // size (nothing of the arena is kept while it goes).
  void Recycle(void* P, size_t Size) noexcept {
    Size = (Size + Align - 1) & ~(Align - 1);
    if (Going || Size > LargestKept) return;
    Kept[Size / Align] = ::new (P) TKept{Kept[Size / Align]};
  }
  // Says that the arena goes: what is released is no longer kept.
  void SetGoing() { Going = true; }
  // The bytes of the arena's blocks (for measurements and tests).
  size_t BlockBytes() const;

 private:
  static constexpr size_t Align = alignof(std::max_align_t);
  struct TBlock {
    std::unique_ptr<std::byte[]> Mem;
    uintptr_t Begin, End;
  };
  void* AllocateInNewBlock(size_t Size);

  // Released pieces, by size in steps of Align, up to LargestKept bytes.
  struct TKept {
    TKept* Next;
  };
  static constexpr size_t LargestKept = 4096;
  TKept* Kept[LargestKept / Align + 1] = {};
  bool Going = false;

  std::vector<TBlock> Blocks;  // in address order
  std::byte* Free = nullptr;
  size_t Left = 0;
  size_t NextBlock = size_t{16} << 10;
  mutable size_t LastHit = 0;  // the block Owns found last
};

// The arena active on this thread, or null.
extern constinit thread_local TDeclArena* ActiveDeclArena;

// Makes Arena the active one while it lives (null: none).
class TDeclArenaScope {
 public:
  explicit TDeclArenaScope(TDeclArena* Arena);
  ~TDeclArenaScope() { ActiveDeclArena = Saved; }
  TDeclArenaScope(const TDeclArenaScope&) = delete;
  TDeclArenaScope& operator=(const TDeclArenaScope&) = delete;

 private:
  TDeclArena* Saved;
};

// Size bytes from the active arena, else from the heap.
inline void* AllocateDeclMemory(size_t Size) {
  if (ActiveDeclArena) return ActiveDeclArena->Allocate(Size);
  return ::operator new(Size);
}
// Size bytes of AllocateDeclMemory: back to the active arena that holds
// them, else to the heap.
inline void ReleaseDeclMemory(void* P, size_t Size) noexcept {
  if (!P) return;
  if (ActiveDeclArena && ActiveDeclArena->Owns(P)) return ActiveDeclArena->Recycle(P, Size);
  ::operator delete(P);
}

// The allocator of the outline's lists.
template <class T>
struct TDeclAllocator {
  using value_type = T;
  TDeclAllocator() = default;
  template <class U>
  TDeclAllocator(const TDeclAllocator<U>&) noexcept {}
  T* allocate(size_t N) {
    if (N > size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateDeclMemory(N * sizeof(T)));
  }
  void deallocate(T* P, size_t N) noexcept { ReleaseDeclMemory(P, N * sizeof(T)); }
  template <class U>
  bool operator==(const TDeclAllocator<U>&) const noexcept {
    return true;
  }
};

// A list of the outline.
template <class T>
using TDeclList = std::vector<T, TDeclAllocator<T>>;
