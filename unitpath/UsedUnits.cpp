// The library of used units (see UsedUnits.h).
#include "UsedUnits.h"

#include "DCU_TextRules.h"
#include "DCU_Unit.h"
#include "UnitLoad.h"

namespace {

// A unit's view of the library: its folders in order.
class TUsedTypesIn : public TUsedTypes {
 public:
  TUsedTypesIn(TUsedUnits& Lib, std::vector<std::string> Folders) : Lib(Lib), Folders(std::move(Folders)) {}
  const TUnitTypes* UnitTypes(std::string_view Name, int32_t Version) override {
    const std::string File = Lib.FindUnit(Folders, Name, Version);
    return File.empty() ? nullptr : Lib.TypesOf(File);
  }

 private:
  TUsedUnits& Lib;
  const std::vector<std::string> Folders;
};

}  // namespace

TUsedUnits::TUsedUnits(std::vector<std::string> Path) : Folders(std::move(Path)) {}
TUsedUnits::~TUsedUnits() = default;

std::unique_ptr<TUsedTypes> TUsedUnits::For(const std::string& UnitFolder, const std::string& TabFolder) {
  std::vector<std::string> In{UnitFolder};
  if (!TabFolder.empty() && TabFolder != UnitFolder) In.push_back(TabFolder);
  for (const std::string& F : Folders)
    if (F != UnitFolder && F != TabFolder) In.push_back(F);
  return std::make_unique<TUsedTypesIn>(*this, std::move(In));
}

std::string TUsedUnits::FindUnit(const std::vector<std::string>& In, std::string_view Name, int32_t Version) {
  for (const std::string& Folder : In) {
    const std::string File = Finder.Find(Folder, Name);
    if (File.empty()) continue;
    // Only the unit of that name (not a file renamed) of the same format
    // version counts.
    if (const TUnitTypes* T = TypesOf(File); T && T->Version == Version && SameNameNoCase(T->Unit, Name)) return File;
  }
  return {};
}

const TUnitTypes* TUsedUnits::TypesOf(const std::string& Path) {
  std::lock_guard<std::mutex> L(M);
  auto It = ByFile.find(Path);
  if (It != ByFile.end()) return It->second.get();
  std::unique_ptr<TUnitTypes> Types;
  {
    // Read beside the unit being decoded on this thread, which stays the
    // unit being read.
    const TReadAside Aside;
    TryLoadUnit(Path, [&Types](const TUnit& U) { Types = std::make_unique<TUnitTypes>(TakeUnitTypes(U)); });
  }
  return ByFile.emplace(Path, std::move(Types)).first->second.get();
}

size_t TUsedUnits::FilesRead() const {
  std::lock_guard<std::mutex> L(M);
  return ByFile.size();
}
