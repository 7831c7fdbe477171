// The uses graph of a folder report: a node per unit name (letter case
// ignored), an edge from a unit to each unit it uses, and its Graphviz DOT
// text. Shared by unitpeek-dump --graph and the viewer's Graph view (which
// lays the same DOT out with the Graphviz library).
//
// Drawing rules: interface uses solid, implementation uses dashed; units
// outside the set (used, but no file of that name loaded) dashed grey, those
// found on the unit path (library units) solid grey on a grey fill; units
// with a finding (one of their files is a duplicate or was compiled against
// another interface of a unit it uses) red, and the uses edge of an interface
// mismatch red.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TFolderReport;

struct TGraphNode {
  std::string Name;  // UTF-8 display name, also the node's name in the DOT text
  bool InSet = false;    // a file of that name loaded
  bool Finding = false;  // duplicate-unit, or an importer of an interface-mismatch
  // Outside the set and used by more than half of the units of the set: the
  // runtime units (System, SysInit, Windows, ...) that everything uses.
  bool Runtime = false;
  std::vector<size_t> Files;  // the report's Units indexes of its files
  size_t UsedBy = 0;          // number of units of the set that use it
  bool Library = false;       // outside the set, found on the unit path
};

struct TGraphEdge {
  size_t From, To;        // node indexes: the user and the used unit
  bool Interface = false; // some file uses it in its interface (else implementation only)
  bool Mismatch = false;  // an interface-mismatch finding on this use
};

struct TUsesGraph {
  std::vector<TGraphNode> Nodes;  // the set's units in walking order, then the others as first used
  std::vector<TGraphEdge> Edges;  // in the order first met, no repeats, no self-uses
  size_t SetUnits = 0;            // nodes in the set
};

TUsesGraph BuildUsesGraph(const TFolderReport& Report);

struct TDotOptions {
  bool HideRuntime = false;  // leave the runtime units (and their edges) out
  // When not empty (one entry per node): only the nodes marked, and the uses
  // between them.
  std::vector<bool> Only = {};
};

// The units within Steps uses of node Centre, either way (the units it uses
// and the units that use it, and so on): one entry per node, Centre marked.
// With HideRuntime the runtime units are neither marked nor passed through.
std::vector<bool> UsesNeighbourhood(const TUsesGraph& Graph, size_t Centre, int Steps, bool HideRuntime);

// The node of the set with the most uses to and from it (the first of
// those) but no more than MaxUses, a good centre for a neighbourhood (a unit
// that everything uses, such as a System of the set, would bring in the
// whole graph); when every unit has more, the one with the fewest. 0 for an
// empty set.
size_t BusiestSetNode(const TUsesGraph& Graph, size_t MaxUses = size_t(-1));

// The graph as a Graphviz digraph named "uses".
std::string UsesGraphDot(const TUsesGraph& Graph, const TDotOptions& Options = {});

// Text quoted as a DOT identifier ("..." with " and \ escaped).
std::string DotQuoted(const std::string& Text);
