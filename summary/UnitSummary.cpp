// The summary writers (see UnitSummary.h): stamps as dates of the user's
// locale, used units in the locale's order, the error block. They need the
// facts alone, not the reader (LoadAndSummarize is in SummaryLoad.cpp).
#include "UnitSummary.h"

#include <algorithm>
#include <cstdio>

#include "DCU_Unit.h"  // the kinds of used units
#include "Platform.h"

std::string DisplayText(std::string_view Bytes) { return DisplayUtf8(Bytes); }

namespace {

// The C locale's formats: short date "d MMM yyyy", long time "HH:mm:ss".
std::string CShortDate(int Year, int Month, int Day) {
  static const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%d %s %04d", Day, Months[(Month - 1) % 12], Year);
  return Buf;
}

std::string CLongTime(int Hour, int Minute, int Second) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d", Hour, Minute, Second);
  return Buf;
}

std::string FormatDateTime(const TSourceDate& S) {
  const bool C = UserLocaleIsC();
  std::string Text = C ? CShortDate(S.Year, S.Month, S.Day) : UserShortDate(S.Year, S.Month, S.Day);
  if (S.Hour != 0 || S.Minute != 0 || S.Second != 0)
    Text += ' ' + (C ? CLongTime(S.Hour, S.Minute, S.Second) : UserLongTime(S.Hour, S.Minute, S.Second));
  return Text;
}

// The code point of the UTF-8 sequence at S[I] (display text: valid UTF-8
// of the Basic Multilingual Plane), I moved past it.
char32_t NextCodePoint(std::string_view S, size_t& I) {
  const auto B = [&](size_t K) { return static_cast<char32_t>(static_cast<unsigned char>(S[K])); };
  const char32_t First = B(I++);
  if (First < 0x80) return First;
  const int More = First >= 0xF0 ? 3 : First >= 0xE0 ? 2 : 1;
  char32_t C = First & (0x3F >> More);
  for (int K = 0; K < More && I < S.size(); ++K) C = C << 6 | (B(I++) & 0x3F);
  return C;
}

// The lower case of the letters display text holds (Latin-1 and Latin
// Extended-A, where the upper-case letters of Windows-1252 lie).
char32_t LowerCodePoint(char32_t C) {
  if ((C >= 'A' && C <= 'Z') || (C >= 0xC0 && C <= 0xDE && C != 0xD7)) return C + 0x20;
  if (C == 0x178) return 0xFF;
  const bool EvenUpper = (C >= 0x100 && C < 0x138) || (C >= 0x14A && C < 0x178);
  const bool OddUpper = (C >= 0x139 && C < 0x149) || (C >= 0x179 && C < 0x17F);
  if ((EvenUpper && C % 2 == 0) || (OddUpper && C % 2 == 1)) return C + 1;
  return C;
}

// The C locale's order: code points of the lower-cased names.
int CompareLowerCodePoints(std::string_view A, std::string_view B) {
  size_t I = 0, J = 0;
  while (I < A.size() && J < B.size()) {
    const char32_t X = LowerCodePoint(NextCodePoint(A, I)), Y = LowerCodePoint(NextCodePoint(B, J));
    if (X != Y) return X < Y ? -1 : 1;
  }
  return I < A.size() ? 1 : J < B.size() ? -1 : 0;
}

}  // namespace

std::string FormatFileStamp(const TSourceDate& S) {
  if (S.State == TSourceDate::BadDate || S.State == TSourceDate::BadTime) throw ESummaryError(S.ErrorText());
  return FormatDateTime(S);
}

std::string FormatFileStamp(int Version, uint32_t Stamp) {
  return FormatFileStamp(DecodeSourceDate(Version, Stamp));
}

int CompareNamesLocale(std::string_view A, std::string_view B) {
  return UserLocaleIsC() ? CompareLowerCodePoints(A, B) : UserCompareNoCase(A, B);
}

void WriteLine(TJX_RichSink& View, bool Indented, const std::string& Text, TFontStyle Style,
               const TTextColor& Color) {
  View.SetIndented(Indented);
  if (!Text.empty()) View.AddLine(Text, Style, Color);
}

void WriteComment(TJX_RichSink& View, bool Indented, const std::string& Text) {
  WriteLine(View, Indented, Text, TFontStyle::Regular, CommentColor);
}

