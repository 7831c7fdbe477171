// unitpeek-dump --find (see FindCommand.h): the index built over the walked
// units, the hits written unit by unit with their listing lines (each unit
// with hits read once more for them), then the unit names and their users.
#include "FindCommand.h"

#include <algorithm>
#include <ostream>

#include "DCU_Text.h"
#include "FindIndex.h"
#include "FindWriters.h"

namespace {

// What could not be searched, named on standard error; true when a given
// path is among it (which makes the run an error).
bool TellUnsearched(const TFindIndex& Index, const std::vector<TUnreadableEntry>& Unreadable,
                    const std::vector<std::string>& Paths, std::ostream& Err) {
  bool GivenUnreadable = false;
  for (const TUnreadableEntry& E : Unreadable) {
    Err << "unitpeek-dump: " << E.Path << ": " << DisplayUtf8(E.Error) << '\n';
    GivenUnreadable = GivenUnreadable || std::find(Paths.begin(), Paths.end(), E.Path) != Paths.end();
  }
  for (uint32_t U = 0; U < Index.Size(); ++U)
    if (!Index.Loaded(U)) Err << "unitpeek-dump: " << Index.Path(U) << ": not loaded: " << DisplayUtf8(Index.Error(U)) << '\n';
  return GivenUnreadable;
}

}  // namespace

int RunFindCommand(const std::string& Pattern, const std::vector<std::string>& Paths, bool Json, std::ostream& Out,
                   std::ostream& Err, unsigned Jobs, const std::vector<std::string>& UnitPath) {
  std::vector<TUnreadableEntry> Unreadable;
  const TFindIndex Index = BuildFindIndex(Paths, &Unreadable, Jobs, UnitPath);
  const TFindPattern P(Pattern);
  const bool GivenUnreadable = TellUnsearched(Index, Unreadable, Paths, Err);

  // Lines of a unit's hits: read from the unit again; a unit changed so that
  // it no longer loads keeps them empty (the name stands instead).
  auto Lines = [&](std::vector<TFindHit>& Hits) {
    std::string Error;
    if (!FillFindLines(Hits, &Error))
      Err << "unitpeek-dump: " << Hits.front().Path << ": not loaded: " << DisplayUtf8(Error) << '\n';
  };

  size_t Hits = 0;
  std::vector<TFindUnitUsers> Units;
  if (!Json) {
    TFindTextWriter T(Out);
    Hits = Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      Lines(H);
      T.Hits(Index, H);
      return true;
    });
    Units = Index.FindUnits(P);
    for (const TFindUnitUsers& U : Units) T.Unit(Index, U);
  } else {
    TFindJsonWriter J(Out, Pattern);
    Hits = Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      Lines(H);
      J.Hits(Index, H);
      return true;
    });
    Units = Index.FindUnits(P);
    J.Units(Index, Units);
    J.NotLoaded(Index, Unreadable);
  }
  Out.flush();
  if (GivenUnreadable) return 2;
  if (Hits > 0 || !Units.empty()) return 0;
  // Nothing found is said, not only in the status.
  Err << "unitpeek-dump: no declaration or unit matches " << Pattern << '\n';
  return 1;
}
