// The JSON that unitpeek-dump --json prints: one array with an object per
// file (path, ok, error and, for a unit that loaded, its facts: unit name,
// version, source files with their stamps, debugger options, uses lists and
// table statistics). Shared by the command line and the fuzz target.
//
// The text is written straight from the facts, laid out as nlohmann's dump
// with an indent of 2 lays out the same values (keys in alphabetical order,
// which is how its objects keep them); strings that need escaping go through
// nlohmann itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "UnitFacts.h"

struct TDeclOutline;

class TFileJsonArray {
 public:
  explicit TFileJsonArray(std::string& Out);
  // One file's object. Error (UTF-8) is empty when there is none; Facts is
  // null when the unit did not load. Decls, when given, is written as the
  // member "decls" (see DeclJson.h), and Flush, when given, is handed Out
  // whenever it holds a megabyte or more of them, to write it away and
  // empty it.
  void Add(std::string_view Path, const TUnitFacts* Facts, std::string_view Error,
           const TDeclOutline* Decls = nullptr, const std::function<void(std::string&)>& Flush = {});
  // Closes the array.
  void Finish();

 private:
  std::string& Out;
  bool Empty = true;
};
