// The find's answers as text and as JSON (see FindWriters.h).
#include "FindWriters.h"

#include <ostream>
#include <string>

#include "DCU_Text.h"
#include "JsonWriter.h"

namespace {

// A unit of the unit path is marked as library.
std::string UserLine(const TFindIndex& Index, const TFindUser& U) {
  return std::string("  used in the ") + (U.Interface ? "interface" : "implementation") + " of " + U.UnitName +
         " (" + U.Path + (Index.Library(U.Unit) ? ", library" : "") + ")\n";
}

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

void NotLoadedEntry(TJsonWriter& J, const std::string& Path, const std::string& Error) {
  J.BeginObject();
  J.String("path", Path);
  J.String("error", DisplayUtf8(Error));
  J.EndObject();
}

}  // namespace

void TFindTextWriter::Part() {
  if (Any) Out << '\n';
  Any = true;
}

void TFindTextWriter::Hits(const TFindIndex& Index, const std::vector<TFindHit>& Hits) {
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

void TFindTextWriter::Unit(const TFindIndex& Index, const TFindUnitUsers& U) {
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

TFindJsonWriter::TFindJsonWriter(std::ostream& Out, std::string_view Pattern)
    : Out(Out), J(std::make_unique<TJsonWriter>([&Out](std::string_view Bytes) {
        Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
      })) {
  J->BeginObject();
  J->String("pattern", Pattern);
  J->Key("declarations");
  J->BeginArray(TJsonLayout::FlatItems);
}

TFindJsonWriter::~TFindJsonWriter() = default;

void TFindJsonWriter::Hits(const TFindIndex& Index, const std::vector<TFindHit>& Hits) {
  for (const TFindHit& Hit : Hits) {
    J->BeginObject();
    J->String("unit", Hit.UnitName);
    J->String("path", Hit.Path);
    if (Index.Library(Hit.Unit)) J->Bool("library", true);
    J->String("section", FindSectionName(Hit.Section));
    J->String("kind", FindKindName(Hit.Kind));
    J->String("name", Hit.Name);
    J->Number("offset", Hit.Offset);
    J->String("line", Hit.Line);
    Users(*J, Index, Index.UsersOf(Hit));
    J->EndObject();
  }
  J->Flush();
}

void TFindJsonWriter::Units(const TFindIndex& Index, const std::vector<TFindUnitUsers>& Units) {
  J->EndArray();
  J->Key("units");
  J->BeginArray(TJsonLayout::FlatItems);
  for (const TFindUnitUsers& U : Units) {
    J->BeginObject();
    J->String("unit", U.Name);
    J->Key("files");
    J->BeginArray();
    for (uint32_t F : U.Files) J->String(Index.Path(F));
    J->EndArray();
    Users(*J, Index, U.Users);
    J->EndObject();
  }
  J->EndArray();
}

void TFindJsonWriter::NotLoaded(const TFindIndex& Index, const std::vector<TUnreadableEntry>& Unreadable) {
  J->Key("notLoaded");
  J->BeginArray(TJsonLayout::FlatItems);
  for (const TUnreadableEntry& E : Unreadable) NotLoadedEntry(*J, E.Path, E.Error);
  for (uint32_t U = 0; U < Index.Size(); ++U)
    if (!Index.Loaded(U)) NotLoadedEntry(*J, Index.Path(U), Index.Error(U));
  J->EndArray();
  J->EndObject();
  J->Flush();
  Out << '\n';
}
