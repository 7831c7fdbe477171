// The outline against the truth: for every unit of ../shared/corpus whose
// Pascal source lies in ../shared/corpus-src, the names the source's interface
// section declares must be in the outline's interface section: top-level
// declarations by name and kind, routine parameter names in order, members
// of record-like types, enumeration names. Reports the share found of each
// and fails below its floor.
//
// The tokenizer is just good enough for interface sections. Conditional
// directives are read as comments: every branch is read, so a declaration of
// a branch the compiler left out counts as a miss (listed as such).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
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
  std::vector<std::string> Misses;
  void Count(bool Ok, const std::string& What) {
    ++Total;
    if (Ok) ++Found;
    else Misses.push_back(What);
  }
  double Pct() const { return Total ? 100.0 * double(Found) / double(Total) : 100.0; }
};

std::string Lower(std::string_view V) {
  std::string S(V);
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

}  // namespace

TEST(SourceNames, InterfaceSectionsOfTheCorpusSources) {
  const fs::path SrcDir = testdata::CorpusSourceDir(), UnitDir = testdata::CorpusDir();
  if (!fs::is_directory(SrcDir) || !fs::is_directory(UnitDir))
    GTEST_SKIP() << "no folder " << SrcDir << " or " << UnitDir << "; skipped";
  TShare Top, Members, Params, Values;
  size_t Pairs = 0;
  for (const auto& F : fs::recursive_directory_iterator(SrcDir)) {
    if (F.path().extension() != ".pas") continue;
    fs::path Unit = UnitDir / fs::relative(F.path(), SrcDir).replace_extension(".dcu");
    if (!fs::exists(Unit)) continue;
    ++Pairs;
    const std::vector<uint8_t> Source = testdata::ReadFileBytes(F.path());
    TSourceParser P(Tokenize(std::string(Source.begin(), Source.end())));
    P.Run();
    TDeclOutline O;
    try {
      TUnit U(Unit.string());
      O = BuildDeclOutline(U);
    } catch (const std::exception& E) {
      ADD_FAILURE() << Unit << ": " << E.what();
      continue;
    }
    std::multimap<std::string, const TDeclEntry*> Model;
    for (const TDeclBlock& B : O.Interface.Blocks)
      for (const TDeclEntry& E : B.Entries) Model.emplace(Lower(E.Name), &E);
    const std::string Tag = F.path().filename().string() + ": ";
    for (const TSrcDecl& D : P.Decls) {
      auto [Lo, Hi] = Model.equal_range(Lower(D.Name));
      const TDeclEntry* Hit = nullptr;
      for (auto It = Lo; It != Hi && !Hit; ++It)
        if (DeclKindName(It->second->Kind) == D.Kind || (D.Kind == "var" && It->second->Typed)) Hit = It->second;
      std::string Where = Tag + D.Kind + " " + D.Name + (D.Cond ? " (conditional)" : "");
      Top.Count(Hit != nullptr, Where);
      if (!Hit) continue;
      // Overloads: the routine of that name whose parameters agree best.
      size_t Best = 0;
      for (auto It = Lo; It != Hi; ++It) {
        size_t Same = 0;
        const auto& Ps = It->second->Routine().Params;
        for (size_t K = 0; K < D.Params.size() && K < Ps.size(); ++K) Same += Lower(Ps[K].Name) == D.Params[K];
        Best = std::max(Best, Same);
      }
      for (size_t K = 0; K < D.Params.size(); ++K) Params.Count(K < Best, Where + " param " + D.Params[K]);
      std::set<std::string> Ms, Vs;
      for (const TDeclMember& M : Hit->Members) Ms.insert(Lower(M.Name));
      for (const TDeclString& V : Hit->Values()) Vs.insert(Lower(V));
      for (const auto& [M, Cond] : D.Members)
        Members.Count(Ms.count(Lower(M)) > 0, Where + " member " + M + (Cond ? " (conditional)" : ""));
      for (const std::string& V : D.Values) Values.Count(Vs.count(Lower(V)) > 0, Where + " value " + V);
    }
  }
  std::cout << "[source names] " << Pairs << " pairs\n";
  // Initialised variables count as found as typed constants: the file stores them as such.
  const char* Env = std::getenv("UNITPEEK_SOURCE_MISSES");
  const size_t MaxMisses = Env ? std::strtoul(Env, nullptr, 10) : 40;
  for (auto [Label, S, Floor] : {std::tuple{"top-level", &Top, 97.0}, {"members", &Members, 99.0},
                                 {"parameters", &Params, 99.0}, {"enumeration names", &Values, 99.0}}) {
    std::cout << "[source names] " << Label << ": " << S->Found << " of " << S->Total << " (" << S->Pct()
              << "%), floor " << Floor << "%\n";
    for (size_t K = 0; K < S->Misses.size() && K < MaxMisses; ++K) std::cout << "  miss: " << S->Misses[K] << "\n";
    EXPECT_GE(S->Pct(), Floor) << Label;
  }
}
