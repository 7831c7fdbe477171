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
#include "TestData.h"

namespace fs = std::filesystem;

namespace {

struct TTok {
  std::string Low;  // lower-cased text
  std::string Text;
  char Kind;        // 'i' identifier, 's' symbol, 'q' string or number
  bool Cond;        // inside a conditional directive
};

std::vector<TTok> Tokenize(const std::string& S) {
  std::vector<TTok> Out;
  int Cond = 0;
  for (size_t I = 0; I < S.size();) {
    char C = S[I];
    if (std::isspace(static_cast<unsigned char>(C))) { ++I; continue; }
    if (C == '{' || (C == '(' && I + 1 < S.size() && S[I + 1] == '*')) {
      bool Brace = C == '{';
      size_t E = Brace ? S.find('}', I) : S.find("*)", I + 2);
      std::string Body = S.substr(I, E == std::string::npos ? std::string::npos : E - I);
      std::string Up;
      for (char Ch : Body.substr(0, 8)) Up += static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
      std::string D = Up.substr(Brace ? 1 : 2);
      if (D.rfind("$IF", 0) == 0) ++Cond;
      else if (D.rfind("$ENDIF", 0) == 0 || D.rfind("$IFEND", 0) == 0) Cond = Cond > 0 ? Cond - 1 : 0;
      I = E == std::string::npos ? S.size() : E + (Brace ? 1 : 2);
      continue;
    }
    if (C == '/' && I + 1 < S.size() && S[I + 1] == '/') { I = S.find('\n', I); if (I == std::string::npos) break; continue; }
    TTok T{"", "", 's', Cond > 0};
    size_t J = I + 1;
    if (std::isalpha(static_cast<unsigned char>(C)) || C == '_') {
      while (J < S.size() && (std::isalnum(static_cast<unsigned char>(S[J])) || S[J] == '_')) ++J;
      T.Kind = 'i';
    } else if (C == '\'' || C == '#' || C == '$' || std::isdigit(static_cast<unsigned char>(C))) {
      if (C == '\'') { while (J < S.size() && (S[J] != '\'' || (J + 1 < S.size() && S[J + 1] == '\'' && ++J))) ++J; ++J; }
      else while (J < S.size() && (std::isalnum(static_cast<unsigned char>(S[J])) || S[J] == '.') && S.compare(J, 2, "..")) ++J;
      T.Kind = 'q';
    } else if (S.compare(I, 2, "..") == 0 || S.compare(I, 2, ":=") == 0) {
      J = I + 2;
    }
    T.Text = S.substr(I, J - I);
    for (char Ch : T.Text) T.Low += static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
    Out.push_back(T);
    I = J;
  }
  return Out;
}

// What the source's interface declares.
struct TSrcDecl {
  std::string Kind, Name;
  bool Cond = false;
  std::vector<std::string> Params, Values;
  std::vector<std::pair<std::string, bool>> Members;  // name, conditional
};

const std::set<std::string> Directives = {
    "overload", "stdcall", "cdecl", "pascal", "register", "safecall", "far", "near", "export", "external",
    "forward", "assembler", "inline", "deprecated", "platform", "library", "varargs", "virtual", "dynamic",
    "abstract", "override", "reintroduce", "message", "static", "final", "dispid", "default", "nodefault",
    "stored", "readonly", "writeonly"};
const std::set<std::string> Visibility = {"private", "protected", "public", "published", "automated", "strict"};

class TSourceParser {
 public:
  explicit TSourceParser(std::vector<TTok> T) : T(std::move(T)) {}
  std::vector<TSrcDecl> Decls;

  void Run() {
    while (I < T.size() && T[I].Low != "interface") ++I;
    ++I;
    std::string Mode;
    while (I < T.size() && T[I].Low != "implementation") {
      const std::string& W = T[I].Low;
      if (W == "uses" || W == "label" || W == "exports") { SkipTo(";"); ++I; }
      else if (W == "type" || W == "const" || W == "var" || W == "threadvar" || W == "resourcestring") { Mode = W; ++I; }
      else if (W == "procedure" || W == "function") Routine(Decls, W);
      else if (T[I].Kind == 'i' && Mode == "type" && Is(I + 1, "=")) TypeDecl();
      else if (Directives.count(W)) { SkipTo(";"); ++I; }
      else if (Mode == "type") ++I;
      else if (T[I].Kind == 'i' && Mode == "const") {
        Add(Decls, "const", I++);
        SkipTo(";");
        ++I;
      } else if (T[I].Kind == 'i' && !Mode.empty()) {
        size_t First = Decls.size();
        Names(Decls, Mode);
        for (size_t K = First; K < Decls.size(); ++K) Decls[K].Kind = Mode == "resourcestring" ? "resourcestring" : Mode;
        SkipType();
        ++I;
      } else ++I;
    }
  }

 private:
  std::vector<TTok> T;
  size_t I = 0;

