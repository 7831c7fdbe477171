// The folder report as text and as JSON (see FolderReportWriters.h).
#include "FolderReportWriters.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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
    case TFindingKind::MissingRuntime:
      J.Key("units");
      NamesOf(J, P, F.Names);
      J.Key("usedBy");
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
void AppendProblems(std::string& S, const TFolderUnit& U) {
  bool Any = false;
  for (TFindingKind K : {TFindingKind::NotLoaded, TFindingKind::DuplicateUnit, TFindingKind::MissingUnit,
                         TFindingKind::InterfaceMismatch}) {
    if (!U.Has(K)) continue;
    if (Any) S += ", ";
    S += K == TFindingKind::MissingUnit ? "uses-missing-unit" : FindingKindName(K);
    Any = true;
  }
  if (!Any) S += '-';
}

// A list of paths, the first few only when it is long.
void AppendPathList(std::string& S, const TFolderReport& R, const std::vector<uint32_t>& Files, size_t Most = 5) {
  const size_t Shown = Files.size() > Most ? 3 : Files.size();
  for (size_t K = 0; K < Shown; ++K) {
    if (K) S += ", ";
    S += R.Units[Files[K]].Path;
  }
  if (Shown < Files.size()) {
    S += " and ";
    S += std::to_string(Files.size() - Shown);
    S += " more";
  }
}

void AppendPadded(std::string& S, std::string_view Text, size_t Width) {
  S += Text;
  if (Text.size() < Width) S.append(Width - Text.size(), ' ');
}

void AppendFindingText(std::string& S, const TFolderReport& R, const TFinding& F) {
  const TNamePool& P = R.Names;
  switch (F.Kind) {
    case TFindingKind::NotLoaded:
      S += R.PathOf(F);
      S += ": ";
      S += DisplayUtf8(R.ErrorOf(F));
      break;
    case TFindingKind::DuplicateUnit:
      S += DisplayUtf8(P.Text(F.Unit));
      S += " in ";
      S += std::to_string(R.FilesOf(F).size());
      S += " files: ";
      AppendPathList(S, R, R.FilesOf(F), R.FilesOf(F).size());
      break;
    case TFindingKind::MissingRuntime:
      for (size_t N = 0; N < F.Names.size(); ++N) {
        if (N) S += ", ";
        S += DisplayUtf8(P.Text(F.Names[N]));
      }
      S += ": the runtime library (in no file here), used by ";
      S += std::to_string(R.FilesOf(F).size());
      S += R.FilesOf(F).size() == 1 ? " file" : " files";
      break;
    case TFindingKind::MissingUnit:
      S += DisplayUtf8(P.Text(F.Unit));
      S += ", used by ";
      AppendPathList(S, R, R.FilesOf(F));
      break;
    case TFindingKind::MixedVersions:
      for (size_t V = 0; V < F.Versions.size(); ++V) {
        if (V) S += ", ";
        S += "version ";
        S += std::to_string(F.Versions[V].first);
        S += ": ";
        S += std::to_string(F.Versions[V].second);
        S += F.Versions[V].second == 1 ? " file" : " files";
      }
      break;
    case TFindingKind::InterfaceMismatch:
      S += R.Units[F.File].Path;
      S += " uses ";
      S += DisplayUtf8(P.Text(F.Unit));
      S += " compiled against another interface: ";
      for (size_t N = 0; N < F.Names.size(); ++N) {
        if (N) S += ", ";
        S += DisplayUtf8(P.Text(F.Names[N]));
      }
      S += " (compared with ";
      AppendPathList(S, R, R.FilesOf(F), R.FilesOf(F).size());
      S += ")";
      break;
  }
}

// The used units found on the unit path, apart from the findings.
void AppendLibraryText(std::string& S, const TFolderReport& R) {
  if (R.Library.empty()) return;
  S += "\nlibrary (";
  S += std::to_string(R.Library.size());
  S += ", on the unit path):\n";
  for (const TLibraryUnit& L : R.Library) {
    S += "  ";
    S += DisplayUtf8(R.Names.Text(L.Unit));
    S += " (";
    S += L.Path;
    S += "), used by ";
    AppendPathList(S, R, R.FileLists[L.FileList]);
    S += '\n';
  }
}

// The text report is put together in a buffer that goes to the stream
// whenever it holds this much: a few large writes instead of one per piece.
constexpr size_t TextChunk = 64 * 1024;

