// Two builds of a unit compared (see UnitDiff.h): each unit loaded once and
// what is compared taken from it as text, then the two sides matched.
#include "UnitDiff.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "CodeListing.h"
#include "DCU_Text.h"
#include "DeclListing.h"
#include "DeclOutline.h"
#include "UnitFacts.h"
#include "UnitLoad.h"
#include "UnitPath.h"
#include "UsedUnits.h"

namespace {

// What one side's declarations and routines are, keyed for matching.
struct TKeyed {
  std::string Key;  // section, kind and name, and the n-th of that
  std::string Section, What, Name, Line;
};

struct TCodeTaken {
  std::string Name;
  std::vector<uint8_t> Masked;       // the bytes, the fixups' fields zeroed
  std::vector<std::string> Targets;  // "offset target" of each fixup
  std::vector<std::string> Lines;    // labels and items as the listing writes them
};

struct TSide {
  std::optional<TUnitFacts> Facts;
  std::string Error;
  std::vector<TKeyed> Decls;
  std::vector<TCodeTaken> Code;
};

void AddKeyed(std::vector<TKeyed>& Out, std::map<std::string, int>& Seen, TKeyed K) {
  const std::string Base = K.Section + "\n" + K.What + "\n" + K.Name;
  K.Key = Base + "\n" + std::to_string(Seen[Base]++);
  Out.push_back(std::move(K));
}

void TakeDecls(const TDeclOutline& O, std::vector<TKeyed>& Out) {
  std::map<std::string, int> Seen;
  for (const auto& [Section, S] : {std::pair{"interface", &O.Interface}, {"implementation", &O.Implementation}})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries) {
        AddKeyed(Out, Seen,
                 {{}, Section, std::string(DeclKindName(E.Kind)), std::string(E.Name), EntryLine(E).Text.str()});
        for (const TDeclMember& M : E.Members)
          AddKeyed(Out, Seen,
                   {{}, Section, "member", std::string(E.Name) + "." + std::string(M.Name), MemberLine(M).Text.str()});
      }
}

TCodeTaken TakeRoutine(const TCodeRoutine& R) {
  TCodeTaken C;
  C.Name = R.Head.QualifiedName;
  C.Masked = R.Bytes;
  for (const TCodeFixup& F : R.Fixups) {
    for (uint32_t I = F.Offset; I < F.Offset + F.Size && I < C.Masked.size(); ++I) C.Masked[I] = 0;
    C.Targets.push_back(std::to_string(F.Offset) + " " + F.Target);
  }
  size_t L = 0;
  for (const TCodeItem& It : R.Items) {
    for (; L < R.Labels.size() && R.Labels[L].Offset <= It.Offset; ++L) C.Lines.push_back(R.Labels[L].Name + ":");
    C.Lines.emplace_back(R.ItemText(It));
  }
  return C;
}

// Other: the folder of the other unit compared, looked in after the unit's
// own: a used unit beside only one of the two serves both, so that a unit
// and a copy of it in another folder read the same.
TSide TakeSide(const std::string& Path, const std::string& Other, TUsedUnits* Library) {
  TSide S;
  const std::unique_ptr<TUsedTypes> Used = Library ? Library->For(UnitFolderOf(Path), Other) : nullptr;
  TUnitLoad L = TryLoadUnit(Path, [&](const TUnit& U) {
    TakeDecls(BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false, .Used = Used.get()}), S.Decls);
    TCodeOptions O;
    O.ReadSources = false;
    const TCodeLister Lister(U, O);
    if (Lister.Arch() != TCodeArch::X86_32) return;
    Lister.ForEach([&](const TCodeRoutine& R) { S.Code.push_back(TakeRoutine(R)); });
  });
  S.Facts = std::move(L.Facts);
  S.Error = std::move(L.Error);
  return S;
}

std::string StampText(const TSourceFileFacts& F) {
  const TSourceDate& S = F.Date;
  if (S.State != TSourceDate::Valid) return "stamp " + std::to_string(F.RawStamp);
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02d:%02d:%02d", S.Year, S.Month, S.Day, S.Hour, S.Minute, S.Second);
  return Buf;
}

std::string UsesText(const TUnitFacts& F, uint8_t Kind) {
  std::string T;
  for (const TUsedUnitFacts& U : F.UsedUnits)
    if (U.UseKind == Kind) T += (T.empty() ? "" : ", ") + DisplayUtf8(U.Name);
  return T;
}

void CompareFacts(const TUnitFacts& A, const TUnitFacts& B, std::vector<TDiffFact>& Out) {
  auto Fact = [&](std::string What, std::string Before, std::string After) {
    if (Before != After) Out.push_back({std::move(What), std::move(Before), std::move(After)});
  };
  Fact("unit", DisplayUtf8(A.UnitName), DisplayUtf8(B.UnitName));
  Fact("version", std::to_string(A.Version), std::to_string(B.Version));
  std::map<std::string, std::string> Before, After;
  for (const TSourceFileFacts& F : A.SourceFiles) Before[DisplayUtf8(F.Name)] = StampText(F);
  for (const TSourceFileFacts& F : B.SourceFiles) After[DisplayUtf8(F.Name)] = StampText(F);
  for (const auto& [Name, Stamp] : Before) Fact("source " + Name, Stamp, After.count(Name) ? After[Name] : "");
  for (const auto& [Name, Stamp] : After)
    if (!Before.count(Name)) Fact("source " + Name, "", Stamp);
  Fact("uses (interface)", UsesText(A, 0), UsesText(B, 0));
  Fact("uses (implementation)", UsesText(A, 1), UsesText(B, 1));
  Fact("DLLs", UsesText(A, 2), UsesText(B, 2));
  Fact("debug information", A.DebugInfo ? "on" : "off", B.DebugInfo ? "on" : "off");
}

