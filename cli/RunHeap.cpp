// The command line's heap: reserved ahead in large pages (RunHeap.h).
#include "RunHeap.h"

#include <cstddef>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UNITPEEK_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define UNITPEEK_OWN_ALLOCATOR 1
#endif
#endif

TRunHeap SetUpRunHeap() {
  TRunHeap H;
#if defined(__GLIBC__) && defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(UNITPEEK_OWN_ALLOCATOR)
  constexpr size_t HugePage = size_t{2} << 20;
  constexpr size_t Reserve = size_t{16} << 20;
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, static_cast<int>(Reserve + 2 * HugePage));
  // A block larger than what the heap has free makes it grow by the pad.
  // The heap notes the size of the free rest just past the block: that
  // touches a small page there, and a 2 MiB range with a small page in it
  // stays in small pages. The large pages begin at the first boundary past
  // that note.
  void* P = std::malloc(HugePage);
  if (!P) return H;
  const auto At = reinterpret_cast<uintptr_t>(P);
  const auto Lo = (At + HugePage + 4 * sizeof(size_t) + HugePage - 1) & ~(HugePage - 1);
  const auto Hi = reinterpret_cast<uintptr_t>(sbrk(0)) & ~(HugePage - 1);
  std::free(P);
  if (Hi <= Lo) return H;
  // A refusal (a system without large pages) changes nothing else.
  H.Advised = madvise(reinterpret_cast<void*>(Lo), Hi - Lo, MADV_HUGEPAGE) == 0;
  // The heap hands out the next blocks from where P was. A block kept for
  // the run (touched at its head only) takes the part below the boundary,
  // so that the run's blocks start on it. It ends where the boundary
  // begins, the heap keeping one word of size before each block. Held in a
  // volatile: the compiler drops a block it sees never used.
  [[maybe_unused]] static void* volatile Below = nullptr;
  Below = std::malloc(Lo - At - sizeof(size_t));
  H.LargeFrom = Lo;
  H.LargeTo = Hi;
#endif
  return H;
}

void AllowHeapsForThreads(unsigned Threads) {
#if defined(__GLIBC__) && defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(UNITPEEK_OWN_ALLOCATOR)
  if (Threads > 1) mallopt(M_ARENA_MAX, static_cast<int>(Threads));
#else
  (void)Threads;
#endif
}

void GiveThreadHeapLargePages() {
#if defined(__GLIBC__) && defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(UNITPEEK_OWN_ALLOCATOR)
  // glibc maps the heap of a thread's arena as 64 MiB (twice the largest
  // mapping threshold on 64-bit systems) at a multiple of 64 MiB; a block
  // of the thread's lies in it. The program's own heap (the first thread's)
  // lies below the break and is left alone.
  constexpr uintptr_t ThreadHeapSize = uintptr_t{64} << 20;
  void* P = std::malloc(64);
  if (!P) return;
  const auto At = reinterpret_cast<uintptr_t>(P);
  std::free(P);
  if (At < reinterpret_cast<uintptr_t>(sbrk(0))) return;
  // A refusal, or a guess that missed, changes nothing else.
  madvise(reinterpret_cast<void*>(At & ~(ThreadHeapSize - 1)), ThreadHeapSize, MADV_HUGEPAGE);
#endif
}
