// The strings of the declarations outline: names and texts in 16 bytes
// (a std::string takes 32), for an outline holds hundreds of thousands.
//
// Up to 15 bytes are kept in the object itself, the count in its last
// byte; longer strings in a block of their own (from the outline's arena
// while it is built, DeclMemory.h), their room in a word before the bytes.
// No terminating zero is kept: a TDeclString is read as a string_view.
#pragma once

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "DeclMemory.h"

class TDeclString {
 public:
  TDeclString() = default;
  explicit TDeclString(std::string_view S) { Assign(S); }
  TDeclString(const TDeclString& S) { Assign(S.view()); }
  TDeclString(TDeclString&& S) noexcept {
    std::memcpy(Bytes, S.Bytes, sizeof Bytes);
    S.Reset();
  }
  TDeclString& operator=(const TDeclString& S) {
    if (this != &S) assign(S.view());
    return *this;
  }
  TDeclString& operator=(TDeclString&& S) noexcept {
    if (this != &S) {
      Free();
      std::memcpy(Bytes, S.Bytes, sizeof Bytes);
      S.Reset();
    }
    return *this;
  }
  TDeclString& operator=(std::string_view S) { return assign(S); }
  ~TDeclString() { Free(); }

  size_t size() const { return OnHeap() ? HeapSize() : Bytes[Last]; }
  size_t length() const { return size(); }
  bool empty() const { return size() == 0; }
  const char* data() const { return OnHeap() ? HeapChars() : reinterpret_cast<const char*>(Bytes); }
  const char* begin() const { return data(); }
  const char* end() const { return data() + size(); }
  char operator[](size_t I) const { return data()[I]; }
  char front() const { return data()[0]; }
  char back() const { return data()[size() - 1]; }
  std::string_view view() const { return {data(), size()}; }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(view()); }
  std::string substr(size_t Pos, size_t N = std::string_view::npos) const { return std::string(view().substr(Pos, N)); }
  bool starts_with(std::string_view S) const { return view().starts_with(S); }
  bool ends_with(std::string_view S) const { return view().ends_with(S); }
  size_t find(std::string_view S, size_t Pos = 0) const { return view().find(S, Pos); }

  // Like std::string, a string on the heap keeps its room for what is
  // assigned or appended next (a buffer cleared and filled again).
  TDeclString& assign(std::string_view S) {
    if (OnHeap() && S.size() <= HeapRoom()) {
      if (!S.empty()) std::memmove(HeapChars(), S.data(), S.size());
      SetHeapSize(S.size());
      return *this;
    }
    // S may lie within this string: copy before freeing.
    TDeclString T(S);
    return *this = std::move(T);
  }
  TDeclString& append(std::string_view S);
  TDeclString& operator+=(std::string_view S) { return append(S); }
  TDeclString& operator+=(char C) { return append(std::string_view(&C, 1)); }
  void push_back(char C) { append(std::string_view(&C, 1)); }
  void clear() {
    if (OnHeap()) SetHeapSize(0);
    else Bytes[Last] = 0;
  }

  friend bool operator==(const TDeclString& A, const TDeclString& B) { return A.view() == B.view(); }
  friend bool operator==(const TDeclString& A, std::string_view B) { return A.view() == B; }
  friend std::strong_ordering operator<=>(const TDeclString& A, const TDeclString& B) { return A.view() <=> B.view(); }
  friend std::strong_ordering operator<=>(const TDeclString& A, std::string_view B) { return A.view() <=> B; }
  template <class Os>
  friend auto operator<<(Os& O, const TDeclString& S) -> decltype(O << std::string_view()) {
    return O << S.view();
  }

 private:
  static constexpr size_t Last = 15;         // the byte that holds the count or the mark
  static constexpr uint8_t HeapMark = 0xFF;  // the string lies on the heap
  static constexpr size_t InlineRoom = 15;

  bool OnHeap() const { return Bytes[Last] == HeapMark; }
  char* HeapBlock() const {
    char* P;
    std::memcpy(&P, Bytes, sizeof P);
    return P;
  }
  // A heap block: its room (uint32_t), then the bytes.
  char* HeapChars() const { return HeapBlock() + sizeof(uint32_t); }
  size_t HeapSize() const {
    uint32_t N;
    std::memcpy(&N, Bytes + sizeof(char*), sizeof N);
    return N;
  }
  size_t HeapRoom() const {
    uint32_t N;
    std::memcpy(&N, HeapBlock(), sizeof N);
    return N;
  }
  void SetHeapSize(size_t N) {
    const auto N32 = static_cast<uint32_t>(N);
    std::memcpy(Bytes + sizeof(char*), &N32, sizeof N32);
  }
  void Reset() { std::memset(Bytes, 0, sizeof Bytes); }
  void Free() {
    if (OnHeap()) ReleaseDeclMemory(HeapBlock(), sizeof(uint32_t) + HeapRoom());
  }
  // Into an empty (reset) string.
  void Assign(std::string_view S);
  // Moves the bytes to a heap block of Room bytes (Room >= size()).
  void Grow(size_t Room);

  alignas(8) uint8_t Bytes[16] = {};
};

static_assert(sizeof(TDeclString) == 16);

inline void TDeclString::Assign(std::string_view S) {
  if (S.size() <= InlineRoom) {
    if (!S.empty()) std::memcpy(Bytes, S.data(), S.size());
    Bytes[Last] = static_cast<uint8_t>(S.size());
    return;
  }
  Grow(S.size());
  std::memcpy(HeapChars(), S.data(), S.size());
  SetHeapSize(S.size());
}

inline TDeclString& TDeclString::append(std::string_view S) {
  const size_t N = size();
  if (!OnHeap() && N + S.size() <= InlineRoom) {
    if (!S.empty()) std::memcpy(Bytes + N, S.data(), S.size());
    Bytes[Last] = static_cast<uint8_t>(N + S.size());
    return *this;
  }
  if (!OnHeap() || HeapRoom() < N + S.size()) {
    // S may lie within this string: keep its bytes until they are copied.
    if (const auto At = reinterpret_cast<uintptr_t>(S.data()), Own = reinterpret_cast<uintptr_t>(data());
        At >= Own && At < Own + N) {
      const std::string Copy(S);
      return append(Copy);
    }
    // The room doubles, from twice what fits in the object.
    Grow(std::max(N + S.size(), std::min<size_t>(2 * (OnHeap() ? HeapRoom() : InlineRoom), UINT32_MAX)));
  }
  std::memcpy(HeapChars() + N, S.data(), S.size());
  SetHeapSize(N + S.size());
  return *this;
}

inline void TDeclString::Grow(size_t Room) {
  // The count and the room are kept in 32 bits: a longer text is refused
  // (the reader takes files below 2 GiB; no text of one comes near).
  if (Room > UINT32_MAX) throw std::length_error("TDeclString: text too long");
  const size_t N = size();
  char* Block = static_cast<char*>(AllocateDeclMemory(sizeof(uint32_t) + Room));
  const auto Room32 = static_cast<uint32_t>(Room);
  std::memcpy(Block, &Room32, sizeof Room32);
  if (N) std::memcpy(Block + sizeof(uint32_t), data(), N);
  Free();
  std::memcpy(Bytes, &Block, sizeof Block);
  SetHeapSize(N);
  Bytes[Last] = HeapMark;
}

inline std::string operator+(std::string A, const TDeclString& B) { return A.append(B.view()); }
inline std::string operator+(const TDeclString& A, std::string_view B) { return A.str().append(B); }
