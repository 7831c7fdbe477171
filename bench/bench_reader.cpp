// Throughput of the reader and the summary writers, each next to its
// baseline in the same run: reading the same bytes into memory and summing
// them. Reported as bytes per second and records (declaration and type
// numbers) per second.
//
//   Load/Sample/V       one sample unit of format version V, from memory
//   Baseline/Sample/V   copy of the same bytes into a new block, summed
//   Load/Corpus         every file of ../shared/corpus, from disk
//   Baseline/Corpus     the same files read and summed
//   Load/Large/S        the large synthetic unit, S times the base size
//   Baseline/Large/S    the same file read and summed
//   Summary/Sample7, Summary/Corpus   summary writers into the plain sink
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DCU_Unit.h"
#include "SampleUnits.h"
#include "UnitSummary.h"
#include "RichSink.h"

namespace {

// The sample unit of a version, as the sample generator writes it.
std::vector<uint8_t> SampleUnit(int Version) { return unitbuilder::DemoUnit(Version); }

void SetRates(benchmark::State& State, double Bytes, double Records) {
  State.SetBytesProcessed(static_cast<int64_t>(Bytes) * static_cast<int64_t>(State.iterations()));
  State.counters["records"] = benchmark::Counter(Records, benchmark::Counter::kIsIterationInvariantRate);
  State.counters["n"] = Records;  // records of one pass, for the scaling figures
}

// ---- Sample units -----------------------------------------------------------

void LoadSample(benchmark::State& State) {
  const auto Bytes = SampleUnit(static_cast<int>(State.range(0)));
  uint64_t Records = 0;
  for (auto _ : State) {
    TUnit U("Demo.dcu", Bytes);
    Records = bench::RecordCount(U);
    benchmark::DoNotOptimize(U.Decls);
  }
  SetRates(State, static_cast<double>(Bytes.size()), static_cast<double>(Records));
}

void BaselineSample(benchmark::State& State) {
  const auto Bytes = SampleUnit(static_cast<int>(State.range(0)));
  for (auto _ : State) {
    std::unique_ptr<uint8_t[]> Copy(new uint8_t[Bytes.size()]);
    std::memcpy(Copy.get(), Bytes.data(), Bytes.size());
    benchmark::DoNotOptimize(bench::SumBytes(Copy.get(), Bytes.size()));
  }
  SetRates(State, static_cast<double>(Bytes.size()), 0);
}

// ---- Corpus -------------------------------------------------------------------

void LoadCorpus(benchmark::State& State) {
  const auto Files = bench::CorpusFiles();
  if (Files.empty()) {
    State.SkipWithError("no corpus in ../shared/corpus");
    return;
  }
  double Bytes = 0, Records = 0;
  int Failed = 0;
  for (const auto& F : Files) Bytes += static_cast<double>(std::filesystem::file_size(F));
  for (auto _ : State) {
    Records = 0;
    Failed = 0;
    for (const auto& F : Files) {
      try {
        TUnit U(F.string());
        Records += static_cast<double>(bench::RecordCount(U));
      } catch (const EDCUReadError&) {
        ++Failed;
      }
    }
  }
  SetRates(State, Bytes, Records);
  State.counters["files"] = static_cast<double>(Files.size());
  State.counters["failed"] = Failed;
}

void BaselineCorpus(benchmark::State& State) {
  const auto Files = bench::CorpusFiles();
  if (Files.empty()) {
    State.SkipWithError("no corpus in ../shared/corpus");
    return;
  }
  double Bytes = 0;
  for (auto _ : State) {
    Bytes = 0;
    for (const auto& F : Files) {
      size_t Size = 0;
      benchmark::DoNotOptimize(bench::ReadAndSum(F.string(), Size));
      Bytes += static_cast<double>(Size);
    }
  }
  SetRates(State, Bytes, 0);
}

// ---- Large synthetic unit -----------------------------------------------------

void LoadLarge(benchmark::State& State) {
  const std::string& Path = bench::LargeUnitFile(static_cast<uint32_t>(State.range(0)));
  double Bytes = static_cast<double>(std::filesystem::file_size(Path));
  uint64_t Records = 0;
  for (auto _ : State) {
    TUnit U(Path);
    Records = bench::RecordCount(U);
    benchmark::DoNotOptimize(U.Decls);
  }
  SetRates(State, Bytes, static_cast<double>(Records));
}

void BaselineLarge(benchmark::State& State) {
  const std::string& Path = bench::LargeUnitFile(static_cast<uint32_t>(State.range(0)));
  size_t Size = 0;
  for (auto _ : State) benchmark::DoNotOptimize(bench::ReadAndSum(Path, Size));
  SetRates(State, static_cast<double>(Size), 0);
}

// ---- Summary writers ----------------------------------------------------------

void SummarySample(benchmark::State& State) {
  const auto Bytes = SampleUnit(7);
  TUnit U("Demo7.dcu", Bytes);
  for (auto _ : State) {
    TJX_RecordingSink Sink;
    WriteUnitSummary(U, Sink);
    benchmark::DoNotOptimize(Sink.Lines().data());
  }
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations()));
}

void SummaryCorpus(benchmark::State& State) {
  std::vector<std::unique_ptr<TUnit>> Units;
  double Bytes = 0;
  for (const auto& F : bench::CorpusFiles()) {
    try {
      Units.push_back(std::make_unique<TUnit>(F.string()));
      Bytes += static_cast<double>(Units.back()->ImageSize);
    } catch (const EDCUReadError&) {
    }
  }
  if (Units.empty()) {
    State.SkipWithError("no corpus in ../shared/corpus");
    return;
  }
  for (auto _ : State) {
    for (const auto& U : Units) {
      TJX_RecordingSink Sink;
      try {
        WriteUnitSummary(*U, Sink);
      } catch (const std::exception&) {
        // An invalid stamp ends a summary; the viewer shows the error block.
      }
      benchmark::DoNotOptimize(Sink.Lines().data());
    }
  }
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * Units.size()));
  State.SetBytesProcessed(static_cast<int64_t>(Bytes) * static_cast<int64_t>(State.iterations()));
}

}  // namespace

int main(int argc, char** argv) {
  for (int V : unitbuilder::AllVersions()) {
    benchmark::RegisterBenchmark(("Load/Sample/" + std::to_string(V)).c_str(), LoadSample)->Arg(V);
    benchmark::RegisterBenchmark(("Baseline/Sample/" + std::to_string(V)).c_str(), BaselineSample)->Arg(V);
  }
  benchmark::RegisterBenchmark("Load/Corpus", LoadCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("Baseline/Corpus", BaselineCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();
  for (int S : {1, 4, 16}) {
    const std::string Scale = std::to_string(S);
    benchmark::RegisterBenchmark(std::string("Load/Large/").append(Scale).c_str(), LoadLarge)
        ->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(std::string("Baseline/Large/").append(Scale).c_str(), BaselineLarge)
        ->Arg(S)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::RegisterBenchmark("Summary/Sample7", SummarySample);
  benchmark::RegisterBenchmark("Summary/Corpus", SummaryCorpus)->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::RemoveLargeUnitFiles();
  return 0;
}
