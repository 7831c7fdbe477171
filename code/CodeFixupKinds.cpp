// The fixup kinds of each format version and what each means, looked up
// from the one table of DCU_FixupKinds.h.
#include "CodeFixupKinds.h"

#include <iterator>

namespace {

using fixupkinds::Rows;
using TKindRow = fixupkinds::TRow;

}  // namespace

namespace {

TFixupKindInfo Lookup(int32_t Version, uint8_t Kind) {
  for (const TKindRow& R : Rows)
    if (R.Kind == Kind && Version >= R.First && Version <= R.Last) {
      const bool Field = R.Use == TFixupUse::Absolute || R.Use == TFixupUse::Relative;
      return TFixupKindInfo{R.Use, static_cast<uint8_t>(Field ? 4 : 0), R.Name};
    }
  return TFixupKindInfo{TFixupUse::Absolute, 4, {}};
}

// The table by version for every kind byte, made once: the listing asks for
// every fixup of every routine.
constexpr int32_t Versions[] = {2, 3, 4, 5, 6, 7, 100, 101, 103};

struct TKindTables {
  TFixupKindInfo Info[std::size(Versions)][256];
  TKindTables() {
    for (size_t V = 0; V < std::size(Versions); ++V)
      for (int K = 0; K < 256; ++K) Info[V][K] = Lookup(Versions[V], static_cast<uint8_t>(K));
  }
};

}  // namespace

const TFixupKindInfo* FixupKindTable(int32_t Version) {
  static const TKindTables Tables;
  for (size_t V = 0; V < std::size(Versions); ++V)
    if (Versions[V] == Version) return Tables.Info[V];
  static const struct TNoVersion {
    TFixupKindInfo Info[256];
    TNoVersion() {
      for (int K = 0; K < 256; ++K) Info[K] = Lookup(0, static_cast<uint8_t>(K));
    }
  } None;
  return None.Info;
}

TFixupKindInfo FixupKindInfo(int32_t Version, uint8_t Kind) { return FixupKindTable(Version)[Kind]; }

int32_t ClassRefOffset(int32_t Version) {
  if (Version == 2) return 0x34;
  if (Version == 3) return 0x40;
  return 0x4C;
}