  bool Is(size_t K, const char* W) const { return K < T.size() && T[K].Low == W; }
  void Add(std::vector<TSrcDecl>& To, const std::string& Kind, size_t K) {
    To.push_back(TSrcDecl{Kind, T[K].Text, T[K].Cond, {}, {}, {}});
  }
  // Passes to the next W at nesting depth 0 (brackets and record-like bodies).
  void SkipTo(const char* W) {
    int Depth = 0;
    for (; I < T.size(); ++I) {
      const std::string& L = T[I].Low;
      if (Depth == 0 && L == W) return;
      if (L == "(" || L == "[") ++Depth;
      else if (L == ")" || L == "]") --Depth;
      else if (L == "record" || (L == "object" && !Is(I - 1, "of")) || (L == "class" && !Is(I + 1, "of") && !Is(I + 1, ";") && !Is(I + 1, "("))) ++Depth;
      else if (L == "end") --Depth;
      if (Depth < 0) return;
    }
  }
  void SkipType() { SkipTo(";"); }
  // "A, B:" as names of Kind.
  void Names(std::vector<TSrcDecl>& To, const std::string& Kind) {
    while (I < T.size() && T[I].Kind == 'i') {
      Add(To, Kind, I++);
      if (!Is(I, ",")) break;
      ++I;
    }
  }
  void SkipDirectives() {
    while (I + 1 < T.size() && T[I].Low == ";" && Directives.count(T[I + 1].Low)) {
      ++I;
      SkipTo(";");
    }
    if (Is(I, ";")) ++I;
  }
  void Routine(std::vector<TSrcDecl>& To, const std::string& Kind) {
    ++I;
    size_t N = I++;
    if (Is(I, ".") || Is(I, "=")) { SkipTo(";"); ++I; return; }  // method resolution clause
    Add(To, Kind, N);
    if (Is(I, "(")) {
      ++I;
      while (I < T.size() && !Is(I, ")")) {
        if (Is(I, "var") || Is(I, "const") || Is(I, "out")) ++I;
        while (I < T.size() && T[I].Kind == 'i') {
          To.back().Params.push_back(T[I++].Low);
          if (!Is(I, ",")) break;
          ++I;
        }
        while (I < T.size() && !Is(I, ";") && !Is(I, ")")) {
          if (Is(I, "(")) ++I, SkipTo(")");
          ++I;
        }
        if (Is(I, ";")) ++I;
      }
      ++I;
    }
    SkipTo(";");
    SkipDirectives();
  }
  // Fields, methods and properties up to the "end" (or ")" of a variant).
  void Members(TSrcDecl& D) {
    while (I < T.size() && !Is(I, "end") && !Is(I, ")")) {
      const std::string& W = T[I].Low;
      if ((Visibility.count(W) && !Is(I + 1, ":") && !Is(I + 1, ",")) || W == "class" || W == "var" || W == ";") ++I;
      else if (W == "procedure" || W == "function" || W == "constructor" || W == "destructor") {
        std::vector<TSrcDecl> M;
        Routine(M, W);
        for (auto& X : M) D.Members.emplace_back(X.Name, X.Cond);
      } else if (W == "property") {
        D.Members.emplace_back(T[I + 1].Text, T[I + 1].Cond);
        I += 2;
        SkipTo(";");
        SkipDirectives();
      } else if (W == "case") {
        ++I;
        if (Is(I + 1, ":")) D.Members.emplace_back(T[I].Text, T[I].Cond);
        SkipTo("of");
        ++I;
        while (I < T.size() && !Is(I, "end") && !Is(I, ")")) {
          SkipTo("(");
          ++I;
          Members(D);
          ++I;
          if (Is(I, ";")) ++I;
        }
      } else if (W == "[") { ++I; SkipTo("]"); ++I; }
      else if (Directives.count(W) && Is(I + 1, ";")) I += 2;  // after a procedural type
      else if (T[I].Kind == 'i') {
        std::vector<TSrcDecl> F;
        Names(F, "field");
        for (auto& X : F) D.Members.emplace_back(X.Name, X.Cond);
        if (Is(I, ":")) { ++I; SkipTo(";"); } else ++I;
      } else ++I;
    }
  }
  void TypeDecl() {
    size_t N = I;
    I += 2;
    Add(Decls, "type", N);
    TSrcDecl& D = Decls.back();
    while (Is(I, "packed") || Is(I, "type")) ++I;
    const std::string W = I < T.size() ? T[I].Low : "";
    if (W == "(") {
      for (++I; I < T.size() && !Is(I, ")"); ++I)
        if (T[I].Kind == 'i' && (Is(I - 1, "(") || Is(I - 1, ","))) D.Values.push_back(T[I].Text);
      SkipTo(";");
    } else if (W == "record" || W == "object" || W == "class" || W == "interface" || W == "dispinterface") {
      ++I;
      if (Is(I, "of")) { SkipTo(";"); ++I; return; }
      if (Is(I, "(")) { ++I; SkipTo(")"); ++I; }
      if (Is(I, ";")) { ++I; return; }
      Members(D);
      SkipTo(";");
    } else {
      SkipType();
    }
    ++I;
  }
};

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
