// Byte scanner: the global read window, fixed-size values, packed integers,
// names and the decorated error texts.
#include "DCU_In.h"

#include <cstdio>
#include <cstring>

#include "DCU_Versions.h"

constinit thread_local TPos WinBase = nullptr;
constinit thread_local TPos WinPos = nullptr;
constinit thread_local TPos WinLimit = nullptr;
constinit thread_local TPos TagMark = nullptr;
constinit thread_local uint8_t CurrentTag = 0;
constinit thread_local int32_t PackedHigh = 0;
constinit thread_local TScanFile* ScanFile = nullptr;

uint32_t PosOffset(TPos P, TPos Base) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(P) - reinterpret_cast<uintptr_t>(Base));
}

void PushWindow(TReadWindow& Saved, TPos Data, int64_t Size) {
  Saved.WinBase = WinBase;
  Saved.WinPos = WinPos;
  Saved.WinLimit = WinLimit;
  if (Size < 0) Size = 0;
  // A window opened inside the current one never reaches past its end, so
  // a fixed-size look into the image near its end cannot read beyond it.
  uintptr_t D = reinterpret_cast<uintptr_t>(Data);
  if (WinLimit && WinBase && D >= reinterpret_cast<uintptr_t>(WinBase) &&
      D <= reinterpret_cast<uintptr_t>(WinLimit)) {
    uint64_t Room = reinterpret_cast<uintptr_t>(WinLimit) - D;
    if (static_cast<uint64_t>(Size) > Room) Size = static_cast<int64_t>(Room);
  }
  WinBase = Data;
  WinPos = Data;
  WinLimit = Data ? Data + Size : nullptr;
}

void PopWindow(const TReadWindow& Saved) {
  WinBase = Saved.WinBase;
  WinPos = Saved.WinPos;
  WinLimit = Saved.WinLimit;
}

void EnsureBytes(int32_t N) {
  if (N < 0) RaiseReadErrorFmt("Negative block size %d", {N});
  if (static_cast<uint64_t>(N) > WindowLeft()) RaiseReadErrorFmt("Wrong block size %x", {N});
}

uint8_t GetByteChecked() {
  EnsureBytes(1);
  return *WinPos++;
}

TPos TakeNameChecked() {
  TPos P = WinPos;
  uint8_t L = GetByte();
  SkipBytes(L);
  return P;
}

static bool HighWordFollows(uint8_t B0) { return ScanFile && PackedHighFollows(B0, ScanFile->Version); }

// Reads the bytes of a packed integer after B0: the little-endian word of a
// form of one to four bytes (its flag bits in place), or for the five-byte
// form the value its four bytes after B0 hold; Len receives the length.
static uint32_t ReadPackedRaw(uint8_t B0, unsigned& Len) {
  Len = PackedFormLength(B0);
  uint32_t W = B0;
  for (unsigned I = 1; I < Len && I < 4; ++I) W |= static_cast<uint32_t>(GetByte()) << (8 * I);
  if (Len < 5) return W;
  return (W >> 8) | (static_cast<uint32_t>(GetByte()) << 24);
}

uint32_t GetPackedUIntChecked() {
  PackedHigh = 0;
  const uint8_t B0 = GetByte();
  unsigned Len = 0;
  const uint32_t W = ReadPackedRaw(B0, Len);
  if (Len < 5) return PackedUIntOfWord(W, Len);
  if (HighWordFollows(B0)) PackedHigh = static_cast<int32_t>(GetDWord());
  return W;
}

int32_t GetPackedIntChecked() {
  PackedHigh = 0;
  const uint8_t B0 = GetByte();
  unsigned Len = 0;
  const uint32_t W = ReadPackedRaw(B0, Len);
  if (Len == 5 && HighWordFollows(B0)) {
    PackedHigh = static_cast<int32_t>(GetDWord());
    return static_cast<int32_t>(W);
  }
  const int32_t V = Len < 5 ? PackedIntOfWord(W, Len) : static_cast<int32_t>(W);
  PackedHigh = V < 0 ? -1 : 0;
  return V;
}

int64_t PackedInt64At(TPos P, uint64_t Avail, int32_t Version, uint32_t& Len) {
  Len = 0;
  if (Avail < 1) return 0;
  const uint8_t B0 = P[0];
  const unsigned N = PackedFormLength(B0);
  if (Avail < N) return 0;
  // The forms of one to four bytes use only their own bytes of W.
  uint32_t W = 0;
  if (Avail >= 4)
    W = PeekDWord(P);
  else
    for (unsigned I = 0; I < N; ++I) W |= static_cast<uint32_t>(P[I]) << (8 * I);
  const int32_t V = N < 5 ? PackedIntOfWord(W, N) : static_cast<int32_t>(PeekDWord(P + 1));
  uint32_t High = V < 0 ? 0xFFFFFFFFu : 0;
  if (N == 5 && PackedHighFollows(B0, Version)) {
    if (Avail < 9) return 0;
    High = PeekDWord(P + 5);
    Len = 9;
  } else {
    Len = N;
  }
  return static_cast<int64_t>((static_cast<uint64_t>(High) << 32) | static_cast<uint32_t>(V));
}

