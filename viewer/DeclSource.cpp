#include "DeclSource.h"

#include <QTextDocument>

#include "DeclView.h"

// TODO(declarations): fill the view from the declarations model once it is
// on this branch: load the unit, let the model's listing writer emit its
// runs into a TDeclListingBuilder and turn its outline into TOutlineEntry.
void FillDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor) {
  (void)Path;
  (void)CommentColor;
  View.SetMessage(QObject::tr("The declarations listing is not part of this build."));
}
