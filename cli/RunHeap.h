// The heap of a command-line run (SetUpRunHeap): set up once, before the
// run allocates anything much.
#pragma once

#include <cstdint>

// The heap of a run that reads unit after unit, each unit's facts and
// outline made, written and freed before the next: what a unit frees is
// kept for the next one (no trimming, blocks up to 4 MiB from the heap
// rather than mapped afresh each time), its threads share the one heap
// (unless AllowHeapsForThreads says otherwise),
// and 16 MiB of it are reserved ahead and asked for in 2 MiB pages. A fresh
// small page costs the system a fault on first touch; the outline of a
// large unit touches thousands of them, a 2 MiB page takes one fault for
// 512. Larger blocks (the tables of a unit of tens of megabytes) are mapped
// in small pages, so that a large page never holds much that is not used:
// the peak of such a unit stays what it touches. Past the part reserved,
// the heap grows in ordinary pages. glibc on Linux only; elsewhere (and
// under the sanitizers, whose allocator is their own) the heap is left as
// it is.
struct TRunHeap {
  // Where the part in large pages begins (a 2 MiB boundary): the heap hands
  // out its next blocks from there. 0: the heap was left as it was.
  uintptr_t LargeFrom = 0;
  uintptr_t LargeTo = 0;  // where it ends
  bool Advised = false;   // the system took the request for large pages
};
TRunHeap SetUpRunHeap();

// For a run that reads units on Threads threads (the folder modes, and
// --json --decls): a heap of its own for each, so that their allocations
// take no lock the others hold (one shared heap costs a folder read on two
// threads about a third of its time in waiting). What each thread frees
// stays in its own heap.
void AllowHeapsForThreads(unsigned Threads);

// What a thread that reads and outlines units for a run does first: the
// heap of its own that AllowHeapsForThreads gave it is asked for in 2 MiB
// pages as it grows, as the run's heap is (the first 16 MiB): a thread that
// outlines unit after unit touches fresh memory until its heap is as large
// as what it holds at a time, a fault for each small page (glibc on Linux:
// a thread's heap is a mapping of its own, aligned to its greatest size).
void GiveThreadHeapLargePages();
