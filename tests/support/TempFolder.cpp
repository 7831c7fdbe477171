// Temporary folders of tests (see TempFolder.h).
#include "TempFolder.h"

#include <unistd.h>

#include "UnitBuilder.h"

namespace fs = std::filesystem;

namespace testdata {

namespace {

fs::path NewRoot(const std::string& Tag) {
  static int Counter = 0;
  fs::path P = fs::temp_directory_path() / ("unitpeek-" + Tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
  fs::create_directories(P);
  return P;
}

}  // namespace

TTempFolder::TTempFolder(const std::string& Tag) : Root(NewRoot(Tag)) {}

TTempFolder::~TTempFolder() {
  std::error_code E;
  fs::remove_all(Root, E);
}

std::string TTempFolder::Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const {
  const fs::path P = Root / Rel;
  std::error_code E;
  fs::create_directories(P.parent_path(), E);
  return unitbuilder::WriteUnitFile(P.string(), Bytes) ? P.string() : std::string();
}

std::string TTempFolder::Folder(const std::string& Rel) const {
  std::error_code E;
  fs::create_directories(Root / Rel, E);
  return (Root / Rel).string();
}

}  // namespace testdata
