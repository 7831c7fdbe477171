// Folders of units: walking, the name pool, the facts and stamps of a unit,
// the findings of a set and the scanner (see UnitFolders.h).
#include "UnitFolders.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "DCURecs.h"
#include "DCU_Fold.h"
#include "DCU_Unit.h"
#include "FindIndex.h"
#include "ParallelScan.h"
#include "Platform.h"
#include "UnitLoad.h"
#include "UnitPath.h"

namespace fs = std::filesystem;

namespace {

bool HasUnitExtension(const std::string& Name) {
  if (Name.size() < 4) return false;
  std::string_view Ext(Name.data() + Name.size() - 4, 4);
  auto Is = [&](size_t I, char C) { return FoldLower(static_cast<unsigned char>(Ext[I])) == C; };
  return Ext[0] == '.' && Is(1, 'd') && Is(2, 'c') && Is(3, 'u');
}

std::string ErrorText(const std::error_code& Ec) {
  std::string M = Ec.message();
  return M.empty() ? std::string("unknown error") : M;
}

const char* const NotRegular = "Not a regular file";

class TWalker {
 public:
  TUnitFileList Out;

  void Given(const std::string& Path) {
    std::error_code Ec;
    fs::file_status S = fs::status(PathFromUtf8(Path), Ec);  // a given link is followed
    if (Ec || !fs::exists(S)) {
      if (!Ec) Ec = std::make_error_code(std::errc::no_such_file_or_directory);
      Unreadable(Path, ErrorText(Ec));
      return;
    }
    if (fs::is_directory(S)) {
      Folder(Path);
    } else if (fs::is_regular_file(S)) {
      File(Path);
    } else {
      Unreadable(Path, NotRegular);
    }
  }

 private:
  std::unordered_set<std::string> Seen;

  void Unreadable(const std::string& Path, const std::string& Error) {
    Out.Unreadable.push_back({Path, Error});
  }

  // A file is listed once by its normal path (most paths are normal as
  // given, and std::filesystem takes thousands of instructions to say so).
  void File(const std::string& Path) {
    const bool New = IsLexicallyNormal(Path) ? Seen.insert(Path).second
                                             : Seen.insert(PathToUtf8(PathFromUtf8(Path).lexically_normal())).second;
    if (New) Out.Files.push_back(Path);
  }

  void Folder(const std::string& Path) {
    std::error_code Ec;
    fs::directory_iterator It(PathFromUtf8(Path), Ec);
    if (Ec) {
      Unreadable(Path, ErrorText(Ec));
      return;
    }
    // Entry names first, so that the folder is walked in name order, each
    // with its kind as the listing gave it.
    std::vector<std::pair<std::string, fs::file_type>> Names;
    for (fs::directory_iterator End; It != End;) {
      Names.emplace_back(PathToUtf8(It->path().filename()), ListedKind(*It));
      It.increment(Ec);
      if (Ec) {
        Unreadable(Path, ErrorText(Ec));
        break;
      }
    }
    std::sort(Names.begin(), Names.end());
    for (const auto& [Name, Kind] : Names) Entry(JoinFolderPath(Path, Name), Name, Kind);
  }

  // The kind of an entry itself (a link as a link), as the folder's listing
  // tells it on most systems without a call per entry; none when it could
  // not be told.
  static fs::file_type ListedKind(const fs::directory_entry& E) {
    std::error_code Ec;
    if (E.is_symlink(Ec)) return fs::file_type::symlink;
    if (Ec) return fs::file_type::none;
    if (E.is_directory(Ec)) return fs::file_type::directory;
    if (Ec) return fs::file_type::none;
    if (E.is_regular_file(Ec)) return fs::file_type::regular;
    return Ec ? fs::file_type::none : fs::file_type::unknown;
  }

