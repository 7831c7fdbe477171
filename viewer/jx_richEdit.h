// The rich text sink of the window: the summary written into a Qt rich text
// view (see RichSink.h for the operations and the document rule).
#pragma once

#include <QString>

#include "RichSink.h"

class QTextEdit;

// The sink over a Qt rich text view: bold and colours through character
// formats, indentation of 24 points with a hanging offset of 24 points
// through block formats.
class TJX_RichEditSink : public TJX_RichSink {
 public:
  explicit TJX_RichEditSink(QTextEdit* View) : View(View) {}

  void AddLine(const std::string& Text, TFontStyle Style, const TTextColor& Color = TTextColor()) override;
  void AppendText(const std::string& Text, TFontStyle Style) override;
  void ScrollToTop() override;
  void SetIndented(bool On) override { Indented = On; }

 private:
  void InsertAtEnd(const QString& Text, bool NewBlockBefore, bool NewBlockAfter);
  QTextEdit* View;
  bool Bold = false;
  TTextColor Color;
  bool Indented = false;
};
