// The rules of text that every writer shares, each written once: names the
// same with letter case ignored (the ASCII letters of DCU_Fold.h), names
// matched by a pattern of wildcards, calling conventions by name, and
// Pascal literals of characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "DCU_Text.h"

// A and B are the same name, the ASCII letters' case ignored.
bool SameNameNoCase(std::string_view A, std::string_view B);
// The name with its ASCII letters lower-cased (a key that SameNameNoCase
// names share).
std::string LowerName(std::string_view Name);

// Text matched whole by Pattern: `*` any run of characters, `?` one (a UTF-8
// sequence whole); the ASCII letters' case ignored. Greedy, with one point to
// go back to: linear in practice.
bool WildcardMatch(std::string_view Pattern, std::string_view Text);

// "register", "cdecl", "pascal", "stdcall", "safecall" for the conventions'
// numbers 0 to 4; empty for any other.
std::string_view CallConvName(uint8_t CC);

// Characters as a Pascal literal: runs of quotable ones between quotes (a
// quote doubled), the others as #N; '' for none. Each(I) answers, for the
// I-th character, whether it is quoted and its code point (or the code #N
// shows).
template <class FEach>
std::string PascalLiteral(size_t Count, FEach Each) {
  if (Count == 0) return "''";
  std::string S;
  bool Open = false;
  for (size_t I = 0; I < Count; ++I) {
    const auto [Quoted, Code] = Each(I);
    if (Quoted != Open) S += '\'';
    Open = Quoted;
    if (!Quoted) {
      S += '#';
      S += std::to_string(Code);
    } else if (Code == '\'') {
      S += "''";
    } else {
      AppendUtf8(S, static_cast<char32_t>(Code));
    }
  }
  if (Open) S += '\'';
  return S;
}
