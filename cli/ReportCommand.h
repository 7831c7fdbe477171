// unitpeek-dump --report and --graph: the facts and findings of folders of
// units, as a text table with the findings grouped by kind, as JSON, or the
// uses graph as Graphviz DOT.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "UsesGraph.h"

enum class TReportFormat { Text, Json, Graph };
inline TReportFormat ReportFormat(bool Graph, bool Json) {
  return Graph ? TReportFormat::Graph : Json ? TReportFormat::Json : TReportFormat::Text;
}

// Walks Paths (unit files or folders), reads every unit once and writes the
// report to Out (the graph drawn as Dot says). Returns the exit status: 0
// when every file loaded and no interface mismatch was found, 1 otherwise.
// Jobs: the threads to read the units on (the report is that of one).
// UnitPath: where used units that are in no file of the set are looked for
// (the library units, reported apart from the missing ones).
int RunReportCommand(const std::vector<std::string>& Paths, TReportFormat Format, std::ostream& Out,
                     const TDotOptions& Dot = {}, unsigned Jobs = 1, const std::vector<std::string>& UnitPath = {});
