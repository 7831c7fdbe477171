// The declarations listing: an outline (DeclOutline.h) written as Pascal-like
// source, section by section, in blocks headed by their keyword (type, const,
// var, ...), record-like types with their members (those of classes and
// objects under their sections' keywords).
//
// The writer hands its text to a sink in runs of one kind (plain, keyword,
// comment, the name a declaration defines, a type name); a plain-text sink
// makes the command line's text, a rich-text sink can make keywords bold,
// comments coloured and type names links: a NameDef run carries the anchor
// of its declaration, a TypeRef run the anchor of the declaration it names
// (NoAnchor when that lies outside the unit).
#pragma once

#include <string>
#include <string_view>

#include "DeclOutline.h"

class TDeclSink {
 public:
  virtual ~TDeclSink() = default;
  virtual void Run(TDeclRunKind Kind, std::string_view Text, int64_t Anchor) = 0;
  virtual void EndLine() = 0;
};

// Collects the listing as plain text, one '\n' per line.
class TDeclTextSink : public TDeclSink {
 public:
  void Run(TDeclRunKind, std::string_view Text, int64_t) override { Out += Text; }
  void EndLine() override { Out += '\n'; }
  std::string Out;
};

// The whole listing of a unit.
void WriteDeclListing(const TDeclOutline& O, TDeclSink& Sink);
// A name a source can write: identifiers, dot-separated ("TList.Get").
bool IsPascalName(std::string_view N);

// One-line renderings (the first line of the listing's text for the entry,
// without the closing ';'): "procedure Run(A: Integer; var B: TDigit)",
// "TColor = (Red, Green, Blue)", "TFoo = class(TBase)".
TDeclText EntryLine(const TDeclEntry& E);
TDeclText MemberLine(const TDeclMember& M);
// The same appended to Out (which keeps spans or not, as it is set), or,
// the text alone, to a plain line.
void AppendEntryLine(const TDeclEntry& E, TDeclText& Out);
void AppendEntryLine(const TDeclEntry& E, TPlainLine& Out);
void AppendMemberLine(const TDeclMember& M, TDeclText& Out);
void AppendMemberLine(const TDeclMember& M, TPlainLine& Out);
