// Memory for the records of one unit: blocks handed out from the front,
// growing in size, blocks of released arenas and unit images kept for the
// next units, and the release of a single record (a no-op for the memory of
// a live arena).
#include "DCU_Arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Sanitizer builds keep one heap allocation per record, so that the
// sanitizers see every record's lifetime.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UseArenas = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool UseArenas = false;
#else
constexpr bool UseArenas = true;
#endif
#else
constexpr bool UseArenas = true;
#endif

constexpr std::size_t FirstBlock = std::size_t{64} << 10;
constexpr std::size_t LargestBlock = std::size_t{8} << 20;

// Each thread has its own arenas: a unit is read and released on one thread.
constinit thread_local TRecordArena* NewestLive = nullptr;

// Blocks of released arenas and images kept for the next units. Fresh
// blocks cost a page fault per page on first touch (and the system clears
// each page), which for units loaded one after another would eat much of
// what the arena saves. Each thread keeps its own: a block goes back to the
// next unit of the thread that used it, whose core has it at hand, and no
// lock is shared. A block released on a thread whose store has gone (at the
// thread's or the program's end) goes straight back to the system.
struct TSpareBlock {
  TBlockMem Mem;
  std::size_t Size;
};
}  // namespace

struct TSpareStore {
  std::vector<TSpareBlock> Blocks;
  std::size_t Bytes = 0;
  // What the largest arena and the largest image of the thread took.
  std::size_t LargestArena = 0, LargestImage = 0;
  TSpareStore();
  ~TSpareStore();
};

namespace {
// The store of a thread that holds a TThreadBlockStore, else null: such a
// thread never makes the store below. Not every system can give a thread
// that ends a thread-local object with a destructor: where thread-local
// variables are emulated on keys of the thread library (MinGW-w64), the
// storage of such an object can be freed at the thread's end before its
// destructor runs, which then frees what the freed storage held.
constinit thread_local TSpareStore* OwnedSpares = nullptr;
constinit thread_local bool SparesGone = false;
}  // namespace

TSpareStore::TSpareStore() = default;
TSpareStore::~TSpareStore() {
  if (OwnedSpares != this) SparesGone = true;
}

