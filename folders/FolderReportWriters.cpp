// The folder report as text and as JSON (see FolderReportWriters.h).
#include "FolderReportWriters.h"

#include <algorithm>
#include <ostream>

#include "DCU_Unit.h"
#include "JsonWriter.h"
#include "UnitFactsJson.h"
#include "UnitFolders.h"

namespace {

void Paths(TJsonWriter& J, const TFolderReport& R, const std::vector<uint32_t>& Files) {
  J.BeginArray();
  for (uint32_t I : Files) J.String(R.Units[I].Path);
  J.EndArray();
}

void NamesOf(TJsonWriter& J, const TNamePool& P, const std::vector<uint32_t>& Names) {
  J.BeginArray();
  for (uint32_t N : Names) J.String(DisplayUtf8(P.Text(N)));
  J.EndArray();
}

// A finding's members after "kind", in the order the report has always had.
void FindingMembers(TJsonWriter& J, const TFolderReport& R, const TFinding& F) {
  const TNamePool& P = R.Names;
  switch (F.Kind) {
    case TFindingKind::NotLoaded:
      J.String("path", R.PathOf(F));
      J.String("error", DisplayUtf8(R.ErrorOf(F)));
      break;
    case TFindingKind::DuplicateUnit:
      J.String("unit", DisplayUtf8(P.Text(F.Unit)));
      J.Key("files");
      Paths(J, R, R.FilesOf(F));
      break;
    case TFindingKind::MissingUnit:
      J.String("unit", DisplayUtf8(P.Text(F.Unit)));
      J.Key("usedBy");
      Paths(J, R, R.FilesOf(F));
      break;
    case TFindingKind::MixedVersions:
      J.Key("versions");
      J.BeginObject();
      for (auto [Version, Count] : F.Versions) {
        J.TextKey(std::to_string(Version));
        J.Number(Count);
      }
      J.EndObject();
      break;
    case TFindingKind::InterfaceMismatch:
      J.String("file", R.Units[F.File].Path);
      J.String("uses", DisplayUtf8(P.Text(F.Unit)));
      J.Key("usedFiles");
      Paths(J, R, R.FilesOf(F));
      J.Key("names");
      NamesOf(J, P, F.Names);
      break;
  }
}

// Problems of one file for the table.
std::string ProblemsText(const TFolderUnit& U) {
  std::string S;
  for (TFindingKind K : {TFindingKind::NotLoaded, TFindingKind::DuplicateUnit, TFindingKind::MissingUnit,
                         TFindingKind::InterfaceMismatch}) {
    if (!U.Has(K)) continue;
    if (!S.empty()) S += ", ";
    S += K == TFindingKind::MissingUnit ? "uses-missing-unit" : FindingKindName(K);
  }
  return S.empty() ? "-" : S;
}

// A list of paths, the first few only when it is long.
std::string PathList(const TFolderReport& R, const std::vector<uint32_t>& Files, size_t Most = 5) {
  std::string S;
  const size_t Shown = Files.size() > Most ? 3 : Files.size();
  for (size_t K = 0; K < Shown; ++K) S += (K ? ", " : "") + R.Units[Files[K]].Path;
  if (Shown < Files.size()) S += " and " + std::to_string(Files.size() - Shown) + " more";
  return S;
}

void Pad(std::ostream& Out, const std::string& S, size_t Width) {
  Out << S;
  for (size_t N = S.size(); N < Width; ++N) Out << ' ';
}

}  // namespace

