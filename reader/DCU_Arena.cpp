// Memory for the records of one unit: blocks handed out from the front,
// growing in size, blocks of released arenas kept for the next unit, and the
// release of a single record (a no-op for the memory of a live arena).
#include "DCU_Arena.h"

#include <algorithm>
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

TRecordArena* NewestLive = nullptr;

// Blocks of released arenas kept for the next unit, up to SpareLimit bytes:
// fresh blocks cost a page fault per page on first touch, which for units
// loaded one after another would eat much of what the arena saves.
constexpr std::size_t SpareLimit = std::size_t{16} << 20;
// Never destroyed, so that a unit released during the program's exit still
// finds them.
std::vector<std::unique_ptr<std::byte[]>>& SpareMem() {
  static auto* Mem = new std::vector<std::unique_ptr<std::byte[]>>;
  return *Mem;
}
std::vector<std::size_t>& SpareSize() {
  static auto* Size = new std::vector<std::size_t>;
  return *Size;
}
std::size_t SpareBytes = 0;

// Records fill a block from its start, so every page of it is touched and
// faulted in one after the other: where the system offers huge pages, a
// block of megabytes takes one fault per 2 MiB instead of one per 4 KiB.
void AskForHugePages(void* Mem, std::size_t Size) {
#if defined(MADV_HUGEPAGE)
  constexpr std::size_t Huge = std::size_t{2} << 20;
  if (Size < 2 * Huge) return;
  const long PageSize = sysconf(_SC_PAGESIZE);
  if (PageSize <= 0) return;
  const auto Page = static_cast<uintptr_t>(PageSize);
  const auto Begin = (reinterpret_cast<uintptr_t>(Mem) + Page - 1) & ~(Page - 1);
  const auto End = (reinterpret_cast<uintptr_t>(Mem) + Size) & ~(Page - 1);
  madvise(reinterpret_cast<void*>(Begin), End - Begin, MADV_HUGEPAGE);  // a refusal changes nothing
#else
  (void)Mem;
  (void)Size;
#endif
}

}  // namespace

TRecordArena* ActiveRecordArena = nullptr;

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
  for (TBlock& B : Blocks) {
    const std::size_t Size = B.End - B.Begin;
    if (SpareBytes + Size > SpareLimit) continue;  // released with the vector
    SpareMem().push_back(std::move(B.Mem));
    SpareSize().push_back(Size);
    SpareBytes += Size;
  }
}

void* TRecordArena::AllocateInNewBlock(std::size_t Size) {
  std::size_t Want =
      Blocks.empty() ? FirstBlock
                     : std::min(LargestBlock, static_cast<std::size_t>(2 * (Blocks.back().End - Blocks.back().Begin)));
  if (Want < Size) Want = Size;
  // operator new[] of std::byte gives memory aligned for any object of at
  // most the default new alignment, and RecordAlign is not more than that.
  std::unique_ptr<std::byte[]> Mem;
  auto& Sizes = SpareSize();
  for (std::size_t I = Sizes.size(); I-- > 0;) {
    if (Sizes[I] < Want) continue;
    Want = Sizes[I];
    Mem = std::move(SpareMem()[I]);
    SpareMem().erase(SpareMem().begin() + static_cast<std::ptrdiff_t>(I));
    Sizes.erase(Sizes.begin() + static_cast<std::ptrdiff_t>(I));
    SpareBytes -= Want;
    break;
  }
  if (!Mem) {
    Mem.reset(new std::byte[Want]);
    AskForHugePages(Mem.get(), Want);
  }
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

void ReleaseRecord(void* P, std::size_t Size) noexcept {
  if (!P) return;
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
