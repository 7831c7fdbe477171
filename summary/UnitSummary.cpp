#include "UnitSummary.h"

#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include "DCU_Unit.h"

namespace {

// How one byte shows: after a caret (control characters), or as itself,
// as the code point of Windows-1252.
struct TDisplayChar {
  bool Caret;
  char16_t Code;
};

TDisplayChar DisplayChar(unsigned char B) {
  // Windows-1252 positions 0x80..0x9F; the five it leaves undefined keep
  // their own code point.
  static const char16_t High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (B < 0x20) return {true, char16_t(B + 0x40)};
  if (B == 0x7F) return {true, u'?'};
  if (B >= 0x80 && B <= 0x9F) return {false, High[B - 0x80]};
  return {false, char16_t(B)};
}

}  // namespace

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

std::string DisplayUtf8(std::string_view Bytes) {
  std::string S;
  S.reserve(Bytes.size());
  for (char Ch : Bytes) {
    const TDisplayChar D = DisplayChar(static_cast<unsigned char>(Ch));
    if (D.Caret) S += '^';
    const char16_t C = D.Code;  // never a surrogate
    if (C < 0x80) {
      S += static_cast<char>(C);
    } else if (C < 0x800) {
      S += static_cast<char>(0xC0 | (C >> 6));
      S += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      S += static_cast<char>(0xE0 | (C >> 12));
      S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      S += static_cast<char>(0x80 | (C & 0x3F));
    }
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

void WriteUnitSummary(const TUnit& Unit, TJX_RichSink& View) { WriteUnitSummary(ExtractUnitFacts(Unit), View); }

void WriteErrorBlock(TJX_RichSink& View, const QString& Message) {
  View.AddLine(QString(), TFontStyle::Regular);
  View.AddLine(QStringLiteral("Error:"), TFontStyle::Bold, ErrorColor);
  View.AddLine(Message, TFontStyle::Regular, ErrorColor);
}

TSummaryOutcome LoadAndSummarize(const std::string& Path, TJX_RichSink& View) {
  TSummaryOutcome R;
  try {
    TUnitFacts Facts;
    {
      TJXUnit Unit(Path);
      Facts = ExtractUnitFacts(Unit);
    }
    R.Loaded = true;
    WriteUnitSummary(Facts, View);
    R.Written = true;
  } catch (const EDCUReadError& E) {
    // The whole text: a tag character in the message may be NUL.
    R.Error = DisplayText(E.Text());
    WriteErrorBlock(View, R.Error);
  } catch (const std::exception& E) {
    R.Error = DisplayText(E.what());
    WriteErrorBlock(View, R.Error);
  }
  return R;
}
