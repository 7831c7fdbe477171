// Helper of scripts/bench.sh.
//
//   unitpeek_benchtool large SCALE OUT   write the large synthetic unit
//   unitpeek_benchtool load FILE...      load each file; print bytes, time
//                                        and the peak resident memory
//   unitpeek_benchtool sum FILE...       the baseline: read each file into
//                                        memory and sum its bytes
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "BenchSupport.h"
#include "DCU_Unit.h"
#include "LargeUnit.h"
#include "UnitBuilder.h"

namespace {

long PeakRssKb() {
  struct rusage R {};
  getrusage(RUSAGE_SELF, &R);
  return R.ru_maxrss;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int Usage() {
  std::fprintf(stderr, "usage: unitpeek_benchtool large SCALE OUT | load FILE... | sum FILE...\n");
  return 2;
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
