// The code listing as plain text: each routine headed by its name, then its
// items, one a line: file offset, bytes, instruction or data; labels on lines
// of their own; the code-line table's markers with the source line beside
// them.
//
//   TForm1.Button1Click
//     ; 28: begin
//     00000410  53                       push ebx
//     00000411  8B D8                    mov ebx, eax
//     ...
//   @1:
//     00000430  E9 00 00 00 00           jmp System.@HandleFinally
//
// Items of more than eight bytes go on with their further bytes on the
// lines below, so that every byte of the piece is shown.
#pragma once

#include <functional>
#include <string>

#include "CodeListing.h"

struct TCodeTextOptions {
  // The heading line of a routine; empty: its qualified name, and the role
  // of the unit's initialization and finalization.
  std::function<std::string(const TCodeRoutineHead&)> Heading;
  bool Bytes = true;   // false: no bytes column
};

// Appends routine R to Out.
void WriteRoutineText(const TCodeRoutine& R, std::string& Out, const TCodeTextOptions& Options = {});

// The default heading of a routine.
std::string DefaultRoutineHeading(const TCodeRoutineHead& H);