  void Entry(const std::string& Path, const std::string& Name, fs::file_type Kind) {
    std::error_code Ec;
    fs::file_status L = Kind != fs::file_type::none ? fs::file_status(Kind) : fs::symlink_status(PathFromUtf8(Path), Ec);
    if (Ec) {
      if (HasUnitExtension(Name)) Unreadable(Path, ErrorText(Ec));
      return;
    }
    if (fs::is_symlink(L)) {
      fs::file_status S = fs::status(PathFromUtf8(Path), Ec);
      if (!Ec && fs::is_directory(S)) return;  // links to folders are not followed
      if (!HasUnitExtension(Name)) return;
      // A link to a file, or a dangling one (its load tells why it fails).
      if (!Ec && fs::exists(S) && !fs::is_regular_file(S))
        Unreadable(Path, NotRegular);
      else
        File(Path);
      return;
    }
    if (fs::is_directory(L)) {
      Folder(Path);
    } else if (HasUnitExtension(Name)) {
      if (fs::is_regular_file(L))
        File(Path);
      else
        Unreadable(Path, NotRegular);
    }
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// Name pool

namespace {

constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;

uint64_t WordAt(const char* P) {
  uint64_t W;
  std::memcpy(&W, P, 8);
  return W;
}

// The last N bytes of a text (1 <= N < 8) at P as one word: two
// overlapping pieces of four, or three single bytes. The same bytes give
// the same word; the hash mixes the length in besides.
uint64_t TailWord(const char* P, size_t N) {
  if (N >= 4) {
    uint32_t Lo, Hi;
    std::memcpy(&Lo, P, 4);
    std::memcpy(&Hi, P + N - 4, 4);
    return uint64_t(Lo) | uint64_t(Hi) << 32;
  }
  return uint64_t(static_cast<uint8_t>(P[0])) | uint64_t(static_cast<uint8_t>(P[N / 2])) << 8 |
         uint64_t(static_cast<uint8_t>(P[N - 1])) << 16;
}

// The hash of a name: eight bytes a step, each word mixed in by a multiply,
// the length first and a finishing mix so that the low bits (the slot)
// depend on every byte.
constexpr uint64_t HashK = 0x9E3779B97F4A7C15ull;
uint64_t HashStart(size_t N) { return (N + 1) * HashK; }
uint64_t HashWord(uint64_t H, uint64_t W) {
  H = (H ^ W) * HashK;
  return H ^ (H >> 29);
}
uint32_t HashEnd(uint64_t H) {
  H *= 0xBF58476D1CE4E5B9ull;
  return static_cast<uint32_t>(H ^ (H >> 32));
}

uint32_t NameHash(std::string_view Text) {
  const char* P = Text.data();
  const size_t N = Text.size();
  uint64_t H = HashStart(N);
  size_t I = 0;
  for (; I + 8 <= N; I += 8) H = HashWord(H, WordAt(P + I));
  if (I < N) H = HashWord(H, TailWord(P + I, N - I));
  return HashEnd(H);
}

// Whether Text has an ASCII upper-case letter, eight bytes a step.
bool HasUpper(std::string_view Text) {
  size_t I = 0;
  for (; I + 8 <= Text.size(); I += 8)
    if (const uint64_t W = WordAt(Text.data() + I); FoldLowerWord(W) != W) return true;
  for (; I < Text.size(); ++I)
    if (IsAsciiUpper(static_cast<unsigned char>(Text[I]))) return true;
  return false;
}

}  // namespace

std::string_view TNamePool::Keep(std::string_view Text) {
  constexpr size_t BlockSize = 64 * 1024;
  if (Text.size() > BlockLeft) {
    const size_t Size = std::max(BlockSize, Text.size());
    Blocks.push_back(std::make_unique_for_overwrite<char[]>(Size));
    BlockNext = Blocks.back().get();
    BlockLeft = Size;
  }
  std::copy(Text.begin(), Text.end(), BlockNext);
  std::string_view Kept(BlockNext, Text.size());
  BlockNext += Text.size();
  BlockLeft -= Text.size();
  return Kept;
}

void TNamePool::Grow() {
  std::vector<TSlot> Grown(std::max<size_t>(1024, Slots.size() * 2));
  const size_t Mask = Grown.size() - 1;
  for (const TSlot& S : Slots) {
    if (!S.Id) continue;
    size_t I = S.Hash & Mask;
    while (Grown[I].Id) I = (I + 1) & Mask;
    Grown[I] = S;
  }
  Slots.swap(Grown);
}

namespace {

// Whether the N bytes at A and B are the same, eight at a time (the last
// step reads the last eight bytes again; a text shorter than eight is taken
// whole by TailWord).
inline bool SameBytes(const char* A, const char* B, size_t N) {
  if (N < 8) return N == 0 || TailWord(A, N) == TailWord(B, N);
  for (size_t I = 0; I + 8 < N; I += 8)
    if (WordAt(A + I) != WordAt(B + I)) return false;
  return WordAt(A + N - 8) == WordAt(B + N - 8);
}

}  // namespace

inline size_t TNamePool::SlotOf(std::string_view Text, uint32_t Hash) const {
  const size_t Mask = Slots.size() - 1;
  size_t I = Hash & Mask;
  for (; Slots[I].Id; I = (I + 1) & Mask) {
    if (Slots[I].Hash != Hash) continue;
    const std::string_view Kept = Texts[Slots[I].Id - 1];
    if (Kept.size() == Text.size() && SameBytes(Kept.data(), Text.data(), Text.size())) break;
  }
  return I;
}

inline uint32_t TNamePool::Insert(std::string_view Text, uint32_t Hash) {
  if ((Texts.size() + 1) * 2 > Slots.size()) Grow();  // keep the index at most half full
  const size_t I = SlotOf(Text, Hash);
  return Slots[I].Id ? Slots[I].Id - 1 : AddNew(Text, Hash, I);
}

uint32_t TNamePool::AddNew(std::string_view Text, uint32_t Hash, size_t Slot) {
  const auto Id = static_cast<uint32_t>(Texts.size());
  Texts.push_back(Keep(Text));
  FoldedIds.push_back(Id);
  Hashes.push_back(Hash);
  Slots[Slot] = {Hash, Id + 1};
  return Id;
}

uint32_t TNamePool::Lookup(std::string_view Text) const { return Lookup(Text, NameHash(Text)); }

uint32_t TNamePool::Lookup(std::string_view Text, uint32_t Hash) const {
  if (Slots.empty()) return NotFound;
  const size_t I = SlotOf(Text, Hash);
  return Slots[I].Id ? Slots[I].Id - 1 : NotFound;
}

size_t TNamePool::MemoryBytes() const {
  return Blocks.size() * 64 * 1024 + Texts.capacity() * sizeof(std::string_view) +
         (FoldedIds.capacity() + Hashes.capacity()) * 4 + Slots.capacity() * sizeof(TSlot);
}

uint32_t TNamePool::AddFolded(std::string_view Text) {
  // Folded eight bytes a step into a buffer (on the stack for the names of
  // units, which are at most 255 bytes long): the last, partial step folds
  // the last eight bytes again, or a short text padded with zeros
  // (FoldLowerWord works on each byte alone). Then hashed as NameHash.
  const char* P = Text.data();
  const size_t N = Text.size();
  char Local[256];
  char* Out = Local;
  if (N > sizeof(Local)) {
    Scratch.resize(N);
    Out = Scratch.data();
  }
  uint64_t H = HashStart(N);
  size_t I = 0;
  for (; I + 8 <= N; I += 8) {
    const uint64_t W = FoldLowerWord(WordAt(P + I));
    std::memcpy(Out + I, &W, 8);
    H = HashWord(H, W);
  }
  if (I < N) {
    if (N >= 8) {
      const uint64_t W = FoldLowerWord(WordAt(P + N - 8));
      std::memcpy(Out + N - 8, &W, 8);
    } else {
      uint64_t W = 0;
      std::memcpy(&W, P, N);
      W = FoldLowerWord(W);
      std::memcpy(Out, &W, N);
    }
    H = HashWord(H, TailWord(Out + I, N - I));
  }
  return Insert(std::string_view(Out, N), HashEnd(H));
}

uint32_t TNamePool::HashOf(std::string_view Text) { return NameHash(Text); }

uint32_t TNamePool::Add(std::string_view Text) {
  const size_t Before = Texts.size();
  const uint32_t Id = Insert(Text, NameHash(Text));
  if (Texts.size() == Before) return Id;  // known
  if (!HasUpper(Text)) return Id;
  const uint32_t FoldedId = AddFolded(Text);  // the folded text folds to itself
  FoldedIds[Id] = FoldedId;
  return Id;
}

const char* FindingKindName(TFindingKind K) {
  switch (K) {
    case TFindingKind::NotLoaded: return "not-loaded";
    case TFindingKind::DuplicateUnit: return "duplicate-unit";
    case TFindingKind::MissingRuntime: return "missing-runtime";
    case TFindingKind::MissingUnit: return "missing-unit";
    case TFindingKind::MixedVersions: return "mixed-versions";
    case TFindingKind::InterfaceMismatch: return "interface-mismatch";
  }
  return "?";
}

// ---------------------------------------------------------------------------
// Walking and reading

bool IsLexicallyNormal(std::string_view Path) {
  if (Path.empty()) return false;
  bool Leading = Path.front() != '/';  // relative, and only ".." so far
  size_t I = Path.front() == '/' ? 1 : 0;
  while (true) {
    const size_t E = std::min(Path.find('/', I), Path.size());
    const std::string_view Part = Path.substr(I, E - I);
    if (Part.empty() || Part == ".") return false;
    if (Part == "..") {
      if (!Leading) return false;
    } else {
      Leading = false;
    }
    if (E == Path.size()) return true;
    I = E + 1;
  }
}

TUnitFileList FindUnitFiles(const std::vector<std::string>& Paths) {
  TWalker W;
  for (const std::string& P : Paths) W.Given(P);
  return std::move(W.Out);
}

namespace {

// The names a unit imports from each used unit with their stamps ('T' and
// 'A' entries, the TypeName of imported types with run-time type data), as
// Uses with their Imports; the names come in later, from the facts.
// The imported names of a unit, one after another in Taken.Texts, their
// stamps in F.Imports (the names' numbers come when the unit joins a pool).
void TakeImports(const TUnit& U, TFolderUnit& F, TFolderUnitTaken& Taken) {
  size_t Imported = 0;  // counted first, so that the facts take the memory they need
  for (const auto& E : U.UsedUnits)
    if (E->UseKind != DllImports)
      for (const TDCURec* R = E->ImportChain; R; R = R->Next) ++Imported;
  F.Imports.reserve(Imported);
  Taken.ImportEnds.reserve(Imported);
  F.Uses.reserve(U.UsedUnits.size());
  auto Import = [&](std::string_view Name, uint32_t Stamp) {
    Taken.Texts += Name;
    Taken.ImportEnds.push_back(static_cast<uint32_t>(Taken.Texts.size()));
    F.Imports.push_back({0, Stamp});
  };
  for (const auto& E : U.UsedUnits) {
    TFolderUse Use{0, E->UseKind};
    Use.First = static_cast<uint32_t>(F.Imports.size());
    for (const TDCURec* R = E->UseKind != DllImports ? E->ImportChain : nullptr; R; R = R->Next) {
      if (const auto* T = RecCast<TImpTypeDefRec>(R))
        Import(NameView(T->TypeName), T->Stamp);
      else if (const auto* I = RecCast<TImpDef>(R); I && (I->Kind == 'T' || I->Kind == 'A'))
        Import(NameView(I->GetName()), I->Stamp);
    }
    Use.Count = static_cast<uint32_t>(F.Imports.size()) - Use.First;
    F.Uses.push_back(Use);
  }
}

// A name, folded, after its length, as a unit's list of declaration names
// holds it (TFolderUnit::DeclNames), written at To, which has room for the
// name and five bytes more; returns the end.
char* PutFoldedName(char* To, std::string_view Name) {
  const size_t N = Name.size();
  if (N < 255) {
    *To++ = static_cast<char>(N);
  } else {
    *To++ = static_cast<char>(255);
    const auto Long = static_cast<uint32_t>(N);
    std::memcpy(To, &Long, 4);
    To += 4;
  }
  size_t I = 0;
  for (; I + 8 <= N; I += 8) {
    const uint64_t W = FoldLowerWord(WordAt(Name.data() + I));
    std::memcpy(To + I, &W, 8);
  }
  if (I < N) {
    // The rest: the last eight bytes folded again, or a short name padded
    // with zeros (FoldLowerWord works on each byte alone).
    if (N >= 8) {
      const uint64_t W = FoldLowerWord(WordAt(Name.data() + N - 8));
      std::memcpy(To + N - 8, &W, 8);
    } else {
      uint64_t W = 0;
      std::memcpy(&W, Name.data(), N);
      W = FoldLowerWord(W);
      std::memcpy(To, &W, N);
    }
  }
  return To + N;
}

// The next name of a list of declaration names from At, or false at its end.
bool NextFoldedName(std::string_view List, size_t& At, std::string_view& Name) {
  if (At >= List.size()) return false;
  size_t N = static_cast<uint8_t>(List[At++]);
  if (N == 255) {
    if (List.size() - At < 4) return false;
    uint32_t Long;
    std::memcpy(&Long, List.data() + At, 4);
    At += 4;
    N = Long;
  }
  if (List.size() - At < N) return false;
  Name = List.substr(At, N);
  At += N;
  return true;
}

// The stamped interface declarations of a unit: their names as one text of
// the pool, their stamps in the same order.
void TakeStampedDecls(const TUnit& U, TFolderUnit& F, TFolderUnitTaken& Taken) {
  // One buffer for every unit, grown as needed and written through a
  // pointer: no zero-filling of room that is written next.
  thread_local std::vector<char> Names(4096);
  thread_local std::vector<uint32_t> Stamps;
  Stamps.clear();
  size_t Used = 0;
  for (const TDCURec* R : U.DeclTable) {
    const auto* D = RecCast<TNameFDecl>(R);
    if (!D || !(D->Flags & IsInterfaceFlag)) continue;
    const std::string_view Name = NameView(D->GetName());
    if (Names.size() - Used < Name.size() + 5) Names.resize(2 * (Used + Name.size() + 5));
    Used = static_cast<size_t>(PutFoldedName(Names.data() + Used, Name) - Names.data());
    Stamps.push_back(D->Stamp);
  }
  F.DeclStamps.assign(Stamps.begin(), Stamps.end());
  Taken.DeclNames.assign(Names.data(), Used);
}

}  // namespace

TFolderUnitTaken LoadFolderUnit(const std::string& Path, const std::function<void(const TUnit&)>& Also) {
  TFolderUnitTaken T;
  TFolderUnit& F = T.Unit;
  TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) {
    TakeImports(U, F, T);
    TakeStampedDecls(U, F, T);
    if (Also) Also(U);
  });
  if (!L.Facts) {
    T = TFolderUnitTaken();
    T.Unit.Path = Path;
    T.Unit.Error = std::move(L.Error);
    return T;
  }
  F.Path = Path;
  F.Ok = true;
  F.Facts = std::move(*L.Facts);
  return T;
}

// The names into the pool in the order of a read on one thread: imports,
// declaration names, the unit's name, the used units' names.
TFolderUnit JoinFolderUnit(TFolderUnitTaken&& T, TNamePool& Pool) {
  TFolderUnit F = std::move(T.Unit);
  if (!F.Ok) return F;
  uint32_t At = 0;
  for (size_t K = 0; K < F.Imports.size(); ++K) {
    F.Imports[K].Name = Pool.Add(std::string_view(T.Texts).substr(At, T.ImportEnds[K] - At));
    At = T.ImportEnds[K];
  }
  if (!F.DeclStamps.empty()) F.DeclNames = Pool.KeepBytes(T.DeclNames);
  F.UnitName = Pool.Add(F.Facts.UnitName);
  for (size_t K = 0; K < F.Uses.size() && K < F.Facts.UsedUnits.size(); ++K)
    F.Uses[K].Name = Pool.Add(F.Facts.UsedUnits[K].Name);
  return F;
}

TFolderUnit ReadFolderUnit(const std::string& Path, TNamePool& Pool, const std::function<void(const TUnit&)>& Also) {
  return JoinFolderUnit(LoadFolderUnit(Path, Also), Pool);
}

// ---------------------------------------------------------------------------
// Findings

bool TFolderReport::Clean() const {
  if (!Unreadable.empty()) return false;
  for (const TFolderUnit& U : Units)
    if (!U.Ok) return false;
  for (const TFinding& F : Findings)
    if (F.Kind == TFindingKind::InterfaceMismatch) return false;
  return true;
}

const std::string& TFolderReport::PathOf(const TFinding& F) const {
  static const std::string None;
  if (F.File < Units.size()) return Units[F.File].Path;
  if (F.Entry < Unreadable.size()) return Unreadable[F.Entry].Path;
  return None;
}

const std::string& TFolderReport::ErrorOf(const TFinding& F) const {
  static const std::string None;
  if (F.Kind != TFindingKind::NotLoaded) return None;
  if (F.File < Units.size()) return Units[F.File].Error;
  if (F.Entry < Unreadable.size()) return Unreadable[F.Entry].Error;
  return None;
}

namespace {

void Mark(TFolderUnit& U, TFindingKind K) { U.Problems |= static_cast<uint8_t>(1u << static_cast<unsigned>(K)); }

// A set of 64-bit keys, open addressing; all ones is no key (the upper
// half of every key is a name number, below TNamePool::NotFound).
class TKeySet {
 public:
  static constexpr uint64_t Free = UINT64_MAX;
  void Insert(uint64_t Key) {
    if ((Count + 1) * 2 > Keys.size()) Grow();
    uint64_t& K = Keys[Slot(Key)];
    if (K == Free) {
      K = Key;
      ++Count;
    }
  }
  bool Has(uint64_t Key) const { return !Keys.empty() && Keys[Slot(Key)] == Key; }

