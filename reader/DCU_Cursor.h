// A local copy of the scanner's read position for the loops that read many
// values in a row (the unit-level tables, the heads of the most frequent
// records). The position and the end of the window stay in registers instead
// of being loaded from and stored to WinPos for every value.
//
// The values, the positions and the errors are those of the scanner's own
// reads (DCU_In.h): a read that the window does not hold whole in four bytes
// (or the five-byte packed form) goes the checked way of the scanner, with
// WinPos set to the cursor's position first and taken back after. WinPos and
// PackedHigh are written back when the cursor goes, also when an exception
// leaves its scope, and by Sync, which the caller runs before it raises an
// error of its own (whose text names the read position).
#pragma once

#include <cstdint>

#include "DCU_In.h"

class TReadCursor {
 public:
  TReadCursor() : Pos(WinPos), Limit(WinLimit) {}
  ~TReadCursor() {
    if (!InScanner) Sync();
  }
  TReadCursor(const TReadCursor&) = delete;
  TReadCursor& operator=(const TReadCursor&) = delete;

  // Writes the position and the high part of the last packed value back to
  // the scanner.
  void Sync() {
    WinPos = Pos;
    PackedHigh = High;
  }
  // The high part of the last packed value read (PackedHigh of the scanner).
  int32_t LastHigh() const { return High; }

  uint8_t Byte() {
    if (Addr(Pos) < Addr(Limit)) return *Pos++;
    return Checked(GetByteChecked);
  }

  uint32_t PackedUInt() {
    if (HasWord()) {
      const TPackedShortU P = PackedUIntShort(PeekDWord(Pos));
      if (P.Len <= 4) return Take(static_cast<int>(P.Len), P.Value);
    }
    return Checked(GetPackedUIntChecked);
  }

  int32_t PackedInt() {
    if (HasWord()) {
      const TPackedShortS P = PackedIntShort(PeekDWord(Pos));
      if (P.Len <= 4) return TakeSigned(static_cast<int>(P.Len), P.Value);
    }
    return Checked(GetPackedIntChecked);
  }

 private:
  // Positions are compared as integers, as WindowLeft does: the read
  // position never passes the end of the window (both are null when there
  // is no window).
  static uintptr_t Addr(TPos P) { return reinterpret_cast<uintptr_t>(P); }
  // Four bytes left: the position lies before WordEnd.
  bool HasWord() const { return Addr(Pos) < WordEnd; }
  uint32_t Take(int N, uint32_t V) {
    Pos += N;
    High = 0;
    return V;
  }
  int32_t TakeSigned(int N, int32_t V) {
    Pos += N;
    High = V < 0 ? -1 : 0;
    return V;
  }
  // The scanner's checked read at the cursor's position. While it runs,
  // WinPos is the position: an error it raises leaves WinPos where the
  // scanner stopped, which the cursor then does not overwrite.
  template <class T>
  T Checked(T (*Read)()) {
    Sync();
    InScanner = true;
    const T V = Read();
    InScanner = false;
    Pos = WinPos;
    High = PackedHigh;
    return V;
  }

  TPos Pos;
  TPos Limit;
  uintptr_t WordEnd = Addr(Limit) >= 4 ? Addr(Limit) - 3 : 0;
  int32_t High = PackedHigh;
  bool InScanner = false;
};
