// Fills a Declarations view from a unit file: loads the unit, turns its
// declarations outline into the listing and the outline tree, and releases
// the unit.
#pragma once

#include <QColor>
#include <QString>

#include "OutlineModel.h"

class TDeclView;
class TUsedTypes;
struct TDeclOutline;

// Reads the unit file at Path again and fills View with its declarations; a
// file that does not load gives the reader's message instead. Used, when
// given, has the units the unit uses: values of their types are decoded by
// them. Besides the listing the view gets the unit's format version, the
// units it uses and its types by name (for following a type name to the
// used unit that declares it).
void FillDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor, TUsedTypes* Used = nullptr);
// Of a damaged unit, the declarations read before the error, then a comment
// that says where reading stopped and why. False when nothing was read (an
// error before the declarations); View is left as it was then.
bool FillPartialDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor,
                         TUsedTypes* Used = nullptr);

// The outline tree of a unit: its two sections, in each one node per kind of
// declaration, under it the declarations with their members.
TOutlineTree OutlineTree(const TDeclOutline& Outline);