 private:
  std::vector<uint64_t> Keys;
  size_t Count = 0;

  // The key's slot, or the free one where it would go.
  size_t Slot(uint64_t Key) const {
    const size_t Mask = Keys.size() - 1;
    const uint64_t H = Key * 0x9E3779B97F4A7C15ull;
    size_t I = static_cast<size_t>(H ^ (H >> 31)) & Mask;
    while (Keys[I] != Free && Keys[I] != Key) I = (I + 1) & Mask;
    return I;
  }
  void Grow() {
    std::vector<uint64_t> Old(std::max<size_t>(256, Keys.size() * 2), Free);
    Old.swap(Keys);
    Count = 0;
    for (uint64_t K : Old)
      if (K != Free) Insert(K);
  }
};

// A number for the folder of each unit, the same for the units of one folder.
// Units of one folder come one after another as walked, with the same text
// before their last '/': the folder's path is normalised once for them.
std::vector<uint32_t> FolderNumbers(const std::vector<TFolderUnit>& Units) {
  std::unordered_map<std::string, uint32_t> Ids;
  std::vector<uint32_t> Of(Units.size(), 0);
  std::string_view LastRaw;
  uint32_t LastId = 0;
  for (size_t I = 0; I < Units.size(); ++I) {
    const std::string& Path = Units[I].Path;
    const size_t Slash = Path.rfind('/');
    const std::string_view Raw = Slash == std::string::npos ? std::string_view() : std::string_view(Path).substr(0, Slash + 1);
    if (I == 0 || Slash == std::string::npos || Raw != LastRaw) {
      std::string Folder = PathToUtf8(PathFromUtf8(Path).parent_path().lexically_normal());
      LastId = Ids.try_emplace(std::move(Folder), static_cast<uint32_t>(Ids.size())).first->second;
      LastRaw = Raw;
    }
    Of[I] = LastId;
  }
  return Of;
}

// The loaded units of a set by folded unit name, the files of each name in
// walking order.
struct TUnitIndex {
  std::unordered_map<uint32_t, std::vector<uint32_t>> Files;
  std::vector<uint32_t> Order;  // the folded names in the order first met

