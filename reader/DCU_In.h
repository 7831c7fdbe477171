// Byte scanner of the unit reader: one global read window over a block of
// memory, little-endian fixed-size values, the two packed integer encodings,
// length-prefixed names, and the decorated error texts.
//
// Positions are plain byte pointers into memory owned by the unit (its file
// image) or by the caller. Offsets printed in error texts are computed as
// integer differences (see PosOffset), never by subtracting pointers that may
// belong to different blocks.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <initializer_list>
#include <utility>

using TPos = const uint8_t*;

struct TReadWindow {
  TPos WinBase = nullptr;
  TPos WinPos = nullptr;
  TPos WinLimit = nullptr;
};

// Global scanner state (one reader at a time).
extern TPos WinBase;
extern TPos WinPos;
extern TPos WinLimit;   // null when no window is active
extern TPos TagMark;    // where the tag byte read last with GetTag stood
extern uint8_t CurrentTag;
extern int32_t PackedHigh;

// The one kind of reader error: a standard runtime error that carries only the
// message text. Text() gives the whole text, NUL characters included (what()
// stops at the first NUL, which a tag character can be); catch it as
// std::runtime_error where the text alone matters.
class EDCUReadError : public std::runtime_error {
 public:
  explicit EDCUReadError(std::string Msg) : std::runtime_error(Msg), FullText(std::move(Msg)) {}
  const std::string& Text() const noexcept { return FullText; }

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

void EnsureBytes(int32_t N);
uint8_t GetByte();
uint8_t GetTag();
uint32_t GetDWord();
void SkipBytes(int32_t N);
TPos TakeBytes(int32_t N);
TPos TakeName();
uint32_t GetPackedUInt();
int32_t GetPackedInt();
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