void WriteUnitHeader(const TUnitFacts& Unit, TJX_RichSink& View) {
  View.AppendText("Unit", TFontStyle::Bold);
  View.AppendText(" " + DisplayText(Unit.UnitName) + ";", TFontStyle::Regular);
  if (Unit.SourceFiles.empty()) return;
  View.AddLine(std::string(), TFontStyle::Regular);
  WriteComment(View, false, "{Version: " + std::to_string(Unit.Version) + "}");
  View.AddLine(std::string(), TFontStyle::Regular);
  WriteComment(View, false, "{Source files:");
  for (size_t I = 0; I < Unit.SourceFiles.size(); ++I) {
    const TSourceFileFacts& F = Unit.SourceFiles[I];
    std::string Line;
    if (F.Kind == TSourceKind::Object)
      Line = "$L ";
    else if (F.Kind == TSourceKind::Resource)
      Line = "$R ";
    Line += DisplayText(F.Name);
    if (F.Date.State != TSourceDate::None) Line += " (" + FormatFileStamp(F.Date) + ")";
    if (I + 1 < Unit.SourceFiles.size()) Line += ',';
    WriteComment(View, true, Line);
  }
  WriteComment(View, false, "}");
}

void WriteDebugOptions(const TUnitFacts& Unit, TJX_RichSink& View) {
  WriteComment(View, false, "{Compiler Debugger Options:}");
  auto OnOff = [](bool B) { return B ? std::string("On") : std::string("Off"); };
  WriteComment(View, true, "{$DebugInfo  " + OnOff(Unit.DebugInfo) + "}");
  WriteComment(View, true, "{$LocalSymbols " + OnOff(Unit.LocalSymbols) + "}");
  WriteLine(View, false, std::string(), TFontStyle::Regular);
}

void WriteUsesList(const TUnitFacts& Unit, TJX_RichSink& View, const std::string& Header, uint8_t Kind) {
  if (Unit.UsedUnits.empty()) return;
  std::vector<std::string> Names;  // kept sorted, no two comparing equal
  for (const TUsedUnitFacts& U : Unit.UsedUnits) {
    if (U.UseKind != Kind) continue;
    std::string N = DisplayText(U.Name);
    auto It = std::lower_bound(Names.begin(), Names.end(), N, [](const std::string& A, const std::string& B) {
      return CompareNamesLocale(A, B) < 0;
    });
    if (It != Names.end() && CompareNamesLocale(*It, N) == 0) continue;
    Names.insert(It, N);
  }
  View.AddLine(Header, TFontStyle::Bold);
  if (Names.empty()) {
    WriteComment(View, true, "{none}");
  } else {
    for (size_t I = 0; I < Names.size(); ++I)
      WriteLine(View, true, Names[I] + (I + 1 == Names.size() ? ';' : ','), TFontStyle::Regular);
  }
  WriteLine(View, false, std::string(), TFontStyle::Regular);
}

void WriteUnitSummary(const TUnitFacts& Unit, TJX_RichSink& View) {
  auto Empty = [&] { View.AddLine(std::string(), TFontStyle::Regular); };
  auto Bold = [&](const char* T) { View.AddLine(T, TFontStyle::Bold); };
  Empty();
  WriteUnitHeader(Unit, View);
  Empty();
  WriteDebugOptions(Unit, View);
  Empty();
  Bold("Interface");
  Empty();
  WriteUsesList(Unit, View, "Uses", InterfaceUses);
  Empty();
  Bold("Type");
  WriteComment(View, false, "{info skipped --------}");
  Empty();
  Bold("Implementation");
  Empty();
  WriteUsesList(Unit, View, "Uses", ImplementationUses);
  Empty();
  WriteUsesList(Unit, View, "Imports", DllImports);
  Empty();
  WriteComment(View, false, "{code skipped --------}");
  Empty();
  Bold("end;");
  View.ScrollToTop();
}

void WriteErrorBlock(TJX_RichSink& View, const std::string& Message) {
  View.AddLine(std::string(), TFontStyle::Regular);
  View.AddLine("Error:", TFontStyle::Bold, ErrorColor);
  View.AddLine(Message, TFontStyle::Regular, ErrorColor);
}

std::string ErrorBlockText(std::string_view Error) { return "\nError:\n" + DisplayText(Error) + "\n"; }

bool AppendSummaryText(const TUnitFacts& Facts, std::string& Out) {
  TJX_RecordingSink Sink;
  bool Written = false;
  try {
    WriteUnitSummary(Facts, Sink);
    Written = true;
  } catch (const std::exception& E) {  // an invalid stamp (ESummaryError)
    WriteErrorBlock(Sink, DisplayText(E.what()));
  }
  Out += Sink.PlainText();
  return Written;
}
