// Entries of the outline made one at a time (see DeclEntryMaker.h).
#include "DeclEntryMaker.h"

#include "DeclBuilder.h"

bool TOutlineBuilder::EntryOf(TNameDecl* D, TDeclEntry& E) {
  const std::optional<TDeclKind> Kind = D ? EntryKind(D) : std::nullopt;
  if (!Kind) return false;
  MakeEntry(D, *Kind, E);
  return true;
}

void TOutlineBuilder::TrimTexts(size_t Keep) {
  if (Texts.size() <= Keep) return;
  Texts.clear();
  Numbers.clear();
  State.clear();
}

TDeclEntryMaker::TDeclEntryMaker(const TUnit& U, const TDeclOutlineOptions& Options)
    : U(U), Builder(std::make_unique<TOutlineBuilder>(U, Options.KeepSpans)) {
  Builder->PrepareEntries();
}

TDeclEntryMaker::~TDeclEntryMaker() = default;

std::optional<TDeclEntry> TDeclEntryMaker::Entry(int64_t N) {
  // Type texts are made again after a few thousand: the entries wanted are
  // a stream, not a whole outline.
  Builder->TrimTexts(4096);
  TDeclEntry E;
  if (!Builder->EntryOf(RecCast<TNameDecl>(U.GetDecl(N)), E)) return std::nullopt;
  return E;
}
