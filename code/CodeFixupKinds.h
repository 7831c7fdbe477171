// The meaning of each fixup kind of each format version for the code
// listing: the field a kind fills and its name, looked up from the one
// table of the reader (DCU_FixupKinds.h, which says what each kind is).
#pragma once

#include <cstdint>
#include <string_view>

#include "DCU_FixupKinds.h"

struct TFixupKindInfo {
  TFixupUse Use = TFixupUse::Absolute;
  uint8_t Size = 4;            // bytes of the field; 0 for block starts and the end
  std::string_view Name;       // empty: a kind the table does not know
};

// The meaning of a fixup kind in a unit of format version Version.
TFixupKindInfo FixupKindInfo(int32_t Version, uint8_t Kind);
// The meanings of all 256 kind bytes in a unit of format version Version.
const TFixupKindInfo* FixupKindTable(int32_t Version);

// Where the class reference lies in a class's table (the piece of the
// compiler-made declaration ".TName"): references to that table are shown
// relative to it, so that the class reference itself reads "TName".
int32_t ClassRefOffset(int32_t Version);
