// Benchmarks of the code listing over the files of ../shared/corpus, next to
// loading the same files in the same run:
//   Code/Load/Corpus   every file loaded
//   Code/List/Corpus   loaded, every routine disassembled (the model only)
//   Code/Text/Corpus   the same, and the plain-text listing written
//   Code/Zydis/Corpus  the listing's own limit: the instructions of every
//                      listing, gathered beforehand, decoded and formatted
//                      by Zydis in a tight loop (Intel syntax, as the
//                      listing; no labels, names, listing or JSON)
//
// With --stage load|list|text|zydis [FILE...] the stage runs once over the
// files (the corpus when none are given) and prints what it made: for
// counting the instructions a stage executes under valgrind
// --tool=callgrind, or its processor time under time(1). The zydis stage
// prints the least time of five loops too ("zydis_loop_ms"), for
// scripts/bench.sh.
#include <benchmark/benchmark.h>

#include <Zydis/Zydis.h>

#include <algorithm>
#include <chrono>
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

enum class TStage { Load, List, Text, Zydis };

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

// The bytes of every instruction item of the files' listings, one after the
// other, and where each starts.
struct TInsnBytes {
  std::vector<uint8_t> Bytes;
  std::vector<uint32_t> Starts;  // one more than instructions: the end
};

TInsnBytes GatherInstructions(const std::vector<std::filesystem::path>& Files) {
  TInsnBytes G;
  for (const auto& F : Files) {
    try {
      TUnit U(F.string());
      TCodeOptions Options;
      Options.ReadSources = false;
      TCodeLister L(U, Options);
      L.ForEach([&](const TCodeRoutine& R) {
        for (const TCodeItem& It : R.Items) {
          if (It.Kind != TCodeItemKind::Insn) continue;
          G.Starts.push_back(static_cast<uint32_t>(G.Bytes.size()));
          G.Bytes.insert(G.Bytes.end(), R.Bytes.begin() + It.Offset, R.Bytes.begin() + It.Offset + It.Size);
        }
      });
    } catch (const EDCUReadError&) {
    }
  }
  G.Starts.push_back(static_cast<uint32_t>(G.Bytes.size()));
  return G;
}

// Decodes and formats every instruction once; the bytes of text written.
size_t DecodeAndFormat(const TInsnBytes& G) {
  ZydisDecoder Dec;
  ZydisDecoderInit(&Dec, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  ZydisFormatter Fmt;
  ZydisFormatterInit(&Fmt, ZYDIS_FORMATTER_STYLE_INTEL);
  ZydisFormatterSetProperty(&Fmt, ZYDIS_FORMATTER_PROP_HEX_PREFIX, reinterpret_cast<ZyanUPointer>("$"));
  ZydisDecodedInstruction I;
  ZydisDecodedOperand Ops[ZYDIS_MAX_OPERAND_COUNT_VISIBLE];
  char Buf[256];
  size_t Text = 0;
  for (size_t K = 0; K + 1 < G.Starts.size(); ++K) {
    const uint32_t At = G.Starts[K], Len = G.Starts[K + 1] - At;
    if (!ZYAN_SUCCESS(ZydisDecoderDecodeFull(&Dec, G.Bytes.data() + At, Len, &I, Ops))) continue;
    if (ZYAN_SUCCESS(ZydisFormatterFormatInstruction(&Fmt, &I, Ops, I.operand_count_visible, Buf, sizeof Buf,
                                                     ZYDIS_RUNTIME_ADDRESS_NONE, nullptr)))
      Text += std::strlen(Buf);
  }
  return Text;
}

void ZydisCorpus(benchmark::State& State) {
  const TInsnBytes G = GatherInstructions(bench::CorpusFiles());
  if (G.Starts.size() < 2) {
    State.SkipWithError("no corpus in ../shared/corpus");
    return;
  }
  size_t Text = 0;
  for (auto _ : State) benchmark::DoNotOptimize(Text = DecodeAndFormat(G));
  const double Insns = static_cast<double>(G.Starts.size() - 1);
  State.counters["insns"] = Insns;
  State.counters["insns/s"] = benchmark::Counter(Insns, benchmark::Counter::kIsIterationInvariantRate);
  State.counters["text"] = static_cast<double>(Text);
}

// The zydis stage: the least time of five loops over the gathered bytes.
void PrintZydisStage(const std::vector<std::filesystem::path>& Files) {
  const TInsnBytes G = GatherInstructions(Files);
  double Best = 1e300;
  size_t Text = 0;
  for (int Round = 0; Round < 5; ++Round) {
    const auto T0 = std::chrono::steady_clock::now();
    Text = DecodeAndFormat(G);
    Best = std::min(Best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count());
  }
  std::printf("zydis: %zu instructions, %zu bytes, %zu bytes of text\nzydis_loop_ms %.2f\n", G.Starts.size() - 1,
              G.Bytes.size(), Text, Best);
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
    const TStage Stage = Name == "text"    ? TStage::Text
                         : Name == "list"  ? TStage::List
                         : Name == "zydis" ? TStage::Zydis
                                           : TStage::Load;
    std::vector<std::filesystem::path> Files(argv + 3, argv + argc);
    if (Files.empty()) Files = bench::CorpusFiles();
    if (Stage == TStage::Zydis) {
      PrintZydisStage(Files);
      return 0;
    }
    const TCounts C = RunStage(Stage, Files);
    std::printf("%s: %.0f files (%.0f failed), %.0f bytes, %.0f routines, %.0f items, %.0f bytes of text\n",
                Name.c_str(), C.Files, C.Failed, C.Bytes, C.Routines, C.Items, C.TextBytes);
    return 0;
  }
  benchmark::RegisterBenchmark("Code/Load/Corpus", StageCorpus, TStage::Load)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Code/List/Corpus", StageCorpus, TStage::List)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Code/Text/Corpus", StageCorpus, TStage::Text)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Code/Zydis/Corpus", ZydisCorpus)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