std::string FindingText(const TFolderReport& R, const TFinding& F) {
  const TNamePool& P = R.Names;
  std::string S;
  switch (F.Kind) {
    case TFindingKind::NotLoaded:
      S = R.PathOf(F) + ": " + DisplayUtf8(R.ErrorOf(F));
      break;
    case TFindingKind::DuplicateUnit:
      S = DisplayUtf8(P.Text(F.Unit)) + " in " + std::to_string(R.FilesOf(F).size()) +
          " files: " + PathList(R, R.FilesOf(F), R.FilesOf(F).size());
      break;
    case TFindingKind::MissingUnit:
      S = DisplayUtf8(P.Text(F.Unit)) + ", used by " + PathList(R, R.FilesOf(F));
      break;
    case TFindingKind::MixedVersions:
      for (size_t V = 0; V < F.Versions.size(); ++V)
        S += (V ? ", " : "") + std::string("version ") + std::to_string(F.Versions[V].first) + ": " +
             std::to_string(F.Versions[V].second) + (F.Versions[V].second == 1 ? " file" : " files");
      break;
    case TFindingKind::InterfaceMismatch:
      S = R.Units[F.File].Path + " uses " + DisplayUtf8(P.Text(F.Unit)) + " compiled against another interface: ";
      for (size_t N = 0; N < F.Names.size(); ++N) S += (N ? ", " : "") + DisplayUtf8(P.Text(F.Names[N]));
      S += " (compared with " + PathList(R, R.FilesOf(F), R.FilesOf(F).size()) + ")";
      break;
  }
  return S;
}

void WriteReportJson(const TFolderReport& R, std::ostream& Out) {
  {
    TJsonWriter J([&Out](std::string_view Bytes) { Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size())); });
    J.BeginObject();
    J.Key("units");
    J.BeginArray(TJsonLayout::FlatItems);
    for (const TFolderUnit& U : R.Units) WriteUnitFactsJson(J, U.Path, U.Ok ? &U.Facts : nullptr, U.Error);
    J.EndArray();
    J.Key("findings");
    J.BeginArray(TJsonLayout::FlatItems);
    for (const TFinding& F : R.Findings) {
      J.BeginObject();
      J.String("kind", FindingKindName(F.Kind));
      FindingMembers(J, R, F);
      J.EndObject();
    }
    J.EndArray();
    J.EndObject();
  }
  Out << "\n";
}

void WriteReportText(const TFolderReport& R, std::ostream& Out) {
  const TNamePool& P = R.Names;
  size_t Loaded = 0;
  for (const TFolderUnit& U : R.Units) Loaded += U.Ok ? 1 : 0;
  if (R.Units.empty()) {
    Out << "No unit files found.\n";
  } else {
    // The table.
    size_t WFile = 4, WUnit = 4;
    for (const TFolderUnit& U : R.Units) {
      WFile = std::max(WFile, U.Path.size());
      if (U.Ok) WUnit = std::max(WUnit, DisplayUtf8(P.Text(U.UnitName)).size());
    }
    WFile += 2;
    WUnit += 2;
    Pad(Out, "FILE", WFile);
    Pad(Out, "UNIT", WUnit);
    Out << "VERSION  DEBUG  PROBLEMS\n";
    for (const TFolderUnit& U : R.Units) {
      Pad(Out, U.Path, WFile);
      Pad(Out, U.Ok ? DisplayUtf8(P.Text(U.UnitName)) : "-", WUnit);
      Pad(Out, U.Ok ? std::to_string(U.Facts.Version) : "-", 9);
      Pad(Out, U.Ok ? (U.Facts.DebugInfo ? "yes" : "no") : "-", 7);
      Out << ProblemsText(U) << "\n";
    }
  }
  Out << "\n" << R.Units.size() << (R.Units.size() == 1 ? " unit file, " : " unit files, ") << Loaded
      << " loaded";
  if (!R.Unreadable.empty()) Out << ", " << R.Unreadable.size() << " unreadable entries";
  Out << "; " << R.Findings.size() << (R.Findings.size() == 1 ? " finding" : " findings") << "\n";

  // The findings, grouped by kind (they come in kind order).
  for (size_t I = 0; I < R.Findings.size();) {
    const TFindingKind K = R.Findings[I].Kind;
    size_t End = I;
    while (End < R.Findings.size() && R.Findings[End].Kind == K) ++End;
    Out << "\n" << FindingKindName(K) << " (" << (End - I) << "):\n";
    for (; I < End; ++I) Out << "  " << FindingText(R, R.Findings[I]) << "\n";
  }
}
