// Offsets typed by the user (see ParseOffset.h).
#include "ParseOffset.h"

int64_t ParseOffset(const QString& Text) {
  QString T = Text.trimmed();
  int Base = 10;
  if (T.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    T = T.mid(2);
    Base = 16;
  } else if (T.startsWith(QLatin1Char('$'))) {
    T = T.mid(1);
    Base = 16;
  }
  bool Ok = false;
  const qlonglong V = T.toLongLong(&Ok, Base);
  return Ok && V >= 0 ? V : -1;
}
