// What the kinds of the fixup table mean, by format version: the one place
// that says so. Learnt from the real units (see notes of the code listing):
// the bytes at each fixup's offset and the instruction they belong to.
//
//   absolute  a 32-bit field that receives the address of the declaration;
//             the field holds an addend (an offset into the declaration:
//             [Rec+4], a label inside a routine, a slot of a class's table).
//             `mov edx, $...`, `push $...`, `mov eax, [$...]`, `dd $...`.
//   relative  a 32-bit field that receives the distance to the declaration
//             from the end of the field (the operand of `call` and `jmp`);
//             the field holds an addend too (a label inside another routine).
//   import    like absolute, for the variables and resource strings of
//             another unit, which may live in another module and are then
//             reached through that module's table; versions 3 to 7.
//   classref  like absolute, for the class table of a class of another unit
//             (`mov edx, [$...]` before a class test); version 7.
//   block     no field: the piece of the data block that belongs to the
//             declaration starts here (it runs to the next block start).
//   end       no field: the end of the data block, naming the routine of the
//             unit's initialization; the last entry of the table.
//
// Kinds not in the table are taken as 32-bit absolute fields and shown with
// their number ("kind 9"); none occurs in the real units. The further formats
// 100, 101 and 103 share the block kinds of versions 3 to 6 and of version 7
// (the reader's rule); their other kinds are taken from the same versions,
// which no real unit has confirmed (their code is shown as data).
#pragma once

#include <cstdint>
#include <string_view>

enum class TFixupUse : uint8_t {
  Absolute,
  Relative,
  BlockStart,
  BlockEnd,
};

// X(first version, last version, kind, use, name)
#define UNITPEEK_FIXUP_KIND_TABLE(X)            \
  X(2, 2, 1, Absolute, "absolute")              \
  X(2, 2, 2, Relative, "relative")              \
  X(2, 2, 3, BlockStart, "block")               \
  X(2, 2, 4, BlockEnd, "end")                   \
  X(3, 6, 1, Absolute, "absolute")              \
  X(3, 6, 2, Relative, "relative")              \
  X(3, 6, 3, Absolute, "import")                \
  X(3, 6, 5, BlockStart, "block")               \
  X(3, 6, 6, BlockEnd, "end")                   \
  X(7, 7, 1, Absolute, "absolute")              \
  X(7, 7, 2, Relative, "relative")              \
  X(7, 7, 3, Absolute, "import")                \
  X(7, 7, 5, Absolute, "classref")              \
  X(7, 7, 6, BlockStart, "block")               \
  X(7, 7, 7, BlockEnd, "end")                   \
  X(100, 101, 1, Absolute, "absolute")          \
  X(100, 101, 2, Relative, "relative")          \
  X(100, 101, 3, Absolute, "import")            \
  X(100, 101, 5, BlockStart, "block")           \
  X(100, 101, 6, BlockEnd, "end")               \
  X(103, 103, 1, Absolute, "absolute")          \
  X(103, 103, 2, Relative, "relative")          \
  X(103, 103, 3, Absolute, "import")            \
  X(103, 103, 5, Absolute, "classref")          \
  X(103, 103, 6, BlockStart, "block")           \
  X(103, 103, 7, BlockEnd, "end")

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
