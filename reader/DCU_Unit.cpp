// The unit object: file read, header and magic table, construction order,
// numbered tables and destruction.
#include "DCU_Unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "DCU_FixupKinds.h"
#include "DCURecs.h"

constinit thread_local TUnit* FirstUnit = nullptr;
constinit thread_local uint32_t UnitConstructionCount = 0;
constinit thread_local uint8_t BlockFixupKindA = 0;
constinit thread_local uint8_t BlockFixupKindB = 0;

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
  BlockFixupKindA = BlockStartKind(V);
  BlockFixupKindB = BlockEndKind(V);
}

[[noreturn]] void RaiseFileError(const std::string& Path, const std::string& Reason) {
  throw EDCUReadError("Cannot read file \"" + Path + "\": " + Reason);
}

// The system's calls of ReadWholeFile. On Windows the path (UTF-8) is
// taken as UTF-16, the file is read as bytes (no line-end translation) and
// its length in 64 bits.
#ifdef _WIN32
using TFileStat = struct _stat64;
std::wstring WidePath(const std::string& Path) {
  const int N = MultiByteToWideChar(CP_UTF8, 0, Path.data(), static_cast<int>(Path.size()), nullptr, 0);
  std::wstring W(static_cast<size_t>(N > 0 ? N : 0), L'\0');
  if (N > 0) MultiByteToWideChar(CP_UTF8, 0, Path.data(), static_cast<int>(Path.size()), W.data(), N);
  return W;
}
int StatPath(const std::string& Path, TFileStat& St) { return _wstat64(WidePath(Path).c_str(), &St); }
int StatOpen(int Fd, TFileStat& St) { return _fstat64(Fd, &St); }
int OpenForReading(const std::string& Path) { return _wopen(WidePath(Path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT); }
#else
using TFileStat = struct stat;
int StatPath(const std::string& Path, TFileStat& St) { return stat(Path.c_str(), &St); }
int StatOpen(int Fd, TFileStat& St) { return fstat(Fd, &St); }
int OpenForReading(const std::string& Path) { return open(Path.c_str(), O_RDONLY | O_CLOEXEC); }
#endif

// Reads the whole file at Path into a new block.
TImageBlock ReadWholeFile(const std::string& Path, int32_t& Size) {
  // Only a regular file is read, and it is looked at before it is opened: a
  // FIFO, a device or a socket could block the opening or the read, or
  // never end; a folder has no bytes to read.
  // Checked again once open: the path may name another file by then.
  auto CheckKind = [&Path](const TFileStat& St) {
    if (S_ISDIR(St.st_mode)) RaiseFileError(Path, std::strerror(EISDIR));
    if (!S_ISREG(St.st_mode)) RaiseFileError(Path, "not a regular file");
  };
  TFileStat St{};
  if (StatPath(Path, St) == 0) CheckKind(St);
  // The system's own calls: a stream would seek to the end and back to
  // learn the length, three calls more for each unit.
  errno = 0;
  const int Fd = OpenForReading(Path);
  if (Fd < 0) RaiseFileError(Path, std::strerror(errno ? errno : ENOENT));
  struct TClose {
    int Fd;
    ~TClose() { close(Fd); }
  } Closer{Fd};
  if (StatOpen(Fd, St) != 0) RaiseFileError(Path, std::strerror(errno ? errno : EIO));
  CheckKind(St);
  if (St.st_size > INT32_MAX) RaiseFileError(Path, "file too large");
  Size = static_cast<int32_t>(St.st_size);
  // Every byte but the spare one after the file is overwritten by the read:
  // the block is not cleared first.
  TImageBlock Buf = NewImageBlock(static_cast<size_t>(Size) + 1);
  Buf[static_cast<size_t>(Size)] = 0;
  for (size_t Got = 0; Got < static_cast<size_t>(Size);) {
    const auto N = read(Fd, Buf.get() + Got, static_cast<unsigned>(static_cast<size_t>(Size) - Got));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) RaiseFileError(Path, std::strerror(N < 0 && errno ? errno : EIO));  // an error, or the file ended early
    Got += static_cast<size_t>(N);
  }
  return Buf;
}

