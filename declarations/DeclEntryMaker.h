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

#include "DeclOutline.h"

class TOutlineBuilder;

class TDeclEntryMaker {
 public:
  // The unit must outlive the maker. Type names are made as they are met,
  // and kept for the entries after.
  explicit TDeclEntryMaker(const TUnit& U, const TDeclOutlineOptions& Options = {});
  ~TDeclEntryMaker();
  TDeclEntryMaker(const TDeclEntryMaker&) = delete;
  TDeclEntryMaker& operator=(const TDeclEntryMaker&) = delete;

  // The entry of declaration number N, for a declaration the outline lists
  // (a top-level one; a routine nested in another is made the same way);
  // none for a number the unit does not resolve or a declaration the
  // outline leaves out (compiler-made names).
  std::optional<TDeclEntry> Entry(int64_t N);

 private:
  const TUnit& U;
  std::unique_ptr<TOutlineBuilder> Builder;
};
