// A folder's set read again in part after a change (the viewer's live
// folder tabs): a new walk's files, each either a unit of the last report
// kept as it is (its file unchanged) or one to read again; then the report
// and its find index in the new walk's order, the library units after the
// set's, and the findings worked out again. Without a window: the folder tab
// drives it a slice at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "UnitFolders.h"

class TFindIndex;

// What a file was like when its unit was read; a unit is read again when
// this differs.
struct TFileStamp {
  int64_t Size = -1, Inode = -1, MTimeNs = -1, CTimeNs = -1;
  bool operator==(const TFileStamp&) const = default;
};
using TStampOf = std::function<TFileStamp(const std::string& Path)>;

class TFolderRefresh {
 public:
  // Plans the refresh of Report (its units' stamps in Stamps, as read) from
  // a new walk of the folder Path.
  TFolderRefresh(const std::string& Path, const TFolderReport& Report, const std::vector<TFileStamp>& Stamps,
                 const TStampOf& StampOf);
  // The walk found the same unit files, unchanged, in the same order, and
  // the same unreadable entries: nothing to do.
  bool Same() const { return NothingChanged; }
  size_t ToRead() const { return Reading; }
  size_t DoneReading() const { return Done; }
  // Reads the next unit to read again (its names into Report's pool, its
  // declarations into Index, added after the units there); false when none
  // is left.
  bool ReadNext(TFolderReport& Report, TFindIndex& Index);
  // Puts Report and Index in the walk's order (the units kept moved over,
  // the LibraryUnits library units of Index after the set's), works out the
  // findings and gives the units' stamps. Once, after the reading.
  void Finish(TFolderReport& Report, TFindIndex& Index, size_t LibraryUnits, std::vector<TFileStamp>& Stamps);

 private:
  static constexpr size_t Read = size_t(-1);
  std::vector<std::string> Paths;
  std::vector<TFileStamp> NewStamps;
  std::vector<size_t> Kept;  // the unit of the report, or Read
  std::vector<TUnreadableEntry> Unreadable;
  std::vector<TFolderUnit> Units;
  // The number in the index of each unit read again (added after the others).
  std::vector<uint32_t> Indexed;
  size_t Next = 0;  // the next entry to look at for reading
  size_t Reading = 0, Done = 0;
  bool NothingChanged = false;
};