// The bytes given as the image of a unit, with the spare byte after them.
TImageBlock CopyImage(std::span<const uint8_t> Bytes, int32_t& Size) {
  if (Bytes.size() > static_cast<size_t>(INT32_MAX)) throw EDCUReadError("Unit image too large");
  Size = static_cast<int32_t>(Bytes.size());
  TImageBlock Buf = NewImageBlock(Bytes.size() + 1);
  Buf[Bytes.size()] = 0;
  if (!Bytes.empty()) std::memcpy(Buf.get(), Bytes.data(), Bytes.size());
  return Buf;
}

}  // namespace

TUnit::TUnit(const std::string& Path) {
  Construct(Path, [&] { Image = ReadWholeFile(Path, ImageSize); });
}

TUnit::TUnit(const std::string& DisplayName, std::span<const uint8_t> Bytes) {
  Construct(DisplayName, [&] { Image = CopyImage(Bytes, ImageSize); });
}

TUnit::TUnit(const std::string& Path, TKeepWhatWasRead) : KeepPartial(true) {
  Construct(Path, [&] { Image = ReadWholeFile(Path, ImageSize); });
}

TUnit::TUnit(const std::string& DisplayName, std::span<const uint8_t> Bytes, TKeepWhatWasRead) : KeepPartial(true) {
  Construct(DisplayName, [&] { Image = CopyImage(Bytes, ImageSize); });
}

TUnit::~TUnit() { ReleaseAll(); }

TReadAside::TReadAside()
    : Active(ActiveUnit), First(FirstUnit), Count(UnitConstructionCount), KindA(BlockFixupKindA), KindB(BlockFixupKindB) {}

TReadAside::~TReadAside() {
  ActiveUnit = Active;
  FirstUnit = First;
  UnitConstructionCount = Count;
  BlockFixupKindA = KindA;
  BlockFixupKindB = KindB;
}

// Makes this the unit being read, takes its image and loads it. On any error
// everything built is released, the unit no longer counts as the one being
// read (nor as the first one) and the error is passed on.
template <class TTakeImage>
void TUnit::Construct(const std::string& Name, TTakeImage TakeImage) {
  ActiveUnit = this;
  if (!FirstUnit) FirstUnit = this;
  ConstructionNo = ++UnitConstructionCount;
  FileName = Name;
  try {
    TakeImage();
    Load();
  } catch (...) {
    ReleaseAll();
    throw;
  }
}

// The order of reading: header, source files, the three used-unit lists, the
// top-level declaration list with the tables it brings, the finishing passes.
void TUnit::Load() {
  TArenaScope Records(RecordArena);
  TWindowGuard Window(Image.get(), ImageSize);
  ReadHeader();
  ReadSourceFiles();
  ReadUsedUnits(tagUsesIntf);
  ReadUsedUnits(tagUsesImpl);
  ReadUsedUnits(tagUsesDLL);
  std::exception_ptr Failure;
  {
    // What the records released while reading the declarations, noted only
    // when what was read is to be kept.
    struct TLogScope {
      TReleasedRecordLog* Saved = ReleasedRecordLog;
      ~TLogScope() { ReleasedRecordLog = Saved; }
    } Log;
    if (KeepPartial) ReleasedRecordLog = &ItemReleases;
    Failure = ReadTopLevel();
  }
  // The item that failed may have left records it released in the tables.
  const bool Keep = Failure && KeepPartial && ForgetFailedItem();
  RunFinishingPasses(Failure);
  if (Failure && !Keep) std::rethrow_exception(Failure);
  ReadFailure = Failure;
  ItemReleases.Records = {};
}

void TUnit::MarkTopLevelItem() {
  if (!KeepPartial) return;
  ItemMark = {DeclTable.size(), TypeCount};
  ItemReleases.Records.clear();
}

