// Entries of the outline made one at a time (see DeclEntryMaker.h).
#include "DeclEntryMaker.h"

#include <algorithm>

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
  Made.clear();
  Making.clear();
}

TDeclEntryMaker::TDeclEntryMaker(const TUnit& U, const TDeclOutlineOptions& Options)
    : U(U), Builder(std::make_unique<TOutlineBuilder>(U, Options.KeepSpans)) {
  Builder->PrepareEntries();
}

TDeclEntryMaker::~TDeclEntryMaker() = default;

TNameDecl* TDeclEntryMaker::Find(uint32_t Offset, int64_t Hint) {
  if (auto* D = RecCast<TNameDecl>(U.GetDecl(Hint)); D && OffsetOf(U, D->DefPos) == Offset) return D;
  if (!ByOffsetMade) {
    ByOffsetMade = true;
    for (TDCURec* R = U.Decls; R; R = R->Next)
      if (auto* D = RecCast<TNameDecl>(R); D && D->DefPos) ByOffset.emplace_back(OffsetOf(U, D->DefPos), D);
    std::sort(ByOffset.begin(), ByOffset.end(),
              [](const auto& A, const auto& B) { return A.first < B.first; });
  }
  auto It = std::lower_bound(ByOffset.begin(), ByOffset.end(), Offset,
                             [](const auto& A, uint32_t V) { return A.first < V; });
  return It != ByOffset.end() && It->first == Offset ? It->second : nullptr;
}

std::optional<TDeclEntry> TDeclEntryMaker::EntryAt(uint32_t Offset, int64_t Hint) {
  // Type texts are made again after a few thousand: the entries wanted are
  // a stream, not a whole outline.
  Builder->TrimTexts(4096);
  TDeclEntry E;
  if (!Builder->EntryOf(Find(Offset, Hint), E)) return std::nullopt;
  return E;
}
