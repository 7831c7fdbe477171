// The folder report as text and as JSON, as unitpeek-dump --report prints it.
// Written unit by unit to a stream, so that a large set needs no second copy
// of its facts in memory.
//
// Text: a table (file, unit, version, debug info, problems), then the findings
// grouped by kind. JSON: {"units": [UNIT...], "findings": [{"kind", ...}]},
// each unit and finding on a line of its own; a UNIT is the object that
// `--json` prints for a file (UnitFactsJson.h), without "decls".
#pragma once

#include <iosfwd>
#include <string>

struct TFolderReport;
struct TFinding;

void WriteReportText(const TFolderReport& Report, std::ostream& Out);
void WriteReportJson(const TFolderReport& Report, std::ostream& Out);

// One finding as the text report's line shows it (UTF-8, without the kind);
// long lists of files are cut to their first three.
std::string FindingText(const TFolderReport& Report, const TFinding& F);
