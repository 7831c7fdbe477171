// The viewer's command line (see ViewerOptions.h).
#include "ViewerOptions.h"

#include <QFileInfo>

TViewerOptions ParseViewerOptions(const QString& Program, const QStringList& Args, const QString& Version) {
  TViewerOptions O;
  const QString Name = QFileInfo(Program).fileName().isEmpty() ? QStringLiteral("unitpeek") : QFileInfo(Program).fileName();
  bool FilesOnly = false;
  for (const QString& A : Args) {
    if (!FilesOnly && A == QLatin1String("--")) {
      FilesOnly = true;
    } else if (!FilesOnly && (A == QLatin1String("--help") || A == QLatin1String("-h"))) {
      O.ExitCode = 0;
      O.Output = QStringLiteral("Usage: %1 [FILE.dcu | FOLDER]...\n"
                                "Shows compiled unit files (.dcu) and folders of them, a tab each.\n\n"
                                "Options:\n"
                                "  -h, --help     Print this help and exit.\n"
                                "  -v, --version  Print the version and exit.\n"
                                "  --             What follows are files, even if they begin with '-'.\n\n"
                                "The keys are listed in the About box (F1).\n")
                     .arg(Name);
      return O;
    } else if (!FilesOnly && (A == QLatin1String("--version") || A == QLatin1String("-v"))) {
      O.ExitCode = 0;
      O.Output = QStringLiteral("%1 %2\n").arg(Name, Version);
      return O;
    } else {
      O.Paths << A;
    }
  }
  return O;
}
