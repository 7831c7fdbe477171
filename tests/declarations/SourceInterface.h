// A reader of Pascal interface sections, just good enough for the tests
// that hold the outline to the corpus sources: a tokenizer and a parser of
// what an interface declares (top-level declarations, routine parameters
// with their modes, types and defaults, members of record-like types,
// enumeration names).
//
// Conditional directives are read as comments: every branch is read, and
// what lies inside one is marked (Cond).
#pragma once

#include <cctype>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace srcintf {

struct TTok {
  std::string Low;  // lower-cased text
  std::string Text;
  char Kind;        // 'i' identifier, 's' symbol, 'q' string or number
  bool Cond;        // inside a conditional directive
};

inline std::vector<TTok> Tokenize(const std::string& S) {
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

// A routine's parameter as the source writes it: Mode "", "var", "const"
// or "out"; Type the type's tokens lower-cased, one space apart (empty:
// untyped); Default the default value's tokens, likewise (empty: none).
struct TSrcParam {
  std::string Name, Mode, Type, Default;
};

// What the source's interface declares.
struct TSrcDecl {
  std::string Kind, Name;
  bool Cond = false;
  std::vector<std::string> Params, Values;
  std::vector<std::pair<std::string, bool>> Members;  // name, conditional
  std::vector<TSrcParam> Sig;                         // routines: the parameters
  std::vector<TSrcDecl> Methods;                      // record-like types: routine members
  bool ClassMethod = false;
};

inline const std::set<std::string> Directives = {
    "overload", "stdcall", "cdecl", "pascal", "register", "safecall", "far", "near", "export", "external",
    "forward", "assembler", "inline", "deprecated", "platform", "library", "varargs", "virtual", "dynamic",
    "abstract", "override", "reintroduce", "message", "static", "final", "dispid", "default", "nodefault",
    "stored", "readonly", "writeonly"};
inline const std::set<std::string> Visibility = {"private", "protected", "public", "published", "automated", "strict"};

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
    To.push_back(TSrcDecl{Kind, T[K].Text, T[K].Cond, {}, {}, {}, {}, {}, false});
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
  // Tokens from I up to the next of Stops at depth 0, lower-cased and one
  // space apart.
  std::string Text(std::initializer_list<const char*> Stops) {
    std::string Out;
    int Depth = 0;
    for (; I < T.size(); ++I) {
      const std::string& L = T[I].Low;
      bool Stop = false;
      for (const char* S : Stops) Stop |= Depth == 0 && L == S;
      if (Stop) break;
      if (L == "(" || L == "[") ++Depth;
      else if ((L == ")" || L == "]") && --Depth < 0) break;
      if (!Out.empty()) Out += ' ';
      Out += T[I].Kind == 'q' ? T[I].Text : L;
    }
    return Out;
  }
  // One group of parameters: "const A, B: T = V;".
  void Group(TSrcDecl& D) {
    std::string Mode;
    if (Is(I, "var") || Is(I, "const") || Is(I, "out")) Mode = T[I++].Low;
    const size_t First = D.Sig.size();
    while (I < T.size() && T[I].Kind == 'i') {
      D.Params.push_back(T[I].Low);
      D.Sig.push_back(TSrcParam{T[I++].Low, Mode, "", ""});
      if (!Is(I, ",")) break;
      ++I;
    }
    std::string Type, Default;
    if (Is(I, ":")) {
      ++I;
      Type = Text({";", ")", "="});
    }
    if (Is(I, "=")) {
      ++I;
      Default = Text({";", ")"});
    }
    for (size_t K = First; K < D.Sig.size(); ++K) D.Sig[K].Type = Type, D.Sig[K].Default = Default;
    while (I < T.size() && !Is(I, ";") && !Is(I, ")")) ++I;
    if (Is(I, ";")) ++I;
  }
  void Routine(std::vector<TSrcDecl>& To, const std::string& Kind) {
    ++I;
    size_t N = I++;
    if (Is(I, ".") || Is(I, "=")) { SkipTo(";"); ++I; return; }  // method resolution clause
    Add(To, Kind, N);
    if (Is(I, "(")) {
      ++I;
      while (I < T.size() && !Is(I, ")")) Group(To.back());
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
        const bool ClassMethod = Is(I - 1, "class") && !Is(I - 2, "=") && !Is(I - 2, "packed");
        Routine(M, W);
        for (auto& X : M) {
          D.Members.emplace_back(X.Name, X.Cond);
          X.ClassMethod = ClassMethod;
          D.Methods.push_back(std::move(X));
        }
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

}  // namespace srcintf
