// Writes extra fuzz seeds into the folder given on the command line: one
// group of the large synthetic unit for every format version, so the fuzzer
// starts from classes, methods, properties, embedded lists and a data block
// divided by fixups, which the sample units do not hold; and the unit of
// every value kind, whose typed constants, fixups, member flags and routine
// flag words lead the value decoders everywhere.
#include <iostream>
#include <string>

#include "LargeUnit.h"
#include "SampleUnits.h"
#include "UnitBuilder.h"
#include "ValuesUnit.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: gen_seeds OUTDIR\n";
    return 2;
  }
  for (int V : unitbuilder::AllVersions()) {
    std::vector<uint8_t> Bytes = unitbuilder::LargeUnit(1, V);
    std::string Path = std::string(argv[1]) + "/Large" + std::to_string(V) + ".dcu";
    if (!unitbuilder::WriteUnitFile(Path, Bytes)) {
      std::cerr << "gen_seeds: cannot write " << Path << "\n";
      return 1;
    }
  }
  const std::string Vals = std::string(argv[1]) + "/Vals.dcu";
  if (!unitbuilder::WriteUnitFile(Vals, unitbuilder::ValuesUnit())) {
    std::cerr << "gen_seeds: cannot write " << Vals << "\n";
    return 1;
  }
  return 0;
}
