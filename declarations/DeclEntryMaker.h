// Entries of the declarations outline made one at a time, for writers that
// need the lines of some declarations of a unit without the whole outline:
// the code listing heads each routine with the line the declarations
// listing writes for it, and a unit of a million declarations has an
// outline of hundreds of megabytes. An entry made here is the one the
// outline holds for that declaration (its section aside).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "DeclOutline.h"

class TNameDecl;
class TOutlineBuilder;

class TDeclEntryMaker {
 public:
  // The unit must outlive the maker. Type names are made as they are met,
  // and kept for the entries after.
  explicit TDeclEntryMaker(const TUnit& U, const TDeclOutlineOptions& Options = {});
  ~TDeclEntryMaker();
  TDeclEntryMaker(const TDeclEntryMaker&) = delete;
  TDeclEntryMaker& operator=(const TDeclEntryMaker&) = delete;

  // The entry of the declaration whose record starts at file offset Offset
  // (the outline's anchor of its entry), for a declaration the outline lists
  // (a top-level one; a routine nested in another is made the same way when
  // Hint finds it); none for an offset where no such declaration starts or
  // one the outline leaves out (compiler-made names). Hint, the
  // declaration's number when known, finds it at once; a number another
  // record took over, or none, makes the maker look it up among the
  // top-level declarations.
  std::optional<TDeclEntry> EntryAt(uint32_t Offset, int64_t Hint = -1);

 private:
  const TUnit& U;
  std::unique_ptr<TOutlineBuilder> Builder;
  // The top-level declarations by offset, made at the first lookup a number
  // does not answer.
  std::vector<std::pair<uint32_t, TNameDecl*>> ByOffset;
  bool ByOffsetMade = false;
  TNameDecl* Find(uint32_t Offset, int64_t Hint);
};
