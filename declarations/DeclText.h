// The texts of the declarations outline: UTF-8 text with marked runs
// (keywords, comments, the names declarations define, type names), and the
// display text of the unit's 8-bit names.
//
// A run that names a declaration of the same unit carries its anchor: the
// file offset of the tag byte that declaration's record began with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a piece of listing text is: the listing writer hands text to its sink
// in runs of one kind.
enum class TDeclRunKind : uint8_t {
  Plain,
  Keyword,  // reserved words: type, record, procedure, array, of, ...
  Comment,  // {...}: values shown as bytes, unresolved numbers, notes
  NameDef,  // the name an entry or member declares (anchor: its offset)
  TypeRef,  // a type name (anchor: the declaration it names, or none)
};

inline constexpr int64_t NoAnchor = -1;

// A marked stretch of a text. The anchor is kept in 32 bits (a unit file is
// below 2 GiB), so that a span takes 16 bytes.
struct TDeclSpan {
  uint32_t Start = 0;
  uint32_t Len = 0;
  TDeclRunKind Kind = TDeclRunKind::Plain;
  int32_t Anchor = NoAnchor;
};

// A type or value as text, with its keywords, comments and type names marked.
struct TDeclText {
  std::string Text;
  std::vector<TDeclSpan> Spans;  // in text order, not overlapping
  // False: the text alone is wanted; no spans are kept.
  bool KeepSpans = true;

  bool Empty() const { return Text.empty(); }
  void Add(TDeclRunKind Kind, std::string_view S, int64_t Anchor = NoAnchor);
  void Plain(std::string_view S) { Text += S; }
  void Keyword(std::string_view S) { Add(TDeclRunKind::Keyword, S); }
  void Comment(std::string_view S) { Add(TDeclRunKind::Comment, S); }
  void Append(const TDeclText& T);
};

// A name of the unit as UTF-8 text: its bytes read as Windows-1252, control
// characters written as ^X (the rule of the summary).
std::string DeclDisplayText(std::string_view Bytes);
