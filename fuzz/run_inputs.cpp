// Stand-alone driver of the fuzz target for builds without libFuzzer: runs
// every file given on the command line, and every regular file below every
// folder given, through LLVMFuzzerTestOneInput once, in sorted order.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> Files;
  for (int I = 1; I < argc; ++I) {
    fs::path P = argv[I];
    std::error_code Ec;
    if (fs::is_directory(P, Ec)) {
      for (const auto& E : fs::recursive_directory_iterator(P, Ec))
        if (E.is_regular_file()) Files.push_back(E.path());
    } else if (fs::is_regular_file(P, Ec)) {
      Files.push_back(P);
    } else {
      std::fprintf(stderr, "run_inputs: no such file or folder: %s\n", argv[I]);
      return 2;
    }
  }
  std::sort(Files.begin(), Files.end());
  for (const fs::path& P : Files) {
    std::ifstream F(P, std::ios::binary);
    std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
    if (!F.eof() && F.fail()) {
      std::fprintf(stderr, "run_inputs: cannot read %s\n", P.string().c_str());
      return 2;
    }
    LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
  }
  std::printf("run_inputs: %zu inputs ran\n", Files.size());
  return 0;
}
