// unitpeek-dump --find (see FindCommand.h): the index built over the walked
// units, the hits written unit by unit with their listing lines (each unit
// with hits read once more for them), then the unit names and their users.
#include "FindCommand.h"

#include <algorithm>
#include <ostream>

#include "DCU_Text.h"
#include "FindIndex.h"
#include "JsonWriter.h"

namespace {

// Text: one group per unit with hits, one per unit name.
class TTextOut {
 public:
  explicit TTextOut(std::ostream& Out) : Out(Out) {}

  void Hits(const TFindIndex& Index, const std::vector<TFindHit>& Hits) {
    Part();
    Out << Hits.front().UnitName << " (" << Hits.front().Path << (Index.Library(Hits.front().Unit) ? ", library" : "")
        << ")\n";
    for (const TFindHit& H : Hits) {
      // The kind, unless a declaration's line starts with it (a routine's
      // keyword); a member's always.
      const std::string_view Kind = FindKindName(H.Kind);
      Out << "  " << FindSectionName(H.Section) << ' ';
      if (IsMemberKind(H.Kind) || H.Line.compare(0, Kind.size() + 1, std::string(Kind) + " ") != 0) Out << Kind << ' ';
      if (IsMemberKind(H.Kind) || H.Line.empty()) Out << H.Name << (H.Line.empty() ? "" : ": ");
      Out << H.Line << '\n';
      for (const TFindUser& User : Index.UsersOf(H)) Out << "  " << UserLine(Index, User);
    }
  }

  void Unit(const TFindIndex& Index, const TFindUnitUsers& U) {
    Part();
    Out << "unit " << U.Name << " (";
    if (U.Files.empty()) Out << "not in the folders";
    for (size_t I = 0; I < U.Files.size(); ++I)
      Out << (I ? ", " : "") << Index.Path(U.Files[I]) << (Index.Library(U.Files[I]) ? " (library)" : "");
    Out << "), used by ";
    if (U.Users.empty())
      Out << "no unit";
    else
      Out << U.Users.size() << (U.Users.size() == 1 ? " unit" : " units");
    Out << '\n';
    for (const TFindUser& User : U.Users) Out << UserLine(Index, User);
  }

 private:
  static std::string UserLine(const TFindIndex& Index, const TFindUser& U) {
    return std::string("  used in the ") + (U.Interface ? "interface" : "implementation") + " of " + U.UnitName +
           " (" + U.Path + (Index.Library(U.Unit) ? ", library" : "") + ")\n";
  }
  void Part() {
    if (Any) Out << '\n';
    Any = true;
  }
  std::ostream& Out;
  bool Any = false;
};

// "usedBy": [{"unit", "path", "section"}...].
void Users(TJsonWriter& J, const TFindIndex& Index, const std::vector<TFindUser>& Users) {
  J.Key("usedBy");
  J.BeginArray();
  for (const TFindUser& User : Users) {
    J.BeginObject();
    J.String("unit", User.UnitName);
    J.String("path", User.Path);
    if (Index.Library(User.Unit)) J.Bool("library", true);
    J.String("section", User.Interface ? "interface" : "implementation");
    J.EndObject();
  }
  J.EndArray();
}

}  // namespace

int RunFindCommand(const std::string& Pattern, const std::vector<std::string>& Paths, bool Json, std::ostream& Out,
                   std::ostream& Err, unsigned Jobs, const std::vector<std::string>& UnitPath) {
  std::vector<TUnreadableEntry> Unreadable;
  const TFindIndex Index = BuildFindIndex(Paths, &Unreadable, Jobs, UnitPath);
  const TFindPattern P(Pattern);

  // What could not be searched: named on standard error; a given path
  // among them makes the run an error.
  bool GivenUnreadable = false;
  for (const TUnreadableEntry& E : Unreadable) {
    Err << "unitpeek-dump: " << E.Path << ": " << DisplayUtf8(E.Error) << '\n';
    GivenUnreadable = GivenUnreadable || std::find(Paths.begin(), Paths.end(), E.Path) != Paths.end();
  }
  for (uint32_t U = 0; U < Index.Size(); ++U)
    if (!Index.Loaded(U)) Err << "unitpeek-dump: " << Index.Path(U) << ": not loaded: " << DisplayUtf8(Index.Error(U)) << '\n';

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
    TTextOut T(Out);
    Hits = Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      Lines(H);
      T.Hits(Index, H);
      return true;
    });
    Units = Index.FindUnits(P);
    for (const TFindUnitUsers& U : Units) T.Unit(Index, U);
  } else {
    TJsonWriter J([&Out](std::string_view Bytes) { Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size())); });
    J.BeginObject();
    J.String("pattern", Pattern);
    J.Key("declarations");
    J.BeginArray(TJsonLayout::FlatItems);
    Hits = Index.FindDecls(P, [&](std::vector<TFindHit>& H) {
      Lines(H);
      for (const TFindHit& Hit : H) {
        J.BeginObject();
        J.String("unit", Hit.UnitName);
        J.String("path", Hit.Path);
        if (Index.Library(Hit.Unit)) J.Bool("library", true);
        J.String("section", FindSectionName(Hit.Section));
        J.String("kind", FindKindName(Hit.Kind));
        J.String("name", Hit.Name);
        J.Number("offset", Hit.Offset);
        J.String("line", Hit.Line);
        Users(J, Index, Index.UsersOf(Hit));
        J.EndObject();
      }
      J.Flush();
      return true;
    });
    J.EndArray();
    Units = Index.FindUnits(P);
    J.Key("units");
    J.BeginArray(TJsonLayout::FlatItems);
    for (const TFindUnitUsers& U : Units) {
      J.BeginObject();
      J.String("unit", U.Name);
      J.Key("files");
      J.BeginArray();
      for (uint32_t F : U.Files) J.String(Index.Path(F));
      J.EndArray();
      Users(J, Index, U.Users);
      J.EndObject();
    }
    J.EndArray();
    J.Key("notLoaded");
    J.BeginArray(TJsonLayout::FlatItems);
    for (const TUnreadableEntry& E : Unreadable) {
      J.BeginObject();
      J.String("path", E.Path);
      J.String("error", DisplayUtf8(E.Error));
      J.EndObject();
    }
    for (uint32_t U = 0; U < Index.Size(); ++U) {
      if (Index.Loaded(U)) continue;
      J.BeginObject();
      J.String("path", Index.Path(U));
      J.String("error", DisplayUtf8(Index.Error(U)));
      J.EndObject();
    }
    J.EndArray();
    J.EndObject();
    J.Flush();
    Out << '\n';
  }
  Out.flush();
  if (GivenUnreadable) return 2;
  if (Hits > 0 || !Units.empty()) return 0;
  // Nothing found is said, not only in the status.
  Err << "unitpeek-dump: no declaration or unit matches " << Pattern << '\n';
  return 1;
}