void CompareDecls(const std::vector<TKeyed>& A, const std::vector<TKeyed>& B, std::vector<TDiffDecl>& Out) {
  std::map<std::string, const TKeyed*> InB, InA;
  for (const TKeyed& K : B) InB.emplace(K.Key, &K);
  for (const TKeyed& K : A) InA.emplace(K.Key, &K);
  for (const TKeyed& K : A) {
    auto It = InB.find(K.Key);
    if (It == InB.end()) Out.push_back({TDiffKind::Removed, K.Section, K.What, K.Name, K.Line, {}});
    else if (It->second->Line != K.Line) Out.push_back({TDiffKind::Changed, K.Section, K.What, K.Name, K.Line, It->second->Line});
  }
  for (const TKeyed& K : B)
    if (!InA.count(K.Key)) Out.push_back({TDiffKind::Added, K.Section, K.What, K.Name, {}, K.Line});
}

// The lines of two listings as a diff: the longest common run kept as " "
// lines, the rest as "-" and "+". Listings too long to compare line by line
// give all of each.
std::vector<std::string> LineDiff(const std::vector<std::string>& A, const std::vector<std::string>& B) {
  std::vector<std::string> Out;
  const size_t N = A.size(), M = B.size();
  if (N * M > 16'000'000) {
    for (const std::string& L : A) Out.push_back("-" + L);
    for (const std::string& L : B) Out.push_back("+" + L);
    return Out;
  }
  std::vector<uint32_t> Len((N + 1) * (M + 1), 0);  // common lines of A[I..] and B[J..]
  for (size_t I = N; I-- > 0;)
    for (size_t J = M; J-- > 0;)
      Len[I * (M + 1) + J] = A[I] == B[J] ? Len[(I + 1) * (M + 1) + J + 1] + 1
                                          : std::max(Len[(I + 1) * (M + 1) + J], Len[I * (M + 1) + J + 1]);
  size_t I = 0, J = 0;
  while (I < N || J < M) {
    if (I < N && J < M && A[I] == B[J]) Out.push_back(" " + A[I++]), ++J;
    else if (J < M && (I == N || Len[I * (M + 1) + J + 1] >= Len[(I + 1) * (M + 1) + J])) Out.push_back("+" + B[J++]);
    else Out.push_back("-" + A[I++]);
  }
  return Out;
}

// Runs of more than six lines the same shown as their first and last three
// around "...", as a unified diff keeps its context.
std::vector<std::string> WithContext(std::vector<std::string> Lines) {
  std::vector<std::string> Out;
  for (size_t I = 0; I < Lines.size();) {
    size_t J = I;
    while (J < Lines.size() && Lines[J][0] == ' ') ++J;
    const bool Cut = J - I > 6;
    for (size_t K = I; K < J; ++K) {
      if (Cut && K == I + 3) Out.emplace_back(" ...");
      if (!Cut || K < I + 3 || K >= J - 3) Out.push_back(std::move(Lines[K]));
    }
    if (J < Lines.size()) Out.push_back(std::move(Lines[J++]));
    I = J;
  }
  return Out;
}

void CompareCode(const std::vector<TCodeTaken>& A, const std::vector<TCodeTaken>& B, std::vector<TDiffRoutine>& Out) {
  std::map<std::string, std::vector<const TCodeTaken*>> InB;
  std::map<std::string, size_t> Used;
  for (const TCodeTaken& C : B) InB[C.Name].push_back(&C);
  std::map<std::string, size_t> SeenA;
  for (const TCodeTaken& C : A) {
    const size_t Nth = SeenA[C.Name]++;
    auto It = InB.find(C.Name);
    if (It == InB.end() || Nth >= It->second.size()) {
      Out.push_back({TDiffKind::Removed, C.Name, {}});
      continue;
    }
    const TCodeTaken& D = *It->second[Nth];
    ++Used[C.Name];
    if (C.Masked != D.Masked || C.Targets != D.Targets) Out.push_back({TDiffKind::Changed, C.Name, WithContext(LineDiff(C.Lines, D.Lines))});
  }
  std::map<std::string, size_t> SeenB;
  for (const TCodeTaken& C : B)
    if (SeenB[C.Name]++ >= Used[C.Name]) Out.push_back({TDiffKind::Added, C.Name, {}});
}

}  // namespace

const char* DiffKindName(TDiffKind K) {
  switch (K) {
    case TDiffKind::Added: return "added";
    case TDiffKind::Removed: return "removed";
    case TDiffKind::Changed: return "changed";
  }
  return "";
}

TUnitDiff CompareUnitFiles(const std::string& PathA, const std::string& PathB, TUsedUnits* Library) {
  TUnitDiff D;
  D.PathA = PathA;
  D.PathB = PathB;
  TSide A = TakeSide(PathA, UnitFolderOf(PathB), Library);
  TSide B = TakeSide(PathB, UnitFolderOf(PathA), Library);
  D.ErrorA = std::move(A.Error);
  D.ErrorB = std::move(B.Error);
  if (!D.Loaded()) return D;
  CompareFacts(*A.Facts, *B.Facts, D.Facts);
  CompareDecls(A.Decls, B.Decls, D.Decls);
  CompareCode(A.Code, B.Code, D.Code);
  return D;
}
