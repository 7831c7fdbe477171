// Resource bounds of the reader on crafted input: builds unit files with huge
// counts in every table, many records, many names for the name index, deep
// nesting and huge type numbers, at three sizes (1x, 4x, 16x), loads each in
// a child process of its own and reports the child's peak resident memory
// and load time against the file size. The child reads its own high-water
// mark (VmHWM of /proc/self/status): the ru_maxrss that wait4 reports for a
// spawned child starts from the parent's peak, which holds the crafted files.
//
//   unit_bounds [--base BYTES] [--case NAME] [--keep DIR]
//                                             measure and print the table
//   unit_bounds --load FILE                   (child) load one file
//
// Exit status 1 when a file needs more than MemFactor times its size plus the
// baseline of a minimal unit and MemSlack, or when the time of the 16x file
// is more than TimeFactor times that of the 4x file (linear time gives 4,
// quadratic time 16).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "DCU_Unit.h"
#include "UnitBuilder.h"

extern char** environ;

using unitbuilder::UnitBuilder;
namespace fs = std::filesystem;

namespace {

constexpr double MemFactor = 32.0;        // bytes of memory per byte of file
constexpr long MemSlackKb = 16 * 1024;    // on top of the minimal unit's peak
constexpr double TimeFactor = 12.0;       // 16x file against the 4x file
constexpr double TimeFloorMs = 250.0;     // below this the 16x time is noise
constexpr int Runs = 3;                   // each file is loaded this often; the best time counts

// ---- crafted files ---------------------------------------------------------

// Header and one source file; the top-level list is open.
UnitBuilder Start(int Version = 7) {
  UnitBuilder B(Version);
  B.Header();
  B.SourceFile("Crafted.pas");
  return B;
}

// Closes a unit whose data block and fixups are still to come.
std::vector<uint8_t> End(UnitBuilder& B, uint32_t DataSize = 0) {
  B.DataBlock(DataSize);
  B.TrivialFixups();
  B.Stop();
  return B.Finish();
}

std::string NumName(size_t I) {
  std::string S = "N";
  for (; I; I /= 26) S += char('A' + I % 26);
  return S;
}

// A table of tag Tag that claims 0x0FFFFFFF entries, followed by zero bytes
// (entries of Width one-byte values) up to the end of the file.
std::vector<uint8_t> HugeCount(size_t Target, uint8_t Tag, size_t Width) {
  UnitBuilder B = Start();
  B.DataBlock(0);
  if (Tag != 0x6D) B.TrivialFixups();
  B.Tag(Tag).PackedUInt(0x0FFFFFFF);
  size_t Left = Target > B.Size() ? Target - B.Size() : 0;
  B.Fill(Left - Left % Width, 0);
  return B.Finish();
}

struct TCase {
  const char* Name;
  const char* What;
  std::function<std::vector<uint8_t>(size_t Target)> Make;
};

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> All = {
      {"fixupcount", "a fixup table claims 0x0FFFFFFF entries, few follow",
       [](size_t Target) { return HugeCount(Target, 0x6D, 3); }},
      {"linecount", "a code-line table claims 0x0FFFFFFF entries",
       [](size_t Target) { return HugeCount(Target, 0x90, 2); }},
      {"rangecount", "a line-range table claims 0x0FFFFFFF entries",
       [](size_t Target) { return HugeCount(Target, 0x91, 3); }},
      {"varcount", "a local-variable table claims 0x0FFFFFFF entries",
       [](size_t Target) { return HugeCount(Target, 0x94, 3); }},
      {"fivecount", "a skipped table of five-value entries claims 0x0FFFFFFF",
       [](size_t Target) { return HugeCount(Target, 0x92, 5); }},
      {"skiptables", "skipped tables of huge counts and nested counts",
       [](size_t Target) {
         UnitBuilder B = Start();
         B.Tag(0x93).PackedUInt(0x0FFFFFFF).PackedUInt(0);
         while (B.Size() < Target) B.PackedUInt(0).PackedUInt(0).PackedUInt(0x0FFFFFFF).PackedUInt(0);
         return B.Finish();
       }},
      {"fixups", "a fixup table of 3-byte entries",
       [](size_t Target) {
         UnitBuilder B = Start();
         B.DataBlock(0);
         std::vector<unitbuilder::FixupEntry> F(Target / 3, {0, 0, 0});
         B.Fixups(F).Stop();
         return B.Finish();
       }},
      {"codelines", "a code-line table of 2-byte entries",
       [](size_t Target) {
         UnitBuilder B = Start();
         size_t N = Target / 2;
         B.Tag(0x90).PackedUInt(static_cast<uint32_t>(N));
         for (size_t I = 0; I < N; ++I) B.PackedInt(0).PackedUInt(0);
         return End(B);
       }},
      {"localvars", "a local-variable table of 3-byte entries",
       [](size_t Target) {
         UnitBuilder B = Start();
         size_t N = Target / 3;
         B.Tag(0x94).PackedUInt(static_cast<uint32_t>(N));
         for (size_t I = 0; I < N; ++I) B.PackedUInt(0).PackedUInt(0).PackedInt(0);
         return End(B);
       }},
      {"lineranges", "many source files, line ranges naming the last one",
       [](size_t Target) {
         UnitBuilder B(7);
         B.Header();
         size_t Files = Target / 14;
         for (size_t I = 0; I < Files; ++I) B.SourceFile("");
         size_t N = Target / 14;
         B.Tag(0x91).PackedUInt(static_cast<uint32_t>(N));
         for (size_t I = 0; I < N; ++I) B.PackedUInt(1).PackedUInt(1).PackedUInt(static_cast<uint32_t>(Files - 1));
         return End(B);
       }},
      {"decls", "variables of 5 bytes each, no names",
       [](size_t Target) {
         UnitBuilder B = Start();
         while (B.Size() < Target) B.VarDecl("", 0, 0, 0);
         return End(B);
       }},
      {"names", "interface variables with distinct names (name index)",
       [](size_t Target) {
         UnitBuilder B = Start();
         for (size_t I = 0; B.Size() < Target; ++I) B.VarDecl(NumName(I), 0, 0, 0x40);
         return End(B);
       }},
      {"samenames", "interface variables all named alike, 255-byte names",
       [](size_t Target) {
         UnitBuilder B = Start();
         std::string N(255, 'a');
         while (B.Size() < Target) B.VarDecl(N, 0, 0, 0x40);
         return End(B);
       }},
      {"enumconsts", "one enumeration folded with its many constants",
       [](size_t Target) {
         UnitBuilder B = Start();
         int32_t N = static_cast<int32_t>(Target / 7);
         B.EnumDef(0, N - 1);
         for (int32_t I = 0; I < N; ++I) B.ConstDecl("", 1, I, 0);
         B.TypeDecl("TE", 1);
         return End(B);
       }},
      {"typedefs", "type definitions of 4 bytes each",
       [](size_t Target) {
         UnitBuilder B = Start();
         while (B.Size() < Target) B.VoidDef();
         return End(B);
       }},
      {"typenumber", "one type declaration naming the largest type number",
       [](size_t Target) {
         UnitBuilder B = Start();
         B.TypeDecl("T", static_cast<uint32_t>(Target - 16));
         size_t Fill = Target > B.Size() + 16 ? Target - B.Size() - 16 : 0;
         return End(B, static_cast<uint32_t>(Fill));
       }},
      {"nesting", "embedded lists nested without end",
       [](size_t Target) {
         UnitBuilder B = Start();
         B.Fill(Target, 0x6A);
         return End(B);
       }},
      {"records", "record definitions nested in member lists",
       [](size_t Target) {
         UnitBuilder B = Start();
         while (B.Size() < Target) B.TypeDefHead(0x4D, 0, 8).Byte(0);
         return End(B);
       }},
      {"procs", "procedures with parameters and locals",
       [](size_t Target) {
         UnitBuilder B = Start();
         while (B.Size() < Target)
           B.ProcStart("P", 0, 0).Local(0x21, "", 0).Local(0x20, "", 0).Local(0x20, "", 0).Stop();
         return End(B);
       }},
  };
  return All;
}

