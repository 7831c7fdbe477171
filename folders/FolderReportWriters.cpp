// The folder report as text and as JSON (see FolderReportWriters.h).
#include "FolderReportWriters.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "DCU_Unit.h"
#include "UnitFolders.h"

using json = nlohmann::ordered_json;

namespace {

// One object on a line of its own, indented under its array.
std::string Line(const json& J) { return "    " + J.dump(-1, ' ', false, json::error_handler_t::replace); }

json UnitJson(const TFolderReport& R, const TFolderUnit& U) {
  json J;
  J["path"] = U.Path;
  J["ok"] = U.Ok;
  J["error"] = U.Ok ? json(nullptr) : json(DisplayUtf8(U.Error));
  if (!U.Ok) return J;
  J["unit"] = DisplayUtf8(R.Names.Text(U.UnitName));
  J["version"] = U.Version;
  J["debugInfo"] = U.DebugInfo;
  J["localSymbols"] = U.LocalSymbols;
  json Uses = {{"interface", json::array()}, {"implementation", json::array()}, {"dlls", json::array()}};
  for (const TFolderUse& Use : U.Uses) {
    const char* Key = Use.Kind == InterfaceUses        ? "interface"
                      : Use.Kind == ImplementationUses ? "implementation"
                                                       : "dlls";
    Uses[Key].push_back(DisplayUtf8(R.Names.Text(Use.Name)));
  }
  J["uses"] = std::move(Uses);
  return J;
}

json Paths(const TFolderReport& R, const std::vector<uint32_t>& Files) {
  json A = json::array();
  for (uint32_t I : Files) A.push_back(R.Units[I].Path);
  return A;
}

json FindingJson(const TFolderReport& R, const TFinding& F) {
  json J;
  J["kind"] = FindingKindName(F.Kind);
  const TNamePool& P = R.Names;
  switch (F.Kind) {
    case TFindingKind::NotLoaded:
      J["path"] = R.PathOf(F);
      J["error"] = DisplayUtf8(R.ErrorOf(F));
      break;
    case TFindingKind::DuplicateUnit:
      J["unit"] = DisplayUtf8(P.Text(F.Unit));
      J["files"] = Paths(R, R.FilesOf(F));
      break;
    case TFindingKind::MissingUnit:
      J["unit"] = DisplayUtf8(P.Text(F.Unit));
      J["usedBy"] = Paths(R, R.FilesOf(F));
      break;
    case TFindingKind::MixedVersions: {
      json V = json::object();
      for (auto [Version, Count] : F.Versions) V[std::to_string(Version)] = Count;
      J["versions"] = V;
      break;
    }
    case TFindingKind::InterfaceMismatch: {
      J["file"] = R.Units[F.File].Path;
      J["uses"] = DisplayUtf8(P.Text(F.Unit));
      J["usedFiles"] = Paths(R, R.FilesOf(F));
      json Names = json::array();
      for (uint32_t N : F.Names) Names.push_back(DisplayUtf8(P.Text(N)));
      J["names"] = Names;
      break;
    }
  }
  return J;
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
  Out << "{\n  \"units\": [";
  for (size_t I = 0; I < R.Units.size(); ++I) Out << (I ? ",\n" : "\n") << Line(UnitJson(R, R.Units[I]));
  Out << (R.Units.empty() ? "],\n" : "\n  ],\n");
  Out << "  \"findings\": [";
  for (size_t I = 0; I < R.Findings.size(); ++I)
    Out << (I ? ",\n" : "\n") << Line(FindingJson(R, R.Findings[I]));
  Out << (R.Findings.empty() ? "]\n" : "\n  ]\n");
  Out << "}\n";
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
      Pad(Out, U.Ok ? std::to_string(U.Version) : "-", 9);
      Pad(Out, U.Ok ? (U.DebugInfo ? "yes" : "no") : "-", 7);
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
