// Find in folders of units: patterns, the index built unit by unit, its
// queries and the listing lines of the hits (see FindIndex.h).
#include "FindIndex.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <unordered_map>

#include "DCURecs.h"
#include "DCU_Fold.h"
#include "DCU_In.h"
#include "DCU_Text.h"
#include "DCU_Unit.h"
#include "DeclListing.h"
#include "DeclOutline.h"
#include "ParallelScan.h"
#include "Platform.h"
#include "UnitLoad.h"

// ---------------------------------------------------------------------------
// Patterns

namespace {

std::string Folded(std::string_view S) {
  std::string F(S);
  for (char& C : F) C = static_cast<char>(FoldLower(static_cast<unsigned char>(C)));
  return F;
}

}  // namespace

TFindPattern::TFindPattern(std::string_view Text) : Given(Text), Whole(Folded(Text)) {
  const size_t Dot = Whole.rfind('.');
  if (Dot == std::string::npos) return;
  HasMember = true;
  Owner = Whole.substr(0, Dot);
  Member = Whole.substr(Dot + 1);
  if (Owner.empty()) Owner = "*";
  if (Member.empty()) Member = "*";
}

bool TFindPattern::HasWildcards(std::string_view F) { return F.find_first_of("*?") != std::string_view::npos; }

bool TFindPattern::MatchesFolded(const std::string& F, std::string_view Name) {
  return WildcardMatch(F, Folded(Name));
}

std::string_view FindSectionName(TFindSection S) {
  return S == TFindSection::Interface ? "interface" : "implementation";
}

namespace {

constexpr uint8_t FirstMemberKind = static_cast<uint8_t>(TFindKind::Field);
constexpr uint8_t ImplementationBit = 0x10;

TFindKind KindOf(TDeclKind K) { return static_cast<TFindKind>(static_cast<uint8_t>(K)); }
TFindKind KindOf(TMemberKind K) { return static_cast<TFindKind>(FirstMemberKind + static_cast<uint8_t>(K)); }

static_assert(static_cast<uint8_t>(TDeclKind::Exports) + 1 == FirstMemberKind);
static_assert(static_cast<uint8_t>(TMemberKind::Property) + FirstMemberKind == static_cast<uint8_t>(TFindKind::Property));

}  // namespace

std::string_view FindKindName(TFindKind K) {
  const auto N = static_cast<uint8_t>(K);
  return N < FirstMemberKind ? DeclKindName(static_cast<TDeclKind>(N))
                             : MemberKindName(static_cast<TMemberKind>(N - FirstMemberKind));
}

// ---------------------------------------------------------------------------
// Packed declarations

namespace {

void PutVarint(std::string& Out, uint64_t V) {
  while (V >= 0x80) {
    Out += static_cast<char>(V | 0x80);
    V >>= 7;
  }
  Out += static_cast<char>(V);
}

uint64_t GetVarint(const char*& P) {
  uint64_t V = 0;
  for (int Shift = 0;; Shift += 7) {
    const auto B = static_cast<uint8_t>(*P++);
    V |= uint64_t(B & 0x7F) << Shift;
    if (!(B & 0x80)) return V;
  }
}

size_t VarintSize(uint32_t V) {
  size_t N = 1;
  for (; V >= 0x80; V >>= 7) ++N;
  return N;
}

// Offsets differ by less than 2^32 either way.
uint64_t ZigZag(int64_t D) { return D < 0 ? (uint64_t(-D - 1) << 1) | 1 : uint64_t(D) << 1; }
int64_t UnZigZag(uint64_t V) { return (V & 1) ? -int64_t(V >> 1) - 1 : int64_t(V >> 1); }

// One declaration as unpacked.
struct TPacked {
  TFindKind Kind;
  TFindSection Section;
  uint32_t Name;
  uint32_t Offset;
};

// Reads a unit's packed declarations in order.
class TUnpacker {
 public:
  explicit TUnpacker(const std::string& Packed) : P(Packed.data()), End(Packed.data() + Packed.size()) {}
  bool Next(TPacked& D) {
    if (P >= End) return false;
    const auto K = static_cast<uint8_t>(*P++);
    D.Kind = static_cast<TFindKind>(K & 0x0F);
    D.Section = (K & ImplementationBit) ? TFindSection::Implementation : TFindSection::Interface;
    Name += UnZigZag(GetVarint(P));
    D.Name = static_cast<uint32_t>(Name);
    Offset += UnZigZag(GetVarint(P));
    D.Offset = static_cast<uint32_t>(Offset);
    return true;
  }

