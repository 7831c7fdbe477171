// What the kinds of the fixup table mean, by format version: the one place
// that says so, read by the reader (which kinds open and end a piece of the
// data block) and by the code listing (what each field holds). Learnt from
// the real units: the bytes at each fixup's offset and the instruction they
// belong to.
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

namespace fixupkinds {
struct TRow {
  int32_t First, Last;
  uint8_t Kind;
  TFixupUse Use;
  std::string_view Name;
};
#define UNITPEEK_FIXUP_KIND_ROW(First, Last, Kind, Use, Name) {First, Last, Kind, TFixupUse::Use, Name},
inline constexpr TRow Rows[] = {UNITPEEK_FIXUP_KIND_TABLE(UNITPEEK_FIXUP_KIND_ROW)};
#undef UNITPEEK_FIXUP_KIND_ROW

constexpr uint8_t KindOfUse(int32_t Version, TFixupUse Use, uint8_t Otherwise) {
  for (const TRow& R : Rows)
    if (R.Use == Use && Version >= R.First && Version <= R.Last) return R.Kind;
  return Otherwise;
}
}  // namespace fixupkinds

// The kind that opens a declaration's piece of the data block, and the kind
// of the table's last entry, in a unit of format version Version (a version
// the table does not name takes those of versions 3 to 6).
constexpr uint8_t BlockStartKind(int32_t Version) {
  return fixupkinds::KindOfUse(Version, TFixupUse::BlockStart, fixupkinds::KindOfUse(3, TFixupUse::BlockStart, 0));
}
constexpr uint8_t BlockEndKind(int32_t Version) {
  return fixupkinds::KindOfUse(Version, TFixupUse::BlockEnd, fixupkinds::KindOfUse(3, TFixupUse::BlockEnd, 0));
}
static_assert(BlockStartKind(2) == 3 && BlockEndKind(2) == 4 && BlockStartKind(5) == 5 && BlockEndKind(7) == 7 &&
              BlockStartKind(101) == 5 && BlockStartKind(103) == 6);
