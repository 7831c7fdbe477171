// Fills a Declarations view from a unit file: loads the unit, turns its
// declarations into the listing and the outline, and releases the unit.
#pragma once

#include <QColor>
#include <QString>

class TDeclView;

// Reads the unit file at Path again and fills View with its declarations; a
// file that does not load gives the reader's message instead.
void FillDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor);
