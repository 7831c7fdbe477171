// Benchmarks of the code listing over the files of ../shared/corpus, next to
// loading the same files in the same run:
//   Code/Load/Corpus   every file loaded
//   Code/List/Corpus   loaded, every routine disassembled (the model only)
//   Code/Text/Corpus   the same, and the plain-text listing written
//
// With --stage load|list|text [FILE...] the stage runs once over the files
// (the corpus when none are given) and prints what it made: for counting
// the instructions a stage executes under valgrind --tool=callgrind, or its
// processor time under time(1).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CodeListing.h"
#include "CodeText.h"
#include "DCU_Unit.h"

namespace {

enum class TStage { Load, List, Text };

struct TCounts {
  double Files = 0, Bytes = 0, Routines = 0, Items = 0, TextBytes = 0, Failed = 0;
};

TCounts RunStage(TStage Stage, const std::vector<std::filesystem::path>& Files) {
  TCounts C;
  std::string Out;
  for (const auto& F : Files) {
    try {
      TUnit U(F.string());
      C.Files += 1;
      C.Bytes += U.ImageSize;
      if (Stage == TStage::Load) continue;
      TCodeOptions Options;
      Options.ReadSources = false;
      TCodeLister L(U, Options);
      L.ForEach([&](const TCodeRoutine& R) {
        C.Routines += 1;
        C.Items += static_cast<double>(R.Items.size());
        if (Stage == TStage::Text) {
          Out.clear();
          WriteRoutineText(R, Out);
          C.TextBytes += static_cast<double>(Out.size());
        }
      });
    } catch (const EDCUReadError&) {
      C.Failed += 1;
    }
  }
  return C;
}

void StageCorpus(benchmark::State& State, TStage Stage) {
  const auto Files = bench::CorpusFiles();
  if (Files.empty()) {
    State.SkipWithError("no corpus in ../shared/corpus");
    return;
  }
  TCounts C;
  for (auto _ : State) C = RunStage(Stage, Files);
  State.SetBytesProcessed(static_cast<int64_t>(C.Bytes) * static_cast<int64_t>(State.iterations()));
  State.counters["files"] = C.Files;
  State.counters["failed"] = C.Failed;
  if (Stage != TStage::Load) {
    State.counters["routines"] = C.Routines;
    State.counters["items"] = C.Items;
    State.counters["items/s"] = benchmark::Counter(C.Items, benchmark::Counter::kIsIterationInvariantRate);
  }
  if (Stage == TStage::Text) State.counters["text"] = C.TextBytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--stage") == 0) {
    const std::string Name = argv[2];
    const TStage Stage = Name == "text" ? TStage::Text : Name == "list" ? TStage::List : TStage::Load;
    std::vector<std::filesystem::path> Files(argv + 3, argv + argc);
    if (Files.empty()) Files = bench::CorpusFiles();
    const TCounts C = RunStage(Stage, Files);
    std::printf("%s: %.0f files (%.0f failed), %.0f bytes, %.0f routines, %.0f items, %.0f bytes of text\n",
                Name.c_str(), C.Files, C.Failed, C.Bytes, C.Routines, C.Items, C.TextBytes);
    return 0;
  }
  benchmark::RegisterBenchmark("Code/Load/Corpus", StageCorpus, TStage::Load)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Code/List/Corpus", StageCorpus, TStage::List)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Code/Text/Corpus", StageCorpus, TStage::Text)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