// ---- child: load one file --------------------------------------------------

int LoadChild(const char* Path) {
  // A load that takes longer than this is reported as a hang.
  alarm(20);
  auto T0 = std::chrono::steady_clock::now();
  std::string Outcome;
  try {
    TJXUnit U(Path);
    Outcome = "loaded";
  } catch (const EDCUReadError& E) {
    Outcome = E.Text();
    for (char& C : Outcome)
      if (static_cast<unsigned char>(C) < 0x20) C = '.';
    size_t Colon = Outcome.find(")): ");
    if (Colon != std::string::npos) Outcome = Outcome.substr(Colon + 4);
    if (Outcome.size() > 48) Outcome = Outcome.substr(0, 45) + "...";
  }
  double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  long HwmKb = 0;
  std::ifstream St("/proc/self/status");
  for (std::string L; std::getline(St, L);)
    if (L.rfind("VmHWM:", 0) == 0) HwmKb = std::atol(L.c_str() + 6);
  std::printf("%.3f\t%ld\t%s\n", Ms, HwmKb, Outcome.c_str());
  return 0;
}

// ---- parent: spawn a child per file ----------------------------------------

struct TMeasure {
  long MaxRssKb = 0;
  double LoadMs = 0;
  std::string Outcome;
  bool Ok = false;
};