 private:
  const char* P;
  const char* End;
  int64_t Name = 0, Offset = 0;
};

// Every declaration of an outline in listing order: each entry, and the
// members of a record-like type after it (the listing writes no others).
template <class F>
void ForEachDecl(const TDeclOutline& O, F&& Fn) {
  for (const TDeclSection* S : {&O.Interface, &O.Implementation}) {
    const TFindSection Section = S == &O.Interface ? TFindSection::Interface : TFindSection::Implementation;
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries) {
        Fn(Section, E, static_cast<const TDeclMember*>(nullptr));
        if (IsRecordLike(E))
          for (const TDeclMember& M : E.Members) Fn(Section, E, &M);
      }
  }
}

// The line the declarations listing writes for an entry or a member,
// without its indentation.
std::string ListingLine(const TDeclEntry& E, const TDeclMember* M) {
  TDeclText T;
  T.SetKeepSpans(false);
  if (M) {
    AppendMemberLine(*M, T);
    T.Plain(";");
  } else {
    AppendEntryLine(E, T);
    if (!IsRecordLike(E)) T.Plain(";");
  }
  return T.Text.str();
}

}  // namespace

// ---------------------------------------------------------------------------
// Building

TFindTaken TFindIndex::TakeUnit(const TUnit& U) {
  TFindTaken T;
  T.Outline = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .NamesOnly = true});
  // The used units and the names imported from each: types (also those with
  // run-time type data) and addresses.
  T.Uses.reserve(U.UsedUnits.size());
  for (const auto& E : U.UsedUnits) {
    if (E->UseKind == DllImports) continue;
    TFindTaken::TUse& Use = T.Uses.emplace_back();
    Use.Name = DisplayUtf8(NameView(E->NamePos));
    Use.Interface = E->UseKind == InterfaceUses;
    for (const TDCURec* R = E->ImportChain; R; R = R->Next) {
      if (const auto* Ty = RecCast<TImpTypeDefRec>(R))
        Use.Imports.push_back(DisplayUtf8(NameView(Ty->TypeName)));
      else if (const auto* I = RecCast<TImpDef>(R); I && (I->Kind == 'T' || I->Kind == 'A'))
        Use.Imports.push_back(DisplayUtf8(NameView(I->GetName())));
    }
  }
  return T;
}

TFindUnit TFindIndex::Join(TFindTaken&& T) {
  const TDeclOutline& O = T.Outline;
  TFindUnit F;
  F.Name = Names.Add(O.UnitName);
  // Names and offsets as distances from the declaration before: a unit's
  // own names come into the pool one after another, and its records follow
  // each other in the file.
  int64_t LastName = 0, LastOffset = 0;
  ForEachDecl(O, [&](TFindSection S, const TDeclEntry& E, const TDeclMember* M) {
    const TFindKind K = M ? KindOf(M->Kind) : KindOf(E.Kind);
    const uint32_t Offset = M ? M->Offset : E.Offset;
    const uint32_t Name = Names.Add(M ? M->Name : E.Name);
    F.Packed += static_cast<char>(static_cast<uint8_t>(K) | (S == TFindSection::Implementation ? ImplementationBit : 0));
    PutVarint(F.Packed, ZigZag(int64_t(Name) - LastName));
    PutVarint(F.Packed, ZigZag(int64_t(Offset) - LastOffset));
    LastName = Name;
    LastOffset = Offset;
    ++F.Declarations;
    if (IsMemberKind(K)) ++F.Members;
  });
  F.Packed.shrink_to_fit();
  F.Uses.reserve(T.Uses.size());
  for (const TFindTaken::TUse& Use : T.Uses) {
    TFindUnit::TUse U{Names.Add(Use.Name), Use.Interface};
    U.First = static_cast<uint32_t>(F.Imports.size());
    for (const std::string& I : Use.Imports) F.Imports.push_back(Names.Add(I));
    U.Count = static_cast<uint32_t>(F.Imports.size()) - U.First;
    F.Uses.push_back(U);
  }
  F.Imports.shrink_to_fit();
  return F;
}

