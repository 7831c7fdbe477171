// The Find page of a folder tab: declarations by name across every unit of
// the folder, and the units that use a unit of that name, answered by the
// folder's find index (FindIndex.h).
//
// The pattern: letter case ignored, '*' and '?' wildcards, "Class.Member"
// for members. Each declaration found is a row of its unit, section, kind
// and its line as the Declarations view writes it, with the units that
// import it under it; those lines are read from the units again, a few units
// per turn of the event loop, so the rows show at once and their lines
// follow. A unit name that matches is a row with the units that use it under
// it. Activating (double-click, Enter) a declaration asks for its unit at the
// declaration, a unit or a user for its file. A unit of the library folders
// (added to the index after the folder's) says so: "Forms (library)".
#pragma once

#include <QList>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "FindIndex.h"

class QLabel;
class QLineEdit;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class TFolderFindPage : public QWidget {
  Q_OBJECT
 public:
  // Folder: the folder the paths are shown relative to.
  explicit TFolderFindPage(const QString& Folder, QWidget* Parent = nullptr);
  ~TFolderFindPage() override;

  // The index to ask (null: none yet); the caller owns it and sets it again
  // (or null) before it goes.
  void SetIndex(const TFindIndex* Index);
  // Runs Pattern now (also shown in the box); an empty one clears the rows.
  void Find(const QString& Pattern);
  // Runs the box's pattern again (the index has changed).
  void Rerun();
  // The lines of all rows have been read.
  bool LinesDone() const { return FNextGroup >= FGroups.size(); }

  // Rows kept at most; the status line says how many there were.
  size_t MaxHits = 1000;
  // How long one turn of reading lines may take (at least one unit).
  int SliceMs = 30;

  QLineEdit* FindBox = nullptr;
  QLabel* Status = nullptr;
  QTreeWidget* Results = nullptr;

  // Columns of Results.
  enum TColumn { ColUnit, ColSection, ColKind, ColDeclaration };
  // Data of a row: the file (Qt::UserRole) and, for a declaration, the file
  // offset of its tag byte (OffsetRole; -1 for the other rows).
  static constexpr int OffsetRole = Qt::UserRole + 1;

 signals:
  void declarationRequested(const QString& Path, qint64 Offset);
  void unitRequested(const QString& Path);

 private:
  void AddUserRows(QTreeWidgetItem* Parent, const std::vector<TFindUser>& Users);
  // Each adds its rows (with their users under them) to Rows, not yet in
  // the tree.
  void AddUnitRows(const std::vector<TFindUnitUsers>& Units, QList<QTreeWidgetItem*>& Rows);
  void AddHitRows(std::vector<TFindHit>& Hits, QList<QTreeWidgetItem*>& Rows);
  void FillLines();
  void Activate(QTreeWidgetItem* Item);
  QString Shown(const std::string& Path) const;
  // " (library)" for a library unit of the index, else nothing.
  QString LibraryMark(uint32_t Unit) const;

  QString FFolder;
  const TFindIndex* FIndex = nullptr;
  QTimer* FTyping = nullptr;
  // The hits of each unit, and the rows that show them, until their lines
  // are read.
  std::vector<std::vector<TFindHit>> FGroups;
  std::vector<std::vector<QTreeWidgetItem*>> FGroupRows;
  size_t FNextGroup = 0;
};
