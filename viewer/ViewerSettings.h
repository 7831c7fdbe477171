// What the viewer remembers from one run to the next, in the application's
// QSettings (organisation and application name set in main):
//
//   Window/Geometry     the main window's size and position (saveGeometry)
//   Recent/Files        the unit files opened last, most recent first
//   Recent/Folders      the folders opened last, most recent first
//   Splitters/NAME      the state of every splitter named NAME (saveState)
//   Library/Folders     the library folders, in order: where the units a
//                       unit uses are looked for after its own folder (and
//                       the folder of the folder tab it was opened from)
//
// Splitters are remembered by their objectName alone: a view that names its
// splitter gets its position kept without any code of its own. A splitter
// without a name is left alone.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QSplitter;

namespace viewersettings {

// Entries kept in each recent list.
constexpr int MaxRecent = 10;

enum class TRecentKind { Files, Folders };

// The list, most recent first; at most MaxRecent entries.
QStringList Recent(TRecentKind Kind);
// Puts Path (made absolute and clean) at the head of the list, dropping an
// earlier entry of the same path and the entries past MaxRecent.
void AddRecent(TRecentKind Kind, const QString& Path);
void ClearRecent(TRecentKind Kind);

// The library folders, in the order they are searched; no empty entries and
// none twice.
QStringList LibraryFolders();
void SetLibraryFolders(const QStringList& Folders);

QByteArray WindowGeometry();
void SetWindowGeometry(const QByteArray& Geometry);

}  // namespace viewersettings

// Keeps the positions of the named splitters inside one window: a splitter
// takes the position last kept under its name when it is first shown, and
// keeps every position the user drags it to. Installed on the application
// (it sees the show events of every widget) and minding only the splitters
// of its own window.
class TSplitterMemory : public QObject {
  Q_OBJECT
 public:
  explicit TSplitterMemory(QWidget* Window);
  ~TSplitterMemory() override;

  // Takes Splitter into the memory now (restores and follows it); does
  // nothing for a splitter without a name or one taken already.
  void Remember(QSplitter* Splitter);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QWidget* FWindow;
};
