// The library folders dialog (see LibraryFoldersDialog.h).
#include "LibraryFoldersDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TLibraryFoldersDialog::TLibraryFoldersDialog(const QStringList& Folders, QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("LibraryFoldersDialog"));
  setWindowTitle(tr("Library Folders"));
  auto* Layout = new QVBoxLayout(this);
  auto* Note = new QLabel(tr("The units a unit uses are looked for in its own folder, then in the folder of the "
                             "folder tab it was opened from, then in these folders, in this order. "
                             "The list applies to the tabs opened after it is changed."),
                          this);
  Note->setWordWrap(true);
  Layout->addWidget(Note);
  auto* Row = new QHBoxLayout;
  List = new QListWidget(this);
  List->setObjectName(QStringLiteral("LibraryFolderList"));
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const QString& F : Folders) List->addItem(F);
  Row->addWidget(List, 1);
  auto* Side = new QVBoxLayout;
  AddButton = new QPushButton(tr("Add..."), this);
  RemoveButton = new QPushButton(tr("Remove"), this);
  Side->addWidget(AddButton);
  Side->addWidget(RemoveButton);
  Side->addStretch(1);
  Row->addLayout(Side);
  Layout->addLayout(Row, 1);
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OkButton = Buttons->button(QDialogButtonBox::Ok);
  CancelButton = Buttons->button(QDialogButtonBox::Cancel);
  Layout->addWidget(Buttons);

  AskFolder = [this] { return QFileDialog::getExistingDirectory(this, tr("Add Library Folder")); };
  connect(AddButton, &QPushButton::clicked, this, [this] {
    if (const QString F = AskFolder ? AskFolder() : QString(); !F.isEmpty()) AddFolder(F);
  });
  connect(RemoveButton, &QPushButton::clicked, this, &TLibraryFoldersDialog::RemoveSelected);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto UpdateRemove = [this] { RemoveButton->setEnabled(!List->selectedItems().isEmpty()); };
  connect(List, &QListWidget::itemSelectionChanged, this, UpdateRemove);
  UpdateRemove();
  resize(520, 320);
}

QStringList TLibraryFoldersDialog::Folders() const {
  QStringList L;
  for (int I = 0; I < List->count(); ++I) L << List->item(I)->text();
  return L;
}

void TLibraryFoldersDialog::AddFolder(const QString& Folder) {
  const QString Clean = QDir::cleanPath(Folder);
  const QList<QListWidgetItem*> Known = List->findItems(Clean, Qt::MatchExactly);
  QListWidgetItem* Item = Known.isEmpty() ? new QListWidgetItem(Clean, List) : Known.first();
  List->clearSelection();
  List->setCurrentItem(Item);
  Item->setSelected(true);
}

void TLibraryFoldersDialog::RemoveSelected() {
  for (QListWidgetItem* Item : List->selectedItems()) delete Item;
}