namespace {
// The thread's store, or null once it has gone: the one of its
// TThreadBlockStore, else one of the thread's own, made when first asked
// for and freed at the thread's end (threads that end hold a
// TThreadBlockStore; the program's first thread need not).
TSpareStore* Spares() {
  if (OwnedSpares) return OwnedSpares;
  if (SparesGone) return nullptr;
  thread_local TSpareStore S;
  return &S;
}

// What the kept blocks may add up to: what the largest arena and the
// largest image of the run took, at least SpareFloor, at most SpareCeiling.
constexpr std::size_t SpareFloor = std::size_t{16} << 20;
constexpr std::size_t SpareCeiling = std::size_t{1} << 30;
std::size_t SpareLimit(const TSpareStore& S) {
  return std::min(SpareCeiling, std::max(SpareFloor, S.LargestArena + S.LargestImage));
}

// Images below this size come from the heap and go back to it.
constexpr std::size_t PooledImageMin = LargeBlockMin;

// Keeps a released block, the oldest kept blocks giving way to it while
// the kept blocks would exceed the limit.
void KeepSpare(TBlockMem Mem, std::size_t Size) noexcept {
  TSpareStore* Kept = Spares();
  if (!Kept) return;
  TSpareStore& S = *Kept;
  try {
    S.Blocks.push_back(TSpareBlock{std::move(Mem), Size});
  } catch (...) {
    return;  // no room to note it: the block went back to the heap
  }
  S.Bytes += Size;
  std::size_t Drop = 0;
  while (S.Bytes > SpareLimit(S) && Drop < S.Blocks.size()) S.Bytes -= S.Blocks[Drop++].Size;
  S.Blocks.erase(S.Blocks.begin(), S.Blocks.begin() + static_cast<std::ptrdiff_t>(Drop));
}

// The smallest kept block of Size to MaxSize bytes (its size in Got), or null.
TBlockMem TakeSpare(std::size_t Size, std::size_t MaxSize, std::size_t& Got) {
  TSpareStore* Kept = Spares();
  if (!Kept) return nullptr;
  TSpareStore& S = *Kept;
  auto& Blocks = S.Blocks;
  std::size_t Best = Blocks.size();
  for (std::size_t I = 0; I < Blocks.size(); ++I) {
    const std::size_t N = Blocks[I].Size;
    // Of blocks of one size, the one kept last: a unit read again then gets
    // its image back (released after its arena) before its arena's blocks.
    if (N >= Size && N <= MaxSize && (Best == Blocks.size() || N <= Blocks[Best].Size)) Best = I;
  }
  if (Best == Blocks.size()) return nullptr;
  Got = Blocks[Best].Size;
  TBlockMem Mem = std::move(Blocks[Best].Mem);
  Blocks.erase(Blocks.begin() + static_cast<std::ptrdiff_t>(Best));
  S.Bytes -= Got;
  return Mem;
}

constexpr std::size_t HugePage = std::size_t{2} << 20;

// Whether NewBlock maps a block of Size bytes.
constexpr bool IsMappedBlock(std::size_t Size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  return UseArenas && Size >= LargeBlockMin;
#else
  (void)Size;
  return false;
#endif
}

// A block of at least Size bytes (the size made in Got): see TBlockMem. A
// large one is mapped at a 2 MiB boundary in whole 2 MiB pages, with the
// system asked for large pages (a mapping that fails throws
// std::bad_alloc); a smaller one is heap memory. The deleter tells the two
// apart by size, by the same rule (IsMappedBlock). Exact: only the first
// Size bytes will be touched (an image); the large pages then end at the
// last boundary inside them, and the rest of the last page stays in small
// pages, which take memory only as far as they are touched.
TBlockMem NewBlock(std::size_t Size, std::size_t& Got, [[maybe_unused]] bool Exact = false) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (IsMappedBlock(Size)) {
    const std::size_t Want = (Size + HugePage - 1) & ~(HugePage - 1);
    // Room to slide to the boundary; the parts before and after are unmapped.
    void* Raw = mmap(nullptr, Want + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (Raw == MAP_FAILED) throw std::bad_alloc();
    const auto Begin = reinterpret_cast<uintptr_t>(Raw);
    const uintptr_t Aligned = (Begin + HugePage - 1) & ~(HugePage - 1);
    if (Aligned > Begin) munmap(Raw, Aligned - Begin);
    const uintptr_t End = Begin + Want + HugePage;
    if (End > Aligned + Want) munmap(reinterpret_cast<void*>(Aligned + Want), End - (Aligned + Want));
    const std::size_t Large = Exact ? Size & ~(HugePage - 1) : Want;
    if (Large) madvise(reinterpret_cast<void*>(Aligned), Large, MADV_HUGEPAGE);  // a refusal changes nothing
    Got = Want;
    return TBlockMem(reinterpret_cast<std::byte*>(Aligned), TBlockFree{Want});
  }
#endif
  Got = Size;
  return TBlockMem(new std::byte[Size], TBlockFree{Size});
}


}  // namespace

constinit thread_local TRecordArena* ActiveRecordArena = nullptr;

TRecordArena::TRecordArena() {
  Older = NewestLive;
  if (NewestLive) NewestLive->Newer = this;
  NewestLive = this;
}

TRecordArena::~TRecordArena() {
  if (Newer) Newer->Older = Older;
  else NewestLive = Older;
  if (Older) Older->Newer = Newer;
  if (ActiveRecordArena == this) ActiveRecordArena = nullptr;
  std::size_t Total = 0;
  for (const TBlock& B : Blocks) Total += B.End - B.Begin;
  if (TSpareStore* S = Spares()) S->LargestArena = std::max(S->LargestArena, Total);
  for (TBlock& B : Blocks) KeepSpare(std::move(B.Mem), B.End - B.Begin);
}