TFindUnit TFindIndex::Take(const TUnit& U) { return Join(TakeUnit(U)); }

void TFindIndex::Add(std::string Path, std::optional<TFindUnit> Unit, std::string Error) {
  TIndexedUnit I;
  I.Path = std::move(Path);
  if (Unit) {
    I.Ok = true;
    I.Name = Unit->Name;
    I.Declarations = Unit->Declarations;
    I.Members = Unit->Members;
    I.Packed = std::move(Unit->Packed);
    I.Uses = std::move(Unit->Uses);
    I.Uses.shrink_to_fit();
    I.Imports = std::move(Unit->Imports);
    DeclCount += I.Declarations;
  } else {
    I.Error = std::move(Error);
  }
  Units.push_back(std::move(I));
}

// Two passes over the packed declarations: the bytes each name's list takes,
// then the lists.
void TFindIndex::Finish() {
  if (Finished == Units.size() && !DeclsOf.Start.empty()) return;
  Units.shrink_to_fit();
  const size_t N = Names.Size();
  constexpr uint32_t None = UINT32_MAX;
  TPostings* Tables[3] = {&DeclsOf, &MembersOf, &ImportsOf};
  std::vector<uint32_t> Last[3];
  for (int T = 0; T < 3; ++T) {
    Tables[T]->Start.assign(N + 1, 0);
    Last[T].assign(N, None);
  }
  // Calls Fn(table, key, the number to store) once per name and unit.
  auto Walk = [&](auto&& Fn) {
    for (int T = 0; T < 3; ++T) std::fill(Last[T].begin(), Last[T].end(), None);
    for (uint32_t U = 0; U < Units.size(); ++U) {
      auto Put = [&](int T, uint32_t Name) {
        const uint32_t Key = Names.Folded(Name);
        uint32_t& L = Last[T][Key];
        if (L == U) return;
        Fn(T, Key, L == None ? U : U - L - 1);
        L = U;
      };
      TUnpacker Up(Units[U].Packed);
      for (TPacked D; Up.Next(D);) Put(IsMemberKind(D.Kind) ? 1 : 0, D.Name);
      for (uint32_t Name : Units[U].Imports) Put(2, Name);
    }
  };
  Walk([&](int T, uint32_t Key, uint32_t V) { Tables[T]->Start[Key + 1] += static_cast<uint32_t>(VarintSize(V)); });
  std::vector<uint32_t> Fill[3];
  for (int T = 0; T < 3; ++T) {
    std::vector<uint32_t>& S = Tables[T]->Start;
    for (size_t K = 0; K < N; ++K) S[K + 1] += S[K];
    Tables[T]->Bytes.assign(S[N], '\0');
    Fill[T].assign(S.begin(), S.end() - 1);
  }
  Walk([&](int T, uint32_t Key, uint32_t V) {
    std::string Enc;
    PutVarint(Enc, V);
    std::copy(Enc.begin(), Enc.end(), Tables[T]->Bytes.begin() + Fill[T][Key]);
    Fill[T][Key] += static_cast<uint32_t>(Enc.size());
  });
  PackedBytes = 0;
  for (const TIndexedUnit& U : Units) PackedBytes += U.Packed.size();
  Finished = Units.size();
}

void TFindIndex::Reorder(const std::vector<uint32_t>& Order) {
  std::vector<TIndexedUnit> Kept;
  Kept.reserve(Order.size());
  DeclCount = 0;
  for (uint32_t U : Order) {
    Kept.push_back(std::move(Units[U]));
    DeclCount += Kept.back().Declarations;
  }
  Units = std::move(Kept);
  Finished = 0;
  for (TPostings* T : {&DeclsOf, &MembersOf, &ImportsOf}) {
    T->Start.clear();
    T->Bytes.clear();
  }
  Finish();
}

