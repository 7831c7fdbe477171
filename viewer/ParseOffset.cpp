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

QByteArray ParseBytePattern(const QString& Text) {
  if (Text.size() >= 2 && Text.startsWith(QLatin1Char('"')) && Text.endsWith(QLatin1Char('"')))
    return Text.mid(1, Text.size() - 2).toUtf8();
  QString Digits;
  bool Hex = !Text.trimmed().isEmpty();
  for (const QChar C : Text) {
    if (C == QLatin1Char(' ')) {
      if (Digits.size() % 2) Hex = false;  // a blank inside a pair
      continue;
    }
    Hex = Hex && ((C >= QLatin1Char('0') && C <= QLatin1Char('9')) || (C.toUpper() >= QLatin1Char('A') && C.toUpper() <= QLatin1Char('F')));
    Digits += C;
  }
  if (Hex && Digits.size() % 2 == 0) return QByteArray::fromHex(Digits.toLatin1());
  return Text.toUtf8();
}
