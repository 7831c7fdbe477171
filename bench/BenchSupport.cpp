// Shared pieces of the benchmarks and the benchmark tool (see BenchSupport.h).
#include "BenchSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include "DCU_Unit.h"
#include "LargeUnit.h"
#include "UnitBuilder.h"

namespace fs = std::filesystem;

namespace bench {

uint64_t SumBytes(const uint8_t* Data, size_t Size) {
  uint64_t S = 0;
  for (size_t I = 0; I < Size; ++I) S += Data[I];
  return S;
}

uint64_t ReadAndSum(const std::string& Path, size_t& Size) {
  int Fd = ::open(Path.c_str(), O_RDONLY);
  if (Fd < 0) throw std::runtime_error(Path + ": " + std::strerror(errno));
  struct stat St {};
  if (::fstat(Fd, &St) != 0) {
    ::close(Fd);
    throw std::runtime_error(Path + ": " + std::strerror(errno));
  }
  Size = static_cast<size_t>(St.st_size);
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[Size ? Size : 1]);
  size_t Got = 0;
  while (Got < Size) {
    ssize_t N = ::read(Fd, Buf.get() + Got, Size - Got);
    if (N <= 0) {
      ::close(Fd);
      throw std::runtime_error(Path + ": short read");
    }
    Got += static_cast<size_t>(N);
  }
  ::close(Fd);
  return SumBytes(Buf.get(), Size);
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> Files;
  fs::path Dir = fs::path(UNITPEEK_SHARED_DIR) / "corpus";
  std::error_code Ec;
  if (!fs::is_directory(Dir, Ec)) return Files;
  for (const auto& E : fs::recursive_directory_iterator(Dir, Ec)) {
    if (!E.is_regular_file() || E.path().filename() == "manifest.tsv") continue;
    Files.push_back(E.path());
  }
  std::sort(Files.begin(), Files.end());
  return Files;
}

namespace {

std::map<uint32_t, std::string>& LargeFiles() {
  static std::map<uint32_t, std::string> Files;
  return Files;
}

}  // namespace

const std::string& LargeUnitFile(uint32_t Scale) {
  auto& Files = LargeFiles();
  auto It = Files.find(Scale);
  if (It != Files.end()) return It->second;
  std::vector<uint8_t> Bytes = unitbuilder::LargeUnit(Scale * unitbuilder::LargeUnitBaseGroups);
  fs::path P = fs::temp_directory_path() /
               ("unitpeek-bench-" + std::to_string(::getpid()) + "-" + std::to_string(Scale) + "x.dcu");
  if (!unitbuilder::WriteUnitFile(P.string(), Bytes)) throw std::runtime_error("cannot write " + P.string());
  return Files.emplace(Scale, P.string()).first->second;
}

void RemoveLargeUnitFiles() {
  std::error_code Ec;
  for (const auto& [Scale, Path] : LargeFiles()) fs::remove(Path, Ec);
  LargeFiles().clear();
}

uint64_t RecordCount(const TUnit& Unit) {
  return Unit.DeclTable.size() + static_cast<uint64_t>(Unit.TypeCount > 0 ? Unit.TypeCount : 0);
}

}  // namespace bench
