// Byte scanner of the unit reader: one global read window over a block of
// memory, little-endian fixed-size values, the two packed integer encodings,
// length-prefixed names, and the decorated error texts, which name the unit
// file being read (TScanFile) and where in it reading stopped.
//
// Positions are plain byte pointers into memory owned by the unit (its file
// image) or by the caller. Offsets printed in error texts are computed as
// integer differences (see PosOffset), never by subtracting pointers that may
// belong to different blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "DCU_Packed.h"

using TPos = const uint8_t*;

struct TReadWindow {
  TPos WinBase = nullptr;
  TPos WinPos = nullptr;
  TPos WinLimit = nullptr;
};

// The scanner's state: one reader at a time on each thread. Every thread
// has its own (a thread reads its own units), constant-initialised so that
// reaching it costs no initialisation check.
extern constinit thread_local TPos WinBase;
extern constinit thread_local TPos WinPos;
extern constinit thread_local TPos WinLimit;   // null when no window is active
extern constinit thread_local TPos TagMark;    // where the tag byte read last with GetTag stood
extern constinit thread_local uint8_t CurrentTag;
extern constinit thread_local int32_t PackedHigh;

// The unit file being read, as far as the scanner needs to know it: its
// image (the file offsets of an error count from its start), its format
// version (the long packed form depends on it) and what names it in error
// texts. The unit object (TUnit, DCU_Unit.h) is one; the scanner knows it
// only as this.
// Gives the image of a unit back when it goes: a large one is kept for the
// unit read next (NewImageBlock, DCU_Arena.h). Size is the size of the block.
struct TImageRelease {
  std::size_t Size = 0;
  void operator()(uint8_t* P) const noexcept;
};
using TImageBlock = std::unique_ptr<uint8_t[], TImageRelease>;

class TScanFile {
 public:
  TImageBlock Image;
  int32_t ImageSize = 0;
  int32_t Version = 0;
  std::string FileName;
  std::string UnitName;
  // Which construction of the run this unit was (1 for the first, whose
  // error texts do not name it).
  uint32_t ConstructionNo = 0;

 protected:
  TScanFile() = default;
  // Virtual, so that a unit and its TScanFile part start at the same address
  // and the unit is had from ScanFile without an adjustment.
  virtual ~TScanFile() = default;
};

// The unit whose file is being read on this thread (ActiveUnit,
// DCU_Unit.h); null when none.
extern constinit thread_local TScanFile* ScanFile;

// The format version of the unit being read; 0 when none is.
inline int32_t UnitVersion() { return ScanFile ? ScanFile->Version : 0; }

// The one kind of reader error: a standard runtime error that carries the
// message text. Text() gives the whole text, NUL characters included (what()
// stops at the first NUL, which a tag character can be); catch it as
// std::runtime_error where the text alone matters.
//
// Beside the text, an error raised while a unit file is read knows where in
// the file it happened: FileOffset is the byte where reading stopped and
// DefOffset the tag byte read last, both counted from the start of the file
// (the offsets in the text count from the read window, which may be a block
// inside the file). -1 when the position is not inside the file being read.
class EDCUReadError : public std::runtime_error {
 public:
  explicit EDCUReadError(std::string Msg, int64_t FileOffset = -1, int64_t DefOffset = -1)
      : std::runtime_error(Msg), FileOffset(FileOffset), DefOffset(DefOffset), FullText(std::move(Msg)) {}
  const std::string& Text() const noexcept { return FullText; }

  int64_t FileOffset = -1;
  int64_t DefOffset = -1;

 private:
  std::string FullText;
};

// Offset of P from Base as a 32-bit value, computed on integers.
uint32_t PosOffset(TPos P, TPos Base);

void PushWindow(TReadWindow& Saved, TPos Data, int64_t Size);
void PopWindow(const TReadWindow& Saved);

// Reads inside [Data, Data + Size) for as long as it lives; the window before
// it comes back when it goes out of scope, also when reading fails.
class TWindowGuard {
 public:
  TWindowGuard(TPos Data, int64_t Size) { PushWindow(Saved, Data, Size); }
  ~TWindowGuard() { PopWindow(Saved); }
  TWindowGuard(const TWindowGuard&) = delete;
  TWindowGuard& operator=(const TWindowGuard&) = delete;

 private:
  TReadWindow Saved;
};

// Raises the block-size error unless N bytes are left in the window.
void EnsureBytes(int32_t N);

// Bytes left in the window, computed on integers (0 without a window, where
// both positions are null).
inline uint64_t WindowLeft() {
  const auto Pos = reinterpret_cast<uintptr_t>(WinPos);
  const auto Lim = reinterpret_cast<uintptr_t>(WinLimit);
  return Lim > Pos ? Lim - Pos : 0;
}

