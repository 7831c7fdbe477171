// Shared helpers of the summary and command-line tests: temporary unit files
// and the summary of a unit given as bytes.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "UnitBuilder.h"
#include "UnitSummary.h"

namespace summarytest {

// A folder of its own under the system's temporary folder, removed with the object.
class TTempDir {
 public:
  TTempDir() {
    static int Counter = 0;
    Path = std::filesystem::temp_directory_path() /
           ("unitpeek-test-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
    std::filesystem::create_directories(Path);
  }
  ~TTempDir() {
    std::error_code E;
    std::filesystem::remove_all(Path, E);
  }
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
    std::string P = (Path / Name).string();
    unitbuilder::WriteUnitFile(P, Bytes);
    return P;
  }
  std::filesystem::path Path;
};

// Writes Bytes to a file and summarises it into Sink, as a tab would.
inline TSummaryOutcome SummarizeBytes(const std::vector<uint8_t>& Bytes, TJX_RecordingSink& Sink,
                                      const std::string& Name = "Unit.dcu") {
  TTempDir Dir;
  return LoadAndSummarize(Dir.Write(Name, Bytes), Sink);
}

}  // namespace summarytest
