// The dialog that edits the list of library folders: the folders in the
// order they are searched, Add (asks for a folder), Remove (the selected
// ones), OK and Cancel. The dialog only edits its copy of the list; the
// caller takes Folders() when it is accepted.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QListWidget;
class QPushButton;

class TLibraryFoldersDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLibraryFoldersDialog(const QStringList& Folders, QWidget* Parent = nullptr);

  QStringList Folders() const;
  // Adds Folder at the end (a folder listed already is only selected).
  void AddFolder(const QString& Folder);
  // Removes the selected folders.
  void RemoveSelected();

  // Asks for a folder to add; empty: cancelled. The default asks with a
  // folder chooser.
  std::function<QString()> AskFolder;

  QListWidget* List = nullptr;
  QPushButton* AddButton = nullptr;
  QPushButton* RemoveButton = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
};
