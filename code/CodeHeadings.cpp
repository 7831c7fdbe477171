// The routines' headings from the declarations (see CodeHeadings.h).
#include "CodeHeadings.h"

#include <optional>

#include "DeclListing.h"

TRoutineHeadings::TRoutineHeadings(const TUnit& U) : Maker(U, TDeclOutlineOptions{.KeepSpans = false}) {}

std::string TRoutineHeadings::operator()(const TCodeRoutineHead& H) {
  if (H.Role == TRoutineRole::Initialization) return "initialization";
  if (H.Role == TRoutineRole::Finalization) return "finalization";
  std::optional<TDeclEntry> E = Maker.EntryAt(H.DeclOffset, H.DeclIndex);
  if (!E || E->Offset != H.DeclOffset || (E->Kind != TDeclKind::Procedure && E->Kind != TDeclKind::Function))
    return DefaultRoutineHeading(H);
  if (H.Role == TRoutineRole::Nested) E->Name = H.QualifiedName;
  TDeclText Line;
  Line.SetKeepSpans(false);
  AppendEntryLine(*E, Line);
  Line.Text += ';';
  return Line.Text.str();
}

TCodeTextOptions TRoutineHeadings::TextOptions() {
  TCodeTextOptions Text;
  Text.Heading = [this](const TCodeRoutineHead& H) { return (*this)(H); };
  return Text;
}
