// Shared helpers of the summary and command-line tests: temporary unit files
// and the summary of a unit given as bytes.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The exit status and standard output of one run of unitpeek-dump.
struct TRun {
  int Status = -1;
  std::string Out;
};

inline std::string Quote(const std::string& S) {
  std::string Q = "'";
  for (char C : S) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Q + "'";
}

// Runs the shell command Cmd: its standard output and exit status.
inline TRun RunShell(const std::string& Cmd) {
  TRun R;
  FILE* P = popen(Cmd.c_str(), "r");
  if (!P) return R;
  char Buf[4096];
  size_t N;
  while ((N = fread(Buf, 1, sizeof Buf, P)) > 0) R.Out.append(Buf, N);
  const int S = pclose(P);
  R.Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
  return R;
}

// The program the command-line tests run: the build's unitpeek-dump, or the
// command UNITPEEK_TEST_DUMP names (scripts/windows_tests.sh: the .exe under
// Wine).
inline std::string DumpProgram() {
  const char* Other = std::getenv("UNITPEEK_TEST_DUMP");
  return Other && *Other ? Other : UNITPEEK_DUMP;
}

// Runs unitpeek-dump with Args under the C locale; standard error is dropped.
inline TRun Dump(const std::vector<std::string>& Args) {
  std::string Cmd = "LC_ALL=C " + Quote(DumpProgram());
  for (const auto& A : Args) Cmd += " " + Quote(A);
  Cmd += " 2>/dev/null";
  return RunShell(Cmd);
}

}  // namespace summarytest