void* TRecordArena::AllocateInNewBlock(std::size_t Size) {
  std::size_t Want =
      Blocks.empty() ? FirstBlock
                     : std::min(LargestBlock, static_cast<std::size_t>(2 * (Blocks.back().End - Blocks.back().Begin)));
  if (Want < Size) Want = Size;
  // operator new[] of std::byte gives memory aligned for any object of at
  // most the default new alignment, and RecordAlign is not more than that.
  std::size_t Got = 0;
  TBlockMem Mem = TakeSpare(Want, SIZE_MAX, Got);
  if (!Mem) Mem = NewBlock(Want, Got);
  Want = Got;
  const auto Begin = reinterpret_cast<uintptr_t>(Mem.get());
  Free = Mem.get();
  Blocks.push_back(TBlock{std::move(Mem), Begin, Begin + Want});
  Left = Want;
  return Allocate(Size);
}

bool TRecordArena::Owns(const void* P) const {
  const auto A = reinterpret_cast<uintptr_t>(P);
  for (auto It = Blocks.rbegin(); It != Blocks.rend(); ++It)
    if (A >= It->Begin && A < It->End) return true;
  return false;
}

TArenaScope::TArenaScope(TRecordArena& Arena) : Saved(ActiveRecordArena) {
  if (UseArenas) ActiveRecordArena = &Arena;
}

TArenaScope::~TArenaScope() { ActiveRecordArena = Saved; }

TReleasedRecordLog* ReleasedRecordLog = nullptr;

void ReleaseRecord(void* P, std::size_t Size) noexcept {
  if (!P) return;
  if (ReleasedRecordLog) {
    try {
      ReleasedRecordLog->Records.push_back(P);
    } catch (...) {
      ReleasedRecordLog->Lost = true;
    }
  }
  if (UseArenas)
    for (const TRecordArena* A = NewestLive; A; A = A->Older)
      if (A->Owns(P)) return;
  // clang before 19 offers the sized form only with -fsized-deallocation.
#if defined(__cpp_sized_deallocation)
  ::operator delete(P, Size);
#else
  (void)Size;
  ::operator delete(P);
#endif
}

bool RecordArenasInUse() { return UseArenas; }

TImageBlock NewImageBlock(std::size_t Size) {
  if (Size == 0) Size = 1;
  std::size_t Got = Size;
  TBlockMem Mem;
  // A kept block up to twice the size: an image does not hold on to a block
  // that a larger unit's arena or image could use.
  if (UseArenas && Size >= PooledImageMin) Mem = TakeSpare(Size, 2 * Size + HugePage, Got);
  if (!Mem) Mem = NewBlock(Size, Got, true);
  // The bytes of the block are accessed as unsigned char, which may access
  // the bytes of any object.
  return TImageBlock(reinterpret_cast<uint8_t*>(Mem.release()), TImageRelease{Got});
}

void TImageRelease::operator()(uint8_t* P) const noexcept {
  TBlockMem Mem(reinterpret_cast<std::byte*>(P), TBlockFree{Size});
  if (!Mem || !UseArenas || Size < PooledImageMin) return;
  if (TSpareStore* S = Spares()) S->LargestImage = std::max(S->LargestImage, Size);
  KeepSpare(std::move(Mem), Size);
}

void TBlockFree::operator()(std::byte* P) const noexcept {
  if (!P) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (IsMappedBlock(Size)) {
    munmap(P, Size);
    return;
  }
#endif
  delete[] P;
}

std::size_t SpareBlockBytes() {
  const TSpareStore* S = Spares();
  return S ? S->Bytes : 0;
}

TThreadBlockStore::TThreadBlockStore() : Store(std::make_unique<TSpareStore>()), Outer(OwnedSpares) {
  OwnedSpares = Store.get();
}

TThreadBlockStore::~TThreadBlockStore() {
  Store.reset();  // the blocks go back to the system
  OwnedSpares = Outer;
}
