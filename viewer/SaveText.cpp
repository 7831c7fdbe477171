// Writing an export to a file whole (see SaveText.h).
#include "SaveText.h"

#include <QSaveFile>

bool SaveWholeFile(const QString& Name, const QByteArray& Bytes, QString& Error) {
  QSaveFile F(Name);
  if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size() || !F.commit()) {
    Error = F.errorString();
    return false;
  }
  return true;
}