std::vector<uint32_t> TFindIndex::TPostings::UnitsOf(uint32_t Folded) const {
  std::vector<uint32_t> Out;
  if (Folded + 1 >= Start.size()) return Out;
  const char* P = Bytes.data() + Start[Folded];
  const char* E = Bytes.data() + Start[Folded + 1];
  for (uint32_t U = 0, First = 1; P < E; First = 0) {
    const auto V = static_cast<uint32_t>(GetVarint(P));
    U = First ? V : U + 1 + V;
    Out.push_back(U);
  }
  return Out;
}

std::string TFindIndex::UnitName(uint32_t Unit) const {
  return Units[Unit].Ok ? std::string(Names.Text(Units[Unit].Name)) : std::string();
}

size_t TFindIndex::MemoryBytes() const {
  size_t B = Units.capacity() * sizeof(TIndexedUnit);
  for (const TIndexedUnit& U : Units)
    B += U.Path.capacity() + U.Error.capacity() + U.Packed.capacity() + U.Uses.capacity() * sizeof(TFindUnit::TUse) +
         U.Imports.capacity() * 4;
  for (const TPostings* T : {&DeclsOf, &MembersOf, &ImportsOf}) B += T->Start.capacity() * 4 + T->Bytes.capacity();
  return B + Names.MemoryBytes();
}

// ---------------------------------------------------------------------------
// Queries

// Every number is flagged as its folded number is, so that a packed
// declaration's own number tells.
std::vector<uint8_t> TFindIndex::MatchingNames(const std::string& F) const {
  const uint32_t N = static_cast<uint32_t>(Names.Size());
  if (!F.empty() && F.find_first_not_of('*') == std::string::npos) return std::vector<uint8_t>(N, 1);
  std::vector<uint8_t> Match(N, 0);
  if (!TFindPattern::HasWildcards(F)) {
    const uint32_t Id = Names.Lookup(F);
    if (Id == TNamePool::NotFound) return Match;
    for (uint32_t I = 0; I < N; ++I) Match[I] = Names.Folded(I) == Id;
    return Match;
  }
  for (uint32_t Id = 0; Id < N; ++Id)
    if (Names.Folded(Id) == Id && WildcardMatch(F, Names.Text(Id))) Match[Id] = 1;
  for (uint32_t Id = 0; Id < N; ++Id) Match[Id] = Match[Names.Folded(Id)];
  return Match;
}

TFindIndex::TMatch TFindIndex::Match(const TFindPattern& P) const {
  TMatch M;
  auto AllStars = [](const std::string& F) { return !F.empty() && F.find_first_not_of('*') == std::string::npos; };
  M.Decl = MatchingNames(P.FoldedWhole());
  M.AllDecls = AllStars(P.FoldedWhole());
  M.Members = P.FindsMembers();
  if (M.Members) {
    M.Member = MatchingNames(P.FoldedMember());
    M.Owner = MatchingNames(P.FoldedOwner());
    M.AllMembers = AllStars(P.FoldedMember()) && AllStars(P.FoldedOwner());
  }
  return M;
}

void TFindIndex::TPostings::Mark(const std::vector<uint8_t>& Match, std::vector<uint8_t>& Read) const {
  for (uint32_t Id = 0; Id < Match.size() && Id + 1 < Start.size(); ++Id) {
    if (!Match[Id] || Start[Id] == Start[Id + 1]) continue;
    const char* P = Bytes.data() + Start[Id];
    const char* E = Bytes.data() + Start[Id + 1];
    for (uint32_t U = 0, First = 1; P < E; First = 0) {
      const auto V = static_cast<uint32_t>(GetVarint(P));
      U = First ? V : U + 1 + V;
      Read[U] = true;
    }
  }
}

size_t TFindIndex::TPostings::Cost(const std::vector<uint8_t>& Match) const {
  size_t N = 0;
  for (uint32_t Id = 0; Id < Match.size() && Id + 1 < Start.size(); ++Id)
    if (Match[Id]) N += Start[Id + 1] - Start[Id];
  return N;
}

