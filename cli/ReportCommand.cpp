// unitpeek-dump --report and --graph (see ReportCommand.h).
#include "ReportCommand.h"

#include <ostream>

#include "FolderReportWriters.h"
#include "UnitFolders.h"
#include "UsesGraph.h"

int RunReportCommand(const std::vector<std::string>& Paths, TReportFormat Format, std::ostream& Out,
                     const TDotOptions& Dot, unsigned Jobs, const std::vector<std::string>& UnitPath) {
  TFolderReport Report = ScanFolders(Paths, {}, nullptr, Jobs, UnitPath);
  switch (Format) {
    case TReportFormat::Text: WriteReportText(Report, Out); break;
    case TReportFormat::Json: WriteReportJson(Report, Out); break;
    case TReportFormat::Graph: Out << UsesGraphDot(BuildUsesGraph(Report), Dot); break;
  }
  Out.flush();
  return Report.Clean() ? 0 : 1;
}
