// Reading a run of units on several threads with the results of one: each
// unit is read on some thread (the reader keeps its state per thread), and
// what was read is handed to the calling thread in the order of the run, so that
// everything that numbers or orders (name pools, reports, indexes) happens
// there as it would on one thread. A unit gets the construction number it
// would have had on one thread (so the first unit of the run, and only it,
// has error texts without the unit's name). Reading runs at most Window units
// ahead of the caller, which bounds the memory of what waits.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "DCU_Arena.h"
#include "DCU_Unit.h"
#include "Platform.h"

// The number of threads to read with when none is asked for: the cores.
inline unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }
// The threads that read: Jobs, or one where the system's reading on threads
// is not to be trusted (Platform.h).
inline unsigned ReadingJobs(unsigned Jobs) { return UnitsReadOnThreads ? Jobs : 1u; }

// Reads items 0 to N-1 with Read on Jobs threads, the calling thread among
// them: Jobs - 1 workers, and the caller, which reads what nobody has taken
// yet while the item it waits for is not done (or, where the caller is not
// to read, Jobs workers). Reading runs at most Window
// items ahead of the one the caller takes next; Take hands them over in
// order (and raises what an item's Read raised). Nobody sleeps or wakes
// anybody while there is work: a worker waits only when it is a whole
// window ahead, until half of it is free again, and the caller only when
// every item of the window is taken and its own is not done, until that one
// is. The workers stop and are waited for when the reader goes.
template <class TResult>
class TOrderedReader {
 public:
  // WindowPerJob: the window is that many items a thread. CallerReads
  // false: the caller only takes, and Jobs workers read. ThreadStart, when
  // given, is what each worker does first (the program's set-up of a
  // thread's heap).
  TOrderedReader(size_t N, unsigned Jobs, std::function<TResult(size_t)> Read, size_t WindowPerJob = 16,
                 bool CallerReads = true, void (*ThreadStart)() = nullptr)
      : Read(std::move(Read)),
        ThreadStart(ThreadStart),
        N(N),
        Base(UnitConstructionCount),
        Window(std::max<size_t>(2, WindowPerJob * std::max(1u, Jobs))),
        CallerReads(CallerReads),
        Slots(std::max<size_t>(1, std::min(N, Window))),
        ReadBy(N) {
    const size_t Workers = std::min<size_t>(CallerReads ? std::max(2u, Jobs) - 1 : std::max(1u, Jobs), N);
    for (size_t K = 0; K < Workers; ++K) Bins.push_back(std::make_unique<TBin>());
    for (size_t K = 0; K < Workers; ++K) Threads.emplace_back([this, K] { Work(K); });
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
    TSlot& S = SlotOf(I);
    while (!S.Done.load()) {
      if (const size_t J = CallerReads ? Claim() : N; J < N) {
        ReadItem(J, 0);
        continue;
      }
      std::unique_lock L(M);
      WaitedFor = I;
      Ready.wait(L, [&] { return S.Done.load(); });
      WaitedFor = NoItem;
    }
    std::optional<TResult> Result = std::move(S.Result);
    const std::exception_ptr Error = std::move(S.Error);
    S.Result.reset();
    S.Done = false;  // the slot is item I + Window's
    Taken = I + 1;
    if (WorkersWaiting.load() && Next.load() < I + 1 + Window / 2) {
      std::lock_guard L(M);
      Room.notify_all();
    }
    UnitConstructionCount = Base + static_cast<uint32_t>(I + 1);
    if (Error) std::rethrow_exception(Error);
    return std::move(*Result);
  }

  // What is left of item I when the caller is done with it, destroyed on
  // the thread that read it: memory goes back to the heap of the thread
  // that took it, where freeing it takes no lock that thread holds.
  void GiveBack(size_t I, TResult&& Spent) {
    const uint32_t By = ReadBy[I];
    if (By == 0) return;
    TBin& Bin = *Bins[By - 1];
    std::lock_guard L(Bin.M);
    Bin.Items.push_back(std::move(Spent));
  }

 private:
  static constexpr size_t NoItem = SIZE_MAX;
  struct TSlot {
    std::optional<TResult> Result;
    std::exception_ptr Error;
    std::atomic<bool> Done = false;
  };
  // What the caller gave back to a worker.
  struct TBin {
    std::mutex M;
    std::vector<TResult> Items;
  };