std::vector<uint8_t> TFindIndex::Candidates(const TMatch& M) const {
  // A byte of a list costs about what a byte of packed declarations does:
  // lists of a good part of all those bytes lead to most units anyway.
  const size_t All = Units.size();
  const size_t DeclCost = DeclsOf.Cost(M.Decl);
  // A member's unit also declares its owner: the shorter of the two lists will do.
  size_t MemberCost = 0;
  const TPostings* MemberTable = nullptr;
  const std::vector<uint8_t>* MemberMatch = nullptr;
  if (M.Members) {
    const size_t ByMember = MembersOf.Cost(M.Member), ByOwner = DeclsOf.Cost(M.Owner);
    MemberTable = ByMember <= ByOwner ? &MembersOf : &DeclsOf;
    MemberMatch = ByMember <= ByOwner ? &M.Member : &M.Owner;
    MemberCost = std::min(ByMember, ByOwner);
  }
  if ((DeclCost + MemberCost) * 4 >= PackedBytes) return std::vector<uint8_t>(All, true);
  std::vector<uint8_t> Read(All, false);
  for (size_t U = Finished; U < All; ++U) Read[U] = true;
  DeclsOf.Mark(M.Decl, Read);
  if (MemberTable) MemberTable->Mark(*MemberMatch, Read);
  return Read;
}

size_t TFindIndex::UnitHits(const TIndexedUnit& Unit, const TMatch& M, std::vector<TRawHit>& Out, size_t Keep) const {
  Out.clear();
  // Where every declaration (or every one but the members) is a hit and
  // none is kept, the unit's counts tell.
  if (Keep == 0 && M.AllDecls && (!M.Members || M.AllMembers))
    return M.Members ? Unit.Declarations : Unit.Declarations - Unit.Members;
  size_t Count = 0;
  uint32_t Owner = 0, Ordinal = 0;
  TUnpacker Up(Unit.Packed);
  for (TPacked D; Up.Next(D); ++Ordinal) {
    bool Hit;
    if (!IsMemberKind(D.Kind)) {
      Owner = D.Name;
      Hit = M.Decl[D.Name];
    } else {
      Hit = M.Members && M.Member[D.Name] && M.Owner[Owner];
    }
    if (Hit && Count++ < Keep) Out.push_back({Ordinal, D.Name, Owner, D.Offset, D.Kind, D.Section});
  }
  return Count;
}

TFindHit TFindIndex::MakeHit(uint32_t U, const TRawHit& R) const {
  TFindHit H;
  H.Unit = U;
  H.UnitName = Names.Text(Units[U].Name);
  H.Path = Units[U].Path;
  H.Section = R.Section;
  H.Kind = R.Kind;
  H.Name = IsMemberKind(R.Kind) ? std::string(Names.Text(R.Owner)) + "." + std::string(Names.Text(R.Name))
                                : std::string(Names.Text(R.Name));
  H.Offset = R.Offset;
  H.Ordinal = R.Ordinal;
  return H;
}

size_t TFindIndex::FindDecls(const TFindPattern& P, const std::function<bool(std::vector<TFindHit>&)>& Each) const {
  if (P.Empty()) return 0;
  const TMatch M = Match(P);
  const std::vector<uint8_t> Read = Candidates(M);
  size_t Count = 0;
  std::vector<TRawHit> Raw;
  std::vector<TFindHit> Hits;
  for (uint32_t U = 0; U < Units.size(); ++U) {
    if (!Read[U]) continue;
    UnitHits(Units[U], M, Raw);
    if (Raw.empty()) continue;
    Hits.clear();
    for (const TRawHit& R : Raw) Hits.push_back(MakeHit(U, R));
    Count += Hits.size();
    if (!Each(Hits)) break;
  }
  return Count;
}

std::vector<TFindUnitUsers> TFindIndex::FindUnits(const TFindPattern& P) const {
  if (P.Empty()) return {};
  return FindUnits(MatchingNames(P.FoldedWhole()));
}

