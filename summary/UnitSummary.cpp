// The summary writers (see UnitSummary.h): stamps as dates of the user's
// locale, used units in the locale's order, the error block. They need the
// facts alone, not the reader: the command line's text summary module is
// built from them (LoadAndSummarize is in SummaryLoad.cpp).
#include "UnitSummary.h"

#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include "DCU_Unit.h"  // the kinds of used units

QString DisplayText(std::string_view Bytes) {
  QString S;
  S.reserve(static_cast<qsizetype>(Bytes.size()));
  for (char Ch : Bytes) {
    const TDisplayChar D = DisplayChar(static_cast<unsigned char>(Ch));
    if (D.Caret) S += QLatin1Char('^');
    S += QChar(D.Code);
  }
  return S;
}

namespace {

bool IsCLocale(const QLocale& L) { return L.language() == QLocale::C; }

// The locale's long time pattern without its time-zone field: stamps carry
// no zone.
QString LongTimePattern(const QLocale& L) {
  QString P = L.timeFormat(QLocale::LongFormat);
  static const QRegularExpression Zone(QStringLiteral("\\s*t+\\s*"));
  // Only letters outside quotes are fields; the patterns of real locales
  // quote no 't', so a plain replace is enough.
  P.replace(Zone, QStringLiteral(" "));
  return P.trimmed();
}

QString FormatDateTime(const QDate& D, const QTime& T) {
  QLocale L = QLocale::system();
  QString S = L.toString(D, QLocale::ShortFormat);
  if (T.hour() != 0 || T.minute() != 0 || T.second() != 0)
    S += QLatin1Char(' ') + L.toString(T, LongTimePattern(L));
  return S;
}

}  // namespace

QString FormatFileStamp(const TFileStamp& S) {
  if (S.State == TFileStamp::BadDate || S.State == TFileStamp::BadTime) throw ESummaryError(S.ErrorText());
  return FormatDateTime(QDate(S.Year, S.Month, S.Day), QTime(S.Hour, S.Minute, S.Second));
}

QString FormatFileStamp(int Version, uint32_t Stamp) {
  return FormatFileStamp(DecodeFileStamp(Version, Stamp));
}

int CompareNamesLocale(const QString& A, const QString& B) {
  QLocale L = QLocale::system();
  if (IsCLocale(L)) return A.toLower().compare(B.toLower());
  QCollator C(L);
  C.setCaseSensitivity(Qt::CaseInsensitive);
  return C.compare(A, B);
}

void WriteLine(TJX_RichSink& View, bool Indented, const QString& Text, TFontStyle Style,
               const TTextColor& Color) {
  View.SetIndented(Indented);
  if (!Text.isEmpty()) View.AddLine(Text, Style, Color);
}

void WriteComment(TJX_RichSink& View, bool Indented, const QString& Text) {
  WriteLine(View, Indented, Text, TFontStyle::Regular, CommentColor);
}

void WriteUnitHeader(const TUnitFacts& Unit, TJX_RichSink& View) {
  View.AppendText(QStringLiteral("Unit"), TFontStyle::Bold);
  View.AppendText(QStringLiteral(" %1;").arg(DisplayText(Unit.UnitName)), TFontStyle::Regular);
  if (Unit.SourceFiles.empty()) return;
  View.AddLine(QString(), TFontStyle::Regular);
  WriteComment(View, false, QStringLiteral("{Version: %1}").arg(Unit.Version));
  View.AddLine(QString(), TFontStyle::Regular);
  WriteComment(View, false, QStringLiteral("{Source files:"));
  for (size_t I = 0; I < Unit.SourceFiles.size(); ++I) {
    const TSourceFileFacts& F = Unit.SourceFiles[I];
    QString Line;
    if (F.Kind == TSourceKind::Object)
      Line = QStringLiteral("$L ");
    else if (F.Kind == TSourceKind::Resource)
      Line = QStringLiteral("$R ");
    Line += DisplayText(F.Name);
    if (F.Stamp.State != TFileStamp::None) Line += QStringLiteral(" (%1)").arg(FormatFileStamp(F.Stamp));
    if (I + 1 < Unit.SourceFiles.size()) Line += QLatin1Char(',');
    WriteComment(View, true, Line);
  }
  WriteComment(View, false, QStringLiteral("}"));
}

void WriteDebugOptions(const TUnitFacts& Unit, TJX_RichSink& View) {
  WriteComment(View, false, QStringLiteral("{Compiler Debugger Options:}"));
  auto OnOff = [](bool B) { return B ? QStringLiteral("On") : QStringLiteral("Off"); };
  WriteComment(View, true, QStringLiteral("{$DebugInfo  %1}").arg(OnOff(Unit.DebugInfo)));
  WriteComment(View, true, QStringLiteral("{$LocalSymbols %1}").arg(OnOff(Unit.LocalSymbols)));
  WriteLine(View, false, QString(), TFontStyle::Regular);
}

void WriteUsesList(const TUnitFacts& Unit, TJX_RichSink& View, const QString& Header, uint8_t Kind) {
  if (Unit.UsedUnits.empty()) return;
  std::vector<QString> Names;  // kept sorted, no two comparing equal
  for (const TUsedUnitFacts& U : Unit.UsedUnits) {
    if (U.UseKind != Kind) continue;
    QString N = DisplayText(U.Name);
    auto It = std::lower_bound(Names.begin(), Names.end(), N, [](const QString& A, const QString& B) {
      return CompareNamesLocale(A, B) < 0;
    });
    if (It != Names.end() && CompareNamesLocale(*It, N) == 0) continue;
    Names.insert(It, N);
  }
  View.AddLine(Header, TFontStyle::Bold);
  if (Names.empty()) {
    WriteComment(View, true, QStringLiteral("{none}"));
  } else {
    for (size_t I = 0; I < Names.size(); ++I)
      WriteLine(View, true, Names[I] + (I + 1 == Names.size() ? u';' : u','), TFontStyle::Regular);
  }
  WriteLine(View, false, QString(), TFontStyle::Regular);
}

void WriteUnitSummary(const TUnitFacts& Unit, TJX_RichSink& View) {
  auto Empty = [&] { View.AddLine(QString(), TFontStyle::Regular); };
  auto Bold = [&](const char* T) { View.AddLine(QString::fromLatin1(T), TFontStyle::Bold); };
  Empty();
  WriteUnitHeader(Unit, View);
  Empty();
  WriteDebugOptions(Unit, View);
  Empty();
  Bold("Interface");
  Empty();
  WriteUsesList(Unit, View, QStringLiteral("Uses"), InterfaceUses);
  Empty();
  Bold("Type");
  WriteComment(View, false, QStringLiteral("{info skipped --------}"));
  Empty();
  Bold("Implementation");
  Empty();
  WriteUsesList(Unit, View, QStringLiteral("Uses"), ImplementationUses);
  Empty();
  WriteUsesList(Unit, View, QStringLiteral("Imports"), DllImports);
  Empty();
  WriteComment(View, false, QStringLiteral("{code skipped --------}"));
  Empty();
  Bold("end;");
  View.ScrollToTop();
}

void WriteErrorBlock(TJX_RichSink& View, const QString& Message) {
  View.AddLine(QString(), TFontStyle::Regular);
  View.AddLine(QStringLiteral("Error:"), TFontStyle::Bold, ErrorColor);
  View.AddLine(Message, TFontStyle::Regular, ErrorColor);
}
