// The unit object: file read, header and magic table, construction order,
// numbered tables and destruction.
#include "DCU_Unit.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>



TUnit* ActiveUnit = nullptr;
TUnit* FirstUnit = nullptr;
uint32_t UnitConstructionCount = 0;
uint8_t BlockFixupKindA = 0;
uint8_t BlockFixupKindB = 0;

bool ActiveUnitIsFirst() { return ActiveUnit && ActiveUnit->ConstructionNo == 1; }

std::string NameText(TPos P) { return std::string(NameView(P)); }

namespace {

// Upper-cases the ASCII letters a..z among eight bytes at once; every other
// byte value (0x80 and up included) stays as it is.
inline uint64_t FoldWord(uint64_t W) {
  constexpr uint64_t Ones = 0x0101010101010101ull;
  constexpr uint64_t High = 0x8080808080808080ull;
  const uint64_t Low7 = W & ~High;                   // every byte 0..0x7F: no carries below
  const uint64_t GeA = Low7 + (0x80 - 'a') * Ones;   // top bit: byte >= 'a'
  const uint64_t GtZ = Low7 + (0x80 - 'z' - 1) * Ones;  // top bit: byte > 'z'
  const uint64_t Lower = GeA & ~GtZ & ~W & High;     // a..z with the top bit clear
  return W - (Lower >> 2);                           // 0x80 >> 2 = 0x20 in the same byte
}

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

inline unsigned char FoldByte(unsigned char C) {
  return C >= 'a' && C <= 'z' ? static_cast<unsigned char>(C - 'a' + 'A') : C;
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
    const uint64_t FA = FoldWord(WA), FB = FoldWord(WB);
    if (FA != FB) return InMemoryOrder(FA) < InMemoryOrder(FB) ? -1 : 1;
  }
  for (; I < N; ++I) {
    const unsigned char CA = FoldByte(static_cast<unsigned char>(A[I]));
    const unsigned char CB = FoldByte(static_cast<unsigned char>(B[I]));
    if (CA != CB) return CA < CB ? -1 : 1;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

namespace {

// One entry of the name index while it is sorted: the case-folded bytes
// 8 * Depth to 8 * Depth + 7 of its name as one number (zero-padded), how
// many bytes of the name are left from there (9: more than eight), and its
// place in the order of adding. The item carries its name's position, so
// that computing a key reads the name only.
struct TNameSortItem {
  uint64_t Key;
  const char* Text;
  uint32_t Seq;
  uint16_t Len;
  uint16_t Rest;
};

void SetSortKey(TNameSortItem& It, size_t Depth) {
  const size_t From = 8 * Depth;
  const size_t Left = It.Len > From ? It.Len - From : 0;
  uint64_t W = 0;
  if (Left > 0) std::memcpy(&W, It.Text + From, Left < 8 ? Left : 8);
  It.Key = InMemoryOrder(FoldWord(W));
  It.Rest = static_cast<uint16_t>(Left < 9 ? Left : 9);
}

// Sorts Items [Lo, Hi), whose names agree in their first 8 * Depth folded
// bytes, by the next eight bytes; runs that agree in those too and go on
// are sorted by the eight after them. Keys stay in the items, so the sort
// itself never reaches into the names: only computing a key does, once per
// entry and level.
void SortNameItems(std::vector<TNameSortItem>& Items, size_t Lo, size_t Hi, size_t Depth) {
  for (size_t I = Lo; I < Hi; ++I) SetSortKey(Items[I], Depth);
  std::sort(Items.begin() + static_cast<std::ptrdiff_t>(Lo), Items.begin() + static_cast<std::ptrdiff_t>(Hi),
            [](const TNameSortItem& A, const TNameSortItem& B) {
              if (A.Key != B.Key) return A.Key < B.Key;
              if (A.Rest != B.Rest) return A.Rest < B.Rest;
              // Equal names (the name ends in this word): the later one first.
              return A.Rest < 9 && A.Seq > B.Seq;
            });
  for (size_t I = Lo; I < Hi;) {
    size_t J = I + 1;
    while (J < Hi && Items[J].Key == Items[I].Key && Items[J].Rest == Items[I].Rest) ++J;
    if (Items[I].Rest == 9 && J - I > 1) SortNameItems(Items, I, J, Depth + 1);
    I = J;
  }
}

}  // namespace

void SortNameIndex(std::vector<TNameIndexEntry>& Entries) {
  const size_t N = Entries.size();
  if (N < 2) return;
  std::vector<TNameSortItem> Items(N);
  for (size_t I = 0; I < N; ++I) {
    const std::string_view Name = Entries[I].Name.substr(0, UINT16_MAX);
    Items[I] = TNameSortItem{0, Name.data(), static_cast<uint32_t>(I), static_cast<uint16_t>(Name.size()), 0};
  }
  SortNameItems(Items, 0, N, 0);
  // Place i receives the entry that was added as number Items[i].Seq: move
  // the entries along the cycles of that permutation, in place.
  constexpr uint32_t Done = UINT32_MAX;
  for (size_t I = 0; I < N; ++I) {
    if (Items[I].Seq == Done) continue;
    TNameIndexEntry Held = Entries[I];
    size_t J = I;
    for (;;) {
      const size_t K = Items[J].Seq;
      Items[J].Seq = Done;
      if (K == I) {
        Entries[J] = Held;
        break;
      }
      Entries[J] = Entries[K];
      J = K;
    }
  }
}

TSourceFileRec::~TSourceFileRec() {
  std::unique_ptr<TSourceFileRec> P = std::move(Next);
  while (P) P = std::move(P->Next);
}

namespace {

struct TMagicEntry {
  uint32_t Magic;
  int32_t Version;
};

constexpr TMagicEntry MagicTable[] = {
    {0x50505348, 2},   {0x44518641, 3},   {0x4768A6D8, 4},   {0xF21F148B, 5},
    {0x0E0000DD, 6},   {0x0E8000DD, 6},   {0xFF0000DF, 7},   {0x0F0000DF, 7},
    {0xF21F148C, 100}, {0x0E0001DD, 101}, {0x0E1011DD, 101}, {0x0F1001DD, 103},
};

int32_t VersionOfMagic(uint32_t Magic) {
  for (const TMagicEntry& E : MagicTable)
    if (E.Magic == Magic) return E.Version;
  return 0;
}

void SetBlockFixupKinds(int32_t V) {
  if (V == 2) {
    BlockFixupKindA = 3;
    BlockFixupKindB = 4;
  } else if (V == 7 || V >= 103) {
    BlockFixupKindA = 6;
    BlockFixupKindB = 7;
  } else {
    BlockFixupKindA = 5;
    BlockFixupKindB = 6;
  }
}

[[noreturn]] void RaiseFileError(const std::string& Path, const std::string& Reason) {
  throw EDCUReadError("Cannot read file \"" + Path + "\": " + Reason);
}

// Reads the whole file at Path into a new block.
std::unique_ptr<uint8_t[]> ReadWholeFile(const std::string& Path, int32_t& Size) {
  // A folder opens as a stream on some systems and then reports a huge or
  // negative length: name the real reason.
  std::error_code Ec;
  if (std::filesystem::is_directory(Path, Ec)) RaiseFileError(Path, std::strerror(EISDIR));
  errno = 0;
  std::ifstream F(Path, std::ios::binary);
  if (!F) RaiseFileError(Path, std::strerror(errno ? errno : ENOENT));
  F.seekg(0, std::ios::end);
  std::streamoff Len = F.tellg();
  if (Len < 0) RaiseFileError(Path, std::strerror(errno ? errno : EISDIR));
  if (Len > INT32_MAX) RaiseFileError(Path, "file too large");
  F.seekg(0, std::ios::beg);
  Size = static_cast<int32_t>(Len);
  // Every byte but the spare one after the file is overwritten by the read:
  // the block is not cleared first.
  auto Buf = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(Size) + 1);
  Buf[static_cast<size_t>(Size)] = 0;
  if (Size > 0 && !F.read(reinterpret_cast<char*>(Buf.get()), Size))
    RaiseFileError(Path, std::strerror(errno ? errno : EIO));
  return Buf;
}

}  // namespace

TUnit::TUnit(const std::string& Path) {
  ActiveUnit = this;
  if (!FirstUnit) FirstUnit = this;
  ConstructionNo = ++UnitConstructionCount;
  FileName = Path;
  Image = ReadWholeFile(Path, ImageSize);
  try {
    Load();
  } catch (...) {
    ReleaseAll();
    throw;
  }
}

TUnit::TUnit(const std::string& DisplayName, std::span<const uint8_t> Bytes) {
  ActiveUnit = this;
  if (!FirstUnit) FirstUnit = this;
  ConstructionNo = ++UnitConstructionCount;
  FileName = DisplayName;
  if (Bytes.size() > static_cast<size_t>(INT32_MAX)) throw EDCUReadError("Unit image too large");
  ImageSize = static_cast<int32_t>(Bytes.size());
  Image = std::make_unique_for_overwrite<uint8_t[]>(Bytes.size() + 1);
  Image[Bytes.size()] = 0;
  if (!Bytes.empty()) std::memcpy(Image.get(), Bytes.data(), Bytes.size());
  try {
    Load();
  } catch (...) {
    ReleaseAll();
    throw;
  }
}

TUnit::~TUnit() { ReleaseAll(); }

void TUnit::Load() {
  TArenaScope Records(RecordArena);
  TReadWindow Saved;
  PushWindow(Saved, Image.get(), ImageSize);
  // An error before the first tag names offset 0 and the NUL tag.
  TagMark = Image.get();
  CurrentTag = 0;
  try {
    uint32_t Magic = GetDWord();
    Version = VersionOfMagic(Magic);
    if (Version == 0) RaiseReadErrorFmt("Wrong magic: 0x%x", {Magic});
    SetBlockFixupKinds(Version);
    uint32_t Len = GetDWord();
    if (static_cast<uint32_t>(ImageSize) != Len)
      RaiseReadErrorFmt("Wrong size: 0x%x<>0x%x", {ImageSize, Len});
    GetDWord();
    if (Version == 2) {
      GetByte();
      CurrentTag = GetTag();
    } else {
      HeaderFlags = GetDWord();
      GetByte();
      if (Version >= 7 && Version < 100) {
        GetByte();
        AddDecl(nullptr);
      }
      CurrentTag = GetTag();
      if (Version >= 100) {
        if (CurrentTag == tagHeaderLong) {
          while (CurrentTag == tagHeaderLong) {
            GetDWord();
            CurrentTag = GetTag();
          }
        } else if (CurrentTag != tagHeaderExtra) {
          SkipBytes(3);
          CurrentTag = GetTag();
        }
      }
      if (CurrentTag == tagHeaderExtra) {
        HeaderExtra1 = GetPackedUInt();
        if (Version > 3) HeaderExtra2 = GetPackedUInt();
        CurrentTag = GetTag();
      }
    }
    ReadSourceFiles();
    ReadUsedUnits(tagUsesIntf);
    ReadUsedUnits(tagUsesImpl);
    ReadUsedUnits(tagUsesDLL);
    // The finishing passes run also when the declaration list failed; the
    // first error is the one reported.
    std::exception_ptr Failure;
    try {
      ReadDeclList(dsUnit, Decls);
      if (!DataBlock || Fixups.empty()) RaiseReadError("stop tag");
    } catch (...) {
      Failure = std::current_exception();
    }
    try {
      BuildNameIndex(Decls);
      FoldEnumConsts(Decls);
      // After a failure DeclTable may still name records released with the
      // construction that failed; the local-variable slices of a unit that
      // is about to be released are of no use, so they are not attached.
      if (!Failure) AttachLocalVars();
    } catch (...) {
      if (!Failure) Failure = std::current_exception();
    }
    if (Failure) std::rethrow_exception(Failure);
  } catch (...) {
    PopWindow(Saved);
    throw;
  }
  PopWindow(Saved);
}

void TUnit::ReleaseAll() {
  LocalVars.clear();
  LineRanges.clear();
  CodeLines.clear();
  Fixups.clear();
  ReleaseRecords();
  SourceFiles.reset();
  if (ActiveUnit == this) ActiveUnit = nullptr;
  if (FirstUnit == this) FirstUnit = nullptr;
}

int32_t TUnit::AddDecl(TDCURec* R) {
  DeclTable.push_back(R);
  return static_cast<int32_t>(DeclTable.size());
}

TDCURec* TUnit::GetDecl(int64_t N) const {
  if (N < 1 || N > static_cast<int64_t>(DeclTable.size())) return nullptr;
  return DeclTable[static_cast<size_t>(N - 1)];
}

TBaseDef* TUnit::GetTypeDef(int64_t N) const {
  if (N < 1 || N > static_cast<int64_t>(TypeTable.size())) return nullptr;
  return TypeTable[static_cast<size_t>(N - 1)];
}

size_t TUnit::SourceFileCount() const {
  size_t N = 0;
  for (const TSourceFileRec* S = SourceFiles.get(); S; S = S->Next.get()) ++N;
  return N;
}

const TSourceFileRec* TUnit::SourceFileByNum(int64_t N) const {
  if (N < 0) return nullptr;
  const TSourceFileRec* S = SourceFiles.get();
  while (S && N > 0) {
    S = S->Next.get();
    --N;
  }
  return S;
}

void TUnit::ReadSourceFiles() {
  SourceFiles.reset();
  std::unique_ptr<TSourceFileRec>* Tail = &SourceFiles;
  while (CurrentTag == tagSrcFile || CurrentTag == tagResFile || CurrentTag == tagObjFile ||
         CurrentTag == tagAsmFile) {
    *Tail = std::make_unique<TSourceFileRec>();
    TSourceFileRec* E = Tail->get();
    Tail = &E->Next;
    E->TagPos = TagMark;
    TakeName();
    E->FileTime = GetDWord();
    E->Extra = GetPackedUInt();
    CurrentTag = GetTag();
  }
  if (!SourceFiles) RaiseReadError("No source files");
  std::string Name = BareFileName(NameView(SourceFiles->NamePos()));
  size_t Dot = Name.find('.');
  if (Dot != std::string::npos) Name.erase(Dot);
  UnitName = std::move(Name);
}

void TUnit::ReadDataBlock() {
  if (DataBlock) RaiseReadError("2nd Data block");
  DataSize = static_cast<int32_t>(GetPackedUInt());
  DataBlock = TakeBytes(DataSize);
}

void TUnit::ReadFixups() {
  if (!Fixups.empty()) RaiseReadError("2nd fixup");
  uint32_t N = GetPackedUInt();
  FixupCount = N;
  uint32_t Ofs = 0;
  for (uint32_t I = 0; I < N; ++I) {
    Ofs += GetPackedUInt();
    if (PackedHigh != 0 || Ofs > static_cast<uint32_t>(DataSize))
      RaiseReadErrorFmt("Fixup offset 0x%x>Block size = 0x%x", {Ofs, DataSize});
    TFixupRec F{};
    F.FixupOfs = Ofs & 0xFFFFFF;
    F.FixupKind = GetByte();
    F.FixupDecl = GetPackedUInt();
    Fixups.push_back(F);
  }
  int32_t PendingDecl = 0;
  int32_t PendingOfs = 0;
  for (const TFixupRec& F : Fixups) {
    if (F.FixupKind != BlockFixupKindA && F.FixupKind != BlockFixupKindB) continue;
    int32_t Ofs = static_cast<int32_t>(F.FixupOfs);
    if (PendingDecl > 0) AssignDeclMem(PendingDecl, PendingOfs, Ofs - PendingOfs);
    PendingDecl = static_cast<int32_t>(F.FixupDecl);
    PendingOfs = Ofs;
  }
}

void TUnit::ReadCodeLines() {
  if (!CodeLines.empty()) RaiseReadError("2nd Code Lines table");
  uint32_t N = GetPackedUInt();
  CodeLineCount = N;
  uint32_t Line = 0;
  uint32_t Ofs = 0;
  for (uint32_t I = 0; I < N; ++I) {
    Line += static_cast<uint32_t>(GetPackedInt());
    Ofs += GetPackedUInt();
    if (PackedHigh != 0 || Ofs > static_cast<uint32_t>(DataSize))
      RaiseReadErrorFmt("Code line offset 0x%x>Block size = 0x%x", {Ofs, DataSize});
    CodeLines.push_back(TCodeLineRec{Ofs, static_cast<int32_t>(Line)});
  }
}

void TUnit::ReadLineRanges() {
  if (!LineRanges.empty()) RaiseReadError("2nd Line Ranges table");
  uint32_t N = GetPackedUInt();
  LineRangeCount = N;
  uint32_t Total = 0;
  // The source files by number, made once: walking the chain for every
  // entry takes time quadratic in the file size on a unit with many source
  // files and many ranges.
  std::vector<const TSourceFileRec*> Files;
  if (N > 0)
    for (const TSourceFileRec* S = SourceFiles.get(); S; S = S->Next.get()) Files.push_back(S);
  for (uint32_t I = 0; I < N; ++I) {
    TLineRangeRec R{};
    R.FirstLine = GetPackedUInt();
    R.LineCount = GetPackedUInt();
    R.LineBase = Total;
    Total += R.LineCount;
    uint32_t Num = GetPackedUInt();
    R.SrcFile = Num < Files.size() ? Files[Num] : nullptr;
    if (!R.SrcFile) RaiseReadErrorFmt("Source file number %d is out of range", {Num});
    LineRanges.push_back(R);
  }
}

void TUnit::ReadLocalVars() {
  if (!LocalVars.empty()) RaiseReadError("2nd Local Vars table");
  uint32_t N = GetPackedUInt();
  LocalVarCount = N;
  for (uint32_t I = 0; I < N; ++I) {
    TLocalVarRec R{};
    R.VarDecl = GetPackedUInt();
    R.VarCodeOfs = GetPackedUInt();
    R.VarLocation = GetPackedInt();
    LocalVars.push_back(R);
  }
}

void TUnit::NameType(int64_t N, TPos Name) {
  if (N <= 0) return;
  if (N > ImageSize) RaiseReadErrorFmt("Type number 0x%x out of range", {N});
  GrowTo(TypeTable, N);
  NameTypeSlot(static_cast<size_t>(N - 1), Name);
}