std::vector<TFindUnitUsers> TFindIndex::FindUnits(const std::vector<uint8_t>& Match) const {
  std::vector<TFindUnitUsers> Out;
  std::unordered_map<uint32_t, size_t> Of;  // folded name -> Out index
  auto Entry = [&](uint32_t Name) -> TFindUnitUsers* {
    const uint32_t Key = Names.Folded(Name);
    if (Name >= Match.size() || !Match[Name]) return nullptr;
    auto [It, New] = Of.try_emplace(Key, Out.size());
    if (New) Out.push_back({std::string(Names.Text(Name)), {}, {}});
    return &Out[It->second];
  };
  for (uint32_t U = 0; U < Units.size(); ++U)
    if (Units[U].Ok)
      if (TFindUnitUsers* E = Entry(Units[U].Name)) E->Files.push_back(U);
  for (uint32_t U = 0; U < Units.size(); ++U) {
    const TIndexedUnit& Unit = Units[U];
    if (!Unit.Ok) continue;
    for (const TFindUnit::TUse& Use : Unit.Uses) {
      TFindUnitUsers* E = Entry(Use.Name);
      if (!E) continue;
      if (!E->Users.empty() && E->Users.back().Unit == U) {
        E->Users.back().Interface = E->Users.back().Interface || Use.Interface;
        continue;
      }
      E->Users.push_back({U, std::string(Names.Text(Unit.Name)), Unit.Path, Use.Interface});
    }
  }
  // By folded name.
  std::vector<std::pair<std::string_view, size_t>> Order;
  Order.reserve(Of.size());
  for (auto [Key, I] : Of) Order.emplace_back(Names.Text(Key), I);
  std::sort(Order.begin(), Order.end());
  std::vector<TFindUnitUsers> Sorted;
  Sorted.reserve(Order.size());
  for (auto& [Key, I] : Order) Sorted.push_back(std::move(Out[I]));
  return Sorted;
}

std::vector<TFindUser> TFindIndex::UsersOf(const TFindHit& H) const {
  std::vector<TFindUser> Users;
  if (IsMemberKind(H.Kind) || H.Section != TFindSection::Interface || H.Unit >= Units.size() || !Units[H.Unit].Ok)
    return Users;
  const uint32_t Id = Names.Lookup(Folded(H.Name));
  if (Id == TNamePool::NotFound) return Users;
  const uint32_t Name = Names.Folded(Id);
  const uint32_t Owner = Names.Folded(Units[H.Unit].Name);
  auto Imports = [&](uint32_t U) -> std::optional<bool> {  // interface use, when U imports it
    const TIndexedUnit& Unit = Units[U];
    for (const TFindUnit::TUse& Use : Unit.Uses) {
      if (Names.Folded(Use.Name) != Owner) continue;
      for (uint32_t K = Use.First; K < Use.First + Use.Count; ++K)
        if (Names.Folded(Unit.Imports[K]) == Name) return Use.Interface;
    }
    return std::nullopt;
  };
  std::vector<uint32_t> Candidates = ImportsOf.UnitsOf(Name);
  for (size_t U = Finished; U < Units.size(); ++U) Candidates.push_back(static_cast<uint32_t>(U));
  for (uint32_t U : Candidates)
    if (U != H.Unit && Units[U].Ok)
      if (std::optional<bool> Interface = Imports(U))
        Users.push_back({U, std::string(Names.Text(Units[U].Name)), Units[U].Path, *Interface});
  return Users;
}

TFindResult TFindIndex::Find(const TFindPattern& P, size_t MaxHits) const {
  TFindResult R;
  if (P.Empty()) return R;
  const TMatch M = Match(P);
  const std::vector<uint8_t> Read = Candidates(M);
  std::vector<TRawHit> Raw;
  for (uint32_t U = 0; U < Units.size(); ++U) {
    if (!Read[U]) continue;
    // Past the hits given, the rest are only counted.
    R.TotalHits += UnitHits(Units[U], M, Raw, MaxHits - R.Hits.size());
    for (const TRawHit& X : Raw) R.Hits.push_back(MakeHit(U, X));
  }
  R.Units = FindUnits(M.Decl);
  return R;
}

// ---------------------------------------------------------------------------
// Listing lines

