// Writes the bundled sample units into the folder given on the command line:
// Demo7.dcu (the sample the README and screenshots open) and one unit per
// further format version (Demo2.dcu ... Demo103.dcu), all made with the
// synthetic unit-file builder, so that no binary files live in the sources.
#include <exception>
#include <iostream>
#include <string>

#include "DCU_In.h"
#include "SampleUnits.h"
#include "UnitBuilder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: gen_samples OUTDIR\n";
    return 2;
  }
  const std::string Dir = argv[1];
  for (int V : unitbuilder::AllVersions()) {
    std::vector<uint8_t> Bytes;
    try {
      Bytes = unitbuilder::DemoUnit(V);
    } catch (const EDCUReadError& E) {
      std::cerr << "gen_samples: sample of version " << V << " does not load: " << E.Text() << "\n";
      return 1;
    } catch (const std::exception& E) {
      std::cerr << "gen_samples: sample of version " << V << ": " << E.what() << "\n";
      return 1;
    }
    const std::string Path = Dir + "/Demo" + std::to_string(V) + ".dcu";
    if (!unitbuilder::WriteUnitFile(Path, Bytes)) {
      std::cerr << "gen_samples: cannot write " << Path << "\n";
      return 1;
    }
  }
  return 0;
}
