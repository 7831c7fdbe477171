// What the viewer remembers (see ViewerSettings.h).
#include "ViewerSettings.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSettings>
#include <QSplitter>

namespace viewersettings {

namespace {
QString RecentKey(TRecentKind Kind) {
  return Kind == TRecentKind::Files ? QStringLiteral("Recent/Files") : QStringLiteral("Recent/Folders");
}
const QString GeometryKey = QStringLiteral("Window/Geometry");
const QString LibraryKey = QStringLiteral("Library/Folders");

QStringList CleanFolderList(const QStringList& Folders) {
  QStringList L;
  for (const QString& F : Folders)
    if (!F.isEmpty() && !L.contains(F)) L << F;
  return L;
}
}  // namespace

QStringList Recent(TRecentKind Kind) {
  QStringList L = QSettings().value(RecentKey(Kind)).toStringList();
  L.removeAll(QString());
  if (L.size() > MaxRecent) L.erase(L.begin() + MaxRecent, L.end());
  return L;
}

void AddRecent(TRecentKind Kind, const QString& Path) {
  if (Path.isEmpty()) return;
  const QString Clean = QDir::cleanPath(QFileInfo(Path).absoluteFilePath());
  QStringList L = Recent(Kind);
  L.removeAll(Clean);
  L.prepend(Clean);
  if (L.size() > MaxRecent) L.erase(L.begin() + MaxRecent, L.end());
  QSettings().setValue(RecentKey(Kind), L);
}

void ClearRecent(TRecentKind Kind) { QSettings().remove(RecentKey(Kind)); }

QStringList LibraryFolders() { return CleanFolderList(QSettings().value(LibraryKey).toStringList()); }

void SetLibraryFolders(const QStringList& Folders) {
  const QStringList L = CleanFolderList(Folders);
  if (L.isEmpty()) QSettings().remove(LibraryKey);
  else QSettings().setValue(LibraryKey, L);
}

QByteArray WindowGeometry() { return QSettings().value(GeometryKey).toByteArray(); }

void SetWindowGeometry(const QByteArray& Geometry) { QSettings().setValue(GeometryKey, Geometry); }

}  // namespace viewersettings

namespace {
const char* const RememberedProperty = "unitpeekSplitterRemembered";
QString SplitterKey(const QSplitter* S) { return QStringLiteral("Splitters/") + S->objectName(); }
}  // namespace

TSplitterMemory::TSplitterMemory(QWidget* Window) : QObject(Window), FWindow(Window) {
  qApp->installEventFilter(this);
}

TSplitterMemory::~TSplitterMemory() { qApp->removeEventFilter(this); }

void TSplitterMemory::Remember(QSplitter* Splitter) {
  if (!Splitter || Splitter->objectName().isEmpty() || Splitter->property(RememberedProperty).toBool()) return;
  Splitter->setProperty(RememberedProperty, true);
  const QByteArray State = QSettings().value(SplitterKey(Splitter)).toByteArray();
  if (!State.isEmpty()) Splitter->restoreState(State);
  connect(Splitter, &QSplitter::splitterMoved, this,
          [Splitter] { QSettings().setValue(SplitterKey(Splitter), Splitter->saveState()); });
}

bool TSplitterMemory::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Show && Watched->isWidgetType())
    if (auto* S = qobject_cast<QSplitter*>(Watched); S && S->window() == FWindow) Remember(S);
  return false;
}