TMeasure Measure(const std::string& Self, const std::string& File) {
  TMeasure M;
  int Pipe[2];
  if (pipe(Pipe) != 0) return M;
  posix_spawn_file_actions_t Act;
  posix_spawn_file_actions_init(&Act);
  posix_spawn_file_actions_adddup2(&Act, Pipe[1], 1);
  posix_spawn_file_actions_addclose(&Act, Pipe[0]);
  std::string A1 = "--load";
  char* Argv[] = {const_cast<char*>(Self.c_str()), A1.data(), const_cast<char*>(File.c_str()), nullptr};
  pid_t Pid = 0;
  int Rc = posix_spawn(&Pid, Self.c_str(), &Act, nullptr, Argv, environ);
  posix_spawn_file_actions_destroy(&Act);
  close(Pipe[1]);
  if (Rc != 0) {
    close(Pipe[0]);
    M.Outcome = std::string("spawn failed: ") + std::strerror(Rc);
    return M;
  }
  std::string Out;
  char Buf[512];
  ssize_t N;
  while ((N = read(Pipe[0], Buf, sizeof Buf)) > 0) Out.append(Buf, static_cast<size_t>(N));
  close(Pipe[0]);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
    M.Outcome = "child died (status " + std::to_string(Status) + ")";
    return M;
  }
  size_t Tab = Out.find('\t');
  size_t Tab2 = Tab == std::string::npos ? Tab : Out.find('\t', Tab + 1);
  if (Tab2 == std::string::npos) {
    M.Outcome = "no answer from the child: " + Out;
    return M;
  }
  M.LoadMs = std::atof(Out.c_str());
  M.MaxRssKb = std::atol(Out.c_str() + Tab + 1);
  M.Outcome = Out.substr(Tab2 + 1);
  while (!M.Outcome.empty() && M.Outcome.back() == '\n') M.Outcome.pop_back();
  M.Ok = true;
  return M;
}

void WriteFile(const fs::path& P, const std::vector<uint8_t>& Bytes) {
  unitbuilder::WriteUnitFile(P.string(), Bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--load") return LoadChild(argv[2]);
  size_t Base = 512 * 1024;
  std::string Keep, Only;
  for (int I = 1; I < argc; ++I) {
    std::string A = argv[I];
    if (A == "--base" && I + 1 < argc) Base = std::strtoull(argv[++I], nullptr, 10);
    else if (A == "--keep" && I + 1 < argc) Keep = argv[++I];
    else if (A == "--case" && I + 1 < argc) Only = argv[++I];
    else {
      std::cerr << "usage: unit_bounds [--base BYTES] [--case NAME] [--keep DIR]\n";
      return 2;
    }
  }
  std::string Self = fs::read_symlink("/proc/self/exe").string();
  fs::path Dir = Keep.empty() ? fs::temp_directory_path() / ("unit_bounds." + std::to_string(getpid())) : fs::path(Keep);
  fs::create_directories(Dir);

  fs::path MinPath = Dir / "minimal.dcu";
  WriteFile(MinPath, unitbuilder::MinimalUnit(7));
  TMeasure Min = Measure(Self, MinPath.string());
  std::printf("baseline (minimal unit): peak RSS %ld KiB\n\n", Min.MaxRssKb);
  std::printf("%-11s %5s %10s %10s %10s %7s %9s %7s  %s\n", "case", "scale", "file KiB", "RSS KiB",
              "over KiB", "x size", "load ms", "ms/MiB", "outcome");
  bool Good = Min.Ok;
  for (const TCase& C : Cases()) {
    if (!Only.empty() && Only != C.Name) continue;
    double Ms4 = 0;
    for (size_t Scale : {1, 4, 16}) {
      std::vector<uint8_t> Bytes = C.Make(Base * Scale);
      fs::path P = Dir / (std::string(C.Name) + "_" + std::to_string(Scale) + "x.dcu");
      WriteFile(P, Bytes);
      TMeasure M = Measure(Self, P.string());
      for (int R = 1; R < Runs && M.Ok && M.LoadMs < 5000; ++R) {
        TMeasure Again = Measure(Self, P.string());
        if (Again.Ok && Again.LoadMs < M.LoadMs) M.LoadMs = Again.LoadMs;
      }
      double SizeKb = Bytes.size() / 1024.0;
      long Over = M.MaxRssKb - Min.MaxRssKb;
      double Ratio = SizeKb > 0 ? Over / SizeKb : 0;
      double MsPerMb = M.LoadMs / (SizeKb / 1024.0);
      std::printf("%-11s %4zux %10.0f %10ld %10ld %7.1f %9.2f %7.2f  %s\n", C.Name, Scale, SizeKb, M.MaxRssKb,
                  Over, Ratio, M.LoadMs, MsPerMb, M.Outcome.c_str());
      std::fflush(stdout);
      if (!M.Ok) Good = false;
      if (Over > MemFactor * SizeKb + MemSlackKb) {
        std::printf("  ^ more than %.0f times the file size\n", MemFactor);
        Good = false;
      }
      if (Scale == 4) Ms4 = std::max(M.LoadMs, 0.5);
      if (Scale == 16 && M.LoadMs > TimeFloorMs && M.LoadMs > TimeFactor * Ms4) {
        std::printf("  ^ 4 times the size of 4x takes %.0f times as long: not linear\n", M.LoadMs / Ms4);
        Good = false;
      }
      if (Keep.empty()) fs::remove(P);
    }
  }
  if (Keep.empty()) fs::remove_all(Dir);
  std::printf("\n%s\n", Good ? "bounds: all within limits" : "bounds: LIMIT EXCEEDED");
  return Good ? 0 : 1;
}
