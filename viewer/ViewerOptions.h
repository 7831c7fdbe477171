// The viewer's command line: unit files and folders to open, and the two
// options every program answers without opening a window.
//
//   unitpeek [FILE.dcu | FOLDER]...
//   unitpeek --help | -h       the usage, on standard output
//   unitpeek --version | -v    "unitpeek VERSION"
//
// After "--" every argument is a file, even one that begins with "-".
#pragma once

#include <QString>
#include <QStringList>

struct TViewerOptions {
  QStringList Paths;  // what to open
  int ExitCode = -1;  // >= 0: print Output and exit with it (no window)
  QString Output;
};

// Program: the name the program was called by (argv[0]); Args the rest.
TViewerOptions ParseViewerOptions(const QString& Program, const QStringList& Args, const QString& Version);
