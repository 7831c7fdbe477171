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
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "DCU_Unit.h"

// The number of threads to read with when none is asked for: the cores.
inline unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

// Runs Read(I) for I in [0, N) on Jobs threads and Take(I, Result) on the
// calling thread for I in order; Take returns false to stop (no unit after
// it is taken; units being read are finished and dropped). With Jobs 1 all
// of it runs on the calling thread. Read must touch nothing shared; an
// exception it raises reaches the caller when its item's turn comes.
template <class TResult, class FRead, class FTake>
void ReadInOrder(size_t N, unsigned Jobs, FRead&& Read, FTake&& Take) {
  const uint32_t Base = UnitConstructionCount;
  if (Jobs <= 1 || N <= 1) {
    for (size_t I = 0; I < N; ++I)
      if (!Take(I, Read(I))) break;
    return;
  }
  const size_t Window = 4 * size_t(Jobs);
  struct TSlot {
    std::optional<TResult> Result;
    std::exception_ptr Error;
  };
  std::vector<TSlot> Slots(N);
  std::mutex M;
  std::condition_variable Ready, Room;
  size_t Next = 0, Taken = 0, Kept = 0;
  bool Stop = false;
  auto Worker = [&] {
    for (;;) {
      size_t I;
      {
        std::unique_lock L(M);
        Room.wait(L, [&] { return Stop || Next >= N || Next < Taken + Window; });
        if (Stop || Next >= N) return;
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
  };
  std::vector<std::thread> Threads;
  for (unsigned K = 0; K < std::min<size_t>(Jobs, N); ++K) Threads.emplace_back(Worker);
  auto StopAll = [&] {
    {
      std::lock_guard L(M);
      Stop = true;
    }
    Room.notify_all();
    for (std::thread& T : Threads) T.join();
  };
  try {
    for (size_t I = 0; I < N; ++I) {
      TSlot S;
      {
        std::unique_lock L(M);
        Ready.wait(L, [&] { return Slots[I].Result || Slots[I].Error; });
        S = std::move(Slots[I]);
        Taken = I + 1;
      }
      Room.notify_all();
      if (S.Error) std::rethrow_exception(S.Error);
      if (!Take(I, std::move(*S.Result))) break;
      Kept = I + 1;
    }
  } catch (...) {
    StopAll();
    throw;
  }
  StopAll();
  UnitConstructionCount = Base + static_cast<uint32_t>(Kept);
}