  // The next item nobody reads yet, if it is inside the window; else N.
  size_t Claim() {
    size_t I = Next.load();
    while (I < N && I < Taken.load() + Window)
      if (Next.compare_exchange_weak(I, I + 1)) return I;
    return N;
  }
  // Item I's place: items a window apart share one, which is free again
  // once the earlier item is taken.
  TSlot& SlotOf(size_t I) { return Slots[I % Slots.size()]; }
  // Reads item I on this thread, By (with the construction number it has on
  // one thread), and wakes the caller if it waits for that item.
  void ReadItem(size_t I, uint32_t By) {
    UnitConstructionCount = Base + static_cast<uint32_t>(I);
    TSlot& S = SlotOf(I);
    ReadBy[I] = By;
    try {
      S.Result.emplace(Read(I));
    } catch (...) {
      S.Error = std::current_exception();
    }
    S.Done = true;
    if (WaitedFor.load() == I) {
      std::lock_guard L(M);
      Ready.notify_one();
    }
  }
  // Destroys what was given back to worker K (the bin keeps the room of
  // the list it is handed instead).
  void Empty(size_t K, std::vector<TResult>& Spent) {
    {
      std::unique_lock L(Bins[K]->M, std::try_to_lock);
      if (!L) return;
      Spent.swap(Bins[K]->Items);
    }
    Spent.clear();
  }
  void Work(size_t K) {
    if (ThreadStart) ThreadStart();
    const TThreadBlockStore Blocks;  // before anything read here, which it outlives
    std::vector<TResult> Spent;
    while (!Stop.load()) {
      Empty(K, Spent);
      if (const size_t I = Claim(); I < N) {
        ReadItem(I, static_cast<uint32_t>(K + 1));
        continue;
      }
      if (Next.load() >= N) return;
      std::unique_lock L(M);
      ++WorkersWaiting;
      Room.wait(L, [&] { return Stop.load() || Next.load() < Taken.load() + Window / 2; });
      --WorkersWaiting;
    }
  }

  std::function<TResult(size_t)> Read;
  void (*const ThreadStart)();
  const size_t N;
  const uint32_t Base;
  const size_t Window;
  const bool CallerReads;
  std::vector<TSlot> Slots;
  std::vector<uint32_t> ReadBy;  // by item: 0 the caller, else worker ReadBy - 1
  std::mutex M;
  std::condition_variable Ready, Room;
  // Next: the first item nobody reads yet; Taken: the items handed over.
  std::atomic<size_t> Next = 0, Taken = 0, WaitedFor = NoItem;
  std::atomic<unsigned> WorkersWaiting = 0;
  std::atomic<bool> Stop = false;
  std::vector<std::unique_ptr<TBin>> Bins;
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
  for (size_t I = 0; I < N; ++I) {
    TResult R = Reader.Take(I);
    const bool More = Take(I, std::move(R));
    Reader.GiveBack(I, std::move(R));
    if (!More) break;
  }
}

// Part(Begin, End) of [0, N) cut into parts, run on Jobs threads (the
// calling thread among them) that take the next part when done with one;
// the results in the order of the parts (raises what a part raised). With
// Jobs 1, one part on the calling thread.
template <class TPart, class FPart>
std::vector<TPart> InParts(size_t N, unsigned Jobs, FPart&& Part) {
  const unsigned Threads = ReadingJobs(std::max(1u, Jobs));
  if (Threads <= 1 || N <= 1) {
    std::vector<TPart> One;
    One.push_back(Part(size_t{0}, N));
    return One;
  }
  // Several parts a thread, so that a thread given the larger units does
  // not leave the others waiting.
  const size_t Count = std::min<size_t>(N, size_t{8} * Threads);
  std::vector<std::optional<TPart>> Done(Count);
  std::vector<std::exception_ptr> Errors(Count);
  std::atomic<size_t> NextPart = 0;
  const auto Work = [&] {
    for (size_t K; (K = NextPart++) < Count;) try {
        Done[K].emplace(Part(N * K / Count, N * (K + 1) / Count));
      } catch (...) {
        Errors[K] = std::current_exception();
      }
  };
  std::vector<std::thread> Others;
  for (unsigned T = 1; T < std::min<size_t>(Threads, Count); ++T)
    Others.emplace_back([&] {
      const TThreadBlockStore Blocks;
      Work();
    });
  Work();  // catches what its parts raise: the threads are always joined
  for (std::thread& T : Others) T.join();
  std::vector<TPart> Parts;
  Parts.reserve(Count);
  for (size_t K = 0; K < Count; ++K) {
    if (Errors[K]) std::rethrow_exception(Errors[K]);
    Parts.push_back(std::move(*Done[K]));
  }
  return Parts;
}
