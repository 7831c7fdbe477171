// The page's summary text (see WebSummary.h).
#include "WebSummary.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "DCU_Text.h"
#include "DCU_Unit.h"  // the kinds of used units

namespace {

// The recording sink's document (summary/RichSink.h) in plain text: closed
// when its last line is empty, the next text going there.
class TPlainDoc {
 public:
  TPlainDoc() { Doc.emplace_back(); }
  void AddLine(const std::string& Text) {
    if (Doc.back().Text.empty()) {
      Put(Doc.back(), Text);
      Doc.emplace_back();
    } else {
      Doc.emplace_back();
      Put(Doc.back(), Text);
    }
  }
  void AppendText(const std::string& Text) { Put(Doc.back(), Text); }
  void SetIndented(bool On) { Indented = On; }
  void Line(bool Indent, const std::string& Text) {
    SetIndented(Indent);
    if (!Text.empty()) AddLine(Text);
  }
  std::string PlainText() const {
    std::string S;
    for (size_t I = 0; I < Doc.size(); ++I) {
      if (I + 1 == Doc.size() && Doc[I].Text.empty()) break;
      if (Doc[I].Indented && !Doc[I].Text.empty()) S += "  ";
      S += Doc[I].Text;
      S += '\n';
    }
    return S;
  }

 private:
  struct TLine {
    std::string Text;
    bool Indented = false;
  };
  void Put(TLine& L, const std::string& Text) {
    if (Text.empty()) return;
    if (L.Text.empty()) L.Indented = Indented;
    L.Text += Text;
  }
  std::vector<TLine> Doc;
  bool Indented = false;
};

struct TStampError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Two(int V) { return (V < 10 ? "0" : "") + std::to_string(V); }

// The C locale's short date and long time; no time at midnight.
std::string StampText(const TSourceDate& S) {
  if (S.State == TSourceDate::BadDate || S.State == TSourceDate::BadTime) throw TStampError(S.ErrorText());
  static const char* const Months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string T = std::to_string(S.Day) + " " + Months[S.Month - 1] + " " + std::to_string(S.Year);
  if (S.Hour != 0 || S.Minute != 0 || S.Second != 0)
    T += " " + Two(S.Hour) + ":" + Two(S.Minute) + ":" + Two(S.Second);
  return T;
}

// The lower-case letter of a character of the display text (Windows-1252
// as Unicode): what the C locale's name order compares.
char32_t Lower(char32_t C) {
  if ((C >= 'A' && C <= 'Z') || (C >= 0xC0 && C <= 0xDE && C != 0xD7)) return C + 0x20;
  if (C == 0x160 || C == 0x152 || C == 0x17D) return C + 1;
  if (C == 0x178) return 0xFF;
  return C;
}

std::u32string LowerKey(std::string_view Bytes) {
  std::u32string K;
  for (char Ch : Bytes) {
    const TDisplayChar D = DisplayChar(static_cast<unsigned char>(Ch));
    if (D.Caret) K += U'^';
    K += Lower(D.Code);
  }
  return K;
}

void WriteHeader(const TUnitFacts& U, TPlainDoc& V) {
  V.AppendText("Unit");
  V.AppendText(" " + DisplayUtf8(U.UnitName) + ";");
  if (U.SourceFiles.empty()) return;
  V.AddLine("");
  V.Line(false, "{Version: " + std::to_string(U.Version) + "}");
  V.AddLine("");
  V.Line(false, "{Source files:");
  for (size_t I = 0; I < U.SourceFiles.size(); ++I) {
    const TSourceFileFacts& F = U.SourceFiles[I];
    std::string L = F.Kind == TSourceKind::Object ? "$L " : F.Kind == TSourceKind::Resource ? "$R " : "";
    L += DisplayUtf8(F.Name);
    if (F.Date.State != TSourceDate::None) L += " (" + StampText(F.Date) + ")";
    if (I + 1 < U.SourceFiles.size()) L += ',';
    V.Line(true, L);
  }
  V.Line(false, "}");
}

void WriteUses(const TUnitFacts& U, TPlainDoc& V, const std::string& Header, uint8_t Kind) {
  if (U.UsedUnits.empty()) return;
  std::vector<std::pair<std::u32string, std::string>> Names;  // sorted by key, keys distinct
  for (const TUsedUnitFacts& N : U.UsedUnits) {
    if (N.UseKind != Kind) continue;
    std::pair<std::u32string, std::string> E{LowerKey(N.Name), DisplayUtf8(N.Name)};
    auto It = std::lower_bound(Names.begin(), Names.end(), E,
                               [](const auto& A, const auto& B) { return A.first < B.first; });
    if (It != Names.end() && It->first == E.first) continue;
    Names.insert(It, std::move(E));
  }
  V.AddLine(Header);
  if (Names.empty()) V.Line(true, "{none}");
  for (size_t I = 0; I < Names.size(); ++I) V.Line(true, Names[I].second + (I + 1 == Names.size() ? ";" : ","));
  V.Line(false, "");
}

void WriteSummary(const TUnitFacts& U, TPlainDoc& V) {
  V.AddLine("");
  WriteHeader(U, V);
  V.AddLine("");
  V.Line(false, "{Compiler Debugger Options:}");
  V.Line(true, std::string("{$DebugInfo  ") + (U.DebugInfo ? "On" : "Off") + "}");
  V.Line(true, std::string("{$LocalSymbols ") + (U.LocalSymbols ? "On" : "Off") + "}");
  V.Line(false, "");
  V.AddLine("");
  V.AddLine("Interface");
  V.AddLine("");
  WriteUses(U, V, "Uses", InterfaceUses);
  V.AddLine("");
  V.AddLine("Type");
  V.Line(false, "{info skipped --------}");
  V.AddLine("");
  V.AddLine("Implementation");
  V.AddLine("");
  WriteUses(U, V, "Uses", ImplementationUses);
  V.AddLine("");
  WriteUses(U, V, "Imports", DllImports);
  V.AddLine("");
  V.Line(false, "{code skipped --------}");
  V.AddLine("");
  V.AddLine("end;");
}

}  // namespace

bool WebSummaryText(const TUnitFacts& Facts, std::string& Out) {
  TPlainDoc V;
  bool Written = false;
  try {
    WriteSummary(Facts, V);
    Written = true;
  } catch (const TStampError& E) {
    V.AddLine("");
    V.AddLine("Error:");
    V.AddLine(DisplayUtf8(E.what()));
  }
  Out += V.PlainText();
  return Written;
}

std::string WebErrorBlock(std::string_view Error) { return "\nError:\n" + DisplayUtf8(Error) + "\n"; }