bool FillFindLines(std::vector<TFindHit>& Hits, std::string* Error) {
  bool AllLoaded = true;
  for (size_t First = 0; First < Hits.size();) {
    size_t End = First + 1;
    while (End < Hits.size() && Hits[End].Unit == Hits[First].Unit && Hits[End].Path == Hits[First].Path) ++End;
    // The group's hits by ordinal.
    std::vector<size_t> ByOrdinal;
    for (size_t I = First; I < End; ++I) ByOrdinal.push_back(I);
    std::sort(ByOrdinal.begin(), ByOrdinal.end(), [&](size_t A, size_t B) { return Hits[A].Ordinal < Hits[B].Ordinal; });
    TUnitLoad L = TryLoadUnit(Hits[First].Path, [&](const TUnit& U) {
      const TDeclOutline O = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
      uint32_t Ordinal = 0;
      size_t Next = 0;
      ForEachDecl(O, [&](TFindSection, const TDeclEntry& E, const TDeclMember* M) {
        for (; Next < ByOrdinal.size() && Hits[ByOrdinal[Next]].Ordinal == Ordinal; ++Next) {
          TFindHit& H = Hits[ByOrdinal[Next]];
          const bool SameName = M ? H.Name.size() == E.Name.size() + 1 + M->Name.size() &&
                                        H.Name.starts_with(E.Name) && H.Name[E.Name.size()] == '.' &&
                                        H.Name.ends_with(M->Name)
                                  : H.Name == E.Name;
          const bool Same =
              SameName && H.Offset == (M ? M->Offset : E.Offset) && H.Kind == (M ? KindOf(M->Kind) : KindOf(E.Kind));
          if (Same) H.Line = ListingLine(E, M);
        }
        ++Ordinal;
      });
    });
    if (!L.Facts) {
      if (Error && AllLoaded) *Error = L.Error;
      AllLoaded = false;
    }
    First = End;
  }
  return AllLoaded;
}

// ---------------------------------------------------------------------------
// The index alone

std::vector<std::string> LibraryUnitFiles(const std::vector<std::string>& UnitPath,
                                          const std::vector<std::string>& Known) {
  std::set<std::string> Seen;
  for (const std::string& K : Known) Seen.insert(PathToUtf8(PathFromUtf8(K).lexically_normal()));
  std::vector<std::string> Out;
  for (const std::string& Folder : UnitPath) {
    std::vector<std::string> Names = FolderNames(PathFromUtf8(Folder));
    std::sort(Names.begin(), Names.end());
    for (const std::string& N : Names) {
      if (N.size() < 5 || !SameNameNoCase(std::string_view(N).substr(N.size() - 4), ".dcu")) continue;
      const std::string Path = JoinFolderPath(Folder, N);
      std::error_code Ec;
      if (!std::filesystem::is_regular_file(PathFromUtf8(Path), Ec)) continue;
      if (Seen.insert(PathToUtf8(PathFromUtf8(Path).lexically_normal())).second) Out.push_back(Path);
    }
  }
  return Out;
}

TFindIndex BuildFindIndex(const std::vector<std::string>& Paths, std::vector<TUnreadableEntry>* Unreadable,
                          unsigned Jobs, const std::vector<std::string>& UnitPath) {
  TUnitFileList L = FindUnitFiles(Paths);
  if (Unreadable) *Unreadable = std::move(L.Unreadable);
  TFindIndex Index;
  const auto SetFiles = static_cast<uint32_t>(L.Files.size());
  for (std::string& F : LibraryUnitFiles(UnitPath, L.Files)) L.Files.push_back(std::move(F));
  Index.SetLibraryFrom(SetFiles);
  struct TRead {
    std::optional<TFindTaken> Taken;
    std::string Error;
  };
  ReadInOrder<TRead>(
      L.Files.size(), Jobs,
      [&](size_t I) {
        TRead R;
        TUnitLoad Load = TryLoadUnit(L.Files[I], [&](const TUnit& U) { R.Taken = TFindIndex::TakeUnit(U); });
        if (!Load.Facts) R.Taken.reset();
        R.Error = std::move(Load.Error);
        return R;
      },
      [&](size_t I, TRead&& R) {
        std::optional<TFindUnit> Taken;
        if (R.Taken) Taken = Index.Join(std::move(*R.Taken));
        Index.Add(std::move(L.Files[I]), std::move(Taken), std::move(R.Error));
        return true;
      });
  Index.Finish();
  return Index;
}
