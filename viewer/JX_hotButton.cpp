// The toolbar button that highlights under the mouse (see JX_hotButton.h).
#include "JX_hotButton.h"

#include <QIcon>

TJX_hotButton::TJX_hotButton(const QString& GlyphResource, const QString& Hint, bool Flat,
                             QWidget* Parent)
    : QToolButton(Parent) {
  setIcon(QIcon(GlyphResource));
  setIconSize(QSize(16, 16));
  setToolTip(Hint);
  setAccessibleName(Hint);
  setAutoRaise(Flat);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
}
