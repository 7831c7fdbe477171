// The panel that takes files dropped from the file manager (see Jx_PanelDropFile.h).
#include "Jx_PanelDropFile.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {
// The local file names of a drag, or nothing when any of its items is not a
// local file (a web link, a file of a remote share without a local path).
bool LocalFileNames(const QMimeData* Data, QStringList* Names) {
  if (!Data || !Data->hasUrls()) return false;
  const QList<QUrl> Urls = Data->urls();
  if (Urls.isEmpty()) return false;
  QStringList Result;
  for (const QUrl& U : Urls) {
    if (!U.isLocalFile()) return false;
    Result << U.toLocalFile();
  }
  if (Names) *Names = Result;
  return true;
}
}  // namespace

TJx_PanelDropFile::TJx_PanelDropFile(QWidget* Parent) : QFrame(Parent) {
  setAcceptDrops(false);
}

void TJx_PanelDropFile::SetAccept(bool Value) {
  if (Value == FAccept) return;
  if (Value && !OnDropFiles) throw EJxDropError("Método Drop não definido");
  DragAcceptFiles(Value);
  FAccept = Value;
}

void TJx_PanelDropFile::DragAcceptFiles(bool Value) { setAcceptDrops(Value); }

void TJx_PanelDropFile::dragEnterEvent(QDragEnterEvent* Event) {
  // The switch is checked here too: an event sent straight to the panel
  // bypasses the platform's registration.
  if (FAccept && LocalFileNames(Event->mimeData(), nullptr))
    Event->acceptProposedAction();
  else
    Event->ignore();
}

void TJx_PanelDropFile::dragMoveEvent(QDragMoveEvent* Event) {
  if (FAccept && LocalFileNames(Event->mimeData(), nullptr))
    Event->acceptProposedAction();
  else
    Event->ignore();
}

void TJx_PanelDropFile::dropEvent(QDropEvent* Event) {
  QStringList Names;
  if (!FAccept || !LocalFileNames(Event->mimeData(), &Names)) {
    Event->ignore();
    return;
  }
  Event->acceptProposedAction();
  if (OnDropFiles) OnDropFiles(Names);
}
