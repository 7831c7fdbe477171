// Reading a run of units on several threads with the results of one: each
// unit is read on a worker (the reader keeps its state per thread), and what
// was read is handed to the calling thread in the order of the run, so that
// everything that numbers or orders (name pools, reports, indexes) happens
// there as it would on one thread. A unit gets the construction number it
// would have had on one thread (so the first unit of the run, and only it,
// has error texts without the unit's name). Workers run at most Window units
// ahead of the caller, which bounds the memory of what waits.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "DCU_Unit.h"
#include "Platform.h"

// The number of threads to read with when none is asked for: the cores.
inline unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }
// The threads that read: Jobs, or one where the system's reading on threads
// is not to be trusted (Platform.h).
inline unsigned ReadingJobs(unsigned Jobs) { return UnitsReadOnThreads ? Jobs : 1u; }

// Reads items 0 to N-1 with Read on Jobs worker threads, at most Window
// items ahead of the one the caller takes next; Take hands them over in
// order, waiting for each (and raises what its Read raised). The workers
// stop and are waited for when the reader goes.
template <class TResult>
class TOrderedReader {
 public:
  TOrderedReader(size_t N, unsigned Jobs, std::function<TResult(size_t)> Read)
      : Read(std::move(Read)), Slots(N), Base(UnitConstructionCount), Window(4 * size_t(std::max(1u, Jobs))) {
    for (unsigned K = 0; K < std::min<size_t>(std::max(1u, Jobs), N); ++K) Threads.emplace_back([this] { Work(); });
  }
  ~TOrderedReader() {
    {
      std::lock_guard L(M);
      Stop = true;
    }
    Room.notify_all();
    for (std::thread& T : Threads) T.join();
  }
  TOrderedReader(const TOrderedReader&) = delete;
  TOrderedReader& operator=(const TOrderedReader&) = delete;

  // Item I, the next in order; the calling thread then counts the units of
  // the run up to it as read.
  TResult Take(size_t I) {
    TSlot S;
    {
      std::unique_lock L(M);
      Ready.wait(L, [&] { return Slots[I].Result || Slots[I].Error; });
      S = std::move(Slots[I]);
      Taken = I + 1;
    }
    Room.notify_all();
    UnitConstructionCount = Base + static_cast<uint32_t>(I + 1);
    if (S.Error) std::rethrow_exception(S.Error);
    return std::move(*S.Result);
  }

 private:
  struct TSlot {
    std::optional<TResult> Result;
    std::exception_ptr Error;
  };
  void Work() {
    for (;;) {
      size_t I;
      {
        std::unique_lock L(M);
        Room.wait(L, [&] { return Stop || Next >= Slots.size() || Next < Taken + Window; });
        if (Stop || Next >= Slots.size()) return;
        I = Next++;
      }
      UnitConstructionCount = Base + static_cast<uint32_t>(I);
      TSlot S;
      try {
        S.Result.emplace(Read(I));
      } catch (...) {
        S.Error = std::current_exception();
      }
      std::lock_guard L(M);
      Slots[I] = std::move(S);
      Ready.notify_all();
    }
  }

  std::function<TResult(size_t)> Read;
  std::vector<TSlot> Slots;
  const uint32_t Base;
  const size_t Window;
  std::mutex M;
  std::condition_variable Ready, Room;
  size_t Next = 0, Taken = 0;
  bool Stop = false;
  std::vector<std::thread> Threads;
};

// Runs Read(I) for I in [0, N) on Jobs threads and Take(I, Result) on the
// calling thread for I in order; Take returns false to stop (no unit after
// it is taken; units being read are finished and dropped). With Jobs 1 all
// of it runs on the calling thread. Read must touch nothing shared; an
// exception it raises reaches the caller when its item's turn comes.
template <class TResult, class FRead, class FTake>
void ReadInOrder(size_t N, unsigned Jobs, FRead&& Read, FTake&& Take) {
  if (ReadingJobs(Jobs) <= 1 || N <= 1) {
    for (size_t I = 0; I < N; ++I)
      if (!Take(I, Read(I))) break;
    return;
  }
  TOrderedReader<TResult> Reader(N, Jobs, std::forward<FRead>(Read));
  for (size_t I = 0; I < N; ++I)
    if (!Take(I, Reader.Take(I))) break;
}