// True when the window holds N more bytes: the same as WindowLeft() >= N,
// in one comparison (the read position never passes the end of the window,
// and both are null when there is no window).
inline bool WindowHolds(uint32_t N) {
  return reinterpret_cast<uintptr_t>(WinPos) + N <= reinterpret_cast<uintptr_t>(WinLimit);
}

// The reads below take the bytes at once when the window holds them and
// otherwise go the checked way (DCU_In.cpp), which reads byte by byte and
// raises at the byte that is missing. Both ways give the same values and the
// same errors; the inline way only saves the checks per byte.
uint8_t GetByteChecked();
uint32_t GetPackedUIntChecked();
int32_t GetPackedIntChecked();
TPos TakeNameChecked();

inline uint8_t GetByte() {
  if (WindowHolds(1)) return *WinPos++;
  return GetByteChecked();
}

inline uint8_t GetTag() {
  TagMark = WinPos;
  return GetByte();
}

// The four bytes at P as a little-endian word (the caller knows they are there).
inline uint32_t PeekDWord(TPos P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
         (static_cast<uint32_t>(P[3]) << 24);
}

inline uint32_t GetDWord() {
  if (!WindowHolds(4)) EnsureBytes(4);
  const uint32_t V = PeekDWord(WinPos);
  WinPos += 4;
  return V;
}

inline void SkipBytes(int32_t N) {
  if (N < 0 || !WindowHolds(static_cast<uint32_t>(N))) EnsureBytes(N);
  WinPos += N;
}

inline TPos TakeBytes(int32_t N) {
  const TPos P = WinPos;
  SkipBytes(N);
  return P;
}

inline TPos TakeName() {
  const TPos P = WinPos;
  if (WindowHolds(1) && WindowHolds(1u + P[0])) {
    WinPos += 1 + P[0];
    return P;
  }
  return TakeNameChecked();
}

// Packed integers (DCU_Packed.h). With four bytes left in the window the
// forms of one to four bytes are read here from one word; the five-byte form
// and the last bytes of a window go the checked way.
inline uint32_t GetPackedUInt() {
  if (WindowHolds(4)) {
    const TPackedShortU P = PackedUIntShort(PeekDWord(WinPos));
    if (P.Len <= 4) {
      WinPos += P.Len;
      PackedHigh = 0;
      return P.Value;
    }
  }
  return GetPackedUIntChecked();
}

// The signed forms: the same lengths, the value bits sign-extended.
inline int32_t GetPackedInt() {
  if (WindowHolds(4)) {
    const TPackedShortS P = PackedIntShort(PeekDWord(WinPos));
    if (P.Len <= 4) {
      WinPos += P.Len;
      PackedHigh = P.Value < 0 ? -1 : 0;
      return P.Value;
    }
  }
  return GetPackedIntChecked();
}

// The signed packed value at P read without the scanner, by the rules of
// format Version (whether the long form carries a high dword): the low 32
// bits with the high 32 bits above them, as GetPackedInt and PackedHigh give
// them. Len receives the length of the form; 0 when the Avail bytes at P do
// not hold all of it.
int64_t PackedInt64At(TPos P, uint64_t Avail, int32_t Version, uint32_t& Len);

TPos SkipPastByte(uint8_t B);

std::string BareFileName(std::string_view Path);

// The stored name at P (length byte, then the text) as its raw 8-bit bytes.
std::string_view NameView(TPos P);

[[noreturn]] void RaiseReadError(const std::string& Msg);
// Formats Fmt with the system's conventions: %x upper-case hex of the 32-bit
// pattern, %d signed decimal, %s a text; arguments are passed as TFmtArg.
struct TFmtArg {
  enum Kind { Int, Text } K;
  int64_t I = 0;
  std::string S;
  TFmtArg(int32_t V) : K(Int), I(V) {}
  TFmtArg(uint32_t V) : K(Int), I(V) {}
  TFmtArg(int64_t V) : K(Int), I(V) {}
  TFmtArg(uint64_t V) : K(Int), I(static_cast<int64_t>(V)) {}
  TFmtArg(const std::string& V) : K(Text), S(V) {}
  TFmtArg(std::string_view V) : K(Text), S(V) {}
  TFmtArg(const char* V) : K(Text), S(V) {}
  TFmtArg(char C) : K(Text), S(1, C) {}
};
std::string FormatMsg(std::string_view Fmt, std::initializer_list<TFmtArg> Args);
[[noreturn]] void RaiseReadErrorFmt(std::string_view Fmt, std::initializer_list<TFmtArg> Args);
[[noreturn]] void RaiseTagError(const std::string& Msg);
