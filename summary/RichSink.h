// Where the summary writers write: a sequence of lines with a running format
// (style, colour, indentation) that every write uses. The writers talk to a
// sink through three operations (AddLine, AppendText, ScrollToTop); the
// window's sink puts the lines in a text document, the recording sink keeps
// them for the command line and the tests.
//
// The document is a sequence of lines. It is closed when its last line is
// empty (the empty document included) and open when the last line holds
// text; the empty last line of a closed document is where the next text goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TFontStyle { Regular, Bold };

// A text colour as red, green and blue, or none (the default text colour).
struct TTextColor {
  constexpr TTextColor() = default;
  constexpr TTextColor(uint8_t R, uint8_t G, uint8_t B) : R(R), G(G), B(B), Valid(true) {}
  bool IsValid() const { return Valid; }
  friend bool operator==(const TTextColor&, const TTextColor&) = default;

  uint8_t R = 0, G = 0, B = 0;
  bool Valid = false;
};

class TJX_RichSink {
 public:
  virtual ~TJX_RichSink() = default;

  // Writes Text as a line of its own at the end. A colour that is none leaves
  // the running colour unchanged.
  virtual void AddLine(const std::string& Text, TFontStyle Style, const TTextColor& Color = TTextColor()) = 0;
  // Writes Text at the very end of the last line, without a line break.
  virtual void AppendText(const std::string& Text, TFontStyle Style) = 0;
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
    std::string Text;
    bool Bold = false;
    TTextColor Color;  // none: default text colour
  };
  struct TLine {
    std::vector<TPiece> Pieces;
    bool Indented = false;
    std::string Text() const;
    bool Empty() const { return Text().empty(); }
  };

  TJX_RecordingSink();

  void AddLine(const std::string& Text, TFontStyle Style, const TTextColor& Color = TTextColor()) override;
  void AppendText(const std::string& Text, TFontStyle Style) override;
  void ScrollToTop() override {}
  void SetIndented(bool On) override { Indented = On; }

  // The visible lines: every line but the empty last one of a closed document.
  std::vector<TLine> VisibleLines() const;
  // The visible lines as plain text, each ended by a newline; indented lines
  // with text start with two blanks.
  std::string PlainText() const;

  const std::vector<TLine>& Lines() const { return Doc; }

 private:
  void Put(TLine& Line, const std::string& Text);
  std::vector<TLine> Doc;
  bool Bold = false;
  TTextColor Color;
  bool Indented = false;
};