// The declaration numbers given out since the item began go (the item's
// records are no declaration of the chain); a type definition since then
// stays only when it was not released. False when the releases were not
// all noted (nothing can be kept then).
bool TUnit::ForgetFailedItem() {
  if (ItemReleases.Lost) return false;
  for (size_t I = ItemMark.Decls; I < DeclTable.size(); ++I) DeclTable[I] = nullptr;
  std::sort(ItemReleases.Records.begin(), ItemReleases.Records.end());
  const auto Released = [&](const void* P) {
    return std::binary_search(ItemReleases.Records.begin(), ItemReleases.Records.end(), P);
  };
  for (int32_t N = ItemMark.Types; N < TypeCount && size_t(N) < TypeTable.size(); ++N)
    if (Released(TypeTable[size_t(N)])) TypeTable[size_t(N)] = nullptr;
  return true;
}

// The magic (which gives the version), the stored size and the fields of the
// version's header, up to the tag that opens the source-file list.
void TUnit::ReadHeader() {
  // An error before the first tag names offset 0 and the NUL tag.
  TagMark = Image.get();
  CurrentTag = 0;
  const uint32_t Magic = GetDWord();
  Version = VersionOfMagic(Magic);
  if (Version == 0) RaiseReadErrorFmt("Wrong magic: 0x%x", {Magic});
  SetBlockFixupKinds(Version);
  const uint32_t Len = GetDWord();
  if (static_cast<uint32_t>(ImageSize) != Len)
    RaiseReadErrorFmt("Wrong size: 0x%x<>0x%x", {ImageSize, Len});
  // Units hold one declaration number per 18 to 150 bytes: room for one per
  // 16 spares the table its copies while it grows. Room that stays unused is
  // never touched and takes no resident memory.
  DeclTable.reserve(std::min<size_t>(static_cast<size_t>(ImageSize) / 16, size_t{1} << 24));
  GetDWord();
  if (Version == 2) {
    GetByte();
    CurrentTag = GetTag();
    return;
  }
  HeaderFlags = GetDWord();
  GetByte();
  if (IsRelease7(Version)) {
    GetByte();
    AddDecl(nullptr);  // declaration number 1 stays empty
  }
  CurrentTag = GetTag();
  ReadHeaderTail();
}

// What follows the first tag in versions other than 2: the header tags of the
// further formats, then the one or two values of tagHeaderExtra.
void TUnit::ReadHeaderTail() {
  if (IsFurtherFormat(Version)) {
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
    if (IsRelease4Up(Version)) HeaderExtra2 = GetPackedUInt();
    CurrentTag = GetTag();
  }
}

// The top-level declaration list, which must have brought the data block and
// the fixup table. Gives the error it raised, or null.
std::exception_ptr TUnit::ReadTopLevel() {
  try {
    ReadDeclList(dsUnit, Decls);
    if (!DataBlock || Fixups.empty()) RaiseReadError("stop tag");
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// The finishing passes run also after the top level failed (Failure set);
// the first error stays the one reported.
void TUnit::RunFinishingPasses(std::exception_ptr& Failure) {
  try {
    IndexNamesAndFoldEnums();
    // After a failure DeclTable may still name records released with the
    // construction that failed; the local-variable slices of a unit that
    // is about to be released are of no use, so they are not attached.
    if (!Failure) AttachLocalVars();
  } catch (...) {
    if (!Failure) Failure = std::current_exception();
  }
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

// Out of line, so that the inline AddDecl stays small.
[[gnu::noinline]] int32_t TUnit::AddDeclGrowing(TDCURec* R) {
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

void TUnit::ReleaseRecords() {
  NameIndex.clear();
  // The records of the arena holding heap memory are destroyed in place.
  // Every other record of the arena goes with it without being visited: the
  // chains of the unit were all made while it was read.
  for (TDCURec* R : ArenaRecordsWithHeapMemory) DestroyRecord(R);
  ArenaRecordsWithHeapMemory.clear();
  const bool AllInArena = RecordArenasInUse();
  // Type definitions and placeholders belong to the table; import records in
  // it belong to their used-unit entries.
  if (!AllInArena || HeapTypeEntries > 0)
    for (TBaseDef*& D : TypeTable) {
      if (D && D->OwnedByTypeTable && !D->InArena()) DestroyRecord(D);
      D = nullptr;
    }
  HeapTypeEntries = 0;
  TypeTable.clear();
  UsedUnits.clear();
  DeclTable.clear();
  if (!AllInArena) FreeChain(Decls);
  Decls = nullptr;
}

