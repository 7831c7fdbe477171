// The uses graph of a folder report and its DOT text (see UsesGraph.h).
#include "UsesGraph.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "DCU_Unit.h"
#include "UnitFolders.h"

TUsesGraph BuildUsesGraph(const TFolderReport& R) {
  const TNamePool& P = R.Names;
  TUsesGraph G;
  std::unordered_map<uint32_t, size_t> NodeOf;  // folded name -> node
  auto NodeFor = [&](uint32_t Name) {
    auto [It, New] = NodeOf.try_emplace(P.Folded(Name), G.Nodes.size());
    if (New) {
      TGraphNode N;
      N.Name = DisplayUtf8(P.Text(Name));
      G.Nodes.push_back(std::move(N));
    }
    return It->second;
  };
  for (size_t I = 0; I < R.Units.size(); ++I) {
    const TFolderUnit& U = R.Units[I];
    if (!U.Ok) continue;
    TGraphNode& N = G.Nodes[NodeFor(U.UnitName)];
    N.InSet = true;
    N.Files.push_back(I);
    if (U.Has(TFindingKind::DuplicateUnit) || U.Has(TFindingKind::InterfaceMismatch)) N.Finding = true;
  }
  G.SetUnits = G.Nodes.size();

  // Mismatching uses: (importer file, folded used name).
  std::map<std::pair<size_t, uint32_t>, bool> Mismatch;
  for (const TFinding& F : R.Findings)
    if (F.Kind == TFindingKind::InterfaceMismatch) Mismatch[{F.File, P.Folded(F.Unit)}] = true;

  std::map<std::pair<size_t, size_t>, size_t> EdgeOf;
  for (size_t I = 0; I < R.Units.size(); ++I) {
    const TFolderUnit& U = R.Units[I];
    if (!U.Ok) continue;
    const size_t From = NodeOf.at(P.Folded(U.UnitName));
    for (const TFolderUse& Use : U.Uses) {
      if (Use.Kind == DllImports) continue;
      const size_t To = NodeFor(Use.Name);
      if (To == From) continue;
      auto [It, New] = EdgeOf.try_emplace({From, To}, G.Edges.size());
      if (New) G.Edges.push_back({From, To});
      TGraphEdge& E = G.Edges[It->second];
      E.Interface = E.Interface || Use.Kind == InterfaceUses;
      E.Mismatch = E.Mismatch || Mismatch.count({I, P.Folded(Use.Name)});
    }
  }
  for (const TGraphEdge& E : G.Edges)
    if (G.Nodes[E.From].InSet) ++G.Nodes[E.To].UsedBy;
  for (TGraphNode& N : G.Nodes) N.Runtime = !N.InSet && G.SetUnits > 0 && N.UsedBy * 2 > G.SetUnits;
  for (const TLibraryUnit& L : R.Library)
    if (auto It = NodeOf.find(P.Folded(L.Unit)); It != NodeOf.end()) G.Nodes[It->second].Library = true;
  return G;
}

std::string DotQuoted(const std::string& Text) {
  std::string Q = "\"";
  for (char C : Text) {
    if (C == '"' || C == '\\') Q += '\\';
    Q += C;
  }
  return Q + "\"";
}

std::string UsesGraphDot(const TUsesGraph& G, const TDotOptions& O) {
  auto Shown = [&](size_t N) {
    return !(O.HideRuntime && G.Nodes[N].Runtime) && (O.Only.empty() || (N < O.Only.size() && O.Only[N]));
  };
  std::string S = "digraph uses {\n";
  S += "  graph [rankdir=LR, nodesep=0.15, ranksep=0.8];\n";
  S += "  node [shape=box, style=rounded, fontname=\"Helvetica\", fontsize=10, height=0.3];\n";
  S += "  edge [arrowsize=0.6, color=gray30];\n";
  for (size_t I = 0; I < G.Nodes.size(); ++I) {
    if (!Shown(I)) continue;
    const TGraphNode& N = G.Nodes[I];
    S += "  " + DotQuoted(N.Name);
    if (N.Library)
      S += " [style=\"rounded,filled\", color=gray60, fillcolor=gray92, fontcolor=gray30]";
    else if (!N.InSet)
      S += " [style=\"rounded,dashed\", color=gray60, fontcolor=gray45]";
    else if (N.Finding)
      S += " [color=red, fontcolor=red, penwidth=2]";
    S += ";\n";
  }
  for (const TGraphEdge& E : G.Edges) {
    if (!Shown(E.From) || !Shown(E.To)) continue;
    S += "  " + DotQuoted(G.Nodes[E.From].Name) + " -> " + DotQuoted(G.Nodes[E.To].Name);
    std::string A;
    if (!E.Interface) A += "style=dashed";
    if (E.Mismatch) A += std::string(A.empty() ? "" : ", ") + "color=red, penwidth=2";
    if (!A.empty()) S += " [" + A + "]";
    S += ";\n";
  }
  S += "}\n";
  return S;
}

std::vector<bool> UsesNeighbourhood(const TUsesGraph& G, size_t Centre, int Steps, bool HideRuntime) {
  std::vector<bool> In(G.Nodes.size(), false);
  if (Centre >= G.Nodes.size()) return In;
  In[Centre] = true;
  std::vector<size_t> Ring{Centre};
  for (int Step = 0; Step < Steps && !Ring.empty(); ++Step) {
    std::vector<bool> InRing(G.Nodes.size(), false);
    for (size_t N : Ring) InRing[N] = true;
    std::vector<size_t> Next;
    auto Reach = [&](size_t N) {
      if (In[N] || (HideRuntime && G.Nodes[N].Runtime)) return;
      In[N] = true;
      Next.push_back(N);
    };
    for (const TGraphEdge& E : G.Edges) {
      if (InRing[E.From]) Reach(E.To);
      if (InRing[E.To]) Reach(E.From);
    }
    Ring = std::move(Next);
  }
  return In;
}

size_t BusiestSetNode(const TUsesGraph& G, size_t MaxUses) {
  std::vector<size_t> Degree(G.Nodes.size(), 0);
  for (const TGraphEdge& E : G.Edges) {
    ++Degree[E.From];
    ++Degree[E.To];
  }
  const size_t Set = std::min(G.SetUnits, G.Nodes.size());
  size_t Best = Set, Fewest = 0;
  for (size_t N = 0; N < Set; ++N) {
    if (Degree[N] < Degree[Fewest]) Fewest = N;
    if (Degree[N] <= MaxUses && (Best == Set || Degree[N] > Degree[Best])) Best = N;
  }
  return Best < Set ? Best : Fewest;
}
