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

#include "SampleUnits.h"
#include "TempFolder.h"
#include "UnitBuilder.h"
#include "UnitSummary.h"

namespace summarytest {

// A folder of its own under the system's temporary folder, removed with the object.
class TTempDir : public testdata::TTempFolder {
 public:
  TTempDir() : TTempFolder("test") {}
  const std::filesystem::path& Path = Root;
};

// The four files the command-line tests run on: two sample units, a file
// that is no unit and a unit whose stamp cannot be shown.
struct TFourFiles {
  TTempDir Dir;
  std::string Demo = Dir.Write("Demo7.dcu", unitbuilder::DemoUnit(7));
  std::string Demo2 = Dir.Write("Demo2.dcu", unitbuilder::DemoUnit(2));
  std::string Broken = Dir.Write("Broken.dcu", {0x01, 0x02, 0x03});
  std::string BadStamp = Dir.Write("BadStamp.dcu", unitbuilder::BadStampUnit());
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
