// A caption strip filled with a colour gradient (flat when both colours are
// the same), drawing its caption on one line with a left text margin. File
// and folder tabs use it as the header that shows the full path.
#pragma once

#include <QColor>
#include <QWidget>

class QFontMetrics;

// Path as it fits into Width pixels: whole when it fits; otherwise the middle
// of the directory part gives way to "..." so that the file name stays
// visible ("/home/user/.../Demo.dcu"); when not even "..." and the file name
// fit, "..." and the file name, cut at the right.
QString ElidePath(const QString& Path, const QFontMetrics& Metrics, int Width);

class TJx_PanelGradient : public QWidget {
  Q_OBJECT
 public:
  explicit TJx_PanelGradient(QWidget* Parent = nullptr);

  void SetCaption(const QString& Caption);
  QString Caption() const { return FCaption; }
  void SetColors(const QColor& From, const QColor& To);
  void SetTextMargin(int Margin);
  // Draws a one-pixel black rule along the bottom edge.
  void SetBottomRule(bool On);
  // The caption as drawn at the current width.
  QString ShownCaption() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  QString FCaption;
  QColor FFrom, FTo;
  int FTextMargin = 8;
  bool FBottomRule = false;
};

// The header of a file or folder tab: Path on a flat strip of Back, a rule
// below it, one line of the strip's font high.
TJx_PanelGradient* NewPathHeader(QWidget* Parent, const QString& Path, const QColor& Back);
