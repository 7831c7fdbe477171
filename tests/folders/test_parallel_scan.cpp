// Folders read on several threads: the report, its text and JSON, and the
// find index are those of one thread, byte for byte, with units that use
// each other, stale stamps, broken files (the first unit of the run names no
// unit in its error, the others do) and units that appear twice; the
// ordered runner hands results over in order, stops when told and passes a
// worker's exception on.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "FindIndex.h"
#include "FolderReportWriters.h"
#include "FolderUnits.h"
#include "ParallelScan.h"
#include "UnitBuilder.h"
#include "UnitFolders.h"

namespace fs = std::filesystem;

namespace {

using unitbuilder::TUseSpec;

class ParallelScan : public ::testing::Test {
 protected:
  void SetUp() override {
    static int Counter = 0;
    Root = fs::temp_directory_path() / ("unitpeek-parallel-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
    // Broken files first and last in the walk's order, good ones between,
    // a unit of a stale stamp, a unit found twice.
    Write("a/0broken.dcu", {1, 2, 3});
    for (int I = 0; I < 24; ++I) {
      const std::string N = "U" + std::to_string(I);
      std::vector<TUseSpec> Uses = {{"Lib", {{"Run", I == 7 ? 99u : 4u}}}, {"System"}};
      Write("a/" + N + ".dcu", unitbuilder::FolderUnit(N, 7, Uses));
    }
    Write("a/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 4}}));
    Write("b/Lib.dcu", unitbuilder::FolderUnit("Lib", 7, {}, {{"Run", 4}}));
    Write("b/zbroken.dcu", {0x4B, 3, 0, 0x18, 0, 0});
    Write("b/Members.dcu", unitbuilder::MembersUnit("Members", "TThing", {{"Lib"}}));
  }
  void TearDown() override {
    std::error_code E;
    fs::remove_all(Root, E);
  }
  void Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const {
    fs::create_directories((Root / Rel).parent_path());
    unitbuilder::WriteUnitFile((Root / Rel).string(), Bytes);
  }
  std::vector<std::string> Paths() const { return {(Root / "a").string(), (Root / "b").string()}; }
  fs::path Root;
};

// Each scan as a run of its own: the first unit it constructs is the run's first.
TFolderReport Scan(const std::vector<std::string>& Paths, unsigned Jobs, TFindIndex* Index = nullptr,
                   const std::function<bool(size_t, size_t, const std::string&)>& Progress = {}) {
  UnitConstructionCount = 0;
  return ScanFolders(Paths, Progress, Index, Jobs);
}

std::string ReportTexts(const TFolderReport& R) {
  std::ostringstream Out;
  WriteReportText(R, Out);
  WriteReportJson(R, Out);
  return Out.str();
}

}  // namespace

TEST_F(ParallelScan, ReportAndIndexOnThreadsAreThoseOfOneThread) {
  TFindIndex One, Three;
  const TFolderReport A = Scan(Paths(), 1, &One);
  const TFolderReport B = Scan(Paths(), 3, &Three);
  ASSERT_EQ(A.Units.size(), 29u);
  EXPECT_TRUE(ReportTexts(A) == ReportTexts(B));
  // The first unit of the run names no unit in its error; a later one does.
  EXPECT_EQ(B.Units.front().Error.find(" in "), std::string::npos) << B.Units.front().Error;
  EXPECT_NE(B.Units.back().Error.find(" in zbroken "), std::string::npos) << B.Units.back().Error;
  ASSERT_EQ(One.Size(), Three.Size());
  for (const char* Pattern : {"Run", "TThing.*", "*"}) {
    const TFindPattern P(Pattern);
    std::vector<std::string> HitsOne, HitsThree;
    One.FindDecls(P, [&](std::vector<TFindHit>& H) {
      for (const TFindHit& X : H) HitsOne.push_back(X.Path + ":" + X.Name);
      return true;
    });
    Three.FindDecls(P, [&](std::vector<TFindHit>& H) {
      for (const TFindHit& X : H) HitsThree.push_back(X.Path + ":" + X.Name);
      return true;
    });
    EXPECT_EQ(HitsOne, HitsThree) << Pattern;
    EXPECT_FALSE(HitsOne.empty()) << Pattern;
  }
  UnitConstructionCount = 0;
  const TFindIndex Built = BuildFindIndex(Paths(), nullptr, 2);
  EXPECT_EQ(Built.Size(), One.Size());
  for (uint32_t I = 0; I < One.Size(); ++I) EXPECT_EQ(Built.Error(I), One.Error(I)) << I;
}

TEST_F(ParallelScan, ProgressThatStopsKeepsTheUnitsBeforeIt) {
  const auto Ten = [](size_t Done, size_t, const std::string&) { return Done < 10; };
  const TFolderReport A = Scan(Paths(), 1, nullptr, Ten);
  const TFolderReport B = Scan(Paths(), 4, nullptr, Ten);
  EXPECT_EQ(B.Units.size(), 10u);
  EXPECT_TRUE(ReportTexts(A) == ReportTexts(B));
}

TEST(ReadInOrder, HandsResultsOverInOrderStopsAndPassesExceptionsOn) {
  std::vector<size_t> Seen;
  std::mutex M;
  std::set<std::thread::id> Readers;
  ReadInOrder<size_t>(
      1000, 3,
      [&](size_t I) {
        std::lock_guard L(M);
        Readers.insert(std::this_thread::get_id());
        return I * I;
      },
      [&](size_t I, size_t&& R) {
        EXPECT_EQ(R, I * I);
        Seen.push_back(I);
        return true;
      });
  ASSERT_EQ(Seen.size(), 1000u);
  for (size_t I = 0; I < Seen.size(); ++I) EXPECT_EQ(Seen[I], I);
  // Two workers and the caller, never more.
  EXPECT_GE(Readers.size(), 1u);
  EXPECT_LE(Readers.size(), 3u);

  size_t Taken = 0;
  ReadInOrder<int>(50, 2, [](size_t) { return 1; }, [&](size_t I, int&&) { return ++Taken, I < 4; });
  EXPECT_EQ(Taken, 5u);

  EXPECT_THROW(ReadInOrder<int>(
                   20, 2,
                   [](size_t I) {
                     if (I == 6) throw std::runtime_error("six");
                     return 0;
                   },
                   [](size_t, int&&) { return true; }),
               std::runtime_error);
}

// The viewer's way: one unit a step, read ahead on threads; left half way
// (the scanner dropped, or finished early) the workers stop and nothing of
// theirs outlives it.
TEST_F(ParallelScan, AScannerReadsAheadAndStopsWhenLeft) {
  UnitConstructionCount = 0;
  TFolderScanner One(Paths(), nullptr, 1);
  while (One.ReadNext()) {
  }
  const std::string Whole = ReportTexts(One.Finish());
  UnitConstructionCount = 0;
  TFolderScanner Ahead(Paths(), nullptr, 3);
  size_t Steps = 0;
  while (Ahead.ReadNext()) ++Steps;
  EXPECT_EQ(Steps, 29u);
  EXPECT_TRUE(ReportTexts(Ahead.Finish()) == Whole);
  {
    TFolderScanner Left(Paths(), nullptr, 3);
    Left.ReadNext();
  }
  TFolderScanner Early(Paths(), nullptr, 3);
  for (int I = 0; I < 5; ++I) Early.ReadNext();
  EXPECT_EQ(Early.Finish().Units.size(), 5u);
}

// The caller reads while it waits, and a slow item does not hold the others
// back: with one worker stuck on item 0, the caller reads the items after it
// (up to the window) itself; results still come in order, each item read
// once, and what is given back is destroyed on the thread that read it.
TEST(ReadInOrder, TheCallerReadsWhileItWaitsAndSpentResultsGoBackToTheirReader) {
  struct TCounted {
    std::thread::id ReadOn;
    std::shared_ptr<std::vector<std::thread::id>> FreedOn;
    size_t Item = 0;
    TCounted() = default;
    TCounted(TCounted&& O) noexcept : ReadOn(O.ReadOn), FreedOn(std::move(O.FreedOn)), Item(O.Item) {}
    TCounted& operator=(TCounted&&) = delete;
    ~TCounted() {
      if (FreedOn) FreedOn->push_back(std::this_thread::get_id());
    }
  };
  const auto Caller = std::this_thread::get_id();
  std::atomic<bool> Release = false;
  std::atomic<int> ReadCount = 0, ByCaller = 0;
  std::vector<std::shared_ptr<std::vector<std::thread::id>>> FreedOn;
  std::vector<std::thread::id> ReadOn;
  {
    TOrderedReader<TCounted> Reader(64, 2, [&](size_t I) {
      ++ReadCount;
      if (std::this_thread::get_id() == Caller) ++ByCaller;
      // Item 0 waits until the caller has read something itself.
      if (I == 0 && std::this_thread::get_id() != Caller)
        while (!Release.load()) std::this_thread::yield();
      TCounted C;
      C.ReadOn = std::this_thread::get_id();
      C.Item = I;
      return C;
    });
    std::thread Releaser([&] {
      while (ByCaller.load() == 0) std::this_thread::yield();
      Release = true;
    });
    for (size_t I = 0; I < 64; ++I) {
      TCounted C = Reader.Take(I);
      EXPECT_EQ(C.Item, I);
      auto Freed = std::make_shared<std::vector<std::thread::id>>();
      C.FreedOn = Freed;
      FreedOn.push_back(Freed);
      ReadOn.push_back(C.ReadOn);
      Reader.GiveBack(I, std::move(C));
    }
    Releaser.join();
  }
  EXPECT_EQ(ReadCount, 64);
  EXPECT_GT(ByCaller, 0);
  // Each destroyed once; the caller's own by the caller, a worker's by it
  // (or by the caller, when the reader went first).
  for (size_t I = 0; I < FreedOn.size(); ++I) {
    ASSERT_EQ(FreedOn[I]->size(), 1u) << I;
    if (ReadOn[I] == Caller) {
      EXPECT_EQ(FreedOn[I]->front(), Caller) << I;
    }
  }
}

// Parts of a range, on several threads: every index once, in part order, and
// an exception of a part reaches the caller.
TEST(InParts, CoversTheRangeInOrderOnSeveralThreads) {
  for (unsigned Jobs : {1u, 2u, 5u})
    for (size_t N : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
      const std::vector<std::vector<size_t>> Parts =
          InParts<std::vector<size_t>>(N, Jobs, [](size_t Begin, size_t End) {
            std::vector<size_t> Got;
            for (size_t I = Begin; I < End; ++I) Got.push_back(I);
            return Got;
          });
      std::vector<size_t> All;
      for (const auto& P : Parts) All.insert(All.end(), P.begin(), P.end());
      ASSERT_EQ(All.size(), N) << Jobs;
      for (size_t I = 0; I < N; ++I) EXPECT_EQ(All[I], I);
    }
  EXPECT_THROW(InParts<int>(100, 3,
                            [](size_t Begin, size_t End) {
                              if (Begin <= 50 && 50 < End) throw std::runtime_error("fifty");
                              return 0;
                            }),
               std::runtime_error);
}

// A caller that is not to read only takes: every item is read on a worker
// (one worker, for systems where one thread at a time reads units).
// Each worker's start (a thread's heap set up) comes before anything it
// reads, once a worker; the caller, which does not read, has none.
namespace {
thread_local bool Started = false;
std::atomic<int> Starts = 0;
void NoteStart() {
  Started = true;
  ++Starts;
}
}  // namespace

TEST(ReadInOrder, ACallerThatIsNotToReadOnlyTakes) {
  const auto Caller = std::this_thread::get_id();
  std::atomic<int> ByCaller = 0, Unstarted = 0;
  Starts = 0;
  {
    TOrderedReader<size_t> Reader(
        200, 2,
        [&](size_t I) {
          ByCaller += std::this_thread::get_id() == Caller;
          Unstarted += !Started;
          return I + 1;
        },
        2, false, &NoteStart);
    for (size_t I = 0; I < 200; ++I) EXPECT_EQ(Reader.Take(I), I + 1);
  }
  EXPECT_EQ(ByCaller, 0);
  EXPECT_EQ(Unstarted, 0);
  EXPECT_EQ(Starts, 2);
  EXPECT_FALSE(Started);
}
