// Where the units a unit uses are found: the unit's own folder, the folder
// a folder tab shows, then the folders of the unit path in order (the
// compiler's library folder, a project's folders). A used unit is found by
// its name with ".dcu", in any letter case.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The folders of a list written as "A:B" (';' between them on Windows);
// empty parts are left out.
std::vector<std::string> SplitUnitPath(std::string_view List);

// The folder of a unit file's path ("." for a bare name).
std::string UnitFolderOf(const std::string& Path);

// The unit files of folders, listed once each: the path of Name.dcu in a
// folder, in any letter case (the name as listed when several differ in
// case only, the first in name order). Safe to use from several threads.
class TUnitFileFinder {
 public:
  // The path of the unit Name in Folder; empty when it has none.
  std::string Find(const std::string& Folder, std::string_view Name);

 private:
  std::mutex M;
  // By folder: lower-case unit names and the file names as listed.
  std::map<std::string, std::map<std::string, std::string>> Listings;
};
