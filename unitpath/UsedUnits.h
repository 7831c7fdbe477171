// The library of one run (or one folder tab): the units that the units read
// use, found on the unit path and read on demand, each once, and kept as
// their type facts only (TypeFacts.h), never as loaded units. A unit being
// decoded asks through a TUsedTypes of its own (For), which looks in its
// folder first. Safe to share between threads: a unit file is read by one
// of them while the others that want it wait.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TypeFacts.h"
#include "UnitPath.h"

class TUsedUnits {
 public:
  // Path: the folders of the unit path, in order.
  explicit TUsedUnits(std::vector<std::string> Path = {});
  ~TUsedUnits();
  TUsedUnits(const TUsedUnits&) = delete;
  TUsedUnits& operator=(const TUsedUnits&) = delete;

  // The used units as a unit in UnitFolder sees them: that folder first,
  // then TabFolder (when given), then the unit path. Lives no longer than
  // this library.
  std::unique_ptr<TUsedTypes> For(const std::string& UnitFolder, const std::string& TabFolder = {});

  // The file of the unit Name for a unit in UnitFolder (same order), whose
  // format version is Version; empty when there is none.
  std::string FindUnit(const std::vector<std::string>& Folders, std::string_view Name, int32_t Version);

  // The type facts of the unit file at Path, read the first time; null when
  // it does not load.
  const TUnitTypes* TypesOf(const std::string& Path);

  const std::vector<std::string>& Path() const { return Folders; }
  // How many unit files were read for their facts.
  size_t FilesRead() const;

 private:
  std::vector<std::string> Folders;
  TUnitFileFinder Finder;
  mutable std::mutex M;
  std::map<std::string, std::unique_ptr<TUnitTypes>> ByFile;  // null: did not load
};
