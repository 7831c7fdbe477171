// Memory for the records of one unit. A unit is read into a million small
// records that all live exactly as long as the unit; taking them from large
// blocks of the unit's own instead of one heap allocation each saves the
// heap's bookkeeping per record, in time and in memory.
//
// While a unit is being read its arena is the active one, and the records
// created then (TDCURec::operator new) come from it. Records created at any
// other time come from the heap. Deleting a record runs its destructor as
// usual; memory of an arena is given back only with the arena itself, which
// the unit releases after all its records.
//
// The blocks of released arenas and large unit images are kept for the
// units read after them, up to what the largest unit of the run took (at
// least 16 MiB, at most 1 GiB): the memory a run holds stays what one unit
// needed, and a unit read again finds its blocks ready.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "DCU_In.h"

// A block of memory for an arena or an image. Blocks of LargeBlockMin bytes
// or more are mapped in whole 2 MiB pages, where the system offers them: a
// fresh page costs the system a fault on first touch, and one large page
// takes one fault where small pages take 512 (loading a unit of a few
// megabytes from scratch would otherwise spend more time in faults than in
// reading). Smaller blocks are heap memory. The size decides which, so the
// deleter needs only the size the block was made with.
struct TBlockFree {
  std::size_t Size = 0;
  void operator()(std::byte* P) const noexcept;
};
using TBlockMem = std::unique_ptr<std::byte[], TBlockFree>;
inline constexpr std::size_t LargeBlockMin = std::size_t{256} << 10;

class TRecordArena {
 public:
  TRecordArena();
  ~TRecordArena();
  TRecordArena(const TRecordArena&) = delete;
  TRecordArena& operator=(const TRecordArena&) = delete;

  // Size bytes aligned for any record; throws std::bad_alloc.
  void* Allocate(std::size_t Size) {
    Size = (Size + RecordAlign - 1) & ~(RecordAlign - 1);
    if (Size > Left) return AllocateInNewBlock(Size);
    std::byte* P = Free;
    Free += Size;
    Left -= Size;
    Used += Size;
    return P;
  }
  // Records hold pointers and 32-bit numbers, nothing aligned wider.
  static constexpr std::size_t RecordAlign = alignof(void*);
  // True when P lies in one of this arena's blocks.
  bool Owns(const void* P) const;
  // Bytes handed out (for measurements).
  std::size_t BytesUsed() const { return Used; }

 private:
  struct TBlock {
    TBlockMem Mem;
    uintptr_t Begin;
    uintptr_t End;
  };
  void* AllocateInNewBlock(std::size_t Size);
  std::vector<TBlock> Blocks;
  std::byte* Free = nullptr;  // the free bytes at the end of the last block
  std::size_t Left = 0;
  std::size_t Used = 0;
  TRecordArena* Older = nullptr;  // the arena created before this one (live arenas form a list)
  TRecordArena* Newer = nullptr;
  friend void ReleaseRecord(void*, std::size_t) noexcept;
};

// Makes Arena the active one while the scope lasts (nests).
class TArenaScope {
 public:
  explicit TArenaScope(TRecordArena& Arena);
  ~TArenaScope();
  TArenaScope(const TArenaScope&) = delete;
  TArenaScope& operator=(const TArenaScope&) = delete;

 private:
  TRecordArena* Saved;
};

// The arena of the unit being read; null at other times and in sanitizer
// builds, where every record is a heap allocation of its own.
extern constinit thread_local TRecordArena* ActiveRecordArena;

// The allocation functions of TDCURec: from the active arena, else from the
// heap; release to the heap unless the memory belongs to a live arena.
inline void* AllocateRecord(std::size_t Size) {
  if (ActiveRecordArena) return ActiveRecordArena->Allocate(Size);
  return ::operator new(Size);
}
void ReleaseRecord(void* P, std::size_t Size) noexcept;
// While set, every record released (a record whose construction failed is
// released too) is noted here; LogLost is set when a note could not be kept.
struct TReleasedRecordLog {
  std::vector<const void*> Records;
  bool Lost = false;
};
extern TReleasedRecordLog* ReleasedRecordLog;

// False in sanitizer builds, where every record is a heap allocation of its own.
bool RecordArenasInUse();

// A block of Size bytes (not cleared) for the image of a unit. A large one
// is taken from the blocks that units released before, when one of them
// fits: units read one after another then reuse the same memory instead of
// each having the system map and clear fresh pages.
TImageBlock NewImageBlock(std::size_t Size);

// Bytes of the blocks that released units of this thread left for its next
// ones (for measurements and tests).
std::size_t SpareBlockBytes();

// The blocks the calling thread keeps for its next units, for as long as
// this lives (the thread's blocks are freed with it). A thread that reads
// or releases units and then ends makes one first thing, before anything
// it reads: otherwise the thread keeps its blocks in a thread-local store
// of its own, freed at its end, which is not safe on every system (see
// DCU_Arena.cpp). The program's first thread need not.
struct TSpareStore;
class TThreadBlockStore {
 public:
  TThreadBlockStore();
  ~TThreadBlockStore();
  TThreadBlockStore(const TThreadBlockStore&) = delete;
  TThreadBlockStore& operator=(const TThreadBlockStore&) = delete;

 private:
  std::unique_ptr<TSpareStore> Store;
  TSpareStore* Outer;
};
