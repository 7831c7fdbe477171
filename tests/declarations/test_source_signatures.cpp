// Routine signatures against the truth: for every unit of ../shared/corpus
// whose Pascal source lies in ../shared/corpus-src, the routines that the
// source's interface declares (top-level routines and the methods of its
// types) are found in the outline, and for the parameters whose names agree
// the outline must write them as the source does: the mode (value, var,
// const, out), untyped parameters without a type, open arrays as "array of
// T" or "array of const". The routine kinds must agree (constructor,
// destructor, class methods, procedure or function), in the interface and
// for the routines of the implementation that implement methods. Default
// values are counted and reported. Fails below the floors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "DCU_Unit.h"
#include "DeclOutline.h"
#include "SourceInterface.h"
#include "TestData.h"

namespace fs = std::filesystem;
using namespace srcintf;

namespace {

struct TShare {
  size_t Found = 0, Total = 0;
  std::map<std::string, size_t> MissesBy;  // "source -> outline": how often
  std::vector<std::string> Misses;
  void Count(bool Ok, const std::string& What, const std::string& Kind = {}) {
    ++Total;
    if (Ok) return void(++Found);
    Misses.push_back(What);
    if (!Kind.empty()) ++MissesBy[Kind];
  }
  double Pct() const { return Total ? 100.0 * double(Found) / double(Total) : 100.0; }
};

std::string Lower(std::string_view V) {
  std::string S(V);
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

// Without spaces, lower-cased: "array of const" and "array  of const" agree.
std::string Squeezed(std::string_view V) {
  std::string S;
  for (char C : V)
    if (C != ' ') S += static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

std::string SourceMode(const std::string& M) { return M.empty() ? "value" : M; }

struct TShares {
  TShare Modes, Shapes, Defaults, Kinds, ImplKinds;
  // Parameters whose source names their type by one name: how often the
  // outline names the same one (aliases of one type are one type in the
  // file, which keeps the name of one of them).
  TShare TypeNames;
};

bool IsOneName(const std::string& T) {
  return !T.empty() && std::all_of(T.begin(), T.end(), [](char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '_'; });
}

// The parameters of a source routine against the outline's routine R.
void CompareParams(const TSrcDecl& D, const TDeclRoutine& R, const std::string& Where, TShares& S) {
  for (size_t K = 0; K < D.Sig.size() && K < R.Params.size(); ++K) {
    const TSrcParam& SP = D.Sig[K];
    const TDeclParam& P = R.Params[K];
    if (Lower(P.Name) != SP.Name) break;
    const std::string Here = Where + " param " + SP.Name;
    const std::string Mode(ParamModeName(P.Mode));
    S.Modes.Count(Mode == SourceMode(SP.Mode), Here + ": " + SourceMode(SP.Mode) + " as " + Mode,
                  SourceMode(SP.Mode) + " -> " + Mode);
    if (SP.Type.empty() || SP.Type.rfind("array of", 0) == 0)
      S.Shapes.Count(Squeezed(P.Type.Text) == Squeezed(SP.Type), Here + ": '" + SP.Type + "' as '" + P.Type.Text + "'");
    if (IsOneName(SP.Type) && IsOneName(Lower(P.Type.Text)))
      S.TypeNames.Count(Lower(P.Type.Text) == SP.Type, Here + ": " + SP.Type + " as " + std::string(P.Type.Text),
                        SP.Type + " -> " + Lower(P.Type.Text));
    if (!SP.Default.empty())
      S.Defaults.Count(Squeezed(P.Default) == Squeezed(SP.Default),
                       Here + ": = " + SP.Default + " as '" + std::string(P.Default) + "'");
  }
}

// Of several routines of one name, the one whose parameter names agree
// best, then their modes (overloads often differ only in a mode).
template <class It, class Get>
const TDeclRoutine* BestOverload(It Lo, It Hi, const TSrcDecl& D, Get RoutineOf) {
  const TDeclRoutine* Best = nullptr;
  size_t BestScore = 0;
  for (It I = Lo; I != Hi; ++I) {
    const TDeclRoutine& R = RoutineOf(I);
    size_t Same = 0, Modes = 0;
    while (Same < D.Sig.size() && Same < R.Params.size() && Lower(R.Params[Same].Name) == D.Sig[Same].Name) {
      Modes += ParamModeName(R.Params[Same].Mode) == SourceMode(D.Sig[Same].Mode);
      ++Same;
    }
    const size_t Score = Same * 1000 + Modes * 2 + (R.Params.size() == D.Sig.size());
    if (!Best || Score > BestScore) Best = &R, BestScore = Score;
  }
  return Best;
}

std::string MemberKindText(const TDeclMember& M) {
  std::string K = M.Directives.ClassMethod ? "class " : "";
  if (M.Kind == TMemberKind::Method) return K + (M.Routine().IsFunction ? "function" : "procedure");
  return K + std::string(MemberKindName(M.Kind));
}

void CompareMethods(const TSrcDecl& D, const TDeclEntry& E, const std::string& Where, TShares& S) {
  std::multimap<std::string, const TDeclMember*> Ms;
  for (const TDeclMember& M : E.Members)
    if (M.Kind != TMemberKind::Field && M.Kind != TMemberKind::Property) Ms.emplace(Lower(M.Name), &M);
  for (const TSrcDecl& Me : D.Methods) {
    auto [Lo, Hi] = Ms.equal_range(Lower(Me.Name));
    if (Lo == Hi) continue;
    const TDeclRoutine* R = BestOverload(Lo, Hi, Me, [](auto I) -> const TDeclRoutine& { return I->second->Routine(); });
    const TDeclMember* M = nullptr;
    for (auto I = Lo; I != Hi; ++I)
      if (&I->second->Routine() == R) M = I->second;
    const std::string Here = Where + "." + Me.Name;
    // A method whose implementing routine the outline does not know has
    // no parameters or result to compare.
    const bool Known = M->Routine().Known || M->Kind != TMemberKind::Method;
    const std::string Src = (Me.ClassMethod ? "class " : "") + Me.Kind;
    if (Known) S.Kinds.Count(MemberKindText(*M) == Src, Here + ": " + Src + " as " + MemberKindText(*M));
    if (M->Routine().Known) CompareParams(Me, *R, Here, S);
  }
}

// "constructor tlist.create" and the like: the headings of the
// implementation that name a method, by qualified name (overloads may have
// several).
std::map<std::string, std::set<std::string>> ImplementationHeads(const std::vector<TTok>& T) {
  std::map<std::string, std::set<std::string>> Out;
  size_t I = 0;
  while (I < T.size() && T[I].Low != "implementation") ++I;
  for (; I + 3 < T.size(); ++I) {
    const std::string& W = T[I].Low;
    if (W != "procedure" && W != "function" && W != "constructor" && W != "destructor") continue;
    if (T[I + 1].Kind != 'i' || T[I + 2].Low != "." || T[I + 3].Kind != 'i') continue;
    const bool Class = I > 0 && T[I - 1].Low == "class";
    Out[T[I + 1].Low + "." + T[I + 3].Low].insert((Class ? "class " : "") + W);
  }
  return Out;
}

std::string EntryHeadText(const TDeclEntry& E) {
  const TDeclRoutine& R = E.Routine();
  std::string K = R.ClassMethod ? "class " : "";
  if (R.Head == TRoutineHead::Constructor) return K + "constructor";
  if (R.Head == TRoutineHead::Destructor) return K + "destructor";
  return K + (E.Kind == TDeclKind::Function ? "function" : "procedure");
}

void CompareUnit(const std::vector<TTok>& Toks, const TDeclOutline& O, const std::string& Tag, TShares& S) {
  TSourceParser P(Toks);
  P.Run();
  std::multimap<std::string, const TDeclEntry*> Model;
  for (const TDeclBlock& B : O.Interface.Blocks)
    for (const TDeclEntry& E : B.Entries) Model.emplace(Lower(E.Name), &E);
  for (const TSrcDecl& D : P.Decls) {
    auto [Lo, Hi] = Model.equal_range(Lower(D.Name));
    const std::string Where = Tag + D.Kind + " " + D.Name;
    if (D.Kind == "procedure" || D.Kind == "function") {
      std::vector<const TDeclEntry*> Rs;
      for (auto I = Lo; I != Hi; ++I)
        if (I->second->Routine().Known) Rs.push_back(I->second);
      if (Rs.empty()) continue;
      const TDeclRoutine* R =
          BestOverload(Rs.begin(), Rs.end(), D, [](auto I) -> const TDeclRoutine& { return (*I)->Routine(); });
      const TDeclEntry* E = *std::find_if(Rs.begin(), Rs.end(), [&](auto* X) { return &X->Routine() == R; });
      S.Kinds.Count(DeclKindName(E->Kind) == D.Kind, Where + ": as " + std::string(DeclKindName(E->Kind)));
      CompareParams(D, *R, Where, S);
    } else if (D.Kind == "type" && !D.Methods.empty()) {
      for (auto I = Lo; I != Hi; ++I)
        if (!I->second->Members.empty()) CompareMethods(D, *I->second, Where, S);
    }
  }
  for (const auto& [Name, Kinds] : ImplementationHeads(Toks))
    for (const TDeclBlock& B : O.Implementation.Blocks)
      for (const TDeclEntry& E : B.Entries)
        if (Lower(E.Name) == Name && E.Routine().Known)
          S.ImplKinds.Count(Kinds.count(EntryHeadText(E)) > 0,
                            Tag + Name + ": " + *Kinds.begin() + " as " + EntryHeadText(E));
}

}  // namespace

TEST(SourceSignatures, ParameterModesShapesAndRoutineKindsOfTheCorpusSources) {
  const fs::path SrcDir = testdata::CorpusSourceDir(), UnitDir = testdata::CorpusDir();
  if (!fs::is_directory(SrcDir) || !fs::is_directory(UnitDir))
    GTEST_SKIP() << "no folder " << SrcDir << " or " << UnitDir << "; skipped";
  TShares S;
  for (const auto& F : fs::recursive_directory_iterator(SrcDir)) {
    if (F.path().extension() != ".pas") continue;
    fs::path Unit = UnitDir / fs::relative(F.path(), SrcDir).replace_extension(".dcu");
    if (!fs::exists(Unit)) continue;
    const std::vector<uint8_t> Source = testdata::ReadFileBytes(F.path());
    TDeclOutline O;
    try {
      TUnit U(Unit.string());
      O = BuildDeclOutline(U);
    } catch (const std::exception& E) {
      continue;  // the units that do not load are the other tests' concern
    }
    CompareUnit(Tokenize(std::string(Source.begin(), Source.end())), O, F.path().filename().string() + ": ", S);
  }
  const char* Env = std::getenv("UNITPEEK_SOURCE_MISSES");
  const size_t MaxMisses = Env ? std::strtoul(Env, nullptr, 10) : 20;
  for (auto [Label, Sh, Floor] :
       {std::tuple{"parameter modes", &S.Modes, 99.0}, {"untyped and open-array parameters", &S.Shapes, 99.0},
        {"default values", &S.Defaults, 0.0}, {"type names as the source's", &S.TypeNames, 0.0}, {"routine kinds (interface)", &S.Kinds, 100.0},
        {"routine kinds (implementation)", &S.ImplKinds, 100.0}}) {
    std::cout << "[source signatures] " << Label << ": " << Sh->Found << " of " << Sh->Total << " (" << Sh->Pct()
              << "%), floor " << Floor << "%\n";
    std::vector<std::pair<size_t, std::string>> By;
    for (const auto& [Kind, N] : Sh->MissesBy) By.emplace_back(N, Kind);
    std::sort(By.rbegin(), By.rend());
    for (size_t K = 0; K < By.size() && K < 12; ++K) std::cout << "  " << By[K].second << ": " << By[K].first << "\n";
    for (size_t K = 0; K < Sh->Misses.size() && K < MaxMisses; ++K) std::cout << "  miss: " << Sh->Misses[K] << "\n";
    EXPECT_GE(Sh->Pct(), Floor) << Label;
  }
}
