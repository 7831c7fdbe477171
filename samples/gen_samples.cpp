// Writes the bundled sample units into the folder given on the command line:
// Demo7.dcu (the sample the README and screenshots open) and one unit per
// further format version (Demo2.dcu ... Demo103.dcu), all made with the
// synthetic unit-file builder, so that no binary files live in the sources.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "UnitBuilder.h"

using unitbuilder::UnitBuilder;

namespace {

// Packed file date and time of the versions below 100.
uint32_t PackedStamp(int Y, int Mo, int D, int H, int Mi, int S) {
  return uint32_t(Y - 1980) << 25 | uint32_t(Mo) << 21 | uint32_t(D) << 16 | uint32_t(H) << 11 |
         uint32_t(Mi) << 5 | uint32_t(S / 2);
}

std::vector<uint8_t> DemoUnit(int Version) {
  bool Epoch = Version >= 100;
  uint32_t Src = Epoch ? 1078482030u /* 2004-03-05 10:20:30 */ : PackedStamp(2004, 3, 5, 10, 20, 30);
  uint32_t Res = Epoch ? 1078444800u /* 2004-03-05 */ : PackedStamp(2004, 3, 5, 0, 0, 0);
  uint32_t Obj = Epoch ? 1075633200u : PackedStamp(2004, 2, 1, 11, 0, 0);
  UnitBuilder B(Version);
  B.Header();
  B.SourceFile("Demo.pas", 0x70, Src);
  B.SourceFile("Demo.res", 0x72, Res);
  B.SourceFile("DemoAsm.obj", 0x71, Obj);
  B.Uses(0x64, "SysUtils").EndEntry();
  B.Uses(0x64, "Classes").EndEntry();
  B.Uses(0x65, "Windows").EndEntry();
  B.Uses(0x68, "kernel32.dll").EndEntry();
  B.DataBlock(16);
  B.TrivialFixups();
  // Code-line table: one line, so the summary reports debug information.
  B.Tag(0x90).PackedUInt(1).PackedInt(1).PackedUInt(0);
  B.Stop();
  return B.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: gen_samples OUTDIR\n";
    return 2;
  }
  std::string Dir = argv[1];
  for (int V : {2, 3, 4, 5, 6, 7, 100, 101, 103}) {
    std::vector<uint8_t> Bytes = DemoUnit(V);
    std::string Path = Dir + "/Demo" + std::to_string(V) + ".dcu";
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    if (!Out) {
      std::cerr << "gen_samples: cannot write " << Path << "\n";
      return 1;
    }
  }
  return 0;
}