TPos SkipPastByte(uint8_t B) {
  TPos P = WinPos;
  while (GetByte() != B) {
  }
  return P;
}

std::string BareFileName(std::string_view Path) {
  size_t Cut = Path.find_last_of("\\:");
  std::string_view Rest = Cut == std::string_view::npos ? Path : Path.substr(Cut + 1);
  size_t Slash = Rest.find_last_of('/');
  if (Slash != std::string_view::npos) Rest = Rest.substr(Slash + 1);
  return std::string(Rest);
}

std::string_view NameView(TPos P) {
  if (!P) return {};
  return std::string_view(reinterpret_cast<const char*>(P + 1), P[0]);
}

// " in NAME " for a unit other than the first one of the run, else empty.
static std::string UnitPart() {
  if (!ScanFile || ScanFile->ConstructionNo == 1) return {};
  std::string Name = ScanFile->UnitName;
  if (Name.empty()) {
    Name = BareFileName(ScanFile->FileName);
    size_t Dot = Name.rfind('.');
    if (Dot != std::string::npos) Name.erase(Dot);
  }
  return " in " + Name + " ";
}

// Offset of P in the file image of the unit being read; -1 when P lies
// outside it (a block of the caller's, or no unit).
static int64_t ImageOffset(TPos P) {
  if (!P || !ScanFile || !ScanFile->Image) return -1;
  uintptr_t Start = reinterpret_cast<uintptr_t>(ScanFile->Image.get());
  uintptr_t At = reinterpret_cast<uintptr_t>(P);
  if (At < Start || At - Start > static_cast<uintptr_t>(ScanFile->ImageSize)) return -1;
  return static_cast<int64_t>(At - Start);
}

[[noreturn]] void RaiseReadError(const std::string& Msg) {
  std::string U = UnitPart();
  std::string Text;
  if (WinLimit) {
    Text = FormatMsg("Error at 0x%x%s(Def: 0x%x, Tag=\"%s\"(0x%x)): %s",
                     {PosOffset(WinPos, WinBase), U, PosOffset(TagMark, WinBase),
                      static_cast<char>(CurrentTag), static_cast<uint32_t>(CurrentTag), Msg});
    throw EDCUReadError(std::move(Text), ImageOffset(WinPos), ImageOffset(TagMark));
  }
  Text = FormatMsg("Error%s: %s", {U, Msg});
  throw EDCUReadError(std::move(Text));
}

std::string FormatMsg(std::string_view Fmt, std::initializer_list<TFmtArg> Args) {
  std::string Out;
  auto It = Args.begin();
  for (size_t I = 0; I < Fmt.size(); ++I) {
    char C = Fmt[I];
    if (C != '%' || I + 1 >= Fmt.size()) {
      Out += C;
      continue;
    }
    char Conv = Fmt[++I];
    if (Conv == '%') {
      Out += '%';
      continue;
    }
    if (It == Args.end()) continue;  // missing argument prints nothing
    const TFmtArg& A = *It++;
    char Buf[32];
    switch (Conv) {
      case 'x': {
        uint32_t V = A.K == TFmtArg::Int ? static_cast<uint32_t>(A.I) : 0;
        std::snprintf(Buf, sizeof Buf, "%X", V);
        Out += Buf;
        break;
      }
      case 'd': {
        int32_t V = A.K == TFmtArg::Int ? static_cast<int32_t>(static_cast<uint32_t>(A.I)) : 0;
        std::snprintf(Buf, sizeof Buf, "%d", V);
        Out += Buf;
        break;
      }
      case 's':
        if (A.K == TFmtArg::Text) {
          Out += A.S;
        } else {
          std::snprintf(Buf, sizeof Buf, "%lld", static_cast<long long>(A.I));
          Out += Buf;
        }
        break;
      default:
        Out += '%';
        Out += Conv;
        break;
    }
  }
  return Out;
}

[[noreturn]] void RaiseReadErrorFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args) {
  RaiseReadError(FormatMsg(Fmt, Args));
}

[[noreturn]] void RaiseTagError(const std::string& Msg) {
  RaiseReadErrorFmt("%s: wrong tag \"%s\"=0x%x",
                    {Msg, static_cast<char>(CurrentTag), static_cast<uint32_t>(CurrentTag)});
}