  explicit TUnitIndex(const TFolderReport& R) {
    for (size_t I = 0; I < R.Units.size(); ++I) {
      if (!R.Units[I].Ok) continue;
      const uint32_t Name = R.Names.Folded(R.Units[I].UnitName);
      auto& Of = Files[Name];
      if (Of.empty()) Order.push_back(Name);
      Of.push_back(static_cast<uint32_t>(I));
    }
  }
  const std::vector<uint32_t>* Find(uint32_t FoldedName) const {
    auto It = Files.find(FoldedName);
    return It == Files.end() ? nullptr : &It->second;
  }
};

// The candidates for a used unit (FindCandidates): files of its name, and
// the rule that chose them, by which the file lists made of them are shared.
struct TCandidates {
  std::vector<uint32_t> Files;
  std::tuple<uint32_t, int, int64_t> Rule;
};

// An interface mismatch as found on some thread: the finding, and the
// candidates its file list is to be made of.
struct TMismatch {
  TFinding F;
  TCandidates Of;
};

// The findings of a set, one kind after another in the order of
// TFindingKind, over one index of its units. The interface check, most of
// the work, runs on Jobs threads.
class TFindingsPass {
 public:
  explicit TFindingsPass(TFolderReport& R) : R(R), P(R.Names), Index(R) {}
  void NotLoaded();
  void DuplicateUnits();
  void MissingUnits();
  // The file of a used unit on the unit path; empty when it has none.
  std::string LibraryFile(TUnitFileFinder& Finder, std::string_view Name) const {
    for (const std::string& Folder : R.UnitPath)
      if (std::string File = Finder.Find(Folder, Name); !File.empty()) return File;
    return {};
  }
  void MixedVersions();
  void InterfaceMismatches(unsigned Jobs);

