// Shared pieces of the benchmarks and the benchmark tool: the read-and-sum
// baseline, the corpus file list, the large synthetic unit on disk and the
// record count of a loaded unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TUnit;

namespace bench {

// Sum of all bytes: the least work that touches every byte once.
uint64_t SumBytes(const uint8_t* Data, size_t Size);

// Reads the whole file into a new block and sums its bytes; Size receives
// the file's length. Throws std::runtime_error when the file cannot be read.
uint64_t ReadAndSum(const std::string& Path, size_t& Size);

// Every file of the shared corpus (version folders and other/), sorted;
// empty when the corpus is not there.
std::vector<std::filesystem::path> CorpusFiles();

// The large synthetic unit of Scale times the base size, written once per
// process into the temporary folder; removed by RemoveLargeUnitFiles.
const std::string& LargeUnitFile(uint32_t Scale);
void RemoveLargeUnitFiles();

// Records a loaded unit holds: declaration numbers and type numbers.
uint64_t RecordCount(const TUnit& Unit);

}  // namespace bench
