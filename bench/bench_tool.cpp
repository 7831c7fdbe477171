// Helper of scripts/bench.sh.
//
//   unitpeek_benchtool large SCALE OUT   write the large synthetic unit
//   unitpeek_benchtool load FILE...      load each file; print bytes, time
//                                        and the peak resident memory
//   unitpeek_benchtool sum FILE...       the baseline: read each file into
//                                        memory and sum its bytes
//   unitpeek_benchtool find PATH PATTERN...
//                                        scan PATH with the find index, as
//                                        the viewer's folder tab does; print
//                                        the scan's time, the index's size
//                                        and the peak memory, then for each
//                                        pattern the hits and the least time
//                                        of a query (of twenty) and of
//                                        reading the listing lines of the
//                                        first 200 hits
//   unitpeek_benchtool outline FILE...   build each file's declarations
//                                        outline (as the viewer and as the
//                                        command line build it) and print
//                                        the heap bytes it holds per
//                                        declaration (entries and members)
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "BenchSupport.h"
#include "DCU_Unit.h"
#include "DeclOutline.h"
#include "FindIndex.h"
#include "LargeUnit.h"
#include "UnitBuilder.h"

// Bytes the heap hands out and takes back, counted as the allocator gives
// them (with its rounding), for the outline's size; counted only while the
// outline command runs, so that the timed commands pay a branch alone.
namespace {
bool CountHeap = false;
size_t LiveHeapBytes = 0;
}  // namespace

void* operator new(size_t Size) {
  void* P = std::malloc(Size ? Size : 1);
  if (!P) throw std::bad_alloc();
  if (CountHeap) LiveHeapBytes += malloc_usable_size(P);
  return P;
}
void operator delete(void* P) noexcept {
  if (P && CountHeap) LiveHeapBytes -= malloc_usable_size(P);
  std::free(P);
}
void operator delete(void* P, size_t) noexcept { operator delete(P); }

namespace {

long PeakRssKb() {
  struct rusage R {};
  getrusage(RUSAGE_SELF, &R);
  return R.ru_maxrss;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of the process, in seconds (a busy machine stretches the
// wall time of a short query more than this).
double CpuNow() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return double(T.tv_sec) + double(T.tv_nsec) * 1e-9;
}

int Usage() {
  std::fprintf(stderr, "usage: unitpeek_benchtool large SCALE OUT | load FILE... | sum FILE... | find PATH PATTERN... | outline FILE...\n");
  return 2;
}

int Find(int argc, char** argv) {
  if (argc < 4) return Usage();
  TFindIndex Index;
  const double T0 = Now();
  const TFolderReport Report = ScanFolders({argv[2]}, {}, &Index);
  const double T1 = Now();
  std::printf("find_scan units=%zu declarations=%zu ms=%.0f index_bytes=%zu peakrss_kb=%ld\n", Report.Units.size(),
              Index.Declarations(), (T1 - T0) * 1e3, Index.MemoryBytes(), PeakRssKb());
  for (int I = 3; I < argc; ++I) {
    const TFindPattern P(argv[I]);
    double Best = 1e9, BestLines = 1e9;
    TFindResult R;
    double BestCpu = 1e9;
    for (int Round = 0; Round < 20; ++Round) {
      const double Q0 = Now(), C0 = CpuNow();
      R = Index.Find(P, 200);
      const double Q1 = Now(), C1 = CpuNow();
      Best = std::min(Best, Q1 - Q0);
      BestCpu = std::min(BestCpu, C1 - C0);
    }
    for (int Round = 0; Round < 3; ++Round) {
      std::vector<TFindHit> Hits = R.Hits;
      const double L0 = Now();
      FillFindLines(Hits);
      BestLines = std::min(BestLines, Now() - L0);
    }
    size_t Users = 0;
    for (const TFindUnitUsers& U : R.Units) Users += U.Users.size();
    std::printf("find_query pattern=%s hits=%zu units=%zu users=%zu ms=%.2f cpu_ms=%.2f lines_ms=%.1f\n", argv[I],
                R.TotalHits, R.Units.size(), Users, Best * 1e3, BestCpu * 1e3, BestLines * 1e3);
  }
  return 0;
}

size_t Declarations(const TDeclSection& S) {
  size_t N = 0;
  for (const TDeclBlock& B : S.Blocks)
    for (const TDeclEntry& E : B.Entries) N += 1 + E.Members.size();
  return N;
}

int Outline(int argc, char** argv) {
  for (const bool KeepSpans : {true, false}) {
    size_t Bytes = 0, Decls = 0;
    int Units = 0;
    for (int I = 2; I < argc; ++I) {
      try {
        TUnit U(argv[I]);
        TDeclOutlineOptions Options;
        Options.KeepSpans = KeepSpans;
        LiveHeapBytes = 0;
        CountHeap = true;  // the outline's blocks alone
        const TDeclOutline O = BuildDeclOutline(U, Options);
        CountHeap = false;
        Bytes += LiveHeapBytes + sizeof O;
        Decls += Declarations(O.Interface) + Declarations(O.Implementation);
        ++Units;
      } catch (const EDCUReadError&) {
      }
    }
    std::printf("outline spans=%d units=%d declarations=%zu bytes=%zu bytes_per_declaration=%.0f\n", KeepSpans ? 1 : 0,
                Units, Decls, Bytes, Decls ? double(Bytes) / double(Decls) : 0.0);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string Cmd = argv[1];
  if (Cmd == "large") {
    if (argc != 4) return Usage();
    const auto Scale = static_cast<uint32_t>(std::stoul(argv[2]));
    unitbuilder::LargeUnitFacts F;
    auto Bytes = unitbuilder::LargeUnit(Scale * unitbuilder::LargeUnitBaseGroups, 7, &F);
    if (!unitbuilder::WriteUnitFile(argv[3], Bytes)) return 1;
    std::printf("bytes=%zu declarations=%u types=%u fixups=%u data=%u\n", Bytes.size(), F.Declarations,
                F.TypeNumbers, F.FixupCount, F.DataSize);
    return 0;
  }
  if (Cmd == "find") return Find(argc, argv);
  if (Cmd == "outline") return Outline(argc, argv);
  if (Cmd != "load" && Cmd != "sum") return Usage();
  const long StartRss = PeakRssKb();
  double Bytes = 0;
  uint64_t Records = 0, Sum = 0;
  int Failed = 0;
  const double T0 = Now();
  for (int I = 2; I < argc; ++I) {
    if (Cmd == "sum") {
      size_t Size = 0;
      Sum += bench::ReadAndSum(argv[I], Size);
      Bytes += static_cast<double>(Size);
      continue;
    }
    try {
      TUnit U(argv[I]);
      Bytes += U.ImageSize;
      Records += bench::RecordCount(U);
    } catch (const EDCUReadError&) {
      ++Failed;
    }
  }
  const double T1 = Now();
  std::printf("files=%d bytes=%.0f records=%llu failed=%d ms=%.3f startrss_kb=%ld peakrss_kb=%ld sum=%llu\n",
              argc - 2, Bytes, static_cast<unsigned long long>(Records), Failed, (T1 - T0) * 1e3, StartRss,
              PeakRssKb(), static_cast<unsigned long long>(Sum));
  return 0;
}