void FlushIfFull(std::string& S, std::ostream& Out, size_t Least = TextChunk) {
  if (S.size() < Least) return;
  Out.write(S.data(), static_cast<std::streamsize>(S.size()));
  S.clear();
}

}  // namespace

std::string FindingText(const TFolderReport& R, const TFinding& F) {
  std::string S;
  AppendFindingText(S, R, F);
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
    if (!R.Library.empty()) {
      J.Key("library");
      J.BeginArray(TJsonLayout::FlatItems);
      for (const TLibraryUnit& L : R.Library) {
        J.BeginObject();
        J.String("unit", DisplayUtf8(R.Names.Text(L.Unit)));
        J.String("path", L.Path);
        J.Key("users");
        Paths(J, R, R.FileLists[L.FileList]);
        J.EndObject();
      }
      J.EndArray();
    }
    J.EndObject();
  }
  Out << "\n";
}

namespace {

// The table of the units: file, unit, version, debug info, problems; the
// unit names as shown, taken once for the widths and the rows.
void AppendUnitTable(std::string& S, const TFolderReport& R, std::ostream& Out) {
  std::vector<std::string> Shown(R.Units.size());
  size_t WFile = 4, WUnit = 4;
  for (size_t I = 0; I < R.Units.size(); ++I) {
    const TFolderUnit& U = R.Units[I];
    WFile = std::max(WFile, U.Path.size());
    if (U.Ok) {
      Shown[I] = DisplayUtf8(R.Names.Text(U.UnitName));
      WUnit = std::max(WUnit, Shown[I].size());
    }
  }
  WFile += 2;
  WUnit += 2;
  AppendPadded(S, "FILE", WFile);
  AppendPadded(S, "UNIT", WUnit);
  S += "VERSION  DEBUG  PROBLEMS\n";
  for (size_t I = 0; I < R.Units.size(); ++I) {
    const TFolderUnit& U = R.Units[I];
    AppendPadded(S, U.Path, WFile);
    AppendPadded(S, U.Ok ? std::string_view(Shown[I]) : "-", WUnit);
    if (U.Ok)
      AppendPadded(S, std::to_string(U.Facts.Version), 9);
    else
      AppendPadded(S, "-", 9);
    AppendPadded(S, U.Ok ? (U.Facts.DebugInfo ? "yes" : "no") : "-", 7);
    AppendProblems(S, U);
    S += '\n';
    FlushIfFull(S, Out);
  }
}

// "N unit files, M loaded[, K unreadable entries]; F findings".
void AppendCounts(std::string& S, const TFolderReport& R) {
  size_t Loaded = 0;
  for (const TFolderUnit& U : R.Units) Loaded += U.Ok ? 1 : 0;
  S += std::to_string(R.Units.size());
  S += R.Units.size() == 1 ? " unit file, " : " unit files, ";
  S += std::to_string(Loaded);
  S += " loaded";
  if (!R.Unreadable.empty()) {
    S += ", ";
    S += std::to_string(R.Unreadable.size());
    S += " unreadable entries";
  }
  S += "; ";
  S += std::to_string(R.Findings.size());
  S += R.Findings.size() == 1 ? " finding\n" : " findings\n";
}

// The findings, grouped by kind (they come in kind order).
void AppendFindings(std::string& S, const TFolderReport& R, std::ostream& Out) {
  for (size_t I = 0; I < R.Findings.size();) {
    const TFindingKind K = R.Findings[I].Kind;
    size_t End = I;
    while (End < R.Findings.size() && R.Findings[End].Kind == K) ++End;
    S += '\n';
    S += FindingKindName(K);
    S += " (";
    S += std::to_string(End - I);
    S += "):\n";
    for (; I < End; ++I) {
      S += "  ";
      AppendFindingText(S, R, R.Findings[I]);
      S += '\n';
      FlushIfFull(S, Out);
    }
  }
}

}  // namespace

void WriteReportText(const TFolderReport& R, std::ostream& Out) {
  std::string S;
  S.reserve(TextChunk + 4096);
  if (R.Units.empty())
    S += "No unit files found.\n";
  else
    AppendUnitTable(S, R, Out);
  S += '\n';
  AppendCounts(S, R);
  AppendFindings(S, R, Out);
  AppendLibraryText(S, R);
  FlushIfFull(S, Out, 1);
}