 private:
  uint32_t NewList(std::vector<uint32_t> Files) {
    R.FileLists.push_back(std::move(Files));
    return static_cast<uint32_t>(R.FileLists.size() - 1);
  }
  void FindCandidates(size_t I, uint32_t Used, const std::vector<uint32_t>& Files, TCandidates& C) const;
  void PickAskedDecls(unsigned Jobs);
  void AskedOfFiles(size_t Begin, size_t End, const TKeySet& Asked, const TKeySet& AskedHash,
                    const std::vector<bool>& AskedUnit, std::vector<uint64_t>& Decls,
                    std::vector<uint32_t>& Counts) const;
  bool StampDisagrees(const std::vector<uint32_t>& Candidates, uint32_t FoldedName, uint32_t Stamp) const;
  std::vector<uint32_t> MismatchedNames(const TFolderUnit& U, const TFolderUse& Use,
                                        const std::vector<uint32_t>& Candidates) const;
  void UnitMismatches(size_t I, TCandidates& C, std::vector<TMismatch>& Found) const;

  TFolderReport& R;
  const TNamePool& P;
  const TUnitIndex Index;
  // The interface check: each unit's folder number, and the file lists made
  // of candidates, by their rule (folded name, rule, folder or version).
  std::vector<uint32_t> FolderOf;
  std::map<std::tuple<uint32_t, int, int64_t>, uint32_t> ListOf;
  // The declarations imports are compared with (PickAskedDecls), as
  // DeclKeys in order: a part's for files one after another, those of file
  // C from AskedOf[C], AskedCount[C] of them. Where the ones of a name start
  // in their file's: an open-addressing table by the hash of
  // DeclKey(file, folded name), that holds the place only (AskedStart).
  std::vector<std::vector<uint64_t>> AskedParts;
  std::vector<const uint64_t*> AskedOf;
  std::vector<uint32_t> AskedCount;
  std::vector<uint32_t> AskedStarts;
  static constexpr uint32_t NoStart = UINT32_MAX;
  size_t StartSlot(uint32_t C, uint32_t FoldedName) const {
    const uint64_t H = DeclKey(C, FoldedName) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(H ^ (H >> 31)) & (AskedStarts.size() - 1);
  }
  uint32_t AskedStart(uint32_t C, uint32_t FoldedName) const;
};

void TFindingsPass::NotLoaded() {
  for (size_t I = 0; I < R.Units.size(); ++I) {
    if (R.Units[I].Ok) continue;
    TFinding F{TFindingKind::NotLoaded};
    F.File = I;
    Mark(R.Units[I], TFindingKind::NotLoaded);
    R.Findings.push_back(std::move(F));
  }
  for (size_t I = 0; I < R.Unreadable.size(); ++I) {
    TFinding F{TFindingKind::NotLoaded};
    F.Entry = I;
    R.Findings.push_back(std::move(F));
  }
}

void TFindingsPass::DuplicateUnits() {
  for (uint32_t N : Index.Order) {
    const std::vector<uint32_t>& Files = *Index.Find(N);
    if (Files.size() < 2) continue;
    TFinding F{TFindingKind::DuplicateUnit};
    F.Unit = R.Units[Files.front()].UnitName;
    F.FileList = NewList(Files);
    for (uint32_t I : Files) Mark(R.Units[I], TFindingKind::DuplicateUnit);
    R.Findings.push_back(std::move(F));
  }
}

// In the order of the folded names; those that more than half of the loaded
// files use (the runtime units) first, as one finding.
void TFindingsPass::MissingUnits() {
  std::map<std::string_view, std::pair<uint32_t, std::vector<uint32_t>>> Missing;  // name as first met, users
  size_t Loaded = 0;
  for (size_t I = 0; I < R.Units.size(); ++I) {
    const TFolderUnit& U = R.Units[I];
    if (!U.Ok) continue;
    ++Loaded;
    for (const TFolderUse& Use : U.Uses) {
      if (Use.Kind == DllImports || Index.Find(P.Folded(Use.Name))) continue;
      auto [It, New] = Missing.try_emplace(P.Text(P.Folded(Use.Name)));
      if (New) It->second.first = Use.Name;
      std::vector<uint32_t>& Users = It->second.second;
      if (Users.empty() || Users.back() != I) Users.push_back(static_cast<uint32_t>(I));
    }
  }
  TFinding Runtime(TFindingKind::MissingRuntime);
  std::vector<uint32_t> RuntimeUsers;
  std::vector<TFinding> Others;
  TUnitFileFinder Finder;
  for (auto& [Name, Users] : Missing) {
    if (std::string File = LibraryFile(Finder, Name); !File.empty()) {
      R.Library.push_back({Users.first, std::move(File), NewList(std::move(Users.second))});
      continue;
    }
    const bool IsRuntime = Users.second.size() * 2 > Loaded;
    for (uint32_t I : Users.second) Mark(R.Units[I], IsRuntime ? TFindingKind::MissingRuntime : TFindingKind::MissingUnit);
    if (IsRuntime) {
      Runtime.Names.push_back(Users.first);
      RuntimeUsers.insert(RuntimeUsers.end(), Users.second.begin(), Users.second.end());
      continue;
    }
    TFinding F(TFindingKind::MissingUnit);
    F.Unit = Users.first;
    F.FileList = NewList(std::move(Users.second));
    Others.push_back(std::move(F));
  }
  if (!Runtime.Names.empty()) {
    std::sort(RuntimeUsers.begin(), RuntimeUsers.end());
    RuntimeUsers.erase(std::unique(RuntimeUsers.begin(), RuntimeUsers.end()), RuntimeUsers.end());
    Runtime.FileList = NewList(std::move(RuntimeUsers));
    R.Findings.push_back(std::move(Runtime));
  }
  for (TFinding& F : Others) R.Findings.push_back(std::move(F));
}

void TFindingsPass::MixedVersions() {
  std::map<int32_t, size_t> Versions;
  for (const TFolderUnit& U : R.Units)
    if (U.Ok) ++Versions[U.Facts.Version];
  if (Versions.size() < 2) return;
  TFinding F{TFindingKind::MixedVersions};
  F.Versions.assign(Versions.begin(), Versions.end());
  R.Findings.push_back(std::move(F));
}

// The candidates for the unit Used (folded) that unit I uses, among Files
// (the files of that name): those in I's own folder; if none, those of I's
// format version; if none, all.
void TFindingsPass::FindCandidates(size_t I, uint32_t Used, const std::vector<uint32_t>& Files, TCandidates& C) const {
  C.Files.clear();
  C.Rule = {Used, 0, FolderOf[I]};
  for (uint32_t F : Files)
    if (FolderOf[F] == FolderOf[I]) C.Files.push_back(F);
  if (!C.Files.empty()) return;
  const int32_t Version = R.Units[I].Facts.Version;
  C.Rule = {Used, 1, Version};
  for (uint32_t F : Files)
    if (R.Units[F].Facts.Version == Version) C.Files.push_back(F);
  if (!C.Files.empty()) return;
  C.Rule = {Used, 2, 0};
  C.Files = Files;
}

// The declarations that some import may be compared with: those whose
// unit's name and own name (both folded) some unit imports together. Most
// declarations are never asked about; only these are put in order.
void TFindingsPass::PickAskedDecls(unsigned Jobs) {
  // (folded unit name, folded imported name), and the same with the hash of
  // the imported name's text in place of its number: a declaration's name is
  // hashed and that checked first, so that only the names some unit imports
  // from that unit are looked up in the pool.
  TKeySet Asked, AskedHash;
  std::vector<bool> AskedUnit(P.Size());  // by folded unit name
  for (const TFolderUnit& U : R.Units) {
    if (!U.Ok) continue;
    for (const TFolderUse& Use : U.Uses) {
      if (Use.Kind == DllImports || Use.Count == 0) continue;
      const uint32_t Used = P.Folded(Use.Name);
      if (!Index.Find(Used)) continue;
      AskedUnit[Used] = true;
      for (uint32_t K = Use.First; K < Use.First + Use.Count; ++K) {
        const uint32_t Name = P.Folded(U.Imports[K].Name);
        Asked.Insert(DeclKey(Used, Name));
        AskedHash.Insert(DeclKey(Used, P.HashOf(Name)));
      }
    }
  }
  struct TPart {
    std::vector<uint64_t> Decls;
    std::vector<uint32_t> Counts;  // of each file of the part
  };
  std::vector<TPart> Parts = InParts<TPart>(R.Units.size(), Jobs, [&](size_t Begin, size_t End) {
    TPart Part;
    AskedOfFiles(Begin, End, Asked, AskedHash, AskedUnit, Part.Decls, Part.Counts);
    return Part;
  });
  AskedParts.clear();
  AskedOf.clear();
  AskedCount.clear();
  size_t Total = 0;
  for (TPart& Part : Parts) {
    AskedParts.push_back(std::move(Part.Decls));
    const uint64_t* At = AskedParts.back().data();
    for (uint32_t N : Part.Counts) {
      AskedOf.push_back(At);
      AskedCount.push_back(N);
      At += N;
    }
    Total += AskedParts.back().size();
  }
  AskedStarts.assign(std::bit_ceil(std::max<size_t>(16, Total + Total / 3)), NoStart);
  for (uint32_t C = 0; C < AskedOf.size(); ++C)
    for (uint32_t K = 0; K < AskedCount[C]; ++K) {
      const auto Name = static_cast<uint32_t>(AskedOf[C][K] >> 32);
      if (K > 0 && AskedOf[C][K - 1] >> 32 == Name) continue;
      size_t I = StartSlot(C, Name);
      while (AskedStarts[I] != NoStart) I = (I + 1) & (AskedStarts.size() - 1);
      AskedStarts[I] = K;
    }
}

// Where the asked declarations of a name start among file C's, or NoStart.
// A slot holds a place only, so it is checked against C's declarations: a
// place where the first of the name's stands among C's is the one sought,
// whichever file's slot it came from; C's own lies on the probe's way.
uint32_t TFindingsPass::AskedStart(uint32_t C, uint32_t FoldedName) const {
  for (size_t I = StartSlot(C, FoldedName);; I = (I + 1) & (AskedStarts.size() - 1)) {
    const uint32_t K = AskedStarts[I];
    if (K == NoStart) return NoStart;
    if (K < AskedCount[C] && AskedOf[C][K] >> 32 == FoldedName && (K == 0 || AskedOf[C][K - 1] >> 32 != FoldedName))
      return K;
  }
}

// The asked declarations of files [Begin, End), in order, to Decls, and how
// many each file has, to Counts.
void TFindingsPass::AskedOfFiles(size_t Begin, size_t End, const TKeySet& Asked, const TKeySet& AskedHash,
                                 const std::vector<bool>& AskedUnit, std::vector<uint64_t>& Decls,
                                 std::vector<uint32_t>& Counts) const {
  for (size_t C = Begin; C < End; ++C) {
    const TFolderUnit& U = R.Units[C];
    const size_t From = Decls.size();
    if (U.Ok && !U.DeclStamps.empty() && AskedUnit[P.Folded(U.UnitName)]) {
      const uint32_t Unit = P.Folded(U.UnitName);
      // The names are folded already: one that is not in the pool is no
      // imported name.
      const std::string_view Names = P.Text(U.DeclNames);
      size_t At = 0;
      std::string_view Name;
      for (size_t K = 0; K < U.DeclStamps.size() && NextFoldedName(Names, At, Name); ++K) {
        const uint32_t Hash = TNamePool::HashOf(Name);
        if (!AskedHash.Has(DeclKey(Unit, Hash))) continue;
        const uint32_t Id = P.Lookup(Name, Hash);
        if (Id != TNamePool::NotFound && Asked.Has(DeclKey(Unit, Id))) Decls.push_back(DeclKey(Id, U.DeclStamps[K]));
      }
      std::sort(Decls.begin() + static_cast<std::ptrdiff_t>(From), Decls.end());
    }
    Counts.push_back(static_cast<uint32_t>(Decls.size() - From));
  }
}

// True when some candidate declares the name with a stamp, and none with
// this one.
bool TFindingsPass::StampDisagrees(const std::vector<uint32_t>& Candidates, uint32_t FoldedName, uint32_t Stamp) const {
  bool Compared = false;
  for (uint32_t C : Candidates) {
    const uint32_t At = AskedStart(C, FoldedName);
    if (At == NoStart) continue;
    const uint64_t* E = AskedOf[C] + AskedCount[C];
    for (const uint64_t* D = AskedOf[C] + At; D != E && *D >> 32 == FoldedName; ++D) {
      Compared = true;
      if (uint32_t(*D) == Stamp) return false;
    }
  }
  return Compared;
}

// The names imported under Use that no candidate agrees with, each once (in
// the importer's spelling).
std::vector<uint32_t> TFindingsPass::MismatchedNames(const TFolderUnit& U, const TFolderUse& Use,
                                                     const std::vector<uint32_t>& Candidates) const {
  std::vector<uint32_t> Names;
  for (uint32_t K = Use.First; K < Use.First + Use.Count; ++K) {
    const TStampedName& Imp = U.Imports[K];
    const uint32_t Name = P.Folded(Imp.Name);
    if (!StampDisagrees(Candidates, Name, Imp.Stamp)) continue;
    if (std::none_of(Names.begin(), Names.end(), [&](uint32_t N) { return P.Folded(N) == Name; }))
      Names.push_back(Imp.Name);
  }
  return Names;
}

// The interface mismatches of unit I, in the order of its uses.
void TFindingsPass::UnitMismatches(size_t I, TCandidates& C, std::vector<TMismatch>& Found) const {
  const TFolderUnit& U = R.Units[I];
  if (!U.Ok) return;
  for (const TFolderUse& Use : U.Uses) {
    if (Use.Kind == DllImports || Use.Count == 0) continue;
    const uint32_t Used = P.Folded(Use.Name);
    const std::vector<uint32_t>* Files = Index.Find(Used);
    if (!Files) continue;
    FindCandidates(I, Used, *Files, C);
    std::vector<uint32_t> Names = MismatchedNames(U, Use, C.Files);
    if (Names.empty()) continue;
    TMismatch M{TFinding{TFindingKind::InterfaceMismatch}, C};
    M.F.Names = std::move(Names);
    M.F.File = I;
    M.F.Unit = Use.Name;
    Found.push_back(std::move(M));
  }
}

// Found on Jobs threads, a part of the units each; their file lists are
// numbered here, in the order of the units.
void TFindingsPass::InterfaceMismatches(unsigned Jobs) {
  FolderOf = FolderNumbers(R.Units);
  PickAskedDecls(Jobs);
  std::vector<std::vector<TMismatch>> Parts =
      InParts<std::vector<TMismatch>>(R.Units.size(), Jobs, [&](size_t Begin, size_t End) {
        std::vector<TMismatch> Found;
        TCandidates C;
        for (size_t I = Begin; I < End; ++I) UnitMismatches(I, C, Found);
        return Found;
      });
  for (std::vector<TMismatch>& Part : Parts)
    for (TMismatch& M : Part) {
      auto [Known, New] = ListOf.try_emplace(M.Of.Rule, 0);
      if (New) Known->second = NewList(std::move(M.Of.Files));
      M.F.FileList = Known->second;
      R.Findings.push_back(std::move(M.F));
    }
  for (const TFinding& F : R.Findings)
    if (F.Kind == TFindingKind::InterfaceMismatch) Mark(R.Units[F.File], TFindingKind::InterfaceMismatch);
}

}  // namespace

void ComputeFindings(TFolderReport& R, unsigned Jobs) {
  R.Findings.clear();
  R.Library.clear();
  R.FileLists.assign(1, {});  // list 0: none
  for (TFolderUnit& U : R.Units) U.Problems = 0;
  TFindingsPass Pass(R);
  Pass.NotLoaded();
  Pass.DuplicateUnits();
  Pass.MissingUnits();
  Pass.MixedVersions();
  Pass.InterfaceMismatches(Jobs);
}

// ---------------------------------------------------------------------------
// Scanning

// A unit read on a worker: its facts, and what the index takes of it.
struct TFolderRead {
  TFolderUnitTaken Unit;
  std::optional<TFindTaken> Find;
};

namespace {

TFolderRead ReadForScan(const std::string& Path, bool WithIndex) {
  TFolderRead R;
  std::function<void(const TUnit&)> Also;
  if (WithIndex) Also = [&R](const TUnit& U) { R.Find = TFindIndex::TakeUnit(U); };
  R.Unit = LoadFolderUnit(Path, Also);
  return R;
}

}  // namespace

TFolderScanner::TFolderScanner(const std::vector<std::string>& Paths, TFindIndex* Index, unsigned Jobs,
                               std::vector<std::string> UnitPath)
    : Index(Index), Jobs(Jobs) {
  Report.UnitPath = std::move(UnitPath);
  TUnitFileList L = FindUnitFiles(Paths);
  Files = std::move(L.Files);
  Report.Unreadable = std::move(L.Unreadable);
  Report.Units.reserve(Files.size());
  if (ReadingJobs(Jobs) > 1 && Files.size() > 1)
    Ahead = std::make_unique<TOrderedReader<TFolderRead>>(
        Files.size(), Jobs, [this, WithIndex = Index != nullptr](size_t I) { return ReadForScan(Files[I], WithIndex); });
}

TFolderScanner::~TFolderScanner() = default;

const std::string& TFolderScanner::NextPath() const {
  static const std::string None;
  return Next < Files.size() ? Files[Next] : None;
}

void TFolderScanner::Join(TFolderRead& R) {
  Report.Units.push_back(JoinFolderUnit(std::move(R.Unit), Report.Names));
  if (!Index) return;
  const TFolderUnit& F = Report.Units.back();
  std::optional<TFindUnit> Taken;
  if (F.Ok && R.Find) Taken = Index->Join(std::move(*R.Find));
  Index->Add(F.Path, std::move(Taken), F.Error);
}

bool TFolderScanner::ReadNext() {
  if (Next >= Files.size()) return false;
  // Read ahead on the workers, or here; the path stays while workers may
  // still read it.
  if (Ahead) {
    TFolderRead R = Ahead->Take(Next);
    Join(R);
    Ahead->GiveBack(Next, std::move(R));
  } else {
    TFolderRead R = ReadForScan(Files[Next], Index != nullptr);
    Join(R);
    std::string().swap(Files[Next]);  // the path lives on in the facts
  }
  ++Next;
  return true;
}

TFolderReport TFolderScanner::Finish() {
  Ahead.reset();  // the workers stop (they read Files) before anything goes
  Report.Units.shrink_to_fit();
  ComputeFindings(Report, Jobs);
  if (Index) Index->Finish();
  Files.clear();
  Next = 0;
  return std::move(Report);
}

TFolderReport ScanFolders(const std::vector<std::string>& Paths,
                          const std::function<bool(size_t, size_t, const std::string&)>& Progress,
                          TFindIndex* Index, unsigned Jobs, std::vector<std::string> UnitPath) {
  TFolderScanner S(Paths, Index, Jobs, std::move(UnitPath));
  while (!S.AtEnd()) {
    if (Progress && !Progress(S.Done(), S.Total(), S.NextPath())) break;
    S.ReadNext();
  }
  return S.Finish();
}
