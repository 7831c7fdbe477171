// Reading a folder's set again in part (see FolderRefresh.h).
#include "FolderRefresh.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "FindIndex.h"

namespace {

bool SameEntries(const std::vector<TUnreadableEntry>& A, const std::vector<TUnreadableEntry>& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](const TUnreadableEntry& X, const TUnreadableEntry& Y) {
    return X.Path == Y.Path && X.Error == Y.Error;
  });
}

}  // namespace

TFolderRefresh::TFolderRefresh(const std::string& Path, const TFolderReport& Report,
                               const std::vector<TFileStamp>& Stamps, const TStampOf& StampOf) {
  TUnitFileList Walk = FindUnitFiles({Path});
  std::unordered_map<std::string_view, size_t> Old;
  for (size_t I = 0; I < Report.Units.size(); ++I) Old.emplace(Report.Units[I].Path, I);
  bool Same = Walk.Files.size() == Report.Units.size();
  for (size_t I = 0; I < Walk.Files.size(); ++I) {
    NewStamps.push_back(StampOf(Walk.Files[I]));
    auto It = Old.find(Walk.Files[I]);
    const bool Keep = It != Old.end() && It->second < Stamps.size() && Stamps[It->second] == NewStamps.back();
    Kept.push_back(Keep ? It->second : Read);
    Reading += Keep ? 0 : 1;
    Same = Same && Keep && It->second == I;
  }
  // A change that touched no unit file (another kind of file).
  NothingChanged = Same && SameEntries(Walk.Unreadable, Report.Unreadable);
  Paths = std::move(Walk.Files);
  Unreadable = std::move(Walk.Unreadable);
  Units.resize(Paths.size());
  Indexed.resize(Paths.size());
}

bool TFolderRefresh::ReadNext(TFolderReport& Report, TFindIndex& Index) {
  if (Done >= Reading) return false;
  while (Kept[Next] != Read) ++Next;
  std::optional<TFindUnit> Taken;
  Units[Next] = ReadFolderUnit(Paths[Next], Report.Names, [&](const TUnit& U) { Taken = Index.Take(U); });
  Indexed[Next] = uint32_t(Index.Size());
  Index.Add(Paths[Next], std::move(Taken), Units[Next].Error);
  ++Next;
  ++Done;
  return true;
}

void TFolderRefresh::Finish(TFolderReport& Report, TFindIndex& Index, size_t LibraryUnits,
                            std::vector<TFileStamp>& Stamps) {
  std::vector<uint32_t> IndexOrder(Paths.size());
  for (size_t I = 0; I < Paths.size(); ++I) {
    if (Kept[I] != Read) Units[I] = std::move(Report.Units[Kept[I]]);
    IndexOrder[I] = Kept[I] != Read ? uint32_t(Kept[I]) : Indexed[I];
  }
  // The library units stay after the set's.
  for (size_t I = 0; I < LibraryUnits; ++I) IndexOrder.push_back(uint32_t(Report.Units.size() + I));
  // The index numbers its units as the report again.
  Index.Reorder(IndexOrder);
  Index.SetLibraryFrom(uint32_t(Paths.size()));
  Report.Units = std::move(Units);
  Report.Unreadable = std::move(Unreadable);
  Stamps = std::move(NewStamps);
  ComputeFindings(Report);
}
