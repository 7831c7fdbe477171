// Finding used units by name (see UnitPath.h).
#include "UnitPath.h"

#include <algorithm>

#include "DCU_TextRules.h"
#include "Platform.h"

std::vector<std::string> SplitUnitPath(std::string_view List) {
  std::vector<std::string> Out;
  size_t From = 0;
  while (From <= List.size()) {
    size_t To = List.find(FolderListSeparator, From);
    if (To == std::string_view::npos) To = List.size();
    if (To > From) Out.emplace_back(List.substr(From, To - From));
    From = To + 1;
  }
  return Out;
}

std::string UnitFolderOf(const std::string& Path) {
  const std::string Folder = PathToUtf8(PathFromUtf8(Path).parent_path());
  return Folder.empty() ? std::string(".") : Folder;
}

std::string TUnitFileFinder::Find(const std::string& Folder, std::string_view Name) {
  const std::string Key = LowerName(Name) + ".dcu";
  std::lock_guard<std::mutex> L(M);
  auto It = Listings.find(Folder);
  if (It == Listings.end()) {
    std::map<std::string, std::string> Units;
    std::vector<std::string> Names = FolderNames(PathFromUtf8(Folder));
    std::sort(Names.begin(), Names.end());
    for (const std::string& N : Names)
      if (N.size() > 4) Units.emplace(LowerName(N), N);  // the first in name order stays
    It = Listings.emplace(Folder, std::move(Units)).first;
  }
  auto F = It->second.find(Key);
  return F == It->second.end() ? std::string() : JoinFolderPath(Folder, F->second);
}
