// A small toolbar button that highlights while the mouse is over it.
#pragma once

#include <QToolButton>

class TJX_hotButton : public QToolButton {
  Q_OBJECT
 public:
  // Flat buttons show their frame only while hovered; the others always.
  TJX_hotButton(const QString& GlyphResource, const QString& Hint, bool Flat,
                QWidget* Parent = nullptr);
};
