// The module's warm-up (up_warm_up, see WebApi.cpp): a folder of synthetic
// units, the sample unit of every format version and a large one, reported
// a few times in the module's own file system and removed again. The
// browser compiles a function of the module when it is first called, and
// compiles it well only once it has run a while; run before the user's
// first folder, this moves that work out of the folder's report.
#include <emscripten/emscripten.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DCU_Unit.h"
#include "FolderReportWriters.h"
#include "LargeUnit.h"
#include "SampleUnits.h"
#include "UnitFolders.h"

namespace {

void WriteUnit(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream F(Path, std::ios::binary);
  F.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

void ReportRounds(const std::filesystem::path& Dir, int Rounds) {
  for (int V : unitbuilder::AllVersions())
    WriteUnit((Dir / ("Demo" + std::to_string(V) + ".dcu")).string(), unitbuilder::DemoUnit(V));
  WriteUnit((Dir / "Large.dcu").string(), unitbuilder::LargeUnit(400));
  for (int R = 0; R < Rounds; ++R) {
    UnitConstructionCount = 0;
    const TFolderReport Report = ScanFolders({Dir.string()});
    std::ostringstream Out;
    WriteReportText(Report, Out);
    Out << '\0';
    WriteReportJson(Report, Out);
  }
}

}  // namespace

// Rounds: how many times the folder is reported. Leaves the reader's state
// as a new run finds it; a failure (no memory) only ends the warm-up.
extern "C" EMSCRIPTEN_KEEPALIVE void up_warm_up(int Rounds) {
  const std::filesystem::path Dir = "/warm-up";
  std::error_code Ec;
  std::filesystem::create_directories(Dir, Ec);
  try {
    ReportRounds(Dir, Rounds);
  } catch (const std::exception&) {
  }
  UnitConstructionCount = 0;
  std::filesystem::remove_all(Dir, Ec);
}
