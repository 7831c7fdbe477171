// The rich text sink: the only place that touches a text document. The
// summary writers talk to it through three operations (AddLine, AppendText,
// ScrollToTop) and a running format (style, colour, indentation) that every
// write uses.
//
// The document is a sequence of lines. It is closed when its last line is
// empty (the empty document included) and open when the last line holds
// text; the empty last line of a closed document is where the next text goes.
#pragma once

#include <QColor>
#include <QString>
#include <vector>

enum class TFontStyle { Regular, Bold };

class TJX_RichSink {
 public:
  virtual ~TJX_RichSink() = default;

  // Writes Text as a line of its own at the end. An invalid Color leaves the
  // running colour unchanged.
  virtual void AddLine(const QString& Text, TFontStyle Style, const QColor& Color = QColor()) = 0;
  // Writes Text at the very end of the last line, without a line break.
  virtual void AppendText(const QString& Text, TFontStyle Style) = 0;
  // Empty selection at the start, view scrolled to the first line.
  virtual void ScrollToTop() = 0;
  // Indentation for the lines written from now on.
  virtual void SetIndented(bool On) = 0;
};

// A widget-free sink that records every line with its pieces, their style and
// colour, and the line's indentation. Used by the command line and tests.
class TJX_RecordingSink : public TJX_RichSink {
 public:
  struct TPiece {
    QString Text;
    bool Bold = false;
    QColor Color;  // invalid: default text colour
  };
  struct TLine {
    std::vector<TPiece> Pieces;
    bool Indented = false;
    QString Text() const;
    bool Empty() const { return Text().isEmpty(); }
  };

  TJX_RecordingSink();

  void AddLine(const QString& Text, TFontStyle Style, const QColor& Color = QColor()) override;
  void AppendText(const QString& Text, TFontStyle Style) override;
  void ScrollToTop() override {}
  void SetIndented(bool On) override { Indented = On; }

  // The visible lines: every line but the empty last one of a closed document.
  std::vector<TLine> VisibleLines() const;
  // The visible lines as plain text, each ended by a newline; indented lines
  // with text start with two blanks.
  QString PlainText() const;

  const std::vector<TLine>& Lines() const { return Doc; }

 private:
  void Put(TLine& Line, const QString& Text);
  std::vector<TLine> Doc;
  bool Bold = false;
  QColor Color;
  bool Indented = false;
};

class QTextEdit;

// The sink over a Qt rich text view: bold and colours through character
// formats, indentation of 24 points with a hanging offset of 24 points
// through block formats.
class TJX_RichEditSink : public TJX_RichSink {
 public:
  explicit TJX_RichEditSink(QTextEdit* View) : View(View) {}

  void AddLine(const QString& Text, TFontStyle Style, const QColor& Color = QColor()) override;
  void AppendText(const QString& Text, TFontStyle Style) override;
  void ScrollToTop() override;
  void SetIndented(bool On) override { Indented = On; }

 private:
  void InsertAtEnd(const QString& Text, bool NewBlockBefore, bool NewBlockAfter);
  QTextEdit* View;
  bool Bold = false;
  QColor Color;
  bool Indented = false;
};
