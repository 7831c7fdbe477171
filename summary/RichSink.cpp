// The recording sink (see RichSink.h).
#include "RichSink.h"

std::string TJX_RecordingSink::TLine::Text() const {
  std::string S;
  for (const TPiece& P : Pieces) S += P.Text;
  return S;
}

TJX_RecordingSink::TJX_RecordingSink() { Doc.emplace_back(); }

void TJX_RecordingSink::Put(TLine& Line, const std::string& Text) {
  if (Text.empty()) return;
  if (Line.Pieces.empty()) Line.Indented = Indented;
  Line.Pieces.push_back(TPiece{Text, Bold, Color});
}

void TJX_RecordingSink::AddLine(const std::string& Text, TFontStyle Style, const TTextColor& NewColor) {
  Bold = Style == TFontStyle::Bold;
  if (NewColor.IsValid()) Color = NewColor;
  if (Doc.back().Empty()) {
    // Closed: the text goes into the empty last line, a new empty line follows.
    Put(Doc.back(), Text);
    Doc.emplace_back();
  } else {
    Doc.emplace_back();
    Put(Doc.back(), Text);
  }
}

void TJX_RecordingSink::AppendText(const std::string& Text, TFontStyle Style) {
  Bold = Style == TFontStyle::Bold;
  Put(Doc.back(), Text);
}

std::vector<TJX_RecordingSink::TLine> TJX_RecordingSink::VisibleLines() const {
  std::vector<TLine> V = Doc;
  if (!V.empty() && V.back().Empty()) V.pop_back();
  return V;
}

std::string TJX_RecordingSink::PlainText() const {
  std::string S;
  for (const TLine& L : VisibleLines()) {
    const std::string T = L.Text();
    if (L.Indented && !T.empty()) S += "  ";
    S += T;
    S += '\n';
  }
  return S;
}
