// Names and numbers of the unit: the type table and its placeholders, the
// division of the data block among declarations, the sorted name index and
// the folding of enumeration constants into their types.
#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "DCU_Fold.h"
#include "DCU_Unit.h"
#include "DCURecs.h"

std::string NameText(TPos P) { return std::string(NameView(P)); }

namespace {

inline uint64_t LoadWord(const char* P) {
  uint64_t W;
  std::memcpy(&W, P, sizeof W);
  return W;
}

// The first byte of a word read from memory is its most significant one.
inline uint64_t InMemoryOrder(uint64_t W) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(W);
  return W;
}

}  // namespace

// Names of one unit share long prefixes ("T", "Get", a class name), so the
// equal stretch is passed over eight bytes at a time.
int CompareNamesNoCase(std::string_view A, std::string_view B) {
  const size_t N = A.size() < B.size() ? A.size() : B.size();
  size_t I = 0;
  for (; I + 8 <= N; I += 8) {
    const uint64_t WA = LoadWord(A.data() + I), WB = LoadWord(B.data() + I);
    if (WA == WB) continue;
    const uint64_t FA = FoldUpperWord(WA), FB = FoldUpperWord(WB);
    if (FA != FB) return InMemoryOrder(FA) < InMemoryOrder(FB) ? -1 : 1;
  }
  for (; I < N; ++I) {
    const unsigned char CA = FoldUpper(static_cast<unsigned char>(A[I]));
    const unsigned char CB = FoldUpper(static_cast<unsigned char>(B[I]));
    if (CA != CB) return CA < CB ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

namespace {

// One entry of the name index while it is sorted: the case-folded bytes
// 8 * Depth to 8 * Depth + 7 of its name as one number (zero-padded), the
// entry itself and its place in the order of adding. The key is taken from
// the name once per level, so that the sort itself never reaches into the
// names, and the sorted items give the index in order without going back
// to where the entries stood.
struct TNameSortItem {
  uint64_t Key;
  const char* Text;
  TNameDecl* Decl;
  uint32_t Len;
  uint32_t Seq;
};

// How many bytes of the name are left from level Depth on (9: more than eight).
inline size_t RestOf(const TNameSortItem& It, size_t Depth) {
  const size_t From = 8 * Depth;
  const size_t Left = It.Len > From ? It.Len - From : 0;
  return Left < 9 ? Left : 9;
}

void SetSortKey(TNameSortItem& It, size_t Depth) {
  const size_t Left = RestOf(It, Depth);
  uint64_t W = 0;
  if (Left >= 8) {
    std::memcpy(&W, It.Text + 8 * Depth, 8);
  } else {
    unsigned char Tail[8] = {};
    for (size_t I = 0; I < Left; ++I) Tail[I] = static_cast<unsigned char>(It.Text[8 * Depth + I]);
    std::memcpy(&W, Tail, 8);
  }
  It.Key = InMemoryOrder(FoldUpperWord(W));
}

// Below this many items a comparison sort is quicker than a radix pass.
constexpr size_t RadixMin = 160;

void SortNameLevel(TNameSortItem* Items, size_t N, size_t Depth);

// Items whose keys are all equal: names that end in this word first, by
// length, equal names the later one first; then the names that go on,
// sorted by their next eight bytes.
void SortEqualKeys(TNameSortItem* Items, size_t N, size_t Depth) {
  TNameSortItem* GoOn =
      std::partition(Items, Items + N, [Depth](const TNameSortItem& It) { return RestOf(It, Depth) < 9; });
  std::sort(Items, GoOn, [](const TNameSortItem& A, const TNameSortItem& B) {
    if (A.Len != B.Len) return A.Len < B.Len;
    return A.Seq > B.Seq;
  });
  const size_t Left = static_cast<size_t>(Items + N - GoOn);
  if (Left > 1) SortNameLevel(GoOn, Left, Depth + 1);
}

inline unsigned KeyByte(const TNameSortItem& It, unsigned Byte) {
  return static_cast<unsigned>(It.Key >> (56 - 8 * Byte)) & 0xFF;
}

// Sorts items that agree in the key bytes before Byte: a comparison sort
// for few items, else one in-place pass that distributes them by this byte
// (most significant first) and the same for each part.
void SortByKeyFrom(TNameSortItem* Items, size_t N, size_t Depth, unsigned Byte) {
  if (N < RadixMin) {
    std::sort(Items, Items + N, [Depth](const TNameSortItem& A, const TNameSortItem& B) {
      if (A.Key != B.Key) return A.Key < B.Key;
      const size_t RA = RestOf(A, Depth), RB = RestOf(B, Depth);
      if (RA != RB) return RA < RB;
      return RA < 9 && A.Seq > B.Seq;
    });
    for (size_t I = 0; I < N;) {
      size_t J = I + 1;
      const size_t Rest = RestOf(Items[I], Depth);
      while (J < N && Items[J].Key == Items[I].Key && RestOf(Items[J], Depth) == Rest) ++J;
      if (Rest == 9 && J - I > 1) SortNameLevel(Items + I, J - I, Depth + 1);
      I = J;
    }
    return;
  }
  // Names share long prefixes: the key bytes that all items agree in are
  // passed over.
  uint64_t Differ = 0;
  for (size_t I = 1; I < N; ++I) Differ |= Items[I].Key ^ Items[0].Key;
  if (Differ == 0) {
    SortEqualKeys(Items, N, Depth);
    return;
  }
  Byte = static_cast<unsigned>(std::countl_zero(Differ)) / 8;
  // Names are mostly letters, digits and '_': only the byte values from the
  // lowest to the highest one present are visited.
  size_t Count[256] = {};
  unsigned Lo = 255, Hi = 0;
  for (size_t I = 0; I < N; ++I) {
    const unsigned D = KeyByte(Items[I], Byte);
    ++Count[D];
    Lo = std::min(Lo, D);
    Hi = std::max(Hi, D);
  }
  size_t Next[256], End[256];
  size_t At = 0;
  for (unsigned B = Lo; B <= Hi; ++B) {
    Next[B] = At;
    At += Count[B];
    End[B] = At;
  }
  for (unsigned B = Lo; B <= Hi; ++B) {
    while (Next[B] < End[B]) {
      const unsigned D = KeyByte(Items[Next[B]], Byte);
      if (D == B) ++Next[B];
      else std::swap(Items[Next[B]], Items[Next[D]++]);
    }
  }
  size_t From = 0;
  for (unsigned B = Lo; B <= Hi; ++B) {
    if (End[B] - From > 1) SortByKeyFrom(Items + From, End[B] - From, Depth, Byte + 1);
    From = End[B];
  }
}

// Sorts items whose names agree in their first 8 * Depth folded bytes by the
// rest of their names. The key of the next eight bytes is taken into the
// item once per level, so that the sort itself never reaches into the names.
void SortNameLevel(TNameSortItem* Items, size_t N, size_t Depth) {
  for (size_t I = 0; I < N; ++I) SetSortKey(Items[I], Depth);
  SortByKeyFrom(Items, N, Depth, 0);
}

}  // namespace

namespace {

void SortNameItems(std::vector<TNameSortItem>& Items) {
  if (Items.size() > 1) SortNameLevel(Items.data(), Items.size(), 0);
}

TNameSortItem SortItem(std::string_view Name, TNameDecl* Decl, size_t Seq) {
  return TNameSortItem{0, Name.data(), Decl, static_cast<uint32_t>(Name.size()), static_cast<uint32_t>(Seq)};
}

TNameIndexEntry IndexEntry(const TNameSortItem& It) { return {std::string_view(It.Text, It.Len), It.Decl}; }

}  // namespace

void SortNameIndex(std::vector<TNameIndexEntry>& Entries) {
  std::vector<TNameSortItem> Items;
  Items.reserve(Entries.size());
  for (size_t I = 0; I < Entries.size(); ++I) Items.push_back(SortItem(Entries[I].Name, Entries[I].Decl, I));
  SortNameItems(Items);
  for (size_t I = 0; I < Items.size(); ++I) Entries[I] = IndexEntry(Items[I]);
}

void TUnit::NameType(int64_t N, TPos Name) {
  if (N <= 0) return;
  if (N > ImageSize) RaiseReadErrorFmt("Type number 0x%x out of range", {N});
  GrowTo(TypeTable, N);
  NameTypeSlot(static_cast<size_t>(N - 1), Name);
}

void TUnit::NameTypeSlot(size_t Slot, TPos Name) {
  TBaseDef*& P = TypeTable[Slot];
  if (!P) {
    P = new TBaseDef(Name, nullptr, -1);
    OwnTypeEntry(P);
  }
  else if (!P->Name)
    P->Name = Name;
}

void TUnit::OwnTypeEntry(TBaseDef* D) {
  D->OwnedByTypeTable = true;
  if (!D->InArena()) ++HeapTypeEntries;
}

void TUnit::AddTypeDef(TBaseDef* D) {
  int32_t N = TypeCount;
  GrowTo(TypeTable, static_cast<int64_t>(N) + 1);
  TBaseDef* P = TypeTable[static_cast<size_t>(N)];
  if (P) {
    if (P->DefPos) RaiseReadErrorFmt("Type def #%x override", {N + 1});
    if (D->UnitIndex != P->UnitIndex) RaiseReadErrorFmt("Type def #%x unit mismatch", {N + 1});
    D->Name = P->GetName();
    if (P->OwnedByTypeTable) DestroyRecord(P);
  }
  OwnTypeEntry(D);
  TypeTable[static_cast<size_t>(N)] = D;
  TypeCount = N + 1;
}

void TUnit::AssignDeclMem(int64_t N, int32_t Ofs, int32_t Len) {
  if (N <= 0 || N > static_cast<int64_t>(DeclTable.size()))
    RaiseReadErrorFmt("Undefined Fixup Declaration: #%x", {N});
  TDCURec* R = DeclTable[static_cast<size_t>(N - 1)];
  int32_t Used = 0;
  while (R) {
    if (auto* P = RecCast<TProcDecl>(R)) P->BlockOfs = Used;
    int32_t Left = R->SetMem(static_cast<int32_t>(static_cast<uint32_t>(Ofs) + static_cast<uint32_t>(Used)),
                             static_cast<int32_t>(static_cast<uint32_t>(Len) - static_cast<uint32_t>(Used)));
    if (Left <= 0) break;
    Used = static_cast<int32_t>(static_cast<uint32_t>(Len) - static_cast<uint32_t>(Left));
    R = R->Next;
  }
}

void TUnit::BuildNameIndex(TNameDecl* Chain) {
  NameIndex.clear();
  // At most one entry per declaration number: memory reserved beyond what is
  // used is never touched, so it costs no resident memory, and the list is
  // never copied while it grows.
  std::vector<TNameDecl*> Visible;
  Visible.reserve(DeclTable.size());
  for (TDCURec* R = Chain; R; R = R->Next) {
    auto* D = RecCast<TNameDecl>(R);
    if (!D) throw EDCUReadError("Invalid class typecast");
    auto* F = RecCast<TNameFDecl>(D);
    if (F && F->IsVisible(0)) Visible.push_back(F);
  }
  NameIndex.Assign(std::move(Visible));
}

void TNameIndex::Assign(std::vector<TNameDecl*> Decls) {
  clear();
  Count = Decls.size();
  Unsorted = std::move(Decls);
}

void TNameIndex::clear() {
  Count = 0;
  Unsorted = {};
  Sorted = {};
}

void TNameIndex::Sort() const {
  std::vector<TNameSortItem> Items;
  Items.reserve(Unsorted.size());
  for (TNameDecl* D : Unsorted) Items.push_back(SortItem(NameView(D->GetName()), D, Items.size()));
  Unsorted = {};
  // A new entry goes before the entries equal to it: equal names end up in
  // the reverse of the order in which they were added.
  SortNameItems(Items);
  Sorted.reserve(Items.size());
  for (const TNameSortItem& It : Items) Sorted.push_back(IndexEntry(It));
}

void TUnit::IndexNamesAndFoldEnums() {
  NameIndex.clear();
  TTopLevelNotes Notes = std::exchange(TopLevel, {});
  NameIndex.Assign(std::move(Notes.Visible));
  // The runs in chain order: an enumeration takes the first run that fits.
  for (const TEnumRun& Run : Notes.Runs) {
    auto* D = RecCast<TEnumDef>(GetTypeDef(Run.Type->TypeIndex));
    if (!D || D->NameList) continue;
    int64_t Lo = 0, Hi = 0;
    D->GetBounds(Lo, Hi);
    if (static_cast<uint32_t>(Lo) != 0 || static_cast<uint32_t>(Hi) + 1u != Run.Len) continue;
    // The list goes where the enumeration is: in the arena while the unit is
    // read; on the heap otherwise (noted when the enumeration itself is of
    // the arena, so that the release gives the list back).
    const bool InArena = D->InArena() && ActiveRecordArena;
    TEnumNameList* List = TEnumNameList::Make(Run.Len, InArena);
    if (Run.Before) Run.Before->Next = Run.Type;
    else Decls = Run.Type;
    Run.Last->Next = nullptr;
    TConstDecl** Item = List->begin();
    for (TDCURec* C = Run.First; C; C = C->Next) *Item++ = static_cast<TConstDecl*>(C);
    D->NameList = List;
    if (D->InArena() && !InArena) NoteHeapMemory(D);
  }
}

